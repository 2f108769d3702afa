#pragma once
// Raw access to the machine's physical drives and the list of attached disks.
//
// A drive is read and written at byte offsets through a file position, like a raw disk handle:
// Seek, then Read or Write. Transfers reach the drive itself, never a cache, so that a camera's
// changing blocks are seen as they are; writes are whole 512-byte sectors at sector offsets.
// One handle is used by one thread at a time.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace lumora::platform {

class RawDisk {
public:
    virtual ~RawDisk() = default;
    // Moves the position to offset bytes from the start of the drive.
    virtual bool Seek(uint32_t offset) = 0;
    // One read or write of length bytes at the position, which then advances by what was moved.
    // False when the call fails; *moved tells how many bytes were moved (it may be less than
    // length even when the call succeeds).
    virtual bool Read(void* buffer, uint32_t length, uint32_t* moved) = 0;
    virtual bool Write(const void* buffer, uint32_t length, uint32_t* moved) = 0;
};

// Longest entry of the disk list, in characters; longer ones are not read.
constexpr size_t kDiskListEntryMax = 255;

// Opens physical drive n of the operating system for reading and writing, shared with other
// openers. Windows: "\\.\PhysicalDrive<n>". Linux: the n-th whole disk on a USB bus of
// /sys/block in name order (0-based), opened as /dev/<name>; other disks (loop, NVMe, RAM
// disks) take no number. Null when the drive does not exist or cannot be opened. Any thread.
std::unique_ptr<RawDisk> OpenPhysicalDrive(int n);

// Opens a drive, or a file standing in for one, by its path, in the same way. Any thread.
std::unique_ptr<RawDisk> OpenRawFile(const std::string& path);

// Appends the identity text of each attached disk to *entries, in the system's order.
// Windows: the values "0", "1", ... of HKLM\SYSTEM\CurrentControlSet\Services\Disk\Enum.
// Linux: "USBSTOR\Disk&Ven_<vendor>&Prod_<model>&Rev_<rev>" of each whole USB disk of
// /sys/block, in the order of the drive numbers.
// Every entry is at most kDiskListEntryMax characters; entries that cannot be read are skipped.
// Returns the status of the last system call: 0 when the list was read. Any thread.
long ReadDiskList(std::vector<std::string>* entries);

#ifndef _WIN32
// Linux: reads sysfs from sysfs instead of "/sys" and opens devices in dev instead of "/dev"
// (tests point them at a tree of their own; empty restores the system's). Any thread.
void SetSystemFolders(const std::string& sysfs, const std::string& dev);
#endif

}  // namespace lumora::platform
