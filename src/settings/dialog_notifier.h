#pragma once
// The settings dialogs' side of the pipeline's dialog hooks: one per camera and dialog kind,
// living as long as the camera object, so that a call the preview thread began just before the
// dialog closed still finds it. While a dialog is open its window is the target; every call is
// posted there and handled on the dialog's own thread. Without a target the calls do nothing.
//
// Thread context: SetTarget on the dialog's thread; the hook calls on the pipeline's thread.
#include <atomic>
#include <cstdint>

#include "camera/dialog_hooks.h"
#include "platform/window_message.h"

namespace lumora {

class DialogNotifier final : public FilterDialogHook, public GainDialogHook {
public:
    // Posted to the target (WM_APP + 0x31, + 0x32): show the filter record again; show lParam in
    // the edit control wParam.
    static constexpr uint32_t kRefreshMessage = 0x8031;
    static constexpr uint32_t kShowValueMessage = 0x8032;

    void SetTarget(platform::WindowHandle window) { target_.store(window); }

    void RefreshControls() override;
    void ShowValue(int controlId, int value) override;

private:
    std::atomic<platform::WindowHandle> target_{nullptr};
};

}  // namespace lumora
