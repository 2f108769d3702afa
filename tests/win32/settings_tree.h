#pragma once
// The settings tree in the registry of the Wine run: tests put it into a known state, read it
// back and leave behind the tree a first run creates, so that every other test program finds
// it and its Lumora_Initialize reports nothing.
#include <windows.h>

#include <string>

namespace settings_tree {

constexpr char kRoot[] = "Software\\Vornex\\LumoraK37VQ3Sdk";

inline std::string Path(const std::string& sub) {
    return sub.empty() ? std::string(kRoot) : std::string(kRoot) + "\\" + sub;
}

inline void Delete() { RegDeleteTreeA(HKEY_CURRENT_USER, kRoot); }

// Writes a value of any type into sub (created where missing).
inline bool SetRaw(const std::string& sub, const char* name, DWORD type, const void* data, DWORD size) {
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, Path(sub).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                        nullptr, &key, nullptr) != ERROR_SUCCESS) {
        return false;
    }
    const bool ok = RegSetValueExA(key, name, 0, type, static_cast<const BYTE*>(data), size) == ERROR_SUCCESS;
    RegCloseKey(key);
    return ok;
}

inline bool Set(const std::string& sub, const char* name, DWORD value) {
    return SetRaw(sub, name, REG_DWORD, &value, sizeof value);
}

// The REG_DWORD value, -1 when it is missing or of another type.
inline long long Get(const std::string& sub, const char* name) {
    DWORD type = 0, value = 0, size = sizeof value;
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, Path(sub).c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return -1;
    const LONG status = RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size);
    RegCloseKey(key);
    return status == ERROR_SUCCESS && type == REG_DWORD && size == 4 ? static_cast<long long>(static_cast<int>(value)) : -1;
}

inline bool Exists(const std::string& sub) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, Path(sub).c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
}

inline void SetPreset(int n, int th, int tv, int eh, int ev, int ehs, int evs) {
    char sub[16];
    wsprintfA(sub, "Size_%02d", n);
    const char* names[] = {"TH", "TV", "EH", "EV", "EHS", "EVS", "Buf"};
    const int values[] = {th, tv, eh, ev, ehs, evs, 10};
    for (int i = 0; i < 7; ++i) Set(sub, names[i], static_cast<DWORD>(values[i]));
}

inline void SetRoot(int size) {
    const char* names[] = {"Size", "Color", "SubSample", "WaitTime", "Clock"};
    const int values[] = {size, 2, 0, 10, 0};
    for (int i = 0; i < 5; ++i) Set("", names[i], static_cast<DWORD>(values[i]));
}

// Only the root and the full-sensor "Size_00", as a first run leaves them.
inline void WriteFirstRun() {
    Delete();
    SetRoot(0);
    SetPreset(0, 3488, 2616, 3488, 2616, 0, 0);
}

}  // namespace settings_tree
