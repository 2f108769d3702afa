#include "view_window.h"

#include <algorithm>
#include <cstdlib>

#ifndef _WIN32
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#endif

namespace lumora::tool {

void ViewWindow::FitToScreen(int width, int height, int screenWidth, int screenHeight, int* outWidth,
                             int* outHeight) {
    const double scale = std::min({1.0, 0.9 * screenWidth / std::max(width, 1), 0.9 * screenHeight / std::max(height, 1)});
    *outWidth = std::max(1, static_cast<int>(width * scale));
    *outHeight = std::max(1, static_cast<int>(height * scale));
}

#ifdef _WIN32

struct ViewWindow::Native {
    HWND window = nullptr;
    bool closed = false;
};

namespace {

LRESULT CALLBACK ViewProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_CLOSE) {
        auto* closed = reinterpret_cast<bool*>(GetWindowLongPtrA(window, GWLP_USERDATA));
        if (closed != nullptr) *closed = true;
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

}  // namespace

ViewWindow::ViewWindow() : native_(new Native) {}

ViewWindow::~ViewWindow() {
    if (native_->window != nullptr) DestroyWindow(native_->window);
}

bool ViewWindow::OpenDisplay(std::string*) { return true; }

void ViewWindow::ScreenSize(int* width, int* height) const {
    *width = GetSystemMetrics(SM_CXSCREEN);
    *height = GetSystemMetrics(SM_CYSCREEN);
}

bool ViewWindow::Create(const std::string& title, int width, int height) {
    WNDCLASSA wc{};
    wc.lpfnWndProc = ViewProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
    wc.lpszClassName = "LumoraToolView";
    RegisterClassA(&wc);
    RECT frame{0, 0, width, height};  // the client area holds the picture
    const DWORD style = WS_OVERLAPPEDWINDOW & ~WS_THICKFRAME & ~WS_MAXIMIZEBOX;
    AdjustWindowRect(&frame, style, FALSE);
    native_->window = CreateWindowExA(0, wc.lpszClassName, title.c_str(), style | WS_CLIPCHILDREN,
                                      CW_USEDEFAULT, CW_USEDEFAULT, frame.right - frame.left,
                                      frame.bottom - frame.top, nullptr, nullptr, wc.hInstance, nullptr);
    if (native_->window == nullptr) return false;
    SetWindowLongPtrA(native_->window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&native_->closed));
    ShowWindow(native_->window, SW_SHOW);
    return true;
}

LumoraWindow ViewWindow::Parent() const { return native_->window; }

bool ViewWindow::Closed() {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    return native_->closed;
}

#else

struct ViewWindow::Native {
    Display* display = nullptr;
    Window window = 0;
    Atom deleteWindow = 0;
    bool closed = false;
};

ViewWindow::ViewWindow() : native_(new Native) {}

ViewWindow::~ViewWindow() {
    if (native_->display == nullptr) return;
    if (native_->window != 0) XDestroyWindow(native_->display, native_->window);
    XCloseDisplay(native_->display);
}

bool ViewWindow::OpenDisplay(std::string* why) {
    native_->display = XOpenDisplay(nullptr);
    if (native_->display != nullptr) return true;
    const char* name = std::getenv("DISPLAY");
    *why = name == nullptr ? "DISPLAY is not set" : *name == '\0' ? "DISPLAY is empty" : std::string("DISPLAY=") + name;
    return false;
}

void ViewWindow::ScreenSize(int* width, int* height) const {
    const int screen = DefaultScreen(native_->display);
    *width = DisplayWidth(native_->display, screen);
    *height = DisplayHeight(native_->display, screen);
}

bool ViewWindow::Create(const std::string& title, int width, int height) {
    Display* display = native_->display;
    const int screen = DefaultScreen(display);
    native_->window = XCreateSimpleWindow(display, RootWindow(display, screen), 0, 0,
                                          static_cast<unsigned>(width), static_cast<unsigned>(height), 0,
                                          BlackPixel(display, screen), BlackPixel(display, screen));
    if (native_->window == 0) return false;
    XStoreName(display, native_->window, title.c_str());
    XSizeHints size{};
    size.flags = PSize | PMinSize | PMaxSize;  // the picture does not follow a resize
    size.width = size.min_width = size.max_width = width;
    size.height = size.min_height = size.max_height = height;
    XSetWMNormalHints(display, native_->window, &size);
    native_->deleteWindow = XInternAtom(display, "WM_DELETE_WINDOW", False);
    XSetWMProtocols(display, native_->window, &native_->deleteWindow, 1);
    XMapWindow(display, native_->window);
    XSync(display, False);
    return true;
}

LumoraWindow ViewWindow::Parent() const {
    return reinterpret_cast<LumoraWindow>(static_cast<uintptr_t>(native_->window));
}

bool ViewWindow::Closed() {
    Display* display = native_->display;
    while (display != nullptr && XPending(display) > 0) {
        XEvent event;
        XNextEvent(display, &event);
        if (event.type == ClientMessage && static_cast<Atom>(event.xclient.data.l[0]) == native_->deleteWindow) {
            native_->closed = true;
        }
    }
    return native_->closed;
}

#endif

}  // namespace lumora::tool
