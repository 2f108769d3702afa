#pragma once
// The top-level window of lumora view: titled by the tool, sized to the picture scaled to fit
// the screen, the parent of the library's preview window. An X11 window on Linux, a Win32
// window on Windows.
#include <memory>
#include <string>

#include "lumora/LumoraSdk.h"

namespace lumora::tool {

class ViewWindow {
public:
    ViewWindow();
    ~ViewWindow();
    ViewWindow(const ViewWindow&) = delete;
    ViewWindow& operator=(const ViewWindow&) = delete;

    // Connects to the window system; false when no display can be opened, *why then naming
    // the display tried (the DISPLAY variable on Linux).
    bool OpenDisplay(std::string* why);
    // The screen's size in pixels (after OpenDisplay).
    void ScreenSize(int* width, int* height) const;
    // Shows a top-level window of width x height titled title; false when none can be made.
    bool Create(const std::string& title, int width, int height);
    // What Lumora_SetPreviewWindow takes as the parent.
    LumoraWindow Parent() const;
    // Delivers the window system's events; true once the user closed the window.
    bool Closed();

    // The size of a window showing a picture of width x height whole: the picture's own size,
    // scaled down (keeping its shape) to at most nine tenths of the screen.
    static void FitToScreen(int width, int height, int screenWidth, int screenHeight, int* outWidth,
                            int* outHeight);

private:
    struct Native;
    std::unique_ptr<Native> native_;
};

}  // namespace lumora::tool
