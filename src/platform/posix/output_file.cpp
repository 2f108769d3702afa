#include "platform/output_file.h"

#include <errno.h>
#include <stdio.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace lumora::platform {

OutputFile::~OutputFile() { Close(); }

bool OutputFile::Open(const char* path) {
    Close();
    if (path == nullptr || *path == '\0') return false;
    int fd = ::open(path, O_WRONLY | O_TRUNC | O_CLOEXEC);
    if (fd < 0) fd = ::open(path, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) return false;
    handle_ = fd;
    return true;
}

bool OutputFile::OpenExisting(const char* path) {
    Close();
    if (path == nullptr || *path == '\0') return false;
    const int fd = ::open(path, O_RDWR | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return false;
    }
    handle_ = fd;
    return true;
}

bool OutputFile::Read(void* data, size_t size) {
    if (!IsOpen()) return false;
    char* p = static_cast<char*>(data);
    while (size > 0) {
        const ssize_t n = ::read(static_cast<int>(handle_), p, size < (size_t{1} << 30) ? size : (size_t{1} << 30));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        p += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

bool OutputFile::Length(uint64_t* size) {
    struct stat st;
    if (!IsOpen() || ::fstat(static_cast<int>(handle_), &st) != 0) return false;
    *size = static_cast<uint64_t>(st.st_size);
    return true;
}

bool OutputFile::Write(const void* data, size_t size) {
    if (!IsOpen()) return false;
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        // Writes of more than 1 GiB are split; Linux caps a single write a little below 2 GiB.
        const size_t chunk = size < (size_t{1} << 30) ? size : (size_t{1} << 30);
        const ssize_t n = ::write(static_cast<int>(handle_), p, chunk);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (n == 0) return false;
        p += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

bool OutputFile::Seek(uint64_t offset) {
    if (!IsOpen()) return false;
    return ::lseek(static_cast<int>(handle_), static_cast<off_t>(offset), SEEK_SET) ==
           static_cast<off_t>(offset);
}

bool OutputFile::Truncate(uint64_t size) {
    if (!IsOpen()) return false;
    if (::ftruncate(static_cast<int>(handle_), static_cast<off_t>(size)) != 0) return false;
    return Seek(size);
}

bool OutputFile::Close() {
    if (!IsOpen()) return true;
    const int fd = static_cast<int>(handle_);
    handle_ = kClosed;
    return ::close(fd) == 0;
}

bool OutputFile::Remove(const char* path) { return path != nullptr && ::unlink(path) == 0; }

bool OutputFile::RenameNew(const char* from, const char* to) {
    if (from == nullptr || to == nullptr) return false;
    if (::renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE) == 0) return true;
    if (errno != EINVAL && errno != ENOSYS) return false;
    // File systems without the no-replace rename: a second name first (refused when taken), then
    // the first one goes.
    if (::link(from, to) != 0) return false;
    if (::unlink(from) == 0) return true;
    ::unlink(to);
    return false;
}

}  // namespace lumora::platform
