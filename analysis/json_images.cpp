#include "analysis/json_images.h"

#include <cstdint>
#include <cstring>

#include "analysis/byte_search.h"
#include "text/address.h"
#include "text/charset.h"
#include "text/text.h"

namespace {

// Deeper nesting is still read, but no longer tells where a value stands.
constexpr int kMaxDepth = 32;

enum KeyKind : uint8_t { KeyOther, KeyPicture, KeyUrl };

struct Frame {
    bool array;
    bool picture;   // this container is the value of a picture key
    KeyKind key;    // the key whose value comes next (objects)
    bool expectKey; // objects: the next string is a key
};

KeyKind KindOfKey(const char* key, size_t length) {
    static const struct {
        const char* name;
        KeyKind kind;
    } kKeys[] = {{"image", KeyPicture},
                 {"contentUrl", KeyPicture},
                 {"thumbnailUrl", KeyPicture},
                 {"url", KeyUrl}};
    for (const auto& k : kKeys)
        if (strlen(k.name) == length && memcmp(k.name, key, length) == 0) return k.kind;
    return KeyOther;
}

// The end of the string that opens at quote (the closing quote, or end).
const char* StringEnd(const char* quote, const char* end) {
    const char* p = quote + 1;
    for (;;) {
        p = FindEitherByte(p, end, '"', '\\');
        if (p >= end || *p == '"') return p;
        p += 2; // an escape and the byte it escapes
        if (p >= end) return end;
    }
}

// Decodes the string's content [p, stop) into out; false when it does not
// fit or holds a control character that no address carries.
bool DecodeString(const char* p, const char* stop, char* out, size_t outSize, size_t* lengthOut) {
    size_t n = 0;
    while (p < stop) {
        char c = *p++;
        char bytes[4];
        size_t count = 1;
        bytes[0] = c;
        if (c == '\\' && p < stop) {
            char e = *p++;
            switch (e) {
            case 'u': {
                uint32_t cp = 0;
                for (int i = 0; i < 4; i++) {
                    int d = p < stop ? HexDigitValue(*p) : -1;
                    if (d < 0) return false;
                    cp = cp * 16 + (uint32_t)d;
                    p++;
                }
                // A surrogate half names no character of an address.
                if (cp < 0x20 || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
                count = EncodeUtf8(cp, bytes);
                break;
            }
            case 'n':
            case 't':
            case 'r':
            case 'b':
            case 'f':
                return false;
            default: // \" \\ \/ and any other stand for themselves
                if ((unsigned char)e < 0x20) return false;
                bytes[0] = e;
                break;
            }
        } else if ((unsigned char)c < 0x20) {
            return false;
        }
        if (n + count >= outSize) return false;
        memcpy(out + n, bytes, count);
        n += count;
    }
    out[n] = '\0';
    *lengthOut = n;
    return true;
}

} // namespace

void ForEachJsonImage(const char* json, size_t length, JsonImageTaker take, void* context) {
    const char* p = json;
    const char* end = json + length;
    Frame stack[kMaxDepth];
    int depth = 0;   // frames in use
    int beyond = 0;  // containers opened past kMaxDepth
    while (p < end) {
        char c = *p;
        Frame* top = depth > 0 && beyond == 0 ? &stack[depth - 1] : nullptr;
        switch (c) {
        case '{':
        case '[': {
            bool picture = top && ((!top->array && top->key == KeyPicture) ||
                                   (top->array && top->picture));
            if (depth < kMaxDepth && beyond == 0) {
                stack[depth++] = Frame{c == '[', picture, KeyOther, c == '{'};
            } else {
                beyond++;
            }
            p++;
            break;
        }
        case '}':
        case ']':
            if (beyond > 0)
                beyond--;
            else if (depth > 0)
                depth--;
            p++;
            break;
        case ':':
            if (top) top->expectKey = false;
            p++;
            break;
        case ',':
            if (top && !top->array) {
                top->expectKey = true;
                top->key = KeyOther;
            }
            p++;
            break;
        case '"': {
            const char* stop = StringEnd(p, end);
            if (stop >= end) return;
            if (top && !top->array && top->expectKey) {
                top->key = KindOfKey(p + 1, (size_t)(stop - p - 1));
            } else if (top) {
                bool wanted = top->array ? top->picture
                                         : top->key == KeyPicture ||
                                               (top->key == KeyUrl && top->picture);
                char value[kAddressBufferSize];
                size_t n = 0;
                if (wanted && DecodeString(p + 1, stop, value, sizeof value, &n) && n > 0)
                    take(context, value, n);
            }
            p = stop + 1;
            break;
        }
        default:
            p++;
            break;
        }
    }
}
