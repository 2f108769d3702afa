#pragma once
// The process environment.
#include <string>

namespace lumora::platform {

// The value of the environment variable name; false when it is not set. Any thread.
bool GetEnvironmentText(const char* name, std::string* value);

}  // namespace lumora::platform
