// Loads the DLL as an application would, resolves every export by name and runs the cases that
// need no camera. Exit code 0 when every check holds.
#include <windows.h>

#include <cstddef>
#include <cstdio>

#include "lumora/LumoraSdk.h"
#include "settings_tree.h"

namespace {

const char* const kExportNames[] = {
#include "export_names.inc"
};

int passed = 0, failed = 0;

void Check(bool ok, const char* what, int line) {
    if (ok) {
        ++passed;
    } else {
        ++failed;
        std::printf("FAILED line %d: %s\n", line, what);
    }
}
#define CHECK(cond) Check((cond), #cond, __LINE__)

HMODULE dll;

template <typename F>
F Get(const char* name) {
    return reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(dll, name)));
}
// The program is not linked with the library: every export it calls must be resolved here.
#define FN(name) auto name = Get<decltype(&::name)>(#name)

void ResolveAll() {
    int found = 0;
    for (const char* name : kExportNames) {
        bool ok = GetProcAddress(dll, name) != nullptr;
        if (!ok) std::printf("not exported: %s\n", name);
        found += ok;
    }
    CHECK(sizeof kExportNames / sizeof kExportNames[0] == 119);
    CHECK(found == 119);
}

// The extension functions: exported by their undecorated names, the records' sizes the same
// for every compiler, and bad handles and records refused.
void ExtensionCases() {
    FN(LumoraEx_GetFrameDetails);
    FN(LumoraEx_GetStreamStatistics);
    CHECK(LumoraEx_GetFrameDetails != nullptr && LumoraEx_GetStreamStatistics != nullptr);
    if (!LumoraEx_GetFrameDetails || !LumoraEx_GetStreamStatistics) return;
    CHECK(sizeof(LumoraExFrameDetails) == 48 && offsetof(LumoraExFrameDetails, timestamp) == 40);
    // The statistics grew by their last member; the members before it stay where they were.
    CHECK(sizeof(LumoraExStreamStatistics) == 40 && offsetof(LumoraExStreamStatistics, reconnects) == 36);
    LumoraExFrameDetails details{};
    details.size = sizeof details;
    LumoraExStreamStatistics statistics{};
    statistics.size = sizeof statistics;
    CHECK(LumoraEx_GetFrameDetails(12345, &details) == 0 && details.number == 0);
    CHECK(LumoraEx_GetStreamStatistics(12345, &statistics) == 0 && statistics.completed == 0);
    CHECK(LumoraEx_GetFrameDetails(0, nullptr) == 0 && LumoraEx_GetStreamStatistics(0, nullptr) == 0);
    FN(LumoraEx_SetReconnect);
    FN(LumoraEx_GetReconnect);
    CHECK(LumoraEx_SetReconnect != nullptr && LumoraEx_GetReconnect != nullptr);
    if (LumoraEx_SetReconnect && LumoraEx_GetReconnect) {
        CHECK(LumoraEx_SetReconnect(12345, 1) == 0 && LumoraEx_GetReconnect(12345) == 0);
    }
}

void DeviceFreeCases() {
    FN(Lumora_WriteRegisterEx);
    FN(Lumora_GetDllVersion);
    FN(Lumora_Initialize);
    FN(Lumora_Release);
    FN(Lumora_GetLastError);
    FN(Lumora_Width);
    FN(Lumora_Height);
    FN(Lumora_SetColorMode);
    FN(Lumora_GetColorMode);
    FN(Lumora_SetHalfClock);
    FN(Lumora_GetHalfClock);
    FN(Lumora_SetSubSample);
    FN(Lumora_GetSubSample);
    FN(Lumora_SetWaitTime);
    FN(Lumora_GetWaitTime);
    FN(Lumora_Trigger);
    FN(Lumora_GetVideoFormat);
    FN(Lumora_GetCameraInfo);
    FN(Lumora_GetCaptureWindowEx);
    FN(Lumora_SetBayerGainRGB);
    FN(Lumora_GetFilterValue);
    FN(Lumora_SetAutoIris);
    FN(Lumora_GetAutoIris);

    CHECK(Lumora_GetDllVersion() == 0x012D0519);

    LumoraHandle h = Lumora_Initialize(nullptr);
    CHECK(h != 0);
    CHECK(Lumora_GetLastError(h) == 0);
    CHECK(Lumora_Width(h) == 3488);
    CHECK(Lumora_Height(h) == 2616);

    const int set[] = {8, 16, 24, 32, 48, 64};
    const int reported[] = {8, 12, 24, 32, 44, 60};
    for (int i = 0; i < 6; ++i) {
        CHECK(Lumora_SetColorMode(h, set[i]) == 1);
        CHECK(Lumora_GetColorMode(h) == reported[i]);
    }
    CHECK(Lumora_SetHalfClock(h, 9) == 1);
    CHECK(Lumora_SetHalfClock(h, 10) == 0);
    CHECK(Lumora_GetLastError(h) == CAMERR_ARGUMENT);
    CHECK(Lumora_GetHalfClock(h) == 9);
    CHECK(Lumora_SetSubSample(h, 3) == 0);
    CHECK(Lumora_GetLastError(h) == CAMERR_ARGUMENT);
    CHECK(Lumora_SetSubSample(h, 17) == 1);
    CHECK(Lumora_GetSubSample(h) == 17);
    CHECK(Lumora_SetWaitTime(h, -1) == 0);
    CHECK(Lumora_GetLastError(h) == CAMERR_ARGUMENT);
    CHECK(Lumora_GetWaitTime(h) == 10);
    CHECK(Lumora_GetLastError(h) == 0);
    int ok = 0;
    CHECK(Lumora_SetAutoIris(h, 1) == 1);
    CHECK(Lumora_GetAutoIris(h, &ok) == 1 && ok == 1);

    CHECK(Lumora_Trigger(h) == 0);
    CHECK(Lumora_GetLastError(h) == CAMERR_UNSUPPORTED);
    int value = 3;
    CHECK(Lumora_GetVideoFormat(h, &value) == 0 && value == 0);
    CHECK(Lumora_GetLastError(h) == 0);

    CameraInfo info{};
    info.size = sizeof info;
    // The object has its device even without a camera: what needs no transfer works.
    CHECK(Lumora_GetCameraInfo(h, &info) == 1 && info.width == 3488);
    CHECK(Lumora_GetLastError(h) == 0);
    CHECK(Lumora_SetBayerGainRGB(h, 0x332211) == 1);
    ok = 5;
    CHECK(Lumora_GetFilterValue(h, 6, &ok) == 0x332211 && ok == 1);
    CHECK(Lumora_WriteRegisterEx(h, 0x0202, 1) == 0);
    CHECK(Lumora_GetLastError(h) == CAMERR_REGISTER);

    int ht = 0, hs = 1, he = 0, vt = 0, vs = 1, ve = 0;
    CHECK(Lumora_GetCaptureWindowEx(h, &ht, &hs, &he, &vt, &vs, &ve) == 1);
    CHECK(ht == 3488 && hs == 0 && he == 3488 && vt == 2616 && vs == 0 && ve == 2616);

    // Invalid handles: their value, and nothing recorded.
    const LumoraHandle bad = h + 1;
    CHECK(Lumora_GetColorMode(bad) == -1);
    CHECK(Lumora_GetSubSample(bad) == -1);
    CHECK(Lumora_GetWaitTime(bad) == -1);
    CHECK(Lumora_Width(bad) == 0);
    CHECK(Lumora_Trigger(bad) == 0);
    CHECK(Lumora_Release(bad) == 0);
    CHECK(Lumora_Release(h) == 1);
    CHECK(Lumora_GetColorMode(h) == -1);
}

void ErrorWindowGetsMessages() {
    FN(Lumora_Initialize);
    FN(Lumora_Release);
    FN(Lumora_SetColorMode);
    FN(Lumora_SetHalfClock);
    HWND window = CreateWindowExA(0, "STATIC", "errors", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                  nullptr, nullptr);
    CHECK(window != nullptr);
    LumoraHandle h = Lumora_Initialize(window);
    Lumora_SetColorMode(h, 7);
    Lumora_SetHalfClock(h, 10);
    MSG msg;
    int codes[2] = {-1, -1}, n = 0;
    while (n < 2 && PeekMessageA(&msg, window, CAMMSG_ERROR, CAMMSG_ERROR, PM_REMOVE)) {
        CHECK(msg.wParam == 0);
        codes[n++] = static_cast<int>(msg.lParam);
    }
    CHECK(n == 2);
    CHECK(codes[0] == CAMERR_ARGUMENT);
    CHECK(codes[1] == CAMERR_ARGUMENT);
    Lumora_Release(h);
    DestroyWindow(window);
}

void TwoCameras() {
    FN(Lumora_Initialize);
    FN(Lumora_Release);
    FN(Lumora_SetColorMode);
    FN(Lumora_GetColorMode);
    LumoraHandle a = Lumora_Initialize(nullptr);
    LumoraHandle b = Lumora_Initialize(nullptr);
    CHECK(a != b && a != 0 && b != 0);
    CHECK(Lumora_SetColorMode(a, 32) == 1);
    CHECK(Lumora_SetColorMode(b, 64) == 1);
    CHECK(Lumora_GetColorMode(a) == 32);
    CHECK(Lumora_GetColorMode(b) == 60);
    CHECK(Lumora_Release(a) == 1);
    CHECK(Lumora_GetColorMode(a) == -1);
    CHECK(Lumora_GetColorMode(b) == 60);
    CHECK(Lumora_Release(b) == 1);
}

}  // namespace

int main() {
    dll = LoadLibraryA(LUMORA_DLL);
    if (dll == nullptr) {
        std::printf("cannot load %s (error %lu)\n", LUMORA_DLL, GetLastError());
        return 1;
    }
    ResolveAll();
    // A stored tree, so that initialisation reports nothing.
    settings_tree::WriteFirstRun();
    DeviceFreeCases();
    ExtensionCases();
    ErrorWindowGetsMessages();
    TwoCameras();
    FreeLibrary(dll);
    std::printf("%d passed, %d failed\n", passed, failed);
    return failed == 0 ? 0 : 1;
}
