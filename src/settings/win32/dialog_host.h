#pragma once
// What every settings dialog view shares on Windows: the library's own module (the templates are
// its resources), the language choice, modal dialogs and child pages created with the W
// functions, the object behind a dialog window, and numbers in edit controls.
//
// Thread context: the thread that runs the dialog.
#include <windows.h>

#include <mutex>
#include <string>

namespace lumora::dialog_host {

// Japanese templates and texts when the system's default language is Japanese (0x0411).
bool Japanese();

// Runs the modal dialog of template english or japanese with proc; object reaches proc as the
// WM_INITDIALOG parameter. The common controls are registered first. The system's result.
// settingsLock (when given) guards the records the dialog edits: the procedures of the dialog
// and its pages hold it for each message (MessageScope), so that the preview thread never
// reads a record half changed.
INT_PTR ShowModal(int english, int japanese, HWND owner, DLGPROC proc, void* object,
                  std::recursive_mutex* settingsLock = nullptr);

// Held by a dialog or page procedure for one message: the settings lock of the modal dialog
// running on this thread, if any.
class MessageScope {
public:
    MessageScope();
    ~MessageScope();
    MessageScope(const MessageScope&) = delete;
    MessageScope& operator=(const MessageScope&) = delete;

private:
    std::recursive_mutex* lock_;
};
// Creates the modeless child page of template english or japanese in parent at 30, 25 (not
// resized), shown or hidden. Null when it cannot.
HWND CreatePage(int english, int japanese, HWND parent, DLGPROC proc, void* object, bool visible);

// The object that the window was created for: taken from WM_INITDIALOG's parameter and kept in
// the window; null before.
template <typename T>
T* ObjectOf(HWND window, UINT message, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        SetWindowLongPtrW(window, DWLP_USER, lParam);
        return reinterpret_cast<T*>(lParam);
    }
    return reinterpret_cast<T*>(GetWindowLongPtrW(window, DWLP_USER));
}

// The edit's text as a signed (or unsigned) number; 0 when the text is not one.
int ReadSigned(HWND dialog, int id);
int ReadUnsigned(HWND dialog, int id);
void WriteSigned(HWND dialog, int id, int value);
// Sets a control's text from UTF-8.
void SetText(HWND dialog, int id, const std::string& utf8);

// Checks button id of first .. first+count-1 that value selects (value - 0); none when value
// lies outside.
void CheckOne(HWND dialog, int first, int count, int value);
bool Checked(HWND dialog, int id);

// Inserts tab item index with text into the tab control.
void InsertTab(HWND tab, int index, const wchar_t* text);

}  // namespace lumora::dialog_host
