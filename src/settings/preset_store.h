#pragma once
// The root of the settings tree: the capture-window presets "Size_00" ... "Size_99" and the stream
// settings. Read at initialisation, by Lumora_SetCaptureWindow's preset lookup and by the camera
// property dialog; written at the first run and by that dialog.
//
// Presets are numbered densely from 00: reading stops at the first number whose key is missing.
// A preset holds the seven capture-window values "TH", "TV", "EH", "EV", "EHS", "EVS", "Buf".
//
// Thread context: the application's thread.
#include "camera/capture_window.h"
#include "settings/stream_settings.h"

namespace lumora {

class PresetStore {
public:
    static constexpr int kMaxPresets = 100;

    enum class LoadResult { Loaded, Created, Missing };

    // The preset that "Size" names, read into window (a value missing from its key leaves its
    // field unchanged). When the root is missing, the first-run tree is created (root with the
    // stream defaults 0, 2, 0, 10, 0 and "Size_00" holding the full sensor with "Buf" 10),
    // window is left alone, and the result is Created (Missing when creating failed too).
    // Missing also when "Size" or its preset is missing; window is then unchanged.
    static LoadResult LoadSizePreset(CaptureWindow* window);
    // Reads "Color", "SubSample", "WaitTime", "Clock" (and "Size") into stream. False, stream
    // unchanged, when the root is missing.
    static bool LoadStreamSettings(StreamSettings* stream);
    // Reads the presets into table (up to kMaxPresets entries); returns how many there are, -1
    // when the root is missing.
    static int LoadPresets(CaptureWindow table[kMaxPresets]);
    // The lowest-numbered preset whose "EH" and "EV" are width and height, into *found. False
    // when the root is missing or no preset matches.
    static bool FindPreset(int width, int height, CaptureWindow* found);
    // Writes presets 0 .. count-1 and the stream settings (keys created where missing). Presets
    // numbered count and above are left as stored. False when the root cannot be created or the
    // store cannot be saved.
    static bool SavePresets(const CaptureWindow* table, int count, const StreamSettings& stream);
};

}  // namespace lumora
