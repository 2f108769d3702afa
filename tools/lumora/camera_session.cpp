#include "camera_session.h"

namespace lumora::tool {

CameraSession::CameraSession(int device) {
    handle_ = Lumora_Initialize(nullptr);
    if (handle_ == 0) throw SdkError("Lumora_Initialize failed: no camera object", CAMERR_MEMORY);
    ClearErrors();  // first-run notes of the settings store
    char names[10][256];
    const int count = Lumora_EnumDevice(handle_, names);
    if (count <= 0) {
        Lumora_Release(handle_);
        handle_ = 0;
        throw SdkError("no camera found (set LUMORA_CAMEMU=1 to use the built-in emulator)",
                       CAMERR_NO_DEVICE);
    }
    if (device >= count) {
        Lumora_Release(handle_);
        handle_ = 0;
        throw SdkError("no camera number " + std::to_string(device) + " (" + std::to_string(count) +
                           " found, numbered from 0)",
                       CAMERR_DEVICE_NUMBER);
    }
    if (device > 0 && !Lumora_SetDeviceNumber(handle_, device)) {
        const int code = Lumora_GetLastError(handle_);
        Lumora_Release(handle_);
        handle_ = 0;
        throw SdkError(std::string("Lumora_SetDeviceNumber failed: ") + LumoraErrorText(code), code);
    }
    ClearErrors();
}

CameraSession::~CameraSession() {
    if (handle_ != 0) Lumora_Release(handle_);
}

int CameraSession::Check(int result, const char* function) const {
    if (result == 0) Fail(function);
    return result;
}

void CameraSession::Fail(const char* function) const {
    const int code = Lumora_GetLastError(handle_);
    ClearErrors();  // older codes belong to earlier calls
    const std::string reason = code != 0 ? LumoraErrorText(code) : "no reason recorded";
    throw SdkError(std::string(function) + " failed: " + reason, code);
}

void CameraSession::ClearErrors() const {
    for (int i = 0; i < 20; ++i) Lumora_GetLastError(handle_);
}

}  // namespace lumora::tool
