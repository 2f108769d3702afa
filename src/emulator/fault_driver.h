#pragma once
// Faults of the environment's emulated cameras from outside the process: the LUMORA_CAMEMU_FAULTS
// schedule, counted from the first acquisition start of the process, and the commands that
// `lumora emu` appends to the command file (see FaultScript). There is no thread of its own:
// the drives of the emulated cameras call Poll as they are opened, positioned and read, which
// an acquisition does all the time (also while the camera is away, stalled or failing), so a
// fault lands within a poll interval of its time while a camera is in use, and at the next use
// otherwise.
//
// Thread context: any thread; one lock guards the state. Poll is called with no lock of a
// camera held.
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "emulator/camera_emulator.h"
#include "emulator/fault_script.h"

namespace lumora {

class FaultDriver {
public:
    static constexpr uint32_t kPollMs = 10;

    // The schedule of the environment (a malformed one is said on standard error and ignored)
    // and the command file from its present end on.
    FaultDriver();
    // A schedule and command file of the caller's (tests).
    FaultDriver(std::vector<ScheduledFault> schedule, std::string commandFile);

    // The cameras the faults reach, camera 1 first.
    void SetCameras(std::vector<std::shared_ptr<CameraEmulator>> cameras);
    // An acquisition starts: the first one starts the schedule's clock.
    void AcquisitionStarted();
    // Applies the scheduled faults that are due and the commands that came; does nothing when
    // the last poll was less than kPollMs ago.
    void Poll();
    // One fault on one camera.
    static void Apply(EmulatorFault fault, CameraEmulator& camera);

private:
    // Caller holds mutex_.
    void ApplyLocked(EmulatorFault fault, int camera);
    void ReadCommandsLocked();

    std::mutex mutex_;
    std::vector<std::shared_ptr<CameraEmulator>> cameras_;
    std::vector<ScheduledFault> schedule_;
    size_t next_ = 0;  // the first item not yet applied
    bool started_ = false;
    uint32_t startMs_ = 0;
    bool polled_ = false;
    uint32_t lastPollMs_ = 0;
    std::string commandFile_;
    uint64_t commandOffset_ = 0;
    std::string partialLine_;  // a command whose end was not yet written
};

}  // namespace lumora
