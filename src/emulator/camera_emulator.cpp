#include "emulator/camera_emulator.h"

#include <algorithm>
#include <cstring>

namespace lumora {

CameraEmulator::CameraEmulator(uint32_t seed)
    : sensor_(seed), registers_(EmulatedSensor::kRegisterCount), identification_(kIdentification) {
    EmulatedSensor::ResetRegisters(registers_.data());
    nextReady_ = Clock::now();
}

bool CameraEmulator::Fails(int* counter) {
    if (*counter == 0) return false;
    if (*counter > 0) --*counter;
    return true;
}

bool CameraEmulator::TakeTransfer() {
    if (unplugCountdown_ == 0 && !unplugged_) {
        unplugged_ = true;
        ++unplugs_;
    }
    if (unplugCountdown_ > 0) --unplugCountdown_;
    refused_ += unplugged_;
    return !unplugged_;
}

void CameraEmulator::Log(bool write, uint32_t offset, uint32_t length, const void* data, bool ok) {
    if (!logging_) return;
    EmulatorTransfer t;
    t.write = write;
    t.offset = offset;
    t.length = length;
    if (write && data) std::memcpy(t.head, data, std::min<uint32_t>(length, sizeof t.head));
    t.ok = ok;
    log_.push_back(t);
}

uint32_t CameraEmulator::FramePeriodUsLocked() const {
    return periodOverrideUs_ ? periodOverrideUs_ : EmulatedSensor::FramePeriodUs(registers_.data());
}

bool CameraEmulator::ReadyLocked(Clock::time_point now) {
    return !stalled_ && (fast_ || now >= nextReady_);
}

void CameraEmulator::Delay() {
    uint32_t us;
    {
        std::unique_lock<std::mutex> lock(mutex_);
        released_.wait(lock, [this] { return !held_; });
        us = latencyUs_;
    }
    if (us) std::this_thread::sleep_for(std::chrono::microseconds(us));
}

bool CameraEmulator::Read(uint32_t offset, void* buffer, uint32_t length, uint32_t* moved) {
    Delay();
    bool idle = false;
    bool ok;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        ok = ReadLocked(offset, buffer, length, moved, &idle);
    }
    if (idle) std::this_thread::sleep_for(std::chrono::microseconds(kIdlePollUs));
    return ok;
}

bool CameraEmulator::Write(uint32_t offset, const void* buffer, uint32_t length, uint32_t* moved) {
    Delay();
    std::lock_guard<std::mutex> lock(mutex_);
    return WriteLocked(offset, buffer, length, moved);
}

bool CameraEmulator::ReadLocked(uint32_t offset, void* buffer, uint32_t length, uint32_t* moved, bool* idle) {
    if (moved) *moved = 0;
    bool ok = TakeTransfer() && !Fails(&failReads_) && buffer != nullptr;
    Log(false, offset, length, nullptr, ok);
    if (!ok) return false;
    uint32_t count = length;
    if (shortTransfers_) count = length > kBlockSize ? length - kBlockSize : 0;
    auto* out = static_cast<uint8_t*>(buffer);
    const bool answer = offset <= kStatusOffset && offset + static_cast<uint64_t>(count) > kStatusOffset;
    if (answerPending_ && !answer) ++violations_.answersInterleaved;
    if (answer) answerPending_ = false;
    Clock::time_point now = Clock::now();
    if (offset >= kImageOffset) {
        if (ReadyLocked(now)) {
            // This read takes the ready frame; the next one follows at the sensor's pace.
            ++framesDelivered_;
            auto period = std::chrono::microseconds(FramePeriodUsLocked());
            if (nextReady_ + period > now) {
                nextReady_ += period;
            } else {
                nextReady_ = now + period;
            }
        }
        sensor_.Render(registers_.data(), framesDelivered_, still_, out, offset - kImageOffset, count);
        if (stamp_) StampLocked(out, offset - kImageOffset, count);
    } else {
        std::memset(out, 0, count);
        if (offset <= kStatusOffset && offset + static_cast<uint64_t>(count) > kStatusOffset) {
            uint8_t block[kBlockSize] = {};
            std::memcpy(block, identification_.data(), std::min<size_t>(identification_.size(), 26));
            block[26] = model1_;
            block[27] = model2_;
            bool ready = ReadyLocked(now);
            block[256] = ready ? readyValue_ : 0;
            *idle = !ready;
            block[257] = readBack_;
            uint32_t at = kStatusOffset - offset;
            std::memcpy(out + at, block, std::min<uint32_t>(kBlockSize, count - at));
        }
    }
    if (moved) *moved = count;
    return true;
}

bool CameraEmulator::WriteLocked(uint32_t offset, const void* buffer, uint32_t length, uint32_t* moved) {
    if (moved) *moved = 0;
    bool ok = TakeTransfer() && !Fails(&failWrites_) && buffer != nullptr;
    Log(true, offset, length, buffer, ok);
    if (!ok) return false;
    uint32_t count = length;
    if (shortTransfers_) count = length > kBlockSize ? length - kBlockSize : 0;
    if (offset != kCommandOffset) ++violations_.writesOutsideCommandBlock;
    if (offset == kCommandOffset && answerPending_) ++violations_.commandsOverwritten;
    // The camera acts on a command block as soon as it is written.
    if (offset == kCommandOffset && count >= 4) ExecuteCommand(static_cast<const uint8_t*>(buffer));
    if (moved) *moved = count;
    return true;
}

void CameraEmulator::ExecuteCommand(const uint8_t* block) {
    uint16_t address = static_cast<uint16_t>(block[1] << 8 | block[2]);
    if (block[0] == 0x20) {
        WriteRegisterLocked(address, block[3]);
    } else if (block[0] == 0x21) {
        readBack_ = registers_[address];
        answerPending_ = true;
    }
}

void CameraEmulator::WriteRegisterLocked(uint16_t address, uint8_t value) {
    // The status register 0x0100/0x0101 is the sensor's own.
    if (address == 0x0100 || address == 0x0101) return;
    registers_[address] = value;
    EmulatedSensor::AfterWrite(registers_.data(), address);
}

void CameraEmulator::StampLocked(uint8_t* out, uint32_t offset, uint32_t count) {
    const uint32_t width = EmulatedSensor::Read16(registers_.data(), 0x034C);
    const uint32_t frame = EmulatedSensor::FrameBytes(registers_.data());
    if (width == 0 || frame < 4 * width) return;
    const uint32_t rows[4] = {0, width, frame - 2 * width, frame - width};
    const uint8_t values[4] = {static_cast<uint8_t>(framesDelivered_), static_cast<uint8_t>(framesDelivered_ >> 8),
                               static_cast<uint8_t>(framesDelivered_ >> 8), static_cast<uint8_t>(framesDelivered_)};
    for (int r = 0; r < 4; ++r) {
        const uint32_t begin = std::max(rows[r], offset), end = std::min(rows[r] + width, offset + count);
        if (begin < end) std::memset(out + (begin - offset), values[r], end - begin);
    }
}

bool CameraEmulator::Present() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (unplugCountdown_ == 0 && !unplugged_) {
        unplugged_ = true;
        ++unplugs_;
    }
    refused_ += unplugged_;
    return !unplugged_;
}

void CameraEmulator::Replug() {
    std::lock_guard<std::mutex> lock(mutex_);
    // Unplugged, the camera lost its power: it comes back with the registers of power-on.
    if (unplugged_) {
        EmulatedSensor::ResetRegisters(registers_.data());
        readBack_ = 0;
        answerPending_ = false;
    }
    unplugged_ = false;
    unplugCountdown_ = -1;
}

uint32_t CameraEmulator::Unplugs() {
    std::lock_guard<std::mutex> lock(mutex_);
    return unplugs_;
}

void CameraEmulator::SetFrameStamp(bool on) {
    std::lock_guard<std::mutex> lock(mutex_);
    stamp_ = on;
}

uint64_t CameraEmulator::RefusedAccesses() {
    std::lock_guard<std::mutex> lock(mutex_);
    return refused_;
}

uint8_t CameraEmulator::Register8(uint16_t address) {
    std::lock_guard<std::mutex> lock(mutex_);
    return registers_[address];
}

uint16_t CameraEmulator::Register16(uint16_t address) {
    std::lock_guard<std::mutex> lock(mutex_);
    return EmulatedSensor::Read16(registers_.data(), address);
}

void CameraEmulator::SetRegister16(uint16_t address, uint16_t value) {
    std::lock_guard<std::mutex> lock(mutex_);
    WriteRegisterLocked(address, static_cast<uint8_t>(value >> 8));
    WriteRegisterLocked(static_cast<uint16_t>(address + 1), static_cast<uint8_t>(value));
}

void CameraEmulator::SetFastFrames(bool on) {
    std::lock_guard<std::mutex> lock(mutex_);
    fast_ = on;
}

void CameraEmulator::SetFramePeriodUs(uint32_t us) {
    std::lock_guard<std::mutex> lock(mutex_);
    periodOverrideUs_ = us;
    nextReady_ = std::min(nextReady_, Clock::now() + std::chrono::microseconds(FramePeriodUsLocked()));
}

void CameraEmulator::SetStill(bool on) {
    std::lock_guard<std::mutex> lock(mutex_);
    still_ = on;
}

void CameraEmulator::StallReady(bool on) {
    std::lock_guard<std::mutex> lock(mutex_);
    stalled_ = on;
}

void CameraEmulator::FailReads(int count) {
    std::lock_guard<std::mutex> lock(mutex_);
    failReads_ = count;
}

void CameraEmulator::FailWrites(int count) {
    std::lock_guard<std::mutex> lock(mutex_);
    failWrites_ = count;
}

void CameraEmulator::SetTransferLatencyUs(uint32_t us) {
    std::lock_guard<std::mutex> lock(mutex_);
    latencyUs_ = us;
}

void CameraEmulator::HoldTransfers(bool on) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        held_ = on;
    }
    released_.notify_all();
}

EmulatorViolations CameraEmulator::Violations() {
    std::lock_guard<std::mutex> lock(mutex_);
    return violations_;
}

void CameraEmulator::CountOverlappingTransfer() {
    std::lock_guard<std::mutex> lock(mutex_);
    ++violations_.overlappingTransfers;
}

void CameraEmulator::SetShortTransfers(bool on) {
    std::lock_guard<std::mutex> lock(mutex_);
    shortTransfers_ = on;
}

void CameraEmulator::UnplugAfter(int transfers) {
    std::lock_guard<std::mutex> lock(mutex_);
    unplugCountdown_ = std::max(0, transfers);
    if (unplugCountdown_ == 0 && !unplugged_) {
        unplugged_ = true;
        ++unplugs_;
    }
}

void CameraEmulator::SetReadyValue(uint8_t value) {
    std::lock_guard<std::mutex> lock(mutex_);
    readyValue_ = value;
}

void CameraEmulator::SetIdentification(const std::string& text, uint8_t model1, uint8_t model2) {
    std::lock_guard<std::mutex> lock(mutex_);
    identification_ = text;
    model1_ = model1;
    model2_ = model2;
}

void CameraEmulator::StartLog() {
    std::lock_guard<std::mutex> lock(mutex_);
    logging_ = true;
    log_.clear();
}

std::vector<EmulatorTransfer> CameraEmulator::TakeLog() {
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<EmulatorTransfer> log;
    log.swap(log_);
    return log;
}

uint32_t CameraEmulator::FramesDelivered() {
    std::lock_guard<std::mutex> lock(mutex_);
    return framesDelivered_;
}

uint32_t CameraEmulator::FrameBytes() {
    std::lock_guard<std::mutex> lock(mutex_);
    return EmulatedSensor::FrameBytes(registers_.data());
}

}  // namespace lumora
