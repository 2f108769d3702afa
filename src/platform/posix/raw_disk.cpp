#include "platform/raw_disk.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

namespace lumora::platform {

namespace {

// A raw disk bypasses the page cache (O_DIRECT), as a Windows physical-drive handle does: every
// status read must reach the camera, and every command block must leave at once. Such transfers
// need sector-aligned memory, offsets and lengths. Reads from other buffers or positions go
// through an aligned bounce buffer that holds the whole sectors around them; writes must be
// whole sectors at a sector boundary (from any buffer), as on a Windows disk handle.
class PosixDisk : public RawDisk {
public:
    PosixDisk(int fd, bool direct) : fd_(fd), direct_(direct) {}
    ~PosixDisk() override {
        close(fd_);
        std::free(bounce_);
    }

    bool Seek(uint32_t offset) override {
        if (lseek(fd_, static_cast<off_t>(offset), SEEK_SET) < 0) return false;
        position_ = offset;
        return true;
    }
    bool Read(void* buffer, uint32_t length, uint32_t* moved) override {
        return Transfer(buffer, length, moved, false);
    }
    bool Write(const void* buffer, uint32_t length, uint32_t* moved) override {
        return Transfer(const_cast<void*>(buffer), length, moved, true);
    }

private:
    static constexpr size_t kSector = 512;
    static constexpr size_t kAlignment = 4096;
    static constexpr size_t kBounceSize = 1 << 20;

    // One call moves everything it can: it repeats until the length has moved, the end is
    // reached or an error occurs, as one call on a Windows disk handle does.
    bool Transfer(void* buffer, uint32_t length, uint32_t* moved, bool write) {
        if (moved) *moved = 0;
        auto* bytes = static_cast<char*>(buffer);
        size_t done = 0;
        bool ok = true;
        bool sectors = position_ % kSector == 0 && length % kSector == 0;
        if (!direct_ || (sectors && reinterpret_cast<uintptr_t>(buffer) % kAlignment == 0)) {
            ok = Loop(bytes, length, position_, &done, write);
        } else if (write && !sectors) {
            ok = false;
        } else if (bounce_ == nullptr && posix_memalign(&bounce_, kAlignment, kBounceSize) != 0) {
            bounce_ = nullptr;
            ok = false;
        } else {
            auto* staging = static_cast<char*>(bounce_);
            while (ok && done < length) {
                uint64_t at = position_ + done;
                size_t lead = static_cast<size_t>(at % kSector);
                size_t part = std::min<size_t>(length - done, kBounceSize - lead);
                size_t whole = (lead + part + kSector - 1) / kSector * kSector;
                size_t got = 0;
                if (write) std::memcpy(staging, bytes + done, part);
                ok = Loop(staging, whole, at - lead, &got, write);
                size_t useful = got > lead ? std::min(got - lead, part) : 0;
                if (!write) std::memcpy(bytes + done, staging + lead, useful);
                done += useful;
                if (got < whole) break;
            }
        }
        position_ += done;
        if (moved) *moved = static_cast<uint32_t>(done);
        return ok;
    }

    // Positioned transfer of length bytes at offset; *done counts what moved.
    bool Loop(char* bytes, size_t length, uint64_t offset, size_t* done, bool write) {
        while (*done < length) {
            off_t at = static_cast<off_t>(offset + *done);
            ssize_t n = write ? pwrite(fd_, bytes + *done, length - *done, at)
                              : pread(fd_, bytes + *done, length - *done, at);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) return false;
            if (n == 0) break;
            *done += static_cast<size_t>(n);
        }
        return true;
    }

    int fd_;
    bool direct_;
    uint64_t position_ = 0;
    void* bounce_ = nullptr;
};

// Where the system's folders are: "/sys" and "/dev", unless a test points them elsewhere.
std::mutex rootMutex;
std::string sysfsRoot = "/sys";
std::string devRoot = "/dev";

void Roots(std::string* sysfs, std::string* dev) {
    std::lock_guard<std::mutex> lock(rootMutex);
    *sysfs = sysfsRoot;
    *dev = devRoot;
}

// True when the disk sits on a USB bus: its sysfs device path runs through a "usbN" host.
bool IsUsbDisk(const std::string& sysfs, const std::string& disk) {
    char target[PATH_MAX];
    ssize_t n = readlink((sysfs + "/block/" + disk).c_str(), target, sizeof target - 1);
    if (n <= 0) return false;
    std::string path(target, static_cast<size_t>(n));
    for (size_t at = path.find("/usb"); at != std::string::npos; at = path.find("/usb", at + 1)) {
        const size_t digit = at + 4;
        if (digit < path.size() && path[digit] >= '0' && path[digit] <= '9') return true;
    }
    return false;
}

// The whole disks on USB buses, from sysfs's block folder in name order: what a camera can be.
// Loop, NVMe, RAM and other disks take no drive number.
bool WholeDisks(const std::string& sysfs, std::vector<std::string>* names) {
    DIR* dir = opendir((sysfs + "/block").c_str());
    if (dir == nullptr) return false;
    while (dirent* entry = readdir(dir)) {
        if (entry->d_name[0] == '.') continue;
        if (IsUsbDisk(sysfs, entry->d_name)) names->emplace_back(entry->d_name);
    }
    closedir(dir);
    std::sort(names->begin(), names->end());
    return true;
}

// One sysfs attribute, at most kDiskListEntryMax bytes, without surrounding white space and
// with inner spaces written as '_' (the form of the Windows instance id).
std::string Attribute(const std::string& sysfs, const std::string& disk, const char* name) {
    std::string path = sysfs + "/block/" + disk + "/device/" + name;
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

void SetSystemFolders(const std::string& sysfs, const std::string& dev) {
    std::lock_guard<std::mutex> lock(rootMutex);
    sysfsRoot = sysfs.empty() ? "/sys" : sysfs;
    devRoot = dev.empty() ? "/dev" : dev;
}

std::unique_ptr<RawDisk> OpenPhysicalDrive(int n) {
    std::string sysfs, dev;
    Roots(&sysfs, &dev);
    std::vector<std::string> disks;
    if (n < 0 || !WholeDisks(sysfs, &disks) || static_cast<size_t>(n) >= disks.size()) return nullptr;
    std::string name = disks[static_cast<size_t>(n)];
    std::replace(name.begin(), name.end(), '!', '/');  // sysfs writes '/' of device names as '!'
    return OpenRawFile(dev + "/" + name);
}

std::unique_ptr<RawDisk> OpenRawFile(const std::string& path) {
    bool direct = true;
    int fd = open(path.c_str(), O_RDWR | O_CLOEXEC | O_DIRECT);
    if (fd < 0 && errno == EINVAL) {  // a file system without direct transfers
        direct = false;
        fd = open(path.c_str(), O_RDWR | O_CLOEXEC);
    }
    if (fd < 0) return nullptr;
    return std::make_unique<PosixDisk>(fd, direct);
}

long ReadDiskList(std::vector<std::string>* entries) {
    std::string sysfs, dev;
    Roots(&sysfs, &dev);
    std::vector<std::string> disks;
    if (!WholeDisks(sysfs, &disks)) return 2;  // as the registry reports a missing key
    for (const std::string& disk : disks) {
        std::string text = "USBSTOR\\Disk&Ven_" + Attribute(sysfs, disk, "vendor") + "&Prod_" +
                           Attribute(sysfs, disk, "model") + "&Rev_" + Attribute(sysfs, disk, "rev");
        if (text.size() > kDiskListEntryMax) text.resize(kDiskListEntryMax);
        if (entries) entries->push_back(text);
    }
    return 0;
}

}  // namespace lumora::platform
