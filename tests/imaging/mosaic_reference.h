#pragma once
// Plain, slow reference of the demosaic and defect formulas, written straight from their
// definitions, and helpers to fill and read raw buffers.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <random>
#include <vector>

#include "imaging/image_buffer.h"

namespace lumora::reference {

enum Colour { kGreen, kBlue, kRed };

inline Colour ColourAt(int phase, int x, int y) {
    const int p = (phase & 1) ^ (y & 1);
    const int q = ((phase >> 1) & 1) ^ (x & 1);
    if (p == q) return kGreen;
    return p == 1 ? kRed : kBlue;
}

// Outside the frame: 4 samples inwards; if still outside (frames under 4 samples), the nearest
// coordinate of the same parity, or the nearest of all when there is none.
inline int Fold(int k, int n) {
    if (k < 0) k += 4;
    else if (k >= n) k -= 4;
    if (k >= 0 && k < n) return k;
    int best = -1;
    for (int c = 0; c < n; ++c) {
        if (((c - k) % 2) != 0) continue;
        if (best < 0 || std::abs(c - k) < std::abs(best - k)) best = c;
    }
    if (best >= 0) return best;
    return k < 0 ? 0 : n - 1;
}

// A raw frame as plain numbers, row 0 first.
struct Raw {
    int width = 0, height = 0;
    std::vector<int> samples;
    int At(int x, int y) const { return samples[static_cast<size_t>(y) * width + x]; }
};

struct Bgr {
    int b, g, r;
    bool operator==(const Bgr& o) const { return b == o.b && g == o.g && r == o.r; }
};

// Colour of output pixel (x, y); maxValue 255 or 4095 (samples above it are read as it).
inline Bgr DemosaicPixel(const Raw& raw, int x, int y, int phase, int redGain, int blueGain,
                         int maxValue) {
    auto s = [&](int cx, int cy) {
        return std::min(raw.At(Fold(cx, raw.width), Fold(cy, raw.height)), maxValue);
    };
    int sums[3] = {0, 0, 0};
    int greens = 0;
    for (int by = y - 1; by <= y; ++by) {
        for (int bx = x - 1; bx <= x; ++bx) {
            const Colour c = ColourAt(phase, bx, by);
            if (c == kGreen) {
                greens += s(bx, by);
                continue;
            }
            // The same colour 2 columns / rows over, on the near side of the block centre.
            const int ox = bx == x ? x - 2 : x + 1;
            const int oy = by == y ? y - 2 : y + 1;
            sums[c] = 9 * s(bx, by) + 3 * s(ox, by) + 3 * s(bx, oy) + s(ox, oy);
        }
    }
    const int kR = static_cast<int>(std::floor(redGain * 1.28));
    const int kB = static_cast<int>(std::floor(blueGain * 1.28));
    Bgr out;
    out.r = std::min((sums[kRed] * kR) >> 11, maxValue);
    out.b = std::min((sums[kBlue] * kB) >> 11, maxValue);
    out.g = std::min(greens / 2, maxValue);
    return out;
}

// Defect correction in place; returns the count.
inline int CorrectDefects(Raw& raw, int phase, int redGain, int blueGain, int threshold,
                          int colourLimit, int maxValue) {
    int count = 0;
    for (int y = 2; y <= raw.height - 3; ++y) {
        for (int x = 2; x <= raw.width - 3; ++x) {
            auto s = [&](int cx, int cy) { return std::min(raw.At(cx, cy), maxValue); };
            const int m = (s(x, y - 2) + s(x, y + 2) + s(x - 2, y) + s(x + 2, y)) / 4;
            if (s(x, y) - m < threshold) continue;
            const Bgr c = DemosaicPixel(raw, x, y, phase, redGain, blueGain, maxValue);
            const int far = (std::abs(c.r - c.g) > colourLimit) + (std::abs(c.r - c.b) > colourLimit) +
                            (std::abs(c.g - c.b) > colourLimit);
            if (far >= 2) {
                raw.samples[static_cast<size_t>(y) * raw.width + x] = m;
                ++count;
            }
        }
    }
    return count;
}

inline Raw RandomRaw(std::mt19937& rng, int width, int height, int maxValue) {
    Raw raw{width, height, std::vector<int>(static_cast<size_t>(width) * height)};
    std::uniform_int_distribution<int> d(0, maxValue);
    for (int& v : raw.samples) v = d(rng);
    return raw;
}

// Copies the numbers into an 8- or 16-bit buffer of the raw frame's size.
inline void Fill(ImageBuffer& b, const Raw& raw) {
    const int bytes = b.BytesPerPixel();
    for (int y = 0; y < raw.height; ++y) {
        for (int x = 0; x < raw.width; ++x) {
            const int v = raw.At(x, y);
            if (bytes == 1) {
                b.Row(y)[x] = static_cast<uint8_t>(v);
            } else {
                const uint16_t w = static_cast<uint16_t>(v);
                std::memcpy(b.Row(y) + 2 * x, &w, 2);
            }
        }
    }
}

inline Raw Read(const ImageBuffer& b) {
    Raw raw{b.Width(), b.Height(), {}};
    for (int y = 0; y < b.Height(); ++y) {
        for (int x = 0; x < b.Width(); ++x) {
            if (b.BytesPerPixel() == 1) {
                raw.samples.push_back(b.Row(y)[x]);
            } else {
                uint16_t w;
                std::memcpy(&w, b.Row(y) + 2 * x, 2);
                raw.samples.push_back(w);
            }
        }
    }
    return raw;
}

// Sample c of pixel (x, y) of an 8- or 16-bit-per-channel colour buffer.
inline int Channel(const ImageBuffer& b, int x, int y, int c) {
    const int bpp = b.BytesPerPixel();
    const uint8_t* p = b.Row(y) + x * bpp;
    if (bpp <= 4) return p[c];
    uint16_t w;
    std::memcpy(&w, p + 2 * c, 2);
    return w;
}

inline Bgr PixelAt(const ImageBuffer& b, int x, int y) {
    return {Channel(b, x, y, 0), Channel(b, x, y, 1), Channel(b, x, y, 2)};
}

}  // namespace lumora::reference
