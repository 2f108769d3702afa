#pragma once
// An emulated K37VQ camera as the library sees it through its disk: the status block, the
// command block and the image area at their byte offsets, a 16-bit address space of 8-bit
// registers, and frames from an emulated sensor at the pace its registers give.
//
// Thread context: every operation may be called from any thread; one lock serialises them.
// Tests use the fault injection and the transfer log; the library reaches the emulator only
// through EmulatedDrive handles that the disk layer hands out.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>
#include <string>
#include <vector>

#include "emulator/emulated_sensor.h"

namespace lumora {

// One transfer seen by the camera, in the order it arrived.
struct EmulatorTransfer {
    bool write = false;
    uint32_t offset = 0;
    uint32_t length = 0;
    uint8_t head[4] = {};  // first four bytes written (command code, address high, low, value)
    bool ok = false;
};

// Transfers that break the sector protocol, as the camera sees them; a host that keeps each
// transfer whole and each register read's command and answer together causes none.
struct EmulatorViolations {
    uint64_t writesOutsideCommandBlock = 0;  // a write to the status block or image area
    uint64_t commandsOverwritten = 0;  // a command written before a read command's answer was read
    uint64_t answersInterleaved = 0;   // another transfer between a read command and its answer
    uint64_t overlappingTransfers = 0;  // a drive handle used by two threads within one transfer
    uint64_t Total() const {
        return writesOutsideCommandBlock + commandsOverwritten + answersInterleaved + overlappingTransfers;
    }
};

class CameraEmulator {
public:
    static constexpr uint32_t kStatusOffset = 0x20000;
    static constexpr uint32_t kCommandOffset = 0x20200;
    static constexpr uint32_t kImageOffset = 0x20400;
    static constexpr uint32_t kBlockSize = 512;
    static constexpr char kIdentification[] = "VORNEX USB 3.0 Camera V1.0";
    // A status read that finds no frame ready takes this long, as one bus round trip does, so
    // that a host polling for the next frame does not spin the processor.
    static constexpr uint32_t kIdlePollUs = 100;
    // The disk-list entry of an emulated camera (an instance id that the library counts).
    static constexpr char kDiskListEntry[] = "USBSTOR\\Disk&Ven_VORNEX&Prod_USB3.0_K37VQ&Rev_1.00";

    explicit CameraEmulator(uint32_t seed = 1);

    // --- the disk side (EmulatedDrive) ---
    // One positioned transfer. False when the camera fails it (unplugged, injected failure);
    // *moved tells how many bytes moved.
    bool Read(uint32_t offset, void* buffer, uint32_t length, uint32_t* moved);
    bool Write(uint32_t offset, const void* buffer, uint32_t length, uint32_t* moved);
    // False once the camera is unplugged: it can neither be opened nor positioned.
    bool Present();

    // --- registers ---
    uint8_t Register8(uint16_t address);
    uint16_t Register16(uint16_t address);  // big-endian pair address, address + 1
    void SetRegister16(uint16_t address, uint16_t value);

    // --- behaviour ---
    // Frames are ready at once and every image-area read delivers the next one.
    void SetFastFrames(bool on);
    // Frame period in microseconds instead of the one the sensor registers give (0: registers).
    void SetFramePeriodUs(uint32_t us);
    // Freezes the moving part of the scene.
    void SetStill(bool on);
    // The ready flag never comes while on.
    void StallReady(bool on);
    // The next count reads / writes fail (-1: all of them until set again).
    void FailReads(int count);
    void FailWrites(int count);
    // Every transfer takes at least this long, as on a real bus (0: as fast as it goes).
    void SetTransferLatencyUs(uint32_t us);
    // While on, every transfer that begins waits until it is switched off: a camera that does
    // not answer at all.
    void HoldTransfers(bool on);
    // Reads and writes report success but move one sector less than asked.
    void SetShortTransfers(bool on);
    // Every transfer from the given number of further transfers on fails, and the drive can no
    // longer be opened or positioned (0: unplugged now).
    void UnplugAfter(int transfers);
    // Plugs an unplugged camera in again: it can be opened anew, while drive handles opened
    // before the unplug stay dead, as a removed disk's handles do. Its registers are those of
    // power-on again.
    void Replug();
    // Counts the unplugs; a drive handle works only while the count is the one it was opened at.
    uint32_t Unplugs();
    // How many opens, positionings and transfers were refused since the camera was unplugged.
    uint64_t RefusedAccesses();
    // The value of status byte 256 while a frame is ready (1 by default; a malformed status
    // block carries another one, which the host must not take for ready).
    void SetReadyValue(uint8_t value);
    // Tests: each frame carries its number (counted from 1 like FramesDelivered) in its first
    // and last two rows of the current readout width: the low byte fills the outer row, the next
    // byte the row inside it. A frame whose head and tail differ was torn.
    void SetFrameStamp(bool on);
    // Identification text (bytes 0..25) and model bytes (26, 27) of the status block.
    void SetIdentification(const std::string& text, uint8_t model1, uint8_t model2);

    // --- observation ---
    void StartLog();  // starts an empty transfer log (off by default)
    std::vector<EmulatorTransfer> TakeLog();
    uint32_t FramesDelivered();
    EmulatorViolations Violations();
    // EmulatedDrive: one of its transfers began while another one of it was in progress.
    void CountOverlappingTransfer();
    // Number of drive handles open on this camera (EmulatedDrive counts itself in and out).
    int OpenHandles() const { return openHandles_; }
    void CountHandle(int delta) { openHandles_ += delta; }

    // Number of image bytes of one frame with the current registers.
    uint32_t FrameBytes();

private:
    using Clock = std::chrono::steady_clock;
    bool ReadLocked(uint32_t offset, void* buffer, uint32_t length, uint32_t* moved, bool* idle);
    bool WriteLocked(uint32_t offset, const void* buffer, uint32_t length, uint32_t* moved);
    void Delay();
    bool Fails(int* counter);
    bool TakeTransfer();  // false when unplugged (counts the unplug countdown)
    void Log(bool write, uint32_t offset, uint32_t length, const void* data, bool ok);
    bool ReadyLocked(Clock::time_point now);
    void ExecuteCommand(const uint8_t* block);
    void WriteRegisterLocked(uint16_t address, uint8_t value);
    uint32_t FramePeriodUsLocked() const;
    void StampLocked(uint8_t* out, uint32_t offset, uint32_t count);

    std::mutex mutex_;
    EmulatedSensor sensor_;
    std::vector<uint8_t> registers_;
    std::string identification_;
    uint8_t model1_ = 0x70;
    uint8_t model2_ = 0x02;
    uint8_t readBack_ = 0;
    uint8_t readyValue_ = 1;

    bool fast_ = false;
    bool still_ = false;
    bool stalled_ = false;
    bool shortTransfers_ = false;
    int failReads_ = 0;
    int failWrites_ = 0;
    int unplugCountdown_ = -1;  // -1: never
    bool unplugged_ = false;
    uint32_t unplugs_ = 0;
    bool stamp_ = false;
    uint64_t refused_ = 0;
    uint32_t periodOverrideUs_ = 0;
    uint32_t latencyUs_ = 0;
    bool held_ = false;
    std::condition_variable released_;
    bool answerPending_ = false;  // a read command's answer is not yet read
    EmulatorViolations violations_;

    Clock::time_point nextReady_;
    uint32_t framesDelivered_ = 0;

    std::atomic<int> openHandles_{0};
    bool logging_ = false;
    std::vector<EmulatorTransfer> log_;
};

}  // namespace lumora
