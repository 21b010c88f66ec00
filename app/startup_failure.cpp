#include "app/startup_failure.h"

#include "text/text.h"

const char* StartupPartName(StartupPart part) {
    static const char* const kNames[kStartupPartCount] = {
        "メインウィンドウ", "ツールバー", "ステータスバー",     "プログレスバー", "URL入力欄",
        "ファイル一覧",     "分割バー",   "エンジンウィンドウ", "ログ",
    };
    return part >= 0 && part < kStartupPartCount ? kNames[part] : "ウィンドウ";
}

void FormatStartupFailure(char* buffer, size_t size, StartupPart part, unsigned long error) {
    FormatText(buffer, size, "%sを作成できないため、Ferrowを起動できません (エラー %lu)",
               StartupPartName(part), error);
}
