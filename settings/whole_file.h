// A small file read whole and replaced whole: the settings file is never
// left half written. Defined in whole_file_posix.cpp and whole_file_win.cpp.
#pragma once
#include <cstddef>
#include <string>

// Larger files are refused rather than cut: a cut file written back would
// lose its end.
constexpr size_t kWholeFileLimit = 1 << 20;

enum WholeFileRead {
    WholeFileLoaded,
    WholeFileMissing, // nothing at the path (file or folder not found)
    WholeFileFailed,  // there, but unreadable: locked, no access, too large
};

// Reads every byte of the file into out (emptied first).
WholeFileRead LoadWholeFile(const char* path, std::string* out);
// Writes the bytes to a temporary file in the same folder and moves it over
// path in one step. A read-only file at path is not replaced. 1 on success;
// on failure path is as it was and the temporary file is gone.
int ReplaceWholeFile(const char* path, const char* data, size_t size);
