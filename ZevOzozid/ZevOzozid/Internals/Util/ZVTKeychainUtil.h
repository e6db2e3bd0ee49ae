#pragma once

#include <filesystem>
#include <optional>
#include <string>

// Short secrets kept per (service, key) in a folder of the user's own:
// $XDG_DATA_HOME/<service>, mode 0700, one 0600 file per key, named by the key in hex and
// written atomically. This protects less than a system keychain: any process of the same user
// can read the files. Only a regular file up to kMaxItemBytes is read, without waiting and
// without following a link; anything else in an item's place (a FIFO, a folder, a link, a huge
// file) is unreadable (-EINVAL, -EFBIG, -ELOOP), and the next store replaces it (a
// folder stays: that store fails). Status codes:
// 0 success, -25299 duplicate item, -25300 not found, a negated errno for an I/O failure. Safe
// from any thread.
class ZVTKeychainUtil {
  public:
    static constexpr long kMaxItemBytes = 64 * 1024;
    static constexpr int kStatusSuccess = 0;
    static constexpr int kStatusDuplicateItem = -25299;
    static constexpr int kStatusItemNotFound = -25300;

    // "<application id>.ZevOzozid".
    static std::string defaultServiceName();
    static std::filesystem::path serviceFolder(const std::string& service);

    static bool storeString(const std::string& value, const std::string& key);
    static bool storeString(const std::string& value, const std::string& key,
                            const std::string& service);
    static std::optional<std::string> stringForKey(const std::string& key,
                                                   int* statusCode = nullptr);
    static std::optional<std::string> stringForKey(const std::string& key,
                                                   const std::string& service, int* statusCode);
    // The string that was deleted, or nothing.
    static std::optional<std::string> deleteStringForKey(const std::string& key);
    static std::optional<std::string> deleteStringForKey(const std::string& key,
                                                         const std::string& service);
    // Deletes every item of the default service.
    static bool clear();

    // The item operations, each returning its status code.
    static int addSecItem(const std::string& service, const std::string& key,
                          const std::string& value);
    static int deleteSecItem(const std::string& service, const std::string& key);
    static int secItemCopyMatchingQuery(const std::string& service, const std::string& key,
                                        std::string& value);
};
