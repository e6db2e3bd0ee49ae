#include "transfer/core/MVRemovableVolumes.h"

#include <cctype>
#include <fstream>
#include <sstream>

namespace MVRemovableVolumes {
namespace {

std::vector<std::string_view> splitFields(std::string_view line) {
    std::vector<std::string_view> fields;
    std::size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
        std::size_t start = i;
        while (i < line.size() && line[i] != ' ' && line[i] != '\t') ++i;
        if (i > start) fields.push_back(line.substr(start, i - start));
    }
    return fields;
}

bool isOctal(char c) {
    return c >= '0' && c <= '7';
}
}  // namespace

std::string decodeOctalEscapes(std::string_view field) {
    std::string out;
    out.reserve(field.size());
    for (std::size_t i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size() && isOctal(field[i + 1]) &&
            isOctal(field[i + 2]) && isOctal(field[i + 3])) {
            int value = (field[i + 1] - '0') * 64 + (field[i + 2] - '0') * 8 + (field[i + 3] - '0');
            out.push_back(static_cast<char>(value & 0xFF));
            i += 3;
        } else {
            out.push_back(field[i]);
        }
    }
    return out;
}

std::vector<MountEntry> parseMountInfo(std::string_view text) {
    std::vector<MountEntry> entries;
    while (!text.empty()) {
        std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
        auto fields = splitFields(line);
        // id, parent, major:minor, root, mount point, options, optional fields…, "-", type, source
        std::size_t dash = 6;
        while (dash < fields.size() && fields[dash] != "-") ++dash;
        if (dash + 2 >= fields.size()) continue;
        entries.push_back(MountEntry{decodeOctalEscapes(fields[3]), decodeOctalEscapes(fields[4]),
                                     decodeOctalEscapes(fields[dash + 1]),
                                     decodeOctalEscapes(fields[dash + 2])});
    }
    return entries;
}

std::string diskOfDevice(std::string_view source) {
    constexpr std::string_view prefix = "/dev/";
    if (source.substr(0, prefix.size()) != prefix) return {};
    std::string name(source.substr(prefix.size()));
    if (name.empty() || name.find('/') != std::string::npos) return {};
    bool numberedDisk =
        name.rfind("mmcblk", 0) == 0 || name.rfind("nvme", 0) == 0 || name.rfind("loop", 0) == 0;
    if (numberedDisk) {
        // Partitions of disks whose own name ends in a digit carry "p<n>".
        std::size_t p = name.find_last_of('p');
        if (p != std::string::npos && p > 0 && p + 1 < name.size() &&
            std::isdigit(static_cast<unsigned char>(name[p - 1])) &&
            name.find_first_not_of("0123456789", p + 1) == std::string::npos) {
            name.erase(p);
        }
        return name;
    }
    while (!name.empty() && std::isdigit(static_cast<unsigned char>(name.back()))) name.pop_back();
    return name;
}

MountInfoLister::MountInfoLister(std::filesystem::path procRoot, std::filesystem::path sysRoot)
    : procRoot_(std::move(procRoot)), sysRoot_(std::move(sysRoot)) {}

std::filesystem::path MountInfoLister::mountChangeFile() const {
    return procRoot_ / "self" / "mountinfo";
}

bool MountInfoLister::isCardDisk(const std::string& disk) const {
    if (disk.empty()) return false;
    // <sys>/block/<disk> links to the disk's place in the device tree, e.g.
    // devices/pci0000:00/0000:00:14.0/usb2/2-1/2-1:1.0/host6/target6:0:0/6:0:0:0/block/sdb or
    // devices/platform/fe320000.mmc/mmc_host/mmc1/mmc1:aaaa/block/mmcblk1. Each device on the way
    // names its bus or class by its "subsystem" link.
    std::error_code error;
    const std::filesystem::path devices = std::filesystem::canonical(sysRoot_ / "devices", error);
    if (error) return false;
    std::filesystem::path device = std::filesystem::canonical(sysRoot_ / "block" / disk, error);
    if (error) return false;
    while (device.has_relative_path() && device != devices) {
        const auto relative = device.lexically_relative(devices);
        if (relative.empty() || *relative.begin() == "..") break;  // left the device tree
        const auto subsystem = std::filesystem::read_symlink(device / "subsystem", error);
        if (!error) {
            const std::string name = subsystem.filename().string();
            if (name == "usb" || name == "mmc" || name == "mmc_host") return true;
        }
        device = device.parent_path();
    }
    return false;
}

std::vector<std::filesystem::path> MountInfoLister::removableVolumes(
    const std::vector<MountEntry>& mounts) const {
    std::vector<std::filesystem::path> volumes;
    for (const MountEntry& mount : mounts) {
        if (mount.root != "/") continue;  // a bind mount of a folder
        if (isCardDisk(diskOfDevice(mount.source))) volumes.emplace_back(mount.mountPoint);
    }
    return volumes;
}

std::vector<std::filesystem::path> MountInfoLister::removableVolumes() const {
    std::ifstream in(mountChangeFile(), std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return removableVolumes(parseMountInfo(text.str()));
}

}  // namespace MVRemovableVolumes
