#pragma once
// The camera settings the tool reads and changes by name: the 27 filter values, mirrors,
// automatic exposure or gain, and the stream settings.
#include <string>
#include <vector>

#include "lumora/LumoraSdk.h"

namespace lumora::tool {

struct Setting {
    const char* name;
    int filterIndex;  // 1..27 for Lumora_SetFilterValue / Lumora_GetFilterValue; 0 otherwise
    int min;
    int max;
    const char* meaning;
};

const std::vector<Setting>& Settings();
// The setting of that name; null when there is none.
const Setting* FindSetting(const std::string& name);

// Reads or writes one setting; 0 from the library is reported as failure (false), with *value
// untouched on a failed read.
bool ReadSetting(LumoraHandle h, const Setting& s, int* value);
bool WriteSetting(LumoraHandle h, const Setting& s, int value);

}  // namespace lumora::tool
