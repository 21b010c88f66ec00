// Addresses of hosts looked up lately, so that a batch of files from one
// server pays for one look-up (under Wine each costs a thread and a window
// message); an address written as an IPv4 literal needs none at all.
#pragma once
#include <cstdint>

constexpr int kKnownHosts = 16;               // the oldest makes room
constexpr uint32_t kHostAddressKeepMs = 60000;  // then it is looked up again
constexpr int kKnownHostNameSize = 256;       // longer names are not kept

// The IPv4 address (network order) of name: its literal, or one remembered
// less than kHostAddressKeepMs before now (a tick count); false otherwise.
bool KnownHostAddress(const char* name, uint32_t now, uint32_t* addressOut);
void RememberHostAddress(const char* name, uint32_t address, uint32_t now);
void ForgetHostAddresses();
