/* The public header compiles as C, and a C program links against the shared library. */
#include "lumora/LumoraSdk.h"

#include <stdio.h>

int main(void) {
    CameraInfo info = {sizeof(CameraInfo), 0, 0, 0, 0, 0, 0, 0, 0};
    FrameInfo frame = {sizeof(FrameInfo), 0, 0, 0, 0, NULL};
    LumoraHandle h = Lumora_Initialize(NULL);
    int ok = Lumora_GetDllVersion() == 0x012D0519 && h != 0 && Lumora_Release(h) == 1 &&
             info.size == 36 && frame.size > 0 && CAMMSG_FRAME == 0x8002 && CAMMSG_ERROR == 0x8003;
    printf("%s\n", ok ? "C program: ok" : "C program: FAILED");
    return ok ? 0 : 1;
}
