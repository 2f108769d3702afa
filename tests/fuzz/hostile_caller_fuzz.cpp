// A hostile caller: any sequence of the 119 exports with random and stale handles, edge integers,
// null and short buffers, bad paths and bad window records, on an emulated camera. Nothing may
// crash, write outside what it was given or leak; every handle is released at the end of an input.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "device/disk_layer.h"
#include "fuzz_input.h"
#include "lumora/LumoraSdk.h"

namespace {

using lumora::fuzz::FuzzInput;

void Ignore(void*, unsigned, uintptr_t, intptr_t) {}

// Everything the calls point at; it outlives every camera (a callback buffer must).
struct Memory {
    static constexpr int kBuffer = 1 << 20;
    std::vector<uint8_t> buffer = std::vector<uint8_t>(kBuffer);
    std::vector<uint8_t> callbackBuffer = std::vector<uint8_t>(kBuffer);
    char text[300] = {};
    LumoraWChar wideText[300] = {};
    char names[10][256] = {};
    LumoraWChar wideNames[10][256] = {};
    unsigned char byte = 0;
    CameraInfo info = {};
    int ints[8] = {};
    LumoraNotifier notifier{LUMORA_NOTIFIER_TAG, Ignore, nullptr};
    unsigned notATag[4] = {0x12345678u, 0, 0, 0};
    std::vector<std::string> paths;
    std::vector<std::u16string> widePaths;
};

Memory& Shared() {
    static Memory* memory = [] {
        auto* m = new Memory;
        const std::string folder = lumora::fuzz::FuzzFolder();
        m->paths = {"", folder + "/clip.avi", folder + "/still.bmp", folder + "/no/such/folder/x.avi", folder,
                    folder + "/" + std::string(300, 'n') + ".avi", folder + "/\xff\xfe.avi"};
        for (const std::string& p : m->paths) m->widePaths.emplace_back(p.begin(), p.end());
        m->widePaths.push_back(u"\xD800.avi");  // a lone surrogate
        return m;
    }();
    return *memory;
}

class Caller : public FuzzInput {
public:
    using FuzzInput::FuzzInput;
    ~Caller() {
        for (LumoraHandle h : live_) Lumora_Release(h);
    }
    LumoraHandle Handle() {
        const uint8_t b = U8();
        switch (b % 8) {
            case 0: return 0;
            case 1: return -1;
            case 2: return released_;
            case 3: return static_cast<LumoraHandle>(U32());
            default: return live_.empty() ? 0 : live_[b % live_.size()];
        }
    }
    void Keep(LumoraHandle h) {
        if (h == 0) return;
        if (live_.size() >= 3) {  // a bounded number of cameras at a time
            Lumora_Release(h);
            Forget(h);
            return;
        }
        live_.push_back(h);
    }
    void Forget(LumoraHandle h) {
        auto it = std::find(live_.begin(), live_.end(), h);
        if (it == live_.end()) return;
        live_.erase(it);
        released_ = h;
    }
    LumoraWindow Window() {
        switch (U8() % 3) {
            case 0: return nullptr;
            case 1: return &Shared().notifier;
            default: return Shared().notATag;
        }
    }
    // A buffer and a size that never exceeds it (a size past the end would be the caller's fault).
    int Size(int capacity) {
        const int v = Int();
        return v > capacity ? capacity - (U8() & 1) : v;
    }
    void* Buffer(int* size) {
        *size = Size(Memory::kBuffer);
        return Choose() ? nullptr : Shared().buffer.data();
    }
    void* CallbackBuffer(int* size) {
        *size = Size(Memory::kBuffer);
        return Choose() ? nullptr : Shared().callbackBuffer.data();
    }
    char* Text(int* size) {
        *size = Size(sizeof Shared().text);
        return Choose() ? nullptr : Shared().text;
    }
    LumoraWChar* WideText(int* size) {
        *size = Size(sizeof Shared().wideText / sizeof(LumoraWChar));
        return Choose() ? nullptr : Shared().wideText;
    }
    const char* Path() {
        const uint8_t b = U8();
        return b == 255 ? nullptr : Shared().paths[b % Shared().paths.size()].c_str();
    }
    const LumoraWChar* WidePath() {
        const uint8_t b = U8();
        return b == 255 ? nullptr : Shared().widePaths[b % Shared().widePaths.size()].c_str();
    }
    char (*Names())[256] { return Choose() ? nullptr : Shared().names; }
    LumoraWChar (*WideNames())[256] { return Choose() ? nullptr : Shared().wideNames; }
    unsigned char* Byte() { return Choose() ? nullptr : &Shared().byte; }
    CameraInfo* Info() {
        Shared().info.size = Int();
        return Choose() ? nullptr : &Shared().info;
    }
    int* Out(int i) { return Choose() ? nullptr : &Shared().ints[i % 8]; }

private:
    std::vector<LumoraHandle> live_;
    LumoraHandle released_ = 0;
};

void Call(Caller& in) {
    switch (in.U8() % 119) {
        case 0: in.Keep(Lumora_Initialize(in.Window())); break;
        case 1: { const LumoraHandle r = in.Handle(); Lumora_Release(r); in.Forget(r); } break;
        case 2: (void)Lumora_GetLastError(in.Handle()); break;
        case 3: (void)Lumora_GetDllVersion(); break;
        case 4: (void)Lumora_GetCameraInfo(in.Handle(), in.Info()); break;
        case 5: (void)Lumora_GetStatus(in.Handle(), in.Int()); break;
        case 6: (void)Lumora_Width(in.Handle()); break;
        case 7: (void)Lumora_Height(in.Handle()); break;
        case 8: (void)Lumora_EnumDevice(in.Handle(), in.Names()); break;
        case 9: (void)Lumora_EnumDeviceW(in.Handle(), in.WideNames()); break;
        case 10: { int size = 0; char* p = in.Text(&size); (void)Lumora_GetDeviceName(in.Handle(), in.Int(), p, size); } break;
        case 11: { int size = 0; LumoraWChar* p = in.WideText(&size); (void)Lumora_GetDeviceNameW(in.Handle(), in.Int(), p, size); } break;
        case 12: (void)Lumora_SetDeviceNumber(in.Handle(), in.Int()); break;
        case 13: (void)Lumora_Preview(in.Handle()); break;
        case 14: { int size = 0; void* p = in.CallbackBuffer(&size); (void)Lumora_CallBackPreview(in.Handle(), in.Window(), p, size, in.Int()); } break;
        case 15: (void)Lumora_Record(in.Handle(), in.Path(), in.Int(), in.Int()); break;
        case 16: (void)Lumora_RecordW(in.Handle(), in.WidePath(), in.Int(), in.Int()); break;
        case 17: (void)Lumora_StartPreview(in.Handle()); break;
        case 18: (void)Lumora_StopPreview(in.Handle()); break;
        case 19: (void)Lumora_Close(in.Handle()); break;
        case 20: { int size = 0; void* p = in.Buffer(&size); (void)Lumora_GetImage(in.Handle(), p, size, in.Int()); } break;
        case 21: (void)Lumora_Capture(in.Handle()); break;
        case 22: { int size = 0; void* p = in.Buffer(&size); (void)Lumora_SnapShot(in.Handle(), p, size, in.Int()); } break;
        case 23: (void)Lumora_SaveImage(in.Handle(), in.Path(), in.Int()); break;
        case 24: (void)Lumora_SaveImageW(in.Handle(), in.WidePath(), in.Int()); break;
        case 25: (void)Lumora_SetPreviewWindow(in.Handle(), in.Window(), in.Int(), in.Int(), in.Int(), in.Int()); break;
        case 26: (void)Lumora_SetColorMode(in.Handle(), in.Int()); break;
        case 27: (void)Lumora_GetColorMode(in.Handle()); break;
        case 28: (void)Lumora_SetCaptureWindow(in.Handle(), in.Int(), in.Int()); break;
        case 29: (void)Lumora_SetCaptureWindowEx(in.Handle(), in.Int(), in.Int(), in.Int(), in.Int(), in.Int(), in.Int()); break;
        case 30: (void)Lumora_GetCaptureWindowEx(in.Handle(), in.Out(1), in.Out(2), in.Out(3), in.Out(4), in.Out(5), in.Out(6)); break;
        case 31: (void)Lumora_SetSubSample(in.Handle(), in.Int()); break;
        case 32: (void)Lumora_GetSubSample(in.Handle()); break;
        case 33: (void)Lumora_SetWaitTime(in.Handle(), in.Int()); break;
        case 34: (void)Lumora_GetWaitTime(in.Handle()); break;
        case 35: (void)Lumora_SetHalfClock(in.Handle(), in.Int()); break;
        case 36: (void)Lumora_GetHalfClock(in.Handle()); break;
        case 37: (void)Lumora_SetAutoIris(in.Handle(), in.Int()); break;
        case 38: (void)Lumora_GetAutoIris(in.Handle(), in.Out(1)); break;
        case 39: (void)Lumora_SetMirrorV(in.Handle(), in.Int()); break;
        case 40: (void)Lumora_SetMirrorH(in.Handle(), in.Int()); break;
        case 41: (void)Lumora_GetMirrorV(in.Handle()); break;
        case 42: (void)Lumora_GetMirrorH(in.Handle()); break;
        case 43: (void)Lumora_GetRealExposureTime(in.Handle(), in.Out(1)); break;
        case 44: (void)Lumora_WriteRegister(in.Handle(), in.Int(), in.Int()); break;
        case 45: (void)Lumora_WriteRegisterEx(in.Handle(), in.Int(), in.Int()); break;
        case 46: (void)Lumora_ReadRegister(in.Handle(), in.Int(), in.Out(2)); break;
        case 47: (void)Lumora_ReadRegisterEx(in.Handle(), in.Int(), in.Out(2)); break;
        case 48: (void)Lumora_ReadSromID(in.Handle(), in.Int(), in.Out(2)); break;
        case 49: (void)Lumora_WriteSromID(in.Handle(), in.Int(), in.Int()); break;
        case 50: (void)Lumora_SetIOPort(in.Handle(), in.Int(), in.Int(), in.Int()); break;
        case 51: (void)Lumora_GetIOPort(in.Handle(), in.Byte(), in.Int(), in.Int()); break;
        case 52: (void)Lumora_SetCameraDlg(in.Handle(), in.Window()); break;
        case 53: (void)Lumora_SetImageDlg(in.Handle(), in.Window()); break;
        case 54: (void)Lumora_SetAnalogDlg(in.Handle(), in.Window()); break;
        case 55: (void)Lumora_SetFilterValue(in.Handle(), in.Int(), in.Int()); break;
        case 56: (void)Lumora_GetFilterValue(in.Handle(), in.Int(), in.Out(2)); break;
        case 57: (void)Lumora_Fps(in.Handle()); break;
        case 58: (void)Lumora_GetCameraType(in.Handle()); break;
        case 59: (void)Lumora_SetCameraType(in.Handle(), in.Int()); break;
        case 60: (void)Lumora_SetCrossbar(in.Handle(), in.Int()); break;
        case 61: (void)Lumora_SetSamplingRate(in.Handle(), in.Int()); break;
        case 62: (void)Lumora_Trigger(in.Handle()); break;
        case 63: (void)Lumora_GetSamplingRate(in.Handle(), in.Out(1)); break;
        case 64: (void)Lumora_GetVideoFormat(in.Handle(), in.Out(1)); break;
        case 65: (void)Lumora_SetBrightness(in.Handle(), in.Int()); break;
        case 66: (void)Lumora_GetBrightness(in.Handle(), in.Out(1)); break;
        case 67: (void)Lumora_SetContrast(in.Handle(), in.Int()); break;
        case 68: (void)Lumora_GetContrast(in.Handle(), in.Out(1)); break;
        case 69: (void)Lumora_SetHue(in.Handle(), in.Int()); break;
        case 70: (void)Lumora_GetHue(in.Handle(), in.Out(1)); break;
        case 71: (void)Lumora_SetSaturation(in.Handle(), in.Int()); break;
        case 72: (void)Lumora_GetSaturation(in.Handle(), in.Out(1)); break;
        case 73: (void)Lumora_SetSharpness(in.Handle(), in.Int()); break;
        case 74: (void)Lumora_GetSharpness(in.Handle(), in.Out(1)); break;
        case 75: (void)Lumora_SetBayerGainRGB(in.Handle(), in.Int()); break;
        case 76: (void)Lumora_GetBayerGainRGB(in.Handle(), in.Out(1)); break;
        case 77: (void)Lumora_SetBayerGainRed(in.Handle(), in.Int()); break;
        case 78: (void)Lumora_GetBayerGainRed(in.Handle(), in.Out(1)); break;
        case 79: (void)Lumora_SetBayerGainGreen(in.Handle(), in.Int()); break;
        case 80: (void)Lumora_GetBayerGainGreen(in.Handle(), in.Out(1)); break;
        case 81: (void)Lumora_SetBayerGainBlue(in.Handle(), in.Int()); break;
        case 82: (void)Lumora_GetBayerGainBlue(in.Handle(), in.Out(1)); break;
        case 83: (void)Lumora_SetBayerGainAuto(in.Handle(), in.Int()); break;
        case 84: (void)Lumora_GetBayerGainAuto(in.Handle(), in.Out(1)); break;
        case 85: (void)Lumora_SetGamma(in.Handle(), in.Int()); break;
        case 86: (void)Lumora_GetGamma(in.Handle(), in.Out(1)); break;
        case 87: (void)Lumora_SetBayerMode(in.Handle(), in.Int()); break;
        case 88: (void)Lumora_GetBayerMode(in.Handle(), in.Out(1)); break;
        case 89: (void)Lumora_SetGlobalGain(in.Handle(), in.Int()); break;
        case 90: (void)Lumora_GetGlobalGain(in.Handle(), in.Out(1)); break;
        case 91: (void)Lumora_SetColorGainRed(in.Handle(), in.Int()); break;
        case 92: (void)Lumora_GetColorGainRed(in.Handle(), in.Out(1)); break;
        case 93: (void)Lumora_SetColorGainGreen1(in.Handle(), in.Int()); break;
        case 94: (void)Lumora_GetColorGainGreen1(in.Handle(), in.Out(1)); break;
        case 95: (void)Lumora_SetColorGainGreen2(in.Handle(), in.Int()); break;
        case 96: (void)Lumora_GetColorGainGreen2(in.Handle(), in.Out(1)); break;
        case 97: (void)Lumora_SetColorGainBlue(in.Handle(), in.Int()); break;
        case 98: (void)Lumora_GetColorGainBlue(in.Handle(), in.Out(1)); break;
        case 99: (void)Lumora_SetExposureTime(in.Handle(), in.Int()); break;
        case 100: (void)Lumora_GetExposureTime(in.Handle(), in.Out(1)); break;
        case 101: (void)Lumora_SetGrayMode(in.Handle(), in.Int()); break;
        case 102: (void)Lumora_GetGrayMode(in.Handle(), in.Out(1)); break;
        case 103: (void)Lumora_SetGrayGainR(in.Handle(), in.Int()); break;
        case 104: (void)Lumora_GetGrayGainR(in.Handle(), in.Out(1)); break;
        case 105: (void)Lumora_SetGrayGainG1(in.Handle(), in.Int()); break;
        case 106: (void)Lumora_GetGrayGainG1(in.Handle(), in.Out(1)); break;
        case 107: (void)Lumora_SetGrayGainG2(in.Handle(), in.Int()); break;
        case 108: (void)Lumora_GetGrayGainG2(in.Handle(), in.Out(1)); break;
        case 109: (void)Lumora_SetGrayGainB(in.Handle(), in.Int()); break;
        case 110: (void)Lumora_GetGrayGainB(in.Handle(), in.Out(1)); break;
        case 111: (void)Lumora_SetGrayOffsetR(in.Handle(), in.Int()); break;
        case 112: (void)Lumora_GetGrayOffsetR(in.Handle(), in.Out(1)); break;
        case 113: (void)Lumora_SetGrayOffsetG1(in.Handle(), in.Int()); break;
        case 114: (void)Lumora_GetGrayOffsetG1(in.Handle(), in.Out(1)); break;
        case 115: (void)Lumora_SetGrayOffsetG2(in.Handle(), in.Int()); break;
        case 116: (void)Lumora_GetGrayOffsetG2(in.Handle(), in.Out(1)); break;
        case 117: (void)Lumora_SetGrayOffsetB(in.Handle(), in.Int()); break;
        case 118: (void)Lumora_GetGrayOffsetB(in.Handle(), in.Out(1)); break;
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // Settings in a folder of the run's own, no window system, one emulated camera that delivers
    // at once.
    setenv("XDG_CONFIG_HOME", lumora::fuzz::FuzzFolder().c_str(), 1);
    setenv("DISPLAY", "", 1);
    lumora::DiskLayer::PlaceTestCameras(1)[0]->SetFastFrames(true);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Caller in(data, size);
    for (int calls = 0; calls < 64 && !in.Empty(); ++calls) Call(in);
    return 0;
}
