#include "platform/text_codec.h"

#include <climits>
#include <windows.h>

namespace lumora::platform {

bool WideToNarrow(const char16_t* text, char* out, size_t outSize) {
    if (out == nullptr || outSize == 0) return false;
    out[0] = '\0';
    if (text == nullptr || outSize > INT_MAX) return false;
    int n = WideCharToMultiByte(CP_ACP, 0, reinterpret_cast<const wchar_t*>(text), -1, out,
                                static_cast<int>(outSize), nullptr, nullptr);
    if (n <= 0) {
        out[0] = '\0';
        return false;
    }
    return true;
}

bool NarrowToWide(const char* text, char16_t* out, size_t outChars) {
    if (out == nullptr || outChars == 0) return false;
    out[0] = u'\0';
    if (text == nullptr || outChars > INT_MAX) return false;
    int n = MultiByteToWideChar(CP_ACP, 0, text, -1, reinterpret_cast<wchar_t*>(out),
                                static_cast<int>(outChars));
    if (n <= 0) {
        out[0] = u'\0';
        return false;
    }
    return true;
}

}  // namespace lumora::platform
