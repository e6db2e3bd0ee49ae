#include "tests/support/TempDir.h"

#include "transfer/core/MVRemovableVolumes.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

namespace {

using namespace MVRemovableVolumes;
using testing_support::TempDir;

// Captured from a machine with an internal disk, a bind mount, a USB stick whose label holds a
// blank and an SD card in the built-in slot.
const char* kMountInfo =
    "22 28 0:21 / /proc rw,nosuid,nodev,noexec,relatime shared:12 - proc proc rw\n"
    "28 1 8:2 / / rw,relatime shared:1 - ext4 /dev/sda2 rw,errors=remount-ro\n"
    "30 28 8:1 / /boot/efi rw,relatime shared:2 - vfat /dev/sda1 rw\n"
    "41 28 8:2 /home/me/shared /srv/shared rw,relatime shared:1 - ext4 /dev/sda2 rw\n"
    "45 28 0:45 / /run/user/1000 rw,nosuid - tmpfs tmpfs rw,size=1600k\n"
    "51 28 8:17 / /media/me/MY\\040CARD rw,nosuid,nodev shared:300 - vfat /dev/sdb1 rw\n"
    "52 28 179:1 / /media/me/SD rw,nosuid,nodev shared:301 master:2 - exfat /dev/mmcblk0p1 rw\n"
    "garbage line\n"
    "53 28 7:0 / /snap/core/1 ro - squashfs /dev/loop0 ro\n";

TEST(RemovableVolumes, ParsesMountInfoAndDecodesEscapes) {
    auto entries = parseMountInfo(kMountInfo);
    ASSERT_EQ(entries.size(), 8u);
    EXPECT_EQ(entries[5].mountPoint, "/media/me/MY CARD");
    EXPECT_EQ(entries[5].source, "/dev/sdb1");
    EXPECT_EQ(entries[5].fsType, "vfat");
    EXPECT_EQ(entries[6].source, "/dev/mmcblk0p1");  // after an optional field
    EXPECT_EQ(entries[3].root, "/home/me/shared");
    EXPECT_EQ(decodeOctalEscapes("a\\011b\\134c\\04"), "a\tb\\c\\04");
}

TEST(RemovableVolumes, MapsPartitionsToDisks) {
    const std::pair<const char*, const char*> cases[] = {
        {"/dev/sdb1", "sdb"},          {"/dev/sdc", "sdc"},
        {"/dev/mmcblk0p1", "mmcblk0"}, {"/dev/mmcblk1", "mmcblk1"},
        {"/dev/nvme0n1p2", "nvme0n1"}, {"tmpfs", ""},
        {"/dev/mapper/root", ""},      {"/dev/", ""}};
    for (auto [device, disk] : cases) EXPECT_EQ(diskOfDevice(device), disk) << device;
}

// A /sys of our own: each disk is a folder deep in devices/, linked from block/<disk>, with a
// "subsystem" link on every device on the way, as the kernel lays them out.
struct FakeSys {
    TempDir root;
    // `chain`: the device folders from devices/ down to the disk's parent, each with the bus or
    // class its "subsystem" link names ("" for none).
    void disk(const std::string& name,
              const std::vector<std::pair<std::string, std::string>>& chain,
              const char* removable) {
        std::filesystem::path device = root / "devices";
        for (const auto& [folder, subsystem] : chain) {
            device /= folder;
            std::filesystem::create_directories(device);
            if (!subsystem.empty() && !std::filesystem::is_symlink(device / "subsystem")) {
                std::filesystem::create_directory_symlink(root / subsystem, device / "subsystem");
            }
        }
        device /= "block/" + name;
        std::filesystem::create_directories(device);
        std::filesystem::create_directory_symlink(root / "class/block", device / "subsystem");
        root.write((device / "removable").lexically_relative(root.path()).string(), removable);
        std::filesystem::create_directories(root / "block");
        std::filesystem::create_directory_symlink(
            std::filesystem::path("..") / device.lexically_relative(root.path()),
            root / "block" / name);
    }
};

TEST(RemovableVolumes, KeepsDisksAttachedByUsbOrSdInMountOrder) {
    FakeSys sys;
    const std::pair<std::string, std::string> pci{"pci0000:00", ""};
    // The internal disk, and a hot-swap bay whose disk calls itself removable: both on SATA.
    sys.disk("sda",
             {pci,
              {"0000:00:17.0", "bus/pci"},
              {"ata1", ""},
              {"host0", "bus/scsi"},
              {"target0:0:0", "bus/scsi"},
              {"0:0:0:0", "bus/scsi"}},
             "0\n");
    sys.disk("sdc",
             {pci,
              {"0000:00:17.0", "bus/pci"},
              {"ata2", ""},
              {"host1", "bus/scsi"},
              {"target1:0:0", "bus/scsi"},
              {"1:0:0:0", "bus/scsi"}},
             "1\n");
    // A USB card reader that reports removable 0.
    sys.disk("sdb",
             {pci,
              {"0000:00:14.0", "bus/pci"},
              {"usb2", "bus/usb"},
              {"2-1", "bus/usb"},
              {"2-1:1.0", "bus/usb"},
              {"host6", "bus/scsi"},
              {"target6:0:0", "bus/scsi"},
              {"6:0:0:0", "bus/scsi"}},
             "0\n");
    // The SD slot behind a PCI card-reader chip.
    sys.disk("mmcblk0",
             {pci,
              {"0000:00:1c.0", "bus/pci"},
              {"0000:02:00.0", "bus/pci"},
              {"rtsx_pci_sdmmc.0", "bus/platform"},
              {"mmc_host", ""},
              {"mmc0", "class/mmc_host"},
              {"mmc0:0001", "bus/mmc"}},
             "0\n");
    sys.disk("loop0", {{"virtual", ""}}, "0\n");
    TempDir proc;
    proc.write("self/mountinfo",
               std::string(kMountInfo) + "54 28 8:33 / /media/me/BAY rw - ext4 /dev/sdc1 rw\n");
    MountInfoLister lister(proc.path(), sys.root.path());
    auto volumes = lister.removableVolumes();
    ASSERT_EQ(volumes.size(), 2u);
    EXPECT_EQ(volumes[0], "/media/me/MY CARD");
    EXPECT_EQ(volumes[1], "/media/me/SD");
    EXPECT_EQ(lister.mountChangeFile(), proc.path() / "self" / "mountinfo");

    // Without a device tree to follow, neither a flag nor a name makes a card.
    TempDir bare;
    bare.write("block/sdb/removable", "1\n");
    bare.write("block/mmcblk0/removable", "0\n");
    EXPECT_TRUE(MountInfoLister(proc.path(), bare.path()).removableVolumes().empty());
}

TEST(RemovableVolumes, SkipsBindMountsOfRemovableDisks) {
    FakeSys sys;
    sys.disk("sdb", {{"pci0000:00", ""}, {"usb1", "bus/usb"}, {"1-1", "bus/usb"}}, "1\n");
    MountInfoLister lister("/nonexistent", sys.root.path());
    auto volumes = lister.removableVolumes(
        parseMountInfo("60 28 8:17 /DCIM /mnt/bound rw - vfat /dev/sdb1 rw\n"
                       "61 28 8:17 / /mnt/card rw - vfat /dev/sdb1 rw\n"));
    ASSERT_EQ(volumes.size(), 1u);
    EXPECT_EQ(volumes[0], "/mnt/card");
    EXPECT_TRUE(lister.removableVolumes().empty());  // no mount table at all
}

}  // namespace
