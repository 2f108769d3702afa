#pragma once
// The device interface: everything that reaches the camera hardware.

namespace lumora {

class CameraDevice {
public:
    virtual ~CameraDevice() = default;
};

}  // namespace lumora
