// The program's name and version as the log's first line shows them.
#pragma once

#define FERROW_VERSION "1.20"
constexpr const char kBannerLine[] = "Ferrow Version " FERROW_VERSION " - ページ解析ダウンローダ";
