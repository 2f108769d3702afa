#include "platform/preview_surface.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

// Each window has a display connection of its own, so that the preview thread never shares one
// with the application (or another camera); its owner lets one thread at a time use it.

namespace lumora::platform {

namespace {

// X errors arrive asynchronously through one process-wide handler. Errors on the library's own
// connections (a parent id that names no window, a window destroyed with its parent) are
// counted per connection and otherwise ignored; errors on every other connection go on to the
// handler that was installed before, so the application's own handling stays as it was. Each
// new connection puts the handler in front again, after any the application installed since.
std::mutex errorsMutex;
std::vector<std::pair<Display*, unsigned long>> errorCounts;
std::atomic<XErrorHandler> previousHandler{nullptr};

int CountError(Display* display, XErrorEvent* event) {
    {
        std::lock_guard<std::mutex> lock(errorsMutex);
        for (auto& entry : errorCounts) {
            if (entry.first == display) {
                ++entry.second;
                return 0;
            }
        }
    }
    const XErrorHandler previous = previousHandler.load();
    return previous != nullptr ? previous(display, event) : 0;
}

unsigned long ErrorsOf(Display* display) {
    std::lock_guard<std::mutex> lock(errorsMutex);
    for (const auto& entry : errorCounts)
        if (entry.first == display) return entry.second;
    return 0;
}

Display* OpenConnection() {
    const XErrorHandler current = XSetErrorHandler(CountError);
    if (current != CountError) previousHandler = current;
    Display* display = XOpenDisplay(nullptr);
    if (display != nullptr) {
        std::lock_guard<std::mutex> lock(errorsMutex);
        errorCounts.emplace_back(display, 0);
    }
    return display;
}

void CloseConnection(Display* display) {
    XCloseDisplay(display);
    std::lock_guard<std::mutex> lock(errorsMutex);
    errorCounts.erase(std::remove_if(errorCounts.begin(), errorCounts.end(),
                                     [display](const auto& e) { return e.first == display; }),
                      errorCounts.end());
}

// The shift that places an 8-bit channel under the top of mask.
int ChannelShift(unsigned long mask) {
    int top = -1;
    for (int bit = 0; bit < static_cast<int>(8 * sizeof mask); ++bit)
        if (mask & (1UL << bit)) top = bit;
    return top - 7;
}

unsigned long Place(unsigned value, unsigned long mask) {
    const int shift = ChannelShift(mask);
    const unsigned long v = shift >= 0 ? static_cast<unsigned long>(value) << shift
                                       : static_cast<unsigned long>(value) >> -shift;
    return v & mask;
}

// X coordinates and sizes are 16-bit on the wire.
int Coordinate(int v) { return std::clamp(v, -32768, 32767); }
unsigned Extent(int v) { return static_cast<unsigned>(std::clamp(v, 1, 32767)); }

}  // namespace

struct PreviewSurface::Native {
    Display* display = nullptr;
    Window window = 0;
    GC gc = nullptr;
    Atom deleteWindow = 0;
    bool gone = false;          // destroyed by the user or with its parent
    bool trueColour = false;    // pixels can be composed from the channel tables
    unsigned long red[256] = {}, green[256] = {}, blue[256] = {};
    XImage* image = nullptr;    // reused while the painted size stays

    ~Native() {
        if (image != nullptr) XDestroyImage(image);  // frees its pixel memory too
        if (gc != nullptr) XFreeGC(display, gc);
        if (window != 0 && !gone) XDestroyWindow(display, window);
        if (display != nullptr) {
            XSync(display, False);
            CloseConnection(display);
        }
    }

    // Opens the connection and creates, names and maps the window: a child of parent at
    // (x, y), or with parent 0 a top-level window whose client area is centred on the screen
    // (the window manager adds its frame outside). False on any X error.
    bool Open(Window parent, int x, int y, int width, int height, const char* className,
              const char* title) {
        display = OpenConnection();
        if (display == nullptr) return false;
        const int screen = DefaultScreen(display);
        const bool topLevel = parent == 0;
        if (topLevel) {
            parent = RootWindow(display, screen);
            x = (DisplayWidth(display, screen) - width) / 2;
            y = (DisplayHeight(display, screen) - height) / 2;
        }
        window = XCreateSimpleWindow(display, parent, Coordinate(x), Coordinate(y), Extent(width),
                                     Extent(height), 0, BlackPixel(display, screen),
                                     BlackPixel(display, screen));
        XSelectInput(display, window, StructureNotifyMask);
        XStoreName(display, window, title);
        std::string name(className);
        XClassHint hint{name.data(), name.data()};
        XSetClassHint(display, window, &hint);
        if (topLevel) {
            XSizeHints size{};
            size.flags = USPosition | USSize;
            size.x = x;
            size.y = y;
            size.width = width;
            size.height = height;
            XSetWMNormalHints(display, window, &size);
            // Closing the window asks us rather than cutting the connection.
            deleteWindow = XInternAtom(display, "WM_DELETE_WINDOW", False);
            XSetWMProtocols(display, window, &deleteWindow, 1);
        }
        XMapWindow(display, window);
        XSync(display, False);
        if (ErrorsOf(display) != 0) return false;
        XWindowAttributes a{};
        if (XGetWindowAttributes(display, window, &a) && a.map_state == IsViewable) {
            XSetInputFocus(display, window, RevertToParent, CurrentTime);
            XFlush(display);
        }
        Visual* visual = DefaultVisual(display, screen);
        trueColour = visual->c_class == TrueColor || visual->c_class == DirectColor;
        for (unsigned v = 0; v < 256; ++v) {
            red[v] = Place(v, visual->red_mask);
            green[v] = Place(v, visual->green_mask);
            blue[v] = Place(v, visual->blue_mask);
        }
        return true;
    }

    // Takes what the window manager and the server said about the window.
    void ReadEvents() {
        while (!gone && XPending(display) > 0) {
            XEvent event;
            XNextEvent(display, &event);
            if (event.type == DestroyNotify && event.xdestroywindow.window == window) {
                gone = true;
            } else if (event.type == ClientMessage && event.xclient.window == window &&
                       static_cast<Atom>(event.xclient.data.l[0]) == deleteWindow) {
                XDestroyWindow(display, window);  // closed, as the default window procedure does
                gone = true;
            }
        }
    }

    // An image of width x height in the window's format, reusing the last one when it fits.
    XImage* ImageOf(int width, int height) {
        if (image != nullptr && image->width == width && image->height == height) return image;
        if (image != nullptr) XDestroyImage(image);
        const int screen = DefaultScreen(display);
        image = XCreateImage(display, DefaultVisual(display, screen), DefaultDepth(display, screen),
                             ZPixmap, 0, nullptr, width, height, 32, 0);
        if (image == nullptr) return nullptr;
        image->data = static_cast<char*>(std::malloc(static_cast<size_t>(image->bytes_per_line) * height));
        if (image->data == nullptr) {
            XDestroyImage(image);
            image = nullptr;
        }
        return image;
    }
};

PreviewSurface::PreviewSurface() = default;

PreviewSurface::~PreviewSurface() { Destroy(); }

bool PreviewSurface::Available() {
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) return false;
    XCloseDisplay(display);
    return true;
}

bool PreviewSurface::CreateChild(const char* className, const char* title, WindowHandle parent,
                                 int x, int y, int width, int height) {
    Destroy();
    const Window parentWindow = static_cast<Window>(reinterpret_cast<uintptr_t>(parent));
    if (className == nullptr || title == nullptr || parentWindow == 0) return false;
    native_.reset(new Native);
    if (!native_->Open(parentWindow, x, y, width, height, className, title)) {
        Destroy();
        return false;
    }
    return true;
}

bool PreviewSurface::CreateTopLevel(const char* className, const char* title, int clientWidth,
                                    int clientHeight) {
    Destroy();
    if (className == nullptr || title == nullptr) return false;
    native_.reset(new Native);
    if (!native_->Open(0, 0, 0, clientWidth, clientHeight, className, title)) {
        Destroy();
        return false;
    }
    return true;
}

bool PreviewSurface::TakeContext() {
    if (!native_ || native_->window == 0 || native_->gone) return false;
    if (native_->gc == nullptr) native_->gc = XCreateGC(native_->display, native_->window, 0, nullptr);
    return native_->gc != nullptr;
}

bool PreviewSurface::Exists() const { return native_ && native_->window != 0; }

bool PreviewSurface::HasContext() const { return native_ && native_->gc != nullptr; }

WindowHandle PreviewSurface::Handle() const {
    return native_ ? reinterpret_cast<WindowHandle>(static_cast<uintptr_t>(native_->window)) : nullptr;
}

ClientArea PreviewSurface::Client() {
    ClientArea area;
    if (!native_ || native_->window == 0) return area;
    native_->ReadEvents();
    XWindowAttributes a{};
    if (native_->gone || !XGetWindowAttributes(native_->display, native_->window, &a)) return area;
    area.visible = a.map_state == IsViewable;
    area.width = a.width;
    area.height = a.height;
    return area;
}

bool PreviewSurface::Paint(const PaintSource& source, int width, int height, bool mirrored) {
    if (!native_ || native_->gc == nullptr || native_->gone || !native_->trueColour ||
        source.bits == nullptr || source.info == nullptr)
        return false;
    const BitmapHeader& header = source.info->header;
    const int bytesPerPixel = header.bitCount / 8;
    if (bytesPerPixel != 1 && bytesPerPixel != 3 && bytesPerPixel != 4) return false;
    const int sourceHeight = header.height < 0 ? -header.height : header.height;
    width = std::min(width, header.width);
    height = std::min(height, sourceHeight);
    if (width <= 0 || height <= 0) return false;
    const size_t stride = (static_cast<size_t>(header.width) * bytesPerPixel + 3) & ~size_t{3};
    XImage* image = native_->ImageOf(width, height);
    if (image == nullptr) return false;

    const Native& n = *native_;
    unsigned long palette[256];
    if (bytesPerPixel == 1) {
        for (int i = 0; i < 256; ++i) {
            const PaletteEntry& c = source.info->colours[i];
            palette[i] = n.red[c.red] | n.green[c.green] | n.blue[c.blue];
        }
    }
    const uint16_t one = 1;
    const bool hostLsbFirst = *reinterpret_cast<const uint8_t*>(&one) == 1;
    const bool direct32 = image->bits_per_pixel == 32 &&
                          (image->byte_order == LSBFirst) == hostLsbFirst;
    // Window row y shows picture row y (or height - 1 - y when mirrored); a bottom-up bitmap
    // holds picture row p in memory row sourceHeight - 1 - p.
    const bool bottomUp = header.height > 0;
    for (int y = 0; y < height; ++y) {
        const int picture = mirrored ? height - 1 - y : y;
        const int memory = bottomUp ? sourceHeight - 1 - picture : picture;
        const uint8_t* p = source.bits + stride * static_cast<size_t>(memory);
        uint32_t* out = reinterpret_cast<uint32_t*>(image->data + static_cast<size_t>(image->bytes_per_line) * y);
        for (int x = 0; x < width; ++x, p += bytesPerPixel) {
            const unsigned long pixel = bytesPerPixel == 1 ? palette[p[0]]
                                                           : n.red[p[2]] | n.green[p[1]] | n.blue[p[0]];
            if (direct32) out[x] = static_cast<uint32_t>(pixel);
            else XPutPixel(image, x, y, pixel);
        }
    }
    XPutImage(n.display, n.window, n.gc, image, 0, 0, 0, 0, static_cast<unsigned>(width),
              static_cast<unsigned>(height));
    // The frame is on the screen when Paint returns (and X errors have arrived).
    XSync(n.display, False);
    return true;
}

void PreviewSurface::Destroy() { native_.reset(); }

}  // namespace lumora::platform
