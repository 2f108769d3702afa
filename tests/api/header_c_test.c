/* The public header compiles as C, and a C program links against the shared library. */
#include "lumora/LumoraSdk.h"

#include <stdio.h>

/* The newest error the notifier was called with. */
static void Note(void *context, unsigned int message, uintptr_t wParam, intptr_t lParam) {
    int *last = (int *)context;
    if (message == CAMMSG_ERROR && wParam == 0) *last = (int)lParam;
}

int main(void) {
    CameraInfo info = {sizeof(CameraInfo), 0, 0, 0, 0, 0, 0, 0, 0};
    FrameInfo frame = {sizeof(FrameInfo), 0, 0, 0, 0, NULL};
    int lastError = -1;
    LumoraNotifier notifier = {LUMORA_NOTIFIER_TAG, Note, NULL};
    LumoraHandle h;
    int ok;
    notifier.context = &lastError;
    h = Lumora_Initialize(&notifier);
    /* An unknown colour mode is refused, and the error reaches the notifier. */
    ok = h != 0 && Lumora_SetColorMode(h, 7) == 0 && lastError == CAMERR_ARGUMENT &&
         Lumora_GetLastError(h) == CAMERR_ARGUMENT;
    /* The header's picture size: the window after subsampling, the bits set, padded rows. */
    {
        int w = -1, ht = -1, bits = -1;
        ok = ok && Lumora_SetColorMode(h, 16) && Lumora_SetSubSample(h, 17) &&
             Lumora_SetCaptureWindowEx(h, 3488, 464, 2562, 2616, 348, 1920) &&
             LumoraPictureSize(h, &w, &ht, &bits) == 2564 * 960 && w == 1281 && ht == 960 && bits == 16 &&
             LumoraPictureSize(h + 1, &w, NULL, NULL) == 0 && w == 0;
    }
    ok = ok && Lumora_GetDllVersion() == 0x012D0519 && LUMORA_VERSION == 0x012D0519 && Lumora_Release(h) == 1 && info.size == 36 &&
         frame.size > 0 && CAMMSG_FRAME == 0x8002 && CAMMSG_ERROR == 0x8003;
    printf("%s\n", ok ? "C program: ok" : "C program: FAILED");
    return ok ? 0 : 1;
}
