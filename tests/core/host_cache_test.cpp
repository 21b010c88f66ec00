// Host addresses kept for a batch: literals at once, looked-up names for a
// minute, the oldest making room.
#include <gtest/gtest.h>

#include <string>

#include "engine/host_cache.h"

namespace {

class HostCacheTest : public ::testing::Test {
protected:
    void SetUp() override { ForgetHostAddresses(); }
    void TearDown() override { ForgetHostAddresses(); }
    static uint32_t Known(const char* name, uint32_t now) {
        uint32_t address = 0;
        return KnownHostAddress(name, now, &address) ? address : 0;
    }
};

TEST_F(HostCacheTest, LiteralsNeedNoLookUpAndIPv6IsLeftToIt) {
    uint32_t address = 0;
    ASSERT_TRUE(KnownHostAddress("127.0.0.1", 0, &address));
    const uint8_t* bytes = (const uint8_t*)&address;  // network order
    EXPECT_EQ(bytes[0], 127);
    EXPECT_EQ(bytes[3], 1);
    EXPECT_FALSE(KnownHostAddress("[::1]", 0, &address));
    EXPECT_FALSE(KnownHostAddress("127.0.0.1.example", 0, &address));
}

TEST_F(HostCacheTest, NamesAreKeptAMinuteWhateverTheirCase) {
    RememberHostAddress("cdn.example.com", 0x0100007F, 1000);
    EXPECT_EQ(Known("CDN.Example.com", 1000 + kHostAddressKeepMs - 1), 0x0100007Fu);
    EXPECT_EQ(Known("cdn.example.com", 1000 + kHostAddressKeepMs), 0u);
    EXPECT_EQ(Known("example.com", 1000), 0u);
    // A new look-up of the same name replaces the old address.
    RememberHostAddress("cdn.example.com", 0x0200007F, 5000);
    EXPECT_EQ(Known("cdn.example.com", 5001), 0x0200007Fu);
    // Ticks wrap after 49 days; the age is taken modulo that.
    RememberHostAddress("wrap.example", 7, 0xFFFFFF00u);
    EXPECT_EQ(Known("wrap.example", 0x100), 7u);
}

TEST_F(HostCacheTest, TheOldestMakesRoomAndLongNamesAreNotKept) {
    for (int i = 0; i <= kKnownHosts; i++)
        RememberHostAddress(("h" + std::to_string(i)).c_str(), (uint32_t)i + 1, (uint32_t)i);
    EXPECT_EQ(Known("h0", kKnownHosts), 0u);
    EXPECT_EQ(Known("h1", kKnownHosts), 2u);
    EXPECT_EQ(Known(("h" + std::to_string(kKnownHosts)).c_str(), kKnownHosts), kKnownHosts + 1u);
    std::string longName(kKnownHostNameSize, 'a');
    RememberHostAddress(longName.c_str(), 9, 100);
    EXPECT_EQ(Known(longName.c_str(), 100), 0u);
}

}  // namespace
