#include "settings/settings_keys.h"

#include <cstdio>

namespace lumora {

using platform::SettingsStore;

std::string SettingsSubKey(const char* format, int number) {
    char name[32];
    std::snprintf(name, sizeof name, format, number);
    return SettingsSubKey(name);
}

std::string SettingsSubKey(const char* name) { return std::string(kSettingsRoot) + "\\" + name; }

void SetDefaults(const StoredFields& fields) {
    for (const StoredField& f : fields) *f.field = f.defaultValue;
}

int ReadFields(SettingsStore& store, const std::string& key, const StoredFields& fields) {
    int read = 0;
    for (const StoredField& f : fields) {
        int32_t value = 0;
        if (store.ReadValue(key.c_str(), f.name, &value)) {
            *f.field = value;
            ++read;
        }
    }
    return read;
}

bool WriteFields(SettingsStore& store, const std::string& key, const StoredFields& fields) {
    for (const StoredField& f : fields) {
        if (!store.WriteValue(key.c_str(), f.name, *f.field)) return false;
    }
    return true;
}

bool SaveGroup(const std::string& key, const StoredFields& fields) {
    SettingsStore store(SettingsStore::Mode::Write);
    return store.CreateKey(kSettingsRoot) && store.CreateKey(key.c_str()) &&
           WriteFields(store, key, fields) && store.Commit();
}

bool LoadGroup(const std::string& key, const StoredFields& fields) {
    // A value missing from an existing key takes the group's default too.
    SetDefaults(fields);
    SettingsStore store(SettingsStore::Mode::Read);
    if (!store.HasKey(kSettingsRoot) || !store.HasKey(key.c_str())) return false;
    ReadFields(store, key, fields);
    return true;
}

}  // namespace lumora
