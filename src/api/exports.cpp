// The exported functions: each looks its handle up and forwards to one camera-object operation.
// Nothing is thrown across this boundary: an allocation failure is recorded as CAMERR_MEMORY,
// anything else unexpected returns the failure value.
#include <new>

#include "api/handle_list.h"
#include "camera/camera_object.h"
#include "lumora/LumoraSdk.h"
#include "platform/text_codec.h"

namespace lumora {

HandleList& ProcessHandleList() {
    static HandleList list;
    return list;
}

}  // namespace lumora

using lumora::CameraObject;

namespace {

// Constructed while the library loads, so that the list exists before any export runs.
const bool kListReady = (lumora::ProcessHandleList(), true);

// Runs op on the camera of handle h; invalid is the result for a handle that is not open.
template <typename Op>
int WithCamera(LumoraHandle h, int invalid, Op op) noexcept {
    CameraObject* camera = nullptr;
    try {
        camera = lumora::ProcessHandleList().Lookup(h);
        if (camera == nullptr) return invalid;
        return op(*camera);
    } catch (const std::bad_alloc&) {
        if (camera) camera->RecordError(CAMERR_MEMORY);
        return 0;
    } catch (...) {
        return 0;
    }
}

constexpr size_t kPathBufferSize = 1024;

void* Window(LumoraWindow w) { return reinterpret_cast<void*>(w); }

}  // namespace

extern "C" {

// ---- Lifecycle and information ----

LumoraHandle LUMORA_API Lumora_Initialize(LumoraWindow errorWindow) {
    (void)kListReady;
    try {
        auto* camera = new (std::nothrow) CameraObject();
        if (camera == nullptr) return 0;
        LumoraHandle h = lumora::ProcessHandleList().Insert(camera);
        WithCamera(h, 0, [&](CameraObject& c) { return c.Initialize(Window(errorWindow)); });
        return h;
    } catch (...) {
        return 0;
    }
}

int LUMORA_API Lumora_Release(LumoraHandle h) {
    try {
        auto& list = lumora::ProcessHandleList();
        if (list.Lookup(h) == nullptr) return 0;
        delete list.DetachObject(h);
        list.Remove(h);
        return 1;
    } catch (...) {
        return 0;
    }
}

int LUMORA_API Lumora_GetLastError(LumoraHandle h) {
    return WithCamera(h, 0, [](CameraObject& c) { return c.PopError(); });
}

int LUMORA_API Lumora_GetDllVersion(void) { return LUMORA_VERSION; }

int LUMORA_API Lumora_GetCameraInfo(LumoraHandle h, CameraInfo* info) {
    return WithCamera(h, 0, [&](CameraObject& c) { return c.GetCameraInfo(info); });
}

int LUMORA_API Lumora_GetStatus(LumoraHandle h, int) {
    return WithCamera(h, 0, [](CameraObject& c) { return c.GetStatus(); });
}

int LUMORA_API Lumora_Width(LumoraHandle h) {
    return WithCamera(h, 0, [](CameraObject& c) { return c.Width(); });
}

int LUMORA_API Lumora_Height(LumoraHandle h) {
    return WithCamera(h, 0, [](CameraObject& c) { return c.Height(); });
}

// ---- Device selection ----

int LUMORA_API Lumora_EnumDevice(LumoraHandle h, char names[10][256]) {
    return WithCamera(h, 0, [&](CameraObject& c) { return c.EnumDevice(names); });
}

int LUMORA_API Lumora_EnumDeviceW(LumoraHandle h, LumoraWChar names[10][256]) {
    return WithCamera(h, 0, [&](CameraObject& c) {
        return c.EnumDeviceW(reinterpret_cast<char16_t(*)[256]>(names));
    });
}

int LUMORA_API Lumora_GetDeviceName(LumoraHandle h, int index, char* name, int size) {
    return WithCamera(h, 0, [&](CameraObject& c) { return c.GetDeviceName(index, name, size); });
}

int LUMORA_API Lumora_GetDeviceNameW(LumoraHandle h, int index, LumoraWChar* name, int size) {
    return WithCamera(h, 0, [&](CameraObject& c) {
        return c.GetDeviceNameW(index, reinterpret_cast<char16_t*>(name), size);
    });
}

int LUMORA_API Lumora_SetDeviceNumber(LumoraHandle h, int index) {
    return WithCamera(h, 0, [&](CameraObject& c) { return c.SetDeviceNumber(index); });
}

// ---- Acquisition and preview window ----

int LUMORA_API Lumora_Preview(LumoraHandle h) {
    return WithCamera(h, 0, [](CameraObject& c) { return c.Preview(); });
}

int LUMORA_API Lumora_CallBackPreview(LumoraHandle h, LumoraWindow notifyWindow, void* buffer,
                                      int size, int flag) {
    return WithCamera(h, 0, [&](CameraObject& c) {
        return c.CallBackPreview(Window(notifyWindow), buffer, size, flag);
    });
}

int LUMORA_API Lumora_Record(LumoraHandle h, const char* fileName, int durationMs, int showWindow) {
    return WithCamera(h, 0,
                      [&](CameraObject& c) { return c.Record(fileName, durationMs, showWindow); });
}

int LUMORA_API Lumora_RecordW(LumoraHandle h, const LumoraWChar* fileName, int durationMs,
                              int showWindow) {
    return WithCamera(h, 0, [&](CameraObject& c) {
        char path[kPathBufferSize];
        if (fileName == nullptr) return c.Record(nullptr, durationMs, showWindow);
        if (!lumora::platform::WideToNarrow(reinterpret_cast<const char16_t*>(fileName), path,
                                            sizeof path)) {
            c.RecordError(CAMERR_STORAGE);
            return 0;
        }
        return c.Record(path, durationMs, showWindow);
    });
}

int LUMORA_API Lumora_StartPreview(LumoraHandle h) {
    return WithCamera(h, 0, [](CameraObject& c) { return c.StartPreview(); });
}

int LUMORA_API Lumora_StopPreview(LumoraHandle h) {
    return WithCamera(h, 0, [](CameraObject& c) { return c.StopPreview(); });
}

int LUMORA_API Lumora_Close(LumoraHandle h) {
    return WithCamera(h, 0, [](CameraObject& c) { return c.Close(); });
}

int LUMORA_API Lumora_GetImage(LumoraHandle h, void* buffer, int size, int flag) {
    return WithCamera(h, 0, [&](CameraObject& c) { return c.GetImage(buffer, size, flag); });
}

int LUMORA_API Lumora_Capture(LumoraHandle h) {
    return WithCamera(h, 0, [](CameraObject& c) { return c.Capture(); });
}

int LUMORA_API Lumora_SnapShot(LumoraHandle h, void* buffer, int size, int flag) {
    return WithCamera(h, 0, [&](CameraObject& c) { return c.SnapShot(buffer, size, flag); });
}

int LUMORA_API Lumora_SaveImage(LumoraHandle h, const char* fileName, int format) {
    return WithCamera(h, 0, [&](CameraObject& c) { return c.SaveImage(fileName, format); });
}

int LUMORA_API Lumora_SaveImageW(LumoraHandle h, const LumoraWChar* fileName, int format) {
    return WithCamera(h, 0, [&](CameraObject& c) {
        char path[kPathBufferSize];
        if (!lumora::platform::WideToNarrow(reinterpret_cast<const char16_t*>(fileName), path,
                                            sizeof path)) {
            c.RecordError(CAMERR_NO_DEVICE);
            return 0;
        }
        return c.SaveImage(path, format);
    });
}

int LUMORA_API Lumora_SetPreviewWindow(LumoraHandle h, LumoraWindow parent, int x, int y,
                                       int width, int height) {
    return WithCamera(h, 0, [&](CameraObject& c) {
        return c.SetPreviewWindow(Window(parent), x, y, width, height);
    });
}

// ---- Geometry and sensor settings ----

int LUMORA_API Lumora_SetColorMode(LumoraHandle h, int bits) {
    return WithCamera(h, 0, [&](CameraObject& c) { return c.SetColorMode(bits); });
}

int LUMORA_API Lumora_GetColorMode(LumoraHandle h) {
    return WithCamera(h, -1, [](CameraObject& c) { return c.GetColorMode(); });
}

int LUMORA_API Lumora_SetCaptureWindow(LumoraHandle h, int width, int height) {
    return WithCamera(h, 0, [&](CameraObject& c) { return c.SelectSizePreset(width, height); });
}

int LUMORA_API Lumora_SetCaptureWindowEx(LumoraHandle h, int hTotal, int hStart, int hEffective,
                                         int vTotal, int vStart, int vEffective) {
    return WithCamera(h, 0, [&](CameraObject& c) {
        return c.SetCaptureWindowEx(hTotal, hStart, hEffective, vTotal, vStart, vEffective);
    });
}

int LUMORA_API Lumora_GetCaptureWindowEx(LumoraHandle h, int* hTotal, int* hStart,
                                         int* hEffective, int* vTotal, int* vStart,
                                         int* vEffective) {
    return WithCamera(h, 0, [&](CameraObject& c) {
        return c.GetCaptureWindowEx(hTotal, hStart, hEffective, vTotal, vStart, vEffective);
    });
}

int LUMORA_API Lumora_SetSubSample(LumoraHandle h, int mode) {
    return WithCamera(h, 0, [&](CameraObject& c) { return c.SetSubSample(mode); });
}

int LUMORA_API Lumora_GetSubSample(LumoraHandle h) {
    return WithCamera(h, -1, [](CameraObject& c) { return c.GetSubSample(); });
}

int LUMORA_API Lumora_SetWaitTime(LumoraHandle h, int ms) {
    return WithCamera(h, 0, [&](CameraObject& c) { return c.SetWaitTime(ms); });
}

int LUMORA_API Lumora_GetWaitTime(LumoraHandle h) {
    return WithCamera(h, -1, [](CameraObject& c) { return c.GetWaitTime(); });
}

int LUMORA_API Lumora_SetHalfClock(LumoraHandle h, int clock) {
    return WithCamera(h, 0, [&](CameraObject& c) { return c.SetHalfClock(clock); });
}

int LUMORA_API Lumora_GetHalfClock(LumoraHandle h) {
    return WithCamera(h, 0, [](CameraObject& c) { return c.GetHalfClock(); });
}

int LUMORA_API Lumora_SetAutoIris(LumoraHandle h, int mode) {
    return WithCamera(h, 0, [&](CameraObject& c) { return c.SetAutoIris(mode); });
}

int LUMORA_API Lumora_GetAutoIris(LumoraHandle h, int* ok) {
    return WithCamera(h, 0, [&](CameraObject& c) { return c.GetAutoIris(ok); });
}

int LUMORA_API Lumora_SetMirrorV(LumoraHandle h, int on) {
    return WithCamera(h, 0, [&](CameraObject& c) { return c.SetMirrorV(on); });
}

int LUMORA_API Lumora_SetMirrorH(LumoraHandle h, int on) {
    return WithCamera(h, 0, [&](CameraObject& c) { return c.SetMirrorH(on); });
}

int LUMORA_API Lumora_GetMirrorV(LumoraHandle h) {
    return WithCamera(h, 0, [](CameraObject& c) { return c.GetMirrorV(); });
}

int LUMORA_API Lumora_GetMirrorH(LumoraHandle h) {
    return WithCamera(h, 0, [](CameraObject& c) { return c.GetMirrorH(); });
}

int LUMORA_API Lumora_GetRealExposureTime(LumoraHandle h, int* ok) {
    return WithCamera(h, 0, [&](CameraObject& c) { return c.GetRealExposureTime(ok); });
}

// ---- Registers, serial ROM and I/O port ----

int LUMORA_API Lumora_WriteRegister(LumoraHandle h, int address, int value) {
    return WithCamera(h, 0, [&](CameraObject& c) { return c.WriteRegister(address & 0xFF, value); });
}

int LUMORA_API Lumora_WriteRegisterEx(LumoraHandle h, int address, int value) {
    return WithCamera(h, 0,
                      [&](CameraObject& c) { return c.WriteRegister(address, value); });
}

int LUMORA_API Lumora_ReadRegister(LumoraHandle h, int address, int* ok) {
    return WithCamera(h, 0, [&](CameraObject& c) { return c.ReadRegister(address & 0xFF, ok); });
}

int LUMORA_API Lumora_ReadRegisterEx(LumoraHandle h, int address, int* ok) {
    return WithCamera(h, 0, [&](CameraObject& c) { return c.ReadRegister(address, ok); });
}

int LUMORA_API Lumora_ReadSromID(LumoraHandle h, int address, int* ok) {
    return WithCamera(h, 0, [&](CameraObject& c) { return c.ReadSromID(address, ok); });
}

int LUMORA_API Lumora_WriteSromID(LumoraHandle h, int address, int value) {
    return WithCamera(h, 0, [&](CameraObject& c) { return c.WriteSromID(address, value); });
}

int LUMORA_API Lumora_SetIOPort(LumoraHandle h, int value, int, int) {
    return WithCamera(h, 0, [&](CameraObject& c) { return c.SetIOPort(value); });
}

int LUMORA_API Lumora_GetIOPort(LumoraHandle h, unsigned char* value, int, int) {
    return WithCamera(h, 0, [&](CameraObject& c) { return c.GetIOPort(value); });
}

// ---- Settings dialogs ----

int LUMORA_API Lumora_SetCameraDlg(LumoraHandle h, LumoraWindow owner) {
    return WithCamera(h, 0, [&](CameraObject& c) { return c.CameraDialog(Window(owner)); });
}

int LUMORA_API Lumora_SetImageDlg(LumoraHandle h, LumoraWindow owner) {
    return WithCamera(h, 0, [&](CameraObject& c) { return c.FilterDialog(Window(owner)); });
}

int LUMORA_API Lumora_SetAnalogDlg(LumoraHandle h, LumoraWindow owner) {
    return WithCamera(h, 0, [&](CameraObject& c) { return c.AnalogGainDialog(Window(owner)); });
}

// ---- Filter values ----

int LUMORA_API Lumora_SetFilterValue(LumoraHandle h, int index, int value) {
    return WithCamera(h, 0, [&](CameraObject& c) { return c.SetFilterValue(index, value); });
}

int LUMORA_API Lumora_GetFilterValue(LumoraHandle h, int index, int* ok) {
    return WithCamera(h, 0, [&](CameraObject& c) { return c.GetFilterValue(index, ok); });
}

#define LUMORA_FILTER_EXPORT(name, index)                                  \
    int LUMORA_API Lumora_Set##name(LumoraHandle h, int value) {           \
        return Lumora_SetFilterValue(h, index, value);                     \
    }                                                                      \
    int LUMORA_API Lumora_Get##name(LumoraHandle h, int* ok) {             \
        return Lumora_GetFilterValue(h, index, ok);                        \
    }

LUMORA_FILTER_EXPORT(Brightness, 1)
LUMORA_FILTER_EXPORT(Contrast, 2)
LUMORA_FILTER_EXPORT(Hue, 3)
LUMORA_FILTER_EXPORT(Saturation, 4)
LUMORA_FILTER_EXPORT(Sharpness, 5)
LUMORA_FILTER_EXPORT(BayerGainRGB, 6)
LUMORA_FILTER_EXPORT(BayerGainRed, 7)
LUMORA_FILTER_EXPORT(BayerGainGreen, 8)
LUMORA_FILTER_EXPORT(BayerGainBlue, 9)
LUMORA_FILTER_EXPORT(BayerGainAuto, 10)
LUMORA_FILTER_EXPORT(Gamma, 11)
LUMORA_FILTER_EXPORT(BayerMode, 12)
LUMORA_FILTER_EXPORT(GlobalGain, 13)
LUMORA_FILTER_EXPORT(ColorGainRed, 14)
LUMORA_FILTER_EXPORT(ColorGainGreen1, 15)
LUMORA_FILTER_EXPORT(ColorGainGreen2, 16)
LUMORA_FILTER_EXPORT(ColorGainBlue, 17)
LUMORA_FILTER_EXPORT(ExposureTime, 18)
LUMORA_FILTER_EXPORT(GrayMode, 19)
LUMORA_FILTER_EXPORT(GrayGainR, 20)
LUMORA_FILTER_EXPORT(GrayGainG1, 21)
LUMORA_FILTER_EXPORT(GrayGainG2, 22)
LUMORA_FILTER_EXPORT(GrayGainB, 23)
LUMORA_FILTER_EXPORT(GrayOffsetR, 24)
LUMORA_FILTER_EXPORT(GrayOffsetG1, 25)
LUMORA_FILTER_EXPORT(GrayOffsetG2, 26)
LUMORA_FILTER_EXPORT(GrayOffsetB, 27)

#undef LUMORA_FILTER_EXPORT

// ---- Operations this model does not offer ----

namespace {
int Unsupported(LumoraHandle h) {
    return WithCamera(h, 0, [](CameraObject& c) {
        c.RecordError(CAMERR_UNSUPPORTED);
        return 0;
    });
}

int ZeroValue(LumoraHandle h, int* value) {
    return WithCamera(h, 0, [&](CameraObject&) {
        if (value) *value = 0;
        return 0;
    });
}
}  // namespace

int LUMORA_API Lumora_Fps(LumoraHandle h) { return Unsupported(h); }
int LUMORA_API Lumora_GetCameraType(LumoraHandle h) { return Unsupported(h); }
int LUMORA_API Lumora_SetCameraType(LumoraHandle h, int) { return Unsupported(h); }
int LUMORA_API Lumora_SetCrossbar(LumoraHandle h, int) { return Unsupported(h); }
int LUMORA_API Lumora_SetSamplingRate(LumoraHandle h, int) { return Unsupported(h); }
int LUMORA_API Lumora_Trigger(LumoraHandle h) { return Unsupported(h); }
int LUMORA_API Lumora_GetSamplingRate(LumoraHandle h, int* value) { return ZeroValue(h, value); }
int LUMORA_API Lumora_GetVideoFormat(LumoraHandle h, int* value) { return ZeroValue(h, value); }

// ---- Extensions ----

int LUMORA_API LumoraEx_GetFrameDetails(LumoraHandle h, LumoraExFrameDetails* details) {
    return WithCamera(h, 0, [&](CameraObject& c) { return c.GetFrameDetails(details); });
}

int LUMORA_API LumoraEx_GetStreamStatistics(LumoraHandle h, LumoraExStreamStatistics* statistics) {
    return WithCamera(h, 0, [&](CameraObject& c) { return c.GetStreamStatistics(statistics); });
}

int LUMORA_API LumoraEx_SetReconnect(LumoraHandle h, int enable) {
    return WithCamera(h, 0, [&](CameraObject& c) { return c.SetReconnect(enable); });
}

int LUMORA_API LumoraEx_GetReconnect(LumoraHandle h) {
    return WithCamera(h, 0, [&](CameraObject& c) { return c.GetReconnect(); });
}

}  // extern "C"
