#pragma once

#include <zip.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include <sys/stat.h>

namespace testing_support {

// Zip archives made in tests: entries stored as given (names unchecked, so hostile ones too).
struct ZipEntry {
    std::string name;
    std::string data;
    bool symlink = false;
    // When not 0: the entry's Unix mode as stored (file-type and permission bits), in place of
    // the writer's default. `symlink` stores S_IFLNK | 0777.
    std::uint32_t unixMode = 0;
};

inline bool writeZip(const std::filesystem::path& file, const std::vector<ZipEntry>& entries) {
    int code = 0;
    zip_t* archive = zip_open(file.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &code);
    if (archive == nullptr) return false;
    for (const ZipEntry& entry : entries) {
        zip_int64_t index = -1;
        if (!entry.name.empty() && entry.name.back() == '/') {
            index = zip_dir_add(archive, entry.name.c_str(), ZIP_FL_ENC_RAW);
        } else {
            zip_source_t* source =
                zip_source_buffer(archive, entry.data.data(), entry.data.size(), 0);
            index = zip_file_add(archive, entry.name.c_str(), source, ZIP_FL_ENC_RAW);
            if (index < 0) zip_source_free(source);
            if (index >= 0) zip_set_file_compression(archive, index, ZIP_CM_STORE, 0);
        }
        if (index < 0) {
            zip_discard(archive);
            return false;
        }
        const std::uint32_t mode = entry.symlink ? (S_IFLNK | 0777) : entry.unixMode;
        if (mode != 0) {
            zip_file_set_external_attributes(archive, index, 0, ZIP_OPSYS_UNIX,
                                             static_cast<zip_uint32_t>(mode) << 16);
        }
    }
    return zip_close(archive) == 0;
}

}  // namespace testing_support
