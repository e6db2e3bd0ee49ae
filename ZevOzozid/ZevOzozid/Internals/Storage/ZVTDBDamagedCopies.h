#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>

// The damaged copies a store keeps beside its file: "<name>.corrupt", then "<name>.corrupt-2",
// "-3", ... (each with its "-wal" and "-shm" files, when it had them). Numbers only grow, so the
// highest is the newest. Ordinary file calls on the caller's thread; nothing throws.
class ZVTDBDamagedCopies {
  public:
    // Copies kept at most; the newest ones stay.
    static constexpr int kMaxKept = 2;

    // The name the next damaged copy of `file` takes: one past the newest copy's number, so no
    // earlier copy is ever overwritten. Nothing after 10000 copies.
    static std::optional<std::filesystem::path> nextName(const std::filesystem::path& file);
    // Keeps the newest copies while they number at most kMaxKept and their bytes (side files
    // included) stay within `budget`; deletes the others, each with an INFO line. The bytes kept.
    static int64_t keepNewest(const std::filesystem::path& file, int64_t budget);
};
