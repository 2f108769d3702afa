#include "platform/runtime_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/environment.h"

namespace lumora::platform {

std::string RuntimeFolder() {
    std::string folder;
    if (GetEnvironmentText("XDG_RUNTIME_DIR", &folder) && !folder.empty()) return folder;
    folder = "/tmp/lumora-" + std::to_string(::getuid());
    struct stat st;
    if (::mkdir(folder.c_str(), 0700) != 0 && (::lstat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) ||
                                                st.st_uid != ::getuid())) {
        return std::string();  // someone else's, or not a folder: not ours to use
    }
    return folder;
}

bool AppendToFile(const std::string& path, const std::string& text) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) return false;
    const ssize_t n = ::write(fd, text.data(), text.size());
    ::close(fd);
    return n == static_cast<ssize_t>(text.size());
}

uint64_t FileSize(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 ? static_cast<uint64_t>(st.st_size) : 0;
}

bool ReadFileFrom(const std::string& path, uint64_t offset, std::string* text) {
    text->clear();
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    char buffer[65536];
    const ssize_t n = ::pread(fd, buffer, sizeof buffer, static_cast<off_t>(offset));
    ::close(fd);
    if (n < 0) return false;
    text->assign(buffer, static_cast<size_t>(n));
    return true;
}

}  // namespace lumora::platform
