#pragma once
// The raw frame the benchmarks work on: a smooth scene with mild noise, as 8-bit or 12-bit
// samples, optionally with a few hot pixels for the defect correction to find.
#include <cstring>
#include <random>

#include "imaging/image_buffer.h"

namespace lumora::bench {

inline void FillRawScene(ImageBuffer& b, bool hotPixels = false) {
    std::mt19937 rng(42);
    std::uniform_int_distribution<int> noise(-3, 3);
    for (int y = 0; y < b.Height(); ++y) {
        for (int x = 0; x < b.Width(); ++x) {
            int v = (x * 7 + y * 3) % 180 + 30 + noise(rng);
            if (hotPixels && x % 397 == 5 && y % 211 == 7) v = 255;
            if (b.BitCount() == 8) {
                b.Row(y)[x] = static_cast<uint8_t>(v);
            } else {
                const uint16_t w = static_cast<uint16_t>(v * 16);
                std::memcpy(b.Row(y) + 2 * x, &w, 2);
            }
        }
    }
}

}  // namespace lumora::bench
