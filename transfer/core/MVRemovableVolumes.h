#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

// Mounted removable volumes (memory cards and USB sticks) on Linux.
//
// The mount table comes from <proc>/self/mountinfo (one mount per line: id, parent id,
// major:minor, root within its file system, mount point, options, optional fields ended by "-",
// file-system type, source device, super options). Fields are blank-separated and the kernel
// writes blanks, tabs, line breaks and backslashes inside them as three-digit octal escapes
// ("\040"), which the parser decodes. A disk is kept when it is attached by USB or by an MMC/SD
// host: the device path that <sys>/block/<disk> links to runs through a device whose
// "subsystem" link names "usb", "mmc" or "mmc_host" (a USB stick or card reader, many of which
// report removable 0, or the built-in SD slot). The "removable" flag is not consulted: a
// removable disk attached any other way (a SATA hot-swap bay, an optical drive) is no card.
// Bind mounts (root other than "/") and mounts of anything but a /dev device (proc, sysfs,
// tmpfs…) are never kept. All functions are stateless and safe from any thread.
namespace MVRemovableVolumes {

struct MountEntry {
    std::string root;        // the mounted part of the file system ("/" for a whole one)
    std::string mountPoint;  // decoded
    std::string fsType;
    std::string source;  // decoded, e.g. "/dev/sdb1"
};

// The lines of a mountinfo text that have every field; malformed lines are skipped.
std::vector<MountEntry> parseMountInfo(std::string_view text);
// Decodes "\ooo" octal escapes; anything else is kept as it is.
std::string decodeOctalEscapes(std::string_view field);
// The whole disk of a partition device: "/dev/sdb1" -> "sdb", "/dev/mmcblk0p1" -> "mmcblk0",
// "/dev/nvme0n1p2" -> "nvme0n1", "/dev/sdc" -> "sdc"; "" for a source outside /dev.
std::string diskOfDevice(std::string_view source);

// Where removable volumes come from. The card-import sheet asks it on every mount change.
class Lister {
  public:
    virtual ~Lister() = default;
    // Mount points of the removable volumes, in mount-table order.
    virtual std::vector<std::filesystem::path> removableVolumes() const = 0;
    // A file whose poll() reports POLLPRI on every mount change; empty when there is none.
    virtual std::filesystem::path mountChangeFile() const { return {}; }
};

// The real lister; tests give it a fake /proc and /sys.
class MountInfoLister final : public Lister {
  public:
    explicit MountInfoLister(std::filesystem::path procRoot = "/proc",
                             std::filesystem::path sysRoot = "/sys");
    std::vector<std::filesystem::path> removableVolumes() const override;
    std::filesystem::path mountChangeFile() const override;
    // The removable entries of a mount table, judged against this lister's /sys.
    std::vector<std::filesystem::path> removableVolumes(
        const std::vector<MountEntry>& mounts) const;

  private:
    bool isCardDisk(const std::string& disk) const;

    std::filesystem::path procRoot_;
    std::filesystem::path sysRoot_;
};

// A fixed list (a folder standing in for a card, in tests and tools).
class FixedLister final : public Lister {
  public:
    explicit FixedLister(std::vector<std::filesystem::path> volumes = {})
        : volumes_(std::move(volumes)) {}
    void setVolumes(std::vector<std::filesystem::path> volumes) { volumes_ = std::move(volumes); }
    std::vector<std::filesystem::path> removableVolumes() const override { return volumes_; }

  private:
    std::vector<std::filesystem::path> volumes_;
};

}  // namespace MVRemovableVolumes
