// libFuzzer target for what a browser extension (or anything that starts the
// host) sends: the framed JSON message. A message read whole must give a
// snapshot that the file layout carries unchanged and Ferrow reads back, and
// whose cookie lines the cookie store reads; a refused one only a reply.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "engine/cookie_file.h"
#include "engine/cookies.h"
#include "engine/host_message.h"

static void CheckAt(bool ok, int line) {
    if (ok) return;
    fprintf(stderr, "host_message_fuzz: rule at line %d broken\n", line);
    abort();
}
#define Check(ok) CheckAt((ok), __LINE__)

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // The first four bytes are the frame's length, as the host reads them.
    uint32_t length = 0;
    if (size < 4 || ReadMessageLength(data, &length) != MessageOk) return 0;
    const char* json = (const char*)data + 4;
    size_t have = size - 4 < length ? size - 4 : length;
    static Snapshot s;
    MessageFault fault = ReadHostMessage(json, have, &s);
    Check(FrameHostReply(MessageFaultText(fault)).size() < kHostReplyMax);
    if (fault != MessageOk) return 0;
    Check(CheckSnapshot(s) == SnapshotOk);
    std::string file = WriteSnapshot(s);
    static Snapshot back;
    Check(ReadSnapshot(file.data(), file.size(), &back) == SnapshotOk);
    Check(back.kind == s.kind && strcmp(back.address, s.address) == 0 && back.html == s.html &&
          back.pictures == s.pictures && back.cookies == s.cookies);
    ClearCookies();
    for (const std::string& line : s.cookies) {
        Check(line.find('\n') == std::string::npos && line.find('\r') == std::string::npos);
        ReadCookieText(line.data(), line.size(), 1700000000);
    }
    Check(Cookies.count <= kCookieLimit);
    return 0;
}
