// The window of GrayFilterPage.
#include "settings/gray_filter_page.h"

#include <windows.h>
#include <commctrl.h>

#include "settings/dialog_ids.h"
#include "settings/slider_group.h"
#include "settings/win32/dialog_host.h"

namespace lumora {

namespace {

using namespace dialog_host;

constexpr int kGroups = 8;
const SliderGroup kSliders[kGroups] = {
    {2100, 2101, 2102, 0, 400, 32},    {2103, 2104, 2105, 0, 400, 32},    {2106, 2107, 2108, 0, 400, 32},
    {2109, 2110, 2111, 0, 400, 32},    {2112, 2113, 2114, -255, 255, 32}, {2115, 2116, 2117, -255, 255, 32},
    {2118, 2119, 2120, -255, 255, 32}, {2121, 2122, 2123, -255, 255, 32},
};
int FilterSettings::*const kFields[kGroups] = {
    &FilterSettings::grayGainR,   &FilterSettings::grayGainG1,   &FilterSettings::grayGainG2,
    &FilterSettings::grayGainB,   &FilterSettings::grayOffsetR,  &FilterSettings::grayOffsetG1,
    &FilterSettings::grayOffsetG2, &FilterSettings::grayOffsetB,
};

}  // namespace

struct GrayFilterPage::View {
    // The record fields of the groups, in table order.
    struct Fields {
        int* at[kGroups];
        explicit Fields(FilterSettings& f) {
            for (int i = 0; i < kGroups; ++i) at[i] = &(f.*kFields[i]);
        }
    };

    static void Init(GrayFilterPage& p, HWND page) {
        p.window_ = page;
        p.initDone_ = false;
        for (int i = 0; i < kGroups; ++i) kSliders[i].SetUp(page, p.settings_->*kFields[i], true);
        CheckOne(page, IDC_GRAY_BAYER, 3, p.settings_->grayMode);
        p.ShowBayerPhase();
        p.initDone_ = true;
    }

    static void Command(GrayFilterPage& p, HWND page, int id, int code) {
        FilterSettings& f = *p.settings_;
        if (code == EN_CHANGE) {
            if (p.initDone_) SliderGroup::Edited(kSliders, kGroups, Fields(f).at, page, id);
            return;
        }
        if (code != BN_CLICKED) return;
        if (id >= IDC_GRAY_BAYER && id <= IDC_GRAY_GRAYSCALE) {
            f.grayMode = id - IDC_GRAY_BAYER;
        } else if (id >= IDC_BAYER_0 && id <= IDC_BAYER_3) {
            f.bayerPhase = id - IDC_BAYER_0;
        } else if (id == IDC_WB_ONCE) {
            f.grayAutoGainCount = 1;
        } else if (id == IDC_WB_ALL_FRAMES) {
            // Flips the counter by its own value, whatever the check mark shows.
            f.grayAutoGainCount = f.grayAutoGainCount != 0 ? 0 : -1;
        }
    }

    static INT_PTR CALLBACK Proc(HWND page, UINT message, WPARAM wParam, LPARAM lParam) {
        try {
            MessageScope held;
            GrayFilterPage* p = ObjectOf<GrayFilterPage>(page, message, lParam);
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

bool GrayFilterPage::Create(platform::WindowHandle parent, bool visible) {
    return CreatePage(IDD_GRAY_PAGE_EN, IDD_GRAY_PAGE_JA, static_cast<HWND>(parent), View::Proc, this,
                      visible) != nullptr;
}

void GrayFilterPage::ShowBayerPhase() {
    CheckOne(static_cast<HWND>(window_), IDC_BAYER_0, 4, settings_->bayerPhase);
}

void GrayFilterPage::Refresh(int direction) {
    if (window_ == nullptr || settings_ == nullptr) return;
    HWND page = static_cast<HWND>(window_);
    FilterSettings& f = *settings_;
    if (direction == 0) {
        initDone_ = false;
        for (int i = 0; i < kGroups; ++i) kSliders[i].Show(page, f.*kFields[i]);
        initDone_ = true;
        return;
    }
    for (int i = 0; i < kGroups; ++i) f.*kFields[i] = kSliders[i].Read(page);
}

}  // namespace lumora
