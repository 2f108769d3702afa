// Runs under Wine against the Windows build: the preview window as a real window. Its class per
// creation, the top-level client area and centring, the child's place and identifier, painting
// through the 1:1 and the scaled path read back with GetPixel, and teardown. The exit code is
// the verdict.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "../camera/preview_rig.h"

namespace {

int failures = 0;

void Check(bool ok, const char* what) {
    if (!ok) {
        std::printf("FAILED: %s\n", what);
        ++failures;
    }
}

HWND Hwnd(const PreviewRig& c) { return static_cast<HWND>(c.preview.Handle()); }

bool ClassRegistered(const char* name) {
    WNDCLASSEXA wc{};
    wc.cbSize = sizeof wc;
    return GetClassInfoExA(GetModuleHandleA(nullptr), name, &wc) != 0;
}

// "VideoRenderer_" with the camera's address and a random number; the window is of that class.
void CheckWindow(const PreviewRig& c, DWORD style, const char* title) {
    unsigned address = 0, salt = 0;
    int length = 0;
    const char* name = c.preview.ClassName();
    Check(std::sscanf(name, "VideoRenderer_%8x_%8x%n", &address, &salt, &length) == 2 && length == 31 &&
              std::strlen(name) == 31 && address == static_cast<unsigned>(reinterpret_cast<uintptr_t>(&c)),
          "class name VideoRenderer_%08x_%08x with the camera's address");
    char actual[256] = {}, text[64] = {};
    GetClassNameA(Hwnd(c), actual, sizeof actual);
    GetWindowTextA(Hwnd(c), text, sizeof text);
    Check(std::strcmp(actual, name) == 0 && ClassRegistered(name), "the window is of the registered class");
    Check(static_cast<DWORD>(GetWindowLongA(Hwnd(c), GWL_STYLE)) == style, "style");
    Check(std::strcmp(text, title) == 0, "title");
}

}  // namespace

int main() {
        {
        PreviewRig first, second;
        first.subsamplingMode = second.subsamplingMode = 2;
        Check(first.preview.Create(nullptr, {}) && second.preview.Create(nullptr, {}), "top-level windows made");
        CheckWindow(first, 0x16CF0000, "Active Window");
        CheckWindow(second, 0x16CF0000, "Active Window");
        Check(std::strcmp(first.preview.ClassName(), second.preview.ClassName()) != 0, "two cameras, two classes");
        RECT client{}, outer{};
        GetClientRect(Hwnd(first), &client);
        GetWindowRect(Hwnd(first), &outer);
        Check(client.right == 872 && client.bottom == 654, "client area 872 x 654");
        Check(outer.left == (GetSystemMetrics(SM_CXSCREEN) - (outer.right - outer.left)) / 2 &&
                  outer.top == (GetSystemMetrics(SM_CYSCREEN) - (outer.bottom - outer.top)) / 2,
              "centred on the screen");
        HWND window = Hwnd(first);
        const std::string name = first.preview.ClassName();
        first.preview.Destroy();
        Check(!IsWindow(window) && !ClassRegistered(name.c_str()) && first.preview.ClassName()[0] == 0,
              "teardown destroys the window and unregisters the class");
        Check(IsWindow(Hwnd(second)) != 0, "the other camera's window stays");
    }

    HWND parent = CreateWindowExA(0, "STATIC", "parent", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 500,
                                  400, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    {
        PreviewRig camera;
        Check(camera.preview.Create(parent, {10, 20, 320, 240}), "child window made");
        CheckWindow(camera, 0x52000000, "ActiveMovie Window");
        RECT r{};
        GetWindowRect(Hwnd(camera), &r);
        MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&r), 2);
        Check(r.left == 10 && r.top == 20 && r.right - r.left == 320 && r.bottom - r.top == 240,
              "child at (10, 20), 320 x 240");
        Check(GetDlgCtrlID(Hwnd(camera)) == 6540 && GetParent(Hwnd(camera)) == parent, "child identifier 6540");
    }

    // Frames of 16 x 12 whose upper memory rows are one colour and the rest another; memory row 0
    // shows at the top through both paths (mode 1 always scaled).
    const COLORREF want[3][2] = {{RGB(200, 200, 200), RGB(50, 50, 50)}, {RGB(200, 200, 200), RGB(50, 50, 50)},
                                 {RGB(250, 20, 10), RGB(10, 30, 240)}};
    const struct {
        int mode, width, height;
        bool scaled;
    } cases[] = {{0, 16, 12, false}, {0, 32, 24, true}, {1, 16, 12, true}, {2, 16, 12, false}, {2, 8, 7, true}};
    for (const auto& c : cases) {
        PreviewRig camera;
        camera.colorMode = c.mode;
        camera.buffer8.reset(new lumora::ImageBuffer);
        camera.buffer16.reset(new lumora::ImageBuffer);
        camera.buffer24.reset(new lumora::ImageBuffer);
        camera.buffer8->Create(16, 12, 8);
        camera.buffer16->Create(16, 12, 16);
        camera.buffer24->Create(16, 12, 24);
        for (int row = 0; row < 12; ++row) {
            const COLORREF colour = want[c.mode][row < 6 ? 0 : 1];
            for (int x = 0; x < 16; ++x) {
                camera.buffer8->Row(row)[x] = GetBValue(colour);
                reinterpret_cast<uint16_t*>(camera.buffer16->Row(row))[x] = static_cast<uint16_t>(GetBValue(colour) * 16);
                uint8_t* p = camera.buffer24->Row(row) + 3 * x;
                p[0] = GetBValue(colour), p[1] = GetGValue(colour), p[2] = GetRValue(colour);
            }
        }
        Check(camera.preview.Create(parent, {0, 0, c.width, c.height}), "paint window made");
        Check(!camera.preview.Paint() && camera.preview.TakeContext(), "painted only with the context");
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);  // erase first
        Check(camera.preview.Paint(), "painted");
        HDC dc = GetDC(Hwnd(camera));
        const COLORREF top = GetPixel(dc, 0, 0), bottom = GetPixel(dc, c.width - 1, c.height - 1);
        ReleaseDC(Hwnd(camera), dc);
        char what[96];
        std::snprintf(what, sizeof what, "mode %d at %d x %d: top %06lx, bottom %06lx", c.mode, c.width,
                      c.height, static_cast<unsigned long>(top), static_cast<unsigned long>(bottom));
        Check(top == want[c.mode][0] && bottom == want[c.mode][1], what);
        Check((camera.displayBuffer != nullptr) == c.scaled, "only the scaled path uses the display buffer");
        ShowWindow(Hwnd(camera), SW_HIDE);
        Check(!camera.preview.Paint(), "a hidden window is not painted");
    }
    DestroyWindow(parent);
    std::printf("%s\n", failures == 0 ? "preview window: ok" : "preview window: FAILED");
    return failures == 0 ? 0 : 1;
}
