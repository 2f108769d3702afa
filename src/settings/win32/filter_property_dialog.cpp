// The window of FilterPropertyDialog: the tab control holding the image and gray pages.
#include "settings/filter_property_dialog.h"

#include <windows.h>
#include <commctrl.h>

#include "settings/dialog_ids.h"
#include "settings/win32/dialog_host.h"

namespace lumora {

using namespace dialog_host;

struct FilterPropertyDialog::View {
    static bool Open(FilterPropertyDialog& d, HWND dialog) {
        d.window_ = dialog;
        HWND tab = GetDlgItem(dialog, IDC_TAB);
        InsertTab(tab, 0, L"Image Filter");
        d.imagePage_.Attach(d.settings_, d.flags_);
        if (!d.imagePage_.Create(tab, true)) return false;
        if (d.flags_.grayTab) {
            InsertTab(tab, 1, L"Gray Filter");
            d.grayPage_.Attach(d.settings_);
            if (!d.grayPage_.Create(tab, false)) return false;
        }
        if (d.notifier_ != nullptr) d.notifier_->SetTarget(dialog);
        return true;
    }

    static void SelectTab(FilterPropertyDialog& d, HWND dialog) {
        const int selected = static_cast<int>(SendDlgItemMessageW(dialog, IDC_TAB, TCM_GETCURSEL, 0, 0));
        if (selected != 0 && selected != 1) return;
        // Each page shows the phase the record holds, whichever page set it last.
        if (selected == 0) d.imagePage_.ShowBayerPhase();
        ShowWindow(static_cast<HWND>(d.imagePage_.Window()), selected == 0 ? SW_SHOW : SW_HIDE);
        if (d.grayPage_.Window() == nullptr) return;
        if (selected == 1) d.grayPage_.ShowBayerPhase();
        ShowWindow(static_cast<HWND>(d.grayPage_.Window()), selected == 1 ? SW_SHOW : SW_HIDE);
    }

    static void Command(FilterPropertyDialog& d, HWND dialog, int id) {
        switch (id) {
            case IDOK:
                // Both pages set the phase live; the image page's buttons, which the store reads,
                // show what the record holds whichever page set it last.
                d.imagePage_.ShowBayerPhase();
                d.Refresh(1);
                EndDialog(dialog, 1);
                break;
            case IDCANCEL: EndDialog(dialog, 2); break;
            case IDC_DEFAULT:
                ResetDefaults(*d.settings_, d.grayPage_.Window() != nullptr);
                d.Refresh(0);
                if (d.grayPage_.Window() != nullptr) d.grayPage_.ShowBayerPhase();
                break;
            default: break;
        }
    }

    static INT_PTR CALLBACK Proc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
        try {
            MessageScope held;
            FilterPropertyDialog* d = ObjectOf<FilterPropertyDialog>(dialog, message, lParam);
            if (d == nullptr) return FALSE;
            switch (message) {
                case WM_INITDIALOG:
                    if (!Open(*d, dialog)) EndDialog(dialog, 2);
                    return TRUE;
                case WM_COMMAND: Command(*d, dialog, LOWORD(wParam)); return TRUE;
                case WM_NOTIFY: {
                    const NMHDR* header = reinterpret_cast<const NMHDR*>(lParam);
                    if (header->idFrom == IDC_TAB && header->code == static_cast<UINT>(TCN_SELCHANGE)) SelectTab(*d, dialog);
                    return TRUE;
                }
                case DialogNotifier::kRefreshMessage: d->Refresh(0); return TRUE;
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

int FilterPropertyDialog::Show(platform::WindowHandle owner) {
    return static_cast<int>(ShowModal(IDD_FILTER_EN, IDD_FILTER_JA, static_cast<HWND>(owner), View::Proc, this,
                                             settingsLock_));
}

void FilterPropertyDialog::Refresh(int direction) {
    imagePage_.Refresh(direction);
    grayPage_.Refresh(direction);
}

}  // namespace lumora
