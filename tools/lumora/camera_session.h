#pragma once
// One open camera for the length of a subcommand: the library's handle, the selected device,
// and failures of the library turned into one-line messages that name the error code in words.
#include <stdexcept>
#include <string>

#include "lumora/LumoraSdk.h"

namespace lumora::tool {

// A call into the library failed; what() names the function and the error code in words.
struct SdkError : std::runtime_error {
    SdkError(const std::string& message, int code) : std::runtime_error(message), code(code) {}
    int code;
};

class CameraSession {
public:
    // Opens the library's camera object and selects camera number device (0-based). SdkError
    // when there is no camera or no camera of that number.
    explicit CameraSession(int device);
    ~CameraSession();
    CameraSession(const CameraSession&) = delete;
    CameraSession& operator=(const CameraSession&) = delete;

    LumoraHandle Handle() const { return handle_; }
    // result, or SdkError naming function with the newest recorded code when result is 0.
    int Check(int result, const char* function) const;
    // SdkError naming function with the newest recorded code.
    [[noreturn]] void Fail(const char* function) const;
    // Discards the codes recorded so far.
    void ClearErrors() const;

private:
    LumoraHandle handle_ = 0;
};

}  // namespace lumora::tool
