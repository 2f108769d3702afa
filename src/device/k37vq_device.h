#pragma once
// The K37VQ model of the device interface: its identity and the sensor's register map.
#include "device/camera_device.h"

namespace lumora {

class K37VQDevice : public CameraDevice {
public:
    static constexpr char kModelName[] = "K37VQ";
    static constexpr uint8_t kModelByte1 = 0x70;
    static constexpr uint8_t kModelByte2 = 0x02;
    static constexpr int kSensorWidth = 3488;
    static constexpr int kSensorHeight = 2616;

    // Counts the cameras of this model and opens the first one, if any. Writes no register.
    K37VQDevice();
    ~K37VQDevice() override;
};

}  // namespace lumora
