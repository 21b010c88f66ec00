// Address literals as certificates compare them.
#include <gtest/gtest.h>

#include <string>

#include "engine/ip_literal.h"

TEST(IpLiteral, AddressesAndNames) {
    const struct {
        const char* text;
        int length;  // 0 for not an address
        const char* bytes;  // hex of the address
    } cases[] = {
        {"127.0.0.1", 4, "7f000001"},
        {"0.0.0.0", 4, "00000000"},
        {"255.255.255.255", 4, "ffffffff"},
        {"::1", 16, "00000000000000000000000000000001"},
        {"[::1]", 16, "00000000000000000000000000000001"},
        {"::", 16, "00000000000000000000000000000000"},
        {"fe80::1:2", 16, "fe800000000000000000000000010002"},
        {"1:2:3:4:5:6:7:8", 16, "00010002000300040005000600070008"},
        {"1::", 16, "00010000000000000000000000000000"},
        {"::ffff:192.0.2.1", 16, "00000000000000000000ffffc0000201"},
        {"2001:DB8::A", 16, "20010db800000000000000000000000a"},
        {"localhost", 0, ""},
        {"256.0.0.1", 0, ""},
        {"1.2.3", 0, ""},
        {"1.2.3.4.5", 0, ""},
        {"1..2.3", 0, ""},
        {"1.2.3.4.", 0, ""},
        {"01234.1.1.1", 0, ""},
        {"1:2:3:4:5:6:7:8:9", 0, ""},
        {"1::2::3", 0, ""},
        {"12345::1", 0, ""},
        {":1::", 0, ""},
        {"1:", 0, ""},
        {"1:2:3:4:5:6:7::8", 0, ""},
        {"::1.2.3.4:5", 0, ""},
        {"[127.0.0.1", 0, ""},
        {"", 0, ""},
    };
    for (const auto& c : cases) {
        uint8_t out[16];
        int length = 0;
        bool ok = ParseIpLiteral(c.text, out, &length);
        EXPECT_EQ(ok, c.length != 0) << c.text;
        if (!ok) continue;
        EXPECT_EQ(length, c.length) << c.text;
        std::string hex;
        for (int i = 0; i < length; i++) {
            char two[3];
            snprintf(two, sizeof two, "%02x", out[i]);
            hex += two;
        }
        EXPECT_EQ(hex, c.bytes) << c.text;
    }
}
