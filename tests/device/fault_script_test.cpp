// Faults of emulated cameras from outside the process: the schedule's and the commands' words,
// and the driver that applies them (a schedule that waits for the first acquisition start,
// commands appended by other processes, half-written lines, commands older than the process).
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "emulator/camera_emulator.h"
#include "emulator/fault_driver.h"
#include "emulator/fault_script.h"
#include "platform/runtime_file.h"

namespace lumora::test {
namespace {

using F = EmulatorFault;

// Items as "fault:camera@ms", space separated; "malformed" for a schedule refused.
std::string Items(const std::string& text) {
    std::vector<ScheduledFault> items;
    std::string error, out;
    if (!FaultScript::ParseSchedule(text, &items, &error)) {
        return error.find("is not FAULT@SECONDS") != std::string::npos ? "malformed" : "no message";
    }
    for (const ScheduledFault& f : items) {
        out += (out.empty() ? "" : " ") + std::string(FaultScript::Word(f.fault)) + ":" + std::to_string(f.camera) +
               "@" + std::to_string(f.atMs);
    }
    return out;
}

std::string Command(const std::string& line) {
    F fault;
    int camera = 0;
    if (!FaultScript::ParseCommand(line, &fault, &camera)) return "malformed";
    return std::string(FaultScript::Word(fault)) + ":" + std::to_string(camera);
}

TEST(FaultScript, SchedulesAndCommands) {
    const std::pair<const char*, const char*> schedules[] = {
        {"unplug@3 replug@5", "unplug:1@3000 replug:1@5000"},
        {"  replug:2@5.25\tunplug:2@0.5 ", "unplug:2@500 replug:2@5250"},  // in time order
        {"stall@1 unstall@1 fail:4@2 unfail:4@2.0", "stall:1@1000 unstall:1@1000 fail:4@2000 unfail:4@2000"},
        {"", ""}, {"unplug", "malformed"}, {"unplug@", "malformed"}, {"unplug@-1", "malformed"},
        {"unplug@1e3", "malformed"}, {"unplug@1.2.3", "malformed"}, {"unplug@.", "malformed"},
        {"unplug:0@1", "malformed"}, {"unplug:5@1", "malformed"}, {"unplug:@1", "malformed"},
        {"unplug:12@1", "malformed"}, {"unplug@1:2", "malformed"}, {"Unplug@1", "malformed"},
        {"explode@1", "malformed"}, {"unplug@86401", "malformed"}, {"unplug@1 replug", "malformed"},
    };
    for (auto [text, items] : schedules) EXPECT_EQ(Items(text), items) << text;
    const std::pair<const char*, const char*> commands[] = {
        {"unplug 1", "unplug:1"}, {"  replug\t4 ", "replug:4"}, {"unfail 2", "unfail:2"}, {"unplug", "malformed"},
        {"unplug 0", "malformed"}, {"unplug 1 2", "malformed"}, {"boom 1", "malformed"}, {"", "malformed"},
    };
    for (auto [line, command] : commands) EXPECT_EQ(Command(line), command) << line;
}

class FaultDriverTest : public ::testing::Test {
protected:
    void SetUp() override {
        file = ::testing::TempDir() + "fault_driver_commands_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed());
        std::remove(file.c_str());
        for (auto& c : cameras) {
            c = std::make_shared<CameraEmulator>();
            c->SetFastFrames(true);
        }
    }
    void TearDown() override { std::remove(file.c_str()); }
    // Polls once more than kPollMs after the last poll.
    void Poll(FaultDriver& driver) {
        std::this_thread::sleep_for(std::chrono::milliseconds(FaultDriver::kPollMs + 2));
        driver.Poll();
    }
    // What a host sees of camera n (0-based): present, a frame ready, a status read that works.
    std::string State(int n) {
        CameraEmulator& c = *cameras[n];
        uint8_t block[512] = {};
        uint32_t moved = 0;
        if (!c.Present()) return "gone";
        if (!c.Read(CameraEmulator::kStatusOffset, block, sizeof block, &moved)) return "failing";
        return block[256] == 1 ? "ready" : "stalled";
    }
    std::string file;
    std::shared_ptr<CameraEmulator> cameras[2];
};

TEST_F(FaultDriverTest, TheScheduleCountsFromTheFirstAcquisitionStart) {
    std::vector<ScheduledFault> schedule;
    ASSERT_TRUE(FaultScript::ParseSchedule("unplug@0 stall:2@0 replug@0.06 unstall:2@0.06 fail:2@0.06", &schedule, nullptr));
    FaultDriver driver(schedule, "");
    driver.SetCameras({cameras[0], cameras[1]});
    Poll(driver);
    EXPECT_EQ(State(0) + " " + State(1), "ready ready");  // no acquisition yet
    driver.AcquisitionStarted();
    Poll(driver);
    EXPECT_EQ(State(0) + " " + State(1), "gone stalled");
    driver.AcquisitionStarted();  // a later start does not restart the clock
    std::this_thread::sleep_for(std::chrono::milliseconds(60));
    Poll(driver);
    EXPECT_EQ(State(0) + " " + State(1), "ready failing");
}

TEST_F(FaultDriverTest, CommandsOfOtherProcessesArriveLineByLine) {
    ASSERT_TRUE(platform::AppendToFile(file, "unplug 1\n"));  // older than the driver: not applied
    FaultDriver driver({}, file);
    driver.SetCameras({cameras[0], cameras[1]});
    Poll(driver);
    EXPECT_EQ(State(0), "ready");
    // Each step: what is appended, and what the cameras show after the next poll.
    const std::pair<const char*, const char*> steps[] = {
        {"unplug 2\n", "ready gone"},
        {"stall 1\nnonsense\nunplug 9\nrepl", "stalled gone"},  // bad lines are skipped
        {"ug 2\n", "stalled ready"},                             // the rest of a line
        {"unstall 1\nfail 1\n", "failing ready"},
        {"unfail 1\n", "ready ready"},
    };
    for (const auto& [text, state] : steps) {
        SCOPED_TRACE(text);
        ASSERT_TRUE(platform::AppendToFile(file, text));
        Poll(driver);
        EXPECT_EQ(State(0) + " " + State(1), state);
    }
    // A command file made anew is read from its start.
    std::remove(file.c_str());
    ASSERT_TRUE(platform::AppendToFile(file, "stall 2\n"));
    Poll(driver);
    Poll(driver);
    EXPECT_EQ(State(1), "stalled");
}

}  // namespace
}  // namespace lumora::test
