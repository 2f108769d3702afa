// The preview window as an X11 window: class, title, size and placement, both paint paths in
// every colour mode read back from the server, and a screenshot of the emulator's chart. Skips
// without a display (CTest runs it under Xvfb where xvfb-run exists).
#include <gtest/gtest.h>

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "camera/camera_object.h"
#include "emulator/emulated_sensor.h"
#include "imaging/demosaic.h"

namespace {

using lumora::CameraObject;
using lumora::ImageBuffer;

int ignoredErrors = 0;
int IgnoreError(Display*, XErrorEvent*) { return ++ignoredErrors, 0; }

Window IdOf(void* handle) { return static_cast<Window>(reinterpret_cast<uintptr_t>(handle)); }
void* HandleOf(Window id) { return reinterpret_cast<void*>(static_cast<uintptr_t>(id)); }

struct Rgb {
    int r, g, b;
    bool operator==(const Rgb& o) const { return r == o.r && g == o.g && b == o.b; }
};

class PreviewWindowX11 : public ::testing::Test {
protected:
    // One connection for all the tests: a server that resets when its last client leaves would
    // refuse the next test's connection for a moment.
    static void SetUpTestSuite() { display = XOpenDisplay(nullptr); }
    static void TearDownTestSuite() {
        if (display != nullptr) XCloseDisplay(display);
        display = nullptr;
    }
    void SetUp() override {
        if (display == nullptr) GTEST_SKIP() << "no X display";
        XSetErrorHandler(IgnoreError);
    }

    // A mapped top-level window of the test's own, as an application's window would be.
    Window MakeParent(int width, int height) {
        Window w = XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, width, height, 0,
                                       0, 0);
        XMapWindow(display, w);
        XSync(display, False);
        return w;
    }
    bool Attributes(void* handle, XWindowAttributes* a) {
        XSync(display, False);
        return XGetWindowAttributes(display, IdOf(handle), a) != 0;
    }
    std::string Title(void* handle) {
        char* name = nullptr;
        XFetchName(display, IdOf(handle), &name);
        std::string s = name != nullptr ? name : "";
        if (name != nullptr) XFree(name);
        return s;
    }
    std::string Class(void* handle) {
        XClassHint hint{};
        if (!XGetClassHint(display, IdOf(handle), &hint)) return "";
        std::string s = hint.res_class;
        XFree(hint.res_name);
        XFree(hint.res_class);
        return s;
    }
    // The colour of one window pixel, on an 8-bit scale.
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

// Every class name is "VideoRenderer_" with the camera's address and a random number.
void ExpectClassName(const CameraObject& camera, const char* name) {
    unsigned address = 0, salt = 0;
    int length = 0;
    ASSERT_EQ(std::sscanf(name, "VideoRenderer_%8x_%8x%n", &address, &salt, &length), 2) << name;
    EXPECT_EQ(length, 31) << name;
    EXPECT_EQ(std::strlen(name), 31u) << name;
    EXPECT_EQ(address, static_cast<uint32_t>(reinterpret_cast<uintptr_t>(&camera)));
}

TEST_F(PreviewWindowX11, TopLevelHasTheFrameSizeCentredAndEachCameraItsOwnClass) {
    struct Case {
        int width, height, subsampling, clientWidth, clientHeight;
    } cases[] = {
        {3488, 2616, 2, 872, 654}, {1000, 800, 0, 1000, 800}, {1000, 800, 1, 500, 400},
        {1000, 800, 17, 500, 400}, {1000, 800, 18, 250, 200},
    };
    const int screenWidth = DisplayWidth(display, DefaultScreen(display));
    const int screenHeight = DisplayHeight(display, DefaultScreen(display));
    for (const Case& c : cases) {
        CameraObject first, second;
        for (CameraObject* camera : {&first, &second}) {
            camera->captureWindow.hEffective = c.width;
            camera->captureWindow.vEffective = c.height;
            camera->subsamplingMode = c.subsampling;
            ASSERT_TRUE(camera->preview.Create(nullptr, {}));
            ExpectClassName(*camera, camera->preview.ClassName());
        }
        EXPECT_STRNE(first.preview.ClassName(), second.preview.ClassName());
        XWindowAttributes a{};
        ASSERT_TRUE(Attributes(first.preview.Handle(), &a));
        EXPECT_EQ(a.width, c.clientWidth);
        EXPECT_EQ(a.height, c.clientHeight);
        EXPECT_EQ(a.x, (screenWidth - c.clientWidth) / 2);
        EXPECT_EQ(a.y, (screenHeight - c.clientHeight) / 2);
        EXPECT_EQ(a.map_state, IsViewable);
        EXPECT_EQ(Title(first.preview.Handle()), "Active Window");
        EXPECT_EQ(Class(first.preview.Handle()), first.preview.ClassName());
        EXPECT_EQ(Class(second.preview.Handle()), second.preview.ClassName());

        void* window = first.preview.Handle();
        first.preview.Destroy();
        EXPECT_FALSE(first.preview.Exists());
        EXPECT_STREQ(first.preview.ClassName(), "");
        EXPECT_FALSE(Attributes(window, &a)) << "the window is gone";
        EXPECT_TRUE(second.preview.Exists());
    }
}

TEST_F(PreviewWindowX11, ChildSitsAtThePlacementAndSurvivesItsParent) {
    CameraObject camera;
    Window parent = MakeParent(640, 480);
    ASSERT_TRUE(camera.preview.Create(HandleOf(parent), {10, 20, 320, 240}));
    ExpectClassName(camera, camera.preview.ClassName());
    XWindowAttributes a{};
    ASSERT_TRUE(Attributes(camera.preview.Handle(), &a));
    EXPECT_EQ(a.x, 10);
    EXPECT_EQ(a.y, 20);
    EXPECT_EQ(a.width, 320);
    EXPECT_EQ(a.height, 240);
    Window root = 0, up = 0, *children = nullptr;
    unsigned count = 0;
    XQueryTree(display, IdOf(camera.preview.Handle()), &root, &up, &children, &count);
    if (children != nullptr) XFree(children);
    EXPECT_EQ(up, parent);
    EXPECT_EQ(Title(camera.preview.Handle()), "ActiveMovie Window");

    // Made again: the first window goes; then the application destroys the parent.
    ASSERT_TRUE(camera.preview.Create(HandleOf(parent), {0, 0, 16, 12}));
    XQueryTree(display, parent, &root, &up, &children, &count);
    if (children != nullptr) XFree(children);
    EXPECT_EQ(count, 1u);
    ASSERT_TRUE(camera.preview.TakeContext());
    camera.buffer8.reset(new ImageBuffer);
    ASSERT_EQ(camera.buffer8->Create(16, 12, 8), 1);
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

// Fills a buffer so that the upper half of memory rows (the top of the picture) holds top and
// the rest bottom; for gray buffers only the blue value counts.
void Fill(ImageBuffer& b, Rgb top, Rgb bottom) {
    const int scale = b.BitCount() == 16 || b.BitCount() >= 48 ? 16 : 1;
    const int samples = b.BitCount() == 8 || b.BitCount() == 16 ? 1 : b.BitCount() == 32 || b.BitCount() == 64 ? 4 : 3;
    for (int row = 0; row < b.Height(); ++row) {
        const Rgb c = row < b.Height() / 2 ? top : bottom;
        const int bgr[4] = {c.b * scale, c.g * scale, c.r * scale, 255 * scale};
        for (int x = 0; x < b.Width(); ++x)
            for (int s = 0; s < samples; ++s) {
                if (scale == 16) reinterpret_cast<uint16_t*>(b.Row(row))[x * samples + s] = static_cast<uint16_t>(bgr[s]);
                else b.Row(row)[x * samples + s] = static_cast<uint8_t>(bgr[s]);
            }
    }
}

TEST_F(PreviewWindowX11, PaintsTheFrameTopUpInEveryColourModeAtItsSizeAndScaled) {
    constexpr int kWidth = 16, kHeight = 12;
    const Rgb top{250, 20, 10}, bottom{10, 30, 240};
    const Rgb grayTop{200, 200, 200}, grayBottom{50, 50, 50};
    Window parent = MakeParent(200, 200);
    struct Size {
        int width, height;
        bool scaled;
    } sizes[] = {{kWidth, kHeight, false}, {2 * kWidth, 2 * kHeight, true}, {kWidth / 2, kHeight / 2 + 1, true}};
    for (int mode = 0; mode < 6; ++mode) {
        for (const Size& size : sizes) {
            SCOPED_TRACE("mode " + std::to_string(mode) + ", client " + std::to_string(size.width));
            CameraObject camera;
            camera.colorMode = mode;
            std::unique_ptr<ImageBuffer>* buffers[] = {&camera.buffer8, &camera.buffer16, &camera.buffer24,
                                                       &camera.buffer32, &camera.buffer48, &camera.buffer64};
            const int bits[] = {8, 16, 24, 32, 48, 64};
            for (int i = 0; i < 6; ++i) {
                buffers[i]->reset(new ImageBuffer);
                ASSERT_EQ((*buffers[i])->Create(kWidth, kHeight, bits[i]), 1);
            }
            const bool gray = mode < 2;
            Fill(**buffers[mode], gray ? grayTop : top, gray ? grayBottom : bottom);
            ASSERT_TRUE(camera.preview.Create(HandleOf(parent), {0, 0, size.width, size.height}));
            EXPECT_FALSE(camera.preview.Paint()) << "no context yet";
            ASSERT_TRUE(camera.preview.TakeContext());
            ASSERT_TRUE(camera.preview.Paint());
            EXPECT_EQ(PixelAt(camera.preview.Handle(), 0, 0), gray ? grayTop : top);
            EXPECT_EQ(PixelAt(camera.preview.Handle(), size.width - 1, size.height - 1), gray ? grayBottom : bottom);
            // Mode 1 is always scaled; the display buffer has the client size and the mode's format.
            const bool throughDisplay = size.scaled || mode == 1;
            EXPECT_EQ(camera.displayBuffer && camera.displayBuffer->IsUsable(), throughDisplay);
            if (throughDisplay) {
                EXPECT_EQ(camera.displayBuffer->Width(), size.width);
                EXPECT_EQ(camera.displayBuffer->Height(), size.height);
                EXPECT_EQ(camera.displayBuffer->BitCount(), gray ? 8 : 24);
            }
            // Hidden: nothing is painted.
            XUnmapWindow(display, IdOf(camera.preview.Handle()));
            XSync(display, False);
            EXPECT_FALSE(camera.preview.Paint());
        }
    }
    XDestroyWindow(display, parent);
}

TEST_F(PreviewWindowX11, PrepareDisplayBufferTakesTheClientSizeOfAShownWindowWithContext) {
    CameraObject camera;
    Window parent = MakeParent(200, 200);
    ASSERT_TRUE(camera.preview.Create(HandleOf(parent), {5, 5, 40, 30}));
    camera.preview.PrepareDisplayBuffer();
    EXPECT_FALSE(camera.displayBuffer && camera.displayBuffer->IsUsable()) << "no context";
    ASSERT_TRUE(camera.preview.TakeContext());
    for (int mode : {0, 3}) {
        camera.colorMode = mode;
        camera.preview.PrepareDisplayBuffer();
        ASSERT_TRUE(camera.displayBuffer && camera.displayBuffer->IsUsable());
        EXPECT_EQ(camera.displayBuffer->Width(), 40);
        EXPECT_EQ(camera.displayBuffer->Height(), 30);
        EXPECT_EQ(camera.displayBuffer->BitCount(), mode == 0 ? 8 : 24);
    }
    XDestroyWindow(display, parent);
}

// A window made again (a second Lumora_Preview) while the preview thread paints: the old window
// goes between two frames and the painting goes on into the new one.
TEST_F(PreviewWindowX11, MadeAgainWhileAnotherThreadPaints) {
    CameraObject camera;
    camera.buffer8.reset(new ImageBuffer);
    ASSERT_EQ(camera.buffer8->Create(16, 12, 8), 1);
    Window parent = MakeParent(100, 100);
    ASSERT_TRUE(camera.preview.Create(HandleOf(parent), {0, 0, 16, 12}));
    ASSERT_TRUE(camera.preview.TakeContext());
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
        ASSERT_GT(painted, before) << "the new window is painted";
    }
    run = false;
    painter.join();
    Window root = 0, up = 0, *children = nullptr;
    unsigned count = 0;
    XQueryTree(display, parent, &root, &up, &children, &count);
    if (children != nullptr) XFree(children);
    EXPECT_EQ(count, 1u);
    XDestroyWindow(display, parent);
}

// The emulator's chart, demosaiced at Bayer phase 3, in a top-level window at subsampling 2;
// the screen goes to artifacts/preview.png when ImageMagick's import is there.
TEST_F(PreviewWindowX11, ScreenshotOfTheChart) {
    CameraObject camera;
    std::vector<uint8_t> registers(lumora::EmulatedSensor::kRegisterCount);
    lumora::EmulatedSensor::ResetRegisters(registers.data());
    const int width = lumora::EmulatedSensor::Read16(registers.data(), 0x034C);
    const int height = lumora::EmulatedSensor::Read16(registers.data(), 0x034E);
    camera.buffer8.reset(new ImageBuffer);
    camera.buffer24.reset(new ImageBuffer);
    ASSERT_EQ(camera.buffer8->Create(width, height, 8), 1);
    ASSERT_EQ(camera.buffer24->Create(width, height, 24), 1);
    ASSERT_EQ(camera.buffer8->Stride(), width);
    lumora::EmulatedSensor(1).Render(registers.data(), 0, true, camera.buffer8->Bits(), 0,
                                     static_cast<uint32_t>(width) * height);
    lumora::DemosaicParams params{3, 100, 100, 100};
    lumora::DemosaicParams* record = &params;
    camera.buffer24->Apply(lumora::DemosaicInterior8, camera.buffer8.get(), nullptr, 0, 0, &record, nullptr);
    camera.buffer24->Apply(lumora::DemosaicBorder8, camera.buffer8.get(), nullptr, 0, 0, &record, nullptr);
    camera.captureWindow.hEffective = width;
    camera.captureWindow.vEffective = height;
    camera.subsamplingMode = 2;
    camera.colorMode = 2;
    ASSERT_TRUE(camera.preview.Create(nullptr, {}));
    ASSERT_TRUE(camera.preview.TakeContext());
    ASSERT_TRUE(camera.preview.Paint());
    // The chart has colour: some pixel of a row across the middle is far from gray.
    int mostColour = 0;
    for (int x = 0; x < width / 4; x += 8) {
        const Rgb c = PixelAt(camera.preview.Handle(), x, height / 8);
        mostColour = std::max({mostColour, std::abs(c.r - c.g), std::abs(c.g - c.b), std::abs(c.r - c.b)});
    }
    EXPECT_GT(mostColour, 60);
    const std::string file = std::string(LUMORA_ARTIFACTS_DIR) + "/preview.png";
    const std::string command = "mkdir -p '" LUMORA_ARTIFACTS_DIR "' && import -window root '" + file + "'";
    if (std::system("command -v import >/dev/null 2>&1") == 0) {
        EXPECT_EQ(std::system(command.c_str()), 0);
    }
}

}  // namespace
