#include "device/k37vq_device.h"

namespace lumora {

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

}  // namespace lumora
