#pragma once
// The camera settings the tool reads and changes by name: the 27 filter values, mirrors and
// automatic exposure or gain, with their ranges and the values a new installation starts with.
#include <string>
#include <vector>

#include "lumora/LumoraSdk.h"

namespace lumora::tool {

struct Setting {
    const char* name;
    int filterIndex;  // 1..27 for Lumora_SetFilterValue / Lumora_GetFilterValue; 0 otherwise
    int min;          // the range; for the sensor's gains and exposure the camera's
    int max;          // CameraInfo gives it instead (see SettingRange)
    int defaultValue;  // what lumora reset stores
    const char* meaning;
};

const std::vector<Setting>& Settings();
// The setting of that name; null when there is none.
const Setting* FindSetting(const std::string& name);
// True for the sensor's gains and exposure, whose range the camera reports.
bool RangeFromCamera(const Setting& s);
// The range of s: the table's, or for the sensor's settings the one Lumora_GetCameraInfo
// reports. False when the camera does not report it.
bool SettingRange(LumoraHandle h, const Setting& s, int* min, int* max);

// Reads or writes one setting; 0 from the library is reported as failure (false), with *value
// untouched on a failed read.
bool ReadSetting(LumoraHandle h, const Setting& s, int* value);
bool WriteSetting(LumoraHandle h, const Setting& s, int value);

}  // namespace lumora::tool
