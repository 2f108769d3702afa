#pragma once
// What the frame pipeline tells the settings dialogs while they are open. A dialog registers
// itself on the camera object (filterDialog, analogGainDialog) while its window exists and
// removes itself before the window goes.
//
// Thread context: the calls come from the thread that runs the pipeline (the preview thread,
// or the application's thread inside a snapshot); an implementation hands them to its window
// without waiting for the application.

namespace lumora {

// An open image-filter dialog.
class FilterDialogHook {
public:
    // The filter record changed under the dialog (automatic white balance or gray calibration
    // measured new gains): show the record's values again.
    virtual void RefreshControls() = 0;

protected:
    ~FilterDialogHook() = default;
};

// An open analog-gain dialog.
class GainDialogHook {
public:
    static constexpr int kGainEdit = 1015;
    static constexpr int kExposureEdit = 1027;

    // Automatic gain or exposure set a new value: show it, as a signed number, in the edit
    // control controlId (kGainEdit or kExposureEdit).
    virtual void ShowValue(int controlId, int value) = 0;

protected:
    ~GainDialogHook() = default;
};

}  // namespace lumora
