#include "emulator/fault_driver.h"

#include <cstdio>

#include "platform/clock.h"
#include "platform/environment.h"
#include "platform/runtime_file.h"

namespace lumora {

namespace {

std::vector<ScheduledFault> EnvironmentSchedule() {
    std::string text, error;
    std::vector<ScheduledFault> items;
    if (!platform::GetEnvironmentText("LUMORA_CAMEMU_FAULTS", &text)) return items;
    if (!FaultScript::ParseSchedule(text, &items, &error)) {
        std::fprintf(stderr, "Lumora SDK: LUMORA_CAMEMU_FAULTS ignored: %s\n", error.c_str());
        items.clear();
    }
    return items;
}

}  // namespace

FaultDriver::FaultDriver() : FaultDriver(EnvironmentSchedule(), FaultScript::CommandFile()) {}

FaultDriver::FaultDriver(std::vector<ScheduledFault> schedule, std::string commandFile)
    : schedule_(std::move(schedule)), commandFile_(std::move(commandFile)) {
    // Commands written before this process looked are not its own.
    if (!commandFile_.empty()) commandOffset_ = platform::FileSize(commandFile_);
}

void FaultDriver::SetCameras(std::vector<std::shared_ptr<CameraEmulator>> cameras) {
    std::lock_guard<std::mutex> lock(mutex_);
    cameras_ = std::move(cameras);
}

void FaultDriver::AcquisitionStarted() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (started_) return;
    started_ = true;
    startMs_ = platform::MultimediaTime();
}

void FaultDriver::Apply(EmulatorFault fault, CameraEmulator& camera) {
    switch (fault) {
        case EmulatorFault::kUnplug: camera.UnplugAfter(0); break;
        case EmulatorFault::kReplug: camera.Replug(); break;
        case EmulatorFault::kStall: camera.StallReady(true); break;
        case EmulatorFault::kUnstall: camera.StallReady(false); break;
        case EmulatorFault::kFail:
            camera.FailReads(-1);
            camera.FailWrites(-1);
            break;
        case EmulatorFault::kUnfail:
            camera.FailReads(0);
            camera.FailWrites(0);
            break;
    }
}

void FaultDriver::ApplyLocked(EmulatorFault fault, int camera) {
    if (camera >= 1 && camera <= static_cast<int>(cameras_.size())) Apply(fault, *cameras_[static_cast<size_t>(camera - 1)]);
}

void FaultDriver::ReadCommandsLocked() {
    if (commandFile_.empty()) return;
    std::string text;
    if (!platform::ReadFileFrom(commandFile_, commandOffset_, &text)) return;
    if (text.empty()) {
        // A file made anew (removed meanwhile) is read from its start.
        if (platform::FileSize(commandFile_) < commandOffset_) commandOffset_ = 0;
        return;
    }
    commandOffset_ += text.size();
    partialLine_ += text;
    size_t end;
    while ((end = partialLine_.find('\n')) != std::string::npos) {
        EmulatorFault fault;
        int camera = 0;
        if (FaultScript::ParseCommand(partialLine_.substr(0, end), &fault, &camera)) ApplyLocked(fault, camera);
        partialLine_.erase(0, end + 1);
    }
}

void FaultDriver::Poll() {
    std::lock_guard<std::mutex> lock(mutex_);
    const uint32_t now = platform::MultimediaTime();
    if (polled_ && now - lastPollMs_ < kPollMs) return;
    polled_ = true;
    lastPollMs_ = now;
    while (started_ && next_ < schedule_.size() && now - startMs_ >= schedule_[next_].atMs) {
        ApplyLocked(schedule_[next_].fault, schedule_[next_].camera);
        ++next_;
    }
    ReadCommandsLocked();
}

}  // namespace lumora
