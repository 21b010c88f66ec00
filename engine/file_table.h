// The table of found files that the file list view shows (owner-data).
#pragma once
#include <cstddef>
#include <cstdint>

#include "text/address.h"

constexpr int kFileTableRows = 2000;
constexpr int kNameSize = 64;
constexpr int kSizeSize = 20;  // up to 2^63 - 1: 19 digits
constexpr int kDateSize = 20;

// ColPage, the page a file was found on, is kept for its requests and not shown.
enum FileColumn { ColName = 0, ColSize = 1, ColDate = 2, ColAddress = 3, ColPage = 4 };

enum FileIcon {
    IconHtml = 0,
    IconExternalHtml = 1,
    IconJpeg = 2,
    IconGif = 3,
    IconPng = 4,
    IconWav = 5,
    IconOther = 6,
};

// A found file's identity: it stays with the file when sorting moves rows,
// and is never given again after a reset, so work that carries it finds
// the file's row wherever that is, or learns that the file is gone.
using FileId = uint32_t;
constexpr FileId kNoFileId = 0;

struct FileRow {
    int32_t position;
    int32_t icon;
    char name[kNameSize];
    char size[kSizeSize];
    char date[kDateSize];
    AddressText address;
    FileId file;
    AddressText page;
    int32_t untyped;  // a picture whose address has no extension: 1 untyped, 2 its type shown
};

struct FileTableState {
    FileRow rows[kFileTableRows];
    int32_t count;
    FileId firstFile;                 // identity of the file appended first since the reset
    int32_t appended;                 // identities given since the reset (removed rows too)
    int16_t placeOf[kFileTableRows];  // row of file firstFile + i, -1 once removed
};

extern FileTableState FileTable;

void ListReset();
void ListAppend(int position, int icon, int param, const char* name);
void ListSetText(int row, int column, const char* text);
int ListCount();
void ListPublishCount();
void ListGetText(int row, int column, char* buffer, size_t size);
// Row text of a column (the table's own storage), or "" outside the table.
const char* ListText(int row, int column);

int AddFoundFile(const char* address, int64_t size, const char* date, int internal);

// Identity of the file at a row, or kNoFileId outside the table.
FileId ListFileId(int row);
// Row of a file, or -1 when it is no longer in the table.
int ListRowOfFile(FileId file);
// Writes a column of a file's row; nothing when the file is gone.
void ListSetFileText(FileId file, int column, const char* text);
// Marks a row as a picture of unknown type, and asks whether a file is one.
void ListMarkUntyped(int row);
bool ListIsUntyped(FileId file);
// The type of an untyped picture is known: its name and icon show it.
void ListShowPictureType(FileId file, const char* extension);
// Takes a file's row out of the table (a picture its answer showed to be
// none, or of a type not selected); the rows after it move up one.
void ListRemoveFile(FileId file);
// Exchanges the contents of two rows; each keeps its position field.
void ListSwapRows(int p, int q);

// The size column's text of a byte count (at most 19 digits), and back: the
// number at the start of the text, 0 when none, held at 2^63 - 1.
void FormatSize(int64_t size, char* out, size_t outSize);
int64_t SizeOfText(const char* text);
int FileTypeIcon(const char* name);
