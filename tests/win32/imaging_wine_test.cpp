// Runs under Wine against the Windows build: image buffers as real DIB sections in memory
// device contexts, blits between them, the pixel routines over them, BMP files and processor
// detection. The exit code is the verdict.
#include <cstdio>
#include <cstring>
#include <vector>

#include "imaging/defect_correction.h"
#include "imaging/demosaic.h"
#include "imaging/filter_vectors.h"
#include "imaging/image_buffer.h"
#include "imaging/pixel_conversion.h"
#include "imaging/processor_info.h"
#include "imaging/vector_support.h"

namespace {

int failures = 0;

void Check(bool ok, const char* what) {
    if (!ok) {
        std::printf("FAILED: %s\n", what);
        ++failures;
    }
}

int32_t CountCalls(uint8_t*, const uint8_t*, const lumora::Rect* r, int32_t x, int32_t y, uint16_t,
                   uint16_t, int32_t, int32_t, void* value1, void*) {
    const int32_t* want = static_cast<const int32_t*>(value1);
    return r->left == want[0] && r->top == want[1] && r->right == want[2] && r->bottom == want[3] &&
                   x == want[4] && y == want[5]
               ? 1
               : 0;
}

// Defect correction and demosaic of a dense, stepped mosaic with the richest vector routines
// this processor runs, against the plain loops: the 32-bit build's vector code is compiled by
// another compiler than the native tests'.
bool VectorRoutinesMatchPlain(int bits) {
    using lumora::ImageBuffer;
    const int width = 260, height = 40;
    ImageBuffer raw;
    if (raw.Create(width, height, bits) != 1) return false;
    uint32_t state = 12345;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            state = state * 1664525u + 1013904223u;
            // A ramp stepping back every 30 columns, noise and one sample in seven at random.
            const int v = (state >> 8) % 7 == 0 ? static_cast<int>((state >> 16) % 256)
                                                : 25 + (x % 30) * 7 + static_cast<int>((state >> 24) % 8);
            if (bits == 8) {
                raw.Row(y)[x] = static_cast<uint8_t>(v);
            } else {
                reinterpret_cast<uint16_t*>(raw.Row(y))[x] = static_cast<uint16_t>(v * 16);
            }
        }
    }
    const std::vector<uint8_t> input(raw.Bits(), raw.Bits() + static_cast<size_t>(raw.Stride()) * height);
    lumora::DemosaicParams params{1, 130, 100, 170};
    lumora::DemosaicParams* record = &params;
    const auto run = [&](lumora::RoutineSet set) {
        lumora::LimitVectorRoutines(set);
        std::memcpy(raw.Bits(), input.data(), input.size());
        raw.Apply(bits == 8 ? lumora::CorrectDefects : lumora::CorrectDefects16, &raw, nullptr, 0, 0, &record, nullptr);
        ImageBuffer colour;
        colour.Create(width, height, bits == 8 ? 24 : 48);
        colour.Apply(bits == 8 ? lumora::DemosaicInterior8 : lumora::DemosaicInterior16, &raw, nullptr, 0, 0, &record,
                     nullptr);
        std::vector<uint8_t> out(raw.Bits(), raw.Bits() + input.size());
        out.insert(out.end(), colour.Bits(), colour.Bits() + static_cast<size_t>(colour.Stride()) * height);
        return out;
    };
    const std::vector<uint8_t> vector = run(lumora::RoutineSet::Avx2), plain = run(lumora::RoutineSet::Plain);
    lumora::LimitVectorRoutines(lumora::RoutineSet::Avx2);
    return vector == plain;
}

}  // namespace

int main() {
    using lumora::ImageBuffer;

    ImageBuffer raw, colour, gray, wide;
    Check(raw.Create(64, 48, 8) == 1, "8-bit buffer");
    Check(raw.Dc() != nullptr && raw.Bitmap() != nullptr, "8-bit buffer is a DIB section");
    Check(colour.Create(64, 48, 24) == 1, "24-bit buffer");
    Check(colour.Dc() != nullptr && colour.Bitmap() != nullptr, "24-bit buffer is a DIB section");
    Check(colour.Stride() == 192, "24-bit stride");
    Check(wide.Create(100, 100, 48) == 1, "48-bit buffer");
    Check(wide.Dc() == nullptr && wide.Bitmap() == nullptr, "48-bit buffer is heap memory");

    // A uniform mosaic demosaics to gray; a red gain of 200 doubles red.
    std::memset(raw.Bits(), 100, static_cast<size_t>(raw.Stride()) * raw.Height());
    lumora::DemosaicParams params{1, 200, 100, 100};
    lumora::DemosaicParams* record = &params;
    Check(colour.Apply(lumora::DemosaicInterior8, &raw, nullptr, 0, 0, &record, nullptr) == 1, "interior");
    Check(colour.Apply(lumora::DemosaicBorder8, &raw, nullptr, 0, 0, &record, nullptr) == 1, "border");
    bool uniform = true;
    for (int y = 0; y < colour.Height(); ++y)
        for (int x = 0; x < colour.Width(); ++x) {
            const uint8_t* p = colour.Row(y) + 3 * x;
            uniform = uniform && p[0] == 100 && p[1] == 100 && p[2] == 200;
        }
    Check(uniform, "demosaic into the DIB section");

    // Apply converts picture rectangles to memory rows.
    const lumora::Rect r{10, 20, 30, 40};
    const int32_t want[6] = {10, 8, 30, 28, 10, 8};
    Check(colour.Apply(CountCalls, &colour, &r, 10, 20, const_cast<int32_t*>(want), nullptr) == 1, "apply rectangle");

    // A blit between two DIB sections lands where the picture coordinates say.
    ImageBuffer target;
    Check(target.Create(64, 48, 24) == 1, "blit target");
    const lumora::Rect part{0, 0, 8, 4};
    Check(target.Draw(&colour, &part, 5, 2) == 1, "blit");
    const uint8_t* landed = target.Row(48 - 1 - 2) + 3 * 5;  // picture row 2 is memory row 45
    Check(landed[0] == 100 && landed[2] == 200, "blit copies the pixels");
    Check(target.Row(47)[0] == 0, "blit leaves the rest");

    // Gray from colour, the gray palette and a BMP file.
    Check(gray.Create(64, 48, 8) == 1, "gray buffer");
    Check(gray.Apply(lumora::ColourToGray, &colour, nullptr, 0, 0, nullptr, nullptr) == 1, "colour to gray");
    Check(gray.Row(0)[0] == (59 * 100 + 30 * 200 + 11 * 100) / 100, "gray value");
    Check(gray.SaveBmp("imaging_wine_test.bmp") == 1, "save BMP");
    if (std::FILE* f = std::fopen("imaging_wine_test.bmp", "rb")) {
        unsigned char head[54 + 1024];
        const size_t got = std::fread(head, 1, sizeof head, f);
        std::fseek(f, 0, SEEK_END);
        const long size = std::ftell(f);
        std::fclose(f);
        Check(got == sizeof head && head[0] == 'B' && head[1] == 'M', "BMP signature");
        Check(size == 1078 + 48 * 64, "BMP size");
        Check(head[54 + 4 * 77] == 77 && head[54 + 4 * 77 + 3] == 0, "gray palette read back from the DC");
    } else {
        Check(false, "BMP readable");
    }
    std::remove("imaging_wine_test.bmp");
    Check(wide.SaveBmp("imaging_wine_wide.bmp") == 1, "save 48-bit BMP");
    std::remove("imaging_wine_wide.bmp");

    Check(VectorRoutinesMatchPlain(8), "8-bit defect correction and demosaic: vector routines as the plain ones");
    Check(VectorRoutinesMatchPlain(16), "16-bit defect correction and demosaic: vector routines as the plain ones");

    lumora::ProcessorInfo info;
    const int features = lumora::DetectProcessor(&info);
    Check(features == info.features && info.validMask == 63, "processor record");
    Check((info.osSupport & ~info.features) == 0, "supported flags are reported flags");
    std::printf("processor %s features %d support %d\n", info.vendor, info.features, info.osSupport);

    raw.Destroy();
    colour.Destroy();
    Check(colour.Dc() == nullptr && !colour.IsUsable(), "destroy");
    std::printf(failures == 0 ? "imaging under Wine: all passed\n" : "imaging under Wine: %d failed\n", failures);
    return failures == 0 ? 0 : 1;
}
