#include "emulator/emulated_drive.h"

namespace lumora {

bool EmulatedDrive::Seek(uint32_t offset) {
    if (!camera_->Present()) return false;
    position_ = offset;
    return true;
}

bool EmulatedDrive::Read(void* buffer, uint32_t length, uint32_t* moved) {
    uint32_t done = 0;
    bool ok = camera_->Read(position_, buffer, length, &done);
    position_ += done;
    if (moved) *moved = done;
    return ok;
}

bool EmulatedDrive::Write(const void* buffer, uint32_t length, uint32_t* moved) {
    uint32_t done = 0;
    bool ok = camera_->Write(position_, buffer, length, &done);
    position_ += done;
    if (moved) *moved = done;
    return ok;
}

}  // namespace lumora
