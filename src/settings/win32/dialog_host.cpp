#include "settings/win32/dialog_host.h"

#include "settings/dialog_support.h"

#include <commctrl.h>

#include <vector>

namespace lumora::dialog_host {

namespace {

// The module this code lives in: the DLL, whose resources hold the templates.
HINSTANCE OwnModule() {
    HMODULE module = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(&OwnModule), &module);
    return module;
}

void RegisterCommonControls() {
    INITCOMMONCONTROLSEX controls{};
    controls.dwSize = sizeof controls;
    controls.dwICC = ICC_TAB_CLASSES | ICC_BAR_CLASSES | ICC_UPDOWN_CLASS | ICC_STANDARD_CLASSES;
    InitCommonControlsEx(&controls);
}

// The settings lock of the modal dialog running on this thread.
thread_local std::recursive_mutex* tSettingsLock = nullptr;

}  // namespace

MessageScope::MessageScope() : lock_(tSettingsLock) {
    if (lock_ != nullptr) lock_->lock();
}

MessageScope::~MessageScope() {
    if (lock_ != nullptr) lock_->unlock();
}

bool Japanese() { return GetSystemDefaultLangID() == 0x0411; }

INT_PTR ShowModal(int english, int japanese, HWND owner, DLGPROC proc, void* object,
                  std::recursive_mutex* settingsLock) {
    RegisterCommonControls();
    std::recursive_mutex* outer = tSettingsLock;
    tSettingsLock = settingsLock;
    const INT_PTR result = DialogBoxParamW(OwnModule(), MAKEINTRESOURCEW(Japanese() ? japanese : english), owner,
                                           proc, reinterpret_cast<LPARAM>(object));
    tSettingsLock = outer;
    return result;
}

HWND CreatePage(int english, int japanese, HWND parent, DLGPROC proc, void* object, bool visible) {
    HWND page = CreateDialogParamW(OwnModule(), MAKEINTRESOURCEW(Japanese() ? japanese : english), parent,
                                   proc, reinterpret_cast<LPARAM>(object));
    if (page == nullptr) return nullptr;
    SetWindowPos(page, nullptr, 30, 25, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    ShowWindow(page, visible ? SW_SHOW : SW_HIDE);
    return page;
}

int ReadSigned(HWND dialog, int id) {
    BOOL ok = FALSE;
    const int value = static_cast<int>(GetDlgItemInt(dialog, id, &ok, TRUE));
    return ok ? value : 0;
}

int ReadUnsigned(HWND dialog, int id) {
    BOOL ok = FALSE;
    const UINT value = GetDlgItemInt(dialog, id, &ok, FALSE);
    return ok ? static_cast<int>(value) : 0;
}

void WriteSigned(HWND dialog, int id, int value) { SetDlgItemInt(dialog, id, static_cast<UINT>(value), TRUE); }

void SetText(HWND dialog, int id, const std::string& utf8) {
    const int n = MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, nullptr, 0);
    std::vector<wchar_t> text(n > 0 ? n : 1);
    MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, text.data(), static_cast<int>(text.size()));
    SetDlgItemTextW(dialog, id, text.data());
}

void CheckOne(HWND dialog, int first, int count, int value) {
    for (int i = 0; i < count; ++i) {
        CheckDlgButton(dialog, first + i, i == value ? BST_CHECKED : BST_UNCHECKED);
    }
}

bool Checked(HWND dialog, int id) { return IsDlgButtonChecked(dialog, id) == BST_CHECKED; }

void InsertTab(HWND tab, int index, const wchar_t* text) {
    TCITEMW item{};
    item.mask = TCIF_TEXT;
    item.pszText = const_cast<wchar_t*>(text);
    SendMessageW(tab, TCM_INSERTITEMW, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&item));
}

}  // namespace lumora::dialog_host

namespace lumora {

bool DialogsAvailable() { return true; }

}  // namespace lumora
