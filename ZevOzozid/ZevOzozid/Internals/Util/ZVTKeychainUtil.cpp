#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTKeychainUtil.h"

#include "platform/Crypto.h"
#include "platform/Folders.h"

#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTLogger.h"
#include "ZevOzozid/ZevOzozid/ZVTApplicationInfo.h"

#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

fs::path itemPath(const std::string& service, const std::string& key) {
    return ZVTKeychainUtil::serviceFolder(service) /
           platform::crypto::toHex(reinterpret_cast<const uint8_t*>(key.data()), key.size());
}

int ensureFolder(const fs::path& folder) {
    if (::mkdir(folder.parent_path().c_str(), 0700) != 0 && errno != EEXIST) return -errno;
    if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) return -errno;
    if (::chmod(folder.c_str(), 0700) != 0) return -errno;
    return 0;
}

int writeAll(int fd, const std::string& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return -errno;
        done += static_cast<size_t>(n);
    }
    return ::fsync(fd) == 0 ? 0 : -errno;
}

}  // namespace

std::string ZVTKeychainUtil::defaultServiceName() {
    static const std::string name =
        ZVTApplicationInfo::currentOrFallback().identifier + ".ZevOzozid";
    return name;
}

fs::path ZVTKeychainUtil::serviceFolder(const std::string& service) {
    return platform::folders::dataHome() / service;
}

int ZVTKeychainUtil::addSecItem(const std::string& service, const std::string& key,
                                const std::string& value) {
    const fs::path folder = serviceFolder(service);
    if (int rc = ensureFolder(folder); rc != 0) return rc;
    const fs::path target = itemPath(service, key);
    if (::access(target.c_str(), F_OK) == 0) return kStatusDuplicateItem;
    fs::path temp = target;
    temp += ".tmp-" + std::to_string(::getpid());
    int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) return -errno;
    int rc = writeAll(fd, value);
    ::close(fd);
    // link() fails when the item appeared meanwhile: never replace an existing item.
    if (rc == 0 && ::link(temp.c_str(), target.c_str()) != 0) {
        rc = errno == EEXIST ? kStatusDuplicateItem : -errno;
    }
    ::unlink(temp.c_str());
    return rc;
}

int ZVTKeychainUtil::deleteSecItem(const std::string& service, const std::string& key) {
    if (::unlink(itemPath(service, key).c_str()) == 0) return kStatusSuccess;
    return errno == ENOENT ? kStatusItemNotFound : -errno;
}

int ZVTKeychainUtil::secItemCopyMatchingQuery(const std::string& service, const std::string& key,
                                              std::string& value) {
    const fs::path path = itemPath(service, key);
    // Never waits (a FIFO in the item's place) and never follows a link.
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOFOLLOW);
    if (fd < 0) return errno == ENOENT ? kStatusItemNotFound : -errno;
    struct stat st {};
    int rc = 0;
    if (::fstat(fd, &st) != 0) {
        rc = -errno;
    } else if (!S_ISREG(st.st_mode)) {
        rc = -EINVAL;
    } else if (st.st_size > kMaxItemBytes) {
        rc = -EFBIG;
    }
    value.clear();
    char buf[4096];
    while (rc == 0) {
        ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) rc = -errno;
        if (n <= 0) break;
        value.append(buf, static_cast<size_t>(n));
        if (value.size() > static_cast<size_t>(kMaxItemBytes)) rc = -EFBIG;  // grew meanwhile
    }
    ::close(fd);
    if (rc != 0) value.clear();
    return rc;
}

bool ZVTKeychainUtil::storeString(const std::string& value, const std::string& key) {
    return storeString(value, key, defaultServiceName());
}

bool ZVTKeychainUtil::storeString(const std::string& value, const std::string& key,
                                  const std::string& service) {
    int status = addSecItem(service, key, value);
    if (status == kStatusDuplicateItem) {
        deleteSecItem(service, key);
        status = addSecItem(service, key, value);
    }
    if (status == kStatusSuccess) {
        ZVTLogVerbose(kZVTLogTag, "Stored a string with key='", key, "', service='", service,
                      "' to keychain.");
        return true;
    }
    ZVTLogWarning(kZVTLogTag, "Failed to store item with key='", key, "', service='", service,
                  "' to keychain. OS Status code ", status);
    return false;
}

std::optional<std::string> ZVTKeychainUtil::stringForKey(const std::string& key, int* statusCode) {
    return stringForKey(key, defaultServiceName(), statusCode);
}

std::optional<std::string> ZVTKeychainUtil::stringForKey(const std::string& key,
                                                         const std::string& service,
                                                         int* statusCode) {
    std::string value;
    int status = secItemCopyMatchingQuery(service, key, value);
    if (statusCode) *statusCode = status;
    if (status == kStatusSuccess) {
        ZVTLogVerbose(kZVTLogTag, "Retrieved a string with key='", key, "', service='", service,
                      "' from keychain.");
        return value;
    }
    ZVTLogWarning(kZVTLogTag, "Failed to retrieve item with key='", key, "', service='", service,
                  "' from keychain. OS Status code ", status);
    return std::nullopt;
}

std::optional<std::string> ZVTKeychainUtil::deleteStringForKey(const std::string& key) {
    return deleteStringForKey(key, defaultServiceName());
}

std::optional<std::string> ZVTKeychainUtil::deleteStringForKey(const std::string& key,
                                                               const std::string& service) {
    std::string value;
    if (secItemCopyMatchingQuery(service, key, value) != kStatusSuccess) return std::nullopt;
    int status = deleteSecItem(service, key);
    if (status == kStatusSuccess) {
        ZVTLogVerbose(kZVTLogTag, "Deleted a string with key='", key, "', service='", service,
                      "' from keychain.");
        return value;
    }
    ZVTLogWarning(kZVTLogTag, "Failed to delete item with key='", key, "', service='", service,
                  "' from keychain. OS Status code ", status);
    return std::nullopt;
}

bool ZVTKeychainUtil::clear() {
    std::error_code ec;
    const fs::path folder = serviceFolder(defaultServiceName());
    if (!fs::exists(folder, ec)) return true;
    bool ok = true;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        std::error_code removeError;
        if (!fs::remove(it->path(), removeError) || removeError) ok = false;
    }
    return ok && !ec;
}
