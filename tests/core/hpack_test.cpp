// The HPACK decoder against the examples of RFC 7541 Appendix C, its
// refusals and bounds, and our encoder read back by the decoder.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "engine/hpack.h"

namespace {

std::string Hex(const char* hex) {
    std::string bytes;
    for (const char* p = hex; p[0] && p[1]; p += *p == ' ' ? 1 : 2) {
        if (*p != ' ') bytes += (char)std::stoi(std::string(p, 2), nullptr, 16);
    }
    return bytes;
}

HpackDecoder decoder;
HpackFields fields;

HpackResult Decode(const std::string& block) {
    return HpackDecode(&decoder, (const uint8_t*)block.data(), block.size(), &fields);
}

// "name=value;" for each decoded field, or each table entry newest first.
std::string Listed() {
    std::string list;
    for (int i = 0; i < fields.count; i++) {
        const H2Header& f = fields.fields[i];
        list += std::string(f.name, (size_t)f.nameLength) + "=" +
                std::string(f.value, (size_t)f.valueLength) + ";";
    }
    return list;
}

std::string Table() {
    std::string table;
    for (int i = decoder.first + decoder.count - 1; i >= decoder.first; i--) {
        const HpackEntry& e = decoder.entries[i];
        table += std::string(decoder.bytes + e.offset, e.nameLength) + "=" +
                 std::string(decoder.bytes + e.offset + e.nameLength, e.valueLength) + ";";
    }
    return table;
}

struct Step {
    const char* fields;
    const char* table;
    uint32_t size;
};

void Fresh(uint32_t limit) {
    decoder = {};
    decoder.limit = limit; // as our SETTINGS_HEADER_TABLE_SIZE would set it
    decoder.limitSet = 1;
}

// One example sequence, its blocks in plain text and then in Huffman code,
// each run from a fresh decoder to the same fields and tables.
void RunSequence(uint32_t limit, const std::vector<const char*>& blocks,
                 const std::vector<Step>& steps) {
    for (size_t i = 0; i < blocks.size(); i++) {
        SCOPED_TRACE(blocks[i]);
        const Step& step = steps[i % steps.size()];
        if (i % steps.size() == 0) Fresh(limit);
        ASSERT_EQ(Decode(Hex(blocks[i])), HpackOk);
        EXPECT_EQ(Listed(), step.fields);
        EXPECT_EQ(Table(), step.table);
        EXPECT_EQ(decoder.size, step.size);
    }
}

} // namespace

TEST(Hpack, RequestExamples) {
    const char* get = ":method=GET;:scheme=http;:path=/;:authority=www.example.com;";
    RunSequence(
        kH2HeaderTableSize,
        {"8286 8441 0f77 7777 2e65 7861 6d70 6c65 2e63 6f6d", "8286 84be 5808 6e6f 2d63 6163 6865",
         "8287 85bf 400a 6375 7374 6f6d 2d6b 6579 0c63 7573 746f 6d2d 7661 6c75 65",
         "8286 8441 8cf1 e3c2 e5f2 3a6b a0ab 90f4 ff", "8286 84be 5886 a8eb 1064 9cbf",
         "8287 85bf 4088 25a8 49e9 5ba9 7d7f 8925 a849 e95b b8e8 b4bf"},
        {{get, ":authority=www.example.com;", 57},
         {(std::string(get) + "cache-control=no-cache;").c_str(),
          "cache-control=no-cache;:authority=www.example.com;", 110},
         {":method=GET;:scheme=https;:path=/index.html;:authority=www.example.com;"
          "custom-key=custom-value;",
          "custom-key=custom-value;cache-control=no-cache;:authority=www.example.com;", 164}});
}

TEST(Hpack, ResponseExamplesWithEviction) {
    const char* rest = "cache-control=private;date=Mon, 21 Oct 2013 20:13:21 GMT;"
                       "location=https://www.example.com;";
    const char* cookie = "set-cookie=foo=ASDJKHQKBZXOQWEOPIUAXQWEOIU; max-age=3600; version=1;";
    const std::string first = std::string(":status=302;") + rest;
    const std::string second = std::string(":status=307;") + rest;
    const std::string third = std::string(":status=200;cache-control=private;") +
                              "date=Mon, 21 Oct 2013 20:13:22 GMT;location=https://www.example.com;"
                              "content-encoding=gzip;" +
                              cookie;
    const std::string table1 = "location=https://www.example.com;date=Mon, 21 Oct 2013 20:13:21 "
                               "GMT;cache-control=private;:status=302;";
    const std::string table2 = ":status=307;location=https://www.example.com;date=Mon, 21 Oct "
                               "2013 20:13:21 GMT;cache-control=private;";
    const std::string table3 =
        std::string(cookie) + "content-encoding=gzip;date=Mon, 21 Oct 2013 20:13:22 GMT;";
    RunSequence(256,
                {"4803 3330 3258 0770 7269 7661 7465 611d 4d6f 6e2c 2032 3120 4f63 7420 3230 3133 "
                 "2032 303a 3133 3a32 3120 474d 546e 1768 7474 7073 3a2f 2f77 7777 2e65 7861 6d70 "
                 "6c65 2e63 6f6d",
                 "4803 3330 37c1 c0bf",
                 "88c1 611d 4d6f 6e2c 2032 3120 4f63 7420 3230 3133 2032 303a 3133 3a32 3220 474d "
                 "54c0 5a04 677a 6970 7738 666f 6f3d 4153 444a 4b48 514b 425a 584f 5157 454f 5049 "
                 "5541 5851 5745 4f49 553b 206d 6178 2d61 6765 3d33 3630 303b 2076 6572 7369 6f6e "
                 "3d31",
                 "4882 6402 5885 aec3 771a 4b61 96d0 7abe 9410 54d4 44a8 2005 9504 0b81 66e0 82a6 "
                 "2d1b ff6e 919d 29ad 1718 63c7 8f0b 97c8 e9ae 82ae 43d3",
                 "4883 640e ffc1 c0bf",
                 "88c1 6196 d07a be94 1054 d444 a820 0595 040b 8166 e084 a62d 1bff c05a 839b d9ab "
                 "77ad 94e7 821d d7f2 e6c7 b335 dfdf cd5b 3960 d5af 2708 7f36 72c1 ab27 0fb5 291f "
                 "9587 3160 65c0 03ed 4ee5 b106 3d50 07"},
                {{first.c_str(), table1.c_str(), 222},
                 {second.c_str(), table2.c_str(), 222},
                 {third.c_str(), table3.c_str(), 215}});
}

TEST(Hpack, RefusedBlocks) {
    const struct {
        const char* block;
        const char* why;
    } cases[] = {
        {"80", "index 0"},
        {"be", "dynamic index with an empty table"},
        {"ff f0 ff ff ff 07", "index past 2^31 - 1"},
        {"ff 80 80 80 80 80 01", "an integer padded with empty continuation bytes"},
        {"3f e2 1f", "table size 4097, above the 4096 we announce"},
        {"82 20", "size update after a field"},
        {"40 05 61 62", "name cut short"},
        {"40 01 61 05 61", "value cut short"},
        {"0f", "name index cut"},
        {"00 84 ff ff ff fc 00", "EOS inside a Huffman string"},
        {"00 82 1f ff 00", "Huffman padding of a whole byte"},
        {"00 81 00 00", "Huffman padding not all ones"},
    };
    for (const auto& c : cases) {
        decoder = {};
        EXPECT_EQ(Decode(Hex(c.block)), HpackBroken) << c.why;
    }
}

TEST(Hpack, SizeUpdatesAndLargeEntries) {
    decoder = {};
    // Two entries of 32 + 2 bytes; an update to 40 keeps the newest only.
    ASSERT_EQ(Decode(Hex("40 01 61 01 31 40 01 62 01 32")), HpackOk);
    ASSERT_EQ(Decode(Hex("3f 09 82")), HpackOk);
    EXPECT_EQ(Table(), "b=2;");
    // Two updates in a row: the last one counts, the first to 0 emptied the table.
    ASSERT_EQ(Decode(Hex("20 3f e1 1f")), HpackOk);
    EXPECT_EQ(Table(), "");
    EXPECT_EQ(decoder.limit, kH2HeaderTableSize);
    // An entry larger than the whole table (4097 bytes) empties it and is not kept.
    ASSERT_EQ(Decode(Hex("40 01 63 01 33")), HpackOk);
    ASSERT_EQ(Decode(Hex("40 01 64 7f e1 1e") + std::string(4064, 'v')), HpackOk);
    EXPECT_EQ(Table(), "");
    EXPECT_EQ(fields.count, 1);
}

TEST(Hpack, ListBoundsKeepTheTableInStep) {
    // One field over the list's bound: the list is refused, yet the entry
    // indexed after it is kept, as the server's encoder expects.
    decoder = {};
    std::string huge = Hex("0f 2b 7f 81 ff 03") + std::string(kH2MaxHeaderListSize, 'x');
    ASSERT_EQ(Decode(huge + Hex("40 01 6b 01 76")), HpackTooLarge);
    EXPECT_EQ(fields.count, 0);
    ASSERT_EQ(Decode(Hex("be")), HpackOk);
    EXPECT_EQ(Listed(), "k=v;");
    // More fields than kH2MaxHeaders, each small.
    std::string many(kH2MaxHeaders + 1, '\x82');
    EXPECT_EQ(Decode(many), HpackTooLarge);
    ASSERT_EQ(Decode(many.substr(1)), HpackOk);
    EXPECT_EQ(fields.count, kH2MaxHeaders);
    // Every two bytes copy a name of 4000 bytes into the table again.
    std::string bomb = Hex("40 7f a1 1e") + std::string(4000, 'n') + Hex("00");
    for (int i = 0; i < 1000; i++)
        bomb += Hex("7e 00");
    EXPECT_EQ(Decode(bomb), HpackExcessive);
}

TEST(Hpack, EncodedFieldsReadBack) {
    const char* const request[][2] = {
        {":method", "GET"}, {":path", "/a.zip"}, {"x-bin", "\x01\xff"}};
    uint8_t block[64];
    size_t used = 0;
    for (const auto& f : request) {
        ASSERT_TRUE(
            HpackEncodeField(block, sizeof block, &used, f[0], strlen(f[0]), f[1], strlen(f[1])));
    }
    EXPECT_EQ(block[0], 0x82); // a whole static entry in one byte
    decoder = {};
    ASSERT_EQ(HpackDecode(&decoder, block, used, &fields), HpackOk);
    EXPECT_EQ(Listed(), ":method=GET;:path=/a.zip;x-bin=\x01\xff;");
    EXPECT_EQ(decoder.count, 0); // literals without indexing
    // No room: refused, nothing written.
    size_t at = used;
    EXPECT_FALSE(
        HpackEncodeField(block, sizeof block, &at, "x", 1, (const char*)block, sizeof block));
    EXPECT_EQ(at, used);
}

namespace {

std::string FromHex(const std::string& hex) {
    std::string bytes;
    for (size_t i = 0; i + 1 < hex.size(); i += 2)
        bytes.push_back((char)std::stoi(hex.substr(i, 2), nullptr, 16));
    return bytes;
}

// Every byte value's code as an independent coder writes it
// (tools/hpack-peer-table.py): ours reads it back and sizes it alike.
TEST(Hpack, HuffmanAgreesWithAnIndependentCoder) {
    std::ifstream table(std::string(FERROW_SOURCE_DIR) + "/tests/engine/hpack/huffman_peer.txt");
    std::string textHex, codeHex;
    int lines = 0;
    while (table >> textHex >> codeHex) {
        lines++;
        std::string text = FromHex(textHex), code = FromHex(codeHex);
        std::vector<char> out(text.size() + 1);
        size_t length = 0;
        ASSERT_TRUE(HpackHuffmanDecode((const uint8_t*)code.data(), code.size(), out.data(),
                                       out.size(), &length))
            << textHex;
        EXPECT_EQ(std::string(out.data(), length), text) << textHex;
        EXPECT_EQ(HpackHuffmanLength(text.data(), text.size()), code.size()) << textHex;
    }
    EXPECT_EQ(lines, 577);
}

}  // namespace
