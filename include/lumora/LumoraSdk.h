/*
 * Lumora K37VQ SDK - public interface.
 *
 * One header for C and C++, for the Windows DLL (LumoraSdk_USB3_K37VQ.dll, 32-bit and 64-bit) and
 * the native Linux library (libLumoraSdk_USB3_K37VQ.so). Every function takes the camera handle
 * returned by Lumora_Initialize as its first argument (except Lumora_GetDllVersion) and returns
 * a 32-bit integer: 1 for success, 0 for failure, or the value asked for. The reason for a
 * failure is read back with Lumora_GetLastError.
 *
 * Threads: one handle belongs to one thread at a time; different handles may be used from
 * different threads at the same time (the usual way to run several cameras): the handle list
 * and what the cameras share across the process are safe for that. The library's own threads
 * (acquisition, preview, recording) run behind a handle's calls and end before
 * Lumora_StopPreview, Lumora_Close and Lumora_Release return. While a preview or recording
 * runs, every setter, the register functions and the dialogs may be called, as often as the
 * application likes: each transfer to the camera is whole, each frame is processed with one
 * consistent set of settings, and the frames keep coming.
 *
 * Pictures: the camera's frame is hEffective x vEffective sensor pixels (Lumora_Width and
 * Lumora_Height), halved for subsampling modes 1 and 17, quartered for 2 and 18. A picture in
 * memory has rows padded to 4 bytes, stride = (width x bits / 8 + 3) & ~3, and takes
 * stride x height bytes, samples in blue, green, red order. Its first row in memory is the
 * camera's first (top) row. The "flag" of Lumora_CallBackPreview, Lumora_GetImage and
 * Lumora_SnapShot: non-zero copies the rows in memory order (top row first, as the still-image
 * files hold them); 0 copies them last row first, the bottom-up order a Windows bitmap
 * (BITMAPINFO with a positive height) shows upright.
 *
 * Colour modes (Lumora_SetColorMode takes the bits, Lumora_GetColorMode reports):
 *   8  -> 8:  8-bit raw mosaic or gray          24 -> 24: 8-bit blue, green, red
 *   16 -> 12: 16-bit raw mosaic, values 0..4095  32 -> 32: as 24 with a fourth byte
 *   48 -> 44: 16-bit blue, green, red, 0..4095  64 -> 60: as 48 with a fourth sample
 */
#ifndef LUMORA_LUMORASDK_H
#define LUMORA_LUMORASDK_H

/* The SDK version this header belongs to; Lumora_GetDllVersion returns LUMORA_VERSION of the
 * library that is loaded. */
#define LUMORA_VERSION_MAJOR 1
#define LUMORA_VERSION_MINOR 45
#define LUMORA_VERSION_PATCH 5
#define LUMORA_VERSION_BUILD 25
#define LUMORA_VERSION                                                             \
    ((LUMORA_VERSION_MAJOR << 24) | (LUMORA_VERSION_MINOR << 16) | (LUMORA_VERSION_PATCH << 8) | \
     LUMORA_VERSION_BUILD)

/* LUMORA_API is the calling convention of the functions (also for pointers to them): __stdcall on
 * 32-bit Windows; 64-bit Windows has one convention, which compilers use for __stdcall there.
 * LUMORA_EXPORTED marks their declarations as the library's exports. */
#if defined(_WIN32)
#include <windows.h>
#define LUMORA_API __stdcall
#define LUMORA_EXPORTED
typedef HWND LumoraWindow;
typedef wchar_t LumoraWChar;
#else
#include <stdint.h>
#define LUMORA_API
#if defined(__GNUC__)
#define LUMORA_EXPORTED __attribute__((visibility("default")))
#else
#define LUMORA_EXPORTED
#endif
/* Elsewhere a window is a pointer-sized value: a LumoraNotifier pointer where messages are
 * posted, an X11 window id for the preview window's parent (see "Notifications and the
 * preview window outside Windows" below). */
typedef void *LumoraWindow;
#ifdef __cplusplus
typedef char16_t LumoraWChar;
#else
#include <uchar.h>
typedef char16_t LumoraWChar;
#endif
#endif

#ifdef __cplusplus
extern "C" {
#endif

typedef int LumoraHandle;

/* Error codes recorded per camera and returned by Lumora_GetLastError, newest first. */
#define CAMERR_NONE 0
#define CAMERR_NO_DEVICE 1
#define CAMERR_DEVICE_NUMBER 2
#define CAMERR_THREAD 3
#define CAMERR_WINDOW 4
#define CAMERR_MEMORY 5
#define CAMERR_REGISTER 6
#define CAMERR_CAPTURE_WINDOW 7
#define CAMERR_TRANSFER 8
#define CAMERR_ARGUMENT 9
#define CAMERR_UNSUPPORTED 11
#define CAMERR_STORAGE 12
#define CAMERR_STREAM_STOPPED 13

/* An error code's name and meaning in words, for messages ("CAMERR_MEMORY: memory or a buffer
 * too small"). A helper of this header, not a function of the library. */
static inline const char *LumoraErrorText(int code) {
    switch (code) {
        case CAMERR_NONE: return "CAMERR_NONE: no error";
        case CAMERR_NO_DEVICE: return "CAMERR_NO_DEVICE: no camera, or not in this state";
        case CAMERR_DEVICE_NUMBER: return "CAMERR_DEVICE_NUMBER: no camera with this number";
        case CAMERR_THREAD: return "CAMERR_THREAD: a worker thread could not be started";
        case CAMERR_WINDOW: return "CAMERR_WINDOW: no window could be made, or no matching size";
        case CAMERR_MEMORY: return "CAMERR_MEMORY: out of memory, or a buffer too small";
        case CAMERR_REGISTER: return "CAMERR_REGISTER: the camera did not take a register access";
        case CAMERR_CAPTURE_WINDOW: return "CAMERR_CAPTURE_WINDOW: the capture window does not fit the sensor";
        case CAMERR_TRANSFER: return "CAMERR_TRANSFER: a frame could not be read from the camera";
        case CAMERR_ARGUMENT: return "CAMERR_ARGUMENT: an argument is out of range";
        case CAMERR_UNSUPPORTED: return "CAMERR_UNSUPPORTED: not offered by this camera or system";
        case CAMERR_STORAGE: return "CAMERR_STORAGE: settings or a file could not be read or written";
        case CAMERR_STREAM_STOPPED: return "CAMERR_STREAM_STOPPED: the camera stopped delivering frames";
        default: return "unknown error code";
    }
}

/* Window messages. CAMMSG_FRAME: wParam = FrameInfo*, lParam = 0 for a frame; wParam = 0,
 * lParam = error code for a failed frame. CAMMSG_ERROR: wParam = 0, lParam = error code. */
#define CAMMSG_FRAME 0x8002
#define CAMMSG_ERROR 0x8003

/* The longest recording Lumora_Record takes: one day, in milliseconds. */
#define LUMORA_RECORD_MAX_MS 86400000

/* Still-image formats for Lumora_SaveImage. LUMORA_IMAGE_RAW is the processed picture as it
 * lies in memory, without any header: its rows top row first, each padded to 4 bytes (stride x
 * height bytes, see "Pictures" above), samples in blue, green, red order; 16-bit samples
 * (0..4095) little-endian. The size comes from LumoraPictureSize. */
#define LUMORA_IMAGE_BMP 0
#define LUMORA_IMAGE_RAW 1
#define LUMORA_IMAGE_JPEG_FINE 2
#define LUMORA_IMAGE_JPEG_NORMAL 3
#define LUMORA_IMAGE_JPEG_ECONOMY 4
#define LUMORA_IMAGE_PNG 5
#define LUMORA_IMAGE_TIFF 6

/* Filled by Lumora_GetCameraInfo; set size to sizeof(CameraInfo) (at least 36) first. */
typedef struct CameraInfo {
    int size;
    int width;
    int height;
    int globalGainMin;
    int globalGainMax;
    int colorGainMin;
    int colorGainMax;
    int exposureMin;
    int exposureMax;
} CameraInfo;

/* Posted with every frame of Lumora_CallBackPreview. size is sizeof(FrameInfo): 24 in the 32-bit
 * DLL; 32 in the 64-bit DLL and on 64-bit Linux, where buffer is 8 bytes at offset 24. */
typedef struct FrameInfo {
    int size;
    int width;
    int height;
    int bitCount;
    int fpsTimes10;
    void *buffer;
} FrameInfo;

#if !defined(_WIN32)
/* Notifications and the preview window outside Windows.
 *
 * The error window of Lumora_Initialize (CAMMSG_ERROR) and the notify window of
 * Lumora_CallBackPreview (CAMMSG_FRAME) are pointers to a LumoraNotifier, which needs no window
 * system. Posting a message calls notify(context, message, wParam, lParam) at once, on the
 * thread that posts it: the application's own thread inside a Lumora_ call, or the library's
 * preview thread for every frame and for the errors it meets. The function must return quickly
 * and must not call any Lumora_ function; it copies what it needs (the FrameInfo that wParam
 * points to is rewritten for the next frame). The record must stay valid until the camera is
 * released or given another one. Null, or a pointer whose first word is not
 * LUMORA_NOTIFIER_TAG, receives nothing.
 *
 * The parent given to Lumora_SetPreviewWindow is an X11 window id, passed as
 * (LumoraWindow)(uintptr_t)id; the preview window is an X11 window on the display that DISPLAY
 * names (a child of that parent, or a top-level window). Without a display,
 * Lumora_CallBackPreview runs without a preview window (every frame still reaches the buffer and
 * the notifier), and Lumora_Preview, and Lumora_Record with showWindow set, fail with
 * CAMERR_WINDOW. */
#define LUMORA_NOTIFIER_TAG 0x4C4E4F54u /* "LNOT" */
typedef void (*LumoraNotifyFunction)(void *context, unsigned int message, uintptr_t wParam,
                                     intptr_t lParam);
typedef struct LumoraNotifier {
    unsigned int tag; /* LUMORA_NOTIFIER_TAG */
    LumoraNotifyFunction notify;
    void *context;
} LumoraNotifier;
#endif

/* Lifecycle and information.
 * Lumora_Initialize: a new handle, 0 only when no camera object can be made; it opens the first
 * camera (a handle without one still answers, with CAMERR_NO_DEVICE where a camera is needed)
 * and loads the stored settings. Its codes (e.g. CAMERR_STORAGE on the
 * first start) are waiting in Lumora_GetLastError. errorWindow (may be null) receives every
 * recorded code as CAMMSG_ERROR.
 * Lumora_Release: stores the settings, stops everything, frees the handle; 1, or 0 for an
 * unknown handle.
 * Lumora_GetLastError: the newest recorded code, removed from the handle's history of 20; 0 when
 * none is left. Only failures are recorded (and posted): right after a failed call its code is
 * the newest, also while a preview runs.
 * Lumora_GetCameraInfo: info->size must be at least 36 (CAMERR_MEMORY), info not null
 * (CAMERR_ARGUMENT). Lumora_Width / Lumora_Height: the capture window's size in sensor pixels,
 * before subsampling; 0 for an unknown handle. Lumora_GetStatus: always 0. */
LUMORA_EXPORTED LumoraHandle LUMORA_API Lumora_Initialize(LumoraWindow errorWindow);
LUMORA_EXPORTED int LUMORA_API Lumora_Release(LumoraHandle h);
LUMORA_EXPORTED int LUMORA_API Lumora_GetLastError(LumoraHandle h);
LUMORA_EXPORTED int LUMORA_API Lumora_GetDllVersion(void);
LUMORA_EXPORTED int LUMORA_API Lumora_GetCameraInfo(LumoraHandle h, CameraInfo *info);
LUMORA_EXPORTED int LUMORA_API Lumora_GetStatus(LumoraHandle h, int ignored);
LUMORA_EXPORTED int LUMORA_API Lumora_Width(LumoraHandle h);
LUMORA_EXPORTED int LUMORA_API Lumora_Height(LumoraHandle h);

/* Device selection. Cameras are numbered from 0 in the order found; names are "LumoraK37VQ_01",
 * "LumoraK37VQ_02", ... Lumora_EnumDevice fills up to ten 256-character slots (empty strings
 * after the last camera) and returns how many cameras there are. Lumora_GetDeviceName needs
 * size >= 15 and a valid index (else CAMERR_ARGUMENT). Lumora_SetDeviceNumber: 0 with
 * CAMERR_DEVICE_NUMBER when there is no such camera; an acquisition running on the camera it
 * leaves is stopped first. */
LUMORA_EXPORTED int LUMORA_API Lumora_EnumDevice(LumoraHandle h, char names[10][256]);
LUMORA_EXPORTED int LUMORA_API Lumora_EnumDeviceW(LumoraHandle h, LumoraWChar names[10][256]);
LUMORA_EXPORTED int LUMORA_API Lumora_GetDeviceName(LumoraHandle h, int index, char *name, int size);
LUMORA_EXPORTED int LUMORA_API Lumora_GetDeviceNameW(LumoraHandle h, int index, LumoraWChar *name, int size);
LUMORA_EXPORTED int LUMORA_API Lumora_SetDeviceNumber(LumoraHandle h, int index);

/* Acquisition and preview window.
 * States: idle; previewing (Lumora_StartPreview, and inside Lumora_Preview, Lumora_CallBackPreview
 * and Lumora_Record); single frames (Lumora_Capture). Lumora_StopPreview returns to idle from
 * either. Lumora_Capture while previewing and Lumora_StartPreview in single-frame mode fail with
 * CAMERR_NO_DEVICE; Lumora_SnapShot while previewing returns 0 and records nothing.
 * Preparing an acquisition fails with CAMERR_DEVICE_NUMBER (no camera), CAMERR_CAPTURE_WINDOW
 * (the window does not fit the sensor or the sensor refuses it), CAMERR_MEMORY, and the starting
 * call adds its own code (CAMERR_NO_DEVICE, CAMERR_TRANSFER for the preview calls,
 * CAMERR_STORAGE for Lumora_Record, CAMERR_WINDOW when no window can be made, CAMERR_THREAD).
 * One camera streams for one handle at a time: starting an acquisition (or an idle
 * Lumora_SnapShot) on a camera that another handle of the process is acquiring from fails with
 * CAMERR_NO_DEVICE (and the starting call's own code) before anything reaches the camera; the
 * other handle's acquisition goes on untouched.
 * Lumora_CallBackPreview: after each frame copies it into buffer (size bytes, at least
 * stride x height of the colour mode's picture, see LumoraPictureSize, else CAMMSG_FRAME (0,
 * CAMERR_MEMORY) instead of the frame; a negative size is CAMERR_ARGUMENT) and posts
 * CAMMSG_FRAME (wParam = FrameInfo*, lParam 0) to notifyWindow; a failed frame posts (0,
 * CAMERR_TRANSFER), a stopped camera (0, CAMERR_STREAM_STOPPED). The buffer must stay valid
 * until Lumora_StopPreview, Lumora_Close or Lumora_Release returns.
 * Lumora_Record: durationMs 0..LUMORA_RECORD_MAX_MS (else CAMERR_ARGUMENT); a 24-bit AVI of the
 * processed frames with their measured rate, finished after durationMs, or when the acquisition
 * stops earlier; a file that cannot take the next frame ends the recording with CAMERR_STORAGE.
 * Lumora_SnapShot: fetches and processes one frame (preparing one when idle), copying it into
 * buffer when buffer and size are given; 0 with CAMERR_TRANSFER when no frame comes (the wait
 * is at most 8 s). Lumora_GetImage: the latest processed frame into buffer (CAMERR_MEMORY when
 * there is none or the buffer is too small, CAMERR_ARGUMENT for a negative size; SnapShot
 * alike). Lumora_SaveImage: the latest processed frame as a file, format LUMORA_IMAGE_*
 * (another format, or no file name: CAMERR_ARGUMENT); 0 with CAMERR_NO_DEVICE when there is no
 * frame, CAMERR_STORAGE when the file cannot be written. Lumora_SetPreviewWindow: parent and
 * placement of the next preview window (null parent: a top-level window of the frame's size). */
LUMORA_EXPORTED int LUMORA_API Lumora_Preview(LumoraHandle h);
LUMORA_EXPORTED int LUMORA_API Lumora_CallBackPreview(LumoraHandle h, LumoraWindow notifyWindow, void *buffer, int size, int flag);
LUMORA_EXPORTED int LUMORA_API Lumora_Record(LumoraHandle h, const char *fileName, int durationMs, int showWindow);
LUMORA_EXPORTED int LUMORA_API Lumora_RecordW(LumoraHandle h, const LumoraWChar *fileName, int durationMs, int showWindow);
LUMORA_EXPORTED int LUMORA_API Lumora_StartPreview(LumoraHandle h);
LUMORA_EXPORTED int LUMORA_API Lumora_StopPreview(LumoraHandle h);
LUMORA_EXPORTED int LUMORA_API Lumora_Close(LumoraHandle h);
LUMORA_EXPORTED int LUMORA_API Lumora_GetImage(LumoraHandle h, void *buffer, int size, int flag);
LUMORA_EXPORTED int LUMORA_API Lumora_Capture(LumoraHandle h);
LUMORA_EXPORTED int LUMORA_API Lumora_SnapShot(LumoraHandle h, void *buffer, int size, int flag);
LUMORA_EXPORTED int LUMORA_API Lumora_SaveImage(LumoraHandle h, const char *fileName, int format);
LUMORA_EXPORTED int LUMORA_API Lumora_SaveImageW(LumoraHandle h, const LumoraWChar *fileName, int format);
LUMORA_EXPORTED int LUMORA_API Lumora_SetPreviewWindow(LumoraHandle h, LumoraWindow parent, int x, int y, int width, int height);

/* Geometry and sensor settings. Lumora_SetColorMode: 8, 16, 24, 32, 48, 64 (CAMERR_ARGUMENT
 * otherwise); Lumora_GetColorMode reports 8, 12, 24, 32, 44, 60 (see above). Lumora_SetSubSample:
 * 0 full, 1 half, 2 quarter resolution (skipping), 17 and 18 half and quarter with binning
 * (else CAMERR_ARGUMENT). Lumora_SetWaitTime: the preview's polling interval in ms, >= 0 (else
 * CAMERR_ARGUMENT; default 10). Lumora_SetHalfClock: 0..9, the pixel clock (1..5 select
 * 64, 76.8, 96, 128 and 192 MHz; 0 and 6..9 54.8 MHz), applied at the next acquisition.
 * Lumora_SetAutoIris: 0 off, 1 automatic exposure, 2 automatic gain, run on every frame.
 * Lumora_GetRealExposureTime: the exposure in microseconds at the line timing read when the last
 * acquisition was prepared (0 before any). These settings reach the camera when the next
 * acquisition is prepared.
 *
 * The sensor settings (capture window, mirrors, and the gains and exposure below) are kept by the
 * camera object and written to the selected camera at once; they are written again whenever an
 * acquisition is prepared. A setter that returns 0 with CAMERR_REGISTER has kept the value, but
 * the camera did not take it: no camera is attached or selected, it was unplugged, a transfer
 * failed, or streaming did not pause for the write. */
LUMORA_EXPORTED int LUMORA_API Lumora_SetColorMode(LumoraHandle h, int bits);
LUMORA_EXPORTED int LUMORA_API Lumora_GetColorMode(LumoraHandle h);
/* Lumora_SetCaptureWindow: the first stored preset of width x height (the presets of the camera
 * property dialog, kept with the settings; the first run stores the full sensor) becomes the
 * capture window; 0 with CAMERR_WINDOW when no preset has that size (nothing changes). A preset
 * that does not lie on the sensor becomes the full sensor (1, with CAMERR_CAPTURE_WINDOW); one
 * the sensor cannot read out fails as below.
 * Lumora_SetCaptureWindowEx: the window (the totals are stored, not used) in sensor pixels; the
 * sensor reads at least 4 x 3. 0 with CAMERR_CAPTURE_WINDOW when the window lies outside the
 * sensor, the sensor cannot read it out or the subsampling mode is out of range: the previous
 * window stays in force (Lumora_Width, Lumora_Height, the sensor and Lumora_GetCaptureWindowEx).
 * 0 with CAMERR_REGISTER when the camera did not take it: the six values are kept, and the next
 * acquisition sends them again. */
LUMORA_EXPORTED int LUMORA_API Lumora_SetCaptureWindow(LumoraHandle h, int width, int height);
LUMORA_EXPORTED int LUMORA_API Lumora_SetCaptureWindowEx(LumoraHandle h, int hTotal, int hStart, int hEffective, int vTotal, int vStart, int vEffective);
LUMORA_EXPORTED int LUMORA_API Lumora_GetCaptureWindowEx(LumoraHandle h, int *hTotal, int *hStart, int *hEffective, int *vTotal, int *vStart, int *vEffective);
LUMORA_EXPORTED int LUMORA_API Lumora_SetSubSample(LumoraHandle h, int mode);
LUMORA_EXPORTED int LUMORA_API Lumora_GetSubSample(LumoraHandle h);
LUMORA_EXPORTED int LUMORA_API Lumora_SetWaitTime(LumoraHandle h, int ms);
LUMORA_EXPORTED int LUMORA_API Lumora_GetWaitTime(LumoraHandle h);
LUMORA_EXPORTED int LUMORA_API Lumora_SetHalfClock(LumoraHandle h, int clock);
LUMORA_EXPORTED int LUMORA_API Lumora_GetHalfClock(LumoraHandle h);
LUMORA_EXPORTED int LUMORA_API Lumora_SetAutoIris(LumoraHandle h, int mode);
LUMORA_EXPORTED int LUMORA_API Lumora_GetAutoIris(LumoraHandle h, int *ok);
/* Mirroring: a change moves the Bayer phase (vertical bit 0, horizontal bit 1), and the flag is
 * written to the camera even when unchanged. 0: CAMERR_REGISTER, the camera did not take it (the
 * flag and the phase are kept). */
LUMORA_EXPORTED int LUMORA_API Lumora_SetMirrorV(LumoraHandle h, int on);
LUMORA_EXPORTED int LUMORA_API Lumora_SetMirrorH(LumoraHandle h, int on);
/* The camera's mirror state, 1 or 0; 0 also when the camera does not answer (nothing recorded). */
LUMORA_EXPORTED int LUMORA_API Lumora_GetMirrorV(LumoraHandle h);
LUMORA_EXPORTED int LUMORA_API Lumora_GetMirrorH(LumoraHandle h);
LUMORA_EXPORTED int LUMORA_API Lumora_GetRealExposureTime(LumoraHandle h, int *ok);

/* Registers, serial ROM and I/O port. Sensor registers are 16 bits wide; Lumora_WriteRegister
 * and Lumora_ReadRegister take the low 8 bits of the address, the Ex forms addresses 0..0xFFFF;
 * values are 0..0xFFFF. Another address or value is CAMERR_ARGUMENT (nothing is written), a
 * failed transfer CAMERR_REGISTER (the read returns 0 and *ok = 0). This model has no serial ROM
 * and no port: Lumora_ReadSromID and Lumora_WriteSromID fail with CAMERR_NO_DEVICE,
 * Lumora_SetIOPort returns 0, Lumora_GetIOPort reports 0. */
LUMORA_EXPORTED int LUMORA_API Lumora_WriteRegister(LumoraHandle h, int address, int value);
LUMORA_EXPORTED int LUMORA_API Lumora_WriteRegisterEx(LumoraHandle h, int address, int value);
LUMORA_EXPORTED int LUMORA_API Lumora_ReadRegister(LumoraHandle h, int address, int *ok);
LUMORA_EXPORTED int LUMORA_API Lumora_ReadRegisterEx(LumoraHandle h, int address, int *ok);
LUMORA_EXPORTED int LUMORA_API Lumora_ReadSromID(LumoraHandle h, int address, int *ok);
LUMORA_EXPORTED int LUMORA_API Lumora_WriteSromID(LumoraHandle h, int address, int value);
LUMORA_EXPORTED int LUMORA_API Lumora_SetIOPort(LumoraHandle h, int value, int reserved1, int reserved2);
LUMORA_EXPORTED int LUMORA_API Lumora_GetIOPort(LumoraHandle h, unsigned char *value, int reserved1, int reserved2);

/* Settings dialogs, modal, owned by owner. Where a dialog is not offered (Linux) it records
 * CAMERR_UNSUPPORTED and returns 0. */
LUMORA_EXPORTED int LUMORA_API Lumora_SetCameraDlg(LumoraHandle h, LumoraWindow owner);
LUMORA_EXPORTED int LUMORA_API Lumora_SetImageDlg(LumoraHandle h, LumoraWindow owner);
LUMORA_EXPORTED int LUMORA_API Lumora_SetAnalogDlg(LumoraHandle h, LumoraWindow owner);

/* Filter values by index (1..27), and the named forms of each index. A setter returns 0 with
 * CAMERR_ARGUMENT for an index or value out of range (nothing is kept). Indexes 13..18 live in the
 * sensor: their setters return 0 with CAMERR_REGISTER when the camera did not take the value
 * (it is kept, see the sensor settings above), and their getters read the camera, returning 0
 * with *ok = 0 and CAMERR_REGISTER when it does not answer. */
LUMORA_EXPORTED int LUMORA_API Lumora_SetFilterValue(LumoraHandle h, int index, int value);
LUMORA_EXPORTED int LUMORA_API Lumora_GetFilterValue(LumoraHandle h, int index, int *ok);

#define LUMORA_FILTER_EXPORT(name) \
    LUMORA_EXPORTED int LUMORA_API Lumora_Set##name(LumoraHandle h, int value); \
    LUMORA_EXPORTED int LUMORA_API Lumora_Get##name(LumoraHandle h, int *ok);

LUMORA_FILTER_EXPORT(Brightness)     /*  1: -255..255 */
LUMORA_FILTER_EXPORT(Contrast)       /*  2: -127..127 */
LUMORA_FILTER_EXPORT(Hue)            /*  3: -360..360 */
LUMORA_FILTER_EXPORT(Saturation)     /*  4: -255..255 */
LUMORA_FILTER_EXPORT(Sharpness)      /*  5: 0..30 */
LUMORA_FILTER_EXPORT(BayerGainRGB)   /*  6: red | green << 8 | blue << 16 */
LUMORA_FILTER_EXPORT(BayerGainRed)   /*  7: 0..400, 100 = unity */
LUMORA_FILTER_EXPORT(BayerGainGreen) /*  8: 0..400 */
LUMORA_FILTER_EXPORT(BayerGainBlue)  /*  9: 0..400 */
LUMORA_FILTER_EXPORT(BayerGainAuto)  /* 10: automatic white balance, 0/1 */
LUMORA_FILTER_EXPORT(Gamma)          /* 11: 0..200, 100 = unchanged */
LUMORA_FILTER_EXPORT(BayerMode)      /* 12: Bayer phase 0..3 */
LUMORA_FILTER_EXPORT(GlobalGain)     /* 13: 0..127, also sets the four colour gains */
LUMORA_FILTER_EXPORT(ColorGainRed)   /* 14: 0..127 */
LUMORA_FILTER_EXPORT(ColorGainGreen1)/* 15: 0..127 */
LUMORA_FILTER_EXPORT(ColorGainGreen2)/* 16: 0..127 */
LUMORA_FILTER_EXPORT(ColorGainBlue)  /* 17: 0..127 */
LUMORA_FILTER_EXPORT(ExposureTime)   /* 18: sensor lines, CameraInfo's exposure range (0 is 1) */
LUMORA_FILTER_EXPORT(GrayMode)       /* 19: 0..2 */
LUMORA_FILTER_EXPORT(GrayGainR)      /* 20: 0..255 */
LUMORA_FILTER_EXPORT(GrayGainG1)     /* 21: 0..255 */
LUMORA_FILTER_EXPORT(GrayGainG2)     /* 22: 0..255 */
LUMORA_FILTER_EXPORT(GrayGainB)      /* 23: 0..255 */
LUMORA_FILTER_EXPORT(GrayOffsetR)    /* 24: -255..255 */
LUMORA_FILTER_EXPORT(GrayOffsetG1)   /* 25: -255..255 */
LUMORA_FILTER_EXPORT(GrayOffsetG2)   /* 26: -255..255 */
LUMORA_FILTER_EXPORT(GrayOffsetB)    /* 27: -255..255 */

#undef LUMORA_FILTER_EXPORT

/* Operations this camera model does not offer: they return 0 (and record CAMERR_UNSUPPORTED,
 * except the two getters, which write 0 to *value). */
LUMORA_EXPORTED int LUMORA_API Lumora_Fps(LumoraHandle h);
LUMORA_EXPORTED int LUMORA_API Lumora_GetCameraType(LumoraHandle h);
LUMORA_EXPORTED int LUMORA_API Lumora_SetCameraType(LumoraHandle h, int type);
LUMORA_EXPORTED int LUMORA_API Lumora_SetCrossbar(LumoraHandle h, int input);
LUMORA_EXPORTED int LUMORA_API Lumora_SetSamplingRate(LumoraHandle h, int rate);
LUMORA_EXPORTED int LUMORA_API Lumora_Trigger(LumoraHandle h);
LUMORA_EXPORTED int LUMORA_API Lumora_GetSamplingRate(LumoraHandle h, int *value);
LUMORA_EXPORTED int LUMORA_API Lumora_GetVideoFormat(LumoraHandle h, int *value);

/* The pictures an acquisition started now would deliver: *width x *height pixels (the capture
 * window after subsampling) of *bitsPerPixel bits (the bits Lumora_SetColorMode takes: 8, 16,
 * 24, 32, 48 or 64). Returns the bytes of one picture in memory, stride x height: the size the
 * buffer of Lumora_CallBackPreview, Lumora_GetImage and Lumora_SnapShot needs. 0 (and zeros)
 * for an unknown handle. Any pointer may be null. A helper of this header, on Lumora_Width,
 * Lumora_Height, Lumora_GetSubSample and Lumora_GetColorMode, not a function of the library. */
static inline int LumoraPictureSize(LumoraHandle h, int *width, int *height, int *bitsPerPixel) {
    const int sub = Lumora_GetSubSample(h), reported = Lumora_GetColorMode(h);
    const int divisor = sub == 1 || sub == 17 ? 2 : sub == 2 || sub == 18 ? 4 : 1;
    const int bits = reported == 12 ? 16 : reported == 44 ? 48 : reported == 60 ? 64 : reported;
    int w = Lumora_Width(h) / divisor, ht = Lumora_Height(h) / divisor;
    if (w <= 0 || ht <= 0 || bits <= 0) w = ht = 0;
    if (width) *width = w;
    if (height) *height = ht;
    if (bitsPerPixel) *bitsPerPixel = w > 0 ? bits : 0;
    return ((w * (bits / 8) + 3) & ~3) * ht;
}

/* ---- Extensions: frame details and stream statistics (LumoraEx_) ----
 *
 * Beside the Lumora_ functions, which are unchanged. Each takes a record whose size member the
 * caller sets to the size of the record it knows (sizeof); a smaller size, a null record or a
 * handle that is not open gives 0 and changes nothing (CAMERR_ARGUMENT is recorded for a bad
 * record). On success the size member is set to the size filled in.
 *
 * The device numbers frames from 1 at each start of a stream (each Lumora_CallBackPreview,
 * Lumora_Preview, Lumora_StartPreview, Lumora_Record; a single capture of Lumora_SnapShot is
 * frame 1). A frame it completes that the application never receives leaves a gap in the
 * numbers, counted in skippedBefore of the next frame delivered and, by cause, in the stream
 * statistics. */

/* One delivered frame: its number, the time the device finished reading it (timestamp, in
 * microseconds of the system's monotonic clock: CLOCK_MONOTONIC on Linux, the performance
 * counter on Windows), the sensor's exposure (lines, and microseconds by the line timing and
 * clock) and gains (0..127) for it, and the frames skipped since the previous frame delivered.
 * The layout is the same for every compiler of a platform (48 bytes). */
typedef struct LumoraExFrameDetails {
    int size;
    unsigned int number;
    unsigned int skippedBefore;
    unsigned int exposureLines;
    unsigned int exposureMicroseconds;
    unsigned int globalGain;
    unsigned int gainRed;
    unsigned int gainGreen1;
    unsigned int gainGreen2;
    unsigned int gainBlue;
    unsigned long long timestamp;
} LumoraExFrameDetails;

/* The counts of the current or last acquisition (a stream, a recording or a snapshot) from its
 * start, readable while it runs and after it ended: frames the device completed, frames
 * delivered to the application, frames skipped (the sum of the three causes), failed transfers
 * and stalls (the camera did not raise its ready flag within the wait time). Skipped by cause:
 * the consumer (pipeline, paint, callback) was still busy when a newer frame completed; the
 * frame did not have the prepared size (the capture window changed while streaming); the
 * acquisition ended before the frame was taken. While a stream runs, completed may exceed
 * delivered + skipped by the frame in flight. */
typedef struct LumoraExStreamStatistics {
    int size;
    unsigned int completed;
    unsigned int delivered;
    unsigned int skipped;
    unsigned int failed;
    unsigned int stalls;
    unsigned int skippedConsumerBusy;
    unsigned int skippedWrongSize;
    unsigned int skippedStreamEnd;
    unsigned int reconnects;
} LumoraExStreamStatistics;

/* The details of the frame delivered last on the handle: 1, or 0 when no frame was delivered
 * since the handle was opened. Unlike the Lumora_ functions, this one may be called from the
 * notifier of Lumora_CallBackPreview (outside Windows): there it gives the frame that the
 * CAMMSG_FRAME being handled announces. On Windows, where the message is posted and handled
 * later, it gives the newest frame delivered by then (like the FrameInfo the message points to,
 * which is rewritten for each frame): its number tells which one. After Lumora_SnapShot it gives
 * the snapshot's frame. */
LUMORA_EXPORTED int LUMORA_API LumoraEx_GetFrameDetails(LumoraHandle h, LumoraExFrameDetails *details);
/* The stream statistics: 1, or 0. May also be called from the notifier. reconnects, the last
 * member, counts the times the camera came back to this handle since it was opened (see
 * LumoraEx_SetReconnect); a caller whose record ends before it (size 36) gets the members it
 * knows, and size is then set to 36. */
LUMORA_EXPORTED int LUMORA_API LumoraEx_GetStreamStatistics(LumoraHandle h, LumoraExStreamStatistics *statistics);

/* ---- Extensions: a camera that comes back (LumoraEx_) ----
 *
 * By default a camera that leaves the bus (unplugged, a hub reset, a power loss) ends the
 * stream: CAMMSG_ERROR with CAMERR_STREAM_STOPPED goes to the error window and, for
 * Lumora_CallBackPreview, CAMMSG_FRAME (0, CAMERR_STREAM_STOPPED) to the notify window.
 * With reconnection on, the same messages tell that it left, and the handle then watches the
 * drive the camera was on for the same camera (the status block's identification of the open
 * camera; the K37VQ has no serial ROM id besides, and nothing is ever written to a drive that
 * does not identify so). When it answers, the handle opens it again, writes its capture window,
 * clock, gains, exposure and mirrors to it (the values the handle holds then, also those set
 * while the camera was away) and goes on with the acquisition that was running: a preview (with
 * or without a window) or a callback preview resumes; a recording goes on into a new file named
 * after the first with "_1", "_2", ... before the extension (the first one is finished and
 * readable, the new one records what is left of the duration); in the capture style
 * (Lumora_Capture) the next Lumora_SnapShot takes its frame from the camera that came back
 * (and fails with CAMERR_TRANSFER while it is away). Then LUMORAEX_MSG_CAMERA_BACK goes to the
 * error window: wParam 0, lParam the number of times the camera came back to this handle.
 * Lumora_StopPreview, Lumora_Close and Lumora_Release end the wait at once.
 *
 * Frame numbers go on across the absence: the first frame after the return is numbered as if
 * the camera had delivered frames at its last frame period meanwhile (at least one number is
 * left out), and its skippedBefore counts the numbers left out, so a consumer that places frames
 * by number (or by timestamp) sees the gap. The stream statistics go on as well (completed counts
 * only frames read; the numbers left out are no skipped frames). */
#define LUMORAEX_MSG_CAMERA_BACK 0x8010

/* Reconnection on (enable 1) or off (0, the default) for the handle: 1, or 0 for a handle that
 * is not open or (CAMERR_ARGUMENT) another value of enable. May be called at any time; turned
 * off while the handle waits for its camera, the wait ends (the stream stays stopped). */
LUMORA_EXPORTED int LUMORA_API LumoraEx_SetReconnect(LumoraHandle h, int enable);
/* 1 when reconnection is on for the handle, 0 when it is off or the handle is not open. */
LUMORA_EXPORTED int LUMORA_API LumoraEx_GetReconnect(LumoraHandle h);

#ifdef __cplusplus
}
#endif

#endif /* LUMORA_LUMORASDK_H */
