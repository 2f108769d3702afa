#pragma once
// A handle on an emulated camera's drive: the file position of one opener, and positioned
// transfers forwarded to the camera. Used by one thread at a time, like a disk handle: a
// transfer (a seek with its read or write) that begins while another thread's is in progress
// is counted as a protocol violation of the camera. A drive of the environment's cameras polls
// their fault driver before each transfer.
#include <atomic>
#include <memory>

#include "emulator/camera_emulator.h"
#include "emulator/fault_driver.h"
#include "platform/raw_disk.h"

namespace lumora {

class EmulatedDrive : public platform::RawDisk {
public:
    explicit EmulatedDrive(std::shared_ptr<CameraEmulator> camera, std::shared_ptr<FaultDriver> faults = nullptr)
        : camera_(std::move(camera)), faults_(std::move(faults)), unplugs_(camera_->Unplugs()) {
        camera_->CountHandle(1);
    }
    ~EmulatedDrive() override { camera_->CountHandle(-1); }
    EmulatedDrive(const EmulatedDrive&) = delete;
    EmulatedDrive& operator=(const EmulatedDrive&) = delete;

    bool Seek(uint32_t offset) override;
    bool Read(void* buffer, uint32_t length, uint32_t* moved) override;
    bool Write(const void* buffer, uint32_t length, uint32_t* moved) override;

private:
    // True while the camera has not been unplugged since this handle was opened.
    bool Attached();

    // Counts the caller in (and a violation when another caller is in); Leave counts it out.
    void Enter(bool seek);
    void Leave(bool transferDone);

    std::shared_ptr<CameraEmulator> camera_;
    std::shared_ptr<FaultDriver> faults_;  // null but for the environment's cameras
    uint32_t unplugs_;
    std::atomic<uint32_t> position_{0};
    std::atomic<int> inside_{0};          // callers inside Seek, Read or Write
    std::atomic<bool> positioned_{false};  // a seek waits for its transfer
};

}  // namespace lumora
