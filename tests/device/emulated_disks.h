#pragma once
// Test helpers: emulated cameras placed on the disk list, and a device whose window tests set.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <thread>

#include "device/camera_device.h"
#include "device/disk_layer.h"
#include "emulator/camera_emulator.h"

namespace lumora::test {

// Puts the listed cameras on the disk layer for one test and removes them afterwards.
class EmulatedDisks : public ::testing::Test {
protected:
    void TearDown() override { DiskLayer::ClearTestDrives(); }
};

// Waits up to timeoutMs for the condition; true when it came.
inline bool WaitFor(const std::function<bool()>& condition, int timeoutMs = 5000) {
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

// A device of the K37VQ's model bytes with a window chosen by the test.
class WindowDevice : public CameraDevice {
public:
    explicit WindowDevice(int width = 64, int height = 48, int mode = 0) {
        modelId[0] = 0x70;
        modelId[1] = 0x02;
        SetWindow(width, height, mode);
        CountDevices("K37VQ");
        if (IsValidDevice(0)) OpenSelectedDevice();
    }
    ~WindowDevice() override { CloseDevice(); }

    void SetWindow(int width, int height, int mode) {
        windowWidth = width;
        windowHeight = height;
        readoutMode = mode;
    }
    int SlotSequence(int slot) const { return buffers[slot].sequence; }
    int FrameSequence() const { return frameSequence; }
};

}  // namespace lumora::test
