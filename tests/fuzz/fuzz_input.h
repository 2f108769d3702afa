#pragma once
// The fuzz targets' view of libFuzzer's bytes: numbers, choices and edge integers taken from the
// front, zeros once the bytes run out, so that every input decodes to one call sequence.
#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

namespace lumora::fuzz {

class FuzzInput {
public:
    FuzzInput(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    bool Empty() const { return at_ >= size_; }
    uint8_t U8() { return at_ < size_ ? data_[at_++] : 0; }
    uint32_t U32() {
        uint32_t v = 0;
        for (int i = 0; i < 4; ++i) v |= uint32_t{U8()} << (8 * i);
        return v;
    }
    bool Choose() { return (U8() & 1) != 0; }
    // An edge value most of the time, any 32-bit value otherwise.
    int Int() {
        static const int kEdges[] = {0, 1, -1, 2, 3, 4, 8, 12, 16, 17, 18, 24, 32, 48, 64, 100, 255, 256, 511,
                                     512, 640, 480, 1023, 1024, 4095, 4096, 3488, 2616, 65535, 65536, INT_MAX,
                                     INT_MIN, INT_MAX - 1, INT_MIN + 1, -256, -65536, 0x7FFF, -0x8000};
        const uint8_t b = U8();
        if (b < 224) return kEdges[b % (sizeof kEdges / sizeof kEdges[0])];
        return static_cast<int>(U32());
    }
    // The rest of the bytes.
    std::string Rest() {
        std::string s(reinterpret_cast<const char*>(data_ + at_), at_ < size_ ? size_ - at_ : 0);
        at_ = size_;
        return s;
    }

private:
    const uint8_t* data_;
    size_t size_;
    size_t at_ = 0;
};

// A folder of the process's own for the files the targets write, removed by nobody: the bounded
// runs use the build folder's temporary space.
inline std::string FuzzFolder() {
    static std::string folder = [] {
        const char* base = std::getenv("TMPDIR");
        std::string f = std::string(base && *base ? base : "/tmp") + "/lumora-fuzz-XXXXXX";
        return ::mkdtemp(&f[0]) ? f : std::string("/tmp");
    }();
    return folder;
}

}  // namespace lumora::fuzz
