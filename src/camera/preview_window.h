#pragma once
// The camera's own window that shows live frames: a top-level window sized to the frame, or a
// child of a window the application named. It has no behaviour of its own; the preview thread
// paints each processed frame into it through a drawing context taken once at creation.
//
// Thread context: Create, TakeContext, PrepareDisplayBuffer and Destroy run on the
// application's thread; Paint runs on the preview thread. Destroy is called only after the
// preview thread has stopped, so no frame is painted through a released context. Every
// operation holds the window's lock, so a window made again while frames are painted (a second
// Lumora_Preview) replaces the old one between two frames.
#include <mutex>

#include "platform/preview_surface.h"
#include "platform/window_message.h"

namespace lumora {

struct FrameBuffers;
class ImageBuffer;

// Where the next window goes, in the parent's client coordinates (child windows only).
struct PreviewPlacement {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
};

class PreviewWindow {
public:
    // What the window needs of its camera: the buffers it paints from and the settings that
    // size it. Thread context: ColorMode on either thread; the rest on the application's
    // thread.
    class Host {
    public:
        virtual FrameBuffers& Buffers() = 0;
        // The stored colour mode, 0..5.
        virtual int ColorMode() const = 0;
        // The frame size of the capture window after subsampling (the top-level window's
        // client area).
        virtual int FrameWidth() const = 0;
        virtual int FrameHeight() const = 0;

    protected:
        ~Host() = default;
    };

    explicit PreviewWindow(Host& host);
    ~PreviewWindow();
    PreviewWindow(const PreviewWindow&) = delete;
    PreviewWindow& operator=(const PreviewWindow&) = delete;

    // True where windows can be made at all (always on Windows; on Linux when an X display
    // can be opened).
    static bool Available();

    // Registers a window class of its own ("VideoRenderer_" with the camera's address and a
    // random number) and creates the window: a child of parent at placement titled "ActiveMovie
    // Window", or without a parent a top-level window "Active Window" whose client area has the
    // frame size (after subsampling), centred on the screen. A window made before is destroyed
    // first. False when no window could be made; nothing is left behind then.
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
    // Paints the colour mode's output buffer: 1:1 when the client area has the frame's size
    // (except in colour mode 1), else scaled through the camera's display buffer. Modes 1, 3, 4
    // and 5 are first converted into buffer8 or buffer24. Fails silently (hidden, zero-sized,
    // destroyed, no context). Returns whether a frame reached the window.
    bool Paint();
    // Releases the context, destroys the window and unregisters its class. Safe without one.
    void Destroy();

private:
    void TearDown();
    // The bitmap that shows the colour mode's frame, converted into it where needed; null when
    // the buffers are missing.
    ImageBuffer* DisplaySource(int mode);
    // Makes the camera's display buffer width x height in the colour mode's display format
    // (8-bit gray palette for modes 0 and 1, else 24 bits); null when it cannot.
    ImageBuffer* SizeDisplayBuffer(int width, int height, int mode);

    Host& host_;
    mutable std::mutex mutex_;
    platform::PreviewSurface surface_;
    char className_[256] = {};
};

}  // namespace lumora
