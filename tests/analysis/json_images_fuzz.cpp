// libFuzzer target: arbitrary bytes as JSON-LD structured data. Every value
// the reader hands out must lie in bounds, be no longer than an address and
// hold no control character; the same text read twice gives the same
// values, and text after a "</script" the reader is not given is never seen.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "analysis/json_images.h"
#include "text/address.h"

#define Check(condition) CheckAt((condition), __LINE__)
static void CheckAt(bool condition, int line) {
    if (condition) return;
    fprintf(stderr, "json_images_fuzz.cpp:%d: check failed\n", line);
    abort();
}

static void Take(void* context, const char* address, size_t length) {
    Check(length > 0 && length <= (size_t)kMaxAddress);
    for (size_t i = 0; i < length; i++)
        Check((unsigned char)address[i] >= 0x20);
    ((std::vector<std::string>*)context)->push_back(std::string(address, length));
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // An exact-size copy, so reading past it is caught.
    std::vector<char> text(data, data + size);
    std::vector<std::string> first, second;
    ForEachJsonImage(text.data(), text.size(), Take, &first);
    ForEachJsonImage(text.data(), text.size(), Take, &second);
    Check(first == second);
    return 0;
}
