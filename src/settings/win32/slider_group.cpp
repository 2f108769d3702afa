// The window operations of SliderGroup.
#include "settings/slider_group.h"

#include <windows.h>
#include <commctrl.h>

#include "settings/win32/dialog_host.h"

namespace lumora {

void SliderGroup::SetUp(platform::WindowHandle page, int value, bool enabled) const {
    HWND dialog = static_cast<HWND>(page);
    HWND bar = GetDlgItem(dialog, trackbar), up = GetDlgItem(dialog, upDown), box = GetDlgItem(dialog, edit);
    SendMessageW(bar, TBM_SETRANGEMAX, FALSE, maximum);
    SendMessageW(bar, TBM_SETRANGEMIN, FALSE, minimum);
    SendMessageW(bar, TBM_SETPOS, TRUE, value);
    SendMessageW(bar, TBM_SETTICFREQ, static_cast<WPARAM>(tickFrequency), 0);
    SendMessageW(up, UDM_SETRANGE32, static_cast<WPARAM>(minimum), maximum);
    SendMessageW(up, UDM_SETPOS32, 0, value);
    SendMessageW(up, UDM_SETBUDDY, reinterpret_cast<WPARAM>(box), 0);
    dialog_host::WriteSigned(dialog, edit, value);
    EnableWindow(bar, enabled);
    EnableWindow(up, enabled);
    EnableWindow(box, enabled);
}

void SliderGroup::Show(platform::WindowHandle page, int value) const {
    HWND dialog = static_cast<HWND>(page);
    SendDlgItemMessageW(dialog, trackbar, TBM_SETPOS, TRUE, value);
    dialog_host::WriteSigned(dialog, edit, value);
}

int SliderGroup::Read(platform::WindowHandle page) const {
    return dialog_host::ReadSigned(static_cast<HWND>(page), edit);
}

int SliderGroup::Position(platform::WindowHandle page) const {
    return static_cast<int>(SendDlgItemMessageW(static_cast<HWND>(page), trackbar, TBM_GETPOS, 0, 0));
}

void SliderGroup::Scrolled(const SliderGroup* table, int count, int* const* fields, platform::WindowHandle page,
                           int id) {
    const SliderGroup* group = FindByTrackbar(table, count, id);
    if (group == nullptr) return;
    const int position = group->Position(page);
    *fields[group - table] = position;
    dialog_host::WriteSigned(static_cast<HWND>(page), group->edit, position);
}

void SliderGroup::Edited(const SliderGroup* table, int count, int* const* fields, platform::WindowHandle page,
                         int id) {
    const SliderGroup* group = FindByEdit(table, count, id);
    if (group == nullptr) return;
    const int value = group->Read(page);
    *fields[group - table] = value;
    SendDlgItemMessageW(static_cast<HWND>(page), group->trackbar, TBM_SETPOS, TRUE, value);
}

}  // namespace lumora
