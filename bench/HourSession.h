#pragma once

// The benchmarks' session: a generated one-hour session at 25 Hz (about 90,000 rows, 12
// channels), written once into a temporary folder that is removed at exit.
#include "tests/support/SessionGenerator.h"

#include "platform/UserDefaults.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include <unistd.h>

// The session file, generated once, in a temporary folder removed at exit.
struct HourSession {
    static HourSession& shared() {
        static HourSession session;
        return session;
    }

    std::filesystem::path folder;
    std::filesystem::path file;
    size_t laps = 0;
    std::unique_ptr<platform::UserDefaults> defaults;

    HourSession() {
        folder = std::filesystem::temp_directory_path() /
                 ("gridlark-fast-parse-bench-" + std::to_string(getpid()));
        std::filesystem::create_directories(folder);
        // Loads record usage in the user defaults: keep them out of the user's own store.
        setenv("XDG_CONFIG_HOME", (folder / "config").c_str(), 1);
        setenv("HOME", folder.c_str(), 1);
        testing_support::SessionOptions options;
        options.durationHours = 1;
        options.rateHz = 25;
        options.withHeading = true;
        options.withHeight = true;
        options.withVideo = true;
        options.extraChannels = 3;  // 12 channels in all
        const auto session = testing_support::generateSession(options);
        file = folder / "hour.gld";
        testing_support::writeSessionFile(file, session.text);
        laps = session.truth.laps.size();
        std::fprintf(stderr, "generated %zu rows, %zu channels, %zu laps\n", session.truth.rowCount,
                     session.truth.channels.size(), laps);
        defaults = std::make_unique<platform::UserDefaults>(folder / "defaults.json");
    }
    ~HourSession() {
        std::error_code ignored;
        std::filesystem::remove_all(folder, ignored);
    }
};
