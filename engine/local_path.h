// Where a download is saved: a path inside the download folder built from
// the address, and the same-name rule.
#pragma once
#include <cstddef>
#include <cstdint>

// Longest path the file functions accept (MAX_PATH less the terminator).
constexpr int kMaxPathChars = 259;

// Makes one name taken from an address safe to use as a file or folder name
// inside the download folder: "." and ".." give an empty name (dropped by
// the caller), characters Windows refuses and control characters become "_",
// trailing dots and spaces go, device names (CON, NUL, COM1...) get a "_"
// in front. Shift_JIS aware: a trail byte is never taken for a separator.
void SafeName(const char* name, size_t len, char* out, size_t outSize);

// The download path of an address ("http://" optional, %20 escapes kept;
// UTF-8 names in Shift_JIS where it holds them, see ReadableName) in
// folder: folder\host\dirs\name when hierarchical, else folder\name with
// name = flatName. Never leaves folder; keeps the whole path within 259
// characters, cutting the name but keeping its extension. false when
// folder leaves no room for a name.
bool DownloadPath(const char* folder, const char* address, const char* flatName, int hierarchical,
                  char* out, size_t outSize);

enum SameNameAnswer { SameNameWrite = 0, SameNameSkip = 1 };
// The same-name rule. largerWins (SameFileName = 1): an existing file at
// least size bytes long is kept (size -1, unknown, keeps it always);
// otherwise the new file gets the first free name "base(N).ext", N = 1..999.
// A name inUse says is taken (another download is on its way there) counts
// as an existing file of unknown size.
SameNameAnswer ResolveSameName(char* path, size_t pathSize, int64_t size, int largerWins,
                               bool (*inUse)(const char* path) = nullptr);

// The hidden part file of a download bound for target, beside it:
// ".name.part", or ".~XXXXXXXX.part" (a hash of target) when that would
// pass the path limit; false when even that does not fit.
bool PartPathOf(const char* target, char* out, size_t outSize);
