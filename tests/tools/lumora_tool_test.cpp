// The lumora tool run as a user runs it, as its own process against emulated cameras, with its
// settings in a folder of the test's own.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <chrono>
#include <cstdlib>
#include <random>
#include <thread>
#include <string>

#include "output_check.h"
#include "output_test_util.h"

namespace lumora::test {
namespace {

using namespace still;

struct ToolRun {
    int status;
    std::string out;  // standard output and standard error together
};

class LumoraTool : public ::testing::Test {
protected:
    void SetUp() override {
        char folder[] = "/tmp/lumora_tool_XXXXXX";
        ASSERT_NE(mkdtemp(folder), nullptr);
        dir = folder;
    }
    void TearDown() override { std::system(("rm -rf " + dir).c_str()); }

    // wrapper: a program that runs the tool (xvfb-run for a display).
    ToolRun Tool(const std::string& args, const std::string& camemu = "1", const std::string& wrapper = "") {
        // No display: the preview window cannot be made, everything else needs none.
        const std::string command = "cd " + dir + " && DISPLAY= XDG_CONFIG_HOME=" + dir + " LUMORA_CAMEMU=" +
                                    camemu + " LUMORA_CAMEMU_STILL=1 timeout 60 " + wrapper + " " LUMORA_TOOL " " +
                                    args + " 2>&1";
        ToolRun r{-1, ""};
        std::FILE* p = popen(command.c_str(), "r");
        if (p == nullptr) return r;
        char chunk[4096];
        for (size_t n; (n = std::fread(chunk, 1, sizeof chunk, p)) > 0;) r.out.append(chunk, n);
        const int status = pclose(p);
        r.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        return r;
    }
    bool Exists(const std::string& name) {
        struct stat st;
        return stat((dir + "/" + name).c_str(), &st) == 0;
    }
    std::string dir;
};

// Wrong command lines: a one-line message naming the fault, exit status 2, nothing written.
TEST_F(LumoraTool, BadCommandLinesAreRefusedWithOneLine) {
    struct Case {
        const char* args;
        const char* message;
    };
    const Case cases[] = {
        {"frobnicate", "unknown command 'frobnicate'"},
        {"get shininess", "unknown setting 'shininess'"},
        {"set gamma 201", "gamma must be 0 to 200, not 201"},
        {"set gamma twelve", "not a number for gamma: 'twelve'"},
        {"set hue 10 11", "unexpected argument '11'"},
        {"snap -o picture.gif", "the extension must be"},
        {"snap --mode 12 -o a.png", "--mode must be 8, 16, 24, 32, 48 or 64"},
        {"snap --subsample 4 -o a.png", "--subsample must be 0, 1, 2, 17 or 18"},
        {"set gamma 0x10", "not a number for gamma: '0x10'"},  // hexadecimal only where documented
        {"set gamma ' 10'", "not a number for gamma"},
        {"reg read 0x-1", "not a number for register address"},
        {"stream --seconds 0", "--seconds must be above 0 and at most 86400, not 0"},
        {"stream --seconds 86400.5", "--seconds must be above 0 and at most 86400"},
        {"stream --seconds 1e3", "not a number of seconds for --seconds: '1e3'"},
        {"record --seconds 0x10 -o a.avi", "not a number of seconds"},
        {"stream --seconds 1 -d", "missing camera number after -d"},
        {"snap", "missing -o FILE"},
        {"record --seconds 2 -o a.mp4", "missing -o FILE.avi"},
        {"record -o a.avi", "missing --seconds S"},
        {"reg poke 0x100", "reg takes read or write"},
        {"reg write 0x10000 1", "register address must be 0 to 65535"},
        {"info -d 12", "camera number (-d) must be 0 to 9"},
    };
    for (const Case& c : cases) {
        const ToolRun r = Tool(c.args);
        EXPECT_EQ(r.status, 2) << c.args << "\n" << r.out;
        EXPECT_NE(r.out.find(c.message), std::string::npos) << c.args << "\n" << r.out;
    }
    EXPECT_FALSE(Exists("picture.gif"));
    EXPECT_FALSE(Exists("a.png"));
}

// Failures of the camera or the files: exit status 1 and the error code named in words.
TEST_F(LumoraTool, FailuresNameTheErrorCode) {
    struct Case {
        const char* args;
        const char* camemu;
        const char* message;
    };
    const Case cases[] = {
        {"list", "", "no camera found"},
        {"info", "7", "LUMORA_CAMEMU=7 is not a number of emulated cameras"},
        {"info -d 1", "1", "no camera number 1"},
        {"snap -o missing/folder/a.png", "1", "Lumora_SaveImage failed: CAMERR_STORAGE"},
        {"snap -o out.png", "1", "Lumora_SaveImage failed: CAMERR_STORAGE"},
        {"snap --window 4000 100 -o a.png", "1", "window width must be 4 to 3488"},
        {"snap --window 3000 100 1000 0 -o a.png", "1", "Lumora_SetCaptureWindowEx failed: CAMERR_CAPTURE_WINDOW"},
        {"view", "1", "lumora view: no display could be opened (DISPLAY is empty)"},
        {"view --subsample 1 --size 800 600", "1", "no display could be opened (DISPLAY is empty)"},
    };
    ::mkdir((dir + "/out.png").c_str(), 0700);  // a folder in the way of the output
    for (const Case& c : cases) {
        const ToolRun r = Tool(c.args, c.camemu);
        EXPECT_NE(r.status, 0) << c.args << "\n" << r.out;
        EXPECT_NE(r.out.find(c.message), std::string::npos) << c.args << "\n" << r.out;
    }
    EXPECT_FALSE(Exists("missing"));
    EXPECT_FALSE(Exists("a.png"));
}

TEST_F(LumoraTool, ListInfoGetSetAndRegisters) {
    ToolRun r = Tool("list", "2");
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(r.out, "0  LumoraK37VQ_01\n1  LumoraK37VQ_02\n");
    r = Tool("info");
    EXPECT_EQ(r.status, 0) << r.out;
    for (const char* line : {"sensor               3488 x 2616", "frame size           3488 x 2616", "global-gain"}) {
        EXPECT_NE(r.out.find(line), std::string::npos) << line << "\n" << r.out;
    }
    // A setting changed with set is what get reads in the next process.
    EXPECT_EQ(Tool("set gamma 140").status, 0);
    EXPECT_EQ(Tool("set global-gain 40").status, 0);
    EXPECT_EQ(Tool("get gamma").out, "140\n");
    EXPECT_EQ(Tool("get global-gain").out, "40\n");
    r = Tool("get");
    EXPECT_NE(r.out.find("gamma               140   0..200"), std::string::npos) << r.out;
    EXPECT_EQ(Tool("reg write 0x0202 0x0123").status, 0);
    EXPECT_EQ(Tool("reg read 0x3056").status, 0);
    EXPECT_NE(Tool("reg read 0x0100").out.find("0x0100 = 0x"), std::string::npos);
}

// Numbers are decimal, set prints what it stored, reset brings back the defaults, and the
// ranges and sizes printed are the library's.
TEST_F(LumoraTool, SetPrintsWhatIsStoredAndResetRestoresTheDefaults) {
    const std::pair<const char*, const char*> runs[] = {
        {"set gamma 010", "gamma = 10\n"},  // not octal
        {"set -d 0 sharpness 3", "sharpness = 3\n"},
        {"set brightness -5 -d 0", "brightness = -5\n"},
        {"reg read -d 0 256", "0x0100 = 0x"},
        {"reset", ""},
        {"get gamma", "100\n"},
        {"get sharpness", "0\n"},
        {"get brightness", "0\n"},
        {"get exposure", "2600\n"},
        {"--version", "lumora 1.45.5.25 (library 1.45.5.25)\n"},
    };
    for (const auto& run : runs) {
        const ToolRun r = Tool(run.first);
        EXPECT_EQ(r.status, 0) << run.first << "\n" << r.out;
        EXPECT_EQ(r.out.find(run.second), 0u) << run.first << "\n" << r.out;
    }
    // The exposure range of get and set is the one the camera reports in info.
    const std::string info = Tool("info").out;
    const size_t at = info.find("exposure ");
    ASSERT_NE(at, std::string::npos) << info;
    int low = 0, high = 0;
    ASSERT_EQ(std::sscanf(info.c_str() + at, "exposure %d..%d", &low, &high), 2) << info;
    EXPECT_NE(Tool("get").out.find("exposure           2600   " + std::to_string(low) + ".." + std::to_string(high)),
              std::string::npos);
    EXPECT_EQ(Tool("set exposure " + std::to_string(high)).out, "exposure = " + std::to_string(high) + "\n");
    EXPECT_EQ(Tool("set exposure " + std::to_string(high + 1)).status, 2);
    // The frame size printed is the size of the frames: the window after subsampling.
    EXPECT_NE(Tool("snap --subsample 1 --window 2560 1920 -o half.png").out.find("half.png: 1280 x 960, 24 bits"),
              std::string::npos);
    EXPECT_EQ(ReadPng(dir + "/half.png").width, 1280);
    EXPECT_NE(Tool("info").out.find("frame size           3488 x 2616, 27373824 bytes"), std::string::npos);
}

// lumora view on a 1280 x 1024 screen: the whole picture scaled to fit, or the size asked for.
TEST_F(LumoraTool, ViewFitsThePictureToTheScreen) {
    if (std::system("command -v xvfb-run >/dev/null") != 0) GTEST_SKIP() << "no xvfb-run";
    const std::string xvfb = "xvfb-run -a -s '-screen 0 1280x1024x24'";
    const std::pair<const char*, const char*> runs[] = {
        {"view --seconds 0.5", "LumoraK37VQ_01: 3488 x 2616 frames in a 1152 x 864 window"},
        {"view --subsample 1 --seconds 0.5", "LumoraK37VQ_01: 1744 x 1308 frames in a 1152 x 864 window"},
        {"view --subsample 2 --seconds 0.5", "LumoraK37VQ_01: 872 x 654 frames in a 872 x 654 window"},
        {"view --seconds 0.5 --size 400 300", "LumoraK37VQ_01: 3488 x 2616 frames in a 400 x 300 window"},
    };
    for (const auto& run : runs) {
        const ToolRun r = Tool(run.first, "1", xvfb);
        EXPECT_EQ(r.status, 0) << run.first << "\n" << r.out;
        EXPECT_NE(r.out.find(run.second), std::string::npos) << run.first << "\n" << r.out;
    }
}

TEST_F(LumoraTool, SnapshotsInEveryFormatReadBack) {
    ASSERT_EQ(Tool("snap --mode 24 --subsample 2 -o chart.png").status, 0);
    Picture png = ReadPng(dir + "/chart.png");
    EXPECT_EQ(png.width, 872);
    EXPECT_EQ(png.height, 654);
    const ToolRun jpeg = Tool("snap --window 640 480 --quality 70 -o chart.jpg");
    ASSERT_EQ(jpeg.status, 0) << jpeg.out;
    EXPECT_EQ(ReadJpeg(dir + "/chart.jpg").width, 640);
    ASSERT_EQ(Tool("snap --mode 16 --subsample 17 -o gray.tif").status, 0);
    Picture tiff = ReadTiff(dir + "/gray.tif");
    EXPECT_EQ(tiff.width, 1744);
    EXPECT_EQ(tiff.depth, 16);
    ASSERT_EQ(Tool("snap --mode 8 --subsample 2 -o raw.bmp").status, 0);
    EXPECT_EQ(FileBytes(dir + "/raw.bmp").size(), 54u + 1024u + 872u * 654u);
}

TEST_F(LumoraTool, RecordingAndStreamReportTheirFigures) {
    const ToolRun rec = Tool("record --subsample 2 --clock 5 --seconds 1.5 -o clip.avi");
    ASSERT_EQ(rec.status, 0) << rec.out;
    const std::vector<uint8_t> avi = FileBytes(dir + "/clip.avi");
    ASSERT_GT(avi.size(), 232u);
    const uint32_t frames = Le32(avi, 48);
    EXPECT_GT(frames, 0u);
    EXPECT_NE(rec.out.find("clip.avi: " + std::to_string(frames) + " frames at"), std::string::npos) << rec.out;
    EXPECT_NE(rec.out.find(" frames "), std::string::npos);  // progress lines

    const ToolRun stream = Tool("stream --seconds 0.5 --clock 5 -d 0 --subsample 2");  // any order
    ASSERT_EQ(stream.status, 0) << stream.out;
    EXPECT_NE(stream.out.find("frames delivered"), std::string::npos) << stream.out;
    EXPECT_EQ(stream.out.find("frames delivered     0\n"), std::string::npos) << stream.out;
    EXPECT_NE(stream.out.find("frames skipped"), std::string::npos) << stream.out;

    // --json: one object, these keys in this order, and the counts add up.
    const ToolRun json = Tool("stream --subsample 2 --clock 5 --seconds 1 --json");
    ASSERT_EQ(json.status, 0) << json.out;
    unsigned completed = 0, delivered = 0, skipped = 0, failed = 0, busy = 0, size = 0, end = 0, reconnects = 9;
    ASSERT_EQ(std::sscanf(json.out.c_str(),
                          "{\"completed\": %u, \"delivered\": %u, \"skipped\": %u, \"failed\": %u, "
                          "\"skipped_by_cause\": {\"consumer_busy\": %u, \"wrong_size\": %u, \"stream_end\": %u}, "
                          "\"reconnects\": %u}",
                          &completed, &delivered, &skipped, &failed, &busy, &size, &end, &reconnects),
              8)
        << json.out;
    EXPECT_EQ(json.out.back(), '\n');
    EXPECT_EQ(json.out.find('\n'), json.out.size() - 1) << json.out;  // nothing else printed
    EXPECT_GT(delivered, 0u);
    EXPECT_EQ(completed, delivered + skipped);
    EXPECT_EQ(skipped, busy + size + end);
    EXPECT_EQ(reconnects, 0u);
}

// The camera unplugged and plugged back by the environment's schedule and by lumora emu from
// another process: with --reconnect a stream and a recording go on (the recording in a second
// file), a malformed schedule is said once and ignored.
TEST_F(LumoraTool, StreamAndRecordGoOnWhenTheCameraComesBack) {
    const std::string faults = "env XDG_RUNTIME_DIR=" + dir + " LUMORA_CAMEMU_FAULTS='unplug@0.4 replug@0.7'";
    const ToolRun stream = Tool("stream --window 320 240 --reconnect --seconds 1.5 --json", "1", faults);
    ASSERT_EQ(stream.status, 0) << stream.out;
    EXPECT_NE(stream.out.find("\"reconnects\": 1}"), std::string::npos) << stream.out;

    const ToolRun rec = Tool("record --window 320 240 --reconnect --seconds 1.5 -o clip.avi", "1", faults);
    ASSERT_EQ(rec.status, 0) << rec.out;
    EXPECT_NE(rec.out.find("came back 1 times; the recording went on in clip_1.avi"), std::string::npos) << rec.out;
    for (const char* name : {"/clip.avi", "/clip_1.avi"}) EXPECT_GT(Le32(FileBytes(dir + name), 48), 0u) << name;

    const ToolRun bad = Tool("stream --window 320 240 --seconds 0.3", "1", "env LUMORA_CAMEMU_FAULTS=unplug@soon");
    EXPECT_EQ(bad.status, 0) << bad.out;
    EXPECT_NE(bad.out.find("LUMORA_CAMEMU_FAULTS ignored: \"unplug@soon\""), std::string::npos) << bad.out;

    // lumora emu reaches the streaming process through the command file.
    const std::string env = "cd " + dir + " && export DISPLAY= XDG_CONFIG_HOME=" + dir + " XDG_RUNTIME_DIR=" + dir +
                            " LUMORA_CAMEMU=1 && ";
    const std::string tool = LUMORA_TOOL;
    ASSERT_EQ(std::system((env + "(timeout 60 " + tool + " stream --window 320 240 --reconnect --seconds 2 --json > out.json &" +
                           " sleep 0.6; " + tool + " emu unplug 1 > emu.txt; sleep 0.3; " + tool + " emu replug >> emu.txt; wait)")
                              .c_str()),
              0);
    const std::vector<uint8_t> out = FileBytes(dir + "/out.json"), said = FileBytes(dir + "/emu.txt");
    EXPECT_NE(std::string(out.begin(), out.end()).find("\"reconnects\": 1}"), std::string::npos);
    EXPECT_EQ(std::string(said.begin(), said.end()), "unplug 1 sent to " + dir + "/lumora-camemu-commands\nreplug 1 sent to " +
                                                         dir + "/lumora-camemu-commands\n");
    EXPECT_EQ(Tool("emu melt").status, 2);
}

// A recording process killed at random moments leaves a file that lumora repair turns into a
// playable recording of every frame it had written whole.
TEST_F(LumoraTool, RecordingKilledAtRandomIsRepairedToItsWholeFrames) {
    std::mt19937 random(16);
    const std::string path = dir + "/killed.avi";
    size_t kept = 0;
    for (int round = 0; round < 4; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        std::remove(path.c_str());
        const pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            setenv("DISPLAY", "", 1);
            setenv("XDG_CONFIG_HOME", dir.c_str(), 1);
            setenv("LUMORA_CAMEMU", "1", 1);
            execl(LUMORA_TOOL, "lumora", "record", "--subsample", "2", "--clock", "5", "--seconds", "60", "-o",
                  path.c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
        struct stat st {};
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while ((stat(path.c_str(), &st) != 0 || st.st_size <= 232) && std::chrono::steady_clock::now() < end) {
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(std::uniform_int_distribution<int>(0, 700)(random)));
        kill(pid, SIGKILL);
        int status = 0;
        waitpid(pid, &status, 0);
        ASSERT_TRUE(WIFSIGNALED(status));
        const std::vector<uint8_t> cut = FileBytes(path);
        ASSERT_GT(cut.size(), 232u);
        const uint32_t chunk = 3 * Le32(cut, 184) * Le32(cut, 188) + 8;
        const size_t whole = (cut.size() - 232) / chunk;
        kept += whole;
        const ToolRun r = Tool("repair killed.avi");
        EXPECT_EQ(r.status, 0) << r.out;
        EXPECT_NE(r.out.find("repaired, " + std::to_string(whole) + " whole frames kept"), std::string::npos) << r.out;
        EXPECT_EQ(ProbeVideo(path).frames, static_cast<int>(whole));
        EXPECT_NE(Tool("repair killed.avi").out.find("nothing to repair"), std::string::npos);
    }
    EXPECT_GT(kept, 4u);
    const ToolRun other = Tool("repair nothing.avi");
    EXPECT_EQ(other.status, 1);
    EXPECT_NE(other.out.find("not a recording"), std::string::npos) << other.out;
}

}  // namespace
}  // namespace lumora::test
