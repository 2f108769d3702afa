#pragma once
// The K37VQ model of the device interface: its identity and the sensor's register map.
//
// Thread context: the caller threads (the application's, the preview thread's automatic
// exposure), several at once. Every sensor operation runs on its caller's thread inside the
// pause handshake, so that its register traffic never interleaves with a frame transfer or with
// another caller's operation; when the transfer in progress does not end within the handshake's
// second (a camera that no longer answers), the operation gives its busy result without
// touching a register.
#include "device/camera_device.h"

namespace lumora {

class K37VQDevice : public CameraDevice {
public:
    static constexpr char kModelName[] = "K37VQ";
    static constexpr uint8_t kModelByte1 = 0x70;
    static constexpr uint8_t kModelByte2 = 0x02;
    static constexpr int kSensorWidth = 3488;
    static constexpr int kSensorHeight = 2616;
    static constexpr int kBusy = 20;
    // Result of a window or mirror setting whose register writes did not all reach the camera.
    static constexpr int kTransferFailed = 2;

    // Sensor registers.
    static constexpr uint16_t REG_STATUS = 0x0100;
    static constexpr uint16_t REG_GROUPED_HOLD = 0x0104;
    static constexpr uint16_t REG_EXPOSURE_LINES = 0x0202;
    static constexpr uint16_t REG_CLOCK_DIVIDER = 0x0304;
    static constexpr uint16_t REG_FRAME_LENGTH = 0x0340;
    static constexpr uint16_t REG_LINE_LENGTH = 0x0342;
    static constexpr uint16_t REG_READ_MODE = 0x3040;
    static constexpr uint16_t REG_GAIN_GREEN1 = 0x3056;
    static constexpr uint16_t REG_GAIN_BLUE = 0x3058;
    static constexpr uint16_t REG_GAIN_RED = 0x305A;
    static constexpr uint16_t REG_GAIN_GREEN2 = 0x305C;
    static constexpr uint16_t REG_GAIN_GLOBAL = 0x305E;

    // Counts the cameras of this model and opens the first one, if any. Writes no register.
    K37VQDevice();
    ~K37VQDevice() override;

    // 0 success, 1 invalid window or mode (nothing written), 2 a register write failed (the
    // whole sequence is still sent, so the grouped hold is released), 20 busy.
    int SetCaptureWindow(int x, int y, int width, int height, int mode) override;
    // 0 success, 2 the write of 0x3040 failed, 20 busy. A failed read of 0x3040 is not seen:
    // the mirror bit is then applied to 0.
    int SetMirrorH(int on) override;
    int SetMirrorV(int on) override;
    // The sensor's mirror state (register 0x0100); the cached one when busy.
    int GetMirrorH() override;
    int GetMirrorV() override;
    // 1 written / read, 0 failed; 20 (set) or 0 (get) when busy.
    int SetClockHalving(int on) override;
    int GetClockHalving(int* on) override;

    // Gains 0..127 (larger values are limited) into one of the four colour-gain registers or the
    // global one; exposure in lines. 1 success, 0 failure, busy or an unknown register.
    int SetColorGain(uint16_t reg, int gain);
    int GetColorGain(uint16_t reg, uint16_t* gain);
    int SetGlobalGain(int gain);
    // The gain, 0 on failure or busy; *ok (when given) is 1 when the register was read, else 0.
    int GetGlobalGain(int* ok = nullptr);
    int SetExposureLines(int lines);
    int GetExposureLines(int* lines);

    // Any register written or read inside the pause handshake, for the register exports: 1
    // success, 0 failure or busy.
    int WriteSensorRegister(uint16_t address, uint16_t value);
    int ReadSensorRegister(uint16_t address, uint16_t* value);

    // Output frame size of a window in a readout mode.
    static void OutputSize(int width, int height, int mode, int* outWidth, int* outHeight);

private:
    static bool IsColorGainRegister(uint16_t reg);
    // Sets or clears one mirror bit of 0x3040 and keeps the flag in *cache; the result of
    // SetMirrorH / SetMirrorV.
    int SetMirrorBit(uint16_t bit, int on, int* cache);
    int WriteGain(uint16_t reg, int gain);
    int ReadGain(uint16_t reg, uint16_t* gain);
};

}  // namespace lumora
