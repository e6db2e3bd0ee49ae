#include "tests/support/TempDir.h"

#include "session/ZORFileLog.h"

#include "platform/Folders.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

using testing_support::readAll;
using testing_support::TempDir;

class FileLogTest : public testing::Test {
  protected:
    TempDir dir;
    platform::UserDefaults store{dir / "defaults.json"};
    std::filesystem::path file = dir / "Gridlark Log.txt";
    ZORFileLog log{store, file};
};

TEST_F(FileLogTest, SwitchedOffWritesNothing) {
    EXPECT_FALSE(log.isOn());  // absent switch means off
    log.write("abc");
    EXPECT_FALSE(std::filesystem::exists(file));

    log.turnOn();
    log.write("kept");
    log.turnOff();
    log.write("dropped");
    EXPECT_EQ(readAll(file), "kept\n");
}

TEST_F(FileLogTest, FirstLineCreatesTheFileAndLaterLinesAppend) {
    log.turnOn();
    log.write("abc");
    EXPECT_EQ(std::filesystem::file_size(file), 4u);
    EXPECT_EQ(readAll(file), "abc\n");

    log.write("def");
    log.turnOff();
    log.turnOn();
    log.write("");
    EXPECT_EQ(readAll(file), "abc\ndef\n\n");
}

TEST_F(FileLogTest, SwitchPersistsAndIsReadOnEveryWrite) {
    log.turnOn();
    platform::UserDefaults reopened(store.file());
    EXPECT_TRUE(reopened.boolForKey("logUserDefaultString"));

    // Another writer of the store turns the log off: the next line already obeys.
    store.setBool("logUserDefaultString", false);
    log.write("ignored");
    EXPECT_FALSE(std::filesystem::exists(file));
}

TEST_F(FileLogTest, FileIsAlwaysUtf8) {
    log.turnOn();
    struct Case {
        std::string message, written;
    };
    const std::vector<Case> cases = {
        {"Zürich – Ring 1:23.45", "Zürich – Ring 1:23.45\n"},  // a first line beyond ASCII
        {"circuit \xF0\x9F\x8F\x81", "circuit \xF0\x9F\x8F\x81\n"},
        {"name \xFF\xFE.gld", "name \xEF\xBF\xBD\xEF\xBF\xBD.gld\n"},  // raw bytes of a file name
        {"cut \xC3", "cut \xEF\xBF\xBD\n"},                            // truncated sequence
        {"over\xC0\xAF", "over\xEF\xBF\xBD\xEF\xBF\xBD\n"},            // overlong form
        {"sur\xED\xA0\x80", "sur\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\n"},  // surrogate
    };
    std::string expected;
    for (const auto& c : cases) {
        log.write(c.message);
        expected += c.written;
    }
    EXPECT_EQ(readAll(file), expected);
}

TEST_F(FileLogTest, MissingFolderLosesTheLineSilently) {
    ZORFileLog nowhere(store, dir / "no such folder" / "Gridlark Log.txt");
    nowhere.turnOn();
    nowhere.write("lost");
    EXPECT_FALSE(std::filesystem::exists(dir / "no such folder"));
}

TEST_F(FileLogTest, ConcurrentWritersProduceWholeLines) {
    log.turnOn();
    ZORFileLog second(store, file);  // a second object on the same file shares the lock
    constexpr int kThreads = 8;
    constexpr int kLines = 300;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            ZORFileLog& target = t % 2 ? second : log;
            for (int i = 0; i < kLines; ++i) {
                target.write("thread " + std::to_string(t) + " line " + std::to_string(i) + " " +
                             std::string(200 + t * 50, static_cast<char>('a' + t)));
            }
        });
    }
    for (auto& thread : threads) thread.join();

    std::map<std::string, int> seen;
    std::istringstream in(readAll(file));
    for (std::string line; std::getline(in, line);) ++seen[line];
    ASSERT_EQ(seen.size(), static_cast<size_t>(kThreads * kLines));
    for (int t = 0; t < kThreads; ++t) {
        for (int i = 0; i < kLines; ++i) {
            const std::string line = "thread " + std::to_string(t) + " line " + std::to_string(i) +
                                     " " + std::string(200 + t * 50, static_cast<char>('a' + t));
            EXPECT_EQ(seen[line], 1) << line.substr(0, 20);
        }
    }
}

TEST(FileLogShared, WritesToTheDesktopUnderTheStandardSwitch) {
    const auto desktop = platform::folders::desktop();
    std::filesystem::create_directories(desktop);
    const auto file = desktop / "Gridlark Log.txt";
    std::filesystem::remove(file);
    EXPECT_EQ(ZORFileLog::shared().logFile(), file);

    ZORFileLog::turnOffLog();
    ZORFileLog::writeToTextFile("off");
    EXPECT_FALSE(std::filesystem::exists(file));

    ZORFileLog::turnOnLog();
    EXPECT_TRUE(ZORFileLog::isTurnOnLog());
    ZORFileLog::writeToTextFile("on");
    EXPECT_EQ(readAll(file), "on\n");

    ZORFileLog::turnOffLog();
    std::filesystem::remove(file);
}

}  // namespace
