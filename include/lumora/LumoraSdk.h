/*
 * Lumora K37VQ SDK - public interface.
 *
 * One header for C and C++, for the 32-bit Windows DLL (LumoraSdk_USB3_K37VQ.dll) and the
 * native Linux library (libLumoraSdk_USB3_K37VQ.so). Every function takes the camera handle
 * returned by Lumora_Initialize as its first argument (except Lumora_GetDllVersion) and returns
 * a 32-bit integer: 1 for success, 0 for failure, or the value asked for. The reason for a
 * failure is read back with Lumora_GetLastError.
 *
 * Exported functions must not be called concurrently from several threads.
 */
#ifndef LUMORA_LUMORASDK_H
#define LUMORA_LUMORASDK_H

/* LUMORA_API is the calling convention of the functions (also for pointers to them);
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

/* Window messages. CAMMSG_FRAME: wParam = FrameInfo*, lParam = 0 for a frame; wParam = 0,
 * lParam = error code for a failed frame. CAMMSG_ERROR: wParam = 0, lParam = error code. */
#define CAMMSG_FRAME 0x8002
#define CAMMSG_ERROR 0x8003

/* Still-image formats for Lumora_SaveImage. */
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

/* Posted with every frame of Lumora_CallBackPreview. size is sizeof(FrameInfo) (24 in the DLL). */
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

/* Lifecycle and information */
LUMORA_EXPORTED LumoraHandle LUMORA_API Lumora_Initialize(LumoraWindow errorWindow);
LUMORA_EXPORTED int LUMORA_API Lumora_Release(LumoraHandle h);
LUMORA_EXPORTED int LUMORA_API Lumora_GetLastError(LumoraHandle h);
LUMORA_EXPORTED int LUMORA_API Lumora_GetDllVersion(void);
LUMORA_EXPORTED int LUMORA_API Lumora_GetCameraInfo(LumoraHandle h, CameraInfo *info);
LUMORA_EXPORTED int LUMORA_API Lumora_GetStatus(LumoraHandle h, int ignored);
LUMORA_EXPORTED int LUMORA_API Lumora_Width(LumoraHandle h);
LUMORA_EXPORTED int LUMORA_API Lumora_Height(LumoraHandle h);

/* Device selection */
LUMORA_EXPORTED int LUMORA_API Lumora_EnumDevice(LumoraHandle h, char names[10][256]);
LUMORA_EXPORTED int LUMORA_API Lumora_EnumDeviceW(LumoraHandle h, LumoraWChar names[10][256]);
LUMORA_EXPORTED int LUMORA_API Lumora_GetDeviceName(LumoraHandle h, int index, char *name, int size);
LUMORA_EXPORTED int LUMORA_API Lumora_GetDeviceNameW(LumoraHandle h, int index, LumoraWChar *name, int size);
LUMORA_EXPORTED int LUMORA_API Lumora_SetDeviceNumber(LumoraHandle h, int index);

/* Acquisition and preview window */
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

/* Geometry and sensor settings.
 * The sensor settings (capture window, mirrors, and the gains and exposure below) are kept by the
 * camera object and written to the selected camera at once; they are written again whenever an
 * acquisition is prepared. A setter that returns 0 with CAMERR_REGISTER has kept the value, but
 * the camera did not take it: no camera is attached or selected, it was unplugged, a transfer
 * failed, or streaming did not pause for the write. */
LUMORA_EXPORTED int LUMORA_API Lumora_SetColorMode(LumoraHandle h, int bits);
LUMORA_EXPORTED int LUMORA_API Lumora_GetColorMode(LumoraHandle h);
LUMORA_EXPORTED int LUMORA_API Lumora_SetCaptureWindow(LumoraHandle h, int width, int height);
/* 0: CAMERR_CAPTURE_WINDOW, the window lies outside the sensor or the subsampling mode is out of
 * range; or CAMERR_REGISTER, the camera did not take the window. Either way the six values are
 * kept and Lumora_GetCaptureWindowEx returns them. */
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

/* Registers, serial ROM and I/O port */
LUMORA_EXPORTED int LUMORA_API Lumora_WriteRegister(LumoraHandle h, int address, int value);
LUMORA_EXPORTED int LUMORA_API Lumora_WriteRegisterEx(LumoraHandle h, int address, int value);
LUMORA_EXPORTED int LUMORA_API Lumora_ReadRegister(LumoraHandle h, int address, int *ok);
LUMORA_EXPORTED int LUMORA_API Lumora_ReadRegisterEx(LumoraHandle h, int address, int *ok);
LUMORA_EXPORTED int LUMORA_API Lumora_ReadSromID(LumoraHandle h, int address, int *ok);
LUMORA_EXPORTED int LUMORA_API Lumora_WriteSromID(LumoraHandle h, int address, int value);
LUMORA_EXPORTED int LUMORA_API Lumora_SetIOPort(LumoraHandle h, int value, int reserved1, int reserved2);
LUMORA_EXPORTED int LUMORA_API Lumora_GetIOPort(LumoraHandle h, unsigned char *value, int reserved1, int reserved2);

/* Settings dialogs (modal, Windows only: on Linux they return 0 with CAMERR_UNSUPPORTED) */
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
LUMORA_FILTER_EXPORT(ExposureTime)   /* 18: 0..8192 sensor lines */
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

#ifdef __cplusplus
}
#endif

#endif /* LUMORA_LUMORASDK_H */
