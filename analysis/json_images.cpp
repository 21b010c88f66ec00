#include "analysis/json_images.h"

#include <cstdint>
#include <cstring>

#include "text/address.h"
#include "text/json_text.h"
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

} // namespace

void ForEachJsonImage(const char* json, size_t length, JsonImageTaker take, void* context) {
    const char* p = json;
    const char* end = json + length;
    Frame stack[kMaxDepth];
    int depth = 0;  // frames in use
    int beyond = 0; // containers opened past kMaxDepth
    while (p < end) {
        char c = *p;
        Frame* top = depth > 0 && beyond == 0 ? &stack[depth - 1] : nullptr;
        switch (c) {
        case '{':
        case '[': {
            bool picture =
                top && ((!top->array && top->key == KeyPicture) || (top->array && top->picture));
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
            const char* stop = JsonStringEnd(p, end);
            if (stop >= end) return;
            if (top && !top->array && top->expectKey) {
                top->key = KindOfKey(p + 1, (size_t)(stop - p - 1));
            } else if (top) {
                bool wanted = top->array
                                  ? top->picture
                                  : top->key == KeyPicture || (top->key == KeyUrl && top->picture);
                char value[kAddressBufferSize];
                size_t n = 0;
                if (wanted && DecodeJsonString(p + 1, stop, value, sizeof value, &n, false) &&
                    n > 0)
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
