/* One frame of the first camera into a PNG file: snapshot [FILE.png]
 * Without a camera, run it with LUMORA_CAMEMU=1 for the library's emulated one. */
#include <stdio.h>

#include <lumora/LumoraSdk.h>

int main(int argc, char **argv) {
    const char *file = argc > 1 ? argv[1] : "snapshot.png";
    char names[10][256];
    LumoraHandle cam = Lumora_Initialize(NULL);
    if (cam == 0) return 1;
    while (Lumora_GetLastError(cam) != 0) {
    } /* notes of the first start (new settings store) */
    if (Lumora_EnumDevice(cam, names) < 1) {
        fprintf(stderr, "no camera\n");
        Lumora_Release(cam);
        return 1;
    }
    /* 24-bit colour, the centre of the sensor at half resolution. */
    if (!Lumora_SetColorMode(cam, 24) || !Lumora_SetSubSample(cam, 1) ||
        !Lumora_SetCaptureWindowEx(cam, 3488, 464, 2560, 2616, 348, 1920) ||
        !Lumora_SnapShot(cam, NULL, 0, 1) || !Lumora_SaveImage(cam, file, LUMORA_IMAGE_PNG)) {
        fprintf(stderr, "failed: %s\n", LumoraErrorText(Lumora_GetLastError(cam)));
        Lumora_Release(cam);
        return 1;
    }
    /* The picture's size: the capture window after subsampling (Lumora_Width and Lumora_Height
     * give the window on the sensor). */
    {
        int width = 0, height = 0, bits = 0;
        LumoraPictureSize(cam, &width, &height, &bits);
        printf("%s: %d x %d, %d bits per pixel\n", file, width, height, bits);
    }
    Lumora_Release(cam);
    return 0;
}
