#include "platform/preview_surface.h"

#include <windows.h>

#include <string>

namespace lumora::platform {

namespace {

constexpr DWORD kChildStyle = WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN;
constexpr DWORD kTopLevelStyle = WS_OVERLAPPEDWINDOW | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN;
static_assert(kChildStyle == 0x52000000, "child window style");
static_assert(kTopLevelStyle == 0x16CF0000, "top-level window style");
constexpr int kChildId = 6540;

// The class of the program that runs the library: the default window procedure, an arrow
// cursor and a black background.
bool RegisterPreviewClass(const char* name, HINSTANCE instance) {
    WNDCLASSEXA wc{};
    wc.cbSize = sizeof wc;
    wc.style = 0;
    wc.lpfnWndProc = DefWindowProcA;
    wc.hInstance = instance;
    wc.hCursor = LoadCursorA(nullptr, MAKEINTRESOURCEA(32512));  // IDC_ARROW
    wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    wc.lpszClassName = name;
    return RegisterClassExA(&wc) != 0;
}

}  // namespace

struct PreviewSurface::Native {
    HINSTANCE instance = nullptr;
    std::string className;  // registered
    HWND window = nullptr;
    HDC dc = nullptr;

    // Registers className; null when it cannot.
    static std::unique_ptr<Native> Register(const char* className) {
        if (className == nullptr) return nullptr;
        HINSTANCE instance = GetModuleHandleA(nullptr);
        if (!RegisterPreviewClass(className, instance)) return nullptr;
        std::unique_ptr<Native> native(new Native);
        native->instance = instance;
        native->className = className;
        return native;
    }

    // Creates, focuses, shows and updates the window of the registered class. False when the
    // window cannot be made or not be updated.
    bool Open(const char* title, DWORD style, int x, int y, int width, int height, HWND parent,
              HMENU id) {
        window = CreateWindowExA(WS_EX_LEFT, className.c_str(), title, style, x, y, width,
                                 height, parent, id, instance, nullptr);
        if (window == nullptr) return false;
        SetFocus(window);
        ShowWindow(window, SW_SHOW);
        return UpdateWindow(window) != 0;
    }
};

PreviewSurface::PreviewSurface() = default;

PreviewSurface::~PreviewSurface() { Destroy(); }

bool PreviewSurface::Available() { return true; }

bool PreviewSurface::CreateChild(const char* className, const char* title, WindowHandle parent,
                                 int x, int y, int width, int height) {
    Destroy();
    if (parent == nullptr || !(native_ = Native::Register(className))) return false;
    if (!native_->Open(title, kChildStyle, x, y, width, height, static_cast<HWND>(parent),
                       reinterpret_cast<HMENU>(static_cast<INT_PTR>(kChildId)))) {
        Destroy();
        return false;
    }
    return true;
}

bool PreviewSurface::CreateTopLevel(const char* className, const char* title, int clientWidth,
                                    int clientHeight) {
    Destroy();
    if (!(native_ = Native::Register(className))) return false;
    RECT frame{0, 0, clientWidth, clientHeight};
    bool ok = AdjustWindowRectEx(&frame, kTopLevelStyle, FALSE, WS_EX_LEFT) != 0;
    if (ok) {
        const int outerWidth = frame.right - frame.left;
        const int outerHeight = frame.bottom - frame.top;
        ok = native_->Open(title, kTopLevelStyle, (GetSystemMetrics(SM_CXSCREEN) - outerWidth) / 2,
                           (GetSystemMetrics(SM_CYSCREEN) - outerHeight) / 2, outerWidth,
                           outerHeight, nullptr, nullptr);
    }
    if (!ok) Destroy();
    return ok;
}

bool PreviewSurface::TakeContext() {
    if (!native_ || native_->window == nullptr) return false;
    if (native_->dc == nullptr) native_->dc = GetDC(native_->window);
    return native_->dc != nullptr;
}

bool PreviewSurface::Exists() const { return native_ && native_->window != nullptr; }

bool PreviewSurface::HasContext() const { return native_ && native_->dc != nullptr; }

WindowHandle PreviewSurface::Handle() const { return native_ ? native_->window : nullptr; }

ClientArea PreviewSurface::Client() {
    ClientArea area;
    if (!native_ || native_->window == nullptr) return area;
    RECT client{};
    // A window the user closed was destroyed by the default window procedure: neither call
    // succeeds for it any more.
    if (!GetClientRect(native_->window, &client)) return area;
    area.visible = IsWindowVisible(native_->window) != 0;
    area.width = client.right - client.left;
    area.height = client.bottom - client.top;
    return area;
}

bool PreviewSurface::Paint(const PaintSource& source, int width, int height, bool mirrored) {
    if (!native_ || native_->dc == nullptr || source.dc == nullptr) return false;
    HDC dest = native_->dc;
    HDC from = static_cast<HDC>(source.dc);
    // A negative source height turns the picture upside down in one copy. Its origin is the
    // first row copied, so the copy starts at row height - 1: from row height it would take a
    // row below the bitmap first and never reach row 0.
    const BOOL ok =
        mirrored ? StretchBlt(dest, 0, 0, width, height, from, 0, height - 1, width, -height, SRCCOPY)
                 : BitBlt(dest, 0, 0, width, height, from, 0, 0, SRCCOPY);
    return ok != 0;
}

void PreviewSurface::Destroy() {
    if (!native_) return;
    if (native_->dc != nullptr) ReleaseDC(native_->window, native_->dc);
    if (native_->window != nullptr) DestroyWindow(native_->window);
    if (!native_->className.empty()) UnregisterClassA(native_->className.c_str(), native_->instance);
    native_.reset();
}

}  // namespace lumora::platform
