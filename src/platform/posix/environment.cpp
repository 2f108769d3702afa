#include "platform/environment.h"

#include <cstdlib>

namespace lumora::platform {

bool GetEnvironmentText(const char* name, std::string* value) {
    const char* text = name ? std::getenv(name) : nullptr;
    if (text == nullptr) return false;
    if (value) *value = text;
    return true;
}

}  // namespace lumora::platform
