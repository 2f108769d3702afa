#include "emulator/emulated_drive.h"

namespace lumora {

bool EmulatedDrive::Attached() { return camera_->Present() && camera_->Unplugs() == unplugs_; }

bool EmulatedDrive::Seek(uint32_t offset) {
    if (!Attached()) return false;
    position_ = offset;
    return true;
}

bool EmulatedDrive::Read(void* buffer, uint32_t length, uint32_t* moved) {
    uint32_t done = 0;
    if (moved) *moved = 0;
    if (camera_->Unplugs() != unplugs_) return false;
    bool ok = camera_->Read(position_, buffer, length, &done);
    position_ += done;
    if (moved) *moved = done;
    return ok;
}

bool EmulatedDrive::Write(const void* buffer, uint32_t length, uint32_t* moved) {
    uint32_t done = 0;
    if (moved) *moved = 0;
    if (camera_->Unplugs() != unplugs_) return false;
    bool ok = camera_->Write(position_, buffer, length, &done);
    position_ += done;
    if (moved) *moved = done;
    return ok;
}

}  // namespace lumora
