// Opens a camera through the public API and prints what the library reports about it.
#include <cstdio>

#include "lumora/LumoraSdk.h"

int main() {
    int version = Lumora_GetDllVersion();
    std::printf("Lumora K37VQ SDK, library version 0x%08X\n", static_cast<unsigned>(version));

    LumoraHandle camera = Lumora_Initialize(nullptr);
    if (camera == 0) {
        std::printf("no camera object could be created\n");
        return 1;
    }
    std::printf("camera handle        %d\n", camera);
    int error = Lumora_GetLastError(camera);
    while (error != 0) {
        std::printf("initialisation noted error %d\n", error);
        error = Lumora_GetLastError(camera);
    }

    char names[10][256];
    int count = Lumora_EnumDevice(camera, names);
    std::printf("cameras found        %d\n", count);
    for (int i = 0; i < count; ++i) std::printf("  %s\n", names[i]);
    if (count > 0 && Lumora_SetDeviceNumber(camera, 0)) std::printf("opened               %s\n", names[0]);

    int hTotal, hStart, hEffective, vTotal, vStart, vEffective;
    Lumora_GetCaptureWindowEx(camera, &hTotal, &hStart, &hEffective, &vTotal, &vStart, &vEffective);
    std::printf("capture window       %d x %d at (%d, %d), totals %d x %d\n", hEffective, vEffective,
                hStart, vStart, hTotal, vTotal);
    std::printf("frame size           %d x %d\n", Lumora_Width(camera), Lumora_Height(camera));
    std::printf("colour mode          %d bits\n", Lumora_GetColorMode(camera));
    std::printf("subsampling mode     %d\n", Lumora_GetSubSample(camera));
    std::printf("preview wait time    %d ms\n", Lumora_GetWaitTime(camera));
    std::printf("clock setting        %d\n", Lumora_GetHalfClock(camera));
    int ok = 0;
    std::printf("auto exposure mode   %d\n", Lumora_GetAutoIris(camera, &ok));
    CameraInfo info{};
    info.size = sizeof info;
    if (Lumora_GetCameraInfo(camera, &info)) {
        std::printf("sensor               %d x %d, gains %d..%d, exposure %d..%d lines\n", info.width,
                    info.height, info.globalGainMin, info.globalGainMax, info.exposureMin,
                    info.exposureMax);
    } else {
        std::printf("sensor               unavailable (error %d)\n", Lumora_GetLastError(camera));
    }
    Lumora_Release(camera);
    return 0;
}
