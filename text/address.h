// The one limit of an address everywhere in the program: the URL box, the
// found-file table, jobs and the engine hold at most kMaxAddress characters.
// A longer address is refused where it is met, never cut: a cut address
// names another file.
#pragma once
#include <cstring>

constexpr int kMaxAddress = 2048;
constexpr int kAddressBufferSize = kMaxAddress + 1;  // + terminator
using AddressText = char[kAddressBufferSize];

// Addresses from outside (command line, other programs) are read into this
// much room, so that one too long arrives whole and is refused as such.
constexpr int kAddressInputSize = 2 * kMaxAddress;

inline bool AddressFits(const char* address) { return strlen(address) <= (size_t)kMaxAddress; }
