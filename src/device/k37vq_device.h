#pragma once
// The K37VQ model of the device interface: the sensor's register map.
#include "device/camera_device.h"

namespace lumora {

class K37VQDevice : public CameraDevice {};

}  // namespace lumora
