#pragma once
// What the device knows of one frame it read, and the sensor settings it was read with.
//
// Thread context: values; the acquisition thread fills them, copies travel with the frame.
#include <cstdint>

namespace lumora {

// The sensor registers behind the frame details, as last written to or read from the camera.
struct SensorShadow {
    uint16_t exposureLines = 0;   // 0x0202
    uint16_t frameLength = 0;     // 0x0340
    uint16_t lineLength = 0;      // 0x0342
    uint16_t clockDivider = 0;    // 0x0304
    uint16_t globalGain = 0;      // 0x305E, gain bits only
    uint16_t gainRed = 0;         // 0x305A
    uint16_t gainGreen1 = 0;      // 0x3056
    uint16_t gainGreen2 = 0;      // 0x305C
    uint16_t gainBlue = 0;        // 0x3058

    // Takes a 16-bit register value when address is one of the above.
    void Note(uint16_t address, uint16_t value) {
        switch (address) {
            case 0x0202: exposureLines = value; break;
            case 0x0340: frameLength = value; break;
            case 0x0342: lineLength = value; break;
            case 0x0304: clockDivider = value; break;
            case 0x305E: globalGain = value & 0x7F; break;
            case 0x305A: gainRed = value & 0x7F; break;
            case 0x3056: gainGreen1 = value & 0x7F; break;
            case 0x305C: gainGreen2 = value & 0x7F; break;
            case 0x3058: gainBlue = value & 0x7F; break;
            default: break;
        }
    }
    // The exposure in microseconds by the camera's formula: (line length x lines + frame
    // length) clocks of the pixel clock, 384 MHz over the divider (54.8 MHz for divider 7, as
    // the camera object's clock table has it); 0 before a divider is known.
    uint32_t ExposureMicroseconds() const {
        if (clockDivider == 0) return 0;
        const double periodUs = clockDivider == 7 ? 1.0 / static_cast<double>(54.8f) : clockDivider / 384.0;
        const double clocks = static_cast<double>(lineLength) * exposureLines + frameLength;
        return static_cast<uint32_t>(clocks * periodUs);
    }
};

struct FrameDetails {
    uint32_t number = 0;          // the device's count since the stream started, from 1
    uint64_t timestampUs = 0;     // platform::MonotonicMicroseconds when the read ended
    SensorShadow sensor;          // the registers the frame was read with
    uint32_t skippedBefore = 0;   // frames completed since the previous delivered one, not taken
};

}  // namespace lumora
