#pragma once
// The key tree of the persisted settings below HKEY_CURRENT_USER, and the reading and writing of
// one group of values, shared by the page classes and the preset store.
//
// The root "Software\Vornex\LumoraK37VQ3Sdk" holds the stream settings and the sub-keys
// "Size_NN" (capture-window presets), "Filter", "Gray" and "Gain_NN" (one per camera number).
//
// Thread context: whichever thread runs the load or save (the application's).
#include <string>
#include <vector>

#include "platform/settings_store.h"

namespace lumora {

constexpr char kSettingsRoot[] = "Software\\Vornex\\LumoraK37VQ3Sdk";

// The full path of the root's sub-key named by format ("Size_%02d", "Gain_%02d") and number.
std::string SettingsSubKey(const char* format, int number);
// The full path of the root's sub-key name ("Filter", "Gray").
std::string SettingsSubKey(const char* name);

// One stored value: its name, the record field it fills, and the field's value when the group
// has nothing stored.
struct StoredField {
    const char* name;
    int* field;
    int defaultValue;
};
using StoredFields = std::vector<StoredField>;

// Every field takes its default value.
void SetDefaults(const StoredFields& fields);
// Reads each value of key that is present and a number into its field; the other fields keep
// what they hold. Returns the number of values read.
int ReadFields(platform::SettingsStore& store, const std::string& key, const StoredFields& fields);
// Writes the values in their order into key (created where missing). False at the first failure.
bool WriteFields(platform::SettingsStore& store, const std::string& key, const StoredFields& fields);
// Saves one group: creates the root and key, writes the values, and commits. False when any step
// fails (nothing is stored then, where the store can promise that).
bool SaveGroup(const std::string& key, const StoredFields& fields);
// Loads one group: true when the root and key exist and were read; otherwise every field takes
// its default and the result is false.
bool LoadGroup(const std::string& key, const StoredFields& fields);

}  // namespace lumora
