#pragma once
// Internal to the imaging routines: the one-pixel demosaic formula and what the mosaic routines
// share (parameter decoding, neighbour folding at the frame's edges, sample reading).
#include <algorithm>
#include <cstdint>
#include <cstring>

#include "imaging/demosaic.h"

namespace lumora::mosaic {

constexpr int kMax8 = 255;
constexpr int kMax16 = 4095;

template <typename T> struct SampleTraits;
template <> struct SampleTraits<uint8_t> {
    static constexpr int kMax = kMax8;
    static int Read(const uint8_t* p) { return *p; }
    static void Write(uint8_t* p, int v) { *p = static_cast<uint8_t>(v); }
};
template <> struct SampleTraits<uint16_t> {
    static constexpr int kMax = kMax16;
    // Samples above the 12-bit range are read as its top.
    static int Read(const uint16_t* p) { return std::min<int>(*p, kMax16); }
    static void Write(uint16_t* p, int v) { *p = static_cast<uint16_t>(v); }
};

// The record behind value1 (a pointer to a pointer to it), or the neutral record.
inline DemosaicParams ReadParams(void* value1) {
    auto* const* record = static_cast<DemosaicParams* const*>(value1);
    if (record == nullptr || *record == nullptr) return DemosaicParams{};
    return **record;
}

// floor(gain * 1.28) for gains limited to 0..400: 0..512.
inline int GainFactor(int32_t gain) { return std::clamp<int32_t>(gain, 0, 400) * 128 / 100; }

// A mosaic frame as a routine sees it: the rectangle's first sample and first output pixel.
struct Frame {
    const uint8_t* source;
    intptr_t sourceStride;
    uint8_t* dest;
    intptr_t destStride;
    int32_t width;
    int32_t height;
    int rowPhase;     // phase bit 0
    int columnPhase;  // phase bit 1
    int kR;
    int kB;
};

inline Frame MakeFrame(uint8_t* destBits, const uint8_t* sourceBits, const Rect* r,
                       int32_t destX, int32_t destY, uint16_t destBpp, uint16_t sourceBpp,
                       int32_t destStride, int32_t sourceStride, void* value1) {
    const DemosaicParams p = ReadParams(value1);
    Frame f{};
    f.source = sourceBits + static_cast<intptr_t>(r->top) * sourceStride +
               static_cast<intptr_t>(r->left) * sourceBpp;
    f.sourceStride = sourceStride;
    f.dest = destBits + static_cast<intptr_t>(destY) * destStride +
             static_cast<intptr_t>(destX) * destBpp;
    f.destStride = destStride;
    f.width = std::max(0, r->right - r->left);
    f.height = std::max(0, r->bottom - r->top);
    f.rowPhase = p.bayerPhase & 1;
    f.columnPhase = (p.bayerPhase >> 1) & 1;
    f.kR = GainFactor(p.redGain);
    f.kB = GainFactor(p.blueGain);
    return f;
}

template <typename T>
const T* SourceRow(const Frame& f, int32_t y) {
    return reinterpret_cast<const T*>(f.source + y * f.sourceStride);
}

// A neighbour coordinate k of a frame n samples long: moved 4 inwards when outside; where that
// is still outside (n < 4), the nearest coordinate of the same parity, or the only one.
inline int32_t Fold(int32_t k, int32_t n) {
    if (k < 0) k += 4;
    else if (k >= n) k -= 4;
    if (k >= 0 && k < n) return k;
    int32_t c = std::clamp<int32_t>(k, 0, n - 1);
    if (((c ^ k) & 1) != 0 && n > 1) c += (c == 0) ? 1 : -1;
    return c;
}

// Colour of output pixel (x, y). rows[j] is row y - 2 + j, cols[i] the column of x - 2 + i
// (already folded when at an edge); p0 and q0 are the P and Q of sample (x, y).
template <typename T>
inline void Pixel(const T* const rows[4], const int32_t cols[4], int p0, int q0, int kR, int kB,
                  int& blue, int& green, int& red) {
    using S = SampleTraits<T>;
    auto s = [&](int i, int j) { return S::Read(rows[j] + cols[i]); };
    // Red sits where P = 1, Q = 0; its far partner is 2 columns/rows across the block.
    const int ir = q0 ? 1 : 2, iro = q0 ? 3 : 0;
    const int jr = p0 ? 2 : 1, jro = p0 ? 0 : 3;
    const int ib = q0 ? 2 : 1, ibo = q0 ? 0 : 3;
    const int jb = p0 ? 1 : 2, jbo = p0 ? 3 : 0;
    const int sumR = 9 * s(ir, jr) + 3 * s(iro, jr) + 3 * s(ir, jro) + s(iro, jro);
    const int sumB = 9 * s(ib, jb) + 3 * s(ibo, jb) + 3 * s(ib, jbo) + s(ibo, jbo);
    red = std::min((sumR * kR) >> 11, S::kMax);
    blue = std::min((sumB * kB) >> 11, S::kMax);
    green = (p0 == q0) ? (s(2, 2) + s(1, 1)) >> 1 : (s(1, 2) + s(2, 1)) >> 1;
}

// Writes blue, green, red into the pixel; a fourth byte or sample stays as it is.
template <typename T>
inline void StorePixel(uint8_t* pixel, int blue, int green, int red) {
    T* p = reinterpret_cast<T*>(pixel);
    SampleTraits<T>::Write(p + 0, blue);
    SampleTraits<T>::Write(p + 1, green);
    SampleTraits<T>::Write(p + 2, red);
}

// Output pixel (x, y) with every neighbour folded into the frame.
template <typename T>
inline void EdgePixel(const Frame& f, int32_t x, int32_t y, int& blue, int& green, int& red) {
    const T* rows[4];
    int32_t cols[4];
    for (int j = 0; j < 4; ++j) rows[j] = SourceRow<T>(f, Fold(y - 2 + j, f.height));
    for (int i = 0; i < 4; ++i) cols[i] = Fold(x - 2 + i, f.width);
    Pixel<T>(rows, cols, f.rowPhase ^ (y & 1), f.columnPhase ^ (x & 1), f.kR, f.kB, blue, green,
             red);
}

}  // namespace lumora::mosaic
