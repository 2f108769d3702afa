/* A callback preview without a window: every frame lands in our buffer and a notification
 * counts it. count_frames [SECONDS]
 * Without a camera, run it with LUMORA_CAMEMU=1 for the library's emulated one. */
#include <stdio.h>
#include <stdlib.h>

#include <lumora/LumoraSdk.h>

#ifdef _WIN32
static void Wait(int ms) {
    DWORD end = GetTickCount() + (DWORD)ms;
    MSG msg;
    while ((int)(end - GetTickCount()) > 0) {
        while (PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
        Sleep(5);
    }
}
#else
#include <time.h>
static void Wait(int ms) {
    struct timespec t = {ms / 1000, (long)(ms % 1000) * 1000000L};
    nanosleep(&t, NULL);
}
#endif

static volatile long frames, failures;

#ifdef _WIN32
static LRESULT CALLBACK OnMessage(HWND w, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message != CAMMSG_FRAME) return DefWindowProcA(w, message, wParam, lParam);
    if (wParam != 0) frames++; else failures++;
    (void)lParam;
    return 0;
}
#else
/* Called on the library's preview thread: count and return at once. */
static void OnMessage(void *context, unsigned int message, uintptr_t wParam, intptr_t lParam) {
    (void)context;
    (void)lParam;
    if (message != CAMMSG_FRAME) return;
    if (wParam != 0) __atomic_add_fetch(&frames, 1, __ATOMIC_RELAXED);
    else __atomic_add_fetch(&failures, 1, __ATOMIC_RELAXED);
}
#endif

int main(int argc, char **argv) {
    int seconds = argc > 1 ? atoi(argv[1]) : 2;
    char names[10][256];
    unsigned char *buffer;
    int size, ok = 1;
    LumoraHandle cam = Lumora_Initialize(NULL);
#ifdef _WIN32
    WNDCLASSA wc = {0};
    wc.lpfnWndProc = OnMessage;
    wc.lpszClassName = "CountFrames";
    RegisterClassA(&wc);
    HWND target = CreateWindowExA(0, "CountFrames", "", 0, 0, 0, 0, 0, HWND_MESSAGE, NULL, NULL, NULL);
#else
    LumoraNotifier notifier = {LUMORA_NOTIFIER_TAG, OnMessage, NULL};
    LumoraWindow target = &notifier;
#endif
    if (cam == 0) return 1;
    if (Lumora_EnumDevice(cam, names) < 1) {
        fprintf(stderr, "no camera\n");
        Lumora_Release(cam);
        return 1;
    }
    Lumora_SetColorMode(cam, 24);
    Lumora_SetSubSample(cam, 2); /* a quarter of the sensor each way */
    Lumora_SetCaptureWindowEx(cam, 3488, 0, 3488, 2616, 0, 2616);
    /* The bytes of one frame as these settings give it: rows padded to 4 bytes, x height. */
    size = LumoraPictureSize(cam, NULL, NULL, NULL);
    buffer = malloc((size_t)size);
    if (buffer == NULL || !Lumora_CallBackPreview(cam, target, buffer, size, 1)) {
        fprintf(stderr, "failed: %s\n", LumoraErrorText(Lumora_GetLastError(cam)));
        ok = 0;
    } else {
        Wait(seconds * 1000);
        Lumora_StopPreview(cam);
        printf("%ld frames in %d s (%ld failed)\n", frames, seconds, failures);
    }
    Lumora_Release(cam); /* after StopPreview: no notification comes any more */
    free(buffer);
    return ok && frames > 0 ? 0 : 1;
}
