#pragma once
// The words of the emulator's faults as programs and users give them from outside the process:
// the LUMORA_CAMEMU_FAULTS schedule ("unplug@3 replug:2@5.5": FAULT[:N]@SECONDS, camera N
// 1-based, the first camera without it, seconds from the first acquisition start of the
// process) and the command lines of `lumora emu` ("unplug 2"), which reach running processes
// through a command file in the user's runtime folder.
//
// Thread context: any thread; no state.
#include <cstdint>
#include <string>
#include <vector>

namespace lumora {

enum class EmulatorFault { kUnplug, kReplug, kStall, kUnstall, kFail, kUnfail };

struct ScheduledFault {
    EmulatorFault fault = EmulatorFault::kUnplug;
    int camera = 1;      // 1-based
    uint32_t atMs = 0;   // from the first acquisition start
};

class FaultScript {
public:
    static constexpr int kMaxCamera = 4;

    // The fault a word names (unplug, replug, stall, unstall, fail, unfail); false for others.
    static bool ParseFault(const std::string& word, EmulatorFault* fault);
    static const char* Word(EmulatorFault fault);
    // A schedule into its items, in the order of their times (items of one time in the order
    // given). False, with *error saying which item is wrong, for a malformed schedule.
    static bool ParseSchedule(const std::string& text, std::vector<ScheduledFault>* items, std::string* error);
    // One command line, "FAULT N" (N 1-based), into its fault and camera; false when malformed.
    static bool ParseCommand(const std::string& line, EmulatorFault* fault, int* camera);
    // The command file: lumora-camemu-commands in platform::RuntimeFolder; empty without one.
    static std::string CommandFile();
    // Appends the command for fault on camera to the command file; false when it cannot.
    static bool Send(EmulatorFault fault, int camera);
};

}  // namespace lumora
