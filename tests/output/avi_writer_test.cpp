#include "output/avi_writer.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "output_test_util.h"

namespace lumora {
namespace {

using test::FileBytes;
using test::Le16;
using test::Le32;
using test::ProbeVideo;
using test::TempPath;

std::vector<uint8_t> Frame(int w, int h, int seed) {
    std::vector<uint8_t> f(size_t(3) * w * h);
    for (size_t i = 0; i < f.size(); ++i) f[i] = static_cast<uint8_t>(i * 7 + seed * 31);
    return f;
}

TEST(AviWriter, LayoutOf640x480) {
    const std::string path = TempPath("layout.avi");
    const uint32_t S = 921600, d = 921608;
    std::vector<uint8_t> f0 = Frame(640, 480, 0), f1 = Frame(640, 480, 1);
    {
        AviWriter w;
        w.SetFrameSize(640, 480);
        w.SetFrameRate(30);
        ASSERT_TRUE(w.BeginFile(path.c_str()));
        ASSERT_EQ(w.WriteFrame(f0.data()), AviResult::kOk);
        ASSERT_EQ(w.WriteFrame(f1.data()), AviResult::kOk);
        EXPECT_EQ(w.frameCount(), 2u);
        w.SetMeasuredRate(3000);
        EXPECT_EQ(w.FinishFile(), AviResult::kOk);
        EXPECT_FALSE(w.IsOpen());
    }
    const std::vector<uint8_t> b = FileBytes(path);
    ASSERT_EQ(b.size(), 232u + 2 * d + 8 + 32);
    EXPECT_EQ(std::string(b.begin(), b.begin() + 4), "RIFF");
    EXPECT_EQ(Le32(b, 4), b.size() - 8);
    EXPECT_EQ(std::string(b.begin() + 8, b.begin() + 12), "AVI ");
    EXPECT_EQ(Le32(b, 16), 200u);
    EXPECT_EQ(Le32(b, 28), 56u);
    EXPECT_EQ(Le32(b, 32), 33333u);
    EXPECT_EQ(Le32(b, 40), 0u);
    EXPECT_EQ(Le32(b, 44), 0x00010010u);
    EXPECT_EQ(Le32(b, 48), 2u);
    EXPECT_EQ(Le32(b, 56), 1u);
    EXPECT_EQ(Le32(b, 60), d);
    EXPECT_EQ(Le32(b, 64), 640u);
    EXPECT_EQ(Le32(b, 68), 480u);
    EXPECT_EQ(Le32(b, 92), 124u);
    EXPECT_EQ(std::string(b.begin() + 108, b.begin() + 116), "vidsDIB ");
    EXPECT_EQ(Le32(b, 128), 333333u);
    EXPECT_EQ(Le32(b, 132), 10000000u);
    EXPECT_EQ(Le32(b, 140), 2u);
    EXPECT_EQ(Le32(b, 144), d);
    EXPECT_EQ(Le32(b, 176), 40u);
    EXPECT_EQ(Le32(b, 180), 40u);
    EXPECT_EQ(Le32(b, 184), 640u);
    EXPECT_EQ(Le32(b, 188), 480u);
    EXPECT_EQ(Le16(b, 192), 1u);
    EXPECT_EQ(Le16(b, 194), 24u);
    for (size_t off : {196, 200, 204, 208, 212, 216}) EXPECT_EQ(Le32(b, off), 0u) << off;
    EXPECT_EQ(std::string(b.begin() + 220, b.begin() + 224), "LIST");
    EXPECT_EQ(Le32(b, 224), 4 + 2 * d);
    EXPECT_EQ(std::string(b.begin() + 228, b.begin() + 232), "movi");
    // Frame chunks at 232 and 232 + d, index entries pointing at them from the movi fourcc.
    const size_t chunk[2] = {232, 232 + d};
    const std::vector<uint8_t>* frames[2] = {&f0, &f1};
    const size_t idx = 232 + 2 * d;
    EXPECT_EQ(std::string(b.begin() + idx, b.begin() + idx + 4), "idx1");
    EXPECT_EQ(Le32(b, idx + 4), 32u);
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(std::string(b.begin() + chunk[i], b.begin() + chunk[i] + 4), "00db");
        EXPECT_EQ(Le32(b, chunk[i] + 4), S);
        EXPECT_EQ(0, std::memcmp(b.data() + chunk[i] + 8, frames[i]->data(), S));
        const size_t e = idx + 8 + 16 * i;
        EXPECT_EQ(std::string(b.begin() + e, b.begin() + e + 4), "00db");
        EXPECT_EQ(Le32(b, e + 4), 0x10u);
        EXPECT_EQ(Le32(b, e + 8), i == 0 ? 4u : 921612u);
        EXPECT_EQ(Le32(b, e + 12), S);
    }
    const test::VideoInfo v = ProbeVideo(path);
    EXPECT_EQ(v.frames, 2);
    EXPECT_EQ(v.width, 640);
    EXPECT_EQ(v.height, 480);
    EXPECT_NEAR(v.fps, 30.0, 0.001);
}

// Every byte of the 232-byte header as BeginFile writes it (offset 36, the data rate, is the
// writer's own choice), and after finishing the same bytes except the seven patched fields.
TEST(AviWriter, HeaderBytesBeforeAndAfterFinish) {
    std::vector<uint8_t> want;
    auto u32 = [&](uint32_t v) {
        for (int i = 0; i < 4; ++i) want.push_back(uint8_t(v >> (8 * i)));
    };
    auto u16 = [&](uint16_t v) { want.push_back(uint8_t(v)), want.push_back(uint8_t(v >> 8)); };
    auto tag = [&](const char* t) { want.insert(want.end(), t, t + 4); };
    const uint32_t d = 3 * 640 * 480 + 8;
    tag("RIFF"), u32(0), tag("AVI "), tag("LIST"), u32(200), tag("hdrl"), tag("avih"), u32(56);
    u32(1000000 / 30), u32(0 /* data rate, skipped */), u32(0), u32(0x00010010), u32(0), u32(0),
        u32(1), u32(d), u32(640), u32(480), u32(0), u32(0), u32(0), u32(0);
    tag("LIST"), u32(124), tag("strl"), tag("strh"), u32(64), tag("vids"), tag("DIB "), u32(0);
    u16(0), u16(0), u32(0), u32(10000000 / 30), u32(10000000), u32(0), u32(0), u32(d), u32(0),
        u32(0), u32(0), u32(0), u32(0), u32(0);
    tag("strf"), u32(40), u32(40), u32(640), u32(480), u16(1), u16(24);
    for (int i = 0; i < 6; ++i) u32(0);
    tag("LIST"), u32(0), tag("movi");
    ASSERT_EQ(want.size(), 232u);

    const std::string path = TempPath("header.avi");
    const std::vector<uint8_t> f = Frame(640, 480, 2);
    AviWriter w;
    w.SetFrameSize(640, 480);
    w.SetFrameRate(30);
    ASSERT_TRUE(w.BeginFile(path.c_str()));
    std::vector<uint8_t> b = FileBytes(path);
    ASSERT_EQ(b.size(), 232u);
    for (size_t i = 0; i < 232; ++i) {
        if (i < 36 || i >= 40) {
            EXPECT_EQ(b[i], want[i]) << "offset " << i;
        }
    }
    for (int i = 0; i < 3; ++i) ASSERT_EQ(w.WriteFrame(f.data()), AviResult::kOk);
    w.SetMeasuredRate(2997);
    ASSERT_EQ(w.FinishFile(), AviResult::kOk);
    b = FileBytes(path);
    ASSERT_EQ(b.size(), 232u + 3 * d + 8 + 48);
    const std::pair<size_t, uint32_t> patched[] = {
        {4, uint32_t(b.size() - 8)}, {32, 100000000 / 2997}, {48, 3},
        {128, 1000000000 / 2997},    {140, 3},               {224, 4 + 3 * d}};
    for (const auto& [at, value] : patched) {
        EXPECT_EQ(Le32(b, at), value) << "offset " << at;
        std::memcpy(want.data() + at, b.data() + at, 4);
    }
    for (size_t i = 0; i < 232; ++i) {
        if (i < 36 || i >= 40) {
            EXPECT_EQ(b[i], want[i]) << "offset " << i;
        }
    }
    EXPECT_EQ(Le32(b, 32), 33366u);
    EXPECT_EQ(Le32(b, 128), 333667u);
}

// Odd S: chunks follow each other without pad bytes, and a reader still finds every frame with
// its pixels (bottom-up rows come out top row first).
TEST(AviWriter, OddFrameSizeHasNoPaddingAndDecodes) {
    const std::string path = TempPath("odd.avi");
    const int W = 5, H = 3;
    AviWriter w;
    w.SetFrameSize(W, H);
    w.SetFrameRate(30);
    ASSERT_TRUE(w.BeginFile(path.c_str()));
    std::vector<std::vector<uint8_t>> frames;
    for (int i = 0; i < 3; ++i) {
        frames.push_back(Frame(W, H, i));
        ASSERT_EQ(w.WriteFrame(frames.back().data()), AviResult::kOk);
    }
    w.SetMeasuredRate(2500);
    ASSERT_EQ(w.FinishFile(), AviResult::kOk);
    const std::vector<uint8_t> b = FileBytes(path);
    ASSERT_EQ(b.size(), 232u + 3 * 53 + 8 + 48);
    EXPECT_EQ(std::string(b.begin() + 232 + 53, b.begin() + 232 + 57), "00db");
    EXPECT_EQ(Le32(b, 224), 4u + 3 * 53);
    const test::VideoInfo v = ProbeVideo(path);
    EXPECT_EQ(v.frames, 3);
    EXPECT_EQ(v.width, W);
    EXPECT_EQ(v.height, H);
    EXPECT_NEAR(v.fps, 25.0, 0.001);
    const std::vector<uint8_t> decoded = test::DecodeBgr24(path);
    ASSERT_EQ(decoded.size(), size_t(3) * 3 * W * H);
    for (int i = 0; i < 3; ++i) {
        for (int y = 0; y < H; ++y) {
            EXPECT_EQ(0, std::memcmp(decoded.data() + (i * H + y) * 3 * W,
                                     frames[i].data() + (H - 1 - y) * 3 * W, 3 * W))
                << "frame " << i << " row " << y;
        }
    }
}

TEST(AviWriter, NoFramesGivesEmptyIndex) {
    const std::string path = TempPath("empty.avi");
    AviWriter w;
    w.SetFrameSize(16, 8);
    w.SetFrameRate(30);
    ASSERT_TRUE(w.BeginFile(path.c_str()));
    w.SetMeasuredRate(3000);
    ASSERT_EQ(w.FinishFile(), AviResult::kOk);
    const std::vector<uint8_t> b = FileBytes(path);
    ASSERT_EQ(b.size(), 240u);
    EXPECT_EQ(std::string(b.begin() + 232, b.begin() + 236), "idx1");
    EXPECT_EQ(Le32(b, 236), 0u);
    EXPECT_EQ(Le32(b, 4), 232u);
    EXPECT_EQ(Le32(b, 224), 4u);
    const test::VideoInfo v = ProbeVideo(path);
    EXPECT_EQ(v.frames, 0);
    EXPECT_EQ(v.width, 16);
}

// A writer destroyed, or begun again, while recording leaves a complete file at the nominal rate.
TEST(AviWriter, DestructionAndRestartFinishTheFile) {
    const std::string first = TempPath("restart1.avi"), second = TempPath("restart2.avi");
    const std::vector<uint8_t> f = Frame(32, 24, 3);
    {
        AviWriter w;
        w.SetFrameSize(32, 24);
        w.SetFrameRate(15);
        ASSERT_TRUE(w.BeginFile(first.c_str()));
        ASSERT_EQ(w.WriteFrame(f.data()), AviResult::kOk);
        ASSERT_TRUE(w.BeginFile(second.c_str()));
        EXPECT_EQ(w.frameCount(), 0u);
        for (int i = 0; i < 4; ++i) ASSERT_EQ(w.WriteFrame(f.data()), AviResult::kOk);
    }
    for (const auto& [path, n] : {std::pair{first, 1}, std::pair{second, 4}}) {
        const std::vector<uint8_t> b = FileBytes(path);
        EXPECT_EQ(Le32(b, 4), b.size() - 8) << path;
        EXPECT_EQ(Le32(b, 48), uint32_t(n)) << path;
        const test::VideoInfo v = ProbeVideo(path);
        EXPECT_EQ(v.frames, n) << path;
        EXPECT_NEAR(v.fps, 15.0, 0.001) << path;
    }
}

// A rate of 0 is the slowest rate of its unit: 1 frame per second at begin, 0.01 at finish.
TEST(AviWriter, ZeroFrameRateGivesDefinedHeader) {
    const std::string path = TempPath("zero-rate.avi");
    const std::vector<uint8_t> f = Frame(8, 8, 0);
    AviWriter w;
    w.SetFrameSize(8, 8);
    w.SetFrameRate(0);
    ASSERT_TRUE(w.BeginFile(path.c_str()));
    std::vector<uint8_t> b = FileBytes(path);
    EXPECT_EQ(Le32(b, 32), 1000000u);
    EXPECT_EQ(Le32(b, 128), 10000000u);
    ASSERT_EQ(w.WriteFrame(f.data()), AviResult::kOk);
    w.SetMeasuredRate(0);
    ASSERT_EQ(w.FinishFile(), AviResult::kOk);
    b = FileBytes(path);
    EXPECT_EQ(Le32(b, 32), 100000000u);
    EXPECT_EQ(Le32(b, 128), 1000000000u);
    EXPECT_EQ(ProbeVideo(path).frames, 1);
}

// The frame that would carry the RIFF size past the limit is refused; the file finishes valid
// with the frames before it and a RIFF size within the limit.
TEST(AviWriter, SizeLimitRefusesFrameCleanly) {
    const std::string path = TempPath("limit.avi");
    const uint32_t d = 3 * 10 * 10 + 8;
    const uint64_t threeFrames = 224 + 3 * d + 8 + 48;
    const std::vector<uint8_t> f = Frame(10, 10, 5);
    for (uint64_t limit : {threeFrames, threeFrames + d + 15}) {
        AviWriter w(limit);
        w.SetFrameSize(10, 10);
        w.SetFrameRate(30);
        ASSERT_TRUE(w.BeginFile(path.c_str()));
        for (int i = 0; i < 3; ++i) ASSERT_EQ(w.WriteFrame(f.data()), AviResult::kOk);
        EXPECT_EQ(w.WriteFrame(f.data()), AviResult::kSizeLimit);
        EXPECT_EQ(w.WriteFrame(f.data()), AviResult::kSizeLimit);
        EXPECT_EQ(w.FinishFile(), AviResult::kOk);
        const std::vector<uint8_t> b = FileBytes(path);
        EXPECT_EQ(b.size(), threeFrames + 8);
        EXPECT_LE(Le32(b, 4), limit);
        EXPECT_EQ(ProbeVideo(path).frames, 3);
    }
    // Even one frame does not fit: nothing is created.
    const std::string none = TempPath("limit-none.avi");
    AviWriter tiny(224 + d + 8 + 15);
    tiny.SetFrameSize(10, 10);
    EXPECT_FALSE(tiny.BeginFile(none.c_str()));
    EXPECT_FALSE(test::FileExists(none));
}

// A full disk, made with a file-size limit: the failed frame and everything after it are
// refused, the file keeps the frames written whole, and the failure is reported.
TEST(AviWriter, FullDiskKeepsFramesWrittenWhole) {
    const int W = 20, H = 10;
    const uint32_t d = 3 * W * H + 8;
    const std::vector<uint8_t> f = Frame(W, H, 9);
    struct Case {
        const char* name;
        rlim_t limit;
        int framesAccepted;
        int framesKept;
    };
    // Cut inside the third frame: two frames kept. Cut exactly after the third frame: the fourth
    // fails, and as the index has no room the third frame is given up for it.
    for (const Case& c : {Case{"mid-frame", 232 + 2 * d + 100, 2, 2},
                          Case{"no-room-for-index", 232 + 3 * d, 3, 2}}) {
        SCOPED_TRACE(c.name);
        const std::string path = TempPath(std::string("full-") + c.name + ".avi");
        std::remove(path.c_str());
        test::FileSizeLimit limit(c.limit);
        ASSERT_TRUE(limit.active());
        AviWriter w;
        w.SetFrameSize(W, H);
        w.SetFrameRate(30);
        ASSERT_TRUE(w.BeginFile(path.c_str()));
        int accepted = 0;
        AviResult r;
        while ((r = w.WriteFrame(f.data())) == AviResult::kOk) ++accepted;
        EXPECT_EQ(r, AviResult::kWriteFailed);
        EXPECT_EQ(accepted, c.framesAccepted);
        EXPECT_EQ(w.WriteFrame(f.data()), AviResult::kWriteFailed);
        EXPECT_EQ(w.FinishFile(), AviResult::kWriteFailed);
        EXPECT_EQ(w.frameCount(), uint32_t(c.framesKept));
        limit.Lift();
        const std::vector<uint8_t> b = FileBytes(path);
        EXPECT_EQ(b.size(), 232u + c.framesKept * (d + 16) + 8);
        EXPECT_EQ(Le32(b, 4), b.size() - 8);
        EXPECT_EQ(Le32(b, 224), 4 + c.framesKept * d);
        const test::VideoInfo v = ProbeVideo(path);
        EXPECT_EQ(v.frames, c.framesKept);
        EXPECT_EQ(v.width, W);
        EXPECT_EQ(v.height, H);
    }
}

TEST(AviWriter, RefusesWhatItCannotWrite) {
    AviWriter w;
    const std::vector<uint8_t> f = Frame(4, 4, 0);
    EXPECT_EQ(w.WriteFrame(f.data()), AviResult::kNotOpen);
    EXPECT_EQ(w.FinishFile(), AviResult::kNotOpen);
    w.SetFrameSize(4, 4);
    EXPECT_FALSE(w.BeginFile(::testing::TempDir().c_str()));  // a directory
    EXPECT_FALSE(w.BeginFile(nullptr));
    EXPECT_FALSE(w.BeginFile(TempPath("no/such/dir.avi").c_str()));
    const std::string path = TempPath("bad-size.avi");
    std::remove(path.c_str());
    w.SetFrameSize(0, 4);
    EXPECT_FALSE(w.BeginFile(path.c_str()));
    w.SetFrameSize(4, -1);
    EXPECT_FALSE(w.BeginFile(path.c_str()));
    EXPECT_FALSE(test::FileExists(path));
    // A null frame is refused without ending the recording.
    w.SetFrameSize(4, 4);
    ASSERT_TRUE(w.BeginFile(path.c_str()));
    EXPECT_EQ(w.WriteFrame(nullptr), AviResult::kBadFrame);
    EXPECT_EQ(w.WriteFrame(f.data()), AviResult::kOk);
    EXPECT_EQ(w.FinishFile(), AviResult::kOk);
    EXPECT_EQ(ProbeVideo(path).frames, 1);
}

// An existing, longer file is truncated, not overwritten in place.
TEST(AviWriter, TruncatesExistingFile) {
    const std::string path = TempPath("truncate.avi");
    {
        std::ofstream junk(path, std::ios::binary);
        junk << std::string(100000, 'x');
    }
    AviWriter w;
    w.SetFrameSize(4, 2);
    w.SetFrameRate(30);
    ASSERT_TRUE(w.BeginFile(path.c_str()));
    const std::vector<uint8_t> f = Frame(4, 2, 1);
    ASSERT_EQ(w.WriteFrame(f.data()), AviResult::kOk);
    ASSERT_EQ(w.FinishFile(), AviResult::kOk);
    EXPECT_EQ(FileBytes(path).size(), 232u + 32 + 8 + 16);
}

}  // namespace
}  // namespace lumora
