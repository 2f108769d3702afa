#pragma once
// The camera's own window that shows live frames: a top-level window sized to the frame, or a
// child of a window the application named. It has no behaviour of its own; the preview thread
// paints each processed frame into it through a drawing context taken once at creation.
//
// Thread context: Create, TakeContext, PrepareDisplayBuffer and Destroy run on the
// application's thread; Paint runs on the preview thread. Destroy is called only after the
// preview thread has stopped, so no frame is painted through a released context.
#include "platform/window_message.h"

namespace lumora {

class CameraObject;

// Where the next window goes, in the parent's client coordinates (child windows only).
struct PreviewPlacement {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
};

class PreviewWindow {
public:
    explicit PreviewWindow(CameraObject& camera);
    ~PreviewWindow();
    PreviewWindow(const PreviewWindow&) = delete;
    PreviewWindow& operator=(const PreviewWindow&) = delete;

    // True where windows can be made at all (always on Windows; on Linux when an X display
    // can be opened).
    static bool Available();

    // Registers a window class of its own and creates the window: a child of parent at
    // placement, or without a parent a top-level window whose client area has the frame size
    // (after subsampling), centred on the screen. False when no window could be made; nothing
    // is left behind then.
    bool Create(platform::WindowHandle parent, const PreviewPlacement& placement);
    // Takes the window's drawing context. False when it cannot; the window stays.
    bool TakeContext();
    bool Exists() const;
    platform::WindowHandle Handle() const;
    // The registered class name; empty when there is no window.
    const char* ClassName() const;

    // At acquisition preparation: sizes the camera's display buffer to the client area when the
    // window is visible, has a non-empty client area and a context.
    void PrepareDisplayBuffer();
    // Paints the colour mode's output buffer: 1:1 when the client area has the frame's size,
    // else scaled through the display buffer. Fails silently (hidden, zero-sized, destroyed).
    void Paint();
    // Releases the context, destroys the window and unregisters its class. Safe without one.
    void Destroy();

private:
    CameraObject& camera_;
    platform::WindowHandle window_ = nullptr;
    void* context_ = nullptr;
    char className_[256] = {};
};

}  // namespace lumora
