// Without a dialog system (Linux) the settings dialogs cannot be shown.
#include "settings/analog_gain_dialog.h"
#include "settings/camera_property_dialog.h"
#include "settings/filter_property_dialog.h"

namespace lumora {

bool DialogsAvailable() { return false; }

int CameraPropertyDialog::Show(platform::WindowHandle) { return 0; }
int FilterPropertyDialog::Show(platform::WindowHandle) { return 0; }
int AnalogGainDialog::Show(platform::WindowHandle) { return 0; }

}  // namespace lumora
