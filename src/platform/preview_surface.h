#pragma once
// The window system's side of the camera's preview window: a window of a class of its own, a
// drawing context into it, its client area, copying a bitmap into it, and teardown. On Windows
// a real window painted through GDI; on Linux an X11 window on a display connection of its own,
// painted with XPutImage (nothing at all without a display).
//
// Thread context: one thread at a time. The owner serialises the calls: it creates and destroys
// on the application's thread and paints on the preview thread.
#include <cstdint>
#include <memory>

#include "platform/bitmap.h"
#include "platform/window_message.h"

namespace lumora::platform {

// The window's client area as the preview thread sees it before painting.
struct ClientArea {
    bool visible = false;  // shown (and not minimised or closed), with its ancestors
    int width = 0;
    int height = 0;
};

// A bitmap to copy from: its memory drawing context where it has one (Windows), and its pixel
// memory with header and colour table (bottom-up rows padded to 4 bytes; 8, 24 or 32 bits).
struct PaintSource {
    DrawingContext dc = nullptr;
    const uint8_t* bits = nullptr;
    const BitmapInfo* info = nullptr;
};

class PreviewSurface {
public:
    PreviewSurface();
    ~PreviewSurface();
    PreviewSurface(const PreviewSurface&) = delete;
    PreviewSurface& operator=(const PreviewSurface&) = delete;

    // True where windows can be made: always on Windows; on Linux when the display named by
    // DISPLAY can be opened. Any thread.
    static bool Available();

    // Registers className and creates a visible child window of parent titled title at (x, y)
    // of the parent's client area with the given size (control identifier 6540 on Windows).
    // On Linux parent is an X11 window id. Any window made before is destroyed first. False,
    // with nothing left behind, when the class, the window or showing it fails.
    bool CreateChild(const char* className, const char* title, WindowHandle parent, int x, int y,
                     int width, int height);
    // Registers className and creates a visible top-level window titled title whose client area
    // is clientWidth x clientHeight, centred on the primary screen. False as for CreateChild.
    bool CreateTopLevel(const char* className, const char* title, int clientWidth,
                        int clientHeight);
    // Takes the window's drawing context, kept until Destroy. False when there is none.
    bool TakeContext();

    bool Exists() const;
    bool HasContext() const;
    // The window (HWND on Windows, the X11 window id on Linux); null when there is none.
    WindowHandle Handle() const;
    // Visibility and client size now. Not visible when there is no window or it was destroyed
    // (by the user closing it, or with its parent).
    ClientArea Client();

    // Copies the top-left width x height pixels of source to the client area at (0, 0) through
    // the context. mirrored: upside down against the bitmap's ordinary display, so that memory
    // row 0 appears at the top. False when nothing was painted.
    bool Paint(const PaintSource& source, int width, int height, bool mirrored);

    // Releases the context, destroys the window and unregisters the class. Safe without them.
    void Destroy();

private:
    struct Native;
    std::unique_ptr<Native> native_;
};

}  // namespace lumora::platform
