#include "platform/raw_disk.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>

namespace lumora::platform {

namespace {

class PosixDisk : public RawDisk {
public:
    explicit PosixDisk(int fd) : fd_(fd) {}
    ~PosixDisk() override { close(fd_); }

    bool Seek(uint32_t offset) override { return lseek(fd_, static_cast<off_t>(offset), SEEK_SET) >= 0; }
    bool Read(void* buffer, uint32_t length, uint32_t* moved) override {
        return Transfer(moved, length, [&](size_t done) {
            return read(fd_, static_cast<char*>(buffer) + done, length - done);
        });
    }
    bool Write(const void* buffer, uint32_t length, uint32_t* moved) override {
        return Transfer(moved, length, [&](size_t done) {
            return write(fd_, static_cast<const char*>(buffer) + done, length - done);
        });
    }

private:
    // Repeats the call until everything moved, the end is reached or an error occurs, so that
    // one call moves the whole length as a Windows disk handle does.
    template <typename Call>
    static bool Transfer(uint32_t* moved, uint32_t length, Call call) {
        size_t done = 0;
        bool ok = true;
        while (done < length) {
            ssize_t n = call(done);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) {
                ok = false;
                break;
            }
            if (n == 0) break;
            done += static_cast<size_t>(n);
        }
        if (moved) *moved = static_cast<uint32_t>(done);
        return ok;
    }

    int fd_;
};

// The whole disks of /sys/block in name order.
bool WholeDisks(std::vector<std::string>* names) {
    DIR* dir = opendir("/sys/block");
    if (dir == nullptr) return false;
    while (dirent* entry = readdir(dir)) {
        if (entry->d_name[0] == '.') continue;
        names->emplace_back(entry->d_name);
    }
    closedir(dir);
    std::sort(names->begin(), names->end());
    return true;
}

// One sysfs attribute, at most kDiskListEntryMax bytes, without surrounding white space and
// with inner spaces written as '_' (the form of the Windows instance id).
std::string Attribute(const std::string& disk, const char* name) {
    std::string path = "/sys/block/" + disk + "/device/" + name;
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return std::string();
    char text[kDiskListEntryMax + 1];
    ssize_t n = read(fd, text, kDiskListEntryMax);
    close(fd);
    if (n <= 0) return std::string();
    std::string value(text, static_cast<size_t>(n));
    value.resize(std::min(value.size(), value.find('\0')));
    size_t first = value.find_first_not_of(" \t\r\n");
    if (first == std::string::npos) return std::string();
    value = value.substr(first, value.find_last_not_of(" \t\r\n") - first + 1);
    std::replace(value.begin(), value.end(), ' ', '_');
    return value;
}

}  // namespace

std::unique_ptr<RawDisk> OpenPhysicalDrive(int n) {
    std::vector<std::string> disks;
    if (n < 0 || !WholeDisks(&disks) || static_cast<size_t>(n) >= disks.size()) return nullptr;
    std::string name = disks[static_cast<size_t>(n)];
    std::replace(name.begin(), name.end(), '!', '/');  // sysfs writes '/' of device names as '!'
    int fd = open(("/dev/" + name).c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0) return nullptr;
    return std::make_unique<PosixDisk>(fd);
}

long ReadDiskList(std::vector<std::string>* entries) {
    std::vector<std::string> disks;
    if (!WholeDisks(&disks)) return 2;  // as the registry reports a missing key
    for (const std::string& disk : disks) {
        std::string text = "USBSTOR\\Disk&Ven_" + Attribute(disk, "vendor") + "&Prod_" +
                           Attribute(disk, "model") + "&Rev_" + Attribute(disk, "rev");
        if (text.size() > kDiskListEntryMax) text.resize(kDiskListEntryMax);
        if (entries) entries->push_back(text);
    }
    return 0;
}

}  // namespace lumora::platform
