#pragma once
// The image buffers of one camera: the raw frame (8 bits, or 16 bits in the wide colour
// modes), the output buffer of each colour mode, the sharpening filter's source copy and the
// preview window's display buffer. The buffers themselves are sized by the acquisition's
// preparation; this record only owns them and says which one a colour mode uses.
//
// Thread context: allocated and released on the application's thread while no worker thread
// runs; between a preparation and the end of the acquisition the pixels belong to the thread
// that processes frames.
#include <memory>

#include "imaging/image_buffer.h"

namespace lumora {

struct FrameBuffers {
    // Empty buffers for every slot; false when memory ran out (the slots made stay).
    bool Allocate();
    void Release();

    // The buffer raw frames of colour mode mode (0..5) land in: buffer16 in the wide modes
    // 1, 4 and 5, else buffer8.
    ImageBuffer* Raw(int mode) const;
    // The output buffer of colour mode mode: buffer8, 16, 24, 32, 48 or 64; null for another
    // mode.
    ImageBuffer* Output(int mode) const;

    std::unique_ptr<ImageBuffer> buffer8, buffer16, buffer24, buffer32, buffer48, buffer64;
    std::unique_ptr<ImageBuffer> sharpenSource, displayBuffer;
};

}  // namespace lumora
