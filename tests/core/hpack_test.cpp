// The HPACK decoder against the examples of RFC 7541 Appendix C, its
// refusals and bounds, and our encoder read back by the decoder.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "engine/hpack.h"

namespace {

using Fields = std::vector<std::pair<std::string, std::string>>;

std::string Hex(const char* hex) {
    std::string bytes;
    for (const char* p = hex; p[0] && p[1];) {
        if (*p == ' ') {
            p++;
            continue;
        }
        bytes += (char)std::stoi(std::string(p, 2), nullptr, 16);
        p += 2;
    }
    return bytes;
}

HpackResult Decode(HpackDecoder* d, const std::string& block, HpackFields* out) {
    return HpackDecode(d, (const uint8_t*)block.data(), block.size(), out);
}

Fields Listed(const HpackFields& f) {
    Fields list;
    for (int i = 0; i < f.count; i++) {
        list.push_back({std::string(f.fields[i].name, (size_t)f.fields[i].nameLength),
                        std::string(f.fields[i].value, (size_t)f.fields[i].valueLength)});
    }
    return list;
}

// The dynamic table, newest first, as RFC 7541 Appendix C shows it.
Fields Table(const HpackDecoder& d) {
    Fields table;
    for (int i = d.count - 1; i >= 0; i--) {
        const HpackEntry& e = d.entries[i];
        table.push_back({std::string(d.bytes + e.offset, e.nameLength),
                         std::string(d.bytes + e.offset + e.nameLength, e.valueLength)});
    }
    return table;
}

std::string Huffman(const std::string& bytes, bool* ok) {
    std::string out(bytes.size() * 2, '\0');
    size_t n = 0;
    *ok = HpackHuffmanDecode((const uint8_t*)bytes.data(), bytes.size(), &out[0], out.size(), &n);
    return out.substr(0, n);
}

struct Step {
    const char* block;
    Fields fields;
    Fields table;
    uint32_t size;
};

HpackDecoder decoder;
HpackFields fields;

void RunSequence(const char* name, uint32_t limit, const std::vector<Step>& steps) {
    decoder = {};
    if (limit != kH2HeaderTableSize) {
        decoder.limit = limit; // as SETTINGS_HEADER_TABLE_SIZE would set it
        decoder.limitSet = 1;
    }
    for (size_t i = 0; i < steps.size(); i++) {
        SCOPED_TRACE(std::string(name) + " block " + std::to_string(i + 1));
        ASSERT_EQ(Decode(&decoder, Hex(steps[i].block), &fields), HpackOk);
        EXPECT_EQ(Listed(fields), steps[i].fields);
        EXPECT_EQ(Table(decoder), steps[i].table);
        EXPECT_EQ(decoder.size, steps[i].size);
    }
}

} // namespace

TEST(Hpack, Integers) {
    const struct {
        const char* bytes;
        int prefix;
        uint32_t value;
    } cases[] = {
        {"0a", 5, 10},         // C.1.1
        {"1f 9a 0a", 5, 1337}, // C.1.2
        {"2a", 8, 42},         // C.1.3
        {"7f 00", 7, 127},     // the prefix full, nothing added
        {"0f f0 ff ff ff 07", 4, 0x7fffffff},
    };
    for (const auto& c : cases) {
        std::string bytes = Hex(c.bytes);
        size_t at = 0;
        uint32_t value = 0;
        EXPECT_TRUE(
            HpackReadInteger((const uint8_t*)bytes.data(), bytes.size(), &at, c.prefix, &value));
        EXPECT_EQ(value, c.value) << c.bytes;
        EXPECT_EQ(at, bytes.size()) << c.bytes;
        uint8_t out[8];
        size_t used = 0;
        ASSERT_TRUE(HpackWriteInteger(out, sizeof out, &used, c.prefix, 0, c.value));
        EXPECT_EQ(std::string((char*)out, used), bytes) << c.bytes;
    }
    // Cut, past 2^31 - 1, or padded with empty continuation bytes forever.
    for (const char* refused : {"1f 9a", "1f", "1f e1 ff ff ff 07", "1f 80 80 80 80 80 01", ""}) {
        std::string bytes = Hex(refused);
        size_t at = 0;
        uint32_t value = 0;
        EXPECT_FALSE(HpackReadInteger((const uint8_t*)bytes.data(), bytes.size(), &at, 5, &value))
            << refused;
    }
}

TEST(Hpack, HuffmanStrings) {
    // The strings of C.4 and C.6, and codes of every length at the table's edges.
    const struct {
        const char* code;
        std::string text;
    } cases[] = {
        {"f1e3 c2e5 f23a 6ba0 ab90 f4ff", "www.example.com"},
        {"a8eb 1064 9cbf", "no-cache"},
        {"25a8 49e9 5ba9 7d7f", "custom-key"},
        {"25a8 49e9 5bb8 e8b4 bf", "custom-value"},
        {"6402", "302"},
        {"aec3 771a 4b", "private"},
        {"d07a be94 1054 d444 a820 0595 040b 8166 e082 a62d 1bff", "Mon, 21 Oct 2013 20:13:21 GMT"},
        {"9d29 ad17 1863 c78f 0b97 c8e9 ae82 ae43 d3", "https://www.example.com"},
        {"94e7 821d d7f2 e6c7 b335 dfdf cd5b 3960 d5af 2708 7f36 72c1 ab27 0fb5 291f 9587 3160 "
         "65c0 03ed 4ee5 b106 3d50 07",
         "foo=ASDJKHQKBZXOQWEOPIUAXQWEOIU; max-age=3600; version=1"},
        {"", ""},
    };
    for (const auto& c : cases) {
        bool ok = false;
        EXPECT_EQ(Huffman(Hex(c.code), &ok), c.text);
        EXPECT_TRUE(ok) << c.text;
        EXPECT_EQ(HpackHuffmanLength(c.text.data(), c.text.size()), Hex(c.code).size()) << c.text;
    }
    // Every byte value through our encoder and back.
    std::string all;
    for (int b = 0; b < 256; b++)
        all += (char)b;
    uint8_t block[1024];
    size_t used = 0;
    ASSERT_TRUE(HpackEncodeField(block, sizeof block, &used, "x", 1, all.data(), all.size()));
    HpackDecoder d = {};
    ASSERT_EQ(HpackDecode(&d, block, used, &fields), HpackOk);
    EXPECT_EQ(Listed(fields), (Fields{{"x", all}}));
    // EOS as a symbol, padding of a whole byte, padding not all ones.
    for (const char* broken :
         {"ff ff ff fc", "1f ff", "ff", "00", "f1e3 c2e5 f23a 6ba0 ab90 f4fe"}) {
        bool ok = true;
        Huffman(Hex(broken), &ok);
        EXPECT_FALSE(ok) << broken;
    }
}

TEST(Hpack, RequestExamples) {
    RunSequence("C.3", kH2HeaderTableSize,
                {{"8286 8441 0f77 7777 2e65 7861 6d70 6c65 2e63 6f6d",
                  {{":method", "GET"},
                   {":scheme", "http"},
                   {":path", "/"},
                   {":authority", "www.example.com"}},
                  {{":authority", "www.example.com"}},
                  57},
                 {"8286 84be 5808 6e6f 2d63 6163 6865",
                  {{":method", "GET"},
                   {":scheme", "http"},
                   {":path", "/"},
                   {":authority", "www.example.com"},
                   {"cache-control", "no-cache"}},
                  {{"cache-control", "no-cache"}, {":authority", "www.example.com"}},
                  110},
                 {"8287 85bf 400a 6375 7374 6f6d 2d6b 6579 0c63 7573 746f 6d2d 7661 6c75 65",
                  {{":method", "GET"},
                   {":scheme", "https"},
                   {":path", "/index.html"},
                   {":authority", "www.example.com"},
                   {"custom-key", "custom-value"}},
                  {{"custom-key", "custom-value"},
                   {"cache-control", "no-cache"},
                   {":authority", "www.example.com"}},
                  164}});
    RunSequence("C.4", kH2HeaderTableSize,
                {{"8286 8441 8cf1 e3c2 e5f2 3a6b a0ab 90f4 ff",
                  {{":method", "GET"},
                   {":scheme", "http"},
                   {":path", "/"},
                   {":authority", "www.example.com"}},
                  {{":authority", "www.example.com"}},
                  57},
                 {"8286 84be 5886 a8eb 1064 9cbf",
                  {{":method", "GET"},
                   {":scheme", "http"},
                   {":path", "/"},
                   {":authority", "www.example.com"},
                   {"cache-control", "no-cache"}},
                  {{"cache-control", "no-cache"}, {":authority", "www.example.com"}},
                  110},
                 {"8287 85bf 4088 25a8 49e9 5ba9 7d7f 8925 a849 e95b b8e8 b4bf",
                  {{":method", "GET"},
                   {":scheme", "https"},
                   {":path", "/index.html"},
                   {":authority", "www.example.com"},
                   {"custom-key", "custom-value"}},
                  {{"custom-key", "custom-value"},
                   {"cache-control", "no-cache"},
                   {":authority", "www.example.com"}},
                  164}});
}

TEST(Hpack, ResponseExamplesWithEviction) {
    const Fields first = {{":status", "302"},
                          {"cache-control", "private"},
                          {"date", "Mon, 21 Oct 2013 20:13:21 GMT"},
                          {"location", "https://www.example.com"}};
    const Fields second = {{":status", "307"},
                           {"cache-control", "private"},
                           {"date", "Mon, 21 Oct 2013 20:13:21 GMT"},
                           {"location", "https://www.example.com"}};
    const Fields third = {
        {":status", "200"},
        {"cache-control", "private"},
        {"date", "Mon, 21 Oct 2013 20:13:22 GMT"},
        {"location", "https://www.example.com"},
        {"content-encoding", "gzip"},
        {"set-cookie", "foo=ASDJKHQKBZXOQWEOPIUAXQWEOIU; max-age=3600; version=1"}};
    const Fields table1 = {{"location", "https://www.example.com"},
                           {"date", "Mon, 21 Oct 2013 20:13:21 GMT"},
                           {"cache-control", "private"},
                           {":status", "302"}};
    const Fields table2 = {{":status", "307"},
                           {"location", "https://www.example.com"},
                           {"date", "Mon, 21 Oct 2013 20:13:21 GMT"},
                           {"cache-control", "private"}};
    const Fields table3 = {
        {"set-cookie", "foo=ASDJKHQKBZXOQWEOPIUAXQWEOIU; max-age=3600; version=1"},
        {"content-encoding", "gzip"},
        {"date", "Mon, 21 Oct 2013 20:13:22 GMT"}};
    RunSequence("C.5", 256,
                {{"4803 3330 3258 0770 7269 7661 7465 611d 4d6f 6e2c 2032 3120 4f63 7420 3230 3133 "
                  "2032 303a 3133 3a32 3120 474d 546e 1768 7474 7073 3a2f 2f77 7777 2e65 7861 6d70 "
                  "6c65 2e63 6f6d",
                  first, table1, 222},
                 {"4803 3330 37c1 c0bf", second, table2, 222},
                 {"88c1 611d 4d6f 6e2c 2032 3120 4f63 7420 3230 3133 2032 303a 3133 3a32 3220 474d "
                  "54c0 5a04 677a 6970 7738 666f 6f3d 4153 444a 4b48 514b 425a 584f 5157 454f 5049 "
                  "5541 5851 5745 4f49 553b 206d 6178 2d61 6765 3d33 3630 303b 2076 6572 7369 6f6e "
                  "3d31",
                  third, table3, 215}});
    RunSequence("C.6", 256,
                {{"4882 6402 5885 aec3 771a 4b61 96d0 7abe 9410 54d4 44a8 2005 9504 0b81 66e0 82a6 "
                  "2d1b ff6e 919d 29ad 1718 63c7 8f0b 97c8 e9ae 82ae 43d3",
                  first, table1, 222},
                 {"4883 640e ffc1 c0bf", second, table2, 222},
                 {"88c1 6196 d07a be94 1054 d444 a820 0595 040b 8166 e084 a62d 1bff c05a 839b d9ab "
                  "77ad 94e7 821d d7f2 e6c7 b335 dfdf cd5b 3960 d5af 2708 7f36 72c1 ab27 0fb5 291f "
                  "9587 3160 65c0 03ed 4ee5 b106 3d50 07",
                  third, table3, 215}});
}

TEST(Hpack, RefusedBlocks) {
    const struct {
        const char* block;
        const char* why;
    } cases[] = {
        {"80", "index 0"},
        {"be", "dynamic index with an empty table"},
        {"ff 80 80 80 80 08", "index past 2^31 - 1"},
        {"3f e2 1f", "table size 4097, above the 4096 we announce"},
        {"82 20", "size update after a field"},
        {"40 05 61 62", "name cut short"},
        {"40 01 61 05 61", "value cut short"},
        {"40 81 ff 01 61", "Huffman name with a byte of padding"},
        {"0f", "name index cut"},
    };
    for (const auto& c : cases) {
        HpackDecoder d = {};
        EXPECT_EQ(Decode(&d, Hex(c.block), &fields), HpackBroken) << c.why;
    }
}

TEST(Hpack, SizeUpdatesAndLargeEntries) {
    HpackDecoder d = {};
    // Two entries of 32 + 2 bytes; an update to 40 keeps the newest only.
    ASSERT_EQ(Decode(&d, Hex("40 01 61 01 31 40 01 62 01 32"), &fields), HpackOk);
    EXPECT_EQ(d.size, 68u);
    ASSERT_EQ(Decode(&d, Hex("3f 09 82"), &fields), HpackOk); // update to 40, then :method GET
    EXPECT_EQ(Table(d), (Fields{{"b", "2"}}));
    // Two updates in a row, the last one counts; an update to 0 empties the table.
    ASSERT_EQ(Decode(&d, Hex("20 3f e1 1f"), &fields), HpackOk);
    EXPECT_EQ(d.count, 0);
    EXPECT_EQ(d.limit, kH2HeaderTableSize);
    // An entry larger than the whole table empties it and is not kept.
    ASSERT_EQ(Decode(&d, Hex("40 01 63 01 33"), &fields), HpackOk);
    std::string big = Hex("40 01 64 7f e1 1e") + std::string(4096 - 32, 'v'); // 4097 in all
    ASSERT_EQ(Decode(&d, big, &fields), HpackOk);
    EXPECT_EQ(d.count, 0);
    EXPECT_EQ(fields.count, 1);
}

TEST(Hpack, ListBoundsKeepTheTableInStep) {
    // One field over the list's bound: the list is refused, yet the entry
    // indexed after it is kept, as the server's encoder expects.
    std::string huge = Hex("0f 2b 7f 81 ff 03") + std::string(kH2MaxHeaderListSize, 'x');
    std::string block = huge + Hex("40 01 6b 01 76");
    HpackDecoder d = {};
    ASSERT_EQ(Decode(&d, block, &fields), HpackTooLarge);
    EXPECT_EQ(fields.count, 0);
    ASSERT_EQ(Decode(&d, Hex("be"), &fields), HpackOk);
    EXPECT_EQ(Listed(fields), (Fields{{"k", "v"}}));
    // More fields than kH2MaxHeaders, each small.
    std::string many;
    for (int i = 0; i <= kH2MaxHeaders; i++)
        many += Hex("82");
    EXPECT_EQ(Decode(&d, many, &fields), HpackTooLarge);
    ASSERT_EQ(Decode(&d, many.substr(1), &fields), HpackOk);
    EXPECT_EQ(fields.count, kH2MaxHeaders);
}

TEST(Hpack, EncodedRequestReadsBack) {
    const Fields request = {{":method", "GET"},
                            {":scheme", "https"},
                            {":authority", "files.example.jp:8443"},
                            {":path", "/a/b.zip?x=1"},
                            {"user-agent", "Ferrow"},
                            {"range", "bytes=100-"},
                            {"x-odd", std::string("\x01\xff\x7f", 3)},
                            {"empty", ""}};
    uint8_t block[512];
    size_t used = 0;
    for (const auto& f : request) {
        ASSERT_TRUE(HpackEncodeField(block, sizeof block, &used, f.first.data(), f.first.size(),
                                     f.second.data(), f.second.size()));
    }
    // Whole static entries are one byte each: :method GET, :scheme https.
    EXPECT_EQ(block[0], 0x82);
    EXPECT_EQ(block[1], 0x87);
    HpackDecoder d = {};
    ASSERT_EQ(HpackDecode(&d, block, used, &fields), HpackOk);
    EXPECT_EQ(Listed(fields), request);
    EXPECT_EQ(d.count, 0); // nothing indexed
    // No room: refused, and nothing written.
    size_t small = 0;
    EXPECT_FALSE(HpackEncodeField(block, 4, &small, "user-agent", 10, "Ferrow", 6));
    EXPECT_EQ(small, 0u);
}
