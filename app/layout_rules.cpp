#include "app/layout_rules.h"

#include <cstdlib>
#include <cstring>

#include "settings/ini.h"
#include "text/text.h"

static const char kSection[] = "WINDOW";

const char* const kLayoutSlotKeys[kLayoutSlotCount] = {
    "x",    "y",    "width", "height", "FramePosition", "ViewerFramePosition",
    "URL0", "URL1", "URL2",  "URL3",   "URL4",          "URL5",
    "URL6", "URL7", "URL8",  "URL9",
};

static const char* const kColumnKeys[4] = {"LV_FilenameWidth", "LV_SizeWidth", "LV_DateWidth",
                                           "LV_URLWidth"};
static const int kColumnDefaults[4] = {100, 50, 120, 330};

void ReadLayoutRecord(const char* iniPath, LayoutRecord* out) {
    for (int i = 0; i < kLayoutSlotCount; i++)
        IniReadText(kSection, kLayoutSlotKeys[i], "", out->slots[i], kLayoutSlotSize, iniPath);
    for (int i = 0; i < 4; i++)
        out->columnWidths[i] = IniReadInt(kSection, kColumnKeys[i], kColumnDefaults[i], iniPath);
    out->listStyle = IniReadInt(kSection, "LV_Style", 0, iniPath);
    out->toolbarShown = IniReadInt(kSection, "TollBar", 1, iniPath);
    out->viewerShown = IniReadInt(kSection, "viewer", 1, iniPath);
    out->viewer.x = IniReadInt(kSection, "viewer_x", kDefaultViewerRect.x, iniPath);
    out->viewer.y = IniReadInt(kSection, "viewer_y", kDefaultViewerRect.y, iniPath);
    out->viewer.width = IniReadInt(kSection, "ViewerWidth", kDefaultViewerRect.width, iniPath);
    out->viewer.height = IniReadInt(kSection, "ViewerHeight", kDefaultViewerRect.height, iniPath);
}

// Write failures are ignored: the layout is a convenience, never worth an
// error at exit.
void WriteLayoutRecord(const char* iniPath, const LayoutRecord& layout) {
    for (int i = 0; i < kLayoutSlotCount; i++)
        IniWriteText(kSection, kLayoutSlotKeys[i], layout.slots[i], iniPath);
    if (layout.listStyle == 1) {
        WriteIniInt(kSection, "LV_Style", 1, iniPath);
    } else {
        WriteIniInt(kSection, "LV_Style", 0, iniPath);
        for (int i = 0; i < 4; i++)
            WriteIniInt(kSection, kColumnKeys[i], layout.columnWidths[i], iniPath);
    }
    WriteIniInt(kSection, "TollBar", layout.toolbarShown ? 1 : 0, iniPath);
    WriteIniInt(kSection, "viewer", layout.viewerShown ? 1 : 0, iniPath);
    WriteIniInt(kSection, "viewer_x", layout.viewer.x, iniPath);
    WriteIniInt(kSection, "viewer_y", layout.viewer.y, iniPath);
    WriteIniInt(kSection, "ViewerWidth", layout.viewer.width, iniPath);
    WriteIniInt(kSection, "ViewerHeight", layout.viewer.height, iniPath);
}

// The upper bound wins when lo exceeds hi (a screen smaller than the
// minimum window).
static int Clamp(int v, int lo, int hi) {
    int low = v > lo ? v : lo;
    return low < hi ? low : hi;
}

WindowBox ClampRestoredBox(const char* x, const char* y, const char* width, const char* height,
                           int screenWidth, int screenHeight) {
    WindowBox box;
    box.left = Clamp(TextToInt(x), 0, screenWidth - 300);
    box.top = Clamp(TextToInt(y), 0, screenHeight - 200);
    box.width = Clamp(TextToInt(width), 300, screenWidth - box.left);
    box.height = Clamp(TextToInt(height), 200, screenHeight - box.top);
    return box;
}

float RestoreFraction(const char* text, float current) {
    if (!text || !text[0]) return current;
    char* end = nullptr;
    double value = strtod(text, &end);
    if (end == text || value != value) value = 0.0;  // no number, or NaN
    if (value < 0.1) value = 0.1;
    if (value > 0.9) value = 0.9;
    return (float)value;
}

void FormatFraction(char* buffer, size_t size, float value) {
    FormatText(buffer, size, "%f", (double)value);
}

void FillSaveSlots(LayoutRecord* layout, const WindowBox& restored, float listRatio,
                   float viewerRatio, const char* const* history, int historyCount,
                   int keepHistory) {
    for (int i = 0; i < kLayoutSlotCount; i++)
        layout->slots[i][0] = '\0';
    FormatText(layout->slots[SlotX], kLayoutSlotSize, "%d", restored.left);
    FormatText(layout->slots[SlotY], kLayoutSlotSize, "%d", restored.top);
    FormatText(layout->slots[SlotWidth], kLayoutSlotSize, "%d", restored.width);
    FormatText(layout->slots[SlotHeight], kLayoutSlotSize, "%d", restored.height);
    if (keepHistory == 1) {
        for (int i = 0; i < kHistorySlots && i < historyCount; i++)
            if (history[i]) CopyText(layout->slots[SlotUrl0 + i], kLayoutSlotSize, history[i]);
    }
    FormatFraction(layout->slots[SlotFramePosition], kLayoutSlotSize, listRatio);
    FormatFraction(layout->slots[SlotViewerFramePosition], kLayoutSlotSize, viewerRatio);
}
