// The window of AnalogGainPage.
#include "settings/analog_gain_page.h"

#include <windows.h>
#include <commctrl.h>

#include "device/k37vq_device.h"
#include "settings/dialog_ids.h"
#include "settings/slider_group.h"
#include "settings/win32/dialog_host.h"

namespace lumora {

namespace {

using namespace dialog_host;

constexpr int kGroups = 6;
const SliderGroup kSliders[kGroups] = {
    {1014, 1015, 1038, 0, 127, 15}, {1018, 1019, 1039, 0, 127, 15}, {1020, 1021, 1040, 0, 127, 15},
    {1022, 1023, 1041, 0, 127, 15}, {1024, 1025, 1042, 0, 127, 15}, {1026, 1027, 1043, 1, 8191, 1023},
};
int GainSettings::*const kFields[kGroups] = {
    &GainSettings::globalGain, &GainSettings::gainGreen1, &GainSettings::gainRed,
    &GainSettings::gainBlue,   &GainSettings::gainGreen2, &GainSettings::exposure,
};
// The colour-gain register of groups 1 .. 4.
const uint16_t kRegisters[kGroups] = {0, K37VQDevice::REG_GAIN_GREEN1, K37VQDevice::REG_GAIN_RED,
                                      K37VQDevice::REG_GAIN_BLUE, K37VQDevice::REG_GAIN_GREEN2, 0};

}  // namespace

struct AnalogGainPage::View {
    static void ShowExposureTime(AnalogGainPage& p) {
        SetText(static_cast<HWND>(p.window_), IDC_EXPOSURE_TIME, ExposureTimeText(p.timing_, p.settings_));
    }

    static void Init(AnalogGainPage& p, HWND page) {
        p.window_ = page;
        p.initDone_ = false;
        const GainSettings& g = *p.settings_;
        for (int i = 0; i < kGroups; ++i) kSliders[i].SetUp(page, g.*kFields[i], true);
        CheckDlgButton(page, IDC_MIRROR_V, g.mirrorV ? BST_CHECKED : BST_UNCHECKED);
        CheckDlgButton(page, IDC_MIRROR_H, g.mirrorH ? BST_CHECKED : BST_UNCHECKED);
        CheckDlgButton(page, IDC_IRIS_EXPOSURE, g.autoIris == 1 ? BST_CHECKED : BST_UNCHECKED);
        CheckDlgButton(page, IDC_IRIS_GAIN, g.autoIris == 2 ? BST_CHECKED : BST_UNCHECKED);
        ShowExposureTime(p);
        p.initDone_ = true;
    }

    // A typed (or shown) number: into the record, the trackbar and the camera.
    static void EditChanged(AnalogGainPage& p, HWND page, int group) {
        GainSettings& g = *p.settings_;
        const int value = kSliders[group].Read(page);
        g.*kFields[group] = value;
        SendDlgItemMessageW(page, kSliders[group].trackbar, TBM_SETPOS, TRUE, value);
        K37VQDevice& device = *p.sensor_;
        if (group == 0) {
            device.SetGlobalGain(value);
            // The four colour gains follow through their own edits.
            for (int i = 1; i <= 4; ++i) WriteSigned(page, kSliders[i].edit, value);
        } else if (group <= 4) {
            device.SetColorGain(kRegisters[group], value);
        } else {
            device.SetExposureLines(value);
            ShowExposureTime(p);
        }
    }

    static void Mirror(AnalogGainPage& p, HWND page, int id) {
        GainSettings& g = *p.settings_;
        const int on = Checked(page, id) ? 1 : 0;
        const bool vertical = id == IDC_MIRROR_V;
        if (vertical) {
            p.sensor_->SetMirrorV(on);
            g.mirrorV = on;
        } else {
            p.sensor_->SetMirrorH(on);
            g.mirrorH = on;
        }
        int& phase = *p.bayerPhase_;
        if (phase >= 0 && phase <= 3) phase ^= vertical ? 1 : 2;
    }

    static void Command(AnalogGainPage& p, HWND page, int id, int code) {
        if (code == EN_CHANGE) {
            const SliderGroup* group = FindByEdit(kSliders, kGroups, id);
            if (group != nullptr && p.initDone_) EditChanged(p, page, static_cast<int>(group - kSliders));
            return;
        }
        if (code != BN_CLICKED) return;
        GainSettings& g = *p.settings_;
        if (id == IDC_MIRROR_V || id == IDC_MIRROR_H) {
            Mirror(p, page, id);
        } else if (id == IDC_IRIS_GAIN) {
            if (Checked(page, id)) CheckDlgButton(page, IDC_IRIS_EXPOSURE, BST_UNCHECKED);
            g.autoIris = Checked(page, id) ? 2 : 0;
        } else if (id == IDC_IRIS_EXPOSURE) {
            if (Checked(page, id)) CheckDlgButton(page, IDC_IRIS_GAIN, BST_UNCHECKED);
            g.autoIris = Checked(page, id) ? 1 : 0;
        }
    }

    static INT_PTR CALLBACK Proc(HWND page, UINT message, WPARAM wParam, LPARAM lParam) {
        try {
            MessageScope held;
            AnalogGainPage* p = ObjectOf<AnalogGainPage>(page, message, lParam);
            if (p == nullptr) return FALSE;
            switch (message) {
                case WM_INITDIALOG: Init(*p, page); return TRUE;
                case WM_COMMAND: Command(*p, page, LOWORD(wParam), HIWORD(wParam)); return TRUE;
                case WM_HSCROLL: {
                    // Only the edit is set: its change handling applies the value.
                    const SliderGroup* group =
                        FindByTrackbar(kSliders, kGroups, GetDlgCtrlID(reinterpret_cast<HWND>(lParam)));
                    if (group != nullptr) WriteSigned(page, group->edit, group->Position(page));
                    return TRUE;
                }
                default: break;
            }
        } catch (...) {
        }
        return FALSE;
    }
};

bool AnalogGainPage::Create(platform::WindowHandle parent) {
    return CreatePage(IDD_GAIN_PAGE_EN, IDD_GAIN_PAGE_JA, static_cast<HWND>(parent), View::Proc, this, true) !=
           nullptr;
}

void AnalogGainPage::Refresh(int direction) {
    if (window_ == nullptr || settings_ == nullptr) return;
    HWND page = static_cast<HWND>(window_);
    GainSettings& g = *settings_;
    if (direction == 0) {
        // The record is the source: the edits' change handling (and its device writes) stays out.
        initDone_ = false;
        for (int i = 0; i < kGroups; ++i) kSliders[i].Show(page, g.*kFields[i]);
        View::ShowExposureTime(*this);
        initDone_ = true;
        return;
    }
    for (int i = 0; i < kGroups; ++i) g.*kFields[i] = kSliders[i].Read(page);
}

void AnalogGainPage::ShowValue(int controlId, int value) {
    if (window_ != nullptr) WriteSigned(static_cast<HWND>(window_), controlId, value);
}

}  // namespace lumora
