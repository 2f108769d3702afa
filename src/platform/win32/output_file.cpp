#include "platform/output_file.h"

#include <windows.h>

namespace lumora::platform {

namespace {
HANDLE AsHandle(intptr_t h) { return reinterpret_cast<HANDLE>(h); }
}  // namespace

OutputFile::~OutputFile() { Close(); }

bool OutputFile::Open(const char* path) {
    Close();
    if (path == nullptr || *path == '\0') return false;
    HANDLE h = CreateFileA(path, GENERIC_WRITE, 0, nullptr, TRUNCATE_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        h = CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                        nullptr);
    }
    if (h == INVALID_HANDLE_VALUE) return false;
    handle_ = reinterpret_cast<intptr_t>(h);
    return true;
}

bool OutputFile::OpenExisting(const char* path) {
    Close();
    if (path == nullptr || *path == '\0') return false;
    HANDLE h = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    handle_ = reinterpret_cast<intptr_t>(h);
    return true;
}

bool OutputFile::Read(void* data, size_t size) {
    if (!IsOpen()) return false;
    char* p = static_cast<char*>(data);
    while (size > 0) {
        const DWORD chunk = size < (size_t{1} << 30) ? static_cast<DWORD>(size) : (DWORD{1} << 30);
        DWORD got = 0;
        if (!ReadFile(AsHandle(handle_), p, chunk, &got, nullptr) || got == 0) return false;
        p += got;
        size -= got;
    }
    return true;
}

bool OutputFile::Length(uint64_t* size) {
    LARGE_INTEGER length;
    if (!IsOpen() || !GetFileSizeEx(AsHandle(handle_), &length)) return false;
    *size = static_cast<uint64_t>(length.QuadPart);
    return true;
}

bool OutputFile::Write(const void* data, size_t size) {
    if (!IsOpen()) return false;
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        const DWORD chunk = size < (size_t{1} << 30) ? static_cast<DWORD>(size) : (DWORD{1} << 30);
        DWORD written = 0;
        if (!WriteFile(AsHandle(handle_), p, chunk, &written, nullptr) || written == 0) {
            return false;
        }
        p += written;
        size -= written;
    }
    return true;
}

bool OutputFile::Seek(uint64_t offset) {
    if (!IsOpen()) return false;
    LARGE_INTEGER to;
    to.QuadPart = static_cast<LONGLONG>(offset);
    return SetFilePointerEx(AsHandle(handle_), to, nullptr, FILE_BEGIN) != 0;
}

bool OutputFile::Truncate(uint64_t size) {
    return Seek(size) && SetEndOfFile(AsHandle(handle_)) != 0;
}

bool OutputFile::Close() {
    if (!IsOpen()) return true;
    HANDLE h = AsHandle(handle_);
    handle_ = kClosed;
    return CloseHandle(h) != 0;
}

bool OutputFile::Remove(const char* path) { return path != nullptr && DeleteFileA(path) != 0; }

bool OutputFile::RenameNew(const char* from, const char* to) {
    return from != nullptr && to != nullptr && MoveFileA(from, to) != 0;  // never replaces
}

}  // namespace lumora::platform
