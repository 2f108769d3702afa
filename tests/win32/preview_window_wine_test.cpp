// Runs under Wine against the Windows build: the preview window as a real window. Its class per
// creation, the top-level window's client area and centring, the child's place and identifier,
// painting through the 1:1 and the scaled path read back from the window, and teardown. The
// exit code is the verdict.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <memory>

#include "camera/camera_object.h"

namespace {

int failures = 0;

void Check(bool ok, const char* what) {
    if (!ok) {
        std::printf("FAILED: %s\n", what);
        ++failures;
    }
}

void Pump() {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
}

HWND Hwnd(const lumora::CameraObject& c) { return static_cast<HWND>(c.preview.Handle()); }

bool ClassRegistered(const char* name) {
    WNDCLASSEXA wc{};
    wc.cbSize = sizeof wc;
    return GetClassInfoExA(GetModuleHandleA(nullptr), name, &wc) != 0;
}

void CheckClassName(const lumora::CameraObject& c) {
    unsigned address = 0, salt = 0;
    int length = 0;
    const char* name = c.preview.ClassName();
    Check(std::sscanf(name, "VideoRenderer_%8x_%8x%n", &address, &salt, &length) == 2 &&
              length == 31 && std::strlen(name) == 31,
          "class name VideoRenderer_%08x_%08x");
    Check(address == static_cast<unsigned>(reinterpret_cast<uintptr_t>(&c)), "class name holds the camera's address");
    char actual[256] = {};
    GetClassNameA(Hwnd(c), actual, sizeof actual);
    Check(std::strcmp(actual, name) == 0 && ClassRegistered(name), "the window is of the registered class");
}

// A frame of 16 x 12 in the colour mode whose upper memory rows hold top and the rest bottom.
void MakeFrame(lumora::CameraObject& c, int mode, COLORREF top, COLORREF bottom) {
    std::unique_ptr<lumora::ImageBuffer>* buffers[] = {&c.buffer8, &c.buffer16, &c.buffer24,
                                                       &c.buffer32, &c.buffer48, &c.buffer64};
    const int bits[] = {8, 16, 24, 32, 48, 64};
    for (int i = 0; i < 6; ++i) {
        buffers[i]->reset(new lumora::ImageBuffer);
        (*buffers[i])->Create(16, 12, bits[i]);
    }
    c.colorMode = mode;
    lumora::ImageBuffer& b = **buffers[mode];
    for (int row = 0; row < 12; ++row) {
        const COLORREF colour = row < 6 ? top : bottom;
        const int bgr[4] = {GetBValue(colour), GetGValue(colour), GetRValue(colour), 255};
        for (int x = 0; x < 16; ++x) {
            if (mode == 0) b.Row(row)[x] = static_cast<uint8_t>(bgr[0]);
            if (mode == 1) reinterpret_cast<uint16_t*>(b.Row(row))[x] = static_cast<uint16_t>(bgr[0] * 16);
            if (mode == 2 || mode == 3)
                for (int s = 0; s < 3; ++s) b.Row(row)[x * (mode == 2 ? 3 : 4) + s] = static_cast<uint8_t>(bgr[s]);
            if (mode == 4) for (int s = 0; s < 3; ++s) reinterpret_cast<uint16_t*>(b.Row(row))[x * 3 + s] = static_cast<uint16_t>(bgr[s] * 16);
        }
    }
}

}  // namespace

int main() {
    using lumora::CameraObject;

    // Top-level: the client area has the frame size at subsampling 2, centred; two cameras, two classes.
    {
        CameraObject first, second;
        first.subsamplingMode = second.subsamplingMode = 2;
        Check(first.preview.Create(nullptr, {}) && second.preview.Create(nullptr, {}), "top-level windows made");
        Pump();
        CheckClassName(first);
        CheckClassName(second);
        Check(std::strcmp(first.preview.ClassName(), second.preview.ClassName()) != 0, "two cameras, two classes");
        RECT client{}, outer{};
        GetClientRect(Hwnd(first), &client);
        GetWindowRect(Hwnd(first), &outer);
        Check(client.right == 872 && client.bottom == 654, "client area 872 x 654");
        Check(outer.left == (GetSystemMetrics(SM_CXSCREEN) - (outer.right - outer.left)) / 2 &&
                  outer.top == (GetSystemMetrics(SM_CYSCREEN) - (outer.bottom - outer.top)) / 2,
              "centred on the screen");
        Check(static_cast<DWORD>(GetWindowLongA(Hwnd(first), GWL_STYLE)) == 0x16CF0000, "top-level style");
        char title[64] = {};
        GetWindowTextA(Hwnd(first), title, sizeof title);
        Check(std::strcmp(title, "Active Window") == 0, "top-level title");

        HWND window = Hwnd(first);
        const std::string name = first.preview.ClassName();
        first.preview.Destroy();
        Check(!IsWindow(window) && !ClassRegistered(name.c_str()) && first.preview.ClassName()[0] == 0,
              "teardown destroys the window and unregisters the class");
        Check(IsWindow(Hwnd(second)) != 0, "the other camera's window stays");
    }

    // Child: at the placement with identifier 6540; painted through both paths.
    HWND parent = CreateWindowExA(0, "STATIC", "parent", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0,
                                  500, 400, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    {
        CameraObject camera;
        Check(camera.preview.Create(parent, {10, 20, 320, 240}), "child window made");
        HWND child = Hwnd(camera);
        RECT r{};
        GetWindowRect(child, &r);
        MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&r), 2);
        Check(r.left == 10 && r.top == 20 && r.right - r.left == 320 && r.bottom - r.top == 240,
              "child at (10, 20), 320 x 240");
        Check(GetDlgCtrlID(child) == 6540 && GetParent(child) == parent, "child identifier 6540");
        Check(static_cast<DWORD>(GetWindowLongA(child, GWL_STYLE)) == 0x52000000, "child style");
        char title[64] = {};
        GetWindowTextA(child, title, sizeof title);
        Check(std::strcmp(title, "ActiveMovie Window") == 0, "child title");
    }
    const COLORREF top = RGB(250, 20, 10), bottom = RGB(10, 30, 240);
    const COLORREF grayTop = RGB(200, 200, 200), grayBottom = RGB(50, 50, 50);
    struct Case {
        int mode, width, height;
        bool scaled;
    } cases[] = {{0, 16, 12, false}, {0, 32, 24, true}, {1, 16, 12, true}, {2, 16, 12, false},
                 {2, 40, 30, true}, {3, 16, 12, false}, {4, 8, 7, true}};
    for (const Case& c : cases) {
        CameraObject camera;
        MakeFrame(camera, c.mode, c.mode < 2 ? grayTop : top, c.mode < 2 ? grayBottom : bottom);
        Check(camera.preview.Create(parent, {0, 0, c.width, c.height}), "paint window made");
        Check(!camera.preview.Paint(), "no painting without the context");
        Check(camera.preview.TakeContext(), "context taken");
        Pump();  // the background is erased before the frame comes
        Check(camera.preview.Paint(), "painted");
        HDC dc = GetDC(Hwnd(camera));
        const COLORREF atTop = GetPixel(dc, 0, 0);
        const COLORREF atBottom = GetPixel(dc, c.width - 1, c.height - 1);
        ReleaseDC(Hwnd(camera), dc);
        char what[96];
        std::snprintf(what, sizeof what, "mode %d at %d x %d: top %06lx bottom %06lx", c.mode,
                      c.width, c.height, static_cast<unsigned long>(atTop), static_cast<unsigned long>(atBottom));
        Check(atTop == (c.mode < 2 ? grayTop : top) && atBottom == (c.mode < 2 ? grayBottom : bottom), what);
        const bool throughDisplay = camera.displayBuffer && camera.displayBuffer->IsUsable();
        Check(throughDisplay == c.scaled, "the scaled path goes through the display buffer");
        ShowWindow(Hwnd(camera), SW_HIDE);
        Check(!camera.preview.Paint(), "a hidden window is not painted");
    }
    DestroyWindow(parent);

    std::printf("%s\n", failures == 0 ? "preview window: ok" : "preview window: FAILED");
    return failures == 0 ? 0 : 1;
}
