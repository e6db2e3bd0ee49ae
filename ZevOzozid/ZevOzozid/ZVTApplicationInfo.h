#pragma once

#include <map>
#include <optional>
#include <string>

// What the host application tells the SDK about itself before start: it stands in for the
// application bundle and screen. Safe from any thread.
struct ZVTApplicationInfo {
    std::string identifier;                            // reverse-DNS application id
    std::string version;                               // short version, "1.2"
    std::string build;                                 // build number
    std::optional<std::string> preferredLocalization;  // first localisation of the app, "en"
    int screenWidth = 0;
    int screenHeight = 0;
    // The application's information keys and their values as text
    // ("ZevOzozidAppDelegateForwarderEnabled": "NO").
    std::map<std::string, std::string> infoDictionary{};

    // Also (re)reads the application-delegate forwarder's switch from the record.
    static void setCurrent(ZVTApplicationInfo info);
    static std::optional<ZVTApplicationInfo> current();
    // The record the host set; without one, an ERROR line (once per process) and a stand-in
    // made of the executable's name with version and build "unknown", so logs stay valid.
    static ZVTApplicationInfo currentOrFallback();
    // Whether the host's windows are hidden (application state 2).
    static void setHidden(bool hidden);
    static bool isHidden();
    // Forgets the record and the hidden flag; for tests.
    static void reset();
};
