#pragma once
// The camera property dialog's state: the table of capture-window presets and its copies of the
// stream settings, loaded from and saved to the settings root. This is the window-less part of
// the dialog, and the modal dialog itself (Windows), which works on the stored settings only:
// it reads them when it opens and writes them on OK and Apply.
//
// Constructing the object touches nothing outside it: no process-wide instance is registered (the
// dialog's window carries its object).
//
// Thread context: the thread that made the object (the application's).
#include "camera/capture_window.h"
#include "platform/window_message.h"
#include "settings/dialog_support.h"
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

    // Runs the modal dialog (English, or Japanese where the system's language is): 1 after OK,
    // 2 after Cancel, 0 or -1 when the dialog cannot be shown (always without dialogs, see
    // DialogsAvailable).
    int Show(platform::WindowHandle owner);

    // The sub-sample list's item of a stored mode (17 and 18 are items 3 and 4) and back; -1
    // stays -1 (no selection).
    static int SubSampleItem(int subSample);
    static int SubSampleValue(int item);
    // The preset the edits show at opening: the selected one while it lies in the table (the
    // "Custom" entry included), else null (the edits show zeros).
    const CaptureWindow* ShownPreset() const;
    // Takes the six numbers TH, TV, EH, EV, EHS, EVS for the size list's item: a preset item
    // overwrites that preset, the "Custom" item (presetCount) adds the next preset ("Buf" 10).
    // The selected size becomes the preset written. Returns its number; -1, with nothing
    // changed, when item selects nothing or "Custom" finds the table full.
    int StorePreset(int item, const int numbers[6]);

    CaptureWindow presets[kMaxPresets];
    int presetCount = 0;
    StreamSettings stream;

private:
    struct View;
};

}  // namespace lumora
