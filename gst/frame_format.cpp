#include "frame_format.h"

#include <cstring>

namespace lumora::gst {

namespace {

// Caps name and format of each colour mode the element offers, in order of preference.
struct RawFormat {
    const char* media;
    const char* format;  // nullptr: the Bayer pattern of the phase
    int colorMode;
    int grayMode;
};
constexpr RawFormat kFormats[] = {
    {"video/x-raw", "BGR", 24, -1},
    {"video/x-raw", "BGRx", 32, -1},
    {"video/x-raw", "GRAY8", 8, 2},
    {"video/x-raw", "GRAY16_LE", 16, -1},
    {"video/x-bayer", nullptr, 8, 0},
};

constexpr const char* kPatterns[] = {"gbrg", "rggb", "bggr", "grbg"};

// Any thread, as all of this file.
GstStructure* FormatStructure(const RawFormat& f, const char* format) {
    return gst_structure_new(f.media, "format", G_TYPE_STRING, format, nullptr);
}

}  // namespace

FrameFormat FrameFormat::Make(int colorMode, int grayMode, int width, int height) {
    FrameFormat f;
    f.colorMode = colorMode;
    f.grayMode = colorMode == 8 ? grayMode : -1;
    f.width = width;
    f.height = height;
    f.stride = (width * (colorMode / 8) + 3) & ~3;
    f.size = static_cast<gsize>(f.stride) * static_cast<gsize>(height);
    return f;
}

const char* BayerPatternName(int phase) { return kPatterns[phase & 3]; }

GstCaps* OfferedCaps(const FrameGeometry& g) {
    GstCaps* caps = gst_caps_new_empty();
    for (const RawFormat& f : kFormats) {
        GstStructure* s = FormatStructure(f, f.format ? f.format : BayerPatternName(g.bayerPhase));
        gst_structure_set(s, "width", G_TYPE_INT, g.width, "height", G_TYPE_INT, g.height, "framerate",
                          GST_TYPE_FRACTION, g.rateNumerator, g.rateDenominator, "pixel-aspect-ratio",
                          GST_TYPE_FRACTION, 1, 1, nullptr);
        gst_caps_append_structure(caps, s);
    }
    return caps;
}

GstCaps* TemplateCaps() {
    return gst_caps_from_string(
        "video/x-raw, format = (string) { BGR, BGRx, GRAY8, GRAY16_LE }, "
        "width = (int) [ 1, 3488 ], height = (int) [ 1, 2616 ], "
        "framerate = (fraction) [ 0/1, MAX ], pixel-aspect-ratio = (fraction) 1/1; "
        "video/x-bayer, format = (string) { bggr, gbrg, grbg, rggb }, "
        "width = (int) [ 1, 3488 ], height = (int) [ 1, 2616 ], "
        "framerate = (fraction) [ 0/1, MAX ], pixel-aspect-ratio = (fraction) 1/1");
}

bool FormatFromCaps(const GstCaps* caps, const FrameGeometry& g, int grayModeWanted, FrameFormat* out) {
    if (caps == nullptr || gst_caps_get_size(caps) != 1) return false;
    const GstStructure* s = gst_caps_get_structure(caps, 0);
    const char* format = gst_structure_get_string(s, "format");
    int width = 0, height = 0;
    if (format == nullptr || !gst_structure_get_int(s, "width", &width) ||
        !gst_structure_get_int(s, "height", &height) || width != g.width || height != g.height) {
        return false;
    }
    for (const RawFormat& f : kFormats) {
        if (!gst_structure_has_name(s, f.media)) continue;
        const char* expected = f.format ? f.format : BayerPatternName(g.bayerPhase);
        if (std::strcmp(format, expected) != 0) continue;
        int gray = f.grayMode;
        if (f.colorMode == 8 && gray != 0) gray = grayModeWanted == 1 ? 1 : 2;
        *out = FrameFormat::Make(f.colorMode, gray, width, height);
        return true;
    }
    return false;
}

}  // namespace lumora::gst
