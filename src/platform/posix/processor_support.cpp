#include "platform/processor_support.h"

#include <elf.h>
#include <fcntl.h>
#include <unistd.h>

namespace lumora::platform {

namespace {

// The kernel's hardware-capability word from the process's auxiliary vector: on x86 its view
// of CPUID leaf 1 EDX, with every extension it does not support (or was told not to use)
// cleared. Read from /proc because the C library's getauxval substitutes its own word on x86.
// Returns false when it cannot be read.
bool KernelHwcap(unsigned long& hwcap) {
    const int fd = open("/proc/self/auxv", O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    bool found = false;
    unsigned long entry[2];
    while (read(fd, entry, sizeof entry) == static_cast<ssize_t>(sizeof entry)) {
        if (entry[0] == AT_NULL) break;
        if (entry[0] == AT_HWCAP) {
            hwcap = entry[1];
            found = true;
            break;
        }
    }
    close(fd);
    return found;
}

}  // namespace

bool OsSupportsExtension(CpuExtension extension) {
#if defined(__i386__) || defined(__x86_64__)
    unsigned long hwcap = 0;
    if (!KernelHwcap(hwcap)) {
#if defined(__x86_64__)
        // The x86-64 ABI itself requires the system to run MMX, SSE and SSE2 code.
        return extension != CpuExtension::Amd3DNow;
#else
        return false;
#endif
    }
    switch (extension) {
        case CpuExtension::Mmx: return ((hwcap >> 23) & 1) != 0;
        case CpuExtension::Sse: return ((hwcap >> 25) & 1) != 0;
        case CpuExtension::Sse2: return ((hwcap >> 26) & 1) != 0;
        // 3DNow! works in the MMX registers, which are saved with the x87 state.
        case CpuExtension::Amd3DNow: return ((hwcap >> 23) & 1) != 0;
    }
    return false;
#else
    (void)extension;
    return false;
#endif
}

}  // namespace lumora::platform
