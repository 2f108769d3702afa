#include "device/disk_layer.h"

#include <cstdio>
#include <mutex>

#include "emulator/emulated_drive.h"
#include "platform/environment.h"

namespace lumora {

namespace {

struct State {
    std::mutex mutex;
    bool testing = false;
    std::map<int, std::shared_ptr<CameraEmulator>> testDrives;
    std::vector<std::string> testList;
    std::vector<std::shared_ptr<CameraEmulator>> environmentCameras;
    std::shared_ptr<FaultDriver> faults;  // made with the first environment camera
};

State& Shared() {
    static State* state = new State;  // never destroyed: usable until the process ends
    return *state;
}

// The cameras LUMORA_CAMEMU asks for; 0 when it is unset or empty. A value the layer does not
// take is said once, on standard error, rather than silently showing no camera.
int EnvironmentCount() {
    std::string text;
    if (!platform::GetEnvironmentText("LUMORA_CAMEMU", &text) || text.empty()) return 0;
    if (text.size() == 1 && text[0] >= '1' && text[0] <= '4') return text[0] - '0';
    static std::once_flag said;
    std::call_once(said, [&text] {
        std::fprintf(stderr, "Lumora SDK: LUMORA_CAMEMU=%s is not a number of emulated cameras (1 to 4): "
                     "no camera is emulated\n", text.c_str());
    });
    return 0;
}

// Caller holds the lock.
std::vector<std::shared_ptr<CameraEmulator>> EnvironmentCamerasLocked(State& s) {
    int count = EnvironmentCount();
    std::string still;
    bool freeze = platform::GetEnvironmentText("LUMORA_CAMEMU_STILL", &still) && still == "1";
    while (static_cast<int>(s.environmentCameras.size()) < count) {
        s.environmentCameras.push_back(
            std::make_shared<CameraEmulator>(static_cast<uint32_t>(s.environmentCameras.size() + 1)));
    }
    std::vector<std::shared_ptr<CameraEmulator>> cameras(s.environmentCameras.begin(),
                                                         s.environmentCameras.begin() + count);
    for (auto& camera : cameras) camera->SetStill(freeze);
    if (!cameras.empty() && !s.faults) s.faults = std::make_shared<FaultDriver>();
    if (s.faults) s.faults->SetCameras(cameras);
    return cameras;
}

std::unique_ptr<platform::RawDisk> OpenCamera(const std::shared_ptr<CameraEmulator>& camera,
                                              std::shared_ptr<FaultDriver> faults = nullptr) {
    if (faults) faults->Poll();  // a camera away is looked for by opening it
    if (!camera || !camera->Present()) return nullptr;
    return std::make_unique<EmulatedDrive>(camera, std::move(faults));
}

}  // namespace

std::unique_ptr<platform::RawDisk> DiskLayer::OpenDrive(int n) {
    State& s = Shared();
    std::unique_lock<std::mutex> lock(s.mutex);
    if (s.testing) {
        auto it = s.testDrives.find(n);
        return it == s.testDrives.end() ? nullptr : OpenCamera(it->second);
    }
    auto cameras = EnvironmentCamerasLocked(s);
    std::shared_ptr<FaultDriver> faults = s.faults;
    lock.unlock();
    int count = static_cast<int>(cameras.size());
    if (n >= 1 && n <= count) return OpenCamera(cameras[static_cast<size_t>(n - 1)], faults);
    return platform::OpenPhysicalDrive(n > count ? n - count : n);
}

long DiskLayer::ReadList(std::vector<std::string>* entries) {
    State& s = Shared();
    std::unique_lock<std::mutex> lock(s.mutex);
    if (s.testing) {
        for (const std::string& entry : s.testList) {
            if (entries) entries->push_back(entry.substr(0, platform::kDiskListEntryMax));
        }
        return 0;
    }
    auto cameras = EnvironmentCamerasLocked(s);
    lock.unlock();
    for (size_t i = 0; i < cameras.size(); ++i) {
        if (entries) entries->push_back(std::string(CameraEmulator::kDiskListEntry) + "\\EMU000" + std::to_string(i + 1));
    }
    long status = platform::ReadDiskList(entries);
    return cameras.empty() ? status : 0;
}

void DiskLayer::SetTestDrives(std::map<int, std::shared_ptr<CameraEmulator>> drives,
                              std::vector<std::string> list) {
    State& s = Shared();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.testing = true;
    s.testDrives = std::move(drives);
    s.testList = std::move(list);
}

std::vector<std::shared_ptr<CameraEmulator>> DiskLayer::PlaceTestCameras(int count) {
    std::map<int, std::shared_ptr<CameraEmulator>> drives;
    std::vector<std::string> list;
    std::vector<std::shared_ptr<CameraEmulator>> cameras;
    for (int i = 0; i < count; ++i) {
        cameras.push_back(std::make_shared<CameraEmulator>(static_cast<uint32_t>(i + 1)));
        drives[i + 1] = cameras.back();
        list.push_back(CameraEmulator::kDiskListEntry);
    }
    SetTestDrives(std::move(drives), std::move(list));
    return cameras;
}

void DiskLayer::ClearTestDrives() {
    State& s = Shared();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.testing = false;
    s.testDrives.clear();
    s.testList.clear();
}

void DiskLayer::NoteAcquisitionStart() {
    State& s = Shared();
    std::shared_ptr<FaultDriver> faults;
    {
        std::lock_guard<std::mutex> lock(s.mutex);
        faults = s.faults;
    }
    if (faults) faults->AcquisitionStarted();
}

std::vector<std::shared_ptr<CameraEmulator>> DiskLayer::EnvironmentCameras() {
    State& s = Shared();
    std::lock_guard<std::mutex> lock(s.mutex);
    return EnvironmentCamerasLocked(s);
}

}  // namespace lumora
