#pragma once

#include "platform/UserDefaults.h"

#include <cstddef>
#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

namespace platform {

// The list of documents opened most recently, most recent first, kept in the user defaults under
// "RecentDocumentURLs" (an array of absolute paths) so that it outlives the program.
//
// Noting a document makes its path absolute, moves it to the front (an entry for the same path
// is not repeated) and keeps at most kMaximumCount entries. Thread-safe: the session-file manager
// notes files from its loading thread while the views read the list on the main thread.
class RecentDocuments {
  public:
    static constexpr std::size_t kMaximumCount = 10;
    static constexpr const char* kDefaultsKey = "RecentDocumentURLs";

    // The process-wide list, on UserDefaults::standard().
    static RecentDocuments& shared();

    // A list kept in `defaults`, which must outlive it.
    explicit RecentDocuments(UserDefaults& defaults);

    // Puts `path` at the front. An empty path is ignored.
    void noteNewRecentDocumentURL(const std::filesystem::path& path);
    // The documents, most recent first (at most kMaximumCount). Stored entries that are not
    // paths are skipped.
    std::vector<std::filesystem::path> recentDocumentURLs() const;

    // For tests:
    void clearRecentDocuments();

  private:
    UserDefaults& defaults_;
    mutable std::mutex mutex_;  // makes read, change, write one step
};

}  // namespace platform
