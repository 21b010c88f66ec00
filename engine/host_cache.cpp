#include "engine/host_cache.h"

#include <cstring>

#include "engine/ip_literal.h"
#include "text/nocase.h"
#include "text/text.h"

namespace {

struct KnownHost {
    char name[kKnownHostNameSize];
    uint32_t address;
    uint32_t since;  // tick count of the look-up
};

KnownHost KnownHosts[kKnownHosts];

bool Fresh(const KnownHost& host, uint32_t now) {
    return host.name[0] && now - host.since < kHostAddressKeepMs;
}

bool SameName(const char* a, const char* b) {
    size_t n = strlen(a);
    return n == strlen(b) && StrNCmpI(a, b, (int)n) == 0;
}

// How much a slot is worth keeping: an empty or stale one nothing, else the
// later its look-up, the more.
uint32_t Worth(const KnownHost& host, uint32_t now) {
    return Fresh(host, now) ? kHostAddressKeepMs - (now - host.since) : 0;
}

}  // namespace

bool KnownHostAddress(const char* name, uint32_t now, uint32_t* addressOut) {
    uint8_t bytes[16];
    int length = 0;
    if (ParseIpLiteral(name, bytes, &length)) {
        if (length != 4) return false;  // sockets are IPv4 only
        memcpy(addressOut, bytes, 4);
        return true;
    }
    for (const KnownHost& host : KnownHosts) {
        if (Fresh(host, now) && SameName(host.name, name)) {
            *addressOut = host.address;
            return true;
        }
    }
    return false;
}

void RememberHostAddress(const char* name, uint32_t address, uint32_t now) {
    if (strlen(name) >= sizeof KnownHosts[0].name) return;
    KnownHost* slot = &KnownHosts[0];
    for (KnownHost& host : KnownHosts) {
        if (host.name[0] && SameName(host.name, name)) {
            slot = &host;
            break;
        }
        if (Worth(host, now) < Worth(*slot, now)) slot = &host;
    }
    CopyText(slot->name, sizeof slot->name, name);
    slot->address = address;
    slot->since = now;
}

void ForgetHostAddresses() { memset(KnownHosts, 0, sizeof KnownHosts); }
