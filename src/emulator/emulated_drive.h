#pragma once
// A handle on an emulated camera's drive: the file position of one opener, and positioned
// transfers forwarded to the camera. Used by one thread at a time, like a disk handle.
#include <memory>

#include "emulator/camera_emulator.h"
#include "platform/raw_disk.h"

namespace lumora {

class EmulatedDrive : public platform::RawDisk {
public:
    explicit EmulatedDrive(std::shared_ptr<CameraEmulator> camera)
        : camera_(std::move(camera)), unplugs_(camera_->Unplugs()) {
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

    std::shared_ptr<CameraEmulator> camera_;
    uint32_t unplugs_;
    uint32_t position_ = 0;
};

}  // namespace lumora
