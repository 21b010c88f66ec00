// The TLS record scan: which headers it refuses, and whether a stream cut
// anywhere ends between records, whatever the pieces it arrives in.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "engine/tls.h"

namespace {

std::string Record(int type, int length, int major = 3) {
    std::string r;
    r += (char)type;
    r += (char)major;
    r += (char)3;
    r += (char)(length >> 8);
    r += (char)(length & 0xFF);
    return r + std::string((size_t)length, 'x');
}

bool ScanWhole(TlsRecordScan* scan, const std::string& bytes) {
    return TlsScanBytes(scan, (const uint8_t*)bytes.data(), bytes.size());
}

TEST(TlsRecordScan, HeadersAcceptedAndRefused) {
    const struct {
        std::string bytes;
        bool accepted;
        bool boundary;
    } cases[] = {
        {Record(22, 100), true, true},
        {Record(20, 1) + Record(21, 2) + Record(23, 0), true, true},
        {Record(23, kTlsMaxRecordBody), true, true},
        {Record(23, kTlsMaxRecordBody + 1), false, false}, // oversized
        {Record(24, 3), false, false},                     // heartbeat: not for us
        {Record(19, 3), false, false},
        {Record(22, 3, 2), false, false},           // SSL 2 era version
        {"HTTP/1.0 200 OK\r\n\r\n", false, false},  // a plain HTTP server
        {Record(22, 10).substr(0, 7), true, false}, // cut inside the body
        {Record(22, 10).substr(0, 3), true, false}, // cut inside the header
        {"", true, true},
    };
    for (const auto& c : cases) {
        TlsRecordScan scan = {};
        EXPECT_EQ(ScanWhole(&scan, c.bytes), c.accepted) << c.bytes.size();
        EXPECT_EQ(TlsScanAtBoundary(&scan), c.boundary) << c.bytes.size();
    }
}

TEST(TlsRecordScan, SameAnswerAtEveryCut) {
    // Three records; the stream cut into two pieces at every length, and fed
    // byte by byte, must be followed exactly as when it comes whole.
    std::string stream = Record(22, 40) + Record(20, 1) + Record(23, 300);
    std::vector<size_t> boundaries = {0, 45, 51, stream.size()};
    for (size_t cut = 0; cut <= stream.size(); cut++) {
        TlsRecordScan scan = {};
        ASSERT_TRUE(ScanWhole(&scan, stream.substr(0, cut)));
        bool boundary = std::find(boundaries.begin(), boundaries.end(), cut) != boundaries.end();
        EXPECT_EQ(TlsScanAtBoundary(&scan), boundary) << cut;
        ASSERT_TRUE(ScanWhole(&scan, stream.substr(cut)));
        EXPECT_TRUE(TlsScanAtBoundary(&scan)) << cut;
    }
    TlsRecordScan bytewise = {};
    for (char c : stream)
        ASSERT_TRUE(TlsScanBytes(&bytewise, (const uint8_t*)&c, 1));
    EXPECT_TRUE(TlsScanAtBoundary(&bytewise));
}

TEST(TlsRecordScan, RefusalIsFinal) {
    TlsRecordScan scan = {};
    std::string bad = Record(23, 5);
    bad[1] = 4;
    EXPECT_FALSE(ScanWhole(&scan, bad));
    EXPECT_FALSE(ScanWhole(&scan, Record(23, 5))); // later good records change nothing
    EXPECT_FALSE(TlsScanAtBoundary(&scan));
}

TEST(TlsFailures, EveryFailureHasText) {
    for (int f = TlsFailSetup; f <= TlsFailSocket; f++)
        EXPECT_STRNE(TlsFailureText((TlsFailure)f), "") << f;
    EXPECT_STREQ(TlsFailureText(TlsOk), "");
}

} // namespace
