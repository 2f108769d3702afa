#pragma once
// Whether this platform can show the settings dialogs: Windows can, Linux has no dialog system
// for them (the dialog exports fail with CAMERR_UNSUPPORTED there).
//
// Thread context: any.

namespace lumora {

bool DialogsAvailable();

}  // namespace lumora
