#include "transfer/core/MVZipArchive.h"

#include <zip.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace MVZipArchive {
namespace {

constexpr std::size_t kMaxNameBytes = 1024;

struct ArchiveCloser {
    void operator()(zip_t* archive) const { zip_discard(archive); }
};
struct EntryCloser {
    void operator()(zip_file_t* file) const { zip_fclose(file); }
};
using Archive = std::unique_ptr<zip_t, ArchiveCloser>;

struct Entry {
    std::string name;
    std::uint64_t size = 0;
    bool isFolder = false;
};

std::string archiveError(zip_t* archive) {
    return zip_strerror(archive);
}

std::string openError(int code) {
    zip_error_t error;
    zip_error_init_with_code(&error, code);
    std::string text = zip_error_strerror(&error);
    zip_error_fini(&error);
    return "not a readable zip archive (" + text + ")";
}

// Reads and checks every entry's name, kind and size before anything is written.
std::string checkEntries(zip_t* archive, const Limits& limits, std::vector<Entry>& entries) {
    const zip_int64_t count = zip_get_num_entries(archive, 0);
    if (count < 0) return archiveError(archive);
    if (static_cast<std::uint64_t>(count) > limits.maxEntries) return "too many entries";
    std::uint64_t total = 0;
    for (zip_int64_t i = 0; i < count; ++i) {
        zip_stat_t stat;
        zip_stat_init(&stat);
        if (zip_stat_index(archive, static_cast<zip_uint64_t>(i), 0, &stat) != 0 ||
            !(stat.valid & ZIP_STAT_NAME) || !(stat.valid & ZIP_STAT_SIZE)) {
            return "entry " + std::to_string(i) + " cannot be read: " + archiveError(archive);
        }
        const std::string name = stat.name;
        if (!isSafeEntryName(name)) return "unsafe entry name \"" + name + "\"";
        zip_uint8_t system = 0;
        zip_uint32_t attributes = 0;
        if (zip_file_get_external_attributes(archive, static_cast<zip_uint64_t>(i), 0, &system,
                                             &attributes) == 0 &&
            system == ZIP_OPSYS_UNIX) {
            // Only the file-type bits tell the kind. Many writers store permission bits alone
            // (type 0): such an entry is a plain file, or a folder when its name ends in "/".
            const mode_t type = static_cast<mode_t>(attributes >> 16) & S_IFMT;
            if (type == S_IFLNK) return "entry \"" + name + "\" is a symbolic link";
            if (type != 0 && type != S_IFREG && type != S_IFDIR) {
                return "entry \"" + name + "\" is not a file or folder";
            }
        }
        Entry entry{name, stat.size, name.back() == '/'};
        if (entry.isFolder && entry.size != 0) return "folder entry \"" + name + "\" has data";
        if (entry.size > limits.maxEntryBytes) return "entry \"" + name + "\" is too large";
        total += entry.size;
        if (total > limits.maxTotalBytes) return "the archive unpacks to too much data";
        entries.push_back(std::move(entry));
    }
    return {};
}

// Creates each missing folder of `relative` below staging, refusing anything but real folders.
std::string makeFolders(const std::filesystem::path& staging,
                        const std::filesystem::path& relative) {
    std::filesystem::path current = staging;
    for (const auto& part : relative) {
        current /= part;
        struct stat info;
        if (::lstat(current.c_str(), &info) == 0) {
            if (!S_ISDIR(info.st_mode)) return "\"" + relative.string() + "\" clashes with a file";
            continue;
        }
        if (::mkdir(current.c_str(), 0755) != 0) return std::strerror(errno);
    }
    return {};
}

std::string writeEntry(zip_t* archive, zip_uint64_t index, const Entry& entry,
                       const std::filesystem::path& staging) {
    const std::filesystem::path relative(entry.name);
    if (entry.isFolder) return makeFolders(staging, relative.parent_path());
    if (auto failed = makeFolders(staging, relative.parent_path()); !failed.empty()) return failed;
    const std::filesystem::path target = staging / relative;
    const int fd =
        ::open(target.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd < 0) return "\"" + entry.name + "\": " + std::strerror(errno);
    std::unique_ptr<zip_file_t, EntryCloser> file(zip_fopen_index(archive, index, 0));
    std::string failure;
    if (!file) failure = archiveError(archive);
    std::uint64_t written = 0;
    char buffer[64 * 1024];
    while (failure.empty()) {
        const zip_int64_t n = zip_fread(file.get(), buffer, sizeof buffer);
        if (n < 0) {
            failure = zip_file_strerror(file.get());
            break;
        }
        if (n == 0) break;
        written += static_cast<std::uint64_t>(n);
        if (written > entry.size) {
            failure = "more data than stated";
            break;
        }
        if (::write(fd, buffer, static_cast<std::size_t>(n)) != n) failure = std::strerror(errno);
    }
    if (failure.empty() && written != entry.size) failure = "less data than stated";
    if (::close(fd) != 0 && failure.empty()) failure = std::strerror(errno);
    return failure.empty() ? failure : "\"" + entry.name + "\": " + failure;
}

std::string extract(zip_t* archive, const std::filesystem::path& staging, const Limits& limits) {
    std::vector<Entry> entries;
    if (auto failed = checkEntries(archive, limits, entries); !failed.empty()) return failed;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        auto failed = writeEntry(archive, static_cast<zip_uint64_t>(i), entries[i], staging);
        if (!failed.empty()) return failed;
    }
    return {};
}

}  // namespace

bool isSafeEntryName(std::string_view name) {
    if (name.empty() || name.size() > kMaxNameBytes || name.front() == '/') return false;
    if (name.find('\0') != std::string_view::npos || name.find('\\') != std::string_view::npos) {
        return false;
    }
    // Every component between slashes (a trailing slash marks a folder) must be a plain name.
    std::string_view rest = name.back() == '/' ? name.substr(0, name.size() - 1) : name;
    while (true) {
        const std::size_t slash = rest.find('/');
        const std::string_view part = rest.substr(0, slash);
        if (part.empty() || part == "." || part == "..") return false;
        if (part.size() == 2 && part[1] == ':') return false;  // a drive, "C:"
        if (slash == std::string_view::npos) return true;
        rest = rest.substr(slash + 1);
    }
}

std::string extractFile(const std::filesystem::path& zip, const std::filesystem::path& staging,
                        const Limits& limits) {
    int code = 0;
    Archive archive(zip_open(zip.c_str(), ZIP_RDONLY | ZIP_CHECKCONS, &code));
    if (!archive) return openError(code);
    return extract(archive.get(), staging, limits);
}

std::string extractBytes(std::string_view bytes, const std::filesystem::path& staging,
                         const Limits& limits) {
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t* source = zip_source_buffer_create(bytes.data(), bytes.size(), 0, &error);
    if (source == nullptr) {
        zip_error_fini(&error);
        return "out of memory";
    }
    Archive archive(zip_open_from_source(source, ZIP_RDONLY | ZIP_CHECKCONS, &error));
    if (!archive) {
        zip_source_free(source);
        const std::string text =
            std::string("not a readable zip archive (") + zip_error_strerror(&error) + ")";
        zip_error_fini(&error);
        return text;
    }
    zip_error_fini(&error);
    return extract(archive.get(), staging, limits);
}

}  // namespace MVZipArchive
