// The browser extension's message to its native host, and the host's reply.
// The message is the browser's native-messaging frame: a 4-byte
// little-endian length, then that many bytes of UTF-8 JSON, one object:
//   kind       "page", "link" or "picture"
//   url        the page, link or picture address (http or https)
//   referrer   the page a link or picture is on; optional
//   title      the page's title; optional
//   userAgent  the browser's User-Agent; optional
//   html       the rendered markup (page only)
//   pictures   [address ...]: the pictures' currentSrc and background pictures
//   cookies    [{name, value, domain, path, hostOnly, secure, httpOnly,
//               session, expirationDate} ...] as the browser's cookie API
//               gives them
// Other keys are passed over. What is read becomes a Snapshot that passed
// CheckSnapshot; anything else is refused whole.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

#include "engine/snapshot.h"

// The longest message read: the page's markup and room for the rest.
constexpr uint32_t kHostMessageMax = 64u * 1024 * 1024;
// The longest reply a browser takes from a host is 1 MB.
constexpr size_t kHostReplyMax = 1024 * 1024;

enum MessageFault : int32_t {
    MessageOk = 0,
    MessageBadLength,  // no length, 0, or over kHostMessageMax
    MessageShort,      // fewer bytes than the length said
    MessageBadJson,    // not one JSON object, or nested too deep
    MessageBadType,    // a known key with a value of the wrong type
    MessageBadKind,    // kind not page, link or picture
    MessageBadCookie,  // a cookie field missing, too long or malformed
    MessageTooLarge,   // a field or a count past its bound
    MessageBadAddress, // an address not http or https, or too long
    MessageBadText,    // not valid UTF-8, or a control character
    MessageMissing,    // no kind, no url, or a page without html
};

// The body length from the frame's first four bytes.
MessageFault ReadMessageLength(const unsigned char prefix[4], uint32_t* lengthOut);
// The JSON body json[0, length) into *out; anything but MessageOk leaves
// *out unusable.
MessageFault ReadHostMessage(const char* json, size_t length, Snapshot* out);
// Short English reason, for the error reply.
const char* MessageFaultText(MessageFault fault);
// The framed reply: {"ok":true} when error is nullptr, else
// {"error":"<error>"}, cut to stay under kHostReplyMax.
std::string FrameHostReply(const char* error);
