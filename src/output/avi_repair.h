#pragma once
// Recovery of an AVI recording that was cut off before the recorder finished it (the process
// killed, the machine losing power): the frames written whole are kept; a partial last chunk and
// a missing or stale "idx1" index are dropped; the index is rebuilt and the header's sizes and
// frame counts are set to the frames kept. The header's timing stays as it was written. Only
// files of AviWriter's layout (avi_writer.h) are touched.
//
// Thread context: any thread; one call at a time for a file.
#include <cstdint>

namespace lumora {

enum class AviRepairResult {
    kRepaired = 0,   // the file was rebuilt around the frames it holds whole
    kIntact,         // the file was already complete; nothing was changed
    kNotRecording,   // no such file, or not a recording of AviWriter's layout; not changed
    kFailed,         // the file could not be read or rewritten
};

struct AviRepairReport {
    AviRepairResult result = AviRepairResult::kFailed;
    uint32_t frames = 0;        // frames the file holds afterwards
    uint64_t droppedBytes = 0;  // bytes cut off after the last whole frame (partial chunk, index)
};

class AviRepair {
public:
    static AviRepairReport Repair(const char* path);
    // True when path holds a recording of AviWriter's layout that was never finished: its RIFF
    // size is still the 0 that BeginFile writes and only FinishFile replaces.
    static bool IsUnfinished(const char* path);
    // Repairs an unfinished recording at path and gives it the first free name of
    // "<path without .avi>-recovered.avi", "...-recovered-2.avi" ... "-recovered-99.avi", so that
    // a recording that is about to replace it cannot destroy its frames. False when path holds
    // no unfinished recording, or it could not be repaired or renamed (it stays where it was).
    static bool SetAside(const char* path);
};

}  // namespace lumora
