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

int CameraPropertyDialog::SubSampleItem(int subSample) {
    if (subSample == 17) return 3;
    if (subSample == 18) return 4;
    return subSample;
}

int CameraPropertyDialog::SubSampleValue(int item) {
    if (item == 3) return 17;
    if (item == 4) return 18;
    return item;
}

const CaptureWindow* CameraPropertyDialog::ShownPreset() const {
    const int size = stream.size;
    return size >= 0 && size <= presetCount && size < kMaxPresets ? &presets[size] : nullptr;
}

int CameraPropertyDialog::StorePreset(int item, const int numbers[6]) {
    if (item < 0 || item > presetCount || item >= kMaxPresets) return -1;
    CaptureWindow& p = presets[item];
    p.hTotal = numbers[0];
    p.vTotal = numbers[1];
    p.hEffective = numbers[2];
    p.vEffective = numbers[3];
    p.hStart = numbers[4];
    p.vStart = numbers[5];
    if (item == presetCount) ++presetCount;
    stream.size = item;
    return item;
}

}  // namespace lumora
