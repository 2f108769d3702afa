// Positioned transfers on a raw disk handle, here on a file standing in for a drive: the
// transfers bypass the page cache and so need aligned memory and whole sectors, which the
// handle provides itself for any buffer the library hands it.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <limits.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/raw_disk.h"

namespace lumora::platform {
namespace {

class RawDiskFile : public ::testing::Test {
protected:
    void SetUp() override {
        char name[] = "raw_disk_XXXXXX";
        int fd = mkstemp(name);
        ASSERT_GE(fd, 0);
        path_ = name;
        // 64 sectors of known content: byte i holds i * 7 mod 251.
        image_.resize(64 * 512);
        for (size_t i = 0; i < image_.size(); ++i) image_[i] = static_cast<uint8_t>(i * 7 % 251);
        ASSERT_EQ(write(fd, image_.data(), image_.size()), static_cast<ssize_t>(image_.size()));
        close(fd);
        disk_ = OpenRawFile(path_);
        ASSERT_NE(disk_, nullptr);
    }
    void TearDown() override {
        disk_.reset();
        unlink(path_.c_str());
    }
    std::string path_;
    std::vector<uint8_t> image_;
    std::unique_ptr<RawDisk> disk_;
};

TEST_F(RawDiskFile, UnalignedBuffersAndOddLengthsMoveExactlyWhatWasAsked) {
    // A buffer one byte off any alignment.
    std::vector<uint8_t> storage(3 * 512 + 64, 0xEE);
    uint8_t* buffer = storage.data() + 1;
    uint32_t moved = 0;
    ASSERT_TRUE(disk_->Seek(1024));
    ASSERT_TRUE(disk_->Read(buffer, 3 * 512, &moved));
    EXPECT_EQ(moved, 3u * 512);
    EXPECT_TRUE(std::equal(buffer, buffer + 3 * 512, image_.begin() + 1024));
    // The position follows: the next read continues where this one ended, also in the middle
    // of a sector.
    std::fill(storage.begin(), storage.end(), 0xEE);
    ASSERT_TRUE(disk_->Read(buffer, 100, &moved));
    EXPECT_EQ(moved, 100u);
    EXPECT_TRUE(std::equal(buffer, buffer + 100, image_.begin() + 1024 + 3 * 512));
    EXPECT_EQ(buffer[100], 0xEE);  // nothing past the length asked for
    ASSERT_TRUE(disk_->Read(buffer, 1000, &moved));
    EXPECT_EQ(moved, 1000u);
    EXPECT_TRUE(std::equal(buffer, buffer + 1000, image_.begin() + 1024 + 3 * 512 + 100));

    // A sector written from an unaligned buffer lands there and nowhere else.
    std::vector<uint8_t> block(512);
    for (size_t i = 0; i < block.size(); ++i) block[i] = static_cast<uint8_t>(255 - i % 256);
    std::copy(block.begin(), block.end(), buffer);
    ASSERT_TRUE(disk_->Seek(0x2000));
    ASSERT_TRUE(disk_->Write(buffer, 512, &moved));
    EXPECT_EQ(moved, 512u);
    std::copy(block.begin(), block.end(), image_.begin() + 0x2000);
    std::vector<uint8_t> all(image_.size());
    ASSERT_TRUE(disk_->Seek(0));
    ASSERT_TRUE(disk_->Read(all.data(), static_cast<uint32_t>(all.size()), &moved));
    EXPECT_EQ(moved, all.size());
    EXPECT_EQ(all, image_);
}

// The open flags of the descriptor this process holds on path; -1 when there is none.
long OpenFlags(const std::string& path) {
    char real[PATH_MAX];
    if (realpath(path.c_str(), real) == nullptr) return -1;
    for (int fd = 0; fd < 1024; ++fd) {
        char link[64], target[PATH_MAX];
        std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
        ssize_t n = readlink(link, target, sizeof target - 1);
        if (n <= 0) continue;
        target[n] = '\0';
        if (std::strcmp(target, real) != 0) continue;
        std::snprintf(link, sizeof link, "/proc/self/fdinfo/%d", fd);
        FILE* info = std::fopen(link, "r");
        if (info == nullptr) return -1;
        long flags = -1;
        char line[128];
        while (std::fgets(line, sizeof line, info)) {
            if (std::sscanf(line, "flags: %lo", &flags) == 1) break;
        }
        std::fclose(info);
        return flags;
    }
    return -1;
}

TEST_F(RawDiskFile, TransfersBypassThePageCache) {
    long flags = OpenFlags(path_);
    ASSERT_NE(flags, -1);
    EXPECT_NE(flags & O_DIRECT, 0) << std::oct << flags;
    EXPECT_EQ(flags & O_ACCMODE, O_RDWR);
}

TEST_F(RawDiskFile, ReadsStopAtTheEnd) {
    std::vector<uint8_t> buffer(4 * 512);
    uint32_t moved = 0;
    ASSERT_TRUE(disk_->Seek(62 * 512));
    EXPECT_TRUE(disk_->Read(buffer.data() + 3, 3 * 512, &moved));
    EXPECT_EQ(moved, 2u * 512);
    EXPECT_TRUE(std::equal(buffer.begin() + 3, buffer.begin() + 3 + 1024, image_.begin() + 62 * 512));
}

}  // namespace
}  // namespace lumora::platform

namespace lumora::platform {
namespace {

// Drive numbers on Linux go to the whole disks on USB buses only, in name order, both in the
// disk list and when a drive is opened; a fake system tree stands in for sysfs and /dev.
TEST(PhysicalDrives, OnlyUsbDisksAreNumbered) {
    char base[] = "/tmp/lumora_sysfs_XXXXXX";
    ASSERT_NE(mkdtemp(base), nullptr);
    const std::string root = base;
    auto run = [](const std::string& command) { ASSERT_EQ(std::system(command.c_str()), 0) << command; };
    struct Disk {
        const char* name;
        const char* device;  // the sysfs device folder the block entry links to
    };
    const Disk disks[] = {
        {"loop0", "devices/virtual/block/loop0"},
        {"nvme0n1", "devices/pci0000:00/0000:00:04.0/nvme/nvme0/nvme0n1"},
        {"sdb", "devices/pci0000:00/0000:00:14.0/usb2/2-1/2-1:1.0/host6/target6:0:0/6:0:0:0/block/sdb"},
        {"sda", "devices/pci0000:00/0000:00:1f.2/ata1/host0/target0:0:0/0:0:0:0/block/sda"},
        {"sdc", "devices/pci0000:00/0000:00:14.0/usb3/3-2/3-2:1.0/host7/target7:0:0/7:0:0:0/block/sdc"},
        {"zram0", "devices/virtual/block/zram0"},
    };
    run("mkdir -p " + root + "/sys/block " + root + "/dev");
    for (const Disk& d : disks) {
        const std::string folder = root + "/sys/" + d.device;
        run("mkdir -p " + folder + "/device");
        run("printf 'VEN_" + std::string(d.name) + " ' > " + folder + "/device/vendor");
        run("printf 'Model " + std::string(d.name) + "\\n' > " + folder + "/device/model");
        run("printf '1.00' > " + folder + "/device/rev");
        run("ln -s ../" + std::string(d.device) + " " + root + "/sys/block/" + d.name);
        run("printf '" + std::string(d.name) + "' > " + root + "/dev/" + d.name);
    }
    SetSystemFolders(root + "/sys", root + "/dev");
    std::vector<std::string> list;
    EXPECT_EQ(ReadDiskList(&list), 0);
    EXPECT_EQ(list, (std::vector<std::string>{"USBSTOR\\Disk&Ven_VEN_sdb&Prod_Model_sdb&Rev_1.00",
                                              "USBSTOR\\Disk&Ven_VEN_sdc&Prod_Model_sdc&Rev_1.00"}));
    for (int n = 0; n < 3; ++n) {
        std::unique_ptr<RawDisk> drive = OpenPhysicalDrive(n);
        if (n == 2) {
            EXPECT_EQ(drive, nullptr);
            continue;
        }
        ASSERT_NE(drive, nullptr) << n;
        char text[4] = {};
        uint32_t moved = 0;
        ASSERT_TRUE(drive->Seek(0));
        EXPECT_TRUE(drive->Read(text, 3, &moved));
        EXPECT_STREQ(text, n == 0 ? "sdb" : "sdc");
    }
    SetSystemFolders("", "");
    run("rm -rf " + root);
}

}  // namespace
}  // namespace lumora::platform
