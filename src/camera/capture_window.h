#pragma once
// The part of the sensor that is read out, in full-resolution pixels, as stored and persisted.

namespace lumora {

struct CaptureWindow {
    static constexpr int kSensorWidth = 3488;
    static constexpr int kSensorHeight = 2616;

    int hTotal = kSensorWidth;
    int vTotal = kSensorHeight;
    int hEffective = kSensorWidth;
    int vEffective = kSensorHeight;
    int hStart = 0;
    int vStart = 0;
    int presetBuf = 10;

    // The frame size after subsampling: halved for modes 1 and 17, quartered for 2 and 18.
    static int Subsampled(int size, int subsampling) {
        if (subsampling == 1 || subsampling == 17) return size / 2;
        if (subsampling == 2 || subsampling == 18) return size / 4;
        return size;
    }
    int FrameWidth(int subsampling) const { return Subsampled(hEffective, subsampling); }
    int FrameHeight(int subsampling) const { return Subsampled(vEffective, subsampling); }

    // True when the window lies on the sensor and subsampling is a known mode number (0..20).
    // The totals take no part.
    bool IsValid(int subsampling) const {
        return hEffective >= 0 && vEffective >= 0 && hStart >= 0 && vStart >= 0 &&
               hEffective <= kSensorWidth && vEffective <= kSensorHeight &&
               hStart <= kSensorWidth && vStart <= kSensorHeight &&
               hStart + hEffective <= kSensorWidth && vStart + vEffective <= kSensorHeight &&
               subsampling >= 0 && subsampling <= 20;
    }
};

}  // namespace lumora
