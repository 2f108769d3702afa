// Acquisition through the DLL on an emulated camera (LUMORA_CAMEMU=1): snapshots in every colour
// mode with the frame sizes they promise, and a two-second recording whose file holds the frames
// and the rate it says. Exit code 0 when everything holds.
#include <windows.h>

#include <cstdint>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <vector>

#include "lumora/LumoraSdk.h"

#include "settings_tree.h"
#include "wine_check.h"

#define LOAD(name)                                                                                  \
    decltype(&Lumora_##name) name =                                                                 \
        reinterpret_cast<decltype(&Lumora_##name)>(reinterpret_cast<void*>(GetProcAddress(dll, "Lumora_" #name))); \
    CHECK(name != nullptr)

namespace {

// What the notify window's procedure saw.
struct Seen {
    int frames = 0;
    int failures = 0;
    FrameInfo last{};
} seen;

LRESULT CALLBACK NotifyProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == CAMMSG_FRAME) {
        if (wParam == 0) {
            ++seen.failures;
        } else {
            ++seen.frames;
            seen.last = *reinterpret_cast<const FrameInfo*>(wParam);
        }
        return 0;
    }
    return DefWindowProcA(window, msg, wParam, lParam);
}

void Pump(DWORD ms) {
    const DWORD end = GetTickCount() + ms;
    while (static_cast<LONG>(end - GetTickCount()) > 0) {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
        Sleep(1);
    }
}

uint32_t Le32(const std::vector<unsigned char>& b, size_t at) {
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<uint32_t>(b[at + 3]) << 24;
}

std::vector<unsigned char> ReadFile(const char* path) {
    std::vector<unsigned char> bytes;
    if (FILE* f = std::fopen(path, "rb")) {
        unsigned char block[65536];
        for (size_t n; (n = std::fread(block, 1, sizeof block, f)) > 0;) bytes.insert(bytes.end(), block, block + n);
        std::fclose(f);
    }
    return bytes;
}

}  // namespace

int main() {
    SetEnvironmentVariableA("LUMORA_CAMEMU", "1");
    HMODULE dll = LoadLibraryA(LUMORA_DLL);
    CHECK(dll != nullptr);
    LOAD(Initialize);
    LOAD(Release);
    LOAD(GetLastError);
    LOAD(SetCaptureWindowEx);
    LOAD(SetFilterValue);
    LOAD(SetColorMode);
    LOAD(SetSubSample);
    LOAD(SnapShot);
    LOAD(GetImage);
    LOAD(Record);
    LOAD(Close);
    LOAD(CallBackPreview);
    LOAD(Preview);

    settings_tree::WriteFirstRun();  // no automatic exposure or filter values of an earlier program
    LumoraHandle h = Initialize(nullptr);
    CHECK(h != 0);
    CHECK(SetCaptureWindowEx(h, 3488, 0, 320, 2616, 0, 240) == 1);
    CHECK(SetFilterValue(h, 13, 32) == 1);
    CHECK(SetFilterValue(h, 18, 2600) == 1);
    while (GetLastError(h) != 0) {
    }

    // Each mode's frame: rows of width x bits / 8 bytes padded to 4, at the subsampled size.
    const int bits[] = {8, 16, 24, 32, 48, 64};
    for (int b : bits) {
        for (int sub : {0, 2}) {
            const int w = sub ? 80 : 320, hgt = sub ? 60 : 240;
            const int stride = (w * b / 8 + 3) & ~3;
            CHECK(SetColorMode(h, b) == 1);
            CHECK(SetSubSample(h, sub) == 1);
            std::vector<unsigned char> frame(static_cast<size_t>(stride) * hgt + 1, 0xEE);
            CHECK(SnapShot(h, frame.data(), stride * hgt, 1) == 1);
            CHECK(frame.back() == 0xEE);
            CHECK(GetImage(h, frame.data(), stride * hgt - 1, 0) == 0);
            CHECK(GetLastError(h) == CAMERR_MEMORY && GetLastError(h) == 0);  // one code per call
            CHECK(GetImage(h, frame.data(), stride * hgt, 0) == 1);
        }
    }

    // The chart in its colours at Bayer phase 3: four patches' centres of a quarter-size frame
    // (872 x 654), red, green, blue.
    const struct {
        int row, column, rgb[3];
    } patches[] = {{0, 0, {115, 82, 68}}, {1, 2, {193, 90, 99}}, {2, 3, {231, 199, 31}}, {3, 0, {243, 243, 242}}};
    CHECK(SetCaptureWindowEx(h, 3488, 0, 3488, 2616, 0, 2616) == 1);
    CHECK(SetColorMode(h, 24) == 1);
    for (int index : {7, 8, 9, 11}) CHECK(SetFilterValue(h, index, 100) == 1);  // neutral
    CHECK(SetFilterValue(h, 12, 3) == 1);
    const int stride = 872 * 3;
    std::vector<unsigned char> chart(static_cast<size_t>(stride) * 654);
    CHECK(SnapShot(h, chart.data(), static_cast<int>(chart.size()), 1) == 1);
    for (const auto& p : patches) {
        const unsigned char* bgr = &chart[(261 + p.row * 490 + 245) / 4 * stride + 3 * ((174 + p.column * 523 + 261) / 4)];
        for (int k = 0; k < 3; ++k) CHECK(std::abs(bgr[2 - k] - p.rgb[k]) <= 12);
    }
    CHECK(SetSubSample(h, 0) == 1);

    // Five seconds of 640 x 480 frames into a window's message loop, the preview window showing
    // them too: one CAMMSG_FRAME per frame, at the rate the frames report.
    CHECK(SetCaptureWindowEx(h, 3488, 0, 640, 2616, 0, 480) == 1);
    CHECK(SetColorMode(h, 24) == 1);
    WNDCLASSA wc{};
    wc.lpfnWndProc = NotifyProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "LumoraAcquisitionTest";
    CHECK(RegisterClassA(&wc) != 0);
    HWND notify = CreateWindowA("LumoraAcquisitionTest", "", 0, 0, 0, 10, 10, nullptr, nullptr,
                                wc.hInstance, nullptr);
    CHECK(notify != nullptr);
    std::vector<unsigned char> live(640 * 3 * 480);
    CHECK(CallBackPreview(h, notify, live.data(), static_cast<int>(live.size()), 1) == 1);
    Pump(5000);
    CHECK(Close(h) == 1);
    Pump(100);
    CHECK(seen.failures == 0);
    CHECK(seen.last.size == (sizeof(void*) == 8 ? 32 : 24));  // the record as the header lays it out
    CHECK(seen.last.width == 640 && seen.last.height == 480 && seen.last.bitCount == 24);
    CHECK(seen.last.buffer == live.data());
    CHECK(seen.last.fpsTimes10 > 0);
    const double expected = seen.last.fpsTimes10 / 10.0 * 5;
    std::printf("%d frames notified in 5 s at %.1f per second\n", seen.frames, seen.last.fpsTimes10 / 10.0);
    CHECK(seen.frames > expected * 0.85 && seen.frames < expected * 1.15);
    // The extension functions on the same stream: each frame delivered was posted and seen, and
    // the last one's number counts every frame completed up to it.
    const auto frameDetails = reinterpret_cast<decltype(&LumoraEx_GetFrameDetails)>(
        reinterpret_cast<void*>(GetProcAddress(dll, "LumoraEx_GetFrameDetails")));
    const auto streamStatistics = reinterpret_cast<decltype(&LumoraEx_GetStreamStatistics)>(
        reinterpret_cast<void*>(GetProcAddress(dll, "LumoraEx_GetStreamStatistics")));
    CHECK(frameDetails != nullptr && streamStatistics != nullptr);
    if (frameDetails != nullptr && streamStatistics != nullptr) {
        LumoraExStreamStatistics s{};
        s.size = sizeof s;
        LumoraExFrameDetails d{};
        d.size = sizeof d;
        CHECK(streamStatistics(h, &s) == 1 && frameDetails(h, &d) == 1);
        CHECK(static_cast<int>(s.delivered) == seen.frames && s.completed == s.delivered + s.skipped);
        CHECK(d.number + s.skippedStreamEnd == s.completed && d.timestamp > 0 && d.exposureLines == 2600);
    }
    DestroyWindow(notify);
    CHECK(Preview(h) == 1);
    Sleep(200);
    CHECK(Close(h) == 1);
    CHECK(SetCaptureWindowEx(h, 3488, 0, 320, 2616, 0, 240) == 1);
    while (GetLastError(h) != 0) {
    }

    // Two seconds of 24-bit frames.
    CHECK(SetColorMode(h, 24) == 1);
    char path[MAX_PATH];
    GetTempPathA(MAX_PATH, path);
    std::strcat(path, "lumora_record.avi");
    CHECK(Record(h, path, 2000, 0) == 1);
    Sleep(2600);
    CHECK(Close(h) == 1);
    CHECK(GetLastError(h) == 0);
    const std::vector<unsigned char> avi = ReadFile(path);
    CHECK(avi.size() > 232);
    const uint32_t frames = Le32(avi, 48), microseconds = Le32(avi, 32);
    const uint32_t chunk = 8 + 3 * 320 * 240;
    CHECK(frames > 10);
    CHECK(avi.size() == 232 + frames * chunk + 8 + 16 * frames);
    // Frames over the measured time: about the two seconds asked for.
    const double seconds = frames * static_cast<double>(microseconds) / 1e6;
    CHECK(seconds > 1.8 && seconds < 2.3);
    DeleteFileA(path);
    CHECK(Release(h) == 1);
    FreeLibrary(dll);
    std::printf("acquisition under the DLL: %u frames recorded at %.2f per second: ok\n", frames,
                frames / seconds);
    return 0;
}
