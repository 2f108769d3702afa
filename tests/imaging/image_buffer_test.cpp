#include "imaging/image_buffer.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace lumora {
namespace {

// Records the arguments of the last shape A call.
struct CallRecord {
    int calls = 0;
    Rect rect{};
    int32_t x = -1, y = -1;
    uint16_t destBpp = 0, sourceBpp = 0;
    int32_t destStride = 0, sourceStride = 0;
};
CallRecord lastCall;

int32_t RecordingRoutine(uint8_t*, const uint8_t*, const Rect* r, int32_t x, int32_t y,
                         uint16_t destBpp, uint16_t sourceBpp, int32_t destStride,
                         int32_t sourceStride, void*, void*) {
    ++lastCall.calls;
    lastCall.rect = *r;
    lastCall.x = x;
    lastCall.y = y;
    lastCall.destBpp = destBpp;
    lastCall.sourceBpp = sourceBpp;
    lastCall.destStride = destStride;
    lastCall.sourceStride = sourceStride;
    return 7;
}

void ExpectRect(const Rect& r, int l, int t, int rt, int b) {
    EXPECT_EQ(r.left, l);
    EXPECT_EQ(r.top, t);
    EXPECT_EQ(r.right, rt);
    EXPECT_EQ(r.bottom, b);
}

std::vector<uint8_t> ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

uint32_t Le32(const std::vector<uint8_t>& d, size_t at) {
    return d[at] | d[at + 1] << 8 | d[at + 2] << 16 | static_cast<uint32_t>(d[at + 3]) << 24;
}

TEST(ImageBuffer, CreatePadsRowsAndRefusesBadSizes) {
    ImageBuffer b;
    ASSERT_EQ(b.Create(3, 2, 24), 1);
    EXPECT_EQ(b.Stride(), 12);
    EXPECT_EQ(b.Header().size, 40u);
    EXPECT_EQ(b.Header().width, 3);
    EXPECT_EQ(b.Header().height, 2);
    EXPECT_EQ(b.Header().planes, 1);
    EXPECT_EQ(b.Header().bitCount, 24);
    ASSERT_EQ(b.Create(4, 1, 24), 1);
    EXPECT_EQ(b.Stride(), 12);
    ASSERT_EQ(b.Create(5, 7, 8), 1);
    EXPECT_EQ(b.Stride(), 8);
    for (int i = 0; i < 8 * 7; ++i) ASSERT_EQ(b.Bits()[i], 0);

    // Refusals leave the buffer as it was.
    EXPECT_EQ(b.Create(0, 5, 8), 0);
    EXPECT_EQ(b.Create(5, -1, 8), 0);
    EXPECT_EQ(b.Create(5, 5, 0), 0);
    EXPECT_EQ(b.Create(5, 5, 12), 0);
    EXPECT_EQ(b.Create(0x7fffffff, 0x7fffffff, 64), 0);
    EXPECT_EQ(b.Width(), 5);
    EXPECT_EQ(b.Height(), 7);
    EXPECT_TRUE(b.IsUsable());
}

TEST(ImageBuffer, EightBitBufferHasGrayRamp) {
    ImageBuffer b;
    ASSERT_EQ(b.Create(2, 2, 8), 1);
    for (int i = 0; i < 256; ++i) {
        EXPECT_EQ(b.Colours()[i].red, i);
        EXPECT_EQ(b.Colours()[i].blue, i);
        EXPECT_EQ(b.Colours()[i].reserved, 0);
    }
}

TEST(ImageBuffer, DestroyAndCreateLike) {
    ImageBuffer a, b;
    EXPECT_EQ(b.CreateLike(nullptr), 0);
    EXPECT_EQ(b.CreateLike(&a), 0);  // empty model
    ASSERT_EQ(a.Create(10, 6, 48), 1);
    a.Bits()[0] = 9;
    ASSERT_EQ(b.CreateLike(&a), 1);
    EXPECT_EQ(b.Width(), 10);
    EXPECT_EQ(b.Height(), 6);
    EXPECT_EQ(b.Stride(), 60);
    EXPECT_EQ(b.BitCount(), 48);
    EXPECT_EQ(b.Bits()[0], 0);  // pixels are not copied
    EXPECT_EQ(std::memcmp(&a.Header(), &b.Header(), 40), 0);
    b.Destroy();
    EXPECT_FALSE(b.IsUsable());
    EXPECT_EQ(b.Header().size, 40u);
    EXPECT_EQ(b.Header().width, 0);
    EXPECT_EQ(b.Stride(), 0);
    b.Destroy();  // twice is harmless
}

TEST(ImageBuffer, ApplyConvertsToMemoryRows) {
    ImageBuffer b;
    ASSERT_EQ(b.Create(100, 100, 24), 1);
    lastCall = {};
    EXPECT_EQ(b.Apply(RecordingRoutine, &b, nullptr, 0, 0, nullptr, nullptr), 7);
    ExpectRect(lastCall.rect, 0, 0, 100, 100);
    EXPECT_EQ(lastCall.x, 0);
    EXPECT_EQ(lastCall.y, 0);
    EXPECT_EQ(lastCall.destBpp, 3);
    EXPECT_EQ(lastCall.destStride, 300);

    const Rect r{10, 20, 30, 50};
    EXPECT_EQ(b.Apply(RecordingRoutine, &b, &r, 10, 20, nullptr, nullptr), 7);
    ExpectRect(lastCall.rect, 10, 50, 30, 80);
    EXPECT_EQ(lastCall.x, 10);
    EXPECT_EQ(lastCall.y, 50);
}

TEST(ImageBuffer, ApplyClipsToBothBuffers) {
    ImageBuffer dest, source;
    ASSERT_EQ(dest.Create(50, 40, 8), 1);
    ASSERT_EQ(source.Create(100, 100, 24), 1);
    lastCall = {};
    // Destination point at or beyond the right or bottom edge: nothing is called.
    EXPECT_EQ(dest.Apply(RecordingRoutine, &source, nullptr, 50, 0, nullptr, nullptr), 0);
    EXPECT_EQ(dest.Apply(RecordingRoutine, &source, nullptr, 0, 40, nullptr, nullptr), 0);
    EXPECT_EQ(dest.Apply(RecordingRoutine, &source, nullptr, -100, 0, nullptr, nullptr), 0);
    EXPECT_EQ(dest.Apply(nullptr, &source, nullptr, 0, 0, nullptr, nullptr), 0);
    EXPECT_EQ(dest.Apply(RecordingRoutine, nullptr, nullptr, 0, 0, nullptr, nullptr), 0);
    const Rect outside{100, 0, 120, 10};
    EXPECT_EQ(dest.Apply(RecordingRoutine, &source, &outside, 0, 0, nullptr, nullptr), 0);
    const Rect inverted{30, 0, 10, 10};
    EXPECT_EQ(dest.Apply(RecordingRoutine, &source, &inverted, 0, 0, nullptr, nullptr), 0);
    EXPECT_EQ(lastCall.calls, 0);

    // Whole source into the smaller destination: the destination's size is taken.
    EXPECT_EQ(dest.Apply(RecordingRoutine, &source, nullptr, 0, 0, nullptr, nullptr), 7);
    ExpectRect(lastCall.rect, 0, 60, 50, 100);
    EXPECT_EQ(lastCall.x, 0);
    EXPECT_EQ(lastCall.y, 0);
    EXPECT_EQ(lastCall.sourceBpp, 3);
    EXPECT_EQ(lastCall.destBpp, 1);

    // Negative destination point: the source rectangle loses the same columns and rows.
    EXPECT_EQ(dest.Apply(RecordingRoutine, &source, nullptr, -5, -7, nullptr, nullptr), 7);
    ExpectRect(lastCall.rect, 5, 100 - 47, 55, 100 - 7);
    EXPECT_EQ(lastCall.x, 0);
    EXPECT_EQ(lastCall.y, 0);

    // A source rectangle that starts outside the source moves the destination point along.
    const Rect hanging{-3, -2, 10, 8};
    EXPECT_EQ(dest.Apply(RecordingRoutine, &source, &hanging, 5, 5, nullptr, nullptr), 7);
    ExpectRect(lastCall.rect, 0, 92, 10, 100);
    EXPECT_EQ(lastCall.x, 8);
    EXPECT_EQ(lastCall.y, 40 - 15);
}

int32_t ScaledRecorder(uint8_t*, const uint8_t*, const Rect* d, const Rect* s, int32_t dw,
                       int32_t dh, int32_t sw, int32_t sh, uint16_t, uint16_t, int32_t,
                       int32_t, void* v1, void*) {
    lastCall.rect = *d;
    lastCall.x = s->right;
    lastCall.y = dw * 10000 + dh * 100 + sw + sh;
    return *static_cast<int*>(v1);
}

TEST(ImageBuffer, ApplyScaledPassesWholeBuffers) {
    ImageBuffer dest, source;
    ASSERT_EQ(dest.Create(4, 3, 24), 1);
    ASSERT_EQ(source.Create(8, 6, 24), 1);
    int result = 42;
    EXPECT_EQ(dest.ApplyScaled(ScaledRecorder, &source, nullptr, nullptr, &result, nullptr), 42);
    ExpectRect(lastCall.rect, 0, 0, 4, 3);
    EXPECT_EQ(lastCall.x, 8);
    EXPECT_EQ(lastCall.y, 40000 + 300 + 14);
    EXPECT_EQ(dest.ApplyScaled(nullptr, &source, nullptr, nullptr, &result, nullptr), 0);
}

TEST(ImageBuffer, DrawCopiesPictureRectangles) {
    ImageBuffer dest, source;
    ASSERT_EQ(source.Create(4, 4, 8), 1);
    ASSERT_EQ(dest.Create(3, 3, 8), 1);
    // Picture row t is memory row 3 - t; value = 10 * picture row + column.
    for (int t = 0; t < 4; ++t)
        for (int c = 0; c < 4; ++c) source.Row(3 - t)[c] = static_cast<uint8_t>(10 * t + c);
    const Rect r{1, 1, 3, 3};
    ASSERT_EQ(dest.Draw(&source, &r, 1, 0), 1);
    // Picture (1, 0) of dest = source picture (1, 1) = 11; dest picture row 0 is memory row 2.
    EXPECT_EQ(dest.Row(2)[1], 11);
    EXPECT_EQ(dest.Row(2)[2], 12);
    EXPECT_EQ(dest.Row(1)[1], 21);
    EXPECT_EQ(dest.Row(1)[2], 22);
    EXPECT_EQ(dest.Row(2)[0], 0);
    EXPECT_EQ(dest.Row(0)[1], 0);
    ImageBuffer other;
    ASSERT_EQ(other.Create(3, 3, 24), 1);
    EXPECT_EQ(other.Draw(nullptr, nullptr, 0, 0), 0);
}

TEST(ImageBuffer, SaveBmpWritesBottomUpFile) {
    const std::string path = ::testing::TempDir() + "lumora_image_buffer_test.bmp";
    ImageBuffer gray;
    ASSERT_EQ(gray.Create(5, 3, 8), 1);
    gray.Row(0)[0] = 0xAB;
    ASSERT_EQ(gray.SaveBmp(path.c_str()), 1);
    std::vector<uint8_t> d = ReadFile(path);
    ASSERT_EQ(d.size(), 1078u + 3 * 8);
    EXPECT_EQ(d[0], 'B');
    EXPECT_EQ(d[1], 'M');
    EXPECT_EQ(Le32(d, 2), 1078u + 24);
    EXPECT_EQ(Le32(d, 6), 0u);
    EXPECT_EQ(Le32(d, 10), 1078u);
    EXPECT_EQ(Le32(d, 14), 40u);
    EXPECT_EQ(Le32(d, 14 + 4), 5u);
    EXPECT_EQ(Le32(d, 14 + 8), 3u);
    EXPECT_EQ(d[54 + 4 * 200], 200);  // gray ramp entry 200, blue
    EXPECT_EQ(d[1078], 0xAB);         // memory row 0 first

    ImageBuffer wide;
    ASSERT_EQ(wide.Create(100, 100, 48), 1);
    ASSERT_EQ(wide.SaveBmp(path.c_str()), 1);
    d = ReadFile(path);
    EXPECT_EQ(d.size(), 54u + 100 * 600);
    EXPECT_EQ(Le32(d, 10), 54u);
    std::remove(path.c_str());

    ImageBuffer empty;
    EXPECT_EQ(empty.SaveBmp(path.c_str()), 0);
    EXPECT_EQ(wide.SaveBmp(nullptr), 0);
    EXPECT_EQ(wide.SaveBmp("/nonexistent-dir/x.bmp"), 0);
}

TEST(ImageBuffer, SaveBmpReportsFailedWrites) {
    std::FILE* probe = std::fopen("/dev/full", "wb");
    if (probe == nullptr) GTEST_SKIP() << "no /dev/full here";
    std::fclose(probe);
    ImageBuffer b;
    ASSERT_EQ(b.Create(64, 64, 24), 1);
    EXPECT_EQ(b.SaveBmp("/dev/full"), 0);
}

TEST(ImageBuffer, PaletteKindTwoChangesEntries) {
    ImageBuffer b;
    ASSERT_EQ(b.Create(2, 2, 8), 1);
    const platform::PaletteEntry red[2] = {{0, 0, 255, 0}, {0, 0, 128, 0}};
    EXPECT_EQ(b.SetPalette(2, red, 254, 2), 1);
    EXPECT_EQ(b.SetPalette(2, red, 255, 2), 1);  // would run past the table: ignored
    EXPECT_EQ(b.SetPalette(2, nullptr, 0, 2), 1);
    const std::string path = ::testing::TempDir() + "lumora_palette_test.bmp";
    ASSERT_EQ(b.SaveBmp(path.c_str()), 1);
    const std::vector<uint8_t> d = ReadFile(path);
    std::remove(path.c_str());
    ASSERT_EQ(d.size(), 1078u + 8);
    EXPECT_EQ(d[54 + 4 * 254 + 2], 255);
    EXPECT_EQ(d[54 + 4 * 255 + 2], 128);
    EXPECT_EQ(d[54 + 4 * 253 + 2], 253);
}

}  // namespace
}  // namespace lumora
