#pragma once
// Provisional: the format conversions the still-image writers need, until the imaging library's
// conversion routines are merged; then this file goes and still_image_writer.cpp includes
// theirs. Shape-A pixel routines on the 12-bit scale of 16-bit samples.
#include <algorithm>
#include <cstdint>
#include <cstring>

#include "imaging/pixel_routine.h"

namespace lumora::stand_in {

namespace detail {

inline uint16_t Load16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
inline void Store16(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}
inline uint32_t Widen(uint32_t v) { return std::min<uint32_t>(v << 4, 65535); }
inline uint8_t Reduce(uint32_t v) { return static_cast<uint8_t>(std::min<uint32_t>(v >> 4, 255)); }

// Runs pixel(dest, source) over the rectangle; flipped puts memory row top at the destination's
// last row of the area.
template <typename Pixel>
int32_t Each(uint8_t* d, const uint8_t* s, const Rect* r, int32_t dx, int32_t dy, uint16_t dbpp,
             uint16_t sbpp, int32_t dstride, int32_t sstride, bool flipped, Pixel pixel) {
    const int32_t rows = r->bottom - r->top;
    for (int32_t i = 0; i < rows; ++i) {
        const uint8_t* from = s + intptr_t(r->top + i) * sstride + intptr_t(r->left) * sbpp;
        uint8_t* to = d + intptr_t(dy + (flipped ? rows - 1 - i : i)) * dstride + intptr_t(dx) * dbpp;
        for (int32_t x = r->left; x < r->right; ++x, from += sbpp, to += dbpp) pixel(to, from);
    }
    return 1;
}

}  // namespace detail

#define LUMORA_STAND_IN(name, flipped, body)                                                    \
    inline int32_t name(uint8_t* d, const uint8_t* s, const Rect* r, int32_t dx, int32_t dy,    \
                        uint16_t dbpp, uint16_t sbpp, int32_t dstride, int32_t sstride, void*,  \
                        void*) {                                                                \
        using namespace detail;                                                                 \
        return Each(d, s, r, dx, dy, dbpp, sbpp, dstride, sstride, flipped,                     \
                    [&](uint8_t* to, const uint8_t* from) { body; });                           \
    }

// Whole rows (the smaller of the two row lengths), rows in reverse order.
inline int32_t CopyRowsFlipped(uint8_t* d, const uint8_t* s, const Rect* r, int32_t dx, int32_t dy,
                               uint16_t dbpp, uint16_t sbpp, int32_t dstride, int32_t sstride,
                               void*, void*) {
    const int32_t rows = r->bottom - r->top;
    const size_t bytes = size_t(r->right - r->left) * std::min(dbpp, sbpp);
    for (int32_t i = 0; i < rows; ++i) {
        std::memcpy(d + intptr_t(dy + rows - 1 - i) * dstride + intptr_t(dx) * dbpp,
                    s + intptr_t(r->top + i) * sstride + intptr_t(r->left) * sbpp, bytes);
    }
    return 1;
}

LUMORA_STAND_IN(Gray16To8Flipped, true, to[0] = Reduce(Load16(from)))
LUMORA_STAND_IN(Colour48To24Flipped, true,
                for (int c = 0; c < 3; ++c) to[c] = Reduce(Load16(from + 2 * c)))
LUMORA_STAND_IN(Gray16Widen, false, Store16(to, Widen(Load16(from))))
LUMORA_STAND_IN(Opaque32, false, std::memcpy(to, from, 3); to[3] = uint8_t(255 - from[3]))
LUMORA_STAND_IN(Colour48Widen, false,
                for (int c = 0; c < 3; ++c) Store16(to + 2 * c, Widen(Load16(from + 2 * c))))
LUMORA_STAND_IN(Colour64Widen, false,
                for (int c = 0; c < 3; ++c) Store16(to + 2 * c, Widen(Load16(from + 2 * c)));
                Store16(to + 6, 65535))
LUMORA_STAND_IN(SwapRedBlue24, false, to[0] = from[2]; to[1] = from[1]; to[2] = from[0])
LUMORA_STAND_IN(SwapRedBlue48, false,
                for (int c = 0; c < 3; ++c) Store16(to + 2 * c, Widen(Load16(from + 4 - 2 * c))))
LUMORA_STAND_IN(SwapRedBlue64, false,
                for (int c = 0; c < 3; ++c) Store16(to + 2 * c, Widen(Load16(from + 4 - 2 * c)));
                Store16(to + 6, 65535))

#undef LUMORA_STAND_IN

}  // namespace lumora::stand_in
