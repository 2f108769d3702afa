#pragma once
// Conversion between UTF-16 text and the process's narrow (ANSI) code page: the active code page
// on Windows, UTF-8 elsewhere.
#include <cstddef>

namespace lumora::platform {

// Converts the terminated UTF-16 text into out (outSize bytes, terminator included).
// False when it does not fit or cannot be converted; out is then an empty string (outSize > 0).
bool WideToNarrow(const char16_t* text, char* out, size_t outSize);
// Converts the terminated narrow text into out (outChars UTF-16 units, terminator included).
bool NarrowToWide(const char* text, char16_t* out, size_t outChars);

}  // namespace lumora::platform
