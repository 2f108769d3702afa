#pragma once
// A preview window with the buffers and settings it paints from, without a camera: the fields
// a camera would hold, set by the test.
#include "camera/capture_window.h"
#include "camera/frame_buffers.h"
#include "camera/preview_window.h"

struct PreviewRig : lumora::PreviewWindow::Host, lumora::FrameBuffers {
    int colorMode = 0;
    lumora::CaptureWindow captureWindow;
    int subsamplingMode = 0;
    lumora::PreviewWindow preview{*this};

    lumora::FrameBuffers& Buffers() override { return *this; }
    int ColorMode() const override { return colorMode; }
    int FrameWidth() const override { return captureWindow.FrameWidth(subsamplingMode); }
    int FrameHeight() const override { return captureWindow.FrameHeight(subsamplingMode); }
};
