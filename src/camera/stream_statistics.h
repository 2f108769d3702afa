#pragma once
// The counts of one acquisition as the application sees them: frames the device completed,
// frames delivered to the application, and the frames skipped by cause, with the device's failed
// transfers and stalls.
//
// Thread context: a value, made by Acquisition::Statistics on any thread.
#include <cstdint>

namespace lumora {

struct StreamStatistics {
    uint32_t completed = 0;
    uint32_t delivered = 0;
    uint32_t failed = 0;  // failed transfers
    uint32_t stalls = 0;  // waits for the ready flag that ran out
    // Skipped frames by cause: a newer frame completed before the consumer (pipeline, paint,
    // callback) was ready for this one; the frame taken did not have the prepared size (the
    // window changed mid-stream); the acquisition ended before it was taken.
    uint32_t skippedConsumerBusy = 0;
    uint32_t skippedWrongSize = 0;
    uint32_t skippedStreamEnd = 0;
    uint32_t reconnects = 0;  // times the camera came back to the handle since it was opened

    uint32_t Skipped() const { return skippedConsumerBusy + skippedWrongSize + skippedStreamEnd; }
};

}  // namespace lumora
