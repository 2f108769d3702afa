#include "settings/filter_enable_flags.h"

namespace lumora {

FilterEnableFlags FilterEnableFlags::ForColorMode(int colorMode) {
    FilterEnableFlags flags;
    const bool mono = colorMode == 0 || colorMode == 1;
    for (int i = 0; i < 9; ++i) flags.sliders[i] = !mono;
    if (mono) {
        flags.sliders[0] = flags.sliders[1] = flags.sliders[4] = flags.sliders[8] = true;
    }
    flags.grayTab = mono;
    flags.whiteBalance = !mono;
    return flags;
}

}  // namespace lumora
