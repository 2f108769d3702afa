#include "platform/environment.h"

#include <windows.h>

namespace lumora::platform {

bool GetEnvironmentText(const char* name, std::string* value) {
    if (name == nullptr) return false;
    char buffer[1024];
    DWORD n = GetEnvironmentVariableA(name, buffer, sizeof buffer);
    if (n == 0 || n >= sizeof buffer) return false;
    if (value) value->assign(buffer, n);
    return true;
}

}  // namespace lumora::platform
