#include "platform/raw_disk.h"

#include <windows.h>

#include <cstdio>

namespace lumora::platform {

namespace {

class Win32Disk : public RawDisk {
public:
    explicit Win32Disk(HANDLE handle) : handle_(handle) {}
    ~Win32Disk() override { CloseHandle(handle_); }

    bool Seek(uint32_t offset) override {
        LONG high = 0;
        DWORD low = SetFilePointer(handle_, static_cast<LONG>(offset), &high, FILE_BEGIN);
        return !(low == INVALID_SET_FILE_POINTER && GetLastError() != NO_ERROR);
    }
    bool Read(void* buffer, uint32_t length, uint32_t* moved) override {
        DWORD done = 0;
        BOOL ok = ReadFile(handle_, buffer, length, &done, nullptr);
        if (moved) *moved = done;
        return ok != FALSE;
    }
    bool Write(const void* buffer, uint32_t length, uint32_t* moved) override {
        DWORD done = 0;
        BOOL ok = WriteFile(handle_, buffer, length, &done, nullptr);
        if (moved) *moved = done;
        return ok != FALSE;
    }

private:
    HANDLE handle_;
};

}  // namespace

std::unique_ptr<RawDisk> OpenPhysicalDrive(int n) {
    if (n < 0) return nullptr;
    char path[64];
    std::snprintf(path, sizeof path, "\\\\.\\PhysicalDrive%d", n);
    return OpenRawFile(path);
}

std::unique_ptr<RawDisk> OpenRawFile(const std::string& path) {
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                           nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return nullptr;
    return std::make_unique<Win32Disk>(h);
}

long ReadDiskList(std::vector<std::string>* entries) {
    HKEY key = nullptr;
    LONG status = RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Services\\Disk\\Enum",
                                0, KEY_READ, &key);
    if (status != ERROR_SUCCESS) return status;
    DWORD count = 0;
    DWORD size = sizeof count;
    status = RegQueryValueExA(key, "Count", nullptr, nullptr, reinterpret_cast<BYTE*>(&count), &size);
    if (status == ERROR_SUCCESS && size == sizeof count) {
        for (DWORD i = 0; i < count; ++i) {
            char name[16];
            std::snprintf(name, sizeof name, "%lu", static_cast<unsigned long>(i));
            // The value may be of any type and need not be terminated: read at most 256 bytes
            // and terminate them here, keeping at most the entry limit.
            char text[kDiskListEntryMax + 2] = {};
            DWORD length = kDiskListEntryMax + 1;
            status = RegQueryValueExA(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(text), &length);
            if (status != ERROR_SUCCESS) continue;
            if (length > kDiskListEntryMax) length = kDiskListEntryMax;
            text[length] = '\0';
            if (entries) entries->emplace_back(text);
        }
    }
    RegCloseKey(key);
    return status;
}

}  // namespace lumora::platform
