#pragma once

#include "platform/UserDefaults.h"

#include <cstddef>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

// Usage counting for the maker's usage web service: every use becomes a usage record that waits
// in the pending usage list, the user-defaults entry "User Usage" (an array of maps), until a
// start-up sends the list. This part only records; sending belongs to the start-up.
class MVCallWebservice {
  public:
    // The pending usage list keeps at most this many records, the newest.
    static constexpr std::size_t kMaxPendingUsageRecords = 500;

    // Appends a record for the circuit in use ("ComponentCode": the name + ".CIR"; a missing name
    // gives ".CIR") to the pending usage list (see appendPendingUsage). Sends nothing. Called at
    // the end of every successful session load, on the loading thread; safe from any thread.
    static void storeUserUsageWithTrack(
        const std::optional<std::string>& trackName,
        platform::UserDefaults& defaults = platform::UserDefaults::standard());

    // Appends `record` to the pending usage list, making the list when there is none or when the
    // stored value is not an array of maps, drops the oldest records past
    // kMaxPendingUsageRecords, stores the list and returns it; `hadList` tells whether a list
    // was stored before. Every path that adds a record goes through here, under
    // pendingUsageMutex(). With usage recording off nothing is stored and the result is empty.
    static platform::UserDefaults::Value appendPendingUsage(platform::UserDefaults& defaults,
                                                            platform::UserDefaults::Value record,
                                                            bool* hadList = nullptr);

    // Whether usage records are kept at all (process-wide; on unless the program was started
    // with reporting switched off). Safe from any thread.
    static void setUsageRecordingEnabled(bool enabled);
    static bool isUsageRecordingEnabled();

    // One usage record: "ID" (a new random UUID, lower case), "SoftwareCode" ("Gridlark - " and
    // the system it runs on), "ComponentCode",
    // "Count" 1, "IPAddress" (absent when there is none), "FakeIPAddress" false, "VersionNumber",
    // "OS". Looks up the network interfaces on every call.
    static platform::UserDefaults::Value makeUsageRecord(const std::string& component);

    // The first address of an up, running, non-loopback IPv4 or IPv6 interface, in the system's
    // order, that reportableAddress() accepts; none when there is no such address.
    static std::optional<std::string> localIPAddress();
    // An address is reported when its text holds a "." and does not begin with "192" (so IPv6
    // addresses and 192.x addresses never are).
    static bool reportableAddress(const std::string& address);

    // Every read-append-store of "User Usage" in the process holds this lock, so records that
    // are stored at the same moment are all kept. The start-up's sending step takes it too.
    static std::mutex& pendingUsageMutex();

    // The pending usage list as stored, or none when the entry is absent or not an array of maps.
    static std::optional<platform::UserDefaults::Value> pendingUsageList(
        const platform::UserDefaults& defaults);
};
