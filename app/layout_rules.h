// Section WINDOW of Ferrow.ini as a record: reading it with its defaults,
// writing it back, and the rules that pull a restored window onto the
// screen and keep the splitter fractions in range. No window is touched here.
#pragma once
#include <cstddef>

#include "settings/ini.h"
#include "viewer/viewer_geometry.h"

constexpr int kLayoutSlotCount = 16;
constexpr size_t kLayoutSlotSize = 256;  // 255 characters + terminator
constexpr int kHistorySlots = 10;

// The text keys, in the order they are read and written.
enum LayoutSlot {
    SlotX,
    SlotY,
    SlotWidth,
    SlotHeight,
    SlotFramePosition,
    SlotViewerFramePosition,
    SlotUrl0,  // URL0 .. URL9 follow
};
extern const char* const kLayoutSlotKeys[kLayoutSlotCount];

struct LayoutRecord {
    char slots[kLayoutSlotCount][kLayoutSlotSize];
    int listStyle;        // "LV_Style": 1 list view, else details
    int columnWidths[4];  // "LV_FilenameWidth", "LV_SizeWidth", "LV_DateWidth", "LV_URLWidth"
    int toolbarShown;     // "TollBar"
    int viewerShown;      // "viewer"
    ViewerRect viewer;    // floating viewer's rectangle
};

// Reads section WINDOW; missing keys give their defaults (empty slots).
void ReadLayoutRecord(const char* iniPath, LayoutRecord* out);
// Puts every text slot (empty ones as empty values), the style, the column
// widths only when the style is details, the toolbar, viewer and viewer
// rectangle keys into the document.
void PutLayoutRecord(IniDocument* file, const LayoutRecord& layout);
// The same into the file, read as it is now and written back whole; a file
// that cannot be read is left alone.
IniSaveResult WriteLayoutRecord(const char* iniPath, const LayoutRecord& layout);

struct WindowBox {
    int left, top, width, height;
};

// Where the main window goes from the four texts "x", "y", "width",
// "height" on a screenWidth x screenHeight display: pulled onto the screen,
// at least 300 x 200 (the upper bound wins when the screen is smaller).
WindowBox ClampRestoredBox(const char* x, const char* y, const char* width, const char* height,
                           int screenWidth, int screenHeight);

// A splitter fraction read back: empty text keeps current; otherwise the
// decimal value kept within 0.1 .. 0.9 (text that is no number gives 0.1).
float RestoreFraction(const char* text, float current);
// A fraction as it is saved: "%f", six decimals.
void FormatFraction(char* buffer, size_t size, float value);

// Fills the slots for saving: the restored rectangle, the fractions, and
// the history (entries 0..9, only when keepHistory is 1).
void FillSaveSlots(LayoutRecord* layout, const WindowBox& restored, float listRatio,
                   float viewerRatio, const char* const* history, int historyCount,
                   int keepHistory);
