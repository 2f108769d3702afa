// The window of AnalogGainDialog: the tab control holding the gain page.
#include "settings/analog_gain_dialog.h"

#include <windows.h>
#include <commctrl.h>

#include "device/k37vq_device.h"
#include "settings/dialog_ids.h"
#include "settings/win32/dialog_host.h"

namespace lumora {

using namespace dialog_host;

struct AnalogGainDialog::View {
    static bool Open(AnalogGainDialog& d, HWND dialog) {
        d.window_ = dialog;
        HWND tab = GetDlgItem(dialog, IDC_TAB);
        InsertTab(tab, 0, L"Analog Gain");
        d.page_.Attach(d.device_, d.settings_, d.bayerPhase_, d.timing_);
        if (!d.page_.Create(tab)) return false;
        if (d.notifier_ != nullptr) d.notifier_->SetTarget(dialog);
        return true;
    }

    static void Default(AnalogGainDialog& d) {
        GainSettings& g = *d.settings_;
        ResetDefaults(g);
        K37VQDevice& device = *d.device_;
        device.SetGlobalGain(g.globalGain);
        device.SetColorGain(K37VQDevice::REG_GAIN_GREEN1, g.gainGreen1 & 0xFFFF);
        device.SetColorGain(K37VQDevice::REG_GAIN_RED, g.gainRed & 0xFFFF);
        device.SetColorGain(K37VQDevice::REG_GAIN_BLUE, g.gainBlue & 0xFFFF);
        device.SetColorGain(K37VQDevice::REG_GAIN_GREEN2, g.gainGreen2 & 0xFFFF);
        device.SetExposureLines(g.exposure);
        d.page_.Refresh(0);
    }

    static INT_PTR CALLBACK Proc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
        try {
            MessageScope held;
            AnalogGainDialog* d = ObjectOf<AnalogGainDialog>(dialog, message, lParam);
            if (d == nullptr) return FALSE;
            switch (message) {
                case WM_INITDIALOG:
                    if (!Open(*d, dialog)) EndDialog(dialog, 2);
                    return TRUE;
                case WM_COMMAND:
                    if (LOWORD(wParam) == IDOK) {
                        d->page_.Refresh(1);
                        EndDialog(dialog, 1);
                    } else if (LOWORD(wParam) == IDCANCEL) {
                        EndDialog(dialog, 2);
                    } else if (LOWORD(wParam) == IDC_DEFAULT) {
                        Default(*d);
                    }
                    return TRUE;
                case WM_NOTIFY: {
                    const NMHDR* header = reinterpret_cast<const NMHDR*>(lParam);
                    if (header->idFrom == IDC_TAB && header->code == static_cast<UINT>(TCN_SELCHANGE) &&
                        SendDlgItemMessageW(dialog, IDC_TAB, TCM_GETCURSEL, 0, 0) == 0) {
                        ShowWindow(static_cast<HWND>(d->page_.Window()), SW_SHOW);
                    }
                    return TRUE;
                }
                case DialogNotifier::kShowValueMessage:
                    d->page_.ShowValue(static_cast<int>(wParam), static_cast<int>(lParam));
                    return TRUE;
                case WM_DESTROY:
                    if (d->notifier_ != nullptr) d->notifier_->SetTarget(nullptr);
                    return FALSE;
                default: break;
            }
        } catch (...) {
        }
        return FALSE;
    }
};

int AnalogGainDialog::Show(platform::WindowHandle owner) {
    return static_cast<int>(ShowModal(IDD_GAIN_EN, IDD_GAIN_JA, static_cast<HWND>(owner), View::Proc, this, settingsLock_));
}

}  // namespace lumora
