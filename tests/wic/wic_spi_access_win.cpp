#include "tests/wic/wic_spi_access_win.h"

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

std::string Env(const char* name) {
    const char* v = std::getenv(name);
    return v ? v : "";
}

Bytes ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

std::string TempFile(const std::string& name, const Bytes& bytes) {
    char base[MAX_PATH + 1];
    GetTempPathA(MAX_PATH, base);
    std::string path =
        std::string(base) + "ferrow-wic-" + std::to_string(GetCurrentProcessId()) + "-" + name;
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    return path;
}

namespace {

template <typename T> T Proc(HMODULE module, const char* name) {
    return reinterpret_cast<T>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

int32_t Le32(const Bytes& b, size_t at) {
    return int32_t(b[at] | b[at + 1] << 8 | b[at + 2] << 16 | uint32_t(b[at + 3]) << 24);
}

Bytes CopyBlock(SpiHandle handle) {
    if (!handle) return {};
    auto* p = static_cast<const uint8_t*>(LocalLock(handle));
    Bytes copy(p, p + LocalSize(handle));
    LocalUnlock(handle);
    LocalFree(handle);
    return copy;
}

// Takes the blocks after the call has filled them (the arguments of one
// call are evaluated in no fixed order, so the handles are read here).
Bitmap Take(int32_t result, SpiHandle header, SpiHandle pixels) {
    Bitmap b;
    b.result = result;
    b.handedOver = header && pixels;
    b.header = CopyBlock(header);
    b.pixels = CopyBlock(pixels);
    return b;
}

} // namespace

SpiModule LoadSpi(const std::string& path) {
    SpiModule spi;
    spi.module = LoadLibraryA(path.c_str());
    if (!spi.module) return spi;
    spi.getPluginInfo = Proc<SpiGetPluginInfo>(spi.module, "GetPluginInfo");
    spi.isSupported = Proc<SpiIsSupported>(spi.module, "IsSupported");
    spi.getPictureInfo = Proc<SpiGetPictureInfo>(spi.module, "GetPictureInfo");
    spi.getPicture = Proc<SpiGetPicture>(spi.module, "GetPicture");
    spi.getPreview = Proc<SpiGetPicture>(spi.module, "GetPreview");
    return spi;
}

void UnloadSpi(SpiModule* spi) {
    if (spi->module) FreeLibrary(spi->module);
    *spi = SpiModule{};
}

int32_t Bitmap::Width() const {
    return header.size() >= 40 ? Le32(header, 4) : 0;
}
int32_t Bitmap::Height() const {
    return header.size() >= 40 ? Le32(header, 8) : 0;
}
int Bitmap::BitCount() const {
    return header.size() >= 40 ? header[14] : 0;
}

const uint8_t* Bitmap::At(int x, int y) const {
    return &pixels[size_t(Height() - 1 - y) * Stride() + size_t(x) * size_t(BitCount() / 8)];
}

Bitmap DecodeMemory(const SpiModule& spi, const Bytes& data, SpiProgress progress,
                    SpiCallerData callerData) {
    SpiHandle header = nullptr, pixels = nullptr;
    int32_t result =
        spi.getPicture(reinterpret_cast<const char*>(data.data()), SpiLength(data.size()), 1,
                       &header, &pixels, progress, callerData);
    return Take(result, header, pixels);
}

Bitmap DecodeFile(const SpiModule& spi, const std::string& path, SpiLength offset) {
    SpiHandle header = nullptr, pixels = nullptr;
    int32_t result = spi.getPicture(path.c_str(), offset, 0, &header, &pixels, nullptr, 0);
    return Take(result, header, pixels);
}

int32_t ClaimsMemory(const SpiModule& spi, const Bytes& data) {
    Bytes padded(data);
    if (padded.size() < 2048) padded.resize(2048, 0);
    return spi.isSupported("dummy", reinterpret_cast<SpiSource>(padded.data()));
}

std::vector<Fixture> ReadFixtures() {
    const std::string folder = Env("FERROW_WIC_FIXTURES");
    std::ifstream manifest(folder + "/manifest.txt");
    std::vector<Fixture> fixtures;
    std::string line;
    while (std::getline(manifest, line)) {
        Fixture f;
        std::istringstream fields(line);
        if (!(fields >> f.file >> f.width >> f.height >> f.bits)) continue;
        f.data = ReadBytes(folder + "/" + f.file);
        f.rgba = ReadBytes(folder + "/" + f.file + ".rgba");
        fixtures.push_back(f);
    }
    return fixtures;
}

Fixture FixtureNamed(const std::string& file) {
    for (Fixture& f : ReadFixtures())
        if (f.file == file) return f;
    return Fixture{};
}

std::string FirstDifference(const Bitmap& bitmap, const Fixture& reference) {
    if (bitmap.Width() != reference.width || bitmap.Height() != reference.height)
        return "size " + std::to_string(bitmap.Width()) + "x" + std::to_string(bitmap.Height());
    if (reference.rgba.size() != size_t(reference.width) * reference.height * 4)
        return "reference of " + std::to_string(reference.rgba.size()) + " bytes";
    if (bitmap.pixels.size() < bitmap.Stride() * size_t(reference.height))
        return "pixel block of " + std::to_string(bitmap.pixels.size()) + " bytes";
    for (int y = 0; y < reference.height; ++y)
        for (int x = 0; x < reference.width; ++x) {
            const uint8_t* rgba = &reference.rgba[(size_t(y) * reference.width + x) * 4];
            const unsigned alpha = rgba[3];
            uint8_t want[3];
            for (int c = 0; c < 3; ++c)
                want[c] = uint8_t((rgba[2 - c] * alpha + 255 * (255 - alpha) + 127) / 255);
            const uint8_t* got = bitmap.At(x, y);
            if (std::memcmp(got, want, 3) != 0) {
                std::ostringstream text;
                text << x << "," << y << ": got " << int(got[0]) << "," << int(got[1]) << ","
                     << int(got[2]) << " want " << int(want[0]) << "," << int(want[1]) << ","
                     << int(want[2]) << " (alpha " << alpha << ")";
                return text.str();
            }
        }
    return "";
}
