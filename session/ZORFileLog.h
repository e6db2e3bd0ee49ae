#pragma once

#include "platform/UserDefaults.h"

#include <filesystem>
#include <optional>
#include <string>

// The program's switchable diagnostic log: "Gridlark Log.txt" on the user's Desktop, one UTF-8
// line per message, no prefix or time stamp. It is off unless the user turns it on; the switch
// lives in the user-defaults store under "logUserDefaultString" and is read on every write, so a
// change holds from the very next line. The file is created by the first line written and is never
// truncated. Callers pass a finished one-line message and never test the switch themselves.
//
// Thread-safe: every line is written whole, with one append of the complete line, under a
// process-wide lock, so lines of concurrent writers never interleave. Failures are silent (the
// line is lost and the next call tries again).
class ZORFileLog {
  public:
    // `file` none: the Desktop's "Gridlark Log.txt", looked up on every write.
    explicit ZORFileLog(platform::UserDefaults& defaults = platform::UserDefaults::standard(),
                        std::optional<std::filesystem::path> file = std::nullopt);

    // The log of the standard store and the Desktop; created on first use, never freed.
    static ZORFileLog& shared();

    // The program's calls, on shared().
    static void turnOnLog() { shared().turnOn(); }
    static void turnOffLog() { shared().turnOff(); }
    static bool isTurnOnLog() { return shared().isOn(); }
    static void writeToTextFile(const std::string& message) { shared().write(message); }

    // Stores the switch and flushes the store at once.
    void turnOn();
    void turnOff();
    bool isOn() const;
    // Appends message and a line feed when the switch is on; bytes that are not UTF-8 are
    // replaced by U+FFFD, so the file stays valid UTF-8.
    void write(const std::string& message);

    // Where the log is written now.
    std::filesystem::path logFile() const;
    // "<Desktop>/Gridlark Log.txt".
    static std::filesystem::path defaultLogFile();

  private:
    platform::UserDefaults& defaults_;
    std::optional<std::filesystem::path> file_;
};
