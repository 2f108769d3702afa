#pragma once
// The formats lumorasrc offers and the colour mode behind each: caps for the pictures the camera
// would deliver now, and the colour and gray mode a negotiated caps asks for. No GObject here;
// plain values, used by the element on whichever thread negotiates.
#include <gst/gst.h>

namespace lumora::gst {

// What one acquisition delivers: the SDK's colour mode (the bits Lumora_SetColorMode takes),
// the gray mode for the 8-bit mode (filter 19: 0 raw mosaic, 1 gray gains, 2 true gray; -1 when
// the colour mode has none) and the picture's layout in memory.
struct FrameFormat {
    int colorMode = 0;
    int grayMode = -1;
    int width = 0;
    int height = 0;
    int stride = 0;  // bytes per row, rows padded to 4 bytes as the SDK lays them out
    gsize size = 0;  // stride x height

    // The layout of a width x height picture of colorMode's bits per pixel.
    static FrameFormat Make(int colorMode, int grayMode, int width, int height);
};

// The geometry every offered caps shares: picture size after subsampling, the frame rate as a
// fraction (frames per second) and the Bayer phase (0..3) that names the mosaic's pattern.
struct FrameGeometry {
    int width = 0;
    int height = 0;
    int rateNumerator = 0;
    int rateDenominator = 1;
    int bayerPhase = 3;
};

// GStreamer's name of the 2 x 2 mosaic pattern of a Bayer phase ("gbrg", "rggb", "bggr",
// "grbg" for phases 0..3): the colours of the first two samples of rows 0 and 1.
const char* BayerPatternName(int phase);

// Every format the camera can deliver with this geometry, in order of preference: BGR, BGRx,
// GRAY8, GRAY16_LE, then the raw mosaic as video/x-bayer. The caller owns the result.
GstCaps* OfferedCaps(const FrameGeometry& geometry);

// The caps template of the element's source pad: the same formats at any size and rate.
GstCaps* TemplateCaps();

// The format a fixed caps asks for; false for a caps the camera cannot deliver (another format,
// size or pattern than geometry gives). grayModeWanted is the gray mode a GRAY8 caps uses when
// the application chose one (1 or 2); any other value means true gray (2).
bool FormatFromCaps(const GstCaps* caps, const FrameGeometry& geometry, int grayModeWanted,
                    FrameFormat* format);

}  // namespace lumora::gst
