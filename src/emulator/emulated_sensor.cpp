#include "emulator/emulated_sensor.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace lumora {

void EmulatedSensor::ResetRegisters(uint8_t* registers) {
    std::memset(registers, 0, kRegisterCount);
    Write16(registers, 0x0202, 1000);  // exposure lines
    Write16(registers, 0x0304, 7);     // clock divider
    Write16(registers, 0x0340, 2761);  // frame length in lines
    Write16(registers, 0x0342, 7096);  // line length in clocks
    Write16(registers, 0x0348, 3495);
    Write16(registers, 0x034A, 2623);
    Write16(registers, 0x034C, 3488);
    Write16(registers, 0x034E, 2616);
    Write16(registers, 0x3040, 0x0041);
    for (uint16_t gain : {0x3056, 0x3058, 0x305A, 0x305C, 0x305E}) Write16(registers, gain, 0x1010);
    Write16(registers, 0x0344, 8);
    Write16(registers, 0x0346, 8);
}

void EmulatedSensor::AfterWrite(uint8_t* registers, uint16_t address) {
    // The mirror bits of the readout register show in the status register 0x0100.
    if (address == 0x3040) {
        uint8_t bits = registers[0x3040];
        registers[0x0101] = static_cast<uint8_t>((registers[0x0101] & ~3u) | ((bits >> 6) & 1u) | ((bits >> 6) & 2u));
    }
}

uint32_t EmulatedSensor::FrameBytes(const uint8_t* registers) {
    return static_cast<uint32_t>(Read16(registers, 0x034C)) * Read16(registers, 0x034E);
}

uint32_t EmulatedSensor::FramePeriodUs(const uint8_t* registers) {
    // The pixel clock is 384 MHz divided by the divider of 0x0304.
    uint64_t divider = std::max<uint16_t>(1, Read16(registers, 0x0304));
    uint64_t clocks = static_cast<uint64_t>(Read16(registers, 0x0340)) * Read16(registers, 0x0342);
    return static_cast<uint32_t>(std::max<uint64_t>(1, clocks * divider / 384));
}

void EmulatedSensor::Render(const uint8_t* registers, uint32_t frame, bool still, uint8_t* out,
                            uint32_t offset, uint32_t length) const {
    uint32_t width = Read16(registers, 0x034C);
    uint32_t bytes = FrameBytes(registers);
    uint32_t shift = still ? 0 : frame;
    for (uint32_t i = 0; i < length; ++i) {
        uint32_t p = offset + i;
        if (p >= bytes) {
            std::memset(out + i, 0, length - i);
            break;
        }
        uint32_t x = p % width, y = p / width;
        out[i] = static_cast<uint8_t>(x + 3 * y + shift + seed_);
    }
}

}  // namespace lumora
