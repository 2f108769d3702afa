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

TEST(FaultScript, Schedules) {
    struct Case {
        const char* text;
        bool ok;
        std::vector<ScheduledFault> items;
    };
    const Case cases[] = {
        {"unplug@3 replug@5", true, {{F::kUnplug, 1, 3000}, {F::kReplug, 1, 5000}}},
        {"  replug:2@5.25\tunplug:2@0.5 ", true, {{F::kUnplug, 2, 500}, {F::kReplug, 2, 5250}}},
        {"stall@1 unstall@1 fail:4@2 unfail:4@2.0", true,
         {{F::kStall, 1, 1000}, {F::kUnstall, 1, 1000}, {F::kFail, 4, 2000}, {F::kUnfail, 4, 2000}}},
        {"", true, {}},
        {"unplug", false, {}},
        {"unplug@", false, {}},
        {"unplug@-1", false, {}},
        {"unplug@1e3", false, {}},
        {"unplug@1.2.3", false, {}},
        {"unplug@.", false, {}},
        {"unplug:0@1", false, {}},
        {"unplug:5@1", false, {}},
        {"unplug:@1", false, {}},
        {"unplug:12@1", false, {}},
        {"unplug@1:2", false, {}},
        {"Unplug@1", false, {}},
        {"explode@1", false, {}},
        {"unplug@86401", false, {}},
        {"unplug@1 replug", false, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        std::vector<ScheduledFault> items = {{F::kStall, 3, 7}};
        std::string error;
        ASSERT_EQ(FaultScript::ParseSchedule(c.text, &items, &error), c.ok);
        if (!c.ok) {
            EXPECT_NE(error.find("is not FAULT@SECONDS"), std::string::npos);
            continue;
        }
        ASSERT_EQ(items.size(), c.items.size());
        for (size_t i = 0; i < items.size(); ++i) {
            EXPECT_EQ(items[i].fault, c.items[i].fault) << i;
            EXPECT_EQ(items[i].camera, c.items[i].camera) << i;
            EXPECT_EQ(items[i].atMs, c.items[i].atMs) << i;
        }
    }
}

TEST(FaultScript, Commands) {
    struct Case {
        const char* line;
        bool ok;
        F fault;
        int camera;
    };
    const Case cases[] = {
        {"unplug 1", true, F::kUnplug, 1}, {"  replug\t4 ", true, F::kReplug, 4}, {"unfail 2", true, F::kUnfail, 2},
        {"unplug", false, F::kUnplug, 0}, {"unplug 0", false, F::kUnplug, 0}, {"unplug 1 2", false, F::kUnplug, 0},
        {"boom 1", false, F::kUnplug, 0},  {"", false, F::kUnplug, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        F fault = F::kStall;
        int camera = 0;
        ASSERT_EQ(FaultScript::ParseCommand(c.line, &fault, &camera), c.ok);
        if (c.ok) {
            EXPECT_EQ(fault, c.fault);
            EXPECT_EQ(camera, c.camera);
        }
    }
    for (F f : {F::kUnplug, F::kReplug, F::kStall, F::kUnstall, F::kFail, F::kUnfail}) {
        F back = F::kUnplug;
        EXPECT_TRUE(FaultScript::ParseFault(FaultScript::Word(f), &back));
        EXPECT_EQ(back, f);
    }
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
