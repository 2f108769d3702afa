#include "camera_settings.h"

namespace lumora::gst {

namespace {

using Kind = SettingRow::Kind;

// Any thread; registered once.
GType SubsamplingType() {
    static GType type = 0;
    static const GEnumValue values[] = {
        {0, "Full resolution", "full"},
        {1, "Half resolution, skipping", "half"},
        {2, "Quarter resolution, skipping", "quarter"},
        {17, "Half resolution, binning", "half-binning"},
        {18, "Quarter resolution, binning", "quarter-binning"},
        {0, nullptr, nullptr},
    };
    if (g_once_init_enter(&type)) g_once_init_leave(&type, g_enum_register_static("GstLumoraSubsampling", values));
    return type;
}

GType AutoExposureType() {
    static GType type = 0;
    static const GEnumValue values[] = {
        {0, "Off", "off"},
        {1, "Automatic exposure", "exposure"},
        {2, "Automatic gain", "gain"},
        {0, nullptr, nullptr},
    };
    if (g_once_init_enter(&type)) g_once_init_leave(&type, g_enum_register_static("GstLumoraAutoExposure", values));
    return type;
}

// Application thread, like the rows' SDK calls. Adapters to the Get(h, &ok) shape for getters that cannot fail on an open handle.
int GetSubSample(LumoraHandle h, int* ok) {
    *ok = 1;
    return Lumora_GetSubSample(h);
}
int GetHalfClock(LumoraHandle h, int* ok) {
    *ok = 1;
    return Lumora_GetHalfClock(h);
}
int GetReconnect(LumoraHandle h, int* ok) {
    *ok = 1;
    return LumoraEx_GetReconnect(h);
}

// A setter and its name.
#define SDK(setter) setter, #setter

}  // namespace

const std::vector<SettingRow>& CameraSettings::Rows() {
    // Order matters: subsampling and clock shape the acquisition and go first.
    static const std::vector<SettingRow> rows = {
        {"subsampling", "Readout: full, half or quarter resolution, by skipping or binning",
         Kind::kEnum, 0, 0, 0, SubsamplingType, SDK(Lumora_SetSubSample), GetSubSample, false},
        {"clock", "Pixel clock: 1..5 select 64, 76.8, 96, 128, 192 MHz; 0 and 6..9 54.8 MHz",
         Kind::kInt, 0, 9, 0, nullptr, SDK(Lumora_SetHalfClock), GetHalfClock, false},
        {"exposure", "Exposure in sensor lines (the camera's exposure range; 0 is 1)",
         Kind::kInt, 0, 65535, 0, nullptr, SDK(Lumora_SetExposureTime), Lumora_GetExposureTime, true},
        {"gain", "Global analog gain (also sets the four colour gains)",
         Kind::kInt, 0, 127, 0, nullptr, SDK(Lumora_SetGlobalGain), Lumora_GetGlobalGain, true},
        {"gain-red", "Analog gain of the red samples", Kind::kInt, 0, 127, 0, nullptr,
         SDK(Lumora_SetColorGainRed), Lumora_GetColorGainRed, true},
        {"gain-green1", "Analog gain of the green samples on red rows", Kind::kInt, 0, 127, 0, nullptr,
         SDK(Lumora_SetColorGainGreen1), Lumora_GetColorGainGreen1, true},
        {"gain-green2", "Analog gain of the green samples on blue rows", Kind::kInt, 0, 127, 0, nullptr,
         SDK(Lumora_SetColorGainGreen2), Lumora_GetColorGainGreen2, true},
        {"gain-blue", "Analog gain of the blue samples", Kind::kInt, 0, 127, 0, nullptr,
         SDK(Lumora_SetColorGainBlue), Lumora_GetColorGainBlue, true},
        {"auto-exposure", "Automatic exposure or automatic gain, adjusted on every frame",
         Kind::kEnum, 0, 0, 0, AutoExposureType, SDK(Lumora_SetAutoIris), Lumora_GetAutoIris, true},
        {"white-balance-red", "White balance gain of red in percent (100 = unity)",
         Kind::kInt, 0, 400, 100, nullptr, SDK(Lumora_SetBayerGainRed), Lumora_GetBayerGainRed, true},
        {"white-balance-green", "White balance gain of green in percent (kept, does not change the picture)",
         Kind::kInt, 0, 400, 100, nullptr, SDK(Lumora_SetBayerGainGreen), Lumora_GetBayerGainGreen, true},
        {"white-balance-blue", "White balance gain of blue in percent (100 = unity)",
         Kind::kInt, 0, 400, 100, nullptr, SDK(Lumora_SetBayerGainBlue), Lumora_GetBayerGainBlue, true},
        {"auto-white-balance", "Automatic white balance on every frame",
         Kind::kBool, 0, 1, 0, nullptr, SDK(Lumora_SetBayerGainAuto), Lumora_GetBayerGainAuto, true},
        {"bayer-phase", "Where the colours of the mosaic lie, 0..3 (names the video/x-bayer pattern)",
         Kind::kInt, 0, 3, 3, nullptr, SDK(Lumora_SetBayerMode), Lumora_GetBayerMode, false},
        {"brightness", "Brightness", Kind::kInt, -255, 255, 0, nullptr, SDK(Lumora_SetBrightness),
         Lumora_GetBrightness, true},
        {"contrast", "Contrast", Kind::kInt, -127, 127, 0, nullptr, SDK(Lumora_SetContrast), Lumora_GetContrast, true},
        {"hue", "Hue rotation in degrees", Kind::kInt, -360, 360, 0, nullptr, SDK(Lumora_SetHue), Lumora_GetHue, true},
        {"saturation", "Saturation", Kind::kInt, -255, 255, 0, nullptr, SDK(Lumora_SetSaturation),
         Lumora_GetSaturation, true},
        {"sharpness", "Sharpness", Kind::kInt, 0, 30, 0, nullptr, SDK(Lumora_SetSharpness), Lumora_GetSharpness, true},
        {"gamma", "Gamma in percent (100 = unchanged)", Kind::kInt, 0, 200, 100, nullptr, SDK(Lumora_SetGamma),
         Lumora_GetGamma, true},
        // The gray filter of GRAY8 with gray-mode=gray-filter: a gain (128 = unity) and an offset
        // per colour of the mosaic.
        {"gray-gain-red", "Gray filter: gain of the red samples (128 = unity)", Kind::kInt, 0, 255, 128, nullptr,
         SDK(Lumora_SetGrayGainR), Lumora_GetGrayGainR, true},
        {"gray-gain-green1", "Gray filter: gain of the green samples on red rows", Kind::kInt, 0, 255, 128, nullptr,
         SDK(Lumora_SetGrayGainG1), Lumora_GetGrayGainG1, true},
        {"gray-gain-green2", "Gray filter: gain of the green samples on blue rows", Kind::kInt, 0, 255, 128, nullptr,
         SDK(Lumora_SetGrayGainG2), Lumora_GetGrayGainG2, true},
        {"gray-gain-blue", "Gray filter: gain of the blue samples", Kind::kInt, 0, 255, 128, nullptr,
         SDK(Lumora_SetGrayGainB), Lumora_GetGrayGainB, true},
        {"gray-offset-red", "Gray filter: offset of the red samples", Kind::kInt, -255, 255, 0, nullptr,
         SDK(Lumora_SetGrayOffsetR), Lumora_GetGrayOffsetR, true},
        {"gray-offset-green1", "Gray filter: offset of the green samples on red rows", Kind::kInt, -255, 255, 0,
         nullptr, SDK(Lumora_SetGrayOffsetG1), Lumora_GetGrayOffsetG1, true},
        {"gray-offset-green2", "Gray filter: offset of the green samples on blue rows", Kind::kInt, -255, 255, 0,
         nullptr, SDK(Lumora_SetGrayOffsetG2), Lumora_GetGrayOffsetG2, true},
        {"gray-offset-blue", "Gray filter: offset of the blue samples", Kind::kInt, -255, 255, 0, nullptr,
         SDK(Lumora_SetGrayOffsetB), Lumora_GetGrayOffsetB, true},
        {"reconnect", "A camera that leaves the bus and comes back goes on streaming (a gap in the offsets)",
         Kind::kBool, 0, 1, 0, nullptr, SDK(LumoraEx_SetReconnect), GetReconnect, true},
    };
    return rows;
}

CameraSettings::CameraSettings() : slots_(Rows().size()) {
    for (size_t i = 0; i < slots_.size(); ++i) slots_[i].value = Rows()[i].defaultValue;
}

void CameraSettings::InstallProperties(GObjectClass* klass, guint firstId) {
    const auto& rows = Rows();
    for (size_t i = 0; i < rows.size(); ++i) {
        const SettingRow& r = rows[i];
        const GParamFlags flags = static_cast<GParamFlags>(
            G_PARAM_READWRITE | G_PARAM_STATIC_STRINGS | (r.live ? GST_PARAM_MUTABLE_PLAYING : GST_PARAM_MUTABLE_READY));
        GParamSpec* param = nullptr;
        switch (r.kind) {
            case Kind::kInt:
                param = g_param_spec_int(r.name, r.name, r.blurb, r.min, r.max, r.defaultValue, flags);
                break;
            case Kind::kBool:
                param = g_param_spec_boolean(r.name, r.name, r.blurb, r.defaultValue != 0, flags);
                break;
            case Kind::kEnum:
                param = g_param_spec_enum(r.name, r.name, r.blurb, r.enumType(), r.defaultValue, flags);
                break;
        }
        g_object_class_install_property(klass, firstId + static_cast<guint>(i), param);
    }
}

int CameraSettings::RowOf(guint id, guint firstId) {
    if (id < firstId || id - firstId >= Rows().size()) return -1;
    return static_cast<int>(id - firstId);
}

namespace {

// Application thread, as the rest of this class.
int FromValue(const SettingRow& r, const GValue* value) {
    switch (r.kind) {
        case SettingRow::Kind::kBool: return g_value_get_boolean(value) ? 1 : 0;
        case SettingRow::Kind::kEnum: return g_value_get_enum(value);
        default: return g_value_get_int(value);
    }
}

void ToValue(const SettingRow& r, int v, GValue* value) {
    switch (r.kind) {
        case SettingRow::Kind::kBool: g_value_set_boolean(value, v != 0); break;
        case SettingRow::Kind::kEnum: g_value_set_enum(value, v); break;
        default: g_value_set_int(value, v); break;
    }
}

bool Call(const SettingRow& r, LumoraHandle h, int v, CameraSettings::Failure* failure) {
    if (r.set(h, v)) return true;
    failure->name = r.name;
    failure->call = r.setName;
    failure->code = Lumora_GetLastError(h);
    return false;
}

}  // namespace

bool CameraSettings::Set(int row, const GValue* value, LumoraHandle handle, Failure* failure) {
    const SettingRow& r = Rows()[row];
    Slot& s = slots_[row];
    s.value = FromValue(r, value);
    s.set = true;
    if (handle == 0 || !r.live) return true;
    if (!s.remembered) {
        int ok = 0;
        s.original = r.get(handle, &ok);
        s.remembered = ok != 0;
    }
    return Call(r, handle, s.value, failure);
}

void CameraSettings::Get(int row, GValue* value, LumoraHandle handle) const {
    const SettingRow& r = Rows()[row];
    int v = slots_[row].value;
    if (handle != 0) {
        int ok = 0;
        const int camera = r.get(handle, &ok);
        if (ok) v = camera;
    }
    ToValue(r, v, value);
}

bool CameraSettings::Apply(LumoraHandle handle, Failure* failure) {
    const auto& rows = Rows();
    for (size_t i = 0; i < rows.size(); ++i) {
        Slot& s = slots_[i];
        s.remembered = false;
        if (!s.set) continue;
        int ok = 0;
        s.original = rows[i].get(handle, &ok);
        s.remembered = ok != 0;
        if (!Call(rows[i], handle, s.value, failure)) return false;
    }
    return true;
}

void CameraSettings::Restore(LumoraHandle handle) {
    const auto& rows = Rows();
    for (size_t i = rows.size(); i-- > 0;) {
        Slot& s = slots_[i];
        if (s.remembered) rows[i].set(handle, s.original);
        s.remembered = false;
    }
}

bool CameraSettings::Window(int* x, int* y, int* width, int* height) const {
    if (window_[2] <= 0 || window_[3] <= 0) return false;
    *x = window_[0];
    *y = window_[1];
    *width = window_[2];
    *height = window_[3];
    return true;
}

void CameraSettings::SetWindowPart(int part, int value) { window_[part & 3] = value; }
int CameraSettings::WindowPart(int part) const { return window_[part & 3]; }

}  // namespace lumora::gst
