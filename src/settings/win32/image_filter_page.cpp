// The window of ImageFilterPage.
#include "settings/image_filter_page.h"

#include <windows.h>
#include <commctrl.h>

#include "settings/dialog_ids.h"
#include "settings/slider_group.h"
#include "settings/win32/dialog_host.h"

namespace lumora {

namespace {

using namespace dialog_host;

constexpr int kGroups = 9;
// In the order of FilterEnableFlags::sliders.
const SliderGroup kSliders[kGroups] = {
    {2001, 2002, 2004, -255, 255, 64}, {2011, 2012, 2014, -127, 127, 32}, {2021, 2022, 2024, -360, 360, 90},
    {2031, 2032, 2034, -255, 255, 64}, {2041, 2042, 2044, 0, 30, 4},      {2051, 2052, 2054, 0, 400, 32},
    {2061, 2062, 2063, 0, 400, 32},    {2071, 2072, 2073, 0, 400, 32},    {2081, 2082, 2084, 0, 200, 32},
};
int FilterSettings::*const kFields[kGroups] = {
    &FilterSettings::brightness,      &FilterSettings::contrast,          &FilterSettings::hue,
    &FilterSettings::saturation,      &FilterSettings::sharpness,         &FilterSettings::whiteBalanceRed,
    &FilterSettings::whiteBalanceGreen, &FilterSettings::whiteBalanceBlue, &FilterSettings::gamma,
};

}  // namespace

struct ImageFilterPage::View {
    // The record fields of the groups, in table order.
    struct Fields {
        int* at[kGroups];
        explicit Fields(FilterSettings& f) {
            for (int i = 0; i < kGroups; ++i) at[i] = &(f.*kFields[i]);
        }
    };

    static void Init(ImageFilterPage& p, HWND page) {
        p.window_ = page;
        p.initDone_ = false;
        for (int i = 0; i < kGroups; ++i) kSliders[i].SetUp(page, p.settings_->*kFields[i], p.flags_.sliders[i]);
        const int wb[] = {IDC_WB_ONCE, IDC_WB_ALL_FRAMES, IDC_BAYER_0, IDC_BAYER_1, IDC_BAYER_2, IDC_BAYER_3};
        for (int id : wb) EnableWindow(GetDlgItem(page, id), p.flags_.whiteBalance);
        p.ShowBayerPhase();
        p.initDone_ = true;
    }

    static void Command(ImageFilterPage& p, HWND page, int id, int code) {
        FilterSettings& f = *p.settings_;
        if (code == EN_CHANGE) {
            if (p.initDone_) SliderGroup::Edited(kSliders, kGroups, Fields(f).at, page, id);
            return;
        }
        if (code != BN_CLICKED) return;
        if (id >= IDC_BAYER_0 && id <= IDC_BAYER_3) {
            f.bayerPhase = id - IDC_BAYER_0;
        } else if (id == IDC_WB_ALL_FRAMES) {
            const int on = Checked(page, IDC_WB_ALL_FRAMES) ? 1 : 0;
            f.autoWhiteBalanceOnce[0] = f.autoWhiteBalanceOnce[1] = 0;
            f.autoWhiteBalance = on;
        } else if (id == IDC_WB_ONCE) {
            f.autoWhiteBalanceOnce[0] = f.autoWhiteBalanceOnce[1] = 1;
            f.autoWhiteBalance = 1;
            CheckDlgButton(page, IDC_WB_ALL_FRAMES, BST_UNCHECKED);
        }
    }

    static INT_PTR CALLBACK Proc(HWND page, UINT message, WPARAM wParam, LPARAM lParam) {
        try {
            MessageScope held;
            ImageFilterPage* p = ObjectOf<ImageFilterPage>(page, message, lParam);
            if (p == nullptr) return FALSE;
            switch (message) {
                case WM_INITDIALOG: Init(*p, page); return TRUE;
                case WM_COMMAND: Command(*p, page, LOWORD(wParam), HIWORD(wParam)); return TRUE;
                case WM_HSCROLL:
                    SliderGroup::Scrolled(kSliders, kGroups, Fields(*p->settings_).at, page,
                                          GetDlgCtrlID(reinterpret_cast<HWND>(lParam)));
                    return TRUE;
                default: break;
            }
        } catch (...) {
        }
        return FALSE;
    }
};

bool ImageFilterPage::Create(platform::WindowHandle parent, bool visible) {
    return CreatePage(IDD_FILTER_PAGE_EN, IDD_FILTER_PAGE_JA, static_cast<HWND>(parent), View::Proc, this,
                      visible) != nullptr;
}

void ImageFilterPage::ShowBayerPhase() {
    CheckOne(static_cast<HWND>(window_), IDC_BAYER_0, 4, settings_->bayerPhase);
}

void ImageFilterPage::Refresh(int direction) {
    if (window_ == nullptr || settings_ == nullptr) return;
    HWND page = static_cast<HWND>(window_);
    FilterSettings& f = *settings_;
    if (direction == 0) {
        // The edits' change handling stays out of it: the record is the source here.
        initDone_ = false;
        for (int i = 0; i < kGroups; ++i) kSliders[i].Show(page, f.*kFields[i]);
        ShowBayerPhase();
        initDone_ = true;
        return;
    }
    for (int i = 0; i < kGroups; ++i) f.*kFields[i] = kSliders[i].Read(page);
    for (int phase = 0; phase < 4; ++phase) {
        if (Checked(page, IDC_BAYER_0 + phase)) {
            f.bayerPhase = phase;
            break;
        }
    }
}

}  // namespace lumora
