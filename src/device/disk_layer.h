#pragma once
// The disks the device layer sees: the system's physical drives and disk list, with emulated
// cameras placed in front of them.
//
// LUMORA_CAMEMU=N (1..4) in the environment presents N emulated cameras as physical drives 1..N
// and as the first N entries of the disk list; the system's drives 1, 2, ... then answer as
// drives N+1, N+2, ... and its list entries follow the emulated ones. Tests replace all of this
// with drives of their own (SetTestDrives) until they clear them. LUMORA_CAMEMU_STILL=1 freezes
// the moving part of the emulated cameras' scene, so that consecutive frames are identical.
// LUMORA_CAMEMU_FAULTS and the command file of `lumora emu` inject faults into them (see
// FaultDriver).
//
// Thread context: any thread; the state here is guarded by one lock.
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "emulator/camera_emulator.h"
#include "platform/raw_disk.h"

namespace lumora {

class DiskLayer {
public:
    // Opens physical drive n for reading and writing; null when there is none.
    static std::unique_ptr<platform::RawDisk> OpenDrive(int n);
    // Appends the disk list's entries (each at most platform::kDiskListEntryMax characters) to
    // *entries; returns 0 when the list was read, else the system's status.
    static long ReadList(std::vector<std::string>* entries);

    // Tests: only these drives (drive number → camera) and this disk list exist from now on.
    static void SetTestDrives(std::map<int, std::shared_ptr<CameraEmulator>> drives,
                              std::vector<std::string> list);
    // Tests: count new cameras on drives 1..count with matching list entries; returns them.
    static std::vector<std::shared_ptr<CameraEmulator>> PlaceTestCameras(int count);
    // Tests: back to the environment's emulated cameras and the system's disks.
    static void ClearTestDrives();

    // The environment's emulated cameras (LUMORA_CAMEMU), created on first use and kept for the
    // life of the process. Empty when the variable is absent or out of 1..4 (the latter said once
    // on standard error).
    static std::vector<std::shared_ptr<CameraEmulator>> EnvironmentCameras();
    // An acquisition starts on some camera: the first one starts the clock of the fault
    // schedule of the environment's cameras.
    static void NoteAcquisitionStart();
};

}  // namespace lumora
