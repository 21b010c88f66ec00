// Download paths inside the download folder and the same-name rule.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "engine/http.h"
#include "engine/local_path.h"
#include "tests/support/temp_folder.h"

namespace {

std::string Safe(const std::string& name) {
    char out[300];
    SafeName(name.c_str(), name.size(), out, sizeof out);
    return out;
}

TEST(LocalPath, SafeNames) {
    const struct {
        const char* name;
        const char* safe;
    } cases[] = {
        {"photo.jpg", "photo.jpg"}, {"..", ""},           {".", ""},
        {"a:b", "a_b"},             {"a<b>|c*?\"", "a_b__c___"}, {"x\x01y\x7f", "x_y_"},
        {"name. . .", "name"},      {"CON", "_CON"},      {"con.jpg", "_con.jpg"},
        {"COM1.txt", "_COM1.txt"},  {"lpt9", "_lpt9"},    {"COM0", "COM0"},
        {"CONSOLE", "CONSOLE"},     {"NUL .txt", "_NUL .txt"},
        // A Shift_JIS trail byte 0x5C is not a backslash.
        {"\x95\x5C.jpg", "\x95\x5C.jpg"},
        // A lead byte whose second half cannot follow it must not carry a
        // refused character through ("\x94:" would name a file stream).
        {"a\x94:b.jpg", "a__b.jpg"}, {"a\x94\x7C.jpg", "a\x94\x7C.jpg"}, {"end\x94", "end_"},
    };
    for (const auto& c : cases) EXPECT_EQ(Safe(c.name), c.safe) << c.name;
    // A device name renamed at full length is cut on a whole character.
    std::string device = "CON." + std::string(253, 'a') + "\x95\x5C";
    char renamed[260];
    SafeName(device.c_str(), device.size(), renamed, sizeof renamed);
    EXPECT_EQ(std::string(renamed), "_CON." + std::string(253, 'a'));
}

std::string PathOf(const char* address, int hierarchical, const char* folder = "D:\\dl") {
    char flat[256];
    LocalNameOf(address, flat, sizeof flat);
    char out[300];
    if (!DownloadPath(folder, address, flat, hierarchical, out, sizeof out)) return "(none)";
    return out;
}

TEST(LocalPath, FlatAndHierarchical) {
    const struct {
        const char* address;
        const char* flat;
        const char* hierarchical;
    } cases[] = {
        {"http://host/a/b.jpg", "D:\\dl\\b.jpg", "D:\\dl\\host\\a\\b.jpg"},
        {"http://host/a/", "D:\\dl\\index.html", "D:\\dl\\host\\a\\index.html"},
        {"http://host", "D:\\dl\\host", "D:\\dl\\host\\index.html"},
        {"http://host:8080/x.jpg", "D:\\dl\\x.jpg", "D:\\dl\\host_8080\\x.jpg"},
        {"http://h/../../x.jpg", "D:\\dl\\x.jpg", "D:\\dl\\h\\x.jpg"},
        {"http://h/a\\..\\..\\x.jpg", "D:\\dl\\a_.._.._x.jpg", "D:\\dl\\h\\a\\x.jpg"},
        {"http://h/c:/x.jpg", "D:\\dl\\x.jpg", "D:\\dl\\h\\c_\\x.jpg"},
        {"http://h/CON.jpg", "D:\\dl\\_CON.jpg", "D:\\dl\\h\\_CON.jpg"},
        {"http://h/a.php?id=1&b=<2>", "D:\\dl\\a.php", "D:\\dl\\h\\a.php"},
        {"http://h/img/c%20d.jpg?itok=x#y", "D:\\dl\\c d.jpg", "D:\\dl\\h\\img\\c d.jpg"},
        {"http://h/a%3Fb/x%2Fy%41.jpg", "D:\\dl\\x%2FyA.jpg", "D:\\dl\\h\\a%3Fb\\x%2FyA.jpg"},
        {"http://h/d/?from=/a/b.jpg", "D:\\dl\\index.html", "D:\\dl\\h\\d\\index.html"},
        {"http://h/..", "D:\\dl\\index.html", "D:\\dl\\h\\index.html"},
        // https saves into the same folders as http.
        {"https://host/a/b.jpg", "D:\\dl\\b.jpg", "D:\\dl\\host\\a\\b.jpg"},
        {"HTTPS://host", "D:\\dl\\host", "D:\\dl\\host\\index.html"},
        {"https://host:8443/x.jpg", "D:\\dl\\x.jpg", "D:\\dl\\host_8443\\x.jpg"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(PathOf(c.address, 0), c.flat) << c.address;
        EXPECT_EQ(PathOf(c.address, 1), c.hierarchical) << c.address;
    }
}

TEST(LocalPath, LongNamesAreCutKeepingTheExtension) {
    std::string folder = "D:\\" + std::string(100, 'f');
    std::string address = "http://h/" + std::string(80, 'd') + "/" + std::string(80, 'e') + "/" +
                          std::string(200, 'n') + ".jpeg";
    for (int hierarchical = 0; hierarchical <= 1; hierarchical++) {
        std::string path = PathOf(address.c_str(), hierarchical, folder.c_str());
        EXPECT_LE(path.size(), 259u);
        EXPECT_EQ(path.substr(path.size() - 5), ".jpeg");
        EXPECT_EQ(path.substr(0, folder.size() + 1), folder + "\\");
    }
    // A cut that lands on blanks or dots does not leave them at the name's end.
    std::string spaced = "http://h/" + std::string(200, 'a') + std::string(100, ' ') + "b";
    std::string cutPath = PathOf(spaced.c_str(), 0, "D:\\dl");
    EXPECT_LE(cutPath.size(), 259u);
    EXPECT_NE(cutPath.back(), ' ');
    EXPECT_EQ(cutPath, "D:\\dl\\" + std::string(200, 'a'));
    // A folder with no room left for any name gives no path.
    std::string full = "D:\\" + std::string(250, 'f');
    EXPECT_EQ(PathOf("http://h/x.jpg", 0, full.c_str()), "(none)");
}

TEST(SameName, NumberingAndLargerWins) {
    TempFolder temp;
    auto path = [&](const char* name) { return temp.File(name); };
    WriteWholeFile(path("photo.jpg"), "x");
    WriteWholeFile(path("photo(1).jpg"), "x");
    WriteWholeFile(path("readme"), "x");
    WriteWholeFile(path("big.jpg"), std::string(5000, 'x'));
    const struct {
        const char* name;
        int32_t size;
        int largerWins;
        SameNameAnswer answer;
        const char* result;
    } cases[] = {
        {"new.jpg", 10, 0, SameNameWrite, "new.jpg"},
        {"photo.jpg", 10, 0, SameNameWrite, "photo(2).jpg"},
        {"readme", 10, 0, SameNameWrite, "readme(1)"},
        {"big.jpg", 4000, 1, SameNameSkip, "big.jpg"},
        {"big.jpg", 5000, 1, SameNameSkip, "big.jpg"},
        {"big.jpg", 6000, 1, SameNameWrite, "big.jpg"},
        {"big.jpg", -1, 1, SameNameSkip, "big.jpg"},
    };
    for (const auto& c : cases) {
        char p[300];
        snprintf(p, sizeof p, "%s", path(c.name).c_str());
        EXPECT_EQ(ResolveSameName(p, sizeof p, c.size, c.largerWins), c.answer) << c.name;
        EXPECT_EQ(std::string(p), path(c.result)) << c.name;
    }
}

// A name another download is on its way to counts as taken, as a file there
// of unknown size would.
TEST(SameName, NamesInUseByOtherDownloadsAreTaken) {
    TempFolder temp;
    static std::string busy;
    busy = temp.File("busy.jpg");
    auto inUse = [](const char* path) { return busy == path; };
    char p[300];
    snprintf(p, sizeof p, "%s", busy.c_str());
    EXPECT_EQ(ResolveSameName(p, sizeof p, 10, 0, inUse), SameNameWrite);
    EXPECT_EQ(std::string(p), temp.File("busy(1).jpg"));
    snprintf(p, sizeof p, "%s", busy.c_str());
    EXPECT_EQ(ResolveSameName(p, sizeof p, 10, 1, inUse), SameNameSkip);
    snprintf(p, sizeof p, "%s", temp.File("free.jpg").c_str());
    EXPECT_EQ(ResolveSameName(p, sizeof p, 10, 1, inUse), SameNameWrite);
}

TEST(PartPath, HiddenBesideTheTargetWithinThePathLimit) {
    char out[300];
    ASSERT_TRUE(PartPathOf("C:\\dl\\host\\a.jpg", out, sizeof out));
    EXPECT_STREQ(out, "C:\\dl\\host\\.a.jpg.part");
    ASSERT_TRUE(PartPathOf("noslash.jpg", out, sizeof out));
    EXPECT_STREQ(out, ".noslash.jpg.part");
    // Near the limit the name gives way to a hash of the whole target, so
    // two long names that begin alike keep parts of their own.
    std::string a = "C:\\dl\\" + std::string(248, 'n') + "a.jpg";
    std::string b = "C:\\dl\\" + std::string(248, 'n') + "b.jpg";
    char other[300];
    ASSERT_TRUE(PartPathOf(a.c_str(), out, sizeof out));
    ASSERT_TRUE(PartPathOf(b.c_str(), other, sizeof other));
    EXPECT_STRNE(out, other);
    EXPECT_EQ(std::string(out).rfind("C:\\dl\\.~", 0), 0u) << out;
    EXPECT_LE(strlen(out), 259u);
    // A folder that leaves no room for even that.
    std::string deep = "C:\\" + std::string(250, 'f') + "\\x.jpg";
    EXPECT_FALSE(PartPathOf(deep.c_str(), out, sizeof out));
}

}  // namespace
