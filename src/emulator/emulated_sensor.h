#pragma once
// The image sensor behind the emulated camera's registers: reset values, the side effects of
// register writes, the frame size and pace the registers give, and the frames it delivers.
// The same seed, registers and frame number give the same bytes. Render keeps what the chart
// looks like in the last readout geometry it was asked for (see the source file); any thread
// may call it, one call at a time runs.
#include <cstdint>
#include <memory>
#include <mutex>

namespace lumora {

class EmulatedSensor {
public:
    static constexpr int kRegisterCount = 0x10000;

    explicit EmulatedSensor(uint32_t seed);
    ~EmulatedSensor();

    // Writes the power-on values into the 64 Ki register bytes.
    static void ResetRegisters(uint8_t* registers);
    // Applies what the sensor does when the byte at address was just written.
    static void AfterWrite(uint8_t* registers, uint16_t address);

    static uint16_t Read16(const uint8_t* registers, uint16_t address) {
        return static_cast<uint16_t>(registers[address] << 8 | registers[static_cast<uint16_t>(address + 1)]);
    }
    static void Write16(uint8_t* registers, uint16_t address, uint16_t value) {
        registers[address] = static_cast<uint8_t>(value >> 8);
        registers[static_cast<uint16_t>(address + 1)] = static_cast<uint8_t>(value);
    }

    // Output frame size in bytes (one byte per pixel).
    static uint32_t FrameBytes(const uint8_t* registers);
    // Time from one frame to the next in microseconds.
    static uint32_t FramePeriodUs(const uint8_t* registers);

    // Writes bytes [offset, offset + length) of the image area for frame number frame: the
    // frame's bytes, then zeros. still freezes the moving part of the scene.
    void Render(const uint8_t* registers, uint32_t frame, bool still, uint8_t* out,
                uint32_t offset, uint32_t length) const;

private:
    struct Scene;
    uint32_t seed_;
    mutable std::mutex mutex_;  // guards scene_
    mutable std::unique_ptr<Scene> scene_;
};

}  // namespace lumora
