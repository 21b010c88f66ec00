// A page as the reader's browser showed it, handed from the browser
// extension's host to Ferrow in a file of the user's temporary folder: the
// rendered markup, the address it came from, the pictures the browser chose,
// the cookies it holds for them and its User-Agent. The host writes it after
// checking the browser's message; Ferrow reads it with the same checks, as
// the file is outside bytes again by then.
//
// The file is text: the line "FerrowSnapshot 1", then fields, each a line
// "<name> <decimal byte count>" followed by that many bytes and a line end.
// Names: kind (page, link or picture), address, referer, title, agent, html,
// picture (repeated) and cookie (repeated, one line of the cookies.txt
// layout that ReadCookieText reads). Every value is UTF-8.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "engine/cookies.h"
#include "engine/http.h"
#include "text/address.h"

// How a snapshot reaches Ferrow: the path of its file (ANSI text) in a
// WM_COPYDATA block of this kind to the running program, or on the command
// line after this switch when the host has to start it. Ferrow deletes the
// file once read.
constexpr uint32_t kSnapshotCopyDataKind = 0x46534E50;  // "FSNP"
constexpr char kSnapshotSwitch[] = "/snapshot";
// The file's name in the temporary folder begins so; Ferrow reads and
// deletes no other file handed to it.
constexpr char kSnapshotFilePrefix[] = "FerrowSnapshot-";

// The extension's identities, which the host's manifest lets in: the
// Chromium id follows from the public key in extension/manifest.json.
constexpr char kExtensionChromiumId[] = "idejaphapmgaefndihkndmnekkkhombd";
constexpr char kExtensionFirefoxId[] = "handover@ferrow.jp";
constexpr char kNativeHostName[] = "ferrow.handover";

// Bounds stated once; a snapshot beyond any of them is refused whole.
constexpr size_t kSnapshotMaxHtml = 64u * 1024 * 1024;
constexpr size_t kSnapshotMaxBytes = kSnapshotMaxHtml + 8u * 1024 * 1024;
constexpr int kSnapshotMaxPictures = 10000;
constexpr int kSnapshotMaxCookies = kCookieLimit;
constexpr size_t kSnapshotMaxCookieLine = kCookieNameSize + kCookieValueSize + kCookieDomainSize +
                                          kCookiePathSize + 64;
constexpr size_t kSnapshotAgentSize = kAgentSize; // bytes, terminator included
constexpr size_t kSnapshotTitleSize = 1024;  // bytes, terminator included

enum SnapshotKind : int32_t {
    SnapshotPage = 1,     // analyse html as the page at address
    SnapshotLink = 2,     // analyse the page at address
    SnapshotPicture = 3,  // list the picture at address
};

struct Snapshot {
    int32_t kind = 0;
    char address[kAddressBufferSize] = {};  // http or https
    char referer[kAddressBufferSize] = {};  // "" for none
    char title[kSnapshotTitleSize] = {};
    char agent[kSnapshotAgentSize] = {};  // "" keeps Ferrow's own
    std::string html;                 // SnapshotPage only
    std::vector<std::string> pictures;  // absolute http(s) addresses
    std::vector<std::string> cookies;   // cookies.txt lines
};

enum SnapshotFault : int32_t {
    SnapshotOk = 0,
    SnapshotBadLayout,    // not a snapshot, a field cut short or unknown
    SnapshotTooLarge,     // a field or a count past its bound
    SnapshotBadAddress,   // not an http or https address, or too long
    SnapshotBadText,      // not UTF-8, or a control character where none may stand
    SnapshotMissing,      // no kind or no address, or html for a page missing
};

// The checks both sides make. An address is http:// or https:// (any case),
// at most kMaxAddress bytes, with no control characters or spaces.
bool IsSnapshotAddress(const char* text, size_t length);
// Checks a whole snapshot's fields; what the writer and reader share.
SnapshotFault CheckSnapshot(const Snapshot& snapshot);

// The file's bytes for snapshot (after CheckSnapshot passed).
std::string WriteSnapshot(const Snapshot& snapshot);
// Reads bytes[0, length) into *out; anything but SnapshotOk leaves *out
// unusable.
SnapshotFault ReadSnapshot(const char* bytes, size_t length, Snapshot* out);

// Short English reason, for the host's error reply.
const char* SnapshotFaultText(SnapshotFault fault);
