// The viewer's plug-in host with jpeg.spi and wic.spi side by side: JPEG
// goes to jpeg.spi and the other pictures to wic.spi, in whichever order the
// folder search returns the two.
#include <gtest/gtest.h>
#include <windows.h>

#include "tests/wic/wic_spi_access_win.h"
#include "viewer/plugin_host_win.h"

namespace {

struct HostBitmap {
    int result = 0;
    Bytes header, pixels;
};

HostBitmap DecodeThroughHost(const PluginTable& table, const Bytes& data) {
    HLOCAL header = nullptr, pixels = nullptr;
    HostBitmap b;
    b.result = DecodeWithPlugins(table, reinterpret_cast<const char*>(data.data()),
                                 int32_t(data.size()), &header, &pixels);
    for (auto [handle, copy] :
         {std::make_pair(header, &b.header), std::make_pair(pixels, &b.pixels)}) {
        if (!handle) continue;
        auto* p = static_cast<const uint8_t*>(LocalLock(handle));
        copy->assign(p, p + LocalSize(handle));
        LocalUnlock(handle);
        LocalFree(handle);
    }
    return b;
}

// A folder of copies of the two plug-ins under chosen names, loaded as the
// viewer loads its program folder.
struct PluginFolder {
    std::string path;
    PluginTable table{};
    PluginFolder(const char* jpegName, const char* wicName) {
        path = TempFile(std::string("plugins-") + jpegName + "-" + wicName, {});
        DeleteFileA(path.c_str());
        CreateDirectoryA(path.c_str(), nullptr);
        CopyFileA(Env("FERROW_JPEG_SPI").c_str(), (path + "\\" + jpegName).c_str(), FALSE);
        CopyFileA(Env("FERROW_WIC_SPI").c_str(), (path + "\\" + wicName).c_str(), FALSE);
        LoadPluginsFrom(&table, path.c_str());
    }
    ~PluginFolder() {
        UnloadPluginTable(&table);
        WIN32_FIND_DATAA found;
        HANDLE find = FindFirstFileA((path + "\\*").c_str(), &found);
        if (find != INVALID_HANDLE_VALUE) {
            do
                DeleteFileA((path + "\\" + found.cFileName).c_str());
            while (FindNextFileA(find, &found));
            FindClose(find);
        }
        RemoveDirectoryA(path.c_str());
    }
};

TEST(WicBesideJpeg, EachPictureGoesToItsOwnPlugin) {
    const Bytes jpeg = ReadBytes(Env("FERROW_WIC_FIXTURES") + "/photo.jpg");
    const Fixture png = FixtureNamed("png_alpha.png");
    const Fixture gif = FixtureNamed("gif_animated.gif");
    ASSERT_FALSE(jpeg.empty() || png.data.empty() || gif.data.empty());

    // What jpeg.spi alone makes of the JPEG.
    SpiModule jpegSpi = LoadSpi(Env("FERROW_JPEG_SPI"));
    ASSERT_TRUE(jpegSpi.Complete());
    Bitmap own = DecodeMemory(jpegSpi, jpeg);
    UnloadSpi(&jpegSpi);
    ASSERT_EQ(kSpiSuccess, own.result);

    struct {
        const char* jpegName;
        const char* wicName;
    } orders[] = {
        {"jpeg.spi", "wic.spi"},
        {"z_jpeg.spi", "a_wic.spi"},
        {"b.spi", "a.spi"},
        {"a.spi", "b.spi"},
#if defined(_WIN64)
        {"jpeg.spi", "wic.sph"}, // the 64-bit package's name
#endif
    };
    for (auto& order : orders) {
        SCOPED_TRACE(std::string(order.jpegName) + " beside " + order.wicName);
        PluginFolder folder(order.jpegName, order.wicName);
        ASSERT_EQ(2, folder.table.count);
        ASSERT_TRUE(folder.table.modules[0] && folder.table.modules[1]);
        HostBitmap j = DecodeThroughHost(folder.table, jpeg);
        ASSERT_EQ(1, j.result);
        EXPECT_EQ(own.header, j.header);
        EXPECT_EQ(own.pixels, j.pixels);
        EXPECT_EQ(1, DecodeThroughHost(folder.table, png.data).result);
        EXPECT_EQ(1, DecodeThroughHost(folder.table, gif.data).result);
    }
}

TEST(WicBesideJpeg, WicAloneLeavesJpegUndecoded) {
    PluginTable table{};
    table.modules[0] = LoadLibraryA(Env("FERROW_WIC_SPI").c_str());
    table.count = 1;
    ASSERT_NE(nullptr, table.modules[0]);
    EXPECT_EQ(
        0, DecodeThroughHost(table, ReadBytes(Env("FERROW_WIC_FIXTURES") + "/photo.jpg")).result);
    const Fixture f = FixtureNamed("bmp_8.bmp");
    HostBitmap b = DecodeThroughHost(table, f.data);
    EXPECT_EQ(1, b.result);
    EXPECT_EQ(40u, b.header.size());
    UnloadPluginTable(&table);
}

} // namespace
