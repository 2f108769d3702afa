#include "settings/preset_store.h"

#include "settings/settings_keys.h"

namespace lumora {

using platform::SettingsStore;

namespace {

constexpr char kPresetFormat[] = "Size_%02d";

// A preset's values in the order they are written; the defaults are those of the first run.
StoredFields PresetFields(CaptureWindow& w) {
    return {
        {"TH", &w.hTotal, CaptureWindow::kSensorWidth},
        {"TV", &w.vTotal, CaptureWindow::kSensorHeight},
        {"EH", &w.hEffective, CaptureWindow::kSensorWidth},
        {"EV", &w.vEffective, CaptureWindow::kSensorHeight},
        {"EHS", &w.hStart, 0},
        {"EVS", &w.vStart, 0},
        {"Buf", &w.presetBuf, 10},
    };
}

// The root values in the order they are written; the defaults are those of the first run.
StoredFields StreamFields(StreamSettings& s) {
    return {
        {"Size", &s.size, 0},          {"Color", &s.color, 2}, {"SubSample", &s.subSample, 0},
        {"WaitTime", &s.waitTime, 10}, {"Clock", &s.clock, 0},
    };
}

// Reads Size_00, Size_01, ... up to the first missing key into table; the count.
int ReadPresets(SettingsStore& store, CaptureWindow table[PresetStore::kMaxPresets]) {
    int count = 0;
    for (; count < PresetStore::kMaxPresets; ++count) {
        const std::string key = SettingsSubKey(kPresetFormat, count);
        if (!store.HasKey(key.c_str())) break;
        ReadFields(store, key, PresetFields(table[count]));
    }
    return count;
}

// Creates the root with the stream defaults and "Size_00" holding the full sensor, unless another
// program created the root meanwhile.
bool CreateFirstRunTree() {
    SettingsStore store(SettingsStore::Mode::Write);
    if (store.HasKey(kSettingsRoot)) return true;
    CaptureWindow preset;
    StreamSettings stream;
    StoredFields presetFields = PresetFields(preset), streamFields = StreamFields(stream);
    SetDefaults(presetFields);
    SetDefaults(streamFields);
    const std::string first = SettingsSubKey(kPresetFormat, 0);
    return store.CreateKey(kSettingsRoot) && store.CreateKey(first.c_str()) &&
           WriteFields(store, first, presetFields) && WriteFields(store, kSettingsRoot, streamFields) &&
           store.Commit();
}

}  // namespace

PresetStore::LoadResult PresetStore::LoadSizePreset(CaptureWindow* window) {
    SettingsStore store(SettingsStore::Mode::Read);
    if (!store.HasKey(kSettingsRoot)) {
        return CreateFirstRunTree() ? LoadResult::Created : LoadResult::Missing;
    }
    int32_t size = 0;
    if (!store.ReadValue(kSettingsRoot, "Size", &size)) return LoadResult::Missing;
    // A number above 99 formats to more digits and is simply not found.
    const std::string key = SettingsSubKey(kPresetFormat, size);
    if (!store.HasKey(key.c_str())) return LoadResult::Missing;
    ReadFields(store, key, PresetFields(*window));
    return LoadResult::Loaded;
}

bool PresetStore::LoadStreamSettings(StreamSettings* stream) {
    SettingsStore store(SettingsStore::Mode::Read);
    if (!store.HasKey(kSettingsRoot)) return false;
    ReadFields(store, kSettingsRoot, StreamFields(*stream));
    return true;
}

int PresetStore::LoadPresets(CaptureWindow table[kMaxPresets]) {
    SettingsStore store(SettingsStore::Mode::Read);
    if (!store.HasKey(kSettingsRoot)) return -1;
    return ReadPresets(store, table);
}

bool PresetStore::FindPreset(int width, int height, CaptureWindow* found) {
    CaptureWindow table[kMaxPresets];
    const int count = LoadPresets(table);
    for (int n = 0; n < count; ++n) {
        if (table[n].hEffective == width && table[n].vEffective == height) {
            *found = table[n];
            return true;
        }
    }
    return false;
}

bool PresetStore::SavePresets(const CaptureWindow* table, int count, const StreamSettings& stream) {
    SettingsStore store(SettingsStore::Mode::Write);
    if (!store.CreateKey(kSettingsRoot)) return false;
    if (count > kMaxPresets) count = kMaxPresets;
    for (int n = 0; n < count; ++n) {
        const std::string key = SettingsSubKey(kPresetFormat, n);
        CaptureWindow preset = table[n];
        if (!store.CreateKey(key.c_str()) || !WriteFields(store, key, PresetFields(preset))) break;
    }
    StreamSettings values = stream;
    return WriteFields(store, kSettingsRoot, StreamFields(values)) && store.Commit();
}

}  // namespace lumora
