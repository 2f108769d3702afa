// The frame pipeline in the Windows build on frames of an emulated camera: every colour mode
// gives an output of its depth and size, the chart's gray patch comes out gray at Bayer phase 3,
// and the two-thread pass gives the picture of one thread. Exit code 0 when everything holds.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <vector>

#include "camera/camera_object.h"
#include "../camera/camera_object_probe.h"
#include "settings_tree.h"

#include "wine_check.h"

using lumora::CameraObject;
using lumora::ImageBuffer;

namespace {

std::vector<uint8_t> Pixels(const ImageBuffer& b) {
    return std::vector<uint8_t>(b.Bits(), b.Bits() + static_cast<size_t>(b.Stride()) * b.Height());
}

// One frame of the device into the raw buffer of the mode, with the mode's buffers made.
bool Grab(CameraObject& c, int mode, int width, int height) {
    static const int kBits[6] = {8, 16, 24, 32, 48, 64};
    c.SetColorMode(kBits[mode]);
    const bool wide = mode == 1 || mode == 4 || mode == 5;
    if (!c.RawBuffer()->Create(width, height, wide ? 16 : 8)) return false;
    if (mode >= 2 && !c.OutputBuffer()->Create(width, height, kBits[mode])) return false;
    if (!c.Buffers().sharpenSource->CreateLike(c.OutputBuffer())) return false;
    std::vector<uint8_t> frame(static_cast<size_t>(width) * height);
    if (c.Device()->StartSingleCapture() != 0 || c.Device()->FinishSingleCapture(frame.data(), 0, 0, 0) != 0) {
        return false;
    }
    ImageBuffer& raw = *c.RawBuffer();
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const uint8_t v = frame[static_cast<size_t>(y) * width + x];
            if (wide) {
                const uint16_t w = static_cast<uint16_t>(v * 16);
                std::memcpy(raw.Row(y) + 2 * x, &w, 2);
            } else {
                raw.Row(y)[x] = v;
            }
        }
    }
    return true;
}

}  // namespace

int main() {
    SetEnvironmentVariableA("LUMORA_CAMEMU", "1");
    SetEnvironmentVariableA("LUMORA_CAMEMU_STILL", "1");
    settings_tree::WriteFirstRun();  // no filter values stored by an earlier program
    CameraObject c;
    CHECK(c.Initialize(nullptr) == 1);
    CHECK(c.SetSubSample(2) == 1);
    CHECK(c.SetCaptureWindowEx(3488, 0, 3488, 2616, 0, 2616) == 1);
    // Unity gains and exposure, whatever the stored ones are.
    for (uint16_t reg : {lumora::K37VQDevice::REG_GAIN_RED, lumora::K37VQDevice::REG_GAIN_GREEN1,
                         lumora::K37VQDevice::REG_GAIN_GREEN2, lumora::K37VQDevice::REG_GAIN_BLUE}) {
        CHECK(c.Device()->SetColorGain(reg, 32) == 1);
    }
    CHECK(c.Device()->SetGlobalGain(32) == 1);
    CHECK(c.Device()->SetExposureLines(2600) == 1);
    lumora::FilterSettings& f = lumora::CameraObjectProbe::Filters(c);
    f.whiteBalanceRed = f.whiteBalanceGreen = f.whiteBalanceBlue = 100;
    f.gamma = 100;
    f.bayerPhase = 3;

    static const int kOutputBits[6] = {8, 16, 24, 32, 48, 64};
    for (int mode = 0; mode < 6; ++mode) {
        CHECK(Grab(c, mode, 872, 654));
        c.Pipeline().Run();
        const ImageBuffer& out = *c.OutputBuffer();
        CHECK(out.Width() == 872 && out.Height() == 654 && out.BitCount() == kOutputBits[mode]);
    }

    // The gray patch of 200 (chart row 3, column 1) in the 24-bit picture: blue, green and red
    // within 3 % of each other.
    CHECK(Grab(c, 2, 872, 654));
    c.Pipeline().Run();
    const uint8_t* p = c.Buffers().buffer24->Row(494) + 3 * 239;
    CHECK(p[1] > 150);
    CHECK(p[0] * 100 > p[1] * 97 && p[0] * 100 < p[1] * 103);
    CHECK(p[2] * 100 > p[1] * 97 && p[2] * 100 < p[1] * 103);

    // One thread and two give the same picture.
    for (int mode : {2, 4}) {
        CHECK(Grab(c, mode, 872, 654));
        const std::vector<uint8_t> input = Pixels(*c.RawBuffer());
        c.Pipeline().SetWorkerThreads(1);
        c.Pipeline().Run();
        const std::vector<uint8_t> one = Pixels(*c.OutputBuffer());
        std::memcpy(c.RawBuffer()->Bits(), input.data(), input.size());
        c.Pipeline().SetWorkerThreads(2);
        c.Pipeline().Run();
        CHECK(Pixels(*c.OutputBuffer()) == one);
    }
    std::printf("pipeline: every colour mode, the gray patch and two threads hold\n");
    return 0;
}
