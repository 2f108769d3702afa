#include "platform/processor_support.h"

#include <windows.h>

namespace lumora::platform {

bool OsSupportsExtension(CpuExtension extension) {
    switch (extension) {
        case CpuExtension::Mmx: return IsProcessorFeaturePresent(PF_MMX_INSTRUCTIONS_AVAILABLE) != 0;
        case CpuExtension::Sse: return IsProcessorFeaturePresent(PF_XMMI_INSTRUCTIONS_AVAILABLE) != 0;
        case CpuExtension::Sse2: return IsProcessorFeaturePresent(PF_XMMI64_INSTRUCTIONS_AVAILABLE) != 0;
        case CpuExtension::Amd3DNow: return IsProcessorFeaturePresent(PF_3DNOW_INSTRUCTIONS_AVAILABLE) != 0;
    }
    return false;
}

}  // namespace lumora::platform
