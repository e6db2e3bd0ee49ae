#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

// Unpacking a downloaded zip archive that nobody vouches for. Every entry is checked before a
// byte is written: its name must be a plain relative path (no leading "/", no "..", ".", empty
// or drive components, no backslash, no NUL, at most 1024 bytes), it must be a regular file or a
// folder (symbolic links, devices, pipes and sockets are refused; a Unix mode with permission bits
// only and no file type is a plain file), and the sizes must stay under the
// caps. Then the entries are written into a staging folder, files created anew (never through a
// link, never over an existing entry), each checked against its CRC-32 and its stated size as it
// is read. Any failure stops at once with a reason; whatever was written stays in the staging
// folder, for the caller to remove. Nothing lands outside the staging folder. Safe from any thread
// (one archive per call).
namespace MVZipArchive {

struct Limits {
    std::uint64_t maxEntries = 20000;
    std::uint64_t maxEntryBytes = 256ull << 20;
    std::uint64_t maxTotalBytes = 1ull << 30;
};

// Unpacks the archive file into `staging`, which must be an existing folder. "" on success, else
// the reason.
std::string extractFile(const std::filesystem::path& zip, const std::filesystem::path& staging,
                        const Limits& limits = {});

// The entry-name rule above ("dir/" names a folder).
bool isSafeEntryName(std::string_view name);

// For tests:
// extractFile of an archive held in memory (the fuzz target's form).
std::string extractBytes(std::string_view bytes, const std::filesystem::path& staging,
                         const Limits& limits = {});

}  // namespace MVZipArchive
