#include "emulator/emulated_drive.h"

namespace lumora {

bool EmulatedDrive::Attached() { return camera_->Present() && camera_->Unplugs() == unplugs_; }

void EmulatedDrive::Enter(bool seek) {
    const bool overlap = inside_.fetch_add(1) != 0 || (seek && positioned_.exchange(true));
    if (overlap) camera_->CountOverlappingTransfer();
}

void EmulatedDrive::Leave(bool transferDone) {
    if (transferDone) positioned_ = false;
    inside_.fetch_sub(1);
}

bool EmulatedDrive::Seek(uint32_t offset) {
    if (faults_) faults_->Poll();
    Enter(true);
    const bool attached = Attached();
    if (attached) position_ = offset;
    Leave(!attached);
    return attached;
}

bool EmulatedDrive::Read(void* buffer, uint32_t length, uint32_t* moved) {
    uint32_t done = 0;
    if (moved) *moved = 0;
    if (camera_->Unplugs() != unplugs_) return false;
    Enter(false);
    bool ok = camera_->Read(position_, buffer, length, &done);
    position_ += done;
    Leave(true);
    if (moved) *moved = done;
    return ok;
}

bool EmulatedDrive::Write(const void* buffer, uint32_t length, uint32_t* moved) {
    uint32_t done = 0;
    if (moved) *moved = 0;
    if (camera_->Unplugs() != unplugs_) return false;
    Enter(false);
    bool ok = camera_->Write(position_, buffer, length, &done);
    position_ += done;
    Leave(true);
    if (moved) *moved = done;
    return ok;
}

}  // namespace lumora
