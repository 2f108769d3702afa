// Recordings cut off at every kind of place are repaired to exactly the file the recorder would
// have finished with their whole frames; files that are not unfinished recordings are left alone.
#include "output/avi_repair.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "output/avi_writer.h"
#include "output_test_util.h"

namespace lumora {
namespace {

using test::FileBytes;
using test::FileExists;
using test::TempPath;

constexpr int kW = 7, kH = 5;  // rows of 21 bytes: an odd chunk size
constexpr uint32_t kChunk = 3 * kW * kH + 8;

void Store(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc).write(reinterpret_cast<const char*>(bytes.data()),
                                                                    static_cast<std::streamsize>(bytes.size()));
}

// The bytes of a recording of n frames: as a crash leaves it (never finished), or finished.
std::vector<uint8_t> Recording(int n, bool finished, int width = kW, int height = kH) {
    const std::string path = TempPath("source.avi");
    std::remove(path.c_str());
    AviWriter w;
    w.SetFrameSize(width, height);
    w.SetFrameRate(25);
    EXPECT_TRUE(w.BeginFile(path.c_str()));
    std::vector<uint8_t> frame(3 * size_t(width) * height);
    for (int i = 0; i < n; ++i) {
        for (size_t k = 0; k < frame.size(); ++k) frame[k] = static_cast<uint8_t>(k * 3 + i * 17);
        EXPECT_EQ(w.WriteFrame(frame.data()), AviResult::kOk);
    }
    std::vector<uint8_t> bytes = FileBytes(path);
    if (finished) {
        EXPECT_EQ(w.FinishFile(), AviResult::kOk);
        bytes = FileBytes(path);
    }
    return bytes;
}

TEST(AviRepair, CutOffRecordingsBecomeTheFinishedFileOfTheirWholeFrames) {
    const std::vector<uint8_t> crashed = Recording(4, false), finished = Recording(4, true);
    const size_t header = AviWriter::kHeaderSize;
    const struct {
        const char* cut;
        std::vector<uint8_t> bytes;
        int frames;
    } cases[] = {
        {"no frame", {crashed.begin(), crashed.begin() + header}, 0},
        {"four frames, no index", crashed, 4},
        {"inside a chunk head", {crashed.begin(), crashed.begin() + header + 2 * kChunk + 5}, 2},
        {"inside the pixels", {crashed.begin(), crashed.begin() + header + 3 * kChunk + 40}, 3},
        {"inside the index", {finished.begin(), finished.end() - 20}, 4},
        {"index head only", {finished.begin(), finished.begin() + header + 4 * kChunk + 8}, 4},
        {"stale counts over whole frames", {finished.begin(), finished.begin() + header + 4 * kChunk}, 4},
    };
    const std::string path = TempPath("cut.avi");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.cut);
        Store(path, c.bytes);
        EXPECT_TRUE(AviRepair::IsUnfinished(path.c_str()) == (c.bytes.size() <= crashed.size() && c.bytes[4] == 0));
        const AviRepairReport r = AviRepair::Repair(path.c_str());
        EXPECT_EQ(r.result, AviRepairResult::kRepaired);
        EXPECT_EQ(r.frames, static_cast<uint32_t>(c.frames));
        EXPECT_EQ(r.droppedBytes, c.bytes.size() - header - c.frames * kChunk);
        EXPECT_EQ(FileBytes(path), Recording(c.frames, true));
        const AviRepairReport again = AviRepair::Repair(path.c_str());
        EXPECT_EQ(again.result, AviRepairResult::kIntact);
        EXPECT_EQ(again.frames, static_cast<uint32_t>(c.frames));
    }
    Store(path, finished);
    EXPECT_EQ(AviRepair::Repair(path.c_str()).result, AviRepairResult::kIntact);
    EXPECT_FALSE(AviRepair::IsUnfinished(path.c_str()));
    // Any frame size the recorder takes, however long its rows or columns.
    for (const auto& size : {std::pair<int, int>{65536, 1}, std::pair<int, int>{1, 70000}}) {
        Store(path, Recording(2, false, size.first, size.second));
        EXPECT_EQ(AviRepair::Repair(path.c_str()).frames, 2u);
        EXPECT_EQ(FileBytes(path), Recording(2, true, size.first, size.second));
    }
}

TEST(AviRepair, OtherFilesAreLeftAlone) {
    const std::string path = TempPath("other.avi");
    std::vector<uint8_t> bytes = Recording(2, false);
    std::vector<std::vector<uint8_t>> others = {{}, {'R', 'I', 'F', 'F'}, bytes, bytes, bytes};
    others[2][109] = 'a';               // an audio stream
    others[3][194] = 32;                // 32-bit pixels
    others[4].resize(AviWriter::kHeaderSize - 1);  // a header cut short
    for (const auto& other : others) {
        Store(path, other);
        EXPECT_EQ(AviRepair::Repair(path.c_str()).result, AviRepairResult::kNotRecording);
        EXPECT_EQ(FileBytes(path), other);
    }
    std::remove(path.c_str());
    EXPECT_EQ(AviRepair::Repair(path.c_str()).result, AviRepairResult::kNotRecording);
    EXPECT_EQ(AviRepair::Repair(nullptr).result, AviRepairResult::kNotRecording);
}

// A recorder that finds an unfinished recording at its file name keeps it under a name of its own
// before it starts; a finished one is replaced as before.
TEST(AviRepair, ARecorderKeepsTheUnfinishedRecordingItWouldReplace) {
    const std::string path = TempPath("line.avi"), base = path.substr(0, path.size() - 4);
    const std::string kept[] = {base + "-recovered.avi", base + "-recovered-2.avi"};
    for (const std::string& k : kept) std::remove(k.c_str());
    for (int round = 0; round < 3; ++round) {
        Store(path, round < 2 ? Recording(3, false) : Recording(3, true));
        AviWriter w;
        w.SetFrameSize(kW, kH);
        w.SetFrameRate(25);
        ASSERT_TRUE(w.BeginFile(path.c_str()));
        EXPECT_EQ(w.FinishFile(), AviResult::kOk);
        EXPECT_EQ(FileBytes(path), Recording(0, true));
    }
    for (const std::string& k : kept) {
        EXPECT_EQ(FileBytes(k), Recording(3, true));
        std::remove(k.c_str());
    }
    EXPECT_FALSE(FileExists(base + "-recovered-3.avi"));
}

}  // namespace
}  // namespace lumora
