#include "settings/camera_property_dialog.h"

namespace lumora {

CameraPropertyDialog::CameraPropertyDialog() {
    for (CaptureWindow& preset : presets) preset = CaptureWindow{0, 0, 0, 0, 0, 0, 10};
}

int CameraPropertyDialog::LoadPresetTable() {
    CaptureWindow table[kMaxPresets];
    StreamSettings values = stream;
    const int count = PresetStore::LoadPresets(table);
    if (count < 0 || !PresetStore::LoadStreamSettings(&values)) return 0;
    for (int n = 0; n < count; ++n) presets[n] = table[n];
    presetCount = count;
    stream = values;
    return 1;
}

int CameraPropertyDialog::SavePresetTable() {
    const int count = presetCount < 0 ? 0 : presetCount;
    return PresetStore::SavePresets(presets, count, stream) ? 1 : 0;
}

}  // namespace lumora
