#include "device/k37vq_device.h"

#include <algorithm>

#include "camera/camera_tables.h"

namespace lumora {

namespace {

// Readout bits of register 0x3040 by mode: value = (read & mask) | bits.
struct Readout {
    int mode;
    uint16_t mask;
    uint16_t bits;
};
constexpr Readout kReadouts[] = {
    {0, 0xF241, 0x0041}, {1, 0xF2C3, 0x00C3}, {2, 0xF3C7, 0x01C7},
    {17, 0xF6C3, 0x04C3}, {18, 0xFFC7, 0x0DC7},
};

// Ends a pause handshake on every way out of a scope.
class PauseScope {
public:
    explicit PauseScope(CameraDevice& device) : device_(device), paused_(device.PauseStream()) {}
    ~PauseScope() { device_.ResumeStream(paused_); }
    bool Busy() const { return paused_ == -1; }

private:
    CameraDevice& device_;
    int paused_;
};

}  // namespace

K37VQDevice::K37VQDevice() {
    modelId[0] = kModelByte1;
    modelId[1] = kModelByte2;
    windowX = 0;
    windowY = 0;
    windowWidth = kSensorWidth;
    windowHeight = kSensorHeight;
    readoutMode = 0;
    CountDevices(kModelName);
    if (IsValidDevice(0)) {
        selectedIndex = 0;
        OpenSelectedDevice();
    }
}

K37VQDevice::~K37VQDevice() { CloseDevice(); }

void K37VQDevice::OutputSize(int width, int height, int mode, int* outWidth, int* outHeight) {
    const int d = ReadoutMode(mode).outputDivisor;
    *outWidth = width / d;
    *outHeight = height / d;
}

int K37VQDevice::SetCaptureWindow(int x, int y, int width, int height, int mode) {
    PauseScope pause(*this);
    if (pause.Busy()) return kBusy;
    // x + width > sensor width, written so that no sum can overflow.
    if (x < 0 || y < 0 || width < 4 || height < 3 || width > kSensorWidth - x ||
        height > kSensorHeight - y || mode < 0 || mode > 20) {
        return 1;
    }
    readoutMode = mode;
    uint16_t r = 0;
    ReadRegister16(REG_READ_MODE, &r);
    windowX = x;
    windowY = y;
    windowWidth = width;
    windowHeight = height;

    int ow = 0, oh = 0;
    OutputSize(width, height, mode, &ow, &oh);
    for (const Readout& readout : kReadouts) {
        if (readout.mode == mode) r = static_cast<uint16_t>((r & readout.mask) | readout.bits);
    }

    // Line total t, in clocks per half line, from the window width and the output width.
    int b = 60, t = width + 60;
    if (1660 - width > 0) {
        b = 1720 - width;
        t = 1720;
    }
    int reg3010 = 256, reg3014 = 1386;
    if (mode == 1 || mode == 2) {
        int s = 1780 - 2 * b - ow;
        t = s > 0 ? 1780 - b : b + ow;
    } else if (mode == 17 || mode == 18) {
        int k = mode == 17 ? 1580 : 1288;
        int s = 2 * k - 2 * b - ow;
        if (s > 0) {
            t = 2 * k - b;
            reg3014 = 2 * t - 1766;
        } else {
            t = b + ow;
            reg3014 = 2842;
        }
        reg3010 = 568;
    }

    bool written = true;
    auto w = [this, &written](uint16_t reg, int value) {
        written = WriteRegister16(reg, static_cast<uint16_t>(value)) && written;
    };
    w(REG_GROUPED_HOLD, 1);
    w(REG_READ_MODE, r);
    w(0x0344, x + 8);
    w(0x0348, x + width + 7);
    w(0x0346, y + 8);
    w(0x034A, y + height + 7);
    w(0x0400, 0);
    w(0x0404, 16);
    w(0x034C, ow);
    w(0x034E, oh);
    w(REG_LINE_LENGTH, 2 * t);
    w(REG_FRAME_LENGTH, oh + 145);
    w(0x3010, reg3010);
    w(0x3014, reg3014);
    w(0x3018, 0);
    uint16_t r3044 = 0, r301A = 0;
    ReadRegister16(0x3044, &r3044);
    ReadRegister16(0x301A, &r301A);
    w(0x3044, r3044 | 0x0004);
    w(0x301A, r301A | 0x0002);
    w(REG_GROUPED_HOLD, 0);
    return written ? 0 : kTransferFailed;
}

int K37VQDevice::SetMirrorBit(uint16_t bit, int on, int* cache) {
    PauseScope pause(*this);
    if (pause.Busy()) return kBusy;
    uint16_t r = 0;
    ReadRegister16(REG_READ_MODE, &r);
    r = static_cast<uint16_t>(on ? r | bit : r & ~bit);
    int written = WriteRegister16(REG_READ_MODE, r);
    *cache = on;
    return written ? 0 : kTransferFailed;
}

int K37VQDevice::SetMirrorH(int on) { return SetMirrorBit(0x4000, on, &mirrorH); }

int K37VQDevice::SetMirrorV(int on) { return SetMirrorBit(0x8000, on, &mirrorV); }

int K37VQDevice::GetMirrorH() {
    PauseScope pause(*this);
    if (pause.Busy()) return mirrorH;
    uint16_t value = 0;
    ReadRegister16(REG_STATUS, &value);
    mirrorH = value & 1;
    return mirrorH;
}

int K37VQDevice::GetMirrorV() {
    PauseScope pause(*this);
    if (pause.Busy()) return mirrorV;
    uint16_t value = 0;
    ReadRegister16(REG_STATUS, &value);
    mirrorV = (value >> 1) & 1;
    return mirrorV;
}

int K37VQDevice::SetClockHalving(int on) {
    PauseScope pause(*this);
    if (pause.Busy()) return kBusy;
    return WriteRegister16(REG_CLOCK_DIVIDER, on ? 4 : 2);
}

int K37VQDevice::GetClockHalving(int* on) {
    PauseScope pause(*this);
    if (pause.Busy()) return 0;
    uint16_t value = 0;
    int ok = ReadRegister16(REG_CLOCK_DIVIDER, &value);
    if (on) *on = value != 2;
    return ok;
}

bool K37VQDevice::IsColorGainRegister(uint16_t reg) {
    return reg == REG_GAIN_GREEN1 || reg == REG_GAIN_BLUE || reg == REG_GAIN_RED || reg == REG_GAIN_GREEN2;
}

int K37VQDevice::WriteGain(uint16_t reg, int gain) {
    PauseScope pause(*this);
    if (pause.Busy()) return 0;
    uint16_t g = std::min<uint16_t>(static_cast<uint16_t>(gain), 127);
    return WriteRegister16(reg, static_cast<uint16_t>(0x1000 | g));
}

int K37VQDevice::ReadGain(uint16_t reg, uint16_t* gain) {
    PauseScope pause(*this);
    if (pause.Busy()) return 0;
    uint16_t value = 0;
    int ok = ReadRegister16(reg, &value);
    if (ok && gain) *gain = value & 0x7F;
    return ok;
}

int K37VQDevice::SetColorGain(uint16_t reg, int gain) {
    return IsColorGainRegister(reg) ? WriteGain(reg, gain) : 0;
}

int K37VQDevice::GetColorGain(uint16_t reg, uint16_t* gain) {
    return IsColorGainRegister(reg) ? ReadGain(reg, gain) : 0;
}

int K37VQDevice::SetGlobalGain(int gain) { return WriteGain(REG_GAIN_GLOBAL, gain); }

int K37VQDevice::GetGlobalGain(int* ok) {
    uint16_t gain = 0;
    int read = ReadGain(REG_GAIN_GLOBAL, &gain);
    if (ok) *ok = read;
    return gain;
}

int K37VQDevice::WriteSensorRegister(uint16_t address, uint16_t value) {
    PauseScope pause(*this);
    if (pause.Busy()) return 0;
    return WriteRegister16(address, value);
}

int K37VQDevice::ReadSensorRegister(uint16_t address, uint16_t* value) {
    PauseScope pause(*this);
    if (pause.Busy()) return 0;
    return ReadRegister16(address, value);
}

int K37VQDevice::SetExposureLines(int lines) {
    PauseScope pause(*this);
    if (pause.Busy()) return 0;
    return WriteRegister16(REG_EXPOSURE_LINES, static_cast<uint16_t>(lines == 0 ? 1 : lines));
}

int K37VQDevice::GetExposureLines(int* lines) {
    PauseScope pause(*this);
    if (pause.Busy()) return 0;
    uint16_t value = 0;
    if (!ReadRegister16(REG_EXPOSURE_LINES, &value)) return 0;
    if (lines) *lines = value;
    return 1;
}

}  // namespace lumora
