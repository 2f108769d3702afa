// Output files on Windows: every still-image format at every bit count, and AVI recordings,
// written by the core as the DLL builds it (with the cross-built encoder libraries) and read back
// with those libraries' decoders. Exit code 0 when every check passed.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "../output/output_check.h"
#include "imaging/image_buffer.h"
#include "output/avi_writer.h"
#include "output/still_image_writer.h"

using namespace lumora;
using namespace lumora::test;
using namespace lumora::test::still;

namespace {

int failures = 0;

#define CHECK(cond)                                                                   \
    do {                                                                              \
        if (!(cond)) {                                                                \
            std::printf("FAILED %s:%d: %s [%s]\n", __FILE__, __LINE__, #cond, where.c_str()); \
            ++failures;                                                               \
        }                                                                             \
    } while (0)

std::string where;

bool Exists(const std::string& path) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (f != nullptr) std::fclose(f);
    return f != nullptr;
}

void StillImages() {
    const char* extensions[] = {"bmp", "raw", "q100.jpg", "q70.jpg", "q20.jpg", "png", "tif"};
    for (int bits : {8, 16, 24, 32, 48, 64}) {
        ImageBuffer b;
        where = std::to_string(bits) + " bits";
        CHECK(b.Create(67, 45, bits) == 1);
        const uint32_t scale = (bits == 16 || bits >= 48) ? 16 : 1;
        // Smooth, so that JPEG stays close; different in each channel and along each axis.
        Fill(b, [&](int x, int y, int c) { return uint32_t(20 + x + 2 * y + 20 * c) * scale; });
        for (unsigned format = 0; format <= 6; ++format) {
            const std::string path = "output_wine_test_" + std::to_string(bits) + "." + extensions[format];
            where = path;
            std::remove(path.c_str());
            CHECK(WriteStillImage(path.c_str(), &b, format) == 1);
            switch (format) {
            case kStillBmp: CHECK(BmpMatches(b, FileBytes(path))); break;
            case kStillRaw: {
                const std::vector<uint8_t> raw = FileBytes(path);
                CHECK(raw.size() == size_t(b.Stride()) * b.Height() &&
                      std::memcmp(raw.data(), b.Bits(), raw.size()) == 0);
                break;
            }
            case kStillPng: CHECK(Mismatches(b, ReadPng(path), false) == 0); break;
            case kStillTiff: CHECK(Mismatches(b, ReadTiff(path), true) == 0); break;
            default: {  // JPEG
                JpegInfo about;
                const Picture p = ReadJpeg(path, &about);
                CHECK(about.progressive);
                CHECK(p.width == 67 && p.height == 45);
                CHECK(p.channels == (bits <= 16 ? 1 : 3));
                int worst = 0;
                for (int y = 0; y < p.height; ++y)
                    for (int x = 0; x < p.width; ++x)
                        for (int c = 0; c < p.channels; ++c) {
                            const int channel = p.channels == 1 ? 0 : 2 - c;
                            const int diff = int(p.At(x, y, c)) - int(20 + x + 2 * y + 20 * channel);
                            worst = std::max(worst, std::abs(diff));
                        }
                CHECK(worst <= (format == kStillJpeg20 ? 48 : 16));
            }
            }
            std::remove(path.c_str());
        }
    }
    where = "format 7";
    ImageBuffer b;
    b.Create(4, 4, 24);
    CHECK(WriteStillImage("output_wine_test_7.out", &b, 7) == 0);
    CHECK(!Exists("output_wine_test_7.out"));
    where = "directory";
    CHECK(WriteStillImage(".", &b, kStillPng) == 0);
}

void Recordings() {
    const std::string path = "output_wine_test.avi";
    const uint32_t S = 921600, d = 921608;
    std::vector<uint8_t> frame(S);
    for (size_t i = 0; i < S; ++i) frame[i] = uint8_t(i * 7);
    {
        where = "640x480";
        AviWriter w;
        w.SetFrameSize(640, 480);
        w.SetFrameRate(30);
        CHECK(w.BeginFile(path.c_str()));
        CHECK(w.WriteFrame(frame.data()) == AviResult::kOk);
        CHECK(w.WriteFrame(frame.data()) == AviResult::kOk);
        w.SetMeasuredRate(3000);
        CHECK(w.FinishFile() == AviResult::kOk);
        const std::vector<uint8_t> b = FileBytes(path);
        CHECK(b.size() == 232 + 2 * d + 8 + 32);
        CHECK(Le32(b, 4) == b.size() - 8);
        CHECK(Le32(b, 32) == 33333u && Le32(b, 128) == 333333u && Le32(b, 132) == 10000000u);
        CHECK(Le32(b, 48) == 2u && Le32(b, 140) == 2u);
        CHECK(Le32(b, 224) == 4 + 2 * d);
        CHECK(Le32(b, 232 + 4) == S && Le32(b, 232 + d + 4) == S);
        CHECK(std::memcmp(b.data() + 232 + d + 8, frame.data(), S) == 0);
        const size_t idx = 232 + 2 * d;
        CHECK(Le32(b, idx + 4) == 32u && Le32(b, idx + 16) == 4u && Le32(b, idx + 32) == 921612u);
    }
    {
        // A writer destroyed while recording leaves a complete file; a truncated existing file
        // does not keep its old tail.
        where = "destroyed";
        AviWriter w;
        w.SetFrameSize(5, 3);
        w.SetFrameRate(25);
        CHECK(w.BeginFile(path.c_str()));
        for (int i = 0; i < 3; ++i) CHECK(w.WriteFrame(frame.data()) == AviResult::kOk);
    }
    const std::vector<uint8_t> b = FileBytes(path);
    CHECK(b.size() == 232 + 3 * 53 + 8 + 48);
    CHECK(Le32(b, 4) == b.size() - 8 && Le32(b, 48) == 3u && Le32(b, 32) == 40000u);
    {
        where = "size limit";
        AviWriter w(224 + 2 * 53 + 8 + 32);
        w.SetFrameSize(5, 3);
        CHECK(w.BeginFile(path.c_str()));
        CHECK(w.WriteFrame(frame.data()) == AviResult::kOk);
        CHECK(w.WriteFrame(frame.data()) == AviResult::kOk);
        CHECK(w.WriteFrame(frame.data()) == AviResult::kSizeLimit);
        CHECK(w.FinishFile() == AviResult::kOk);
        CHECK(FileBytes(path).size() == 232 + 2 * 53 + 8 + 32);
    }
    where = "directory";
    AviWriter w;
    w.SetFrameSize(5, 3);
    CHECK(!w.BeginFile("."));
    std::remove(path.c_str());
}

}  // namespace

int main() {
    StillImages();
    Recordings();
    std::printf("%s: %d failure(s)\n", failures == 0 ? "PASSED" : "FAILED", failures);
    return failures == 0 ? 0 : 1;
}
