#include "transfer/core/MVRemovableVolumes.h"

#include "support/TempDir.h"

#include <gtest/gtest.h>

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
        {"/dev/sdb1", "sdb"},           {"/dev/sdc", "sdc"},         {"/dev/mmcblk0p1", "mmcblk0"},
        {"/dev/mmcblk1", "mmcblk1"},    {"/dev/nvme0n1p2", "nvme0n1"}, {"tmpfs", ""},
        {"/dev/mapper/root", ""},       {"/dev/", ""}};
    for (auto [device, disk] : cases) EXPECT_EQ(diskOfDevice(device), disk) << device;
}

TEST(RemovableVolumes, KeepsUsbAndSdCardsInMountOrder) {
    TempDir sys;
    sys.write("block/sda/removable", "0\n");
    sys.write("block/sdb/removable", "1\n");
    sys.write("block/mmcblk0/removable", "0\n");
    sys.write("block/loop0/removable", "0\n");
    TempDir proc;
    proc.write("self/mountinfo", kMountInfo);
    MountInfoLister lister(proc.path(), sys.path());
    auto volumes = lister.removableVolumes();
    ASSERT_EQ(volumes.size(), 2u);
    EXPECT_EQ(volumes[0], "/media/me/MY CARD");
    EXPECT_EQ(volumes[1], "/media/me/SD");
    EXPECT_EQ(lister.mountChangeFile(), proc.path() / "self" / "mountinfo");
}

TEST(RemovableVolumes, SkipsBindMountsOfRemovableDisks) {
    TempDir sys;
    sys.write("block/sdb/removable", "1\n");
    MountInfoLister lister("/nonexistent", sys.path());
    auto volumes = lister.removableVolumes(parseMountInfo(
        "60 28 8:17 /DCIM /mnt/bound rw - vfat /dev/sdb1 rw\n"
        "61 28 8:17 / /mnt/card rw - vfat /dev/sdb1 rw\n"));
    ASSERT_EQ(volumes.size(), 1u);
    EXPECT_EQ(volumes[0], "/mnt/card");
    EXPECT_TRUE(lister.removableVolumes().empty());  // no mount table at all
}

}  // namespace
