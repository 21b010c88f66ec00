// The HTML scan: a page's bytes in, the references it makes out, in document
// order. It touches no global state; the engine decides what becomes of each
// reference (page_links in engine/).
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "analysis/page_charset.h"

// Where a reference came from.
enum ReferenceKind : uint8_t {
    RefAnchor,     // <a href>, <area href>
    RefImage,      // <img src>
    RefFrame,      // <frame src>, <iframe src>
    RefBackground, // <body background>
    RefScript,     // window.open(...) in a script, the onClick of a "javascript:;" anchor
    RefSrcset,     // the largest candidate of srcset or data-srcset
    RefLazy,       // data-src, data-original, data-lazy-src on any element
    RefMedia,      // <source src>, <video src> and poster, <audio src>, <embed src>, <object data>
    RefIcon,       // <link href> of an icon, apple-touch-icon, image_src or an image preload
    RefMeta,       // <meta content> of og:image, og:image:url, og:video, twitter:image
    RefStyle,      // CSS url(...) in a style attribute or a <style> element
    RefStructured, // image, contentUrl, thumbnailUrl of JSON-LD structured data
};

struct PageReference {
    uint32_t link;    // offset in PageScan::texts: the link as written, decoded and cleaned
    uint32_t address; // offset in PageScan::texts: the resolved full address
    uint32_t origin;  // offset in the page of the "<" of the tag it came from
    ReferenceKind kind;
    bool relative; // written relative to the page: an internal link
    // A link without an extension found where only a picture can stand (not
    // a link, frame, script, video or sound), and not on a counting pixel: it
    // may still be listed as a picture of unknown type. Links with an
    // extension are judged by it alone and never have this set.
    bool picture;
};

struct ScanSettings {
    bool skipThumbnails; // ThumbNail = 1: images inside links are left out
    int headerCharset;   // charset of the Content-Type header, CharsetUnknown when none
};

constexpr size_t kMaxTitleBytes = 88; // Shift_JIS bytes of a title

struct PageScan {
    std::vector<PageReference> references;
    std::string texts; // the references' texts, each NUL-terminated
    // The title in Shift_JIS (the page address when the page has none), at
    // most 88 bytes, never ending in half a character.
    char title[kMaxTitleBytes + 1];
    int charset; // the charset the page was read in (after guessing)
};

// Scans the page (length bytes, up to its first NUL) whose address is
// pageAddress. Relative links of a page without a usable address are
// dropped; absolute ones still count.
void ScanPage(const char* bytes, size_t length, const char* pageAddress,
              const ScanSettings& settings, PageScan* out);

inline const char* ReferenceLink(const PageScan& scan, const PageReference& ref) {
    return scan.texts.c_str() + ref.link;
}
inline const char* ReferenceAddress(const PageScan& scan, const PageReference& ref) {
    return scan.texts.c_str() + ref.address;
}

// Value of the attribute name in a collected tag text (the first place the
// name occurs, anywhere in the text), trimmed, at most capacity - 1
// characters; false (out empty) when there is none.
bool GetAttributeValue(const char* tagText, const char* name, char* out, size_t capacity);
// The same value in place: where it starts in tagText and how long it is.
bool FindAttributeValue(const char* tagText, const char* name, const char** startOut,
                        size_t* lengthOut);
