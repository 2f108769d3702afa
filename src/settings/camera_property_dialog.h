#pragma once
// The camera property dialog's state: the table of capture-window presets and its copies of the
// stream settings, loaded from and saved to the settings root. This is the window-less part of
// the dialog.
//
// Constructing the object touches nothing outside it: no process-wide instance is registered.
//
// Thread context: the thread that made the object (the application's).
#include "camera/capture_window.h"
#include "settings/preset_store.h"
#include "settings/stream_settings.h"

namespace lumora {

class CameraPropertyDialog {
public:
    static constexpr int kMaxPresets = PresetStore::kMaxPresets;

    // Every entry 0 with "Buf" 10, no presets, the stream settings 0 with wait time 10.
    CameraPropertyDialog();

    // Reads the presets (up to the first missing number) and the root values. 0 when the root is
    // missing: the table and copies keep what they hold.
    int LoadPresetTable();
    // Writes presets 0 .. presetCount-1 and the root values; presets above stay stored. 0 when
    // the root cannot be created or the save fails.
    int SavePresetTable();

    CaptureWindow presets[kMaxPresets];
    int presetCount = 0;
    StreamSettings stream;
};

}  // namespace lumora
