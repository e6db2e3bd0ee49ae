#include "tests/ZevOzozid/ZVTTestSupport.h"

#include "platform/Clock.h"

#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTUtility.h"
#include "ZevOzozid/ZevOzozid/ZVTApplicationInfo.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <thread>

namespace {

using zvt_test::LogCapture;
using namespace std::chrono;

// Sets TZ for the scope.
class ScopedTimeZone {
  public:
    explicit ScopedTimeZone(const char* tz) {
        if (const char* old = std::getenv("TZ")) old_ = old;
        setenv("TZ", tz, 1);
        tzset();
    }
    ~ScopedTimeZone() {
        if (old_)
            setenv("TZ", old_->c_str(), 1);
        else
            unsetenv("TZ");
        tzset();
    }

  private:
    std::optional<std::string> old_;
};

TEST(ZVTUtilityDate, WritesUTCWithMillisecondsWhateverTheLocalZone) {
    ScopedTimeZone kolkata("Asia/Kolkata");
    const ZVTDate date = ZVTDate(sys_days(year(2026) / 1 / 2)) + hours(3) + minutes(4) +
                         seconds(5) + milliseconds(678) + microseconds(999);
    EXPECT_EQ(ZVTUtility::dateToISO8601(date), "2026-01-02T03:04:05.678Z");
    EXPECT_EQ(ZVTUtility::dateToISO8601(ZVTDate(milliseconds(-1))), "1969-12-31T23:59:59.999Z");
    EXPECT_EQ(ZVTUtility::dateToISO8601(ZVTDate(milliseconds(-86'400'000LL * 365 * 100))),
              "1870-01-25T00:00:00.000Z");
    for (ZVTDate d : {date, ZVTDate(milliseconds(-1)), ZVTDate(milliseconds(0))}) {
        auto text = ZVTUtility::dateToISO8601(d);
        EXPECT_EQ(ZVTUtility::dateFromISO8601(text), floor<milliseconds>(d)) << text;
    }
    ZVTUtility::resetDateFormatterInstance();
    EXPECT_EQ(ZVTUtility::dateToISO8601(date), "2026-01-02T03:04:05.678Z");
}

TEST(ZVTUtilityDate, ParsingIsStrict) {
    for (const char* bad :
         {"2026-01-02T03:04:05Z", "2026-01-02T03:04:05.678", "2026-01-02T03:04:05.678+00:00",
          "2026-13-02T03:04:05.678Z", "2026-02-30T03:04:05.678Z", "2026-01-02 03:04:05.678Z",
          "2026-01-02T24:00:00.000Z", "2026-01-02T03:04:05.6789Z", "", "abc",
          "9999-12-31T23:59:59.999Z", "0001-01-01T00:00:00.000Z"}) {
        EXPECT_FALSE(ZVTUtility::dateFromISO8601(bad)) << bad;
    }
}

TEST(ZVTUtilityDate, NowComesFromThePlatformClockInWholeMilliseconds) {
    platform::FakeClock clock;
    clock.install();
    clock.setWallTime(platform::WallTime(milliseconds(1'700'000'000'123) + microseconds(456)));
    EXPECT_EQ(ZVTUtility::currentDate(), ZVTDate(milliseconds(1'700'000'000'123)));
    EXPECT_EQ(ZVTUtility::nowInMilliseconds(), 1'700'000'000'123.0);
}

TEST(ZVTUtilityApplication, StateFollowsTheThreadAndTheHostsHiddenFlag) {
    // A build that is neither a store build nor a test build: the environment the SDK lowers its
    // log level in (EntryLogLevel shows that). The store-receipt and provisioning probes it would
    // be worked out from answer no on this platform, whatever the program, so no test reads them.
    EXPECT_EQ(ZVTUtility::currentAppEnvironment(), 99);
    EXPECT_EQ(ZVTUtility::applicationState(), 0);
    ZVTApplicationInfo::setHidden(true);
    EXPECT_EQ(ZVTUtility::applicationState(), 2);
    int offMain = -1;
    std::thread([&] { offMain = ZVTUtility::applicationState(); }).join();
    EXPECT_EQ(offMain, 3);
    ZVTApplicationInfo::reset();
}

TEST(ZVTUtilityApplication, MissingApplicationInfoLogsOneErrorAndFallsBack) {
    ZVTApplicationInfo::reset();
    LogCapture log;
    auto first = ZVTApplicationInfo::currentOrFallback();
    auto second = ZVTApplicationInfo::currentOrFallback();
    EXPECT_EQ(log.atLevel(ZVTLogLevelError).size(), 1u);
    EXPECT_EQ(first.version, "unknown");
    EXPECT_EQ(first.build, "unknown");
    EXPECT_EQ(first.identifier, "zevozozid_tests");
    EXPECT_EQ(second.identifier, first.identifier);
    ZVTApplicationInfo::setCurrent({"dev.gridlark.app", "1.2", "34", "en", 1920, 1080});
    EXPECT_EQ(ZVTApplicationInfo::currentOrFallback().build, "34");
    ZVTApplicationInfo::reset();
}

TEST(ZVTUtilityStrings, ConfigurationStringsAndTokens) {
    using ZVTUtility::appSecretFrom;
    using ZVTUtility::transmissionTargetTokenFrom;
    const std::vector<std::pair<std::optional<std::string>, std::optional<std::string>>> secrets = {
        {";;secret;;", "secret"},
        {"target=token", std::nullopt},
        {"appsecret=abc;target=tok", "abc"},
        {"ios=x;macos=mine", "mine"},
        {"appsecret=abc;macos=mine", "mine"},
        {"bare;other=thing", "bare"},
        {"appsecret=", std::nullopt},
        {std::nullopt, std::nullopt},
        {"", std::nullopt},
    };
    for (const auto& [in, out] : secrets) EXPECT_EQ(appSecretFrom(in), out) << in.value_or("nil");
    EXPECT_EQ(transmissionTargetTokenFrom("appsecret=abc;target=tok"), "tok");
    EXPECT_EQ(transmissionTargetTokenFrom("target="), std::nullopt);
    EXPECT_EQ(transmissionTargetTokenFrom("target=;target=b"), "b");

    EXPECT_EQ(ZVTUtility::targetKeyFromTargetToken("key-part-two"), "key");
    EXPECT_EQ(ZVTUtility::targetKeyFromTargetToken("whole"), "whole");
    EXPECT_EQ(ZVTUtility::targetKeyFromTargetToken("-lead"), std::nullopt);
    EXPECT_EQ(ZVTUtility::iKeyFromTargetToken("key-part-two"), "o:key");
    EXPECT_EQ(ZVTUtility::iKeyFromTargetToken("-lead"), std::nullopt);

    EXPECT_EQ(ZVTUtility::sha256(""),
              "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_EQ(ZVTUtility::sha256("ticket").find_first_not_of("0123456789abcdef"),
              std::string::npos);
    EXPECT_EQ(ZVTUtility::sha256("ticket").size(), 64u);
}

TEST(ZVTUtilityStrings, PrettyPrintAndObfuscation) {
    EXPECT_EQ(ZVTUtility::prettyPrintJson(std::nullopt), std::nullopt);
    EXPECT_EQ(ZVTUtility::prettyPrintJson(R"({"url":"a/b","n":[1]})"),
              "{\n  \"url\": \"a/b\",\n  \"n\": [\n    1\n  ]\n}");
    EXPECT_EQ(ZVTUtility::prettyPrintJson("not json"), "not json");
    std::string deep(100000, '[');
    EXPECT_EQ(ZVTUtility::prettyPrintJson(deep + std::string(100000, ']')),
              deep + std::string(100000, ']'));

    EXPECT_EQ(ZVTUtility::obfuscateString("Token: ABC; token: def", "token: [a-z]+", "token: ***"),
              "token: ***; token: ***");
    LogCapture log;
    EXPECT_EQ(ZVTUtility::obfuscateString("x", "(unbalanced", "y"), std::nullopt);
    EXPECT_EQ(log.count(ZVTLogLevelError,
                        "Couldn't create regular expression with pattern\"(unbalanced\": "),
              1u);
    EXPECT_EQ(ZVTUtility::obfuscateString(std::nullopt, "x", "y"), std::nullopt);
}

TEST(ZVTUtilityStrings, ObfuscationPatternsMatchLeftmostLongestWithoutRecursion) {
    struct Case {
        const char* text;
        const char* pattern;
        const char* replacement;
        const char* expected;
    };
    const std::vector<Case> cases{
        // The response mask's pattern, as the fuzz target and the collector use it.
        {R"({"token" :  "abc", "TOKEN":"d", "x":1})", R"("token"\s*:\s*"[^"]+")",
         R"("token" : "***")", R"({"token" : "***", "token" : "***", "x":1})"},
        {R"("token":"")", R"("token"\s*:\s*"[^"]+")", "X", R"("token":"")"},
        {"a1b22c333", "\\d+", "<$&>", "a<1>b<22>c<333>"},
        {"cost $5", "\\$\\d", "$$", "cost $"},
        {"a.b", "a\\.b", "x", "x"},
        {"axb", "a\\.b", "x", "axb"},
        {"xaaab", "a*b", "-", "x-"},
        {"key=VALUE;", "key=[A-Z_]+", "key=*", "key=*;"},
        {"no match", "zz?y", "-", "no match"},
        {"colour color", "colou?r", "c", "c c"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ZVTUtility::obfuscateString(std::string(c.text), c.pattern, c.replacement),
                  std::string(c.expected))
            << c.text << " ~ " << c.pattern;
    }
    for (const char* bad : {"(a)", "a|b", "^a", "a{2}", "*a", "[a-", "\\q", "a\\"}) {
        LogCapture log;
        EXPECT_EQ(ZVTUtility::obfuscateString("a", bad, "x"), std::nullopt) << bad;
        EXPECT_EQ(log.count(ZVTLogLevelError, "Couldn't create regular expression"), 1u) << bad;
    }
    // One match of a few MB (the library's expressions recursed per character and overflowed).
    const std::string secret(4 * 1024 * 1024, 's');
    EXPECT_EQ(ZVTUtility::obfuscateString("\"token\": \"" + secret + "\", tail",
                                          R"("token"\s*:\s*"[^"]+")", R"("token": "***")"),
              R"("token": "***", tail)");
    // A text that never completes a match is still read in one pass per match.
    const std::string open = "\"token\": \"" + std::string(1024 * 1024, 'x');
    EXPECT_EQ(ZVTUtility::obfuscateString(open, R"("token"\s*:\s*"[^"]+")", "-"), open);
}

ZVTJson pairs(int n) {
    ZVTJson p = ZVTJson::object();
    for (int i = 0; i < n; ++i) p["k" + std::to_string(100 + i)] = "v";
    return p;
}

TEST(ZVTUtilityValidation, PropertyLimits) {
    {
        LogCapture log;
        EXPECT_EQ(ZVTUtility::validateProperties(pairs(25), "ev", "event").size(), 20u);
        EXPECT_EQ(log.count(ZVTLogLevelWarning,
                            "event 'ev' : properties cannot contain more than 20 items. Skipping "
                            "other properties."),
                  1u);
        EXPECT_EQ(log.lines().size(), 1u);
    }
    {
        LogCapture log;
        EXPECT_EQ(ZVTUtility::validateProperties(pairs(20), "ev", "event").size(), 20u);
        EXPECT_TRUE(log.lines().empty());
    }
    LogCapture log;
    ZVTJson mixed = {{"", "empty key"}, {"num", 5}, {std::string(126, 'k'), std::string(130, 'v')}};
    auto valid = ZVTUtility::validateProperties(mixed, "ev", "event");
    ASSERT_EQ(valid.size(), 1u);
    EXPECT_EQ(valid.begin()->first, std::string(125, 'k'));
    EXPECT_EQ(valid.begin()->second, std::string(125, 'v'));
    EXPECT_EQ(log.count(ZVTLogLevelWarning, "a property key cannot be null or empty"), 1u);
    EXPECT_EQ(log.count(ZVTLogLevelWarning, "Property key will be truncated."), 1u);
    EXPECT_EQ(log.count(ZVTLogLevelWarning, "Property value will be truncated."), 1u);
}

TEST(ZVTUtilityValidation, CutsCountUTF16UnitsAndNeverSplitACharacter) {
    const std::string euro = "\xE2\x82\xAC";       // one unit, three bytes
    const std::string smile = "\xF0\x9F\x98\x80";  // two units, four bytes
    std::string value;
    for (int i = 0; i < 124; ++i) value += euro;
    value += smile;  // 126 units: the pair straddles the limit
    EXPECT_EQ(ZVTUtility::utf16Length(value), 126u);
    auto valid = ZVTUtility::validateProperties(ZVTJson{{"k", value}}, "ev", "event");
    std::string expected;
    for (int i = 0; i < 124; ++i) expected += euro;
    EXPECT_EQ(valid["k"], expected);

    std::string fits;
    for (int i = 0; i < 125; ++i) fits += euro;
    EXPECT_EQ(ZVTUtility::validateProperties(ZVTJson{{"k", fits}}, "ev", "event")["k"], fits);
    EXPECT_EQ(ZVTUtility::truncateToUTF16Units("ab" + smile, 3), "ab");
    EXPECT_EQ(ZVTUtility::truncateToUTF16Units("ab" + smile, 4), "ab" + smile);
}

}  // namespace
