// Without a dialog system (Linux) the settings dialogs cannot be shown.
#include "settings/analog_gain_dialog.h"
#include "settings/camera_property_dialog.h"
#include "settings/filter_property_dialog.h"

namespace lumora {

int CameraPropertyDialog::Show(platform::WindowHandle) { return kUnavailable; }
int FilterPropertyDialog::Show(platform::WindowHandle) { return kUnavailable; }
int AnalogGainDialog::Show(platform::WindowHandle) { return kUnavailable; }

}  // namespace lumora
