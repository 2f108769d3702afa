#pragma once
// Small helpers for the filter tests: buffers filled with known or random samples, sample
// access by memory row and column, and running a routine in place through Apply.
#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "imaging/image_buffer.h"
#include "imaging/filter_vectors.h"

namespace lumora {
namespace test {

// Sample ch of pixel (x, y), y a memory row; 8-bit or 16-bit by the buffer's format.
inline int Sample(const ImageBuffer& b, int x, int y, int ch = 0) {
    const uint8_t* p = b.Row(y) + x * b.BytesPerPixel();
    if (b.BitCount() == 16 || b.BitCount() >= 48) {
        uint16_t v;
        std::memcpy(&v, p + 2 * ch, 2);
        return v;
    }
    return p[ch];
}

inline void SetSample(ImageBuffer& b, int x, int y, int ch, int value) {
    uint8_t* p = b.Row(y) + x * b.BytesPerPixel();
    if (b.BitCount() == 16 || b.BitCount() >= 48) {
        const uint16_t v = static_cast<uint16_t>(value);
        std::memcpy(p + 2 * ch, &v, 2);
    } else {
        p[ch] = static_cast<uint8_t>(value);
    }
}

inline int SamplesPerPixel(const ImageBuffer& b) {
    return (b.BitCount() == 16 || b.BitCount() >= 48) ? b.BytesPerPixel() / 2 : b.BytesPerPixel();
}

// Every sample of every pixel set to value.
inline void Fill(ImageBuffer& b, int value) {
    for (int y = 0; y < b.Height(); ++y)
        for (int x = 0; x < b.Width(); ++x)
            for (int ch = 0; ch < SamplesPerPixel(b); ++ch) SetSample(b, x, y, ch, value);
}

// Every byte of the pixel memory random (row padding included); 16-bit samples then limited to
// 0..maxValue16.
inline void FillRandom(ImageBuffer& b, std::mt19937& rng, int maxValue16 = 4095) {
    std::uniform_int_distribution<int> byte(0, 255);
    for (int32_t i = 0; i < b.Stride() * b.Height(); ++i) b.Bits()[i] = static_cast<uint8_t>(byte(rng));
    if (b.BitCount() == 16 || b.BitCount() >= 48) {
        std::uniform_int_distribution<int> wide(0, maxValue16);
        for (int y = 0; y < b.Height(); ++y)
            for (int x = 0; x < b.Width(); ++x)
                for (int ch = 0; ch < SamplesPerPixel(b); ++ch) SetSample(b, x, y, ch, wide(rng));
    }
}

inline std::vector<uint8_t> Snapshot(const ImageBuffer& b) {
    return std::vector<uint8_t>(b.Bits(), b.Bits() + b.Stride() * b.Height());
}

// The vector code a test runs: a routine set and whether the filters' AVX-512 code may run
// above it.
struct VectorLevel8 {
    RoutineSet ceiling;
    bool avx512;
};
constexpr VectorLevel8 kPlainCode{RoutineSet::Plain, false};
constexpr VectorLevel8 kVectorLevels[] = {
    {RoutineSet::Sse2, false}, {RoutineSet::Avx2, false}, {RoutineSet::Avx2, true}};

// Caps the vector code for its lifetime, lifting the cap again on the way out.
struct VectorLimit {
    explicit VectorLimit(VectorLevel8 level) {
        LimitVectorRoutines(level.ceiling);
        AllowAvx512Filters(level.avx512);
    }
    ~VectorLimit() {
        LimitVectorRoutines(RoutineSet::Avx2);
        AllowAvx512Filters(true);
    }
    VectorLimit(const VectorLimit&) = delete;
    VectorLimit& operator=(const VectorLimit&) = delete;
};

// Runs routine over the whole buffer in place with value1 = &&record.
template <class Record>
int32_t RunInPlace(ImageBuffer& b, PixelRoutine routine, Record& record) {
    Record* p = &record;
    return b.Apply(routine, &b, nullptr, 0, 0, &p, nullptr);
}

}  // namespace test
}  // namespace lumora
