// The frame pipeline through the camera object: the control loops on prepared raw frames, the
// stage order against the routines run one by one, and closed loops on the emulated sensor.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <random>
#include <vector>

#include "camera/camera_object.h"
#include "camera_object_probe.h"
#include "emulated_disks.h"
#include "imaging/defect_correction.h"
#include "imaging/demosaic.h"
#include "imaging/hue_saturation_filter.h"
#include "imaging/pixel_conversion.h"
#include "imaging/sharpen_filter.h"
#include "imaging/tone_filters.h"
#include "vector_paths.h"

namespace lumora::test {
namespace {

constexpr int kModeBits[6] = {8, 16, 24, 32, 48, 64};

struct HookCounter : FilterDialogHook, GainDialogHook {
    void RefreshControls() override { ++refreshes; }
    void ShowValue(int id, int value) override { shown.push_back({id, value}); }
    int refreshes = 0;
    std::vector<std::array<int, 2>> shown;
};

class FramePipelineTest : public EmulatedDisks {
protected:
    void SetUp() override {
        emulators = DiskLayer::PlaceTestCameras(1);
        camera = std::make_unique<CameraObject>();
        ASSERT_EQ(camera->Initialize(nullptr), 1);
        FilterSettings& f = CameraObjectProbe::Filters(*camera);
        f.whiteBalanceRed = f.whiteBalanceGreen = f.whiteBalanceBlue = 100;
        f.gamma = 100;
        f.grayGainR = f.grayGainG1 = f.grayGainG2 = f.grayGainB = 128;
        f.bayerPhase = 0;  // the cases are written for phase 0 (the stored default is 3)
        camera->SetDialogHooks(&hooks, &hooks);
    }
    void TearDown() override {
        camera.reset();
        EmulatedDisks::TearDown();
    }

    // Buffers of the colour mode as an acquisition prepares them; the raw frame random with a
    // few hot pixels.
    void Prepare(int mode, int width = 64, int height = 48) {
        CameraObject& c = *camera;
        c.SetColorMode(kModeBits[mode]);
        const bool wide = mode == 1 || mode == 4 || mode == 5;
        ImageBuffer* raw = wide ? c.Buffers().buffer16.get() : c.Buffers().buffer8.get();
        ASSERT_EQ(raw->Create(width, height, wide ? 16 : 8), 1);
        if (mode != 0 && mode != 1) {
            ASSERT_EQ(c.OutputBuffer()->Create(width, height, kModeBits[mode]), 1);
        }
        if (mode == 0) {
            ASSERT_EQ(c.Buffers().buffer24->Create(width, height, 24), 1);
        }
        ASSERT_EQ(c.Buffers().sharpenSource->CreateLike(c.OutputBuffer()), 1);
        std::mt19937 rng(static_cast<uint32_t>(mode * 7 + width));
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) {
                const int v = (x % 11 == 3 && y % 7 == 2) ? 255 : 60 + static_cast<int>(rng() % 120);
                if (wide) {
                    const uint16_t w = static_cast<uint16_t>(v * 16);
                    std::memcpy(raw->Row(y) + 2 * x, &w, 2);
                } else {
                    raw->Row(y)[x] = static_cast<uint8_t>(v);
                }
            }
        }
    }

    std::unique_ptr<CameraObject> camera;
    std::vector<std::shared_ptr<CameraEmulator>> emulators;
    HookCounter hooks;
};

std::vector<uint8_t> Pixels(const ImageBuffer& b) {
    return std::vector<uint8_t>(b.Bits(), b.Bits() + static_cast<size_t>(b.Stride()) * b.Height());
}

// The filter settings of the pipeline's tests.
struct FilterValues {
    int hue, saturation, gamma, contrast, sharpness, brightness;
};

// The filter stages run one after another over the whole picture (hue and saturation on colour
// pictures only), sharpening from a copy in source.
void FiltersOneByOne(ImageBuffer& picture, bool colour, const FilterValues& s, ImageBuffer& source) {
    const bool wide = picture.BitCount() == 16 || picture.BitCount() >= 48;
    if (colour && (s.hue != 0 || s.saturation != 0)) {
        HueSaturationParameters hs{s.hue, 0, s.saturation, wide ? 12 : 8};
        auto* hp = &hs;
        picture.Apply(wide ? HueSaturation16 : HueSaturation8, &picture, nullptr, 0, 0, &hp, nullptr);
    }
    auto table = [&](PixelRoutine narrow, PixelRoutine wideRoutine, int32_t value) {
        int32_t* vp = &value;
        picture.Apply(wide ? wideRoutine : narrow, &picture, nullptr, 0, 0, &vp, nullptr);
    };
    if (s.gamma != 100) table(Gamma8, Gamma16, s.gamma);
    if (s.contrast != 0) table(Contrast8, Contrast16, s.contrast);
    if (s.sharpness != 0) {
        source.CreateLike(&picture);
        SharpenPicture(picture, source, s.sharpness);
    }
    if (s.brightness != 0) table(Brightness8, Brightness16, s.brightness);
}

// Means of the five measuring windows, in order, on a 100 x 100 frame otherwise at 130.
void FillWindows(ImageBuffer& raw, const std::array<int, 5>& means) {
    static const Rect kWindows[5] = {{10, 10, 20, 20}, {10, 80, 20, 90}, {45, 45, 55, 55},
                                     {80, 10, 90, 20}, {80, 80, 90, 90}};
    for (int y = 0; y < 100; ++y) {
        for (int x = 0; x < 100; ++x) {
            int v = 130;
            for (int i = 0; i < 5; ++i) {
                const Rect& r = kWindows[i];
                if (x >= r.left && x < r.right && y >= r.top && y < r.bottom) v = means[i];
            }
            raw.Row(99 - y)[x] = static_cast<uint8_t>(v);  // memory rows run bottom-up
        }
    }
}

TEST_F(FramePipelineTest, AutomaticExposureAndGainFollowTheWindowMeans) {
    struct Case {
        int autoIris;
        std::array<int, 5> means;
        int start;     // exposure lines (mode 1) or global gain (mode 2)
        int expected;  // what the device and the settings hold afterwards
    };
    const Case cases[] = {
        {1, {210, 210, 210, 210, 210}, 1000, 250},  // 0.85 - 4 x 0.15: a quarter
        {1, {210, 210, 210, 210, 210}, 3, 1},       // never below one line
        {1, {130, 110, 150, 100, 160}, 1000, 1000}, // 1.0
        {1, {40, 120, 120, 120, 120}, 1000, 1000},  // 1.1 is inside the dead band
        {1, {40, 40, 40, 120, 120}, 1000, 1300},    // 1.3
        {1, {40, 40, 40, 40, 40}, 8000, 8191},      // 1.5, at most 8191 lines
        {2, {170, 170, 170, 170, 170}, 100, 50},    // 0.9 - 4 x 0.1: halved
        {2, {40, 40, 40, 120, 120}, 100, 127},      // 1.3, at most 127
    };
    ImageBuffer& raw = *camera->Buffers().buffer8;
    ASSERT_EQ(raw.Create(100, 100, 8), 1);
    K37VQDevice& device = *camera->Device();
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "mode " << c.autoIris << " start " << c.start << " first mean " << c.means[0]);
        hooks.shown.clear();
        FillWindows(raw, c.means);
        CameraObjectProbe::Gains(*camera) = GainSettings{};
        CameraObjectProbe::Gains(*camera).autoIris = c.autoIris;
        int lines = 0;
        if (c.autoIris == 1) {
            ASSERT_EQ(device.SetExposureLines(c.start), 1);
            EXPECT_EQ(camera->Pipeline().AutoExposure(&raw), 1);
            ASSERT_EQ(device.GetExposureLines(&lines), 1);
            EXPECT_EQ(lines, c.expected);
            EXPECT_EQ(CameraObjectProbe::Gains(*camera).exposure, c.expected == c.start ? 0 : c.expected);
        } else {
            ASSERT_EQ(device.SetGlobalGain(c.start), 1);
            EXPECT_EQ(camera->Pipeline().AutoExposure(&raw), 1);
            EXPECT_EQ(device.GetGlobalGain(), c.expected);
            const GainSettings& g = CameraObjectProbe::Gains(*camera);
            const int stored = c.expected == c.start ? 0 : c.expected;
            for (int v : {g.globalGain, g.gainRed, g.gainGreen1, g.gainGreen2, g.gainBlue}) EXPECT_EQ(v, stored);
        }
        if (c.expected != c.start) {
            const int edit = c.autoIris == 1 ? GainDialogHook::kExposureEdit : GainDialogHook::kGainEdit;
            ASSERT_EQ(hooks.shown.size(), 1u);
            EXPECT_EQ(hooks.shown[0], (std::array<int, 2>{edit, c.expected}));
        } else {
            EXPECT_TRUE(hooks.shown.empty());
        }
    }

    // Off: nothing recorded, the newest code stays the newest; without a raw frame:
    // CAMERR_ARGUMENT.
    CameraObjectProbe::Gains(*camera).autoIris = 0;
    camera->RecordError(CAMERR_MEMORY);
    EXPECT_EQ(camera->Pipeline().AutoExposure(&raw), 0);
    EXPECT_EQ(camera->PopError(), CAMERR_MEMORY);
    EXPECT_EQ(camera->PopError(), 0);
    CameraObjectProbe::Gains(*camera).autoIris = 1;
    EXPECT_EQ(camera->Pipeline().AutoExposure(nullptr), 0);
    EXPECT_EQ(camera->PopError(), CAMERR_ARGUMENT);
}

// Every mode through the pipeline equals the routines run one after another on copies, with
// the settings' stages in order; neutral settings leave defect correction and demosaic alone.
TEST_F(FramePipelineTest, StagesMatchTheRoutinesRunOneByOne) {
    using Settings = FilterValues;
    const Settings settings[] = {
        {0, 0, 100, 0, 0, 0},        {40, -30, 100, 0, 0, 0},    {0, 0, 60, 0, 0, 0},
        {0, 0, 100, 50, 0, -40},     {0, 0, 150, -20, 0, 90},    {0, 0, 100, 0, 12, 0},
        {20, 80, 140, 30, 7, -120},  {0, 0, 100, 0, 5, 200},
    };
    for (int mode = 0; mode < 6; ++mode) {
        for (const Settings& s : settings) {
            SCOPED_TRACE(testing::Message() << "mode " << mode << " hue " << s.hue << " gamma " << s.gamma
                                            << " sharpness " << s.sharpness);
            Prepare(mode);
            FilterSettings& f = CameraObjectProbe::Filters(*camera);
            f.hue = s.hue, f.saturation = s.saturation, f.gamma = s.gamma, f.contrast = s.contrast;
            f.sharpness = s.sharpness, f.brightness = s.brightness, f.bayerPhase = 3;
            f.whiteBalanceRed = 130, f.whiteBalanceBlue = 90;

            const bool wide = mode == 1 || mode == 4 || mode == 5;
            ImageBuffer raw, out, source;
            raw.CreateLike(camera->RawBuffer());
            std::memcpy(raw.Bits(), camera->RawBuffer()->Bits(), Pixels(raw).size());
            DemosaicParams p{3, 130, 100, 90};
            const DemosaicParams* pp = &p;
            raw.Apply(wide ? CorrectDefects16 : CorrectDefects, &raw, nullptr, 0, 0, &pp, nullptr);
            ImageBuffer* expected = &raw;
            if (mode >= 2) {
                out.CreateLike(camera->OutputBuffer());
                out.Apply(wide ? DemosaicInterior16 : DemosaicInterior8, &raw, nullptr, 0, 0, &pp, nullptr);
                out.Apply(wide ? DemosaicBorder16 : DemosaicBorder8, &raw, nullptr, 0, 0, &pp, nullptr);
                expected = &out;
            }
            FiltersOneByOne(*expected, mode >= 2, s, source);

            camera->Pipeline().Run();
            EXPECT_EQ(Pixels(*camera->OutputBuffer()), Pixels(*expected));
        }
    }
}

// Defect correction and demosaic shared by two threads: the raw frame and the picture are those
// of one thread, with defects dense enough to chain corrections across the bands' edges.
TEST_F(FramePipelineTest, TwoThreadsGiveThePictureOfOne) {
    CameraObjectProbe::Filters(*camera).grayMode = 2;
    for (int mode : {2, 5, 0}) {
        for (int height : {256, 301}) {
            SCOPED_TRACE(testing::Message() << "mode " << mode << " height " << height);
            Prepare(mode, 98, height);
            ImageBuffer& raw = *camera->RawBuffer();
            std::mt19937 rng(static_cast<uint32_t>(height));
            for (int y = 0; y < height; ++y) {
                for (int x = 0; x < 98; ++x) {
                    if (rng() % 25 != 0) continue;
                    if (raw.BitCount() == 8) raw.Row(y)[x] = 255;
                    else std::memcpy(raw.Row(y) + 2 * x, "\xF0\x0F", 2);
                }
            }
            const std::vector<uint8_t> input = Pixels(raw);
            camera->Pipeline().SetWorkerThreads(1);
            camera->Pipeline().Run();
            const std::vector<uint8_t> raw1 = Pixels(raw), out1 = Pixels(*camera->OutputBuffer());
            std::memcpy(raw.Bits(), input.data(), input.size());
            camera->Pipeline().SetWorkerThreads(2);
            camera->Pipeline().Run();
            EXPECT_EQ(Pixels(raw), raw1);
            EXPECT_EQ(Pixels(*camera->OutputBuffer()), out1);
            EXPECT_NE(raw1, input);  // corrections were made
        }
    }
}

// Frames of several row bands and a remainder, on every instruction-set path, with defects
// dense enough to chain corrections across the bands' edges: every mode (mode 0 with and without
// its colour path) and filter set, on one thread and on two, gives the raw frame and the
// picture of the stages run one after another over the whole frame.
class FramePipelineBands : public FramePipelineTest, public testing::WithParamInterface<RoutineSet> {
protected:
    void SetUp() override {
        FramePipelineTest::SetUp();
        LimitVectorRoutines(GetParam());
    }
    void TearDown() override {
        LimitVectorRoutines(RoutineSet::Avx2);
        FramePipelineTest::TearDown();
    }
};

TEST_P(FramePipelineBands, GiveThePictureOfTheWholeFrameStages) {
    const FilterValues filterSets[] = {
        {0, 0, 100, 0, 0, 0}, {40, -30, 150, -20, 0, 90}, {0, 0, 100, 0, 12, 0}, {20, 80, 140, 30, 7, -120},
        {-50, 60, 100, 0, 5, 40},
    };
    struct Case {
        int mode, grayMode;
    };
    constexpr int kWidth = 98;
    for (const Case c : {Case{0, 0}, Case{0, 2}, Case{1, 0}, Case{2, 0}, Case{3, 0}, Case{4, 0}, Case{5, 0}}) {
        for (const int height : {256, 301}) {
            for (const FilterValues& s : filterSets) {
                SCOPED_TRACE(testing::Message() << "mode " << c.mode << " gray mode " << c.grayMode << " height "
                                                << height << " hue " << s.hue << " sharpness " << s.sharpness);
                Prepare(c.mode, kWidth, height);
                ImageBuffer& cameraRaw = *camera->RawBuffer();
                std::mt19937 rng(static_cast<uint32_t>(height + c.mode));
                for (int y = 0; y < height; ++y) {
                    for (int x = 0; x < kWidth; ++x) {
                        if (rng() % 25 != 0) continue;
                        if (cameraRaw.BitCount() == 8) cameraRaw.Row(y)[x] = 255;
                        else std::memcpy(cameraRaw.Row(y) + 2 * x, "\xF0\x0F", 2);
                    }
                }
                FilterSettings& f = CameraObjectProbe::Filters(*camera);
                f.hue = s.hue, f.saturation = s.saturation, f.gamma = s.gamma, f.contrast = s.contrast;
                f.sharpness = s.sharpness, f.brightness = s.brightness, f.bayerPhase = 1;
                f.whiteBalanceRed = 130, f.whiteBalanceBlue = 90, f.grayMode = c.grayMode;

                // The stages one by one over the whole frame, on copies.
                const bool wide = cameraRaw.BitCount() == 16;
                ImageBuffer raw, colour, source;
                raw.CreateLike(&cameraRaw);
                const std::vector<uint8_t> input = Pixels(cameraRaw);
                std::memcpy(raw.Bits(), input.data(), input.size());
                DemosaicParams p{1, 130, 100, 90};
                const DemosaicParams* pp = &p;
                raw.Apply(wide ? CorrectDefects16 : CorrectDefects, &raw, nullptr, 0, 0, &pp, nullptr);
                ImageBuffer* expected = &raw;
                if (c.mode >= 2 || c.grayMode == 2) {
                    colour.CreateLike(c.mode >= 2 ? camera->OutputBuffer() : camera->Buffers().buffer24.get());
                    colour.Apply(wide ? DemosaicInterior16 : DemosaicInterior8, &raw, nullptr, 0, 0, &pp, nullptr);
                    colour.Apply(wide ? DemosaicBorder16 : DemosaicBorder8, &raw, nullptr, 0, 0, &pp, nullptr);
                    if (c.mode >= 2) expected = &colour;
                    else raw.Apply(ColourToGray, &colour, nullptr, 0, 0, nullptr, nullptr);
                }
                FiltersOneByOne(*expected, c.mode >= 2, s, source);

                for (const int threads : {1, 2}) {
                    SCOPED_TRACE(testing::Message() << threads << " threads");
                    std::memcpy(cameraRaw.Bits(), input.data(), input.size());
                    camera->Pipeline().SetWorkerThreads(threads);
                    camera->Pipeline().Run();
                    EXPECT_EQ(Pixels(cameraRaw), Pixels(raw));
                    EXPECT_EQ(Pixels(*camera->OutputBuffer()), Pixels(*expected));
                }
            }
        }
    }
}
LUMORA_EVERY_ROUTINE_SET(FramePipelineBands);

TEST_F(FramePipelineTest, GrayPathsOfTheEightBitMode) {
    // Calibration: per mosaic position G1 150, R 128, G2 160, B 174 measure as gains
    // 150, 128, 120, 110 (G1 is the reference).
    Prepare(0, 32, 32);
    ImageBuffer& raw = *camera->Buffers().buffer8;
    for (int y = 0; y < 32; ++y) {
        for (int x = 0; x < 32; ++x) {
            static const uint8_t kLevels[2][2] = {{150, 128}, {174, 160}};
            raw.Row(y)[x] = kLevels[y & 1][x & 1];
        }
    }
    FilterSettings& f = CameraObjectProbe::Filters(*camera);
    f.grayMode = 1;
    f.grayAutoGainCount = 1;
    camera->Pipeline().Run();
    EXPECT_EQ((std::array<int, 4>{f.grayGainR, f.grayGainG1, f.grayGainG2, f.grayGainB}),
              (std::array<int, 4>{150, 128, 120, 110}));
    EXPECT_EQ(f.grayAutoGainCount, 0);
    EXPECT_EQ(hooks.refreshes, 1);

    // Gains all 128 and nothing to calibrate: no gray pass, even with offsets set.
    Prepare(0, 32, 32);
    f.grayGainR = f.grayGainG1 = f.grayGainG2 = f.grayGainB = 128;
    f.grayOffsetR = f.grayOffsetB = 20;
    const std::vector<uint8_t> before = Pixels(raw);
    ImageBuffer corrected;
    corrected.CreateLike(&raw);
    std::memcpy(corrected.Bits(), raw.Bits(), before.size());
    DemosaicParams p{0, 100, 100, 100};
    const DemosaicParams* pp = &p;
    corrected.Apply(CorrectDefects, &corrected, nullptr, 0, 0, &pp, nullptr);
    camera->Pipeline().Run();
    EXPECT_EQ(Pixels(raw), Pixels(corrected));
    EXPECT_EQ(hooks.refreshes, 1);

    // Gray mode 2: demosaic into the 24-bit buffer, then back to gray.
    f.grayMode = 2;
    Prepare(0, 32, 32);
    camera->Pipeline().Run();
    const ImageBuffer& colour = *camera->Buffers().buffer24;
    const uint8_t* px = colour.Row(10) + 3 * 10;
    EXPECT_EQ(raw.Row(10)[10], (59 * px[1] + 30 * px[2] + 11 * px[0]) / 100);
}

TEST_F(FramePipelineTest, WhiteBalanceOnceOrEveryFrame) {
    FilterSettings& f = CameraObjectProbe::Filters(*camera);
    for (int once : {1, 0}) {
        Prepare(2);
        f.autoWhiteBalance = 1;
        f.autoWhiteBalanceOnce[0] = f.autoWhiteBalanceOnce[1] = once;
        f.whiteBalanceRed = f.whiteBalanceBlue = 0;
        hooks.refreshes = 0;
        camera->Pipeline().Run();
        camera->Pipeline().Run();
        EXPECT_EQ(f.autoWhiteBalance, once ? 0 : 1);
        EXPECT_EQ(f.autoWhiteBalanceOnce[0] + f.autoWhiteBalanceOnce[1], 0);
        EXPECT_EQ(hooks.refreshes, once ? 1 : 2);
        EXPECT_EQ(f.whiteBalanceGreen, 100);
        EXPECT_GT(f.whiteBalanceRed, 50);
        EXPECT_GT(f.whiteBalanceBlue, 50);
    }
}

// Closed loops with the emulated sensor, whose response to exposure and gain is linear up to
// saturation: frames are fetched one at a time and processed as the preview would.
class FramePipelineLoop : public FramePipelineTest {
protected:
    void Grab() {
        CameraObject& c = *camera;
        ASSERT_EQ(c.Device()->StartSingleCapture(), 0);
        ASSERT_EQ(c.Device()->FinishSingleCapture(c.Buffers().buffer8->Bits(), 0, 0, 0), 0);
        c.Pipeline().Run();
    }
    void PrepareQuarterFrames() {
        emulators[0]->SetFastFrames(true);
        emulators[0]->SetStill(true);
        camera->SetSubSample(2);
        // Unity colour gains, whatever the stored ones are.
        for (uint16_t reg : {K37VQDevice::REG_GAIN_RED, K37VQDevice::REG_GAIN_GREEN1,
                             K37VQDevice::REG_GAIN_GREEN2, K37VQDevice::REG_GAIN_BLUE}) {
            ASSERT_EQ(camera->Device()->SetColorGain(reg, 32), 1);
        }
        ASSERT_EQ(camera->Device()->SetGlobalGain(32), 1);
        ASSERT_EQ(camera->Device()->SetExposureLines(2600), 1);
        ASSERT_EQ(camera->SetCaptureWindowEx(3488, 0, 3488, 2616, 0, 2616), 1);
        Prepare(2, 872, 654);
    }
    int CentreMean() {
        Rect r{392, 294, 480, 360};
        return camera->Buffers().buffer8->Apply(RegionMean8, camera->Buffers().buffer8.get(), &r, r.left, r.top, nullptr, nullptr);
    }
};

TEST_F(FramePipelineLoop, AutomaticExposureAndGainSettleTheCentre) {
    PrepareQuarterFrames();
    struct Loop {
        int autoIris, exposure, gain;
    };
    // Over-exposed by exposure; under-exposed by gain.
    for (const Loop& loop : {Loop{1, 8191, 32}, Loop{2, 2600, 6}}) {
        SCOPED_TRACE(loop.autoIris);
        K37VQDevice& device = *camera->Device();
        ASSERT_EQ(device.SetExposureLines(loop.exposure), 1);
        ASSERT_EQ(device.SetGlobalGain(loop.gain), 1);
        CameraObjectProbe::Gains(*camera).autoIris = loop.autoIris;
        int settled = -1;
        for (int frame = 0; frame < 30; ++frame) {
            Grab();
            const int mean = CentreMean();
            if (mean >= 100 && mean <= 160) {
                if (settled < 0) settled = frame;
            } else {
                EXPECT_LT(settled, 0) << "left the band at frame " << frame << " with " << mean;
            }
        }
        EXPECT_GE(settled, 0);
        EXPECT_LT(settled, 20);
    }
}

TEST_F(FramePipelineLoop, AutomaticWhiteBalanceGraysTheGrayPatch) {
    PrepareQuarterFrames();
    // The camera looks at the chart's gray patch of 200 (row 3, column 1) alone, through colour
    // gains that tint it; the balance must take the tint out.
    camera->SetSubSample(0);
    ASSERT_EQ(camera->SetCaptureWindowEx(3488, 740, 440, 2616, 1780, 400), 1);
    Prepare(2, 440, 400);
    K37VQDevice& device = *camera->Device();
    ASSERT_EQ(device.SetColorGain(K37VQDevice::REG_GAIN_RED, 40), 1);
    ASSERT_EQ(device.SetColorGain(K37VQDevice::REG_GAIN_BLUE, 24), 1);
    FilterSettings& f = CameraObjectProbe::Filters(*camera);
    f.bayerPhase = 3;
    f.autoWhiteBalance = 1;
    for (int frame = 0; frame < 3; ++frame) Grab();
    const ImageBuffer& out = *camera->Buffers().buffer24;
    long sums[3] = {0, 0, 0};
    for (int y = 100; y < 300; ++y) {
        const uint8_t* p = out.Row(y) + 3 * 100;
        for (int x = 100; x < 340; ++x, p += 3) {
            for (int c = 0; c < 3; ++c) sums[c] += p[c];
        }
    }
    EXPECT_GT(sums[1], 200 * 240 * 150);
    for (int c : {0, 2}) EXPECT_NEAR(sums[c], sums[1], sums[1] * 3 / 100) << "channel " << c;
}

}  // namespace
}  // namespace lumora::test
