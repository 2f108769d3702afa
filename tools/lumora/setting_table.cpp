#include "setting_table.h"

#include "camera/camera_tables.h"

namespace lumora::tool {

const std::vector<Setting>& Settings() {
    static const std::vector<Setting> table = [] {
        std::vector<Setting> settings;
        // The filter values as the library names them; the packed white balance (index 6) is
        // there as its three parts.
        for (const FilterIndexInfo& f : kFilterIndexes) {
            if (f.index != 0 && f.index != 6) settings.push_back({f.name, f.index, f.min, f.max, f.meaning});
        }
        settings.push_back({"mirror-v", 0, 0, 1, "vertical mirroring"});
        settings.push_back({"mirror-h", 0, 0, 1, "horizontal mirroring"});
        settings.push_back({"auto-iris", 0, 0, 2, "0 off, 1 automatic exposure, 2 automatic gain"});
        return settings;
    }();
    return table;
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
