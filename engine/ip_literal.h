// An address written as an IPv4 or IPv6 literal, as a certificate's
// IP-address alternative names hold it: 4 or 16 bytes in network order.
#pragma once
#include <cstdint>

// 4 or 16 into *lengthOut when text is a dotted IPv4 address or an IPv6
// address (brackets allowed); false for a name.
bool ParseIpLiteral(const char* text, uint8_t out[16], int* lengthOut);
