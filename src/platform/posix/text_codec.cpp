#include "platform/text_codec.h"

#include <cstdint>

namespace lumora::platform {

namespace {

bool Fail(char* out, size_t size) {
    if (size > 0) out[0] = '\0';
    return false;
}

bool FailWide(char16_t* out, size_t size) {
    if (size > 0) out[0] = u'\0';
    return false;
}

}  // namespace

bool WideToNarrow(const char16_t* text, char* out, size_t outSize) {
    if (text == nullptr || out == nullptr) return out ? Fail(out, outSize) : false;
    size_t n = 0;
    for (size_t i = 0; text[i] != 0; ++i) {
        uint32_t c = text[i];
        if (c >= 0xD800 && c <= 0xDBFF) {
            uint32_t low = text[i + 1];
            if (low < 0xDC00 || low > 0xDFFF) return Fail(out, outSize);
            c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
            ++i;
        } else if (c >= 0xDC00 && c <= 0xDFFF) {
            return Fail(out, outSize);
        }
        unsigned char bytes[4];
        size_t len;
        if (c < 0x80) {
            bytes[0] = static_cast<unsigned char>(c);
            len = 1;
        } else if (c < 0x800) {
            bytes[0] = static_cast<unsigned char>(0xC0 | (c >> 6));
            bytes[1] = static_cast<unsigned char>(0x80 | (c & 0x3F));
            len = 2;
        } else if (c < 0x10000) {
            bytes[0] = static_cast<unsigned char>(0xE0 | (c >> 12));
            bytes[1] = static_cast<unsigned char>(0x80 | ((c >> 6) & 0x3F));
            bytes[2] = static_cast<unsigned char>(0x80 | (c & 0x3F));
            len = 3;
        } else {
            bytes[0] = static_cast<unsigned char>(0xF0 | (c >> 18));
            bytes[1] = static_cast<unsigned char>(0x80 | ((c >> 12) & 0x3F));
            bytes[2] = static_cast<unsigned char>(0x80 | ((c >> 6) & 0x3F));
            bytes[3] = static_cast<unsigned char>(0x80 | (c & 0x3F));
            len = 4;
        }
        if (n + len + 1 > outSize) return Fail(out, outSize);
        for (size_t k = 0; k < len; ++k) out[n++] = static_cast<char>(bytes[k]);
    }
    if (n + 1 > outSize) return Fail(out, outSize);
    out[n] = '\0';
    return true;
}

bool NarrowToWide(const char* text, char16_t* out, size_t outChars) {
    if (text == nullptr || out == nullptr) return out ? FailWide(out, outChars) : false;
    const auto* s = reinterpret_cast<const unsigned char*>(text);
    size_t n = 0;
    while (*s != 0) {
        uint32_t c;
        size_t extra;
        if (*s < 0x80) {
            c = *s;
            extra = 0;
        } else if ((*s & 0xE0) == 0xC0) {
            c = *s & 0x1F;
            extra = 1;
        } else if ((*s & 0xF0) == 0xE0) {
            c = *s & 0x0F;
            extra = 2;
        } else if ((*s & 0xF8) == 0xF0) {
            c = *s & 0x07;
            extra = 3;
        } else {
            return FailWide(out, outChars);
        }
        ++s;
        for (size_t k = 0; k < extra; ++k, ++s) {
            if ((*s & 0xC0) != 0x80) return FailWide(out, outChars);
            c = (c << 6) | (*s & 0x3F);
        }
        size_t units = c >= 0x10000 ? 2 : 1;
        if (n + units + 1 > outChars) return FailWide(out, outChars);
        if (units == 2) {
            c -= 0x10000;
            out[n++] = static_cast<char16_t>(0xD800 + (c >> 10));
            out[n++] = static_cast<char16_t>(0xDC00 + (c & 0x3FF));
        } else {
            out[n++] = static_cast<char16_t>(c);
        }
    }
    if (n + 1 > outChars) return FailWide(out, outChars);
    out[n] = u'\0';
    return true;
}

}  // namespace lumora::platform
