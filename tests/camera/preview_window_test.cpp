// The preview window as an X11 window, read back from the server: class, title, size and place,
// both paint paths in every colour mode, painting while the window is made again, and a
// screenshot of the emulator's chart. Skips without a display (CTest runs it under Xvfb).
#include <gtest/gtest.h>

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "preview_rig.h"
#include "emulator/emulated_sensor.h"
#include "imaging/demosaic.h"

namespace {

using lumora::ImageBuffer;

int IgnoreError(Display*, XErrorEvent*) { return 0; }
Window IdOf(void* handle) { return static_cast<Window>(reinterpret_cast<uintptr_t>(handle)); }
void* HandleOf(Window id) { return reinterpret_cast<void*>(static_cast<uintptr_t>(id)); }

struct Rgb {
    int r, g, b;
    bool operator==(const Rgb& o) const { return r == o.r && g == o.g && b == o.b; }
};

class PreviewWindowX11 : public ::testing::Test {
protected:
    // One connection for all tests: a server that resets when its last client leaves refuses
    // the next connection for a moment.
    static void SetUpTestSuite() { display = XOpenDisplay(nullptr); }
    void SetUp() override {
        if (display == nullptr) GTEST_SKIP() << "no X display";
        XSetErrorHandler(IgnoreError);
    }
    Window MakeParent() {
        Window w = XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, 300, 200, 0, 0, 0);
        XMapWindow(display, w);
        XSync(display, False);
        return w;
    }
    XWindowAttributes Attributes(void* handle) {
        XWindowAttributes a{};
        XSync(display, False);
        if (!XGetWindowAttributes(display, IdOf(handle), &a)) a.map_state = -1;  // no such window
        return a;
    }
    unsigned Children(Window w) {
        Window root = 0, up = 0, *children = nullptr;
        unsigned count = 0;
        XQueryTree(display, w, &root, &up, &children, &count);
        if (children != nullptr) XFree(children);
        return count;
    }
    // The window's title, or with wmClass its WM_CLASS class.
    std::string Text(void* handle, bool wmClass = false) {
        char* name = nullptr;
        XClassHint hint{};
        if (wmClass ? XGetClassHint(display, IdOf(handle), &hint) == 0 : XFetchName(display, IdOf(handle), &name) == 0)
            return "";
        std::string s = wmClass ? hint.res_class : name;
        XFree(name), XFree(hint.res_name), XFree(hint.res_class);
        return s;
    }
    Rgb PixelAt(void* handle, int x, int y) {
        XImage* image = XGetImage(display, IdOf(handle), x, y, 1, 1, AllPlanes, ZPixmap);
        if (image == nullptr) return {-1, -1, -1};
        const unsigned long p = XGetPixel(image, 0, 0);
        auto channel = [p](unsigned long mask) {
            int shift = 0;
            while (!(mask & 1)) mask >>= 1, ++shift;
            return static_cast<int>(((p >> shift) & mask) * 255 / mask);
        };
        Rgb c{channel(image->red_mask), channel(image->green_mask), channel(image->blue_mask)};
        XDestroyImage(image);
        return c;
    }
    static Display* display;
};
Display* PreviewWindowX11::display = nullptr;

// "VideoRenderer_", the camera's address and a random number, in 8 hex digits each.
void ExpectClassName(const PreviewRig& camera) {
    const char* name = camera.preview.ClassName();
    unsigned address = 0, salt = 0;
    int length = 0;
    ASSERT_EQ(std::sscanf(name, "VideoRenderer_%8x_%8x%n", &address, &salt, &length), 2) << name;
    EXPECT_EQ(length, 31);
    EXPECT_EQ(std::strlen(name), 31u);
    EXPECT_EQ(address, static_cast<uint32_t>(reinterpret_cast<uintptr_t>(&camera)));
}

TEST_F(PreviewWindowX11, TopLevelHasTheSubsampledFrameSizeCentredAndEachCameraAClass) {
    const int screenWidth = DisplayWidth(display, 0), screenHeight = DisplayHeight(display, 0);
    struct Case {
        int width, height, subsampling, clientWidth, clientHeight;
    } cases[] = {{3488, 2616, 2, 872, 654}, {1000, 800, 0, 1000, 800}, {1000, 800, 17, 500, 400}};
    for (const Case& c : cases) {
        PreviewRig first, second;
        for (PreviewRig* camera : {&first, &second}) {
            camera->captureWindow.hEffective = c.width;
            camera->captureWindow.vEffective = c.height;
            camera->subsamplingMode = c.subsampling;
            ASSERT_TRUE(camera->preview.Create(nullptr, {}));
            ExpectClassName(*camera);
            EXPECT_EQ(Text(camera->preview.Handle(), true), camera->preview.ClassName());
        }
        EXPECT_STRNE(first.preview.ClassName(), second.preview.ClassName());
        const XWindowAttributes a = Attributes(first.preview.Handle());
        EXPECT_TRUE(a.width == c.clientWidth && a.height == c.clientHeight) << a.width << " x " << a.height;
        EXPECT_TRUE(a.x == (screenWidth - c.clientWidth) / 2 && a.y == (screenHeight - c.clientHeight) / 2);
        EXPECT_EQ(a.map_state, IsViewable);
        EXPECT_EQ(Text(first.preview.Handle()), "Active Window");

        void* window = first.preview.Handle();
        first.preview.Destroy();
        EXPECT_EQ(Attributes(window).map_state, -1);
        EXPECT_FALSE(first.preview.Exists());
        EXPECT_STREQ(first.preview.ClassName(), "");
        EXPECT_TRUE(second.preview.Exists());
    }
}

TEST_F(PreviewWindowX11, ChildSitsAtThePlacementIsReplacedWhenMadeAgainAndOutlivesItsParent) {
    PreviewRig camera;
    camera.buffer8.reset(new ImageBuffer);
    ASSERT_EQ(camera.buffer8->Create(16, 12, 8), 1);
    const Window parent = MakeParent();
    ASSERT_TRUE(camera.preview.Create(HandleOf(parent), {10, 20, 320, 240}));
    ExpectClassName(camera);
    const XWindowAttributes a = Attributes(camera.preview.Handle());
    EXPECT_TRUE(a.x == 10 && a.y == 20 && a.width == 320 && a.height == 240)
        << a.x << ", " << a.y << ", " << a.width << " x " << a.height;
    EXPECT_EQ(Text(camera.preview.Handle()), "ActiveMovie Window");

    ASSERT_TRUE(camera.preview.Create(HandleOf(parent), {0, 0, 40, 30}));
    EXPECT_EQ(Children(parent), 1u);
    camera.preview.PrepareDisplayBuffer();
    EXPECT_FALSE(camera.displayBuffer) << "no context yet";
    ASSERT_TRUE(camera.preview.TakeContext());
    camera.preview.PrepareDisplayBuffer();
    ASSERT_TRUE(camera.displayBuffer);
    EXPECT_EQ(camera.displayBuffer->Width() * 1000 + camera.displayBuffer->Height(), 40030);
    EXPECT_TRUE(camera.preview.Paint());
    XDestroyWindow(display, parent);
    XSync(display, False);
    EXPECT_FALSE(camera.preview.Paint());
    camera.preview.Destroy();

    // A parent that names no window gives no window and leaves nothing behind.
    EXPECT_FALSE(camera.preview.Create(HandleOf(0x1fffff0), {0, 0, 16, 12}));
    EXPECT_FALSE(camera.preview.Exists());
    EXPECT_STREQ(camera.preview.ClassName(), "");
}

TEST_F(PreviewWindowX11, PaintsMemoryRowZeroAtTheTopInEveryColourModeAtFrameSizeAndScaled) {
    const Rgb colour[2] = {{250, 20, 10}, {10, 30, 240}}, gray[2] = {{200, 200, 200}, {50, 50, 50}};
    const int kBits[6] = {8, 16, 24, 32, 48, 64};
    const Window parent = MakeParent();
    struct Size {
        int width, height;
        bool scaled;
    } sizes[] = {{16, 12, false}, {32, 24, true}, {8, 7, true}};
    for (int mode = 0; mode < 6; ++mode) {
        for (const Size& size : sizes) {
            SCOPED_TRACE("mode " + std::to_string(mode) + ", client width " + std::to_string(size.width));
            PreviewRig camera;
            camera.colorMode = mode;
            std::unique_ptr<ImageBuffer>* buffers[] = {&camera.buffer8, &camera.buffer16, &camera.buffer24,
                                                       &camera.buffer32, &camera.buffer48, &camera.buffer64};
            for (int i = 0; i < 6; ++i) {
                buffers[i]->reset(new ImageBuffer);
                ASSERT_EQ((*buffers[i])->Create(16, 12, kBits[i]), 1);
            }
            // The upper memory rows hold the first colour, the rest the second (16-bit samples x 16).
            ImageBuffer& frame = **buffers[mode];
            const Rgb* want = mode < 2 ? gray : colour;
            const int samples = mode < 2 ? 1 : mode == 3 || mode == 5 ? 4 : 3, wide = mode == 1 || mode > 3;
            for (int row = 0; row < 12; ++row)
                for (int i = 0; i < 16 * samples; ++i) {
                    const Rgb c = want[row < 6 ? 0 : 1];
                    const int value = i % samples == 0 ? c.b : i % samples == 1 ? c.g : c.r;
                    if (wide) reinterpret_cast<uint16_t*>(frame.Row(row))[i] = static_cast<uint16_t>(value * 16);
                    else frame.Row(row)[i] = static_cast<uint8_t>(value);
                }
            ASSERT_TRUE(camera.preview.Create(HandleOf(parent), {0, 0, size.width, size.height}));
            EXPECT_FALSE(camera.preview.Paint()) << "no context yet";
            ASSERT_TRUE(camera.preview.TakeContext());
            ASSERT_TRUE(camera.preview.Paint());
            EXPECT_EQ(PixelAt(camera.preview.Handle(), 0, 0), want[0]);
            EXPECT_EQ(PixelAt(camera.preview.Handle(), size.width - 1, size.height - 1), want[1]);
            // The scaled path (always in mode 1) goes through a client-sized display buffer.
            const bool scaled = size.scaled || mode == 1;
            ASSERT_EQ(camera.displayBuffer != nullptr, scaled);
            if (scaled) {
                EXPECT_EQ(camera.displayBuffer->Width() * 1000 + camera.displayBuffer->Height(),
                          size.width * 1000 + size.height);
                EXPECT_EQ(camera.displayBuffer->BitCount(), mode < 2 ? 8 : 24);
            }
            XUnmapWindow(display, IdOf(camera.preview.Handle()));
            XSync(display, False);
            EXPECT_FALSE(camera.preview.Paint()) << "hidden";
        }
    }
    XDestroyWindow(display, parent);
}

// A second Lumora_Preview while the preview thread paints: the old window goes between two
// frames and painting goes on into the new one.
TEST_F(PreviewWindowX11, MadeAgainWhileAnotherThreadPaints) {
    PreviewRig camera;
    camera.buffer8.reset(new ImageBuffer);
    ASSERT_EQ(camera.buffer8->Create(16, 12, 8), 1);
    const Window parent = MakeParent();
    std::atomic<bool> run{true};
    std::atomic<int> painted{0};
    std::thread painter([&] {
        while (run) painted += camera.preview.Paint() ? 1 : 0;
    });
    for (int i = 0; i < 20; ++i) {
        ASSERT_TRUE(camera.preview.Create(HandleOf(parent), {0, 0, i % 2 == 0 ? 16 : 24, 12}));
        ASSERT_TRUE(camera.preview.TakeContext());
        const int before = painted;
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (painted == before && std::chrono::steady_clock::now() < end) std::this_thread::yield();
        EXPECT_GT(painted, before);
    }
    run = false;
    painter.join();
    EXPECT_EQ(Children(parent), 1u);
    XDestroyWindow(display, parent);
}

// The emulator's chart, demosaiced at Bayer phase 3, in a top-level window at subsampling 2; the
// screen goes to artifacts/preview.png where ImageMagick's import exists.
TEST_F(PreviewWindowX11, ScreenshotOfTheChart) {
    PreviewRig camera;
    std::vector<uint8_t> registers(lumora::EmulatedSensor::kRegisterCount);
    lumora::EmulatedSensor::ResetRegisters(registers.data());
    const int width = lumora::EmulatedSensor::Read16(registers.data(), 0x034C);
    const int height = lumora::EmulatedSensor::Read16(registers.data(), 0x034E);
    camera.buffer8.reset(new ImageBuffer);
    camera.buffer24.reset(new ImageBuffer);
    ASSERT_EQ(camera.buffer8->Create(width, height, 8) + camera.buffer24->Create(width, height, 24), 2);
    ASSERT_EQ(camera.buffer8->Stride(), width);
    lumora::EmulatedSensor(1).Render(registers.data(), 0, true, camera.buffer8->Bits(), 0, width * height);
    lumora::DemosaicParams params{3, 100, 100, 100};
    lumora::DemosaicParams* record = &params;
    for (auto routine : {lumora::DemosaicInterior8, lumora::DemosaicBorder8})
        camera.buffer24->Apply(routine, camera.buffer8.get(), nullptr, 0, 0, &record, nullptr);
    camera.captureWindow.hEffective = width;
    camera.captureWindow.vEffective = height;
    camera.subsamplingMode = 2;
    camera.colorMode = 2;
    ASSERT_TRUE(camera.preview.Create(nullptr, {}) && camera.preview.TakeContext());
    ASSERT_TRUE(camera.preview.Paint());
    int mostColour = 0;  // the chart's patches are far from gray somewhere across a row
    for (int x = 0; x < width / 4; x += 8) {
        const Rgb c = PixelAt(camera.preview.Handle(), x, height / 8);
        mostColour = std::max({mostColour, std::abs(c.r - c.g), std::abs(c.g - c.b), std::abs(c.r - c.b)});
    }
    EXPECT_GT(mostColour, 60);
    const std::string command = "mkdir -p " LUMORA_ARTIFACTS_DIR " && import -window root " LUMORA_ARTIFACTS_DIR "/preview.png";
    if (std::system("command -v import >/dev/null") == 0) {
        EXPECT_EQ(std::system(command.c_str()), 0);
    }
}

}  // namespace
