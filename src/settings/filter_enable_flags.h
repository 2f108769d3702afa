#pragma once
// Which controls of the filter dialog a colour mode enables.

namespace lumora {

struct FilterEnableFlags {
    // The slider groups of the image page in their order: brightness, contrast, hue, saturation,
    // sharpness, red, green and blue gain, gamma.
    bool sliders[9] = {};
    bool grayTab = false;       // the "Gray Filter" tab and page exist
    bool whiteBalance = false;  // "Once", "All frames" and the Bayer-mode radio buttons

    // Monochrome modes (0, 1): brightness, contrast, sharpness, gamma and the gray tab; colour
    // modes: every slider and white balance.
    static FilterEnableFlags ForColorMode(int colorMode);
};

}  // namespace lumora
