// Platform services of the core that are not sockets: files, the tick count
// and the clock.
// Defined in platform_posix.cpp and platform_win.cpp.
#pragma once
#include <cstddef>
#include <cstdint>

using FileHandle = intptr_t;
constexpr FileHandle kNoFile = -1;

// Creates (truncates) a file for writing; kNoFile on failure.
FileHandle FileCreate(const char* path);
// Writes all of len bytes; returns 1 on success, 0 on failure.
int FileWrite(FileHandle file, const void* data, size_t len);
void FileClose(FileHandle file);
int FileDelete(const char* path);
// A download's part file, kept out of the user's sight (hidden): created
// empty, or with append opened at its end; kNoFile on failure.
FileHandle FileOpenPart(const char* path, bool append);
// Gives a whole part file its name, replacing any file there, and shows
// it; 1 on success.
int FileFinishPart(const char* part, const char* target);
// Writes a whole file that does not exist yet, in one go; 1 on success. On
// failure nothing is left behind: a file already there stays untouched, and
// a new one that could not be written whole is removed.
int FileWriteNew(const char* path, const void* data, size_t len);
// Size of an existing file, or -1 when it does not exist.
long long FileSizeOf(const char* path);
// Creates every folder of the path up to its last backslash or slash.
int MakeFolders(const char* path);

// Millisecond tick count (wraps after 49 days, like GetTickCount).
uint32_t TickCount();
// The current time in seconds since 1970-01-01 00:00 UTC.
int64_t UnixTime();
