#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTLogger.h"
#include "ZevOzozid/ZevOzozid/ZVTWrapperLogger.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include <unistd.h>

namespace {

// Runs `body` with stderr sent to a file and returns what was written.
template <typename Body>
std::string stderrOf(Body body) {
    std::fflush(stderr);
    char name[] = "/tmp/zvt-logger-XXXXXX";
    int fd = mkstemp(name);
    int saved = dup(2);
    dup2(fd, 2);
    body();
    std::fflush(stderr);
    dup2(saved, 2);
    close(saved);
    std::string text;
    lseek(fd, 0, SEEK_SET);
    char buf[4096];
    ssize_t n;
    while ((n = read(fd, buf, sizeof buf)) > 0) text.append(buf, static_cast<size_t>(n));
    close(fd);
    unlink(name);
    return text;
}

class LoggerTest : public ::testing::Test {
  protected:
    void SetUp() override { ZVTLogger::reset(); }
    void TearDown() override { ZVTLogger::reset(); }
};

TEST_F(LoggerTest, LevelsFilterTheConsoleAndTextIsNeverBuiltBelowTheLevel) {
    int built = 0;
    auto warn = [&] { ZVT_LOG(ZVTLogLevelWarning, "ZevOzozid", (++built, "careful")); };
    EXPECT_EQ(ZVTLogger::currentLogLevel(), 7u);
    EXPECT_EQ(stderrOf(warn), "");
    EXPECT_EQ(built, 0);
    EXPECT_FALSE(ZVTLogger::isUserDefinedLogLevel());

    ZVTLogger::setCurrentLogLevel(ZVTLogLevelWarning);
    EXPECT_TRUE(ZVTLogger::isUserDefinedLogLevel());
    std::string line = stderrOf(warn);
    EXPECT_EQ(built, 1);
    EXPECT_EQ(line.rfind("[ZevOzozid] WARNING: ", 0), 0u) << line;
    EXPECT_NE(line.find("/"), std::string::npos);
    EXPECT_EQ(line.substr(line.size() - 9), " careful\n");

    ZVTLogger::setCurrentLogLevel(ZVTLogLevelNone);
    EXPECT_EQ(stderrOf([&] { ZVTLogAssert("ZevOzozid", (++built, "x")); }), "");
    EXPECT_EQ(built, 1);
}

TEST_F(LoggerTest, ACustomHandlerGetsEveryMessageAndMarksTheLevelChosen) {
    std::vector<std::pair<unsigned, std::string>> got;
    ZVTLogger::setLogHandler([&](const ZVTLogMessageProvider& m, unsigned level, const std::string&,
                                 const char*, const char* fn, unsigned line) {
        got.emplace_back(level, m());
        if (level == ZVTLogLevelAssert) {
            EXPECT_STREQ(fn, "+[ZVTWrapperLogger ZVTWrapperLog:tag:level:]");
            EXPECT_EQ(line, 10u);
        }
    });
    EXPECT_TRUE(ZVTLogger::isUserDefinedLogLevel());
    ZVTLogVerbose("t", "v");
    ZVTWrapperLogger::ZVTWrapperLog([] { return std::string("w"); }, "t", ZVTLogLevelAssert);
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0], std::make_pair(2u, std::string("v")));
    EXPECT_EQ(got[1], std::make_pair(7u, std::string("w")));
}

}  // namespace
