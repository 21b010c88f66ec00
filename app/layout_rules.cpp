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
    IniDocument f;
    IniLoad(iniPath, &f);  // a file that cannot be read gives the defaults
    for (int i = 0; i < kLayoutSlotCount; i++)
        IniGetText(f, kSection, kLayoutSlotKeys[i], "", out->slots[i], kLayoutSlotSize);
    for (int i = 0; i < 4; i++)
        out->columnWidths[i] = IniGetInt(f, kSection, kColumnKeys[i], kColumnDefaults[i]);
    out->listStyle = IniGetInt(f, kSection, "LV_Style", 0);
    out->toolbarShown = IniGetInt(f, kSection, "TollBar", 1);
    out->viewerShown = IniGetInt(f, kSection, "viewer", 1);
    out->viewer.x = IniGetInt(f, kSection, "viewer_x", kDefaultViewerRect.x);
    out->viewer.y = IniGetInt(f, kSection, "viewer_y", kDefaultViewerRect.y);
    out->viewer.width = IniGetInt(f, kSection, "ViewerWidth", kDefaultViewerRect.width);
    out->viewer.height = IniGetInt(f, kSection, "ViewerHeight", kDefaultViewerRect.height);
}

void PutLayoutRecord(IniDocument* f, const LayoutRecord& layout) {
    for (int i = 0; i < kLayoutSlotCount; i++)
        IniSetText(f, kSection, kLayoutSlotKeys[i], layout.slots[i]);
    if (layout.listStyle == 1) {
        IniSetInt(f, kSection, "LV_Style", 1);
    } else {
        IniSetInt(f, kSection, "LV_Style", 0);
        for (int i = 0; i < 4; i++) IniSetInt(f, kSection, kColumnKeys[i], layout.columnWidths[i]);
    }
    IniSetInt(f, kSection, "TollBar", layout.toolbarShown ? 1 : 0);
    IniSetInt(f, kSection, "viewer", layout.viewerShown ? 1 : 0);
    IniSetInt(f, kSection, "viewer_x", layout.viewer.x);
    IniSetInt(f, kSection, "viewer_y", layout.viewer.y);
    IniSetInt(f, kSection, "ViewerWidth", layout.viewer.width);
    IniSetInt(f, kSection, "ViewerHeight", layout.viewer.height);
}

// The file as it is now, with the section's keys changed, written once.
IniSaveResult WriteLayoutRecord(const char* iniPath, const LayoutRecord& layout) {
    IniDocument f;
    if (IniLoad(iniPath, &f) == IniReadError) return IniSaveReadError;
    PutLayoutRecord(&f, layout);
    return IniStore(f, iniPath) ? IniSaved : IniSaveWriteError;
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
