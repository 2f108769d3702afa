#pragma once
// The settings tree in the registry of the Wine run: tests put it into a known state and read it
// back. A program that initialises a camera and expects no error first writes the tree that a
// first run leaves.
#include <windows.h>

#include <string>

namespace settings_tree {

inline std::string Path(const std::string& sub) {
    return "Software\\Vornex\\LumoraK37VQ3Sdk" + (sub.empty() ? "" : "\\" + sub);
}

// Writes a value of any type into sub (created where missing).
inline void SetRaw(const std::string& sub, const char* name, DWORD type, const void* data, DWORD size) {
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, Path(sub).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                        nullptr) == ERROR_SUCCESS) {
        RegSetValueExA(key, name, 0, type, static_cast<const BYTE*>(data), size);
        RegCloseKey(key);
    }
}

// The REG_DWORD value, -1 when it is missing or of another type.
inline long long Get(const std::string& sub, const char* name) {
    DWORD type = 0, size = 4;
    int value = 0;
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, Path(sub).c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return -1;
    const LONG status = RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size);
    RegCloseKey(key);
    return status == ERROR_SUCCESS && type == REG_DWORD && size == 4 ? value : -1;
}

// Only the root and the full-sensor "Size_00", as a first run leaves them.
inline void WriteFirstRun() {
    RegDeleteTreeA(HKEY_CURRENT_USER, Path("").c_str());
    const char* names[] = {"Size", "Color", "SubSample", "WaitTime", "Clock", "TH", "TV", "EH", "EV", "EHS", "EVS", "Buf"};
    const DWORD values[] = {0, 2, 0, 10, 0, 3488, 2616, 3488, 2616, 0, 0, 10};
    for (int i = 0; i < 12; ++i) SetRaw(i < 5 ? "" : "Size_00", names[i], REG_DWORD, &values[i], 4);
}

}  // namespace settings_tree
