#include "platform/settings_store.h"

#include <windows.h>

namespace lumora::platform {

struct SettingsStore::State {
    Mode mode;
};

namespace {

// Opens key for writing (created where missing); null on failure.
HKEY CreateForWriting(const char* key) {
    HKEY h = nullptr;
    char emptyClass[1] = "";
    if (RegCreateKeyExA(HKEY_CURRENT_USER, key, 0, emptyClass, REG_OPTION_NON_VOLATILE,
                        KEY_ALL_ACCESS, nullptr, &h, nullptr) != ERROR_SUCCESS) {
        return nullptr;
    }
    return h;
}

}  // namespace

std::string SettingsStore::FilePath() { return ""; }

SettingsStore::SettingsStore(Mode mode) : state_(new State{mode}) {}

SettingsStore::~SettingsStore() = default;

bool SettingsStore::HasKey(const char* key) {
    HKEY h = nullptr;
    if (key == nullptr || RegOpenKeyExA(HKEY_CURRENT_USER, key, 0, KEY_READ, &h) != ERROR_SUCCESS) {
        return false;
    }
    RegCloseKey(h);
    return true;
}

bool SettingsStore::ReadValue(const char* key, const char* name, int32_t* value) {
    HKEY h = nullptr;
    if (key == nullptr || name == nullptr || value == nullptr ||
        RegOpenKeyExA(HKEY_CURRENT_USER, key, 0, KEY_READ, &h) != ERROR_SUCCESS) {
        return false;
    }
    DWORD type = 0, data = 0, size = sizeof data;
    const LONG status =
        RegQueryValueExA(h, name, nullptr, &type, reinterpret_cast<BYTE*>(&data), &size);
    RegCloseKey(h);
    // Another type, or fewer bytes than a number has, leaves the field as it was.
    if (status != ERROR_SUCCESS || type != REG_DWORD || size != sizeof data) return false;
    *value = static_cast<int32_t>(data);
    return true;
}

bool SettingsStore::CreateKey(const char* key) {
    if (state_->mode != Mode::Write || key == nullptr || key[0] == '\0') return false;
    HKEY h = CreateForWriting(key);
    if (h == nullptr) return false;
    RegCloseKey(h);
    return true;
}

bool SettingsStore::WriteValue(const char* key, const char* name, int32_t value) {
    if (state_->mode != Mode::Write || key == nullptr || key[0] == '\0' || name == nullptr) {
        return false;
    }
    HKEY h = CreateForWriting(key);
    if (h == nullptr) return false;
    const DWORD data = static_cast<DWORD>(value);
    const LONG status =
        RegSetValueExA(h, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&data), sizeof data);
    RegCloseKey(h);
    return status == ERROR_SUCCESS;
}

bool SettingsStore::Commit() { return true; }

}  // namespace lumora::platform
