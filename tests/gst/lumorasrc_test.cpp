// lumorasrc on emulated cameras, through GstHarness and small pipelines: the caps offered for
// each geometry and Bayer phase, the layout each negotiated format delivers, every buffer's
// time, offsets and frame meta against the device's own accounting and the frame's stamp,
// buffers held downstream never overwritten, properties before and while playing, the stored
// settings left as found, SDK failures as error messages, and repeated state cycles. (Also run
// under AddressSanitizer and LeakSanitizer.)
#include <gst/check/gstharness.h>
#include <gst/gst.h>
#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "../device/emulated_disks.h"
#include "gst_lumora_frame_meta.h"
#include "gst_lumora_src.h"

namespace lumora::test {
namespace {

// A 320 x 240 window at 64 MHz: 385 lines (240 + 145) of 3440 clocks (2 x 1720) a frame.
constexpr const char* kSmall = "window-width=320 window-height=240 clock=1";
constexpr GstClockTime kSmallPeriod = 385ull * 3440 * GST_SECOND / 64000000;

gboolean RegisterPlugin(GstPlugin* plugin) { return gst_lumora_src_register(plugin); }

class GstInit : public ::testing::Environment {
    void SetUp() override {
        gst_init(nullptr, nullptr);
        ASSERT_TRUE(gst_plugin_register_static(GST_VERSION_MAJOR, GST_VERSION_MINOR, "lumora", "camera source",
                                               RegisterPlugin, "1", "Proprietary", "lumora", "lumora", "tests"));
    }
    void TearDown() override { gst_deinit(); }
};
const auto* const kGst = ::testing::AddGlobalTestEnvironment(new GstInit);

// "a=1 b=x" onto element's properties.
void SetProperties(GstElement* element, const std::string& properties) {
    gchar** pairs = g_strsplit(properties.c_str(), " ", -1);
    for (gchar** p = pairs; *p != nullptr; ++p) {
        gchar** kv = g_strsplit(*p, "=", 2);
        if (kv[0] != nullptr && kv[1] != nullptr) gst_util_set_object_arg(G_OBJECT(element), kv[0], kv[1]);
        g_strfreev(kv);
    }
    g_strfreev(pairs);
}

struct BufferPtr {
    void operator()(GstBuffer* b) const { gst_buffer_unref(b); }
};
using Buffer = std::unique_ptr<GstBuffer, BufferPtr>;

// The stamp the emulator writes into each frame: row 0 holds its low byte, row 1 the next.
int Stamp(GstBuffer* buffer, int stride, int column) {
    guint8 b[2] = {0, 0};
    gst_buffer_extract(buffer, column, &b[0], 1);
    gst_buffer_extract(buffer, stride + column, &b[1], 1);
    return b[0] | b[1] << 8;
}

GstLumoraFrameMeta* Meta(GstBuffer* b) { return gst_buffer_get_lumora_frame_meta(b); }

// Mean difference of horizontally adjacent samples in the middle rows of an 8-bit picture: high
// for the colour chart's mosaic, low once it is demosaiced.
double Roughness(GstBuffer* buffer, int stride) {
    GstMapInfo map;
    if (!gst_buffer_map(buffer, &map, GST_MAP_READ)) return 0;
    const gsize rows = map.size / stride;
    double sum = 0;
    gsize n = 0;
    for (gsize y = rows / 4; y < rows * 3 / 4; ++y) {
        for (gsize x = 8; x + 8 < static_cast<gsize>(stride); ++x, ++n) {
            sum += std::abs(map.data[y * stride + x] - map.data[y * stride + x + 1]);
        }
    }
    gst_buffer_unmap(buffer, &map);
    return n ? sum / n : 0;
}

// The caps lumorasrc with these properties offers once its camera is open (in PAUSED).
GstCaps* OfferedCaps(const std::string& properties) {
    GstElement* src = gst_element_factory_make("lumorasrc", nullptr);
    SetProperties(src, properties);
    EXPECT_EQ(gst_element_set_state(src, GST_STATE_PAUSED), GST_STATE_CHANGE_NO_PREROLL);
    GstPad* pad = gst_element_get_static_pad(src, "src");
    GstCaps* caps = gst_pad_query_caps(pad, nullptr);
    gst_object_unref(pad);
    gst_element_set_state(src, GST_STATE_NULL);
    gst_object_unref(src);
    return caps;
}

class LumoraSrcTest : public EmulatedDisks {
protected:
    void SetUp() override {
        camera = DiskLayer::PlaceTestCameras(1)[0];
        camera->SetFrameStamp(true);
    }
    void TearDown() override {
        if (harness != nullptr) gst_harness_teardown(harness);
        EXPECT_EQ(camera->OpenHandles(), 0);
        EmulatedDisks::TearDown();
    }
    // A playing harness on lumorasrc with these properties and sink caps.
    GstHarness* Play(const std::string& properties, const char* caps) {
        harness = gst_harness_new("lumorasrc");
        SetProperties(harness->element, properties);
        gst_harness_set_sink_caps_str(harness, caps);
        gst_harness_use_systemclock(harness);
        gst_harness_play(harness);
        return harness;
    }
    Buffer Pull() { return Buffer(gst_harness_pull(harness)); }

    std::shared_ptr<CameraEmulator> camera;
    GstHarness* harness = nullptr;
};

// The caps offered once the camera is open: size from the window and subsampling, rate from
// the sensor's line and frame timing at the clock, the mosaic's pattern from the Bayer phase.
TEST_F(LumoraSrcTest, OffersTheGeometryOfWindowSubsamplingClockAndPhase) {
    struct Case {
        std::string properties;
        int width, height;
        double fps;  // pixel clock / (frame lines x line clocks), by the sensor's register map
        const char* pattern;
    } cases[] = {
        {"subsampling=quarter", 872, 654, 54.8e6 / (799.0 * 3440), "grbg"},
        {"window-width=640 window-height=480 clock=5", 640, 480, 192e6 / (625.0 * 3440), "grbg"},
        {"window-width=640 window-height=480 subsampling=half clock=2", 320, 240, 76.8e6 / (385.0 * 2800), "grbg"},
        {"window-width=640 window-height=480 subsampling=half-binning clock=3", 320, 240, 96e6 / (385.0 * 4160), "grbg"},
        {std::string(kSmall) + " bayer-phase=0", 320, 240, 64e6 / (385.0 * 3440), "gbrg"},
        {std::string(kSmall) + " bayer-phase=1", 320, 240, 64e6 / (385.0 * 3440), "rggb"},
        {std::string(kSmall) + " bayer-phase=2", 320, 240, 64e6 / (385.0 * 3440), "bggr"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.properties);
        GstCaps* caps = OfferedCaps(c.properties);
        ASSERT_EQ(gst_caps_get_size(caps), 5u);
        const char* formats[] = {"BGR", "BGRx", "GRAY8", "GRAY16_LE", c.pattern};
        for (guint i = 0; i < 5; ++i) {
            const GstStructure* s = gst_caps_get_structure(caps, i);
            int w = 0, h = 0, n = 0, d = 0;
            EXPECT_STREQ(gst_structure_get_name(s), i < 4 ? "video/x-raw" : "video/x-bayer");
            EXPECT_STREQ(gst_structure_get_string(s, "format"), formats[i]);
            EXPECT_TRUE(gst_structure_get_int(s, "width", &w) && gst_structure_get_int(s, "height", &h));
            EXPECT_EQ(w, c.width);
            EXPECT_EQ(h, c.height);
            ASSERT_TRUE(gst_structure_get_fraction(s, "framerate", &n, &d));
            EXPECT_NEAR(static_cast<double>(n) / d, c.fps, c.fps * 1e-9);
        }
        gst_caps_unref(caps);
    }
}

// Each format downstream asks for gets its colour mode's picture, rows padded to 4 bytes; of
// several it accepts, the camera's first (colour before gray before the mosaic).
TEST_F(LumoraSrcTest, NegotiatedFormatsDeliverTheirLayout) {
    struct Case {
        const char* caps;
        const char* format;  // negotiated
        int bytesPerPixel;
        bool mosaic;         // the raw samples: the emulator's stamp in rows 0 and 1 intact
        const char* properties;
    } cases[] = {
        {"video/x-raw,format=BGR", "BGR", 3, false, ""},
        {"video/x-raw,format=BGRx", "BGRx", 4, false, ""},
        {"video/x-raw,format=GRAY8", "GRAY8", 1, false, ""},
        {"video/x-raw,format=GRAY8", "GRAY8", 1, true, "gray-mode=gray-filter"},
        {"video/x-raw,format=GRAY16_LE", "GRAY16_LE", 2, false, ""},
        {"video/x-bayer,format=grbg", "grbg", 1, true, ""},
        {"video/x-raw", "BGR", 3, false, ""},
        {"video/x-raw,format={GRAY16_LE,GRAY8};video/x-bayer", "GRAY8", 1, false, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.caps) + " " + c.properties);
        // 318 wide: rows of 3 x 318 bytes are padded, as GStreamer's default strides are.
        Play(std::string("window-width=318 window-height=240 clock=1 ") + c.properties, c.caps);
        const int stride = (318 * c.bytesPerPixel + 3) & ~3;
        int firstStamp = 0;
        for (int i = 0; i < 3; ++i) {
            Buffer b = Pull();
            ASSERT_TRUE(b);
            EXPECT_EQ(gst_buffer_get_size(b.get()), static_cast<gsize>(stride) * 240);
            if (c.bytesPerPixel == 2) {  // wide samples are 0..4095, little-endian
                GstMapInfo map;
                ASSERT_TRUE(gst_buffer_map(b.get(), &map, GST_MAP_READ));
                int top = 0;
                for (gsize k = 0; k + 1 < map.size; k += 2) top = std::max(top, map.data[k] | map.data[k + 1] << 8);
                gst_buffer_unmap(b.get(), &map);
                EXPECT_LE(top, 4095);
                EXPECT_GT(top, 255);
            }
            const int stamped = Stamp(b.get(), stride, 159) - static_cast<int>(Meta(b.get())->number);
            if (i == 0) firstStamp = stamped;
            if (c.mosaic) {
                EXPECT_EQ(stamped, firstStamp) << "buffer " << i;
            }
            if (c.bytesPerPixel == 1) {  // the mosaic's colours alternate, true gray is smooth (0.9 / 0.26 seen)
                EXPECT_EQ(Roughness(b.get(), stride) > 0.5, c.mosaic) << Roughness(b.get(), stride);
            }
        }
        GstCaps* caps = gst_pad_get_current_caps(harness->sinkpad);
        ASSERT_NE(caps, nullptr);
        EXPECT_STREQ(gst_structure_get_string(gst_caps_get_structure(caps, 0), "format"), c.format);
        gst_caps_unref(caps);
        gst_harness_teardown(harness);
        harness = nullptr;
    }
}

// Every buffer: OFFSET the device's frame number and OFFSET_END one more, gaps only where the
// device counted skipped frames, the pixels of that very frame, PTS the device's time in
// running time, DURATION the frame period, and the frame's settings in the meta. Held buffers
// keep their pixels while the camera goes on.
TEST_F(LumoraSrcTest, BuffersCarryTheDevicesFrameNumberTimeAndDetails) {
    Play(std::string(kSmall) + " gain=40 exposure=300", "video/x-bayer");
    std::vector<Buffer> held;
    for (int i = 0; i < 30; ++i) held.push_back(Pull());
    GstQuery* latency = gst_query_new_latency();
    ASSERT_TRUE(gst_element_query(harness->element, latency));
    gboolean live = FALSE;
    GstClockTime min = 0, max = 0;
    gst_query_parse_latency(latency, &live, &min, &max);
    gst_query_unref(latency);
    EXPECT_TRUE(live);
    EXPECT_EQ(min, kSmallPeriod);
    EXPECT_GE(max, min);

    const GstClockTime base = gst_element_get_base_time(harness->element);
    auto check = [&](const std::vector<Buffer>& buffers, size_t contiguousFrom, const char* what) {
        SCOPED_TRACE(what);
        const int offset = Stamp(buffers[0].get(), 320, 160) - static_cast<int>(Meta(buffers[0].get())->number);
        for (size_t i = 0; i < buffers.size(); ++i) {
            GstBuffer* b = buffers[i].get();
            const GstLumoraFrameMeta* m = Meta(b);
            ASSERT_NE(m, nullptr) << i;
            EXPECT_EQ(GST_BUFFER_OFFSET(b), m->number) << i;
            EXPECT_EQ(GST_BUFFER_OFFSET_END(b), m->number + 1ull) << i;
            EXPECT_EQ(Stamp(b, 320, 160) - static_cast<int>(m->number), offset) << "pixels of another frame, " << i;
            EXPECT_EQ(GST_BUFFER_DURATION(b), kSmallPeriod);
            EXPECT_NEAR(static_cast<double>(GST_BUFFER_PTS(b) + base), m->timestamp * 1000.0, 1e6) << i;
            EXPECT_EQ(m->global_gain, 40u);
            EXPECT_EQ(m->exposure_lines, 300u);
            if (i <= contiguousFrom) continue;
            const GstLumoraFrameMeta* p = Meta(buffers[i - 1].get());
            EXPECT_EQ(m->number, p->number + 1 + m->skipped_before) << i;
            EXPECT_EQ(GST_BUFFER_FLAG_IS_SET(b, GST_BUFFER_FLAG_DISCONT), m->skipped_before > 0) << i;
            EXPECT_GT(GST_BUFFER_PTS(b), GST_BUFFER_PTS(buffers[i - 1].get()));
        }
        // On average the times advance by one period per frame number.
        const GstLumoraFrameMeta* first = Meta(buffers.front().get());
        const GstLumoraFrameMeta* last = Meta(buffers.back().get());
        const double perFrame = static_cast<double>(GST_BUFFER_PTS(buffers.back().get()) -
                                                    GST_BUFFER_PTS(buffers.front().get())) /
                                (last->number - first->number);
        EXPECT_NEAR(perFrame, static_cast<double>(kSmallPeriod), kSmallPeriod * 0.25);
    };
    check(held, 0, "30 buffers held");
    held.erase(held.begin() + 1, held.end());  // back to the pool, reused from now on
    for (int i = 0; i < 20; ++i) held.push_back(Pull());
    check(held, 1, "the first still held, 20 more from reused buffers");

    GstStructure* stats = nullptr;
    g_object_get(harness->element, "stats", &stats, nullptr);
    guint delivered = 0, skipped = 0;
    ASSERT_TRUE(gst_structure_get_uint(stats, "delivered", &delivered) && gst_structure_get_uint(stats, "skipped", &skipped));
    EXPECT_GE(delivered, 50u);
    gst_structure_free(stats);
}

// Live settings reach the camera while playing (the meta shows them); the others wait for the
// next start. Read back they are the camera's values.
TEST_F(LumoraSrcTest, PropertiesApplyLiveOrAtTheNextStart) {
    Play(std::string(kSmall) + " gain=20 exposure=200", "video/x-bayer");
    ASSERT_TRUE(Pull());
    g_object_set(harness->element, "gain", 55, "exposure", 444, "subsampling", 1, nullptr);
    bool seen = false;
    for (int i = 0; i < 40 && !seen; ++i) {
        Buffer b = Pull();
        seen = Meta(b.get())->global_gain == 55 && Meta(b.get())->exposure_lines == 444;
    }
    EXPECT_TRUE(seen);
    int gain = 0, exposure = 0;
    g_object_get(harness->element, "gain", &gain, "exposure", &exposure, nullptr);
    EXPECT_EQ(gain, 55);
    EXPECT_EQ(exposure, 444);
    EXPECT_EQ(gst_buffer_get_size(Pull().get()), 320u * 240);  // subsampling not yet
    gst_harness_teardown(harness);
    harness = nullptr;

    GstCaps* caps = OfferedCaps(std::string(kSmall) + " subsampling=half");  // at the next start
    int width = 0;
    gst_structure_get_int(gst_caps_get_structure(caps, 0), "width", &width);
    EXPECT_EQ(width, 160);
    gst_caps_unref(caps);
}

// What the element set is put back before the camera is released: the stored settings of the
// user stay as they were.
TEST_F(LumoraSrcTest, LeavesTheStoredSettingsAsFound) {
    auto read = [] {
        std::map<std::string, int> v;
        LumoraHandle h = Lumora_Initialize(nullptr);
        int ok = 0;
        v["gain"] = Lumora_GetGlobalGain(h, &ok);
        v["brightness"] = Lumora_GetBrightness(h, &ok);
        v["gamma"] = Lumora_GetGamma(h, &ok);
        v["auto"] = Lumora_GetBayerGainAuto(h, &ok);
        v["gray"] = Lumora_GetGrayMode(h, &ok);
        Lumora_Release(h);
        return v;
    };
    const auto before = read();
    Play(std::string(kSmall) + " gain=" + std::to_string(before.at("gain") + 7) +
             " brightness=9 gamma=150 auto-white-balance=true",
         "video/x-raw,format=GRAY8");  // negotiation sets the gray mode: put back too
    ASSERT_TRUE(Pull());
    g_object_set(harness->element, "brightness", 20, nullptr);  // live, remembered once
    ASSERT_TRUE(Pull());
    gst_harness_teardown(harness);
    harness = nullptr;
    EXPECT_EQ(read(), before);
}

// Failures of the SDK are error messages naming the code, in their details too; an unplugged
// camera is one the application gets while playing.
TEST_F(LumoraSrcTest, FailuresAreErrorMessagesWithTheSdkCode) {
    struct Case {
        const char* pipeline;
        bool unplug;  // while playing
        int code;
        GstResourceError error;
    } cases[] = {
        {"lumorasrc device=3 ! fakesink", false, CAMERR_DEVICE_NUMBER, GST_RESOURCE_ERROR_NOT_FOUND},
        {"lumorasrc window-x=3000 window-width=1000 window-height=100 ! fakesink", false, CAMERR_CAPTURE_WINDOW,
         GST_RESOURCE_ERROR_SETTINGS},
        {"lumorasrc window-width=320 window-height=240 ! fakesink", true, CAMERR_STREAM_STOPPED,
         GST_RESOURCE_ERROR_READ},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.pipeline);
        camera = DiskLayer::PlaceTestCameras(1)[0];
        GstElement* pipeline = gst_parse_launch(c.pipeline, nullptr);
        ASSERT_NE(pipeline, nullptr);
        gst_element_set_state(pipeline, GST_STATE_PLAYING);
        if (c.unplug) {
            ASSERT_TRUE(WaitFor([&] { return camera->FramesDelivered() >= 3; }));
            camera->UnplugAfter(0);
        }
        GstBus* bus = gst_element_get_bus(pipeline);
        GstMessage* m = gst_bus_timed_pop_filtered(bus, 10 * GST_SECOND, GST_MESSAGE_ERROR);
        ASSERT_NE(m, nullptr);
        GError* error = nullptr;
        gst_message_parse_error(m, &error, nullptr);
        EXPECT_TRUE(g_error_matches(error, GST_RESOURCE_ERROR, c.error)) << error->message;
        EXPECT_NE(std::string(error->message).find(LumoraErrorText(c.code)), std::string::npos) << error->message;
        const GstStructure* details = nullptr;
        gst_message_parse_error_details(m, &details);
        int code = 0;
        EXPECT_TRUE(details != nullptr && gst_structure_get_int(details, "lumora-error", &code));
        EXPECT_EQ(code, c.code);
        g_error_free(error);
        gst_message_unref(m);
        gst_object_unref(bus);
        EXPECT_EQ(gst_element_set_state(pipeline, GST_STATE_NULL), GST_STATE_CHANGE_SUCCESS);
        gst_object_unref(pipeline);
    }
}

// With reconnect on, a camera unplugged while playing and plugged back goes on streaming in
// the same pipeline: the first buffer after each absence is marked DISCONT with the numbers
// left out, the settings made before hold, the stats count the returns; no error is posted.
TEST_F(LumoraSrcTest, ReconnectKeepsStreamingAcrossUnplugs) {
    Play(std::string(kSmall) + " gain=40 reconnect=true", "video/x-bayer");
    GstBus* bus = gst_bus_new();
    gst_element_set_bus(harness->element, bus);
    for (int cycle = 1; cycle <= 3; ++cycle) {
        SCOPED_TRACE("cycle " + std::to_string(cycle));
        Buffer last = Pull();
        for (int i = 0; i < 5; ++i) last = Pull();  // the frame period known to the device
        while (GstBuffer* queued = gst_harness_try_pull(harness)) last = Buffer(queued);
        const uint32_t unplugs = camera->Unplugs();
        camera->UnplugAfter(0);
        ASSERT_TRUE(WaitFor([&] { return camera->Unplugs() > unplugs; }));
        g_usleep(200000);  // about ten frame periods away
        camera->Replug();
        // Buffers pushed before the unplug come first; the one after the absence shows the gap.
        bool gap = false;
        for (int i = 0; i < 100 && !gap; ++i) {
            Buffer b = Pull();
            ASSERT_TRUE(b) << "no buffer after the camera came back";
            const GstLumoraFrameMeta* m = Meta(b.get());
            ASSERT_NE(m, nullptr);
            EXPECT_EQ(m->number, Meta(last.get())->number + 1 + m->skipped_before);
            gap = m->skipped_before >= 3 && GST_BUFFER_FLAG_IS_SET(b.get(), GST_BUFFER_FLAG_DISCONT);
            if (gap) {
                EXPECT_EQ(m->global_gain, 40u) << "the gain made before the unplug";
            }
            last = std::move(b);
        }
        EXPECT_TRUE(gap);
    }
    GstStructure* stats = nullptr;
    g_object_get(harness->element, "stats", &stats, nullptr);
    guint reconnects = 0;
    EXPECT_TRUE(gst_structure_get_uint(stats, "reconnects", &reconnects));
    EXPECT_EQ(reconnects, 3u);
    gst_structure_free(stats);
    EXPECT_EQ(gst_bus_pop_filtered(bus, GST_MESSAGE_ERROR), nullptr);
    gst_object_unref(bus);
}

GstPadProbeReturn CountBuffer(GstPad*, GstPadProbeInfo*, gpointer count) {
    g_atomic_int_inc(static_cast<gint*>(count));
    return GST_PAD_PROBE_OK;
}

// NULL -> PLAYING -> NULL ten times (and a pause between): frames each time, numbered anew,
// the camera closed after each; LeakSanitizer checks the rest at exit.
TEST_F(LumoraSrcTest, StateCyclesRepeat) {
    GstElement* pipeline = gst_parse_launch("lumorasrc name=src window-width=320 window-height=240 clock=1 ! fakesink", nullptr);
    GstElement* src = gst_bin_get_by_name(GST_BIN(pipeline), "src");
    GstPad* pad = gst_element_get_static_pad(src, "src");
    gint count = 0;
    gst_pad_add_probe(pad, GST_PAD_PROBE_TYPE_BUFFER, CountBuffer, &count, nullptr);
    for (int cycle = 0; cycle < 10; ++cycle) {
        SCOPED_TRACE(cycle);
        g_atomic_int_set(&count, 0);
        ASSERT_EQ(gst_element_set_state(pipeline, GST_STATE_PLAYING), GST_STATE_CHANGE_ASYNC);
        ASSERT_TRUE(WaitFor([&] { return g_atomic_int_get(&count) >= 3; }));
        if (cycle == 5) {
            gst_element_set_state(pipeline, GST_STATE_PAUSED);
            g_atomic_int_set(&count, 0);
            gst_element_set_state(pipeline, GST_STATE_PLAYING);
            ASSERT_TRUE(WaitFor([&] { return g_atomic_int_get(&count) >= 3; }));
        }
        ASSERT_EQ(gst_element_set_state(pipeline, GST_STATE_NULL), GST_STATE_CHANGE_SUCCESS);
        EXPECT_EQ(camera->OpenHandles(), 0);
    }
    gst_object_unref(pad);
    gst_object_unref(src);
    gst_object_unref(pipeline);
}

}  // namespace
}  // namespace lumora::test

namespace lumora::test {
namespace {

struct Arrivals {
    std::vector<std::pair<guint64, guint32>> offsetAndSkipped;
    int slowEvery = 0;  // every n-th buffer the sink takes 60 ms (0: never)
};

GstPadProbeReturn RecordArrival(GstPad*, GstPadProbeInfo* info, gpointer data) {
    auto* a = static_cast<Arrivals*>(data);
    GstBuffer* b = GST_PAD_PROBE_INFO_BUFFER(info);
    const GstLumoraFrameMeta* m = gst_buffer_get_lumora_frame_meta(b);
    a->offsetAndSkipped.emplace_back(GST_BUFFER_OFFSET(b), m ? m->skipped_before : ~0u);
    if (a->slowEvery && a->offsetAndSkipped.size() % a->slowEvery == 0) g_usleep(60000);
    return GST_PAD_PROBE_OK;
}

// At the camera's full rate (a quarter of the sensor at 192 MHz, 70 frames a second) into a
// synchronised sink, one that keeps up and one that now and then falls behind by four frames:
// every frame the SDK delivered arrives, the offsets consecutive except where the frame's meta
// and the SDK's statistics count skipped frames. Two seconds each here;
// LUMORA_GST_FULL_RATE_SECONDS=30 (bench/gst_full_rate.sh) for the long run.
TEST_F(LumoraSrcTest, FullRateLosesNoDeliveredFrame) {
    const char* env = g_getenv("LUMORA_GST_FULL_RATE_SECONDS");
    const int seconds = env ? std::max(1, std::atoi(env)) : 2;
    for (int slowEvery : {0, 25}) {
        SCOPED_TRACE(slowEvery);
        camera = DiskLayer::PlaceTestCameras(1)[0];
        GstElement* pipeline = gst_parse_launch(
            "lumorasrc name=src subsampling=quarter clock=5 ! video/x-raw,format=BGR ! fakesink sync=true", nullptr);
        GstElement* src = gst_bin_get_by_name(GST_BIN(pipeline), "src");
        GstPad* pad = gst_element_get_static_pad(src, "src");
        Arrivals arrivals;
        arrivals.slowEvery = slowEvery;
        arrivals.offsetAndSkipped.reserve(static_cast<size_t>(seconds) * 100);
        gst_pad_add_probe(pad, GST_PAD_PROBE_TYPE_BUFFER, RecordArrival, &arrivals, nullptr);
        gst_element_set_state(pipeline, GST_STATE_PLAYING);
        GstBus* bus = gst_element_get_bus(pipeline);
        GstMessage* error = gst_bus_timed_pop_filtered(bus, seconds * GST_SECOND, GST_MESSAGE_ERROR);
        EXPECT_EQ(error, nullptr);
        if (error != nullptr) gst_message_unref(error);
        gst_element_set_state(pipeline, GST_STATE_PAUSED);  // the stream stopped, the camera still open
        GstStructure* stats = nullptr;
        g_object_get(src, "stats", &stats, nullptr);
        gst_element_set_state(pipeline, GST_STATE_NULL);

        const auto& a = arrivals.offsetAndSkipped;
        ASSERT_GT(a.size(), 10u);
        guint64 gaps = 0;
        for (size_t i = 1; i < a.size(); ++i) {
            const guint64 gap = a[i].first - a[i - 1].first - 1;
            EXPECT_EQ(gap, a[i].second) << "buffer " << i << ", offset " << a[i].first;
            gaps += gap;
        }
        guint delivered = 0, skipped = 0, busy = 0, flushed = 0;
        guint64 early = 0;
        ASSERT_TRUE(gst_structure_get_uint(stats, "delivered", &delivered) &&
                    gst_structure_get_uint(stats, "skipped", &skipped) &&
                    gst_structure_get_uint(stats, "skipped-consumer-busy", &busy) &&
                    gst_structure_get_uint64(stats, "dropped-before-playing", &early) &&
                    gst_structure_get_uint(stats, "dropped-while-flushing", &flushed));
        EXPECT_LE(gaps, skipped);
        if (slowEvery) {
            EXPECT_GT(gaps, 0u);  // the slow sink made the SDK skip, and it said so
        }
        // What the SDK delivered reached the sink, less those from before PLAYING, those the
        // pause flushed, and the one it holds in the hand-over (or in the SDK's processing).
        EXPECT_GE(a.size() + early + flushed + 1, delivered);
        EXPECT_LE(a.size() + early + flushed, delivered);
        std::printf("%d s, slow every %d: %zu buffers, offsets %" G_GUINT64_FORMAT "..%" G_GUINT64_FORMAT
                    ", %" G_GUINT64_FORMAT " skipped (%u consumer busy), %u delivered, %" G_GUINT64_FORMAT
                    " before PLAYING, %u flushed\n",
                    seconds, slowEvery, a.size(), a.front().first, a.back().first, gaps, busy, delivered, early,
                    flushed);
        gst_structure_free(stats);
        gst_object_unref(bus);
        gst_object_unref(pad);
        gst_object_unref(src);
        gst_object_unref(pipeline);
    }
}

}  // namespace
}  // namespace lumora::test
