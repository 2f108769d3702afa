#pragma once
// The table-driven filters: gamma, contrast and brightness. Each builds a table over the sample
// range once per call and replaces every sample (every colour channel) by its entry.
//
// Routines (shape A, in place or from a source to a destination of the same format):
//   value1: pointer to a pointer to the setting (one int32_t); value2: unused.
//   *8 variants work on 8-bit samples, one per pixel (8-bit buffers) or three channels per pixel
//   (24- and 32-bit buffers); *16 variants on 16-bit samples of the 12-bit range, one per pixel
//   (16-bit buffers) or three channels (48- and 64-bit buffers). The fourth sample of a 4-sample
//   pixel is not written. 16-bit samples above 4095 are read as 4095. All return 1 (0 when the
//   arguments are unusable: null buffers, record or rectangle).
// Thread context: the frame chain's thread; no state is kept between calls.

#include <cstdint>

#include "imaging/pixel_routine.h"

namespace lumora {

// Tables: entry v is the filtered value of sample v; maxValue is 255 or 4095, the table has
// maxValue + 1 entries.
void BuildGammaTable(int32_t gamma, int32_t maxValue, uint16_t* table);
void BuildContrastTable(int32_t contrast, int32_t maxValue, uint16_t* table);
void BuildBrightnessTable(int32_t brightness, int32_t maxValue, uint16_t* table);

// Gamma, contrast and brightness as one table, in this order, leaving out each one that holds
// its neutral value (gamma 100, contrast 0, brightness 0): the same samples as running the
// filters that are not neutral one after another, in one pass.
struct ToneCurveParameters {
    int32_t gamma;
    int32_t contrast;
    int32_t brightness;
};
void BuildToneCurve(const ToneCurveParameters& parameters, int32_t maxValue, uint16_t* table);

int32_t Gamma8(uint8_t* dstBits, const uint8_t* srcBits, const Rect* rect, int32_t x, int32_t y,
               uint16_t dstBytesPerPixel, uint16_t srcBytesPerPixel, int32_t dstStride,
               int32_t srcStride, void* value1, void* value2);
int32_t Gamma16(uint8_t* dstBits, const uint8_t* srcBits, const Rect* rect, int32_t x, int32_t y,
                uint16_t dstBytesPerPixel, uint16_t srcBytesPerPixel, int32_t dstStride,
                int32_t srcStride, void* value1, void* value2);
int32_t Contrast8(uint8_t* dstBits, const uint8_t* srcBits, const Rect* rect, int32_t x, int32_t y,
                  uint16_t dstBytesPerPixel, uint16_t srcBytesPerPixel, int32_t dstStride,
                  int32_t srcStride, void* value1, void* value2);
int32_t Contrast16(uint8_t* dstBits, const uint8_t* srcBits, const Rect* rect, int32_t x,
                   int32_t y, uint16_t dstBytesPerPixel, uint16_t srcBytesPerPixel,
                   int32_t dstStride, int32_t srcStride, void* value1, void* value2);
int32_t Brightness8(uint8_t* dstBits, const uint8_t* srcBits, const Rect* rect, int32_t x,
                    int32_t y, uint16_t dstBytesPerPixel, uint16_t srcBytesPerPixel,
                    int32_t dstStride, int32_t srcStride, void* value1, void* value2);
int32_t Brightness16(uint8_t* dstBits, const uint8_t* srcBits, const Rect* rect, int32_t x,
                     int32_t y, uint16_t dstBytesPerPixel, uint16_t srcBytesPerPixel,
                     int32_t dstStride, int32_t srcStride, void* value1, void* value2);
// value1: pointer to a pointer to a ToneCurveParameters record.
int32_t ToneCurve8(uint8_t* dstBits, const uint8_t* srcBits, const Rect* rect, int32_t x,
                   int32_t y, uint16_t dstBytesPerPixel, uint16_t srcBytesPerPixel,
                   int32_t dstStride, int32_t srcStride, void* value1, void* value2);
int32_t ToneCurve16(uint8_t* dstBits, const uint8_t* srcBits, const Rect* rect, int32_t x,
                    int32_t y, uint16_t dstBytesPerPixel, uint16_t srcBytesPerPixel,
                    int32_t dstStride, int32_t srcStride, void* value1, void* value2);

// A table built once (by one of the builders above; 256 entries for the 8-bit routine, 4096
// for the 16-bit one), for a filter run many times with the same setting, as over the row bands
// of a frame. value1: pointer to a pointer to a ToneTable (null entries: samples unchanged).
struct ToneTable {
    const uint16_t* entries;
};
int32_t ToneTable8(uint8_t* dstBits, const uint8_t* srcBits, const Rect* rect, int32_t x,
                   int32_t y, uint16_t dstBytesPerPixel, uint16_t srcBytesPerPixel,
                   int32_t dstStride, int32_t srcStride, void* value1, void* value2);
int32_t ToneTable16(uint8_t* dstBits, const uint8_t* srcBits, const Rect* rect, int32_t x,
                    int32_t y, uint16_t dstBytesPerPixel, uint16_t srcBytesPerPixel,
                    int32_t dstStride, int32_t srcStride, void* value1, void* value2);

}  // namespace lumora
