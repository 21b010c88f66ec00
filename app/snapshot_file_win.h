// Page snapshots that the browser extension's host hands to Ferrow: files of
// the user's temporary folder, read once and deleted, then analysed.
#pragma once
#include <cstddef>

// True when path names a snapshot file directly in the user's temporary
// folder: the only files Ferrow reads and deletes on another program's word.
bool IsHandedSnapshotPath(const char* path);
// The path after the /snapshot switch of a command line (quoted or not)
// into pathOut; false when the command line holds no such switch.
bool SnapshotPathOfCommandLine(const char* commandLine, char* pathOut, size_t size);
// Reads and deletes the file, then has the engine analyse the snapshot; a
// file that cannot be read or fails the checks is logged and analysed not.
void AnalyseSnapshotFile(const char* path);
