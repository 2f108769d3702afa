#include "gst_lumora_src.h"

#include <cstring>
#include <string>

#include "camera_settings.h"
#include "frame_format.h"
#include "frame_slot.h"
#include "gst_lumora_frame_meta.h"

GST_DEBUG_CATEGORY_STATIC(lumora_src_debug);
#define GST_CAT_DEFAULT lumora_src_debug

using lumora::gst::CameraSettings;
using lumora::gst::FrameFormat;
using lumora::gst::FrameGeometry;
using lumora::gst::FrameSlot;

struct _GstLumoraSrc {
    GstPushSrc parent;

    // Set by the application (object lock).
    int device;
    gchar* device_name;
    int gray_mode;  // the SDK's gray mode GRAY8 uses: 2 true gray, 1 the gray filter
    CameraSettings* settings;

    // The camera (camera_lock): the handle from start to stop, its notifier record, the buffer
    // the SDK copies each frame into, what the acquisition delivers.
    GMutex camera_lock;
    LumoraHandle handle;
    LumoraNotifier notifier;
    FrameSlot* slot;
    guint8* sdk_buffer;
    FrameGeometry geometry;
    FrameFormat format;
    gboolean streaming;
    int stored_gray_mode;  // the camera's gray mode before negotiation changed it; -1: unchanged
    GstClockTime period;  // one frame, nanoseconds, from the sensor's line and frame timing

    // Streaming thread only.
    guint32 last_number;
    guint seen_returns;  // the camera's returns announced on the bus
    guint64 dropped_before_playing;
};

enum {
    PROP_0,
    PROP_DEVICE,
    PROP_DEVICE_NAME,
    PROP_WINDOW_X,
    PROP_WINDOW_Y,
    PROP_WINDOW_WIDTH,
    PROP_WINDOW_HEIGHT,
    PROP_STATS,
    PROP_GRAY_MODE,
    PROP_FIRST_SETTING,  // CameraSettings' rows from here on
};

G_DEFINE_TYPE(GstLumoraSrc, gst_lumora_src, GST_TYPE_PUSH_SRC)

namespace {

// ---- errors ----

// An SDK failure as an error (or warning) message: the text names the call, the code in words,
// and the message's details carry the code ("lumora-error", int) and the call ("lumora-call").
// Any thread.
void PostSdkMessage(GstLumoraSrc* self, GstMessageType type, GQuark domain, gint gcode, const char* what,
                    const char* call, int code) {
    GstStructure* details = gst_structure_new("details", "lumora-error", G_TYPE_INT, code, "lumora-call",
                                              G_TYPE_STRING, call, nullptr);
    gchar* text = g_strdup_printf("%s: %s", what, LumoraErrorText(code));
    gchar* debug = g_strdup_printf("%s failed with SDK error code %d (%s)", call, code, LumoraErrorText(code));
    gst_element_message_full_with_details(GST_ELEMENT(self), type, domain, gcode, text, debug, __FILE__,
                                          GST_FUNCTION, __LINE__, details);
}

void PostSdkError(GstLumoraSrc* self, gint gcode, const char* what, const char* call, int code) {
    PostSdkMessage(self, GST_MESSAGE_ERROR, GST_RESOURCE_ERROR, gcode, what, call, code);
}

// The newest recorded code of the last failed call, the older ones dropped (they belong to
// earlier calls). camera_lock held.
int LastError(LumoraHandle h) {
    const int code = Lumora_GetLastError(h);
    for (int i = 0; i < 20 && Lumora_GetLastError(h) != 0; ++i) {
    }
    return code;
}

// ---- the notifier (the SDK's preview thread; the application's thread for errors posted
// inside a Lumora_ call) ----

void Notify(void* context, unsigned int message, uintptr_t wParam, intptr_t lParam) {
    auto* slot = static_cast<FrameSlot*>(context);
    if (message == CAMMSG_FRAME && wParam != 0) {
        slot->Announce(reinterpret_cast<const FrameInfo*>(wParam));
    } else if (message == CAMMSG_FRAME) {
        slot->Failure(static_cast<int>(lParam));
    } else if (message == CAMMSG_ERROR && lParam == CAMERR_STREAM_STOPPED) {
        slot->Failure(CAMERR_STREAM_STOPPED);
    } else if (message == LUMORAEX_MSG_CAMERA_BACK) {
        slot->CameraBack();
    }
}

// ---- the camera (camera_lock held: the application's thread in start and stop, the streaming
// thread in set_caps) ----

// Pixel clock of a Lumora_SetHalfClock setting, in kHz. Any thread.
guint64 ClockKhz(int clock) {
    static const guint64 khz[] = {54800, 64000, 76800, 96000, 128000, 192000};
    return clock >= 1 && clock <= 5 ? khz[clock] : khz[0];
}

// The geometry the next acquisition delivers: picture size, Bayer phase, and the frame rate
// from the sensor's frame length (lines, register 0x0340) and line length (clocks, 0x0342) at
// the pixel clock.
bool ReadGeometry(GstLumoraSrc* self) {
    const LumoraHandle h = self->handle;
    FrameGeometry g;
    int bits = 0;
    if (LumoraPictureSize(h, &g.width, &g.height, &bits) <= 0) return false;
    int ok1 = 0, ok2 = 0, ok3 = 0;
    const guint64 lines = static_cast<guint>(Lumora_ReadRegisterEx(h, 0x0340, &ok1));
    const guint64 clocks = static_cast<guint>(Lumora_ReadRegisterEx(h, 0x0342, &ok2));
    g.bayerPhase = Lumora_GetBayerMode(h, &ok3) & 3;
    if (!ok1 || !ok2 || lines == 0 || clocks == 0) return false;
    const guint64 hz = ClockKhz(Lumora_GetHalfClock(h)) * 1000;
    const guint64 clocksPerFrame = lines * clocks;
    const guint64 common = [](guint64 a, guint64 b) {
        while (b != 0) {
            const guint64 t = a % b;
            a = b;
            b = t;
        }
        return a;
    }(hz, clocksPerFrame);
    g.rateNumerator = static_cast<int>(hz / common);
    g.rateDenominator = static_cast<int>(clocksPerFrame / common);
    self->geometry = g;
    self->period = gst_util_uint64_scale(clocksPerFrame, GST_SECOND, hz);
    return true;
}

// Ends a running acquisition (streaming thread on renegotiation, application thread in stop).
// The slot closes first: the preview thread may be waiting in it,
// and Lumora_StopPreview waits for that thread.
void StopStream(GstLumoraSrc* self) {
    self->slot->Close();
    if (self->streaming) Lumora_StopPreview(self->handle);
    self->streaming = FALSE;
    g_free(self->sdk_buffer);
    self->sdk_buffer = nullptr;
}

// Starts the callback preview in format f (streaming thread, set_caps). False with an error
// message posted.
bool StartStream(GstLumoraSrc* self, const FrameFormat& f) {
    const LumoraHandle h = self->handle;
    StopStream(self);
    if (!Lumora_SetColorMode(h, f.colorMode)) {
        PostSdkError(self, GST_RESOURCE_ERROR_SETTINGS, "Cannot set the colour mode", "Lumora_SetColorMode",
                     LastError(h));
        return false;
    }
    if (f.grayMode >= 0 && self->stored_gray_mode < 0) {
        int ok = 0;
        const int stored = Lumora_GetGrayMode(h, &ok);
        if (ok) self->stored_gray_mode = stored;
    }
    if (f.grayMode >= 0 && !Lumora_SetGrayMode(h, f.grayMode)) {
        PostSdkError(self, GST_RESOURCE_ERROR_SETTINGS, "Cannot set the gray mode", "Lumora_SetGrayMode",
                     LastError(h));
        return false;
    }
    const int size = LumoraPictureSize(h, nullptr, nullptr, nullptr);
    if (size <= 0 || static_cast<gsize>(size) != f.size) {
        PostSdkError(self, GST_RESOURCE_ERROR_SETTINGS, "The camera's picture does not have the negotiated size",
                     "LumoraPictureSize", CAMERR_CAPTURE_WINDOW);
        return false;
    }
    self->sdk_buffer = static_cast<guint8*>(g_malloc(f.size));
    self->format = f;
    self->slot->Open(h, LumoraEx_GetReconnect(h) != 0);
    if (!Lumora_CallBackPreview(h, &self->notifier, self->sdk_buffer, size, 1)) {
        const int code = LastError(h);
        self->slot->Close();
        PostSdkError(self, GST_RESOURCE_ERROR_READ, "Cannot start the camera's stream", "Lumora_CallBackPreview",
                     code);
        return false;
    }
    self->streaming = TRUE;
    // The clock and window were sent again by the preparation: the timing as it now is.
    ReadGeometry(self);
    GST_INFO_OBJECT(self, "streaming colour mode %d, %dx%d, %d/%d fps", f.colorMode, f.width, f.height,
                    self->geometry.rateNumerator, self->geometry.rateDenominator);
    return true;
}

// The selected camera's number: device-name when given (a name of Lumora_EnumDevice), else
// device. -1 with an error posted when there is no such camera. Application thread (start).
int SelectDevice(GstLumoraSrc* self, int device, const char* name) {
    char names[10][256] = {};
    const int count = Lumora_EnumDevice(self->handle, names);
    if (count <= 0) {
        PostSdkError(self, GST_RESOURCE_ERROR_NOT_FOUND, "No camera found", "Lumora_EnumDevice", CAMERR_NO_DEVICE);
        return -1;
    }
    if (name != nullptr && name[0] != '\0') {
        for (int i = 0; i < count && i < 10; ++i) {
            if (std::strcmp(names[i], name) == 0) return i;
        }
        GST_ELEMENT_ERROR(self, RESOURCE, NOT_FOUND, ("No camera named \"%s\"", name),
                          ("%d cameras found, the first named \"%s\"", count, names[0]));
        return -1;
    }
    if (device >= count) {
        PostSdkError(self, GST_RESOURCE_ERROR_NOT_FOUND, "No camera of this number", "Lumora_SetDeviceNumber",
                     CAMERR_DEVICE_NUMBER);
        return -1;
    }
    return device;
}

// ---- GstBaseSrc ----

// Application thread (READY -> PAUSED): opens the camera and sends it the settings set.
gboolean Start(GstBaseSrc* base) {
    GstLumoraSrc* self = GST_LUMORA_SRC(base);
    GST_OBJECT_LOCK(self);
    const int device = self->device;
    gchar* name = g_strdup(self->device_name);
    GST_OBJECT_UNLOCK(self);

    g_mutex_lock(&self->camera_lock);
    gboolean ok = FALSE;
    self->handle = Lumora_Initialize(&self->notifier);
    int x = 0, y = 0, w = 0, h = 0;
    int index = -1;
    CameraSettings::Failure failure;
    if (self->handle == 0) {
        PostSdkError(self, GST_RESOURCE_ERROR_OPEN_READ, "Cannot open the camera", "Lumora_Initialize", CAMERR_MEMORY);
        goto done;
    }
    LastError(self->handle);  // first-run notes of the settings store
    index = SelectDevice(self, device, name);
    if (index < 0) goto done;
    if (index > 0 && !Lumora_SetDeviceNumber(self->handle, index)) {
        PostSdkError(self, GST_RESOURCE_ERROR_OPEN_READ, "Cannot select the camera", "Lumora_SetDeviceNumber",
                     LastError(self->handle));
        goto done;
    }
    GST_OBJECT_LOCK(self);
    ok = self->settings->Apply(self->handle, &failure);
    GST_OBJECT_UNLOCK(self);
    if (!ok) {
        gchar* what = g_strdup_printf("Cannot set %s", failure.name);
        PostSdkError(self, GST_RESOURCE_ERROR_SETTINGS, what, failure.call, failure.code);
        g_free(what);
        goto done;
    }
    GST_OBJECT_LOCK(self);
    ok = self->settings->Window(&x, &y, &w, &h);
    GST_OBJECT_UNLOCK(self);
    if (!ok) {
        // The window in force, sent again so that the sensor's timing follows the subsampling.
        int ht = 0, vt = 0;
        Lumora_GetCaptureWindowEx(self->handle, &ht, &x, &w, &vt, &y, &h);
    }
    {
        int ht = 0, hs = 0, he = 0, vt = 0, vs = 0, ve = 0;
        Lumora_GetCaptureWindowEx(self->handle, &ht, &hs, &he, &vt, &vs, &ve);
        ok = Lumora_SetCaptureWindowEx(self->handle, ht, x, w, vt, y, h);
    }
    if (!ok) {
        PostSdkError(self, GST_RESOURCE_ERROR_SETTINGS, "Cannot set the capture window", "Lumora_SetCaptureWindowEx",
                     LastError(self->handle));
        goto done;
    }
    ok = ReadGeometry(self);
    if (!ok) {
        PostSdkError(self, GST_RESOURCE_ERROR_READ, "Cannot read the camera's timing", "Lumora_ReadRegisterEx",
                     LastError(self->handle));
    }
done:
    if (!ok && self->handle != 0) {
        GST_OBJECT_LOCK(self);
        self->settings->Restore(self->handle);
        GST_OBJECT_UNLOCK(self);
        Lumora_Release(self->handle);
        self->handle = 0;
    }
    self->last_number = 0;
    self->seen_returns = 0;
    self->dropped_before_playing = 0;
    g_mutex_unlock(&self->camera_lock);
    g_free(name);
    return ok;
}

// Application thread (PAUSED -> READY, after the streaming thread ended): stops the stream, puts
// back the settings the camera had and releases it.
gboolean Stop(GstBaseSrc* base) {
    GstLumoraSrc* self = GST_LUMORA_SRC(base);
    g_mutex_lock(&self->camera_lock);
    if (self->handle != 0) {
        StopStream(self);
        if (self->stored_gray_mode >= 0) Lumora_SetGrayMode(self->handle, self->stored_gray_mode);
        self->stored_gray_mode = -1;
        GST_OBJECT_LOCK(self);
        self->settings->Restore(self->handle);
        GST_OBJECT_UNLOCK(self);
        Lumora_Release(self->handle);
        self->handle = 0;
    }
    self->period = GST_CLOCK_TIME_NONE;
    g_mutex_unlock(&self->camera_lock);
    return TRUE;
}

// Any thread: the formats the camera delivers now (every format of the template before start).
GstCaps* GetCaps(GstBaseSrc* base, GstCaps* filter) {
    GstLumoraSrc* self = GST_LUMORA_SRC(base);
    g_mutex_lock(&self->camera_lock);
    GstCaps* caps = self->handle != 0 ? lumora::gst::OfferedCaps(self->geometry)
                                      : gst_pad_get_pad_template_caps(GST_BASE_SRC_PAD(base));
    g_mutex_unlock(&self->camera_lock);
    if (filter != nullptr) {
        GstCaps* both = gst_caps_intersect_full(filter, caps, GST_CAPS_INTERSECT_FIRST);
        gst_caps_unref(caps);
        caps = both;
    }
    return caps;
}

// Streaming thread: of the formats downstream accepts, the first in the camera's order of
// preference (colour before gray before the mosaic), so that a downstream that takes anything
// gets colour; one that takes only some formats gets the first of those.
GstCaps* Fixate(GstBaseSrc* base, GstCaps* caps) {
    GstLumoraSrc* self = GST_LUMORA_SRC(base);
    g_mutex_lock(&self->camera_lock);
    GstCaps* offered = self->handle != 0 ? lumora::gst::OfferedCaps(self->geometry) : nullptr;
    g_mutex_unlock(&self->camera_lock);
    for (guint i = 0; offered != nullptr && i < gst_caps_get_size(offered); ++i) {
        GstCaps* one = gst_caps_copy_nth(offered, i);
        GstCaps* both = gst_caps_intersect(one, caps);
        gst_caps_unref(one);
        if (!gst_caps_is_empty(both)) {
            gst_caps_unref(caps);
            gst_caps_unref(offered);
            return gst_caps_fixate(both);
        }
        gst_caps_unref(both);
    }
    if (offered != nullptr) gst_caps_unref(offered);
    return gst_caps_fixate(caps);
}

// Streaming thread: the negotiated format becomes the colour mode; the stream starts (again
// when the format changed).
gboolean SetCaps(GstBaseSrc* base, GstCaps* caps) {
    GstLumoraSrc* self = GST_LUMORA_SRC(base);
    GST_OBJECT_LOCK(self);
    const int grayMode = self->gray_mode;
    GST_OBJECT_UNLOCK(self);
    g_mutex_lock(&self->camera_lock);
    FrameFormat f;
    gboolean ok = self->handle != 0 && lumora::gst::FormatFromCaps(caps, self->geometry, grayMode, &f);
    if (!ok) {
        GST_ELEMENT_ERROR(self, CORE, NEGOTIATION, ("The camera cannot deliver these caps"),
                          ("caps %" GST_PTR_FORMAT, caps));
    } else if (!self->streaming || f.colorMode != self->format.colorMode || f.grayMode != self->format.grayMode) {
        ok = StartStream(self, f);
    }
    g_mutex_unlock(&self->camera_lock);
    return ok;
}

// Streaming thread: buffers of the picture's size from a pool of our own, so that the layout is
// the SDK's (rows padded to 4 bytes, the default of these formats) and a buffer comes back to
// the pool only when downstream released it. Downstream's pool sizes are kept.
gboolean DecideAllocation(GstBaseSrc* base, GstQuery* query) {
    GstLumoraSrc* self = GST_LUMORA_SRC(base);
    GstCaps* caps = nullptr;
    gst_query_parse_allocation(query, &caps, nullptr);
    guint min = 2, max = 0;
    const bool proposed = gst_query_get_n_allocation_pools(query) > 0;
    if (proposed) gst_query_parse_nth_allocation_pool(query, 0, nullptr, nullptr, &min, &max);
    min = MAX(min, 2u);
    if (max != 0) max = MAX(max, min);
    g_mutex_lock(&self->camera_lock);
    const guint size = static_cast<guint>(self->format.size);
    g_mutex_unlock(&self->camera_lock);
    GstBufferPool* pool = gst_buffer_pool_new();
    GstStructure* config = gst_buffer_pool_get_config(pool);
    gst_buffer_pool_config_set_params(config, caps, size, min, max);
    gboolean ok = gst_buffer_pool_set_config(pool, config);
    if (proposed) {
        gst_query_set_nth_allocation_pool(query, 0, pool, size, min, max);
    } else {
        gst_query_add_allocation_pool(query, pool, size, min, max);
    }
    gst_object_unref(pool);
    return ok;
}

// Application thread: waits in fill end (flushing, or going to READY).
gboolean Unlock(GstBaseSrc* base) {
    GST_LUMORA_SRC(base)->slot->SetFlushing(true);
    return TRUE;
}

gboolean UnlockStop(GstBaseSrc* base) {
    GST_LUMORA_SRC(base)->slot->SetFlushing(false);
    return TRUE;
}

// Any thread: a latency query answered from the frame period: a frame reaches the pipeline at
// most one period after the device finished reading it (later frames are skipped by the SDK),
// and one more frame can wait in the hand-over.
gboolean Query(GstBaseSrc* base, GstQuery* query) {
    GstLumoraSrc* self = GST_LUMORA_SRC(base);
    if (GST_QUERY_TYPE(query) == GST_QUERY_LATENCY) {
        g_mutex_lock(&self->camera_lock);
        const GstClockTime period = self->period;
        g_mutex_unlock(&self->camera_lock);
        if (!GST_CLOCK_TIME_IS_VALID(period)) return FALSE;
        gst_query_set_latency(query, TRUE, period, 2 * period);
        GST_DEBUG_OBJECT(self, "latency %" GST_TIME_FORMAT " .. %" GST_TIME_FORMAT, GST_TIME_ARGS(period),
                         GST_TIME_ARGS(2 * period));
        return TRUE;
    }
    return GST_BASE_SRC_CLASS(gst_lumora_src_parent_class)->query(base, query);
}

// Streaming thread: the device time of a frame (microseconds of CLOCK_MONOTONIC) as running
// time of the pipeline: the pipeline clock's time at that moment less the base time. NONE for a
// frame from before the pipeline went to PLAYING.
GstClockTime RunningTime(GstLumoraSrc* self, guint64 deviceUs) {
    GstClock* clock = gst_element_get_clock(GST_ELEMENT(self));
    if (clock == nullptr) return GST_CLOCK_TIME_NONE;
    const GstClockTime base = gst_element_get_base_time(GST_ELEMENT(self));
    const GstClockTime now = gst_clock_get_time(clock);
    const gint64 nowUs = g_get_monotonic_time();  // CLOCK_MONOTONIC, as the device's timestamps
    gst_object_unref(clock);
    const gint64 ageNs = (nowUs - static_cast<gint64>(deviceUs)) * 1000;
    if (ageNs < 0) return now > base ? now - base : 0;  // not older than now
    const GstClockTime at = now > static_cast<GstClockTime>(ageNs) ? now - ageNs : 0;
    return at >= base ? at - base : GST_CLOCK_TIME_NONE;
}

// Streaming thread: the next frame into buffer (one of the pool's), with its timestamps, offsets
// and details.
GstFlowReturn Fill(GstPushSrc* push, GstBuffer* buffer) {
    GstLumoraSrc* self = GST_LUMORA_SRC(push);
    for (;;) {
        LumoraExFrameDetails d{};
        switch (self->slot->Take(&d)) {
            case FrameSlot::Result::kFlushing:
            case FrameSlot::Result::kClosed:
                return GST_FLOW_FLUSHING;
            case FrameSlot::Result::kStopped:
                PostSdkError(self, GST_RESOURCE_ERROR_READ, "The camera stopped delivering frames (unplugged?)",
                             "Lumora_CallBackPreview", CAMERR_STREAM_STOPPED);
                return GST_FLOW_ERROR;
            case FrameSlot::Result::kFrame:
                break;
        }
        const GstClockTime pts = RunningTime(self, d.timestamp);
        if (!GST_CLOCK_TIME_IS_VALID(pts)) {
            self->slot->Release();
            ++self->dropped_before_playing;
            GST_DEBUG_OBJECT(self, "frame %u is from before PLAYING, dropped", d.number);
            continue;
        }
        // The one copy: out of the SDK's buffer, which the next frame overwrites.
        const gsize size = self->format.size;
        if (gst_buffer_get_size(buffer) < size) {
            self->slot->Release();
            GST_ELEMENT_ERROR(self, RESOURCE, FAILED, ("Buffer too small for a frame"),
                              ("%" G_GSIZE_FORMAT " < %" G_GSIZE_FORMAT, gst_buffer_get_size(buffer), size));
            return GST_FLOW_ERROR;
        }
        gst_buffer_fill(buffer, 0, self->sdk_buffer, size);
        self->slot->Release();
        gst_buffer_set_size(buffer, size);

        GST_BUFFER_PTS(buffer) = pts;
        GST_BUFFER_DTS(buffer) = GST_CLOCK_TIME_NONE;
        GST_BUFFER_DURATION(buffer) = self->period;
        GST_BUFFER_OFFSET(buffer) = d.number;
        GST_BUFFER_OFFSET_END(buffer) = static_cast<guint64>(d.number) + 1;
        if (d.skippedBefore > 0 || (self->last_number != 0 && d.number != self->last_number + 1)) {
            GST_BUFFER_FLAG_SET(buffer, GST_BUFFER_FLAG_DISCONT);
        }
        self->last_number = d.number;
        const guint returns = self->slot->Returns();
        if (returns != self->seen_returns) {
            self->seen_returns = returns;
            GST_ELEMENT_INFO(self, RESOURCE, READ, ("The camera left and came back"),
                             ("frame %u follows %u numbers left out", d.number, d.skippedBefore));
        }
        GstLumoraFrameMeta* meta = gst_buffer_add_lumora_frame_meta(buffer);
        meta->number = d.number;
        meta->skipped_before = d.skippedBefore;
        meta->exposure_lines = d.exposureLines;
        meta->exposure_microseconds = d.exposureMicroseconds;
        meta->global_gain = d.globalGain;
        meta->gain_red = d.gainRed;
        meta->gain_green1 = d.gainGreen1;
        meta->gain_green2 = d.gainGreen2;
        meta->gain_blue = d.gainBlue;
        meta->timestamp = d.timestamp;
        return GST_FLOW_OK;
    }
}

// ---- GObject ----

// Application thread: the stream statistics of the SDK and the element's own count.
GstStructure* Statistics(GstLumoraSrc* self) {
    LumoraExStreamStatistics s{};
    s.size = sizeof(s);
    g_mutex_lock(&self->camera_lock);
    const bool have = self->handle != 0 && LumoraEx_GetStreamStatistics(self->handle, &s);
    g_mutex_unlock(&self->camera_lock);
    if (!have) s = LumoraExStreamStatistics{};
    int last = 0;
    const guint failures = self->slot->Failures(&last);
    return gst_structure_new("lumora-stream-statistics", "completed", G_TYPE_UINT, s.completed, "delivered",
                             G_TYPE_UINT, s.delivered, "skipped", G_TYPE_UINT, s.skipped, "failed", G_TYPE_UINT,
                             s.failed, "stalls", G_TYPE_UINT, s.stalls, "skipped-consumer-busy", G_TYPE_UINT,
                             s.skippedConsumerBusy, "skipped-wrong-size", G_TYPE_UINT, s.skippedWrongSize,
                             "skipped-stream-end", G_TYPE_UINT, s.skippedStreamEnd, "failed-frames", G_TYPE_UINT,
                             failures, "last-failure", G_TYPE_INT, last, "dropped-before-playing", G_TYPE_UINT64,
                             self->dropped_before_playing, "dropped-while-flushing", G_TYPE_UINT,
                             self->slot->Refused(), "reconnects", G_TYPE_UINT, s.reconnects, nullptr);
}

// Application thread.
void SetProperty(GObject* object, guint id, const GValue* value, GParamSpec* pspec) {
    GstLumoraSrc* self = GST_LUMORA_SRC(object);
    const int row = CameraSettings::RowOf(id, PROP_FIRST_SETTING);
    if (row >= 0) {
        g_mutex_lock(&self->camera_lock);
        CameraSettings::Failure failure;
        GST_OBJECT_LOCK(self);
        const bool ok = self->settings->Set(row, value, self->handle, &failure);
        GST_OBJECT_UNLOCK(self);
        if (self->handle != 0) self->slot->SetReconnect(LumoraEx_GetReconnect(self->handle) != 0);
        g_mutex_unlock(&self->camera_lock);
        if (!ok) {
            gchar* what = g_strdup_printf("The camera did not take %s", failure.name);
            PostSdkMessage(self, GST_MESSAGE_WARNING, GST_RESOURCE_ERROR, GST_RESOURCE_ERROR_SETTINGS, what,
                           failure.call, failure.code);
            g_free(what);
        }
        return;
    }
    GST_OBJECT_LOCK(self);
    switch (id) {
        case PROP_DEVICE: self->device = g_value_get_int(value); break;
        case PROP_GRAY_MODE: self->gray_mode = g_value_get_enum(value); break;
        case PROP_DEVICE_NAME:
            g_free(self->device_name);
            self->device_name = g_value_dup_string(value);
            break;
        case PROP_WINDOW_X:
        case PROP_WINDOW_Y:
        case PROP_WINDOW_WIDTH:
        case PROP_WINDOW_HEIGHT:
            self->settings->SetWindowPart(static_cast<int>(id - PROP_WINDOW_X), g_value_get_int(value));
            break;
        default: G_OBJECT_WARN_INVALID_PROPERTY_ID(object, id, pspec); break;
    }
    GST_OBJECT_UNLOCK(self);
}

// Application thread.
void GetProperty(GObject* object, guint id, GValue* value, GParamSpec* pspec) {
    GstLumoraSrc* self = GST_LUMORA_SRC(object);
    const int row = CameraSettings::RowOf(id, PROP_FIRST_SETTING);
    if (row >= 0) {
        g_mutex_lock(&self->camera_lock);
        GST_OBJECT_LOCK(self);
        self->settings->Get(row, value, self->handle);
        GST_OBJECT_UNLOCK(self);
        g_mutex_unlock(&self->camera_lock);
        return;
    }
    if (id == PROP_STATS) {
        g_value_take_boxed(value, Statistics(self));
        return;
    }
    GST_OBJECT_LOCK(self);
    switch (id) {
        case PROP_DEVICE: g_value_set_int(value, self->device); break;
        case PROP_GRAY_MODE: g_value_set_enum(value, self->gray_mode); break;
        case PROP_DEVICE_NAME: g_value_set_string(value, self->device_name); break;
        case PROP_WINDOW_X:
        case PROP_WINDOW_Y:
        case PROP_WINDOW_WIDTH:
        case PROP_WINDOW_HEIGHT:
            g_value_set_int(value, self->settings->WindowPart(static_cast<int>(id - PROP_WINDOW_X)));
            break;
        default: G_OBJECT_WARN_INVALID_PROPERTY_ID(object, id, pspec); break;
    }
    GST_OBJECT_UNLOCK(self);
}

// Application thread (the last unref).
void Finalize(GObject* object) {
    GstLumoraSrc* self = GST_LUMORA_SRC(object);
    delete self->settings;
    delete self->slot;
    g_free(self->device_name);
    g_mutex_clear(&self->camera_lock);
    G_OBJECT_CLASS(gst_lumora_src_parent_class)->finalize(object);
}

// Any thread; registered once.
GType GrayModeType() {
    static GType type = 0;
    static const GEnumValue values[] = {
        {2, "True gray from the demosaiced picture", "gray"},
        {1, "The mosaic through the gray filter (gray gains and offsets per colour)", "gray-filter"},
        {0, nullptr, nullptr},
    };
    if (g_once_init_enter(&type)) g_once_init_leave(&type, g_enum_register_static("GstLumoraGrayMode", values));
    return type;
}

// Class initialisation (the thread that first uses the type).
void InstallWindowProperty(GObjectClass* klass, guint id, const char* name, const char* blurb, int max) {
    g_object_class_install_property(
        klass, id,
        g_param_spec_int(name, name, blurb, 0, max, 0,
                         static_cast<GParamFlags>(G_PARAM_READWRITE | G_PARAM_STATIC_STRINGS | GST_PARAM_MUTABLE_READY)));
}

}  // namespace

// The thread that first uses the type.
static void gst_lumora_src_class_init(GstLumoraSrcClass* klass) {
    GObjectClass* object = G_OBJECT_CLASS(klass);
    GstElementClass* element = GST_ELEMENT_CLASS(klass);
    GstBaseSrcClass* base = GST_BASE_SRC_CLASS(klass);
    GstPushSrcClass* push = GST_PUSH_SRC_CLASS(klass);
    GST_DEBUG_CATEGORY_INIT(lumora_src_debug, "lumorasrc", 0, "Lumora K37VQ camera source");

    object->set_property = SetProperty;
    object->get_property = GetProperty;
    object->finalize = Finalize;
    const auto ready = static_cast<GParamFlags>(G_PARAM_READWRITE | G_PARAM_STATIC_STRINGS | GST_PARAM_MUTABLE_READY);
    g_object_class_install_property(object, PROP_DEVICE,
        g_param_spec_int("device", "Device", "Number of the camera, from 0 in the order found", 0, 9, 0, ready));
    g_object_class_install_property(object, PROP_DEVICE_NAME,
        g_param_spec_string("device-name", "Device name",
                            "Name of the camera (\"LumoraK37VQ_01\", ...); when set it takes precedence over device",
                            nullptr, ready));
    InstallWindowProperty(object, PROP_WINDOW_X, "window-x", "Left edge of the capture window in sensor pixels", 3487);
    InstallWindowProperty(object, PROP_WINDOW_Y, "window-y", "Top edge of the capture window in sensor pixels", 2615);
    InstallWindowProperty(object, PROP_WINDOW_WIDTH, "window-width",
                          "Width of the capture window in sensor pixels (0: the camera's window)", 3488);
    InstallWindowProperty(object, PROP_WINDOW_HEIGHT, "window-height",
                          "Height of the capture window in sensor pixels (0: the camera's window)", 2616);
    g_object_class_install_property(object, PROP_STATS,
        g_param_spec_boxed("stats", "Statistics",
                           "The SDK's stream statistics (frames completed, delivered, skipped by cause, failed) "
                           "and the frames dropped here: from before PLAYING, or while flushing or paused",
                           GST_TYPE_STRUCTURE, static_cast<GParamFlags>(G_PARAM_READABLE | G_PARAM_STATIC_STRINGS)));
    g_object_class_install_property(object, PROP_GRAY_MODE,
        g_param_spec_enum("gray-mode", "Gray mode", "What GRAY8 delivers", GrayModeType(), 2, ready));
    CameraSettings::InstallProperties(object, PROP_FIRST_SETTING);

    gst_element_class_set_static_metadata(element, "Lumora K37VQ camera source", "Source/Video/Hardware",
        "Live frames of a Lumora K37VQ camera: colour, gray or the raw Bayer mosaic, with the device's frame "
        "number, time, exposure and gains on each buffer",
        "Lumora K37VQ SDK");
    GstCaps* templ = lumora::gst::TemplateCaps();
    gst_element_class_add_pad_template(element, gst_pad_template_new("src", GST_PAD_SRC, GST_PAD_ALWAYS, templ));
    gst_caps_unref(templ);

    base->start = Start;
    base->stop = Stop;
    base->get_caps = GetCaps;
    base->fixate = Fixate;
    base->set_caps = SetCaps;
    base->decide_allocation = DecideAllocation;
    base->unlock = Unlock;
    base->unlock_stop = UnlockStop;
    base->query = Query;
    push->fill = Fill;
    gst_type_mark_as_plugin_api(GrayModeType(), static_cast<GstPluginAPIFlags>(0));
    for (const auto& row : CameraSettings::Rows()) {
        if (row.enumType != nullptr) gst_type_mark_as_plugin_api(row.enumType(), static_cast<GstPluginAPIFlags>(0));
    }
}

// Application thread (construction).
static void gst_lumora_src_init(GstLumoraSrc* self) {
    g_mutex_init(&self->camera_lock);
    self->settings = new CameraSettings();
    self->slot = new FrameSlot();
    self->notifier = LumoraNotifier{LUMORA_NOTIFIER_TAG, Notify, self->slot};
    self->geometry = FrameGeometry{};
    self->format = FrameFormat{};
    self->period = GST_CLOCK_TIME_NONE;
    self->stored_gray_mode = -1;
    self->gray_mode = 2;
    gst_base_src_set_live(GST_BASE_SRC(self), TRUE);
    gst_base_src_set_format(GST_BASE_SRC(self), GST_FORMAT_TIME);
    gst_base_src_set_do_timestamp(GST_BASE_SRC(self), FALSE);
}

// The thread loading the plugin.
gboolean gst_lumora_src_register(GstPlugin* plugin) {
    return gst_element_register(plugin, "lumorasrc", GST_RANK_NONE, GST_TYPE_LUMORA_SRC);
}
