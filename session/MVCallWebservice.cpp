#include "session/MVCallWebservice.h"

#include "platform/Crypto.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <iostream>

#include <ifaddrs.h>
#include <net/if.h>
#include <netdb.h>
#include <sys/random.h>
#include <sys/socket.h>
#include <sys/utsname.h>

#ifndef GRIDLARK_VERSION
#define GRIDLARK_VERSION "0.0.0"
#endif

namespace {

using Value = platform::UserDefaults::Value;

const char* const kUserUsageKey = "User Usage";

std::atomic<bool> usageRecordingEnabled{true};

// Sixteen bytes from the system's random source (the kernel's generator), which needs no
// generator of our own set up and seeded in the process; the strong generator stands in only
// where the system cannot answer.
std::array<uint8_t, 16> uuidBytes() {
    std::array<uint8_t, 16> bytes{};
    std::size_t got = 0;
    while (got < bytes.size()) {
        const ssize_t n = ::getrandom(bytes.data() + got, bytes.size() - got, 0);
        if (n > 0) {
            got += static_cast<std::size_t>(n);
        } else if (n < 0 && errno != EINTR) {
            const auto strong = platform::crypto::randomBytes(bytes.size());
            std::copy(strong.begin(), strong.end(), bytes.begin());
            return bytes;
        }
    }
    return bytes;
}

std::string newUuid() {
    auto bytes = uuidBytes();
    bytes[6] = static_cast<uint8_t>((bytes[6] & 0x0F) | 0x40);  // version 4
    bytes[8] = static_cast<uint8_t>((bytes[8] & 0x3F) | 0x80);  // RFC 4122 variant
    const std::string hex = platform::crypto::toHex(bytes.data(), bytes.size());
    return hex.substr(0, 8) + "-" + hex.substr(8, 4) + "-" + hex.substr(12, 4) + "-" +
           hex.substr(16, 4) + "-" + hex.substr(20);
}

std::string osText() {
    struct utsname names {};
    if (::uname(&names) != 0) return "Linux";
    return std::string("Linux ") + names.release;
}

}  // namespace

std::mutex& MVCallWebservice::pendingUsageMutex() {
    static std::mutex* const mutex = new std::mutex;
    return *mutex;
}

bool MVCallWebservice::reportableAddress(const std::string& address) {
    return address.find('.') != std::string::npos && address.rfind("192", 0) != 0;
}

std::optional<std::string> MVCallWebservice::localIPAddress() {
    struct ifaddrs* list = nullptr;
    if (::getifaddrs(&list) != 0) return std::nullopt;
    std::optional<std::string> found;
    for (auto* entry = list; entry != nullptr && !found; entry = entry->ifa_next) {
        const unsigned flags = entry->ifa_flags;
        if (!(flags & IFF_UP) || !(flags & IFF_RUNNING) || (flags & IFF_LOOPBACK)) continue;
        if (entry->ifa_addr == nullptr) continue;
        const int family = entry->ifa_addr->sa_family;
        if (family != AF_INET && family != AF_INET6) continue;
        const socklen_t length =
            family == AF_INET ? sizeof(struct sockaddr_in) : sizeof(struct sockaddr_in6);
        char host[1025];
        if (::getnameinfo(entry->ifa_addr, length, host, sizeof host, nullptr, 0, NI_NUMERICHOST) !=
            0) {
            continue;
        }
        if (reportableAddress(host)) found = host;
    }
    ::freeifaddrs(list);
    return found;
}

Value MVCallWebservice::makeUsageRecord(const std::string& component) {
    Value record = Value::object();
    record["ID"] = newUuid();
    record["SoftwareCode"] = "Gridlark - Linux";
    record["ComponentCode"] = component;
    record["Count"] = 1;
    if (auto address = localIPAddress()) record["IPAddress"] = *address;
    record["FakeIPAddress"] = false;
    record["VersionNumber"] = GRIDLARK_VERSION;
    record["OS"] = osText();
    return record;
}

std::optional<Value> MVCallWebservice::pendingUsageList(const platform::UserDefaults& defaults) {
    auto stored = defaults.objectForKey(kUserUsageKey);
    if (!stored || !stored->is_array()) return std::nullopt;
    for (const auto& record : *stored) {
        if (!record.is_object()) return std::nullopt;
    }
    return stored;
}

void MVCallWebservice::setUsageRecordingEnabled(bool enabled) {
    usageRecordingEnabled = enabled;
}

bool MVCallWebservice::isUsageRecordingEnabled() {
    return usageRecordingEnabled;
}

namespace {

// appendPendingUsage, which hands the stored list back only when `giveBack` asks for it: a list
// of hundreds of records is copied once less when the caller has no use for it (every load).
Value appendRecord(platform::UserDefaults& defaults, Value record, bool* hadList, bool giveBack) {
    if (hadList) *hadList = false;
    if (!MVCallWebservice::isUsageRecordingEnabled()) return Value::array();
    std::lock_guard lock(MVCallWebservice::pendingUsageMutex());
    auto pending = MVCallWebservice::pendingUsageList(defaults);
    if (hadList) *hadList = pending.has_value();
    Value list = pending ? std::move(*pending) : Value::array();
    list.push_back(std::move(record));
    // Unsent records are bounded: the oldest go first.
    constexpr std::size_t kMax = MVCallWebservice::kMaxPendingUsageRecords;
    if (list.size() > kMax) {
        list.erase(list.begin(), list.begin() + static_cast<std::ptrdiff_t>(list.size() - kMax));
    }
    if (!giveBack) {
        defaults.setObject(kUserUsageKey, std::move(list));
        return Value::array();
    }
    defaults.setObject(kUserUsageKey, list);
    return list;
}

}  // namespace

Value MVCallWebservice::appendPendingUsage(platform::UserDefaults& defaults, Value record,
                                           bool* hadList) {
    return appendRecord(defaults, std::move(record), hadList, true);
}

void MVCallWebservice::storeUserUsageWithTrack(const std::optional<std::string>& trackName,
                                               platform::UserDefaults& defaults) {
    if (!isUsageRecordingEnabled()) return;
    appendRecord(defaults, makeUsageRecord(trackName.value_or("") + ".CIR"), nullptr, false);
}
