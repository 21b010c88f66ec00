// Decoding speed of our decoder against libjpeg-turbo (libturbojpeg) and
// stb_image on the same files, in one run. Prints Mpixel/s and the ratios.
//   jpeg_bench --make-ppm FILE WIDTH HEIGHT   writes a synthesized test picture
//   jpeg_bench FILE.jpg ...                   decodes each file with all three
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include <turbojpeg.h>

#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_JPEG
#include <stb/stb_image.h>

#include "jpeg/jpeg_decoder.h"

namespace {

using Clock = std::chrono::steady_clock;

// Smooth gradients, noise and hard edges, like the conformance pictures.
bool MakePpm(const char* path, int width, int height) {
    std::vector<uint8_t> rgb(size_t(width) * size_t(height) * 3);
    uint32_t seed = 12345;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            seed = seed * 1103515245u + 12345u;
            int noise = int((seed >> 16) % 25) - 12;
            int v[3] = {255 * x / (width - 1), 255 * y / (height - 1),
                        int(128 + 100 * std::sin((x + 2 * y) / 9.0))};
            if ((x / 16 + y / 12) % 5 == 0) v[0] = 255 - v[1], v[1] = 30, v[2] = 240;
            if (std::abs(x - y) < 2) v[0] = v[1] = v[2] = 0;
            uint8_t* p = &rgb[(size_t(y) * size_t(width) + size_t(x)) * 3];
            for (int c = 0; c < 3; ++c)
                p[c] = uint8_t(std::min(255, std::max(0, v[c] + noise)));
        }
    }
    std::ofstream out(path, std::ios::binary);
    out << "P6\n" << width << " " << height << "\n255\n";
    out.write(reinterpret_cast<const char*>(rgb.data()), std::streamsize(rgb.size()));
    return bool(out);
}

// Best of several runs, at least six and 3 s in all: seconds per decode.
template <typename Fn> double BestSeconds(Fn decode) {
    double best = 1e9, total = 0;
    for (int run = 0; run < 30 && (run < 6 || total < 3.0); ++run) {
        auto start = Clock::now();
        if (!decode()) return -1;
        double s = std::chrono::duration<double>(Clock::now() - start).count();
        best = std::min(best, s);
        total += s;
    }
    return best;
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 5 && std::strcmp(argv[1], "--make-ppm") == 0) {
        int width = int(std::strtol(argv[3], nullptr, 10));
        int height = int(std::strtol(argv[4], nullptr, 10));
        return MakePpm(argv[2], width, height) ? 0 : 1;
    }
    if (argc < 2) {
        std::fprintf(stderr, "usage: jpeg_bench FILE.jpg ... | --make-ppm FILE WIDTH HEIGHT\n");
        return 2;
    }
    int failures = 0;
    std::printf("%-28s %9s %12s %12s %12s %10s %10s\n", "file", "Mpixel", "ours MP/s", "turbo MP/s",
                "stb MP/s", "ours/stb", "ours/turbo");
    for (int i = 1; i < argc; ++i) {
        std::ifstream in(argv[i], std::ios::binary);
        std::vector<uint8_t> data((std::istreambuf_iterator<char>(in)), {});
        if (data.empty()) {
            std::fprintf(stderr, "%s: cannot read\n", argv[i]);
            ++failures;
            continue;
        }
        int width = 0, height = 0;
        double ours = BestSeconds([&] {
            DecodedImage image;
            bool ok = DecodeJpegWith(&image, data.data(), data.size(), JpegDecodeOptions()) ==
                      JpegStatus::Ok;
            width = image.width;
            height = image.height;
            ReleaseDecodedImage(&image);
            return ok;
        });
        // Every decoder delivers a fresh picture each time, as a plug-in must
        // (ours and stb_image allocate it inside the decode): libjpeg-turbo
        // gets a new output block per decode too, not one that earlier runs
        // have already brought into memory.
        tjhandle tj = tjInitDecompress();
        double turbo = BestSeconds([&] {
            uint8_t* rgb = static_cast<uint8_t*>(std::malloc(size_t(width) * size_t(height) * 3));
            bool ok = rgb && tjDecompress2(tj, data.data(), (unsigned long)data.size(), rgb, width,
                                           0, height, TJPF_RGB, 0) == 0;
            std::free(rgb);
            return ok;
        });
        tjDestroy(tj);
        double stb = BestSeconds([&] {
            int w, h, n;
            stbi_uc* p = stbi_load_from_memory(data.data(), int(data.size()), &w, &h, &n, 3);
            stbi_image_free(p);
            return p != nullptr;
        });
        double mp = double(width) * double(height) / 1e6;
        if (ours <= 0 || turbo <= 0 || stb <= 0) {
            std::fprintf(stderr, "%s: a decoder failed (ours %g, turbo %g, stb %g)\n", argv[i],
                         ours, turbo, stb);
            ++failures;
            continue;
        }
        std::string name = argv[i];
        name = name.substr(name.find_last_of('/') + 1);
        std::printf("%-28s %9.2f %12.1f %12.1f %12.1f %10.2f %10.2f\n", name.c_str(), mp, mp / ours,
                    mp / turbo, mp / stb, stb / ours, turbo / ours);
    }
    return failures ? 1 : 0;
}
