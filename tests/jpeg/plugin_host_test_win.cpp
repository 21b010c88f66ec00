// The viewer's plug-in host over folders of stand-in plug-ins (built by the
// test suite into FERROW_TEST_PLUGINS) and over jpeg.spi itself.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "tests/jpeg/dib_pattern.h"
#include "viewer/plugin_host_win.h"

namespace {

std::string Env(const char* name) {
    const char* v = std::getenv(name);
    return v ? v : "";
}

std::string TestPlugin(const char* name) { return Env("FERROW_TEST_PLUGINS") + "\\" + name; }

std::vector<char> ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<char>(std::istreambuf_iterator<char>(in), {});
}

// A fresh folder under the temporary folder, emptied and removed at the end.
struct Folder {
    std::string path;
    Folder() {
        char base[MAX_PATH + 1];
        GetTempPathA(MAX_PATH, base);
        static int serial = 0;
        path = std::string(base) + "ferrow-host-" + std::to_string(GetCurrentProcessId()) + "-" +
               std::to_string(++serial);
        CreateDirectoryA(path.c_str(), nullptr);
    }
    ~Folder() {
        WIN32_FIND_DATAA found;
        HANDLE find = FindFirstFileA((path + "\\*").c_str(), &found);
        if (find != INVALID_HANDLE_VALUE) {
            do DeleteFileA((path + "\\" + found.cFileName).c_str());
            while (FindNextFileA(find, &found));
            FindClose(find);
        }
        RemoveDirectoryA(path.c_str());
    }
    void Add(const std::string& source, const char* name) const {
        ASSERT_TRUE(CopyFileA(source.c_str(), (path + "\\" + name).c_str(), FALSE)) << source;
    }
    void Write(const char* name, const std::string& text) const {
        std::ofstream(path + "\\" + name, std::ios::binary) << text;
    }
};

const char kFakeImage[] = "FAKE image bytes";

struct Decoded {
    int result;
    HLOCAL header, pixels;
    int FirstBlue() const {
        int blue = static_cast<const uint8_t*>(LocalLock(pixels))[0];
        LocalUnlock(pixels);
        return blue;
    }
    ~Decoded() {
        if (header) LocalFree(header);
        if (pixels) LocalFree(pixels);
    }
};

Decoded Decode(const PluginTable& table, const char* data, int32_t length) {
    Decoded d{};
    d.result = DecodeWithPlugins(table, data, length, &d.header, &d.pixels);
    return d;
}

TEST(PluginHost, FolderWithoutPluginsDecodesNothing) {
    Folder folder;
    folder.Write("readme.txt", "no plug-ins here");
    PluginTable table{};
    LoadPluginsFrom(&table, folder.path.c_str());
    EXPECT_EQ(0, table.count);
    Decoded d = Decode(table, kFakeImage, sizeof kFakeImage);
    EXPECT_EQ(0, d.result);
    EXPECT_EQ(nullptr, d.header);
    EXPECT_EQ(nullptr, d.pixels);
}

TEST(PluginHost, LoadsAtMostTenModules) {
    Folder folder;
    for (int i = 0; i < 12; ++i) folder.Add(TestPlugin("fake_ok1.spi"), ("p" + std::to_string(i) + ".spi").c_str());
    PluginTable table{};
    LoadPluginsFrom(&table, folder.path.c_str());
    EXPECT_EQ(10, table.count);
    for (int i = 0; i < table.count; ++i) EXPECT_NE(nullptr, table.modules[i]) << i;
    Decoded d = Decode(table, kFakeImage, sizeof kFakeImage);
    EXPECT_EQ(1, d.result);
    UnloadPluginTable(&table);
    EXPECT_EQ(0, table.count);
}

#if defined(_WIN64)
TEST(PluginHost, SixtyFourBitHostAlsoLoadsSph) {
    Folder folder;
    folder.Add(TestPlugin("fake_ok1.spi"), "a.spi");
    folder.Add(TestPlugin("fake_ok2.spi"), "b.sph");
    PluginTable table{};
    LoadPluginsFrom(&table, folder.path.c_str());
    EXPECT_EQ(2, table.count);
    UnloadPluginTable(&table);
}
#endif

TEST(PluginHost, UnloadableModuleKeepsItsSlot) {
    Folder folder;
    folder.Write("broken.spi", "this is not a module");
    folder.Add(TestPlugin("fake_ok1.spi"), "good.spi");
    PluginTable table{};
    LoadPluginsFrom(&table, folder.path.c_str());
    ASSERT_EQ(2, table.count);
    EXPECT_EQ(1, (table.modules[0] == nullptr) + (table.modules[1] == nullptr));
    Decoded d = Decode(table, kFakeImage, sizeof kFakeImage);
    ASSERT_EQ(1, d.result);
    EXPECT_EQ(1, d.FirstBlue());
    UnloadPluginTable(&table);
}

// Tables in a chosen order: the first module that claims the image decodes
// it, whatever comes of that.
TEST(PluginHost, FirstClaimantDecides) {
    struct {
        const char* first;
        const char* second;
        int result;
        int blue;
    } cases[] = {
        {"fake_ok1.spi", "fake_ok2.spi", 1, 1},
        {"fake_ok2.spi", "fake_ok1.spi", 1, 2},
        {"fake_fail.spi", "fake_ok1.spi", 0, 0},
        {"fake_nopicture.spi", "fake_ok1.spi", 0, 0},
        {"fake_badheader.spi", "fake_ok1.spi", 0, 0},  // an unreadable bitmap is refused
    };
    for (auto& c : cases) {
        PluginTable table{};
        table.modules[0] = LoadLibraryA(TestPlugin(c.first).c_str());
        table.modules[1] = LoadLibraryA(TestPlugin(c.second).c_str());
        table.count = 2;
        ASSERT_NE(nullptr, table.modules[0]) << c.first;
        ASSERT_NE(nullptr, table.modules[1]) << c.second;
        Decoded d = Decode(table, kFakeImage, sizeof kFakeImage);
        EXPECT_EQ(c.result, d.result) << c.first;
        if (d.result) {
            EXPECT_EQ(c.blue, d.FirstBlue()) << c.first;
        } else {
            EXPECT_EQ(nullptr, d.header) << c.first;
            EXPECT_EQ(nullptr, d.pixels) << c.first;
        }
        // Not claimed by anyone: nothing decodes.
        Decoded other = Decode(table, "GIF89a", 6);
        EXPECT_EQ(0, other.result);
        UnloadPluginTable(&table);
    }
}

HLOCAL HeaderBlock(LONG width, LONG height, WORD bits, DWORD size = sizeof(BITMAPINFOHEADER), DWORD extra = 0) {
    HLOCAL h = LocalAlloc(LMEM_MOVEABLE | LMEM_ZEROINIT, sizeof(BITMAPINFOHEADER) + extra);
    auto* b = static_cast<BITMAPINFOHEADER*>(LocalLock(h));
    b->biSize = size;
    b->biWidth = width;
    b->biHeight = height;
    b->biPlanes = 1;
    b->biBitCount = bits;
    LocalUnlock(h);
    return h;
}

TEST(PluginHost, BitmapChecks) {
    struct {
        const char* name;
        LONG width, height;
        WORD bits;
        DWORD headerSize, extra;
        SIZE_T pixelBytes;
        bool ok;
    } cases[] = {
        {"3x2_24bit", 3, 2, 24, 40, 0, 24, true},
        {"3x2_24bit_short", 3, 2, 24, 40, 0, 23, false},
        {"top_down", 3, -2, 24, 40, 0, 24, true},
        {"zero_width", 0, 2, 24, 40, 0, 24, false},
        {"negative_width", -3, 2, 24, 40, 0, 24, false},
        {"zero_height", 3, 0, 24, 40, 0, 24, false},
        {"odd_bit_count", 3, 2, 12, 40, 0, 64, false},
        {"header_size_lies", 3, 2, 24, 400, 0, 24, false},
        {"8bit_without_palette", 4, 1, 8, 40, 0, 4, false},
        {"8bit_with_palette", 4, 1, 8, 40, 1024, 4, true},
        {"huge", 100000, 100000, 24, 40, 0, 4, false},
    };
    for (auto& c : cases) {
        HLOCAL header = HeaderBlock(c.width, c.height, c.bits, c.headerSize, c.extra);
        HLOCAL pixels = LocalAlloc(LMEM_MOVEABLE, c.pixelBytes);
        EXPECT_EQ(c.ok, CheckPluginBitmap(header, pixels)) << c.name;
        LocalFree(header);
        LocalFree(pixels);
    }
    EXPECT_FALSE(CheckPluginBitmap(nullptr, nullptr));
}

// Every depth the bitmap rule allows comes through the host whole: the
// blocks the stand-in made, unchanged, with the layout the viewer draws by.
TEST(PluginHost, AcceptsBitmapsOfEveryDepth) {
    PluginTable table{};
    table.modules[0] = LoadLibraryA(TestPlugin("fake_depths.spi").c_str());
    table.count = 1;
    ASSERT_NE(nullptr, table.modules[0]);
    for (int bits : {1, 4, 8, 16, 24, 32}) {
        for (bool topDown : {false, true}) {
            const std::string image = PatternImage(bits, topDown);
            Decoded d = Decode(table, image.data(), int32_t(image.size()));
            ASSERT_EQ(1, d.result) << bits << (topDown ? " top-down" : " bottom-up");
            std::vector<uint8_t> header, pixels;
            MakePatternBitmap(bits, topDown, &header, &pixels);
            DibLayout layout;
            ASSERT_TRUE(ReadPluginBitmap(d.header, d.pixels, &layout));
            EXPECT_EQ(bits, layout.bitCount);
            EXPECT_EQ(topDown, layout.topDown);
            EXPECT_EQ(kPatternHeight, layout.height);
            EXPECT_EQ(0, std::memcmp(LocalLock(d.pixels), pixels.data(), pixels.size())) << bits;
            EXPECT_EQ(0, std::memcmp(LocalLock(d.header), header.data(), header.size())) << bits;
            LocalUnlock(d.pixels);
            LocalUnlock(d.header);
        }
    }
    UnloadPluginTable(&table);
}

TEST(PluginHost, DecodesJpegWithJpegSpi) {
    Folder folder;
    folder.Add(Env("FERROW_JPEG_SPI"), "jpeg.spi");
    folder.Add(TestPlugin("fake_ok1.spi"), "fake.spi");
    PluginTable table{};
    LoadPluginsFrom(&table, folder.path.c_str());
    ASSERT_EQ(2, table.count);
    std::vector<char> jpeg = ReadBytes(Env("FERROW_JPEG_FIXTURES") + "/b420.jpg");
    ASSERT_FALSE(jpeg.empty());
    Decoded d = Decode(table, jpeg.data(), int32_t(jpeg.size()));
    ASSERT_EQ(1, d.result);
    auto* h = static_cast<const BITMAPINFOHEADER*>(LocalLock(d.header));
    EXPECT_EQ(97, h->biWidth);
    EXPECT_EQ(61, h->biHeight);
    EXPECT_EQ(24, h->biBitCount);
    LocalUnlock(d.header);
    // Damaged data: claimed by jpeg.spi (it starts with SOI), not decodable.
    Decoded bad = Decode(table, "\xFF\xD8\xFF\xD9", 4);
    EXPECT_EQ(0, bad.result);
    UnloadPluginTable(&table);
}

TEST(PluginHost, ProgramFolderTable) {
    // The test program lies beside jpeg.spi, as Ferrow.exe does.
    LoadPlugins();
    std::vector<char> jpeg = ReadBytes(Env("FERROW_JPEG_FIXTURES") + "/grey.jpg");
    HLOCAL header = nullptr, pixels = nullptr;
    EXPECT_EQ(1, DecodeMemoryImage(jpeg.data(), int32_t(jpeg.size()), &header, &pixels));
    if (header) LocalFree(header);
    if (pixels) LocalFree(pixels);
    EXPECT_EQ(0, DecodeMemoryImage(nullptr, 0, &header, &pixels));
    EXPECT_EQ(nullptr, header);
    UnloadPlugins();
}

}  // namespace
