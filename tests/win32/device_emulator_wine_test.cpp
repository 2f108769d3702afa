// The DLL with LUMORA_CAMEMU=2: two emulated cameras are listed, named and reachable, and one
// unplugged and plugged back through the command file of lumora emu comes back to its handle.
// Exit code 0 when everything holds.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "lumora/LumoraSdk.h"

#include "wine_check.h"

template <typename F>
bool Load(HMODULE dll, const char* name, F* f) {
    *f = reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(dll, name)));
    return *f != nullptr;
}

int main() {
    SetEnvironmentVariableA("LUMORA_CAMEMU", "2");
    HMODULE dll = LoadLibraryA(LUMORA_DLL);
    CHECK(dll != nullptr);
    decltype(&Lumora_Initialize) initialize;
    decltype(&Lumora_Release) release;
    decltype(&Lumora_EnumDevice) enumDevice;
    decltype(&Lumora_EnumDeviceW) enumDeviceW;
    decltype(&Lumora_SetDeviceNumber) setDeviceNumber;
    decltype(&Lumora_WriteRegisterEx) writeRegisterEx;
    decltype(&Lumora_ReadRegisterEx) readRegisterEx;
    decltype(&Lumora_GetLastError) getLastError;
    CHECK(Load(dll, "Lumora_Initialize", &initialize));
    CHECK(Load(dll, "Lumora_Release", &release));
    CHECK(Load(dll, "Lumora_EnumDevice", &enumDevice));
    CHECK(Load(dll, "Lumora_EnumDeviceW", &enumDeviceW));
    CHECK(Load(dll, "Lumora_SetDeviceNumber", &setDeviceNumber));
    CHECK(Load(dll, "Lumora_WriteRegisterEx", &writeRegisterEx));
    CHECK(Load(dll, "Lumora_ReadRegisterEx", &readRegisterEx));
    CHECK(Load(dll, "Lumora_GetLastError", &getLastError));

    LumoraHandle h = initialize(nullptr);
    CHECK(h != 0);
    static char names[10][256];
    CHECK(enumDevice(h, names) == 2);
    CHECK(std::strcmp(names[0], "LumoraK37VQ_01") == 0);
    CHECK(std::strcmp(names[1], "LumoraK37VQ_02") == 0);
    CHECK(names[2][0] == '\0');
    static LumoraWChar wnames[10][256];
    CHECK(enumDeviceW(h, wnames) == 2);
    CHECK(wnames[1][0] == 'L' && wnames[1][13] == '2' && wnames[1][14] == 0);

    for (int camera = 0; camera < 2; ++camera) {
        CHECK(setDeviceNumber(h, camera) == 1);
        int ok = 0;
        CHECK(writeRegisterEx(h, 0x0202, 0x1234 + camera) == 1);
        CHECK(readRegisterEx(h, 0x0202, &ok) == 0x1234 + camera);
        CHECK(ok == 1);
    }
    CHECK(setDeviceNumber(h, 2) == 0);
    CHECK(getLastError(h) == CAMERR_DEVICE_NUMBER);

    decltype(&Lumora_SetCaptureWindowEx) setWindow;
    decltype(&Lumora_StartPreview) startPreview;
    decltype(&LumoraEx_SetReconnect) setReconnect;
    decltype(&LumoraEx_GetStreamStatistics) statistics;
    CHECK(Load(dll, "Lumora_SetCaptureWindowEx", &setWindow) && Load(dll, "Lumora_StartPreview", &startPreview));
    CHECK(Load(dll, "LumoraEx_SetReconnect", &setReconnect) && Load(dll, "LumoraEx_GetStreamStatistics", &statistics));
    CHECK(setDeviceNumber(h, 1) == 1 && setWindow(h, 3488, 0, 320, 2616, 0, 240) == 1);
    CHECK(setReconnect(h, 1) == 1 && startPreview(h) == 1);
    char folder[MAX_PATH + 1];
    const DWORD n = GetTempPathA(sizeof folder, folder);
    CHECK(n > 0 && n <= MAX_PATH);
    const std::string commands = std::string(folder) + "\\lumora-camemu-commands";
    LumoraExStreamStatistics s{};
    s.size = sizeof s;
    for (const char* line : {"unplug 2\n", "replug 2\n"}) {
        Sleep(300);
        HANDLE f = CreateFileA(commands.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                               OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        CHECK(f != INVALID_HANDLE_VALUE);
        DWORD written = 0;
        CHECK(WriteFile(f, line, static_cast<DWORD>(std::strlen(line)), &written, nullptr) && written == std::strlen(line));
        CloseHandle(f);
    }
    for (int i = 0; i < 300 && statistics(h, &s) == 1 && s.reconnects == 0; ++i) Sleep(10);
    CHECK(s.reconnects == 1);
    CHECK(release(h) == 1);
    FreeLibrary(dll);
    std::printf("device emulator under the DLL: ok\n");
    return 0;
}
