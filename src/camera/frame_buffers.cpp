#include "camera/frame_buffers.h"

#include <initializer_list>
#include <new>

#include "camera/camera_tables.h"

namespace lumora {

bool FrameBuffers::Allocate() {
    bool present = true;
    for (auto* buffer : {&buffer8, &buffer16, &buffer24, &buffer32, &buffer48, &buffer64,
                         &sharpenSource, &displayBuffer}) {
        buffer->reset(new (std::nothrow) ImageBuffer());
        present = present && *buffer;
    }
    return present;
}

void FrameBuffers::Release() {
    for (auto* buffer : {&buffer8, &buffer16, &buffer24, &buffer32, &buffer48, &buffer64,
                         &sharpenSource, &displayBuffer}) {
        buffer->reset();
    }
}

ImageBuffer* FrameBuffers::Raw(int mode) const {
    return IsWideColorMode(mode) ? buffer16.get() : buffer8.get();
}

ImageBuffer* FrameBuffers::Output(int mode) const {
    switch (mode) {
        case 0: return buffer8.get();
        case 1: return buffer16.get();
        case 2: return buffer24.get();
        case 3: return buffer32.get();
        case 4: return buffer48.get();
        case 5: return buffer64.get();
        default: return nullptr;
    }
}

}  // namespace lumora
