#include "setting_table.h"

#include "camera/camera_tables.h"

namespace lumora::tool {

namespace {

// What a new installation starts with, by filter index: the defaults of the stored settings
// (white-balance gains and gamma 100, Bayer phase 3, sensor gains 32, exposure 2600 lines, gray
// gains 128, the rest 0).
int DefaultValue(int filterIndex) {
    switch (filterIndex) {
        case 7: case 8: case 9: case 11: return 100;
        case 12: return 3;
        case 13: case 14: case 15: case 16: case 17: return 32;
        case 18: return 2600;
        case 20: case 21: case 22: case 23: return 128;
        default: return 0;
    }
}

}  // namespace

const std::vector<Setting>& Settings() {
    static const std::vector<Setting> table = [] {
        std::vector<Setting> settings;
        // The filter values as the library names them; the packed white balance (index 6) is
        // there as its three parts.
        for (const FilterIndexInfo& f : kFilterIndexes) {
            if (f.index != 0 && f.index != 6) settings.push_back({f.name, f.index, f.min, f.max, DefaultValue(f.index), f.meaning});
        }
        settings.push_back({"mirror-v", 0, 0, 1, 0, "vertical mirroring"});
        settings.push_back({"mirror-h", 0, 0, 1, 0, "horizontal mirroring"});
        settings.push_back({"auto-iris", 0, 0, 2, 0, "0 off, 1 automatic exposure, 2 automatic gain"});
        return settings;
    }();
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
