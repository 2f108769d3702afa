#include "camera/preview_window.h"

#include <cstdint>
#include <cstdio>
#include <new>

#include "camera/frame_buffers.h"
#include "imaging/pixel_conversion.h"
#include "platform/clock.h"
#include "platform/random.h"

namespace lumora {

namespace {

constexpr char kChildTitle[] = "ActiveMovie Window";
constexpr char kTopLevelTitle[] = "Active Window";

// Modes 0 and 1 are shown through an 8-bit gray palette bitmap, modes 2 to 5 through 24 bits.
bool PaletteDisplay(int mode) { return mode == 0 || mode == 1; }

// Converts from into into with routine; into is then what is shown.
ImageBuffer* Converted(ImageBuffer* into, const ImageBuffer* from, PixelRoutine routine) {
    if (into == nullptr || from == nullptr) return nullptr;
    into->Apply(routine, from, nullptr, 0, 0, nullptr, nullptr);
    return into;
}

platform::PaintSource SourceOf(const ImageBuffer& buffer) {
    return {buffer.Dc(), buffer.Bits(), &buffer.Info()};
}

}  // namespace

PreviewWindow::PreviewWindow(Host& host) : host_(host) {}

PreviewWindow::~PreviewWindow() { Destroy(); }

bool PreviewWindow::Available() { return platform::PreviewSurface::Available(); }

bool PreviewWindow::Create(platform::WindowHandle parent, const PreviewPlacement& placement) {
    std::lock_guard<std::mutex> lock(mutex_);
    TearDown();
    const auto self = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(&host_));
    const uint32_t salt = static_cast<uint32_t>(platform::RuntimeRandom()) + platform::MultimediaTime();
    std::snprintf(className_, sizeof className_, "VideoRenderer_%08x_%08x",
                  static_cast<unsigned>(self), static_cast<unsigned>(salt));
    const bool made =
        parent != nullptr
            ? surface_.CreateChild(className_, kChildTitle, parent, placement.x, placement.y,
                                   placement.width, placement.height)
            : surface_.CreateTopLevel(className_, kTopLevelTitle,
                                      host_.FrameWidth(), host_.FrameHeight());
    if (!made) className_[0] = '\0';
    return made;
}

bool PreviewWindow::TakeContext() {
    std::lock_guard<std::mutex> lock(mutex_);
    return surface_.TakeContext();
}

bool PreviewWindow::Exists() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return surface_.Exists();
}

platform::WindowHandle PreviewWindow::Handle() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return surface_.Handle();
}

const char* PreviewWindow::ClassName() const { return className_; }

ImageBuffer* PreviewWindow::SizeDisplayBuffer(int width, int height, int mode) {
    std::unique_ptr<ImageBuffer>& display = host_.Buffers().displayBuffer;
    if (!display) display.reset(new (std::nothrow) ImageBuffer());
    if (!display) return nullptr;
    const int bits = PaletteDisplay(mode) ? 8 : 24;
    if (display->IsUsable() && display->Width() == width && display->Height() == height &&
        display->BitCount() == bits)
        return display.get();
    // An 8-bit buffer is made with the gray palette.
    return display->Create(width, height, bits) == 1 ? display.get() : nullptr;
}

void PreviewWindow::PrepareDisplayBuffer() {
    std::lock_guard<std::mutex> lock(mutex_);
    const platform::ClientArea area = surface_.Client();
    if (!area.visible || area.width <= 0 || area.height <= 0 || !surface_.HasContext()) return;
    SizeDisplayBuffer(area.width, area.height, host_.ColorMode());
}

ImageBuffer* PreviewWindow::DisplaySource(int mode) {
    const FrameBuffers& c = host_.Buffers();
    switch (mode) {
        case 0: return c.buffer8.get();
        case 1: return Converted(c.buffer8.get(), c.buffer16.get(), Gray16To8);
        case 2: return c.buffer24.get();
        case 3: return Converted(c.buffer24.get(), c.buffer32.get(), Colour32To24);
        case 4: return Converted(c.buffer24.get(), c.buffer48.get(), Colour48To24);
        case 5: return Converted(c.buffer24.get(), c.buffer64.get(), Colour48To24);
        default: return nullptr;
    }
}

bool PreviewWindow::Paint() {
    std::lock_guard<std::mutex> lock(mutex_);
    // A hidden, minimised, closed or empty window costs no conversion.
    const platform::ClientArea area = surface_.Client();
    if (!area.visible || area.width <= 0 || area.height <= 0 || !surface_.HasContext()) return false;
    const int mode = host_.ColorMode();
    const ImageBuffer* source = DisplaySource(mode);
    if (source == nullptr || !source->IsUsable()) return false;
    if (area.width == source->Width() && area.height == source->Height() && mode != 1)
        return surface_.Paint(SourceOf(*source), area.width, area.height, true);
    ImageBuffer* display = SizeDisplayBuffer(area.width, area.height, mode);
    if (display == nullptr) return false;
    // The scaling turns the picture over, so an ordinary copy shows memory row 0 at the top.
    display->ApplyScaled(PaletteDisplay(mode) ? ScalePreview8 : ScalePreview24, source, nullptr,
                         nullptr, nullptr, nullptr);
    return surface_.Paint(SourceOf(*display), area.width, area.height, false);
}

void PreviewWindow::TearDown() {
    surface_.Destroy();
    className_[0] = '\0';
}

void PreviewWindow::Destroy() {
    std::lock_guard<std::mutex> lock(mutex_);
    TearDown();
}

}  // namespace lumora
