#include "camera/preview_window.h"

#include "camera/camera_object.h"

namespace lumora {

PreviewWindow::PreviewWindow(CameraObject& camera) : camera_(camera) {}

PreviewWindow::~PreviewWindow() { Destroy(); }

bool PreviewWindow::Available() { return false; }

bool PreviewWindow::Create(platform::WindowHandle /*parent*/, const PreviewPlacement& /*placement*/) {
    return false;
}

bool PreviewWindow::TakeContext() { return context_ != nullptr; }

bool PreviewWindow::Exists() const { return window_ != nullptr; }

platform::WindowHandle PreviewWindow::Handle() const { return window_; }

const char* PreviewWindow::ClassName() const { return className_; }

void PreviewWindow::PrepareDisplayBuffer() {}

void PreviewWindow::Paint() {}

void PreviewWindow::Destroy() {
    window_ = nullptr;
    context_ = nullptr;
    className_[0] = '\0';
}

}  // namespace lumora
