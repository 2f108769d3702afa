#include "setting_table.h"

namespace lumora::tool {

const std::vector<Setting>& Settings() {
    static const std::vector<Setting> table = {
        {"brightness", 1, -255, 255, 0, "brightness, 0 = unchanged"},
        {"contrast", 2, -127, 127, 0, "contrast, 0 = unchanged"},
        {"hue", 3, -360, 360, 0, "hue rotation, 0 = unchanged"},
        {"saturation", 4, -255, 255, 0, "saturation, 0 = unchanged"},
        {"sharpness", 5, 0, 30, 0, "sharpening, 0 = off"},
        {"wb-red", 7, 0, 400, 100, "white-balance gain red, percent"},
        {"wb-green", 8, 0, 400, 100, "white-balance gain green, percent"},
        {"wb-blue", 9, 0, 400, 100, "white-balance gain blue, percent"},
        {"wb-auto", 10, 0, 1, 0, "automatic white balance on every frame"},
        {"gamma", 11, 0, 200, 100, "gamma, 100 = unchanged"},
        {"bayer-mode", 12, 0, 3, 3, "Bayer phase of the first pixel"},
        {"global-gain", 13, 0, 0, 32, "sensor gain, also sets the four colour gains"},
        {"gain-red", 14, 0, 0, 32, "sensor gain of red"},
        {"gain-green1", 15, 0, 0, 32, "sensor gain of green beside red"},
        {"gain-green2", 16, 0, 0, 32, "sensor gain of green beside blue"},
        {"gain-blue", 17, 0, 0, 32, "sensor gain of blue"},
        {"exposure", 18, 0, 0, 2600, "exposure in sensor lines"},
        {"gray-mode", 19, 0, 2, 0, "8-bit mode: 0 raw, 1 gray filter, 2 colour to gray"},
        {"gray-gain-r", 20, 0, 255, 128, "gray filter gain, 128ths"},
        {"gray-gain-g1", 21, 0, 255, 128, "gray filter gain, 128ths"},
        {"gray-gain-g2", 22, 0, 255, 128, "gray filter gain, 128ths"},
        {"gray-gain-b", 23, 0, 255, 128, "gray filter gain, 128ths"},
        {"gray-offset-r", 24, -255, 255, 0, "gray filter offset"},
        {"gray-offset-g1", 25, -255, 255, 0, "gray filter offset"},
        {"gray-offset-g2", 26, -255, 255, 0, "gray filter offset"},
        {"gray-offset-b", 27, -255, 255, 0, "gray filter offset"},
        {"mirror-v", 0, 0, 1, 0, "vertical mirroring"},
        {"mirror-h", 0, 0, 1, 0, "horizontal mirroring"},
        {"auto-iris", 0, 0, 2, 0, "0 off, 1 automatic exposure, 2 automatic gain"},
    };
    return table;
}

bool RangeFromCamera(const Setting& s) { return s.filterIndex >= 13 && s.filterIndex <= 18; }

bool SettingRange(LumoraHandle h, const Setting& s, int* min, int* max) {
    *min = s.min;
    *max = s.max;
    if (!RangeFromCamera(s)) return true;
    CameraInfo info{};
    info.size = sizeof info;
    if (!Lumora_GetCameraInfo(h, &info)) return false;
    *min = s.filterIndex == 18 ? info.exposureMin : s.filterIndex == 13 ? info.globalGainMin : info.colorGainMin;
    *max = s.filterIndex == 18 ? info.exposureMax : s.filterIndex == 13 ? info.globalGainMax : info.colorGainMax;
    return true;
}

const Setting* FindSetting(const std::string& name) {
    for (const Setting& s : Settings()) {
        if (name == s.name) return &s;
    }
    return nullptr;
}

bool ReadSetting(LumoraHandle h, const Setting& s, int* value) {
    const std::string name = s.name;
    int ok = 0;
    int v = 0;
    if (s.filterIndex != 0) {
        v = Lumora_GetFilterValue(h, s.filterIndex, &ok);
    } else if (name == "auto-iris") {
        v = Lumora_GetAutoIris(h, &ok);
    } else {
        // The mirror getters read the sensor and answer 0 / 1; a failure shows as a code.
        for (int i = 0; i < 20; ++i) Lumora_GetLastError(h);
        v = name == "mirror-v" ? Lumora_GetMirrorV(h) : Lumora_GetMirrorH(h);
        ok = Lumora_GetLastError(h) == 0;
    }
    if (!ok) return false;
    *value = v;
    return true;
}

bool WriteSetting(LumoraHandle h, const Setting& s, int value) {
    const std::string name = s.name;
    if (s.filterIndex != 0) return Lumora_SetFilterValue(h, s.filterIndex, value) != 0;
    if (name == "auto-iris") return Lumora_SetAutoIris(h, value) != 0;
    return (name == "mirror-v" ? Lumora_SetMirrorV(h, value) : Lumora_SetMirrorH(h, value)) != 0;
}

}  // namespace lumora::tool
