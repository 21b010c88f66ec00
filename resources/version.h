// The one place that states Ferrow's version: the log's banner, the about
// box, the version resources of all three modules and the package names
// (tools/package.sh reads FERROW_VERSION from here) all come from it.
#pragma once

#define FERROW_VERSION_MAJOR 1
#define FERROW_VERSION_MINOR 20
#define FERROW_VERSION "1.20"

#ifndef RC_INVOKED
constexpr const char kBannerLine[] = "Ferrow Version " FERROW_VERSION " - ページ解析ダウンローダ";
constexpr const char kAboutVersionText[] = "Ver " FERROW_VERSION;
#endif
