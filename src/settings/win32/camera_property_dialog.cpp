// The window of CameraPropertyDialog: the stream format tab with its lists and edits.
#include "settings/camera_property_dialog.h"

#include <windows.h>
#include <commctrl.h>

#include <cstdio>

#include "settings/dialog_ids.h"
#include "settings/win32/dialog_host.h"

namespace lumora {

namespace {

using namespace dialog_host;

const wchar_t* const kColorsEn[] = {L"Monochrome 8bit", L"Monochrome 12bit *", L"Color 24bit",
                                    L"Color 32bit",     L"Color 48bit *",      L"Color 64bit *"};
const wchar_t* const kColorsJa[] = {L"白黒 8bit",    L"白黒 12bit ※",  L"カラー 24bit",
                                    L"カラー 32bit", L"カラー 48bit ※", L"カラー 64bit ※"};
const wchar_t* const kSubSamples[] = {L"1/1", L"1/2 Skip", L"1/4 Skip", L"1/2 Binning", L"1/4 Binning"};
const wchar_t* const kClocks[] = {L"27MHz", L"32MHz", L"38MHz", L"48MHz", L"64MHz", L"96MHz"};
// The six edits in the order of StorePreset's numbers.
const int kPresetEdits[6] = {IDC_TOTAL_H, IDC_TOTAL_V, IDC_EFFECTIVE_H, IDC_EFFECTIVE_V, IDC_START_H, IDC_START_V};

void Fill(HWND dialog, int id, const wchar_t* const* items, int count, int selected) {
    for (int i = 0; i < count; ++i) {
        SendDlgItemMessageW(dialog, id, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(items[i]));
    }
    SendDlgItemMessageW(dialog, id, CB_SETCURSEL, static_cast<WPARAM>(selected), 0);
}

int Selected(HWND dialog, int id) { return static_cast<int>(SendDlgItemMessageW(dialog, id, CB_GETCURSEL, 0, 0)); }

void InsertSize(HWND dialog, int index, const CaptureWindow& preset) {
    wchar_t text[40];
    swprintf(text, 40, L"%d x %d", preset.hEffective, preset.vEffective);
    SendDlgItemMessageW(dialog, IDC_SIZE_LIST, CB_INSERTSTRING, static_cast<WPARAM>(index),
                        reinterpret_cast<LPARAM>(text));
}

void ShowPreset(HWND dialog, const CaptureWindow* preset) {
    const CaptureWindow none{0, 0, 0, 0, 0, 0, 10};
    const CaptureWindow& p = preset != nullptr ? *preset : none;
    const int numbers[6] = {p.hTotal, p.vTotal, p.hEffective, p.vEffective, p.hStart, p.vStart};
    for (int i = 0; i < 6; ++i) SetDlgItemInt(dialog, kPresetEdits[i], static_cast<UINT>(numbers[i]), FALSE);
}

}  // namespace

struct CameraPropertyDialog::View {
    static void Open(CameraPropertyDialog& d, HWND dialog) {
        d.LoadPresetTable();
        const bool ja = Japanese();
        InsertTab(GetDlgItem(dialog, IDC_TAB), 0, ja ? L"ストリーム形式" : L"Stream Format");
        Fill(dialog, IDC_COLOR_LIST, ja ? kColorsJa : kColorsEn, 6, d.stream.color);
        Fill(dialog, IDC_SUBSAMPLE_LIST, kSubSamples, 5, SubSampleItem(d.stream.subSample));
        Fill(dialog, IDC_CLOCK_LIST, kClocks, 6, d.stream.clock);
        for (int n = 0; n < d.presetCount; ++n) InsertSize(dialog, n, d.presets[n]);
        SendDlgItemMessageW(dialog, IDC_SIZE_LIST, CB_ADDSTRING, 0,
                            reinterpret_cast<LPARAM>(ja ? L"カスタム" : L"Custom"));
        SendDlgItemMessageW(dialog, IDC_SIZE_LIST, CB_SETCURSEL, static_cast<WPARAM>(d.stream.size), 0);
        ShowPreset(dialog, d.ShownPreset());
        SetDlgItemInt(dialog, IDC_WAIT_TIME, static_cast<UINT>(d.stream.waitTime), FALSE);
        EnableWindow(GetDlgItem(dialog, IDC_APPLY), FALSE);
    }

    // The controls into the object, the preset list following; false (the user told) when
    // "Custom" cannot add another preset.
    static bool Collect(CameraPropertyDialog& d, HWND dialog) {
        const int item = Selected(dialog, IDC_SIZE_LIST);
        int numbers[6];
        for (int i = 0; i < 6; ++i) numbers[i] = ReadUnsigned(dialog, kPresetEdits[i]);
        const bool adding = item == d.presetCount;
        const int stored = d.StorePreset(item, numbers);
        if (adding && stored < 0) {
            const bool ja = Japanese();
            MessageBoxW(dialog,
                        ja ? L"プリセットは 100 個までです。既存のサイズを選んでください。"
                           : L"No more sizes can be added: 100 presets are stored. Choose one of them.",
                        ja ? L"プロパティ" : L"Property", MB_OK | MB_ICONWARNING);
            return false;
        }
        d.stream.color = Selected(dialog, IDC_COLOR_LIST);
        d.stream.subSample = SubSampleValue(Selected(dialog, IDC_SUBSAMPLE_LIST));
        d.stream.clock = Selected(dialog, IDC_CLOCK_LIST);
        d.stream.waitTime = ReadUnsigned(dialog, IDC_WAIT_TIME);
        if (stored >= 0) {
            if (!adding) SendDlgItemMessageW(dialog, IDC_SIZE_LIST, CB_DELETESTRING, static_cast<WPARAM>(stored), 0);
            InsertSize(dialog, stored, d.presets[stored]);
            SendDlgItemMessageW(dialog, IDC_SIZE_LIST, CB_SETCURSEL, static_cast<WPARAM>(stored), 0);
        }
        EnableWindow(GetDlgItem(dialog, IDC_APPLY), FALSE);
        return true;
    }

    static void Command(CameraPropertyDialog& d, HWND dialog, int id, int code) {
        switch (id) {
            case IDOK:
                if (Collect(d, dialog)) {
                    d.SavePresetTable();
                    EndDialog(dialog, 1);
                }
                return;
            case IDCANCEL: EndDialog(dialog, 2); return;
            case IDC_APPLY:
                if (Collect(d, dialog)) d.SavePresetTable();
                return;
            default: break;
        }
        if (code == CBN_SELCHANGE) {
            if (id == IDC_SIZE_LIST) {
                const int item = Selected(dialog, IDC_SIZE_LIST);
                d.stream.size = item;
                if (item >= 0 && item < d.presetCount) ShowPreset(dialog, &d.presets[item]);
            }
            EnableWindow(GetDlgItem(dialog, IDC_APPLY), TRUE);
        } else if (code == EN_CHANGE) {
            EnableWindow(GetDlgItem(dialog, IDC_APPLY), TRUE);
        }
    }

    static INT_PTR CALLBACK Proc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
        try {
            CameraPropertyDialog* d = ObjectOf<CameraPropertyDialog>(dialog, message, lParam);
            if (d == nullptr) return FALSE;
            if (message == WM_INITDIALOG) {
                Open(*d, dialog);
                return TRUE;
            }
            if (message == WM_COMMAND) {
                Command(*d, dialog, LOWORD(wParam), HIWORD(wParam));
                return TRUE;
            }
        } catch (...) {
            EndDialog(dialog, 2);
        }
        return FALSE;
    }
};

int CameraPropertyDialog::Show(platform::WindowHandle owner) {
    return static_cast<int>(ShowModal(IDD_CAMERA_EN, IDD_CAMERA_JA, static_cast<HWND>(owner), View::Proc, this));
}

}  // namespace lumora
