#include "settings/dialog_notifier.h"

namespace lumora {

void DialogNotifier::RefreshControls() {
    platform::PostWindowMessage(target_.load(), kRefreshMessage, 0, 0);
}

void DialogNotifier::ShowValue(int controlId, int value) {
    platform::PostWindowMessage(target_.load(), kShowValueMessage, static_cast<uintptr_t>(controlId),
                                value);
}

}  // namespace lumora
