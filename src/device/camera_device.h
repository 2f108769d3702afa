#pragma once
// The device interface: everything that reaches the camera hardware.
//
// The camera is a raw disk. Three areas of it carry the whole protocol: the status block
// (identification, frame-ready flag, read-back byte), the command block (register write and
// read commands) and the image area. This class owns the disk handle, the transport over it,
// the capture window and an acquisition thread that reads frames into a ring of three slots.
//
// Threads: the caller's threads (the camera object: exports and dialogs on the application's
// thread, automatic exposure on its preview thread) run every operation except AcquisitionLoop,
// which is the acquisition thread's body. Every transfer on the disk handle (a seek with its
// read or write; a register read's command write with its answer read; a 16-bit register's two
// bytes) holds the device lock, so no two threads ever share the handle's file position. The
// pause handshake (PauseStream ... ResumeStream) holds the same lock for the whole paused
// operation: it serialises its callers, waits only for the transfer in progress, and keeps the
// acquisition thread's next transfer waiting until the pause ends. The lock gives turns in
// order, so the acquisition thread transfers between any two paused operations.
// The register, sensor, QueryNewFrame and CopyNewestFrame operations may run on several caller
// threads at once. They must not overlap the operations that start or end acquisition or select
// a device: StopStream, StartStream, StartSingleCapture, FinishSingleCapture, SelectDevice,
// OpenSelectedDevice and CloseDevice (one thread, the one that owns the camera) release or
// replace the slots and the handle they use.
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <new>
#include <thread>

#include "device/device_lock.h"
#include "device/frame_details.h"
#include "device/manual_reset_event.h"
#include "platform/raw_disk.h"

namespace lumora {

// One buffer of the frame ring. Page-aligned, so that a raw disk can transfer a frame straight
// into it.
struct FrameSlot {
    static constexpr size_t kAlignment = 4096;
    struct Free {
        void operator()(uint8_t* p) const { operator delete[](p, std::align_val_t{kAlignment}); }
    };
    std::unique_ptr<uint8_t[], Free> data;  // owned; allocated when acquisition starts
    uint32_t size = 0;                // bytes held by data
    std::atomic<int> sequence{0};     // 0: empty or being filled; else the frame's number
    FrameDetails details;             // written before sequence is set, read after it is seen
};

// The device's counts of the current or last acquisition (a stream or a single capture), from
// its start: frames read whole, frames a consumer took, frames it never took because a newer
// one had completed first, frames left untaken when the acquisition ended, failed transfers
// (status polls and image reads), and stalls (the ready flag not raised within the wait time).
struct DeviceStatistics {
    uint32_t completed = 0;
    uint32_t taken = 0;
    uint32_t superseded = 0;
    uint32_t untakenAtStop = 0;
    uint32_t failedTransfers = 0;
    uint32_t stalls = 0;
};

class CameraDevice {
public:
    enum StreamState : int {
        STREAM_IDLE = 0,
        STREAM_RUNNING = 1,
        STREAM_SINGLE = 2,
        STREAM_PAUSED = 3,
        STREAM_STOP = 4,
    };

    static constexpr uint32_t kStatusOffset = 0x20000;
    static constexpr uint32_t kCommandOffset = 0x20200;
    static constexpr uint32_t kImageOffset = 0x20400;
    static constexpr uint32_t kBlockSize = 512;
    static constexpr uint8_t CMD_WRITE_REGISTER = 0x20;
    static constexpr uint8_t CMD_READ_REGISTER = 0x21;
    static constexpr int kMaxDevices = 10;

    CameraDevice();
    CameraDevice(const CameraDevice&) = delete;
    CameraDevice& operator=(const CameraDevice&) = delete;

    // The virtual operations in slot order.
    /* 0 */ virtual ~CameraDevice();
    /* 1 */ virtual void NoOperation();
    /* 2 */ virtual long CountDevices(const char* modelName);
    /* 3 */ virtual int SetWordTransfer(int wide);
    /* 4 */ virtual void SetWaitTime(uint32_t value);
    /* 5 */ virtual uint32_t GetWaitTime();
    /* 6 */ virtual float GetFrameRate();
    /* 7 */ virtual int StartSingleCapture();
    /* 8 */ virtual int ReservedTrue();
    /* 9 */ virtual int GetSingleCaptureStatus();
    /* 10 */ virtual int ReservedFalse();
    /* 11 */ virtual int FinishSingleCapture(uint8_t* destination, int, int, int);
    /* 12 */ virtual int StartStream();
    /* 13 */ virtual int StopStream();
    // Ends a running stream's reading without stopping it: the transfer in progress finishes
    // (its frame counts as completed and can be copied), no further frame is read. Returns once
    // no transfer is in progress; false when the transfer in progress did not end within
    // kPauseTimeoutMs (it is still the last one read). StopStream or a new start ends the halt.
    bool HaltStream();
    /* 14 */ virtual void AcquisitionLoop();
    // 3 when a frame newer than the last copied one is held; else 1 once the camera has left
    // the bus (its drive can no longer be opened, see CameraLeft); else 2.
    /* 15 */ virtual int QueryNewFrame();
    /* 16 */ virtual int CopyNewestFrame(uint8_t* destination, int, int, int);
    /* 17 */ virtual int GetDeviceCount();
    /* 18 */ virtual int IsValidDevice(int index);
    /* 19 */ virtual int GetSelectedDevice();
    /* 20 */ virtual int SelectDevice(int index);
    /* 21 */ virtual int SetCaptureWindow(int x, int y, int width, int height, int mode);
    /* 22 */ virtual void GetCaptureWindow(int* x, int* y, int* width, int* height, int* mode);
    /* 23 */ virtual int SetMirrorH(int on);
    /* 24 */ virtual int SetMirrorV(int on);
    /* 25 */ virtual int GetMirrorH();
    /* 26 */ virtual int GetMirrorV();
    /* 27 */ virtual int SetAcquisitionOption(int option);
    /* 28 */ virtual int ReservedQuery();
    /* 29 */ virtual int SetClockHalving(int on);
    /* 30 */ virtual int GetClockHalving(int* on);
    /* 31 */ virtual int SetIOPort(int value);
    /* 32 */ virtual int GetIOPort(int* value);
    /* 33 */ virtual int ReadSromId(int index, uint8_t* value);
    /* 34 */ virtual int WriteSromId(int index, int value);
    // 1 the running stream is paused, 0 nothing to pause (the stream is not running, or this
    // thread already holds a pause), -1 busy: the transfer in progress did not end within
    // kPauseTimeoutMs (nothing held). Unless busy, the caller holds the device lock until
    // ResumeStream: other pausers and the acquisition's transfers wait.
    /* 35 */ virtual int PauseStream();
    // Ends the pause that PauseStream's result paused came from; returns paused.
    /* 36 */ virtual int ResumeStream(int paused);
    /* 37 */ virtual int WaitFrameSignal();
    /* 38 */ virtual int GetTransferSize();
    /* 39 */ virtual int GetPaddedImageSize();
    /* 40 */ virtual int OpenSelectedDevice();
    /* 41 */ virtual void CloseDevice();
    /* 42 */ virtual int ReadFrame(uint8_t* buffer, uint32_t length);
    /* 43 */ virtual int WriteRegister8(uint16_t address, uint8_t value);
    /* 44 */ virtual int ReadRegister8(uint16_t address, uint8_t* value);
    /* 45 */ virtual int WriteRegister16(uint16_t address, uint16_t value);
    /* 46 */ virtual int ReadRegister16(uint16_t address, uint16_t* value);

    // Size divisors of a readout mode: for the copied frame, and for the transfer.
    static int CopyDivisor(int mode);
    static int TransferDivisor(int mode);
    // Bytes of one copied frame: (windowWidth / d) x (windowHeight / d), d the copy divisor.
    int GetCopySize();
    // True while a disk is open.
    bool IsOpen() const { return diskHandle != nullptr; }
    int GetStreamState() const { return streamState.load(); }
    // The index SelectDevice chose; read by other threads (which camera a handle holds).
    int SelectedIndex() const { return selectedIndex.load(); }
    static constexpr int kPauseTimeoutMs = 1000;

    // CopyNewestFrame and FinishSingleCapture that also give the frame's details (when details
    // is not null): its number, time and sensor settings, and how many completed frames were
    // passed over since the previous frame taken.
    int CopyNewestFrame(uint8_t* destination, FrameDetails* details);
    int FinishSingleCapture(uint8_t* destination, FrameDetails* details);
    // The counts of the current or last acquisition. Any thread.
    DeviceStatistics Statistics() const;
    // Waits up to ms for a frame newer than the last one taken; true when one is held. Ends
    // early (false) on WakeFrameWaiters. Any thread but the acquisition thread.
    bool WaitForNewFrame(uint32_t ms);
    // Ends the waits of WaitForNewFrame now and the next one that begins. Any thread.
    void WakeFrameWaiters();
    // Makes the next WaitForNewFrame wait again. Any thread.
    void ClearWake();

protected:
    // Seek to offset, then one 512-byte read or write, under the device lock; true only when
    // all 512 bytes moved.
    bool ReadBlock(uint32_t offset, uint8_t* block);
    bool WriteBlock(uint32_t offset, const uint8_t* block);
    // Polls the status block until it says a frame is ready: true, or false after waitTime
    // polls, a failed transfer or a stop request. Each poll is one transfer of its own.
    bool WaitFrameReady();
    // The image area into buffer, one transfer; the caller holds the device lock.
    bool TransferImage(uint8_t* buffer, uint32_t length);
    // The newest slot: the largest sequence, ties to the lower slot.
    int NewestSlot() const;
    // Acquisition thread, once a frame is ready: reads it into the next slot (slot 0 for a
    // single capture) and numbers it; false when the transfer failed or a stop came.
    bool TakeFrame(int state);
    // Acquisition thread: the slot the next frame goes into, marked empty; never the newest
    // slot nor one that CopyNewestFrame is reading.
    int FillTarget();
    // Allocates the three slots for the current transfer size; false when memory runs out.
    bool AllocateSlots();
    void ReleaseSlots();
    // Allocates the slots and starts the thread in the given state; 0 or nonzero on failure.
    int Start(StreamState state);
    // Waits for the thread to end and forgets it. Caller thread.
    void JoinThread();
    // True when the status block identifies a camera of this model.
    bool IdentifiesModel(const uint8_t* block) const;
    // Acquisition thread, after a failed transfer: true when the camera has left the bus, i.e.
    // its drive can no longer be opened or now answers as another device. A camera that is
    // still there but does not deliver (a stalled ready flag, failing transfers) has not left:
    // its stream waits for it. The drive is looked at no more than every kPresenceCheckMs.
    bool CameraLeft();
    static constexpr uint32_t kPresenceCheckMs = 100;

    std::unique_ptr<platform::RawDisk> diskHandle;  // null while no camera is open
    uint8_t modelId[2] = {0, 0};
    std::atomic<uint32_t> waitTime{3000};
    std::atomic<float> frameRate{0.0f};
    std::atomic<int> windowX{0};
    std::atomic<int> windowY{0};
    std::atomic<int> windowWidth{0};
    std::atomic<int> windowHeight{0};
    std::atomic<int> readoutMode{0};
    int mirrorH = 0;
    int mirrorV = 0;
    int deviceCount = 0;
    std::atomic<int> selectedIndex{0};
    int driveNumber = 0;  // the physical drive the open camera was found on
    // Set by the acquisition thread when the camera left; cleared when a camera is opened.
    std::atomic<bool> cameraLost{false};
    uint32_t lastPresenceCheck = 0;  // acquisition thread
    bool presenceChecked = false;    // acquisition thread
    FrameSlot buffers[3];
    std::atomic<int> frameSequence{0};
    std::atomic<int> lastDelivered{0};
    std::atomic<int> slotInCopy{-1};  // the slot CopyNewestFrame reads, -1 when none
    std::atomic<int> streamState{STREAM_IDLE};
    std::atomic<bool> streamHalted{false};  // see HaltStream
    std::thread threadHandle;  // the acquisition thread, joinable while it exists
    ManualResetEvent endEvent;  // set by the thread when it ends
    bool endEventExists = false;
    // The pause handshake event: set by the thread at the end of each pass while armed.
    ManualResetEvent frameEvent;
    std::atomic<bool> frameEventArmed{false};
    // Held for each transfer and for each pause (see the threads note above).
    DeviceLock transferLock;
    // The registers behind the frame details, under transferLock (register transfers hold it,
    // and so does the frame read that copies it).
    SensorShadow shadow;
    // The counts behind Statistics (frameSequence is the completed count).
    std::atomic<uint32_t> takenCount{0};
    std::atomic<uint32_t> supersededCount{0};
    std::atomic<uint32_t> untakenAtStop{0};
    std::atomic<uint32_t> failedTransfers{0};
    std::atomic<uint32_t> stallCount{0};
    // Frame arrivals for WaitForNewFrame.
    std::mutex arrivalMutex;
    std::condition_variable arrival;
    bool wakeWaiters = false;  // under arrivalMutex
};

}  // namespace lumora
