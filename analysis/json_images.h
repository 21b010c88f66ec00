// Picture addresses in structured data (JSON-LD): the values of "image",
// "contentUrl" and "thumbnailUrl", whether a string, an array of them or an
// object (or array of objects) with a "url".
#pragma once
#include <cstddef>

// Calls take for each address in the JSON text, in order, with its escapes
// decoded (a value too long to be an address is left out). Malformed text
// only yields fewer addresses; the reading is linear and its nesting
// bounded.
using JsonImageTaker = void (*)(void* context, const char* address, size_t length);
void ForEachJsonImage(const char* json, size_t length, JsonImageTaker take, void* context);
