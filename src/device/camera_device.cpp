#include "device/camera_device.h"

#include <cstring>
#include <new>
#include <string>
#include <system_error>
#include <vector>

#include "camera/camera_tables.h"
#include "device/disk_layer.h"
#include "platform/clock.h"

namespace lumora {

CameraDevice::CameraDevice() = default;

CameraDevice::~CameraDevice() {
    // No thread may outlive the object, whatever the model class did.
    CameraDevice::StopStream();
}

void CameraDevice::NoOperation() {}

// ---------------------------------------------------------------------------------------------
// Discovery and transport. Caller thread (the acquisition thread uses ReadFrame alone).

long CameraDevice::CountDevices(const char* modelName) {
    deviceCount = 0;
    std::string model = modelName ? modelName : "";
    std::vector<std::string> entries;
    long status = DiskLayer::ReadList(&entries);
    for (const std::string& entry : entries) {
        if (entry.find("VORNEX") != std::string::npos && entry.find("USB3.0") != std::string::npos &&
            entry.find(model) != std::string::npos && entry.find("DS") == std::string::npos) {
            ++deviceCount;
        }
    }
    // Callers list the cameras into ten slots.
    if (deviceCount > kMaxDevices) deviceCount = kMaxDevices;
    selectedIndex = 0;
    return status;
}

int CameraDevice::OpenSelectedDevice() {
    // Never leave a previous handle open, nor in use by a running acquisition.
    CloseDevice();
    int matches = 0;
    for (int n = 1; n <= 4; ++n) {
        diskHandle = DiskLayer::OpenDrive(n);
        if (!diskHandle) continue;
        uint8_t block[kBlockSize] = {};
        if (ReadBlock(kStatusOffset, block) && IdentifiesModel(block)) {
            if (matches == selectedIndex) {
                driveNumber = n;
                cameraLost = false;
                return 1;
            }
            ++matches;
        }
        diskHandle.reset();
    }
    return 0;
}

bool CameraDevice::IdentifiesModel(const uint8_t* block) const {
    return std::memcmp(block, "VORNEX USB 3.0 Camera", 21) == 0 && block[26] == modelId[0] &&
           block[27] == modelId[1];
}

bool CameraDevice::CameraLeft() {
    const uint32_t now = platform::MultimediaTime();
    if (presenceChecked && now - lastPresenceCheck < kPresenceCheckMs) return false;
    presenceChecked = true;
    lastPresenceCheck = now;
    std::unique_ptr<platform::RawDisk> drive = DiskLayer::OpenDrive(driveNumber);
    if (!drive) return true;
    // A drive that opens but cannot be read may be this camera failing: it has not left.
    uint8_t block[kBlockSize] = {};
    uint32_t moved = 0;
    const bool read = drive->Seek(kStatusOffset) && drive->Read(block, kBlockSize, &moved) && moved == kBlockSize;
    return read && !IdentifiesModel(block);
}

void CameraDevice::CloseDevice() {
    StopStream();
    diskHandle.reset();
}

bool CameraDevice::ReadBlock(uint32_t offset, uint8_t* block) {
    DeviceLockScope lock(transferLock);
    uint32_t moved = 0;
    return diskHandle->Seek(offset) && diskHandle->Read(block, kBlockSize, &moved) && moved == kBlockSize;
}

bool CameraDevice::WriteBlock(uint32_t offset, const uint8_t* block) {
    DeviceLockScope lock(transferLock);
    uint32_t moved = 0;
    return diskHandle->Seek(offset) && diskHandle->Write(block, kBlockSize, &moved) && moved == kBlockSize;
}

bool CameraDevice::WaitFrameReady() {
    uint8_t block[kBlockSize];
    const uint32_t polls = waitTime.load();
    for (uint32_t i = 0; i < polls; ++i) {
        // A stop request ends the poll: nobody waits for this frame any more, and a camera
        // that does not deliver must not hold StopStream up for thousands of polls.
        if (streamState == STREAM_STOP) return false;
        if (!ReadBlock(kStatusOffset, block)) {
            ++failedTransfers;
            return false;
        }
        if (block[256] == 1) return true;
    }
    if (streamState != STREAM_STOP) ++stallCount;
    return false;
}

bool CameraDevice::TransferImage(uint8_t* buffer, uint32_t length) {
    uint32_t moved = 0;
    return diskHandle->Seek(kImageOffset) && diskHandle->Read(buffer, length, &moved) && moved == length;
}

int CameraDevice::ReadFrame(uint8_t* buffer, uint32_t length) {
    if (!diskHandle || buffer == nullptr) return 0;
    if (!WaitFrameReady()) return 0;
    DeviceLockScope lock(transferLock);
    return TransferImage(buffer, length) ? 1 : 0;
}

int CameraDevice::WriteRegister8(uint16_t address, uint8_t value) {
    if (!diskHandle) return 0;
    uint8_t block[kBlockSize] = {};
    block[0] = CMD_WRITE_REGISTER;
    block[1] = static_cast<uint8_t>(address >> 8);
    block[2] = static_cast<uint8_t>(address);
    block[3] = value;
    return WriteBlock(kCommandOffset, block) ? 1 : 0;
}

int CameraDevice::ReadRegister8(uint16_t address, uint8_t* value) {
    if (!diskHandle) return 0;
    uint8_t block[kBlockSize] = {};
    block[0] = CMD_READ_REGISTER;
    block[1] = static_cast<uint8_t>(address >> 8);
    block[2] = static_cast<uint8_t>(address);
    // The answer belongs to this command only while nothing else reaches the camera between.
    DeviceLockScope lock(transferLock);
    if (!WriteBlock(kCommandOffset, block) || !ReadBlock(kStatusOffset, block)) return 0;
    if (value) *value = block[257];
    return 1;
}

int CameraDevice::WriteRegister16(uint16_t address, uint16_t value) {
    DeviceLockScope lock(transferLock);  // both bytes, or another writer's half lands between
    int high = WriteRegister8(address, static_cast<uint8_t>(value >> 8));
    int low = WriteRegister8(static_cast<uint16_t>(address + 1), static_cast<uint8_t>(value));
    if (high && low) shadow.Note(address, value);
    return high && low ? 1 : 0;
}

int CameraDevice::ReadRegister16(uint16_t address, uint16_t* value) {
    uint8_t high = 0, low = 0;
    DeviceLockScope lock(transferLock);
    int okHigh = ReadRegister8(address, &high);
    int okLow = ReadRegister8(static_cast<uint16_t>(address + 1), &low);
    if (!okHigh || !okLow) return 0;
    shadow.Note(address, static_cast<uint16_t>(high * 256 + low));
    if (value) *value = static_cast<uint16_t>(high * 256 + low);
    return 1;
}

// ---------------------------------------------------------------------------------------------
// Plain settings and reserved operations. Caller thread.

int CameraDevice::SetWordTransfer(int) { return 0; }
void CameraDevice::SetWaitTime(uint32_t value) {
    if (value >= 1 && value <= 10000) waitTime = value;
}
uint32_t CameraDevice::GetWaitTime() { return waitTime; }
float CameraDevice::GetFrameRate() { return frameRate; }
int CameraDevice::ReservedTrue() { return 1; }
int CameraDevice::GetSingleCaptureStatus() { return 1; }
int CameraDevice::ReservedFalse() { return 0; }
int CameraDevice::GetDeviceCount() { return deviceCount; }
int CameraDevice::IsValidDevice(int index) { return index >= 0 && index < deviceCount ? 1 : 0; }
int CameraDevice::GetSelectedDevice() { return selectedIndex; }

int CameraDevice::SelectDevice(int index) {
    if (!IsValidDevice(index)) return 1;
    selectedIndex = index;
    return OpenSelectedDevice() ? 0 : 1;
}

int CameraDevice::SetCaptureWindow(int, int, int, int, int) { return 1; }

void CameraDevice::GetCaptureWindow(int* x, int* y, int* width, int* height, int* mode) {
    if (x) *x = windowX;
    if (y) *y = windowY;
    if (width) *width = windowWidth;
    if (height) *height = windowHeight;
    if (mode) *mode = readoutMode;
}

int CameraDevice::SetMirrorH(int) { return 1; }
int CameraDevice::SetMirrorV(int) { return 1; }
int CameraDevice::GetMirrorH() { return 0; }
int CameraDevice::GetMirrorV() { return 0; }
int CameraDevice::SetAcquisitionOption(int) { return 0; }
int CameraDevice::ReservedQuery() { return 0; }
int CameraDevice::SetClockHalving(int) { return 0; }
int CameraDevice::GetClockHalving(int*) { return 0; }
int CameraDevice::SetIOPort(int) { return 0; }
int CameraDevice::GetIOPort(int*) { return 0; }
int CameraDevice::ReadSromId(int, uint8_t*) { return 0; }
int CameraDevice::WriteSromId(int, int) { return 0; }

// ---------------------------------------------------------------------------------------------
// Frame sizes.

int CameraDevice::CopyDivisor(int mode) { return ReadoutMode(mode).copyDivisor; }

int CameraDevice::TransferDivisor(int mode) { return ReadoutMode(mode).transferDivisor; }

int CameraDevice::GetTransferSize() {
    int d = TransferDivisor(readoutMode);
    int n = (windowWidth / d) * (windowHeight / d);
    return n % 512 == 0 ? n : (n / 512 + 1) * 512;
}

int CameraDevice::GetPaddedImageSize() {
    int d = TransferDivisor(readoutMode);
    int w = windowWidth / d, h = windowHeight / d;
    return ((w + 3) & ~3) * h;
}

int CameraDevice::GetCopySize() {
    int d = CopyDivisor(readoutMode);
    return (windowWidth / d) * (windowHeight / d);
}

// ---------------------------------------------------------------------------------------------
// Acquisition. Caller thread, except AcquisitionLoop.

int CameraDevice::NewestSlot() const {
    int newest = 0;
    int best = buffers[0].sequence;
    if (best < 0) best = -1;
    for (int i = 1; i < 3; ++i) {
        int s = buffers[i].sequence;
        if (s > best) {
            best = s;
            newest = i;
        }
    }
    return newest;
}

bool CameraDevice::AllocateSlots() {
    int size = GetTransferSize();
    if (size <= 0) return false;
    for (FrameSlot& slot : buffers) {
        slot.data.reset(new (std::align_val_t{FrameSlot::kAlignment}, std::nothrow) uint8_t[static_cast<size_t>(size)]);
        slot.size = slot.data ? static_cast<uint32_t>(size) : 0;
        slot.sequence = 0;
        if (!slot.data) return false;
    }
    return true;
}

void CameraDevice::ReleaseSlots() {
    for (FrameSlot& slot : buffers) {
        slot.data.reset();
        slot.size = 0;
        slot.sequence = 0;
    }
}

void CameraDevice::JoinThread() {
    if (threadHandle.joinable()) threadHandle.join();
    endEventExists = false;
}

int CameraDevice::Start(StreamState state) {
    // A thread that still exists is stopped first: there is one acquisition thread at most.
    if (threadHandle.joinable()) StopStream();
    if (!AllocateSlots()) {
        ReleaseSlots();
        return 1;
    }
    frameSequence = 0;
    lastDelivered = 0;
    takenCount = 0;
    supersededCount = 0;
    untakenAtStop = 0;
    streamHalted = false;
    failedTransfers = 0;
    stallCount = 0;
    presenceChecked = false;
    streamState = state;
    endEvent.Reset();
    endEventExists = true;
    try {
        threadHandle = std::thread([this] { AcquisitionLoop(); });
    } catch (const std::system_error&) {
        streamState = STREAM_IDLE;
        endEventExists = false;
        ReleaseSlots();
        return 1;
    }
    return 0;
}

int CameraDevice::StartStream() { return Start(STREAM_RUNNING); }

int CameraDevice::StartSingleCapture() {
    if (threadHandle.joinable()) StopStream();
    ReleaseSlots();
    return Start(STREAM_SINGLE);
}

void CameraDevice::AcquisitionLoop() {
    // Acquisition thread.
    frameSequence = 0;
    uint32_t counted = 0;
    uint32_t t0 = platform::MultimediaTime();
    while (streamState != STREAM_STOP) {
        int state = streamState;
        if (state == STREAM_RUNNING || state == STREAM_SINGLE) {
            // A frame larger than the slots (the window grew while streaming) is never read: the
            // pass then idles like a paused one until the stream is restarted.
            uint32_t length = static_cast<uint32_t>(GetTransferSize());
            if (length > buffers[0].size) {
                if (frameEventArmed) frameEvent.Set();
                platform::SleepMs(10);
                continue;
            }
            if (streamHalted) {
                if (frameEventArmed) frameEvent.Set();
                platform::SleepMs(1);
                continue;
            }
            if (cameraLost) {
                // Nothing more comes through this handle: the pass idles until the stream ends.
                if (state == STREAM_SINGLE) streamState.compare_exchange_strong(state, STREAM_STOP);
                if (frameEventArmed) frameEvent.Set();
                platform::SleepMs(10);
                continue;
            }
            if (!diskHandle || !WaitFrameReady() || !TakeFrame(state)) {
                // A camera that fails every transfer at once is retried at a millisecond's pace
                // rather than in a loop that holds a whole core, until it delivers again or
                // turns out to have left the bus.
                if (streamState != STREAM_STOP && !streamHalted && CameraLeft()) cameraLost = true;
                platform::SleepMs(1);
                continue;
            }
            presenceChecked = false;
            if (state == STREAM_SINGLE) {
                int expected = STREAM_SINGLE;
                streamState.compare_exchange_strong(expected, STREAM_STOP);
            }
            ++counted;
            if (platform::MultimediaTime() - t0 > 1000) {
                uint32_t elapsed = platform::MultimediaTime() - t0;
                frameRate = static_cast<float>(counted * 1000.0 / static_cast<double>(elapsed));
                counted = 0;
                t0 = platform::MultimediaTime();
            }
        }
        if (frameEventArmed) frameEvent.Set();
        if (streamState == STREAM_PAUSED) {
            // Waits out the pause: its holder has the device lock until it resumes.
            transferLock.Acquire();
            transferLock.Release();
        }
    }
    endEvent.Set();
}

bool CameraDevice::TakeFrame(int state) {
    // The slot is chosen, emptied, filled and numbered under one hold of the lock, so that a
    // pause never finds a slot half way.
    DeviceLockScope lock(transferLock);
    if (streamState == STREAM_STOP || streamHalted) return false;
    FrameSlot& slot = buffers[state == STREAM_SINGLE ? 0 : FillTarget()];
    slot.sequence = 0;
    const uint32_t length = static_cast<uint32_t>(GetTransferSize());
    if (length > slot.size) return false;
    if (!TransferImage(slot.data.get(), length)) {
        if (streamState != STREAM_STOP) ++failedTransfers;
        return false;
    }
    slot.details = FrameDetails{};
    slot.details.timestampUs = platform::MonotonicMicroseconds();
    slot.details.sensor = shadow;
    slot.details.number = static_cast<uint32_t>(frameSequence.load() + 1);
    slot.sequence = ++frameSequence;
    {
        std::lock_guard<std::mutex> arrived(arrivalMutex);
    }
    arrival.notify_all();
    return true;
}

int CameraDevice::FillTarget() {
    // The slot after the newest, unless a copy reads it (a copy that began when it was the
    // newest): then the other one. A slot is marked empty before its copy mark is looked at and
    // a copy marks its slot before it looks at the sequence again, so either this thread sees
    // the mark or the copy sees the slot emptied and starts over.
    const int newest = NewestSlot();
    int target = (newest + 1) % 3;
    for (;;) {
        buffers[target].sequence = 0;
        if (slotInCopy.load() != target) return target;
        target = target == (newest + 1) % 3 ? (newest + 2) % 3 : (newest + 1) % 3;
    }
}

int CameraDevice::QueryNewFrame() {
    // Read before the slots: a frame completed before the camera left is delivered first.
    const bool lost = cameraLost;
    int delivered = lastDelivered;
    for (const FrameSlot& slot : buffers) {
        if (slot.sequence > delivered) return 3;
    }
    return lost ? 1 : 2;
}

int CameraDevice::CopyNewestFrame(uint8_t* destination, int, int, int) {
    return CopyNewestFrame(destination, nullptr);
}

int CameraDevice::CopyNewestFrame(uint8_t* destination, FrameDetails* details) {
    for (;;) {
        const int index = NewestSlot();
        const FrameSlot& slot = buffers[index];
        const int sequence = slot.sequence;
        int size = GetCopySize();
        if (destination == nullptr || !slot.data || sequence <= 0 || size < 0 ||
            static_cast<uint32_t>(size) > slot.size) {
            return 1;
        }
        // Marked before the sequence is looked at again: the acquisition thread leaves a marked
        // slot alone, and a slot it began to refill before it saw the mark shows a new sequence.
        slotInCopy = index;
        if (slot.sequence != sequence) {
            slotInCopy = -1;
            continue;
        }
        std::memcpy(destination, slot.data.get(), static_cast<size_t>(size));
        FrameDetails taken = slot.details;
        slotInCopy = -1;
        const int previous = lastDelivered;
        taken.skippedBefore = sequence > previous ? static_cast<uint32_t>(sequence - previous - 1) : 0;
        supersededCount += taken.skippedBefore;
        ++takenCount;
        lastDelivered = sequence;
        if (details) *details = taken;
        return 0;
    }
}

int CameraDevice::FinishSingleCapture(uint8_t* destination, int, int, int) {
    return FinishSingleCapture(destination, nullptr);
}

int CameraDevice::FinishSingleCapture(uint8_t* destination, FrameDetails* details) {
    bool ended = true;
    if (endEventExists) ended = endEvent.Wait(waitTime);
    if (!ended) streamState = STREAM_STOP;  // the thread must not go on writing slot 0
    JoinThread();
    streamState = STREAM_IDLE;
    if (!ended) return 1;
    const FrameSlot& slot = buffers[0];
    int size = GetCopySize();
    if (destination == nullptr || !slot.data || slot.sequence <= 0 || size < 0 ||
        static_cast<uint32_t>(size) > slot.size) {
        return 1;
    }
    std::memcpy(destination, slot.data.get(), static_cast<size_t>(size));
    lastDelivered = slot.sequence.load();
    ++takenCount;
    if (details) {
        *details = slot.details;
        details->skippedBefore = 0;
    }
    return 0;
}

bool CameraDevice::HaltStream() {
    streamHalted = true;
    // A transfer holds the lock from its choice of slot to its frame's number.
    if (!transferLock.Acquire(std::chrono::milliseconds(kPauseTimeoutMs))) return false;
    transferLock.Release();
    return true;
}

int CameraDevice::StopStream() {
    streamState = STREAM_STOP;
    JoinThread();
    streamHalted = false;
    // Frames completed after the last one taken: nobody will take them now.
    const int completed = frameSequence, taken = lastDelivered;
    if (completed > taken) untakenAtStop += static_cast<uint32_t>(completed - taken);
    lastDelivered = completed;
    streamState = STREAM_IDLE;
    ReleaseSlots();
    return 0;
}

int CameraDevice::PauseStream() {
    if (!transferLock.Acquire(std::chrono::milliseconds(kPauseTimeoutMs))) return -1;
    int expected = STREAM_RUNNING;
    return streamState.compare_exchange_strong(expected, STREAM_PAUSED) ? 1 : 0;
}

int CameraDevice::ResumeStream(int paused) {
    if (paused == -1) return paused;
    if (paused == 1) {
        int expected = STREAM_PAUSED;
        streamState.compare_exchange_strong(expected, STREAM_RUNNING);
    }
    transferLock.Release();
    return paused;
}

DeviceStatistics CameraDevice::Statistics() const {
    // The later counts first, so that taken and skipped never exceed completed.
    DeviceStatistics s;
    s.untakenAtStop = untakenAtStop;
    s.taken = takenCount;
    s.superseded = supersededCount;
    s.failedTransfers = failedTransfers;
    s.stalls = stallCount;
    s.completed = static_cast<uint32_t>(frameSequence.load());
    return s;
}

bool CameraDevice::WaitForNewFrame(uint32_t ms) {
    std::unique_lock<std::mutex> lock(arrivalMutex);
    arrival.wait_for(lock, std::chrono::milliseconds(ms),
                     [this] { return wakeWaiters || frameSequence.load() > lastDelivered.load(); });
    return !wakeWaiters && frameSequence.load() > lastDelivered.load();
}

void CameraDevice::WakeFrameWaiters() {
    {
        std::lock_guard<std::mutex> lock(arrivalMutex);
        wakeWaiters = true;
    }
    arrival.notify_all();
}

void CameraDevice::ClearWake() {
    std::lock_guard<std::mutex> lock(arrivalMutex);
    wakeWaiters = false;
}

int CameraDevice::WaitFrameSignal() {
    if (frameEventArmed) return 0;
    frameEvent.Reset();
    frameEventArmed = true;
    bool signalled = frameEvent.Wait(1000);
    frameEventArmed = false;
    return signalled ? 1 : 0;
}

}  // namespace lumora
