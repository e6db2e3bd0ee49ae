#include "tests/ZevOzozid/ZVTHttpTestSupport.h"
#include "tests/support/TempDir.h"

#include "platform/ChildProcess.h"
#include "platform/Crypto.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <csignal>
#include <cstdio>
#include <map>
#include <set>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#ifdef ZV_CRASH_DEMO
namespace {

platform::ProcessResult runDemo(const std::string& url, const std::filesystem::path& storage,
                                const std::string& mode, const std::string& build,
                                const std::vector<std::string>& more = {}) {
    platform::ProcessOptions options;
    options.timeout = std::chrono::seconds(40);
    std::vector<std::string> args{ZV_CRASH_DEMO, "--url", url,       "--storage", storage.string(),
                                  "--timeout",   "30",    "--build", build};
    args.insert(args.end(), more.begin(), more.end());
    args.push_back(mode);
    return platform::runProcess(args, options);
}

std::vector<nlohmann::json> logsOf(zvt_test::ScriptedServer& server) {
    std::vector<nlohmann::json> logs;
    for (const auto& got : server.received()) {
        const auto body = nlohmann::json::parse(got.body);
        for (const auto& log : body["logs"]) logs.push_back(log);
    }
    return logs;
}

// What the server got, a line a request: its answer and each log's type, name and id.
template <typename Requests>
std::string requestsSeen(const Requests& received) {
    std::string out;
    for (const auto& got : received) {
        out += std::to_string(got.status) + ":";
        for (const auto& log : nlohmann::json::parse(got.body)["logs"]) {
            out += " " + log.value("type", "") + "/" + log.value("name", "") + "/" +
                   log.value("id", "");
        }
        out += "\n";
    }
    return out;
}

struct CrashCase {
    const char* mode;
    const char* signal;
    const char* code;
    const char* address;        // the fault's; 0 for the abort the process sent itself
    const char* exceptionType;  // nullptr: none
};

// Run 1 crashes; run 2 sends the crash log with its attachment and run 1's events, and leaves
// no crash file behind.
class CrashDemoTest : public ::testing::TestWithParam<CrashCase> {};

TEST_P(CrashDemoTest, NextRunSendsTheCrashWithItsAttachmentAndEvents) {
    const CrashCase c = GetParam();
    zvt_test::ScriptedServer server;
    testing_support::TempDir storage;
    // The two runs are two builds: the crash log must carry the crashed one's.
    const auto crashed = runDemo(server.base(), storage.path(), c.mode, "412");
    ASSERT_TRUE(crashed.started) << crashed.error;
    EXPECT_NE(crashed.signal, 0) << crashed.standardOutput << crashed.standardError;
    const auto second = runDemo(server.base(), storage.path(), "run", "413");
    ASSERT_EQ(second.exitCode, 0) << second.standardOutput << second.standardError;

    std::vector<nlohmann::json> crashes, attachments;
    std::string seen;
    std::set<std::string> events, startSessionIds, eventSessionIds;
    std::map<std::string, nlohmann::json> startSessionDevices;
    for (const auto& log : logsOf(server)) {
        seen += log["type"].get<std::string>() + " ";
        if (log["type"] == "appleError") crashes.push_back(log);
        if (log["type"] == "errorAttachment") attachments.push_back(log);
        if (log["type"] == "startSession") {
            startSessionIds.insert(log.value("sid", ""));
            startSessionDevices[log.value("sid", "")] = log["device"];
        }
        if (log["type"] == "event" && log.value("name", "").rfind(c.mode, 0) == 0) {
            events.insert(log.value("name", ""));
            eventSessionIds.insert(log.value("sid", ""));
        }
    }
    ASSERT_EQ(crashes.size(), 1u) << seen;
    const auto& crash = crashes[0];
    // Straight after start each run knows whether the one before it crashed, and its report.
    EXPECT_NE(crashed.standardOutput.find("crashed in the last session: no, report none"),
              std::string::npos)
        << crashed.standardOutput;
    EXPECT_NE(second.standardOutput.find("crashed in the last session: yes, report " +
                                         crash["id"].get<std::string>()),
              std::string::npos)
        << second.standardOutput;
    EXPECT_EQ(crash["fatal"], true);
    EXPECT_EQ(crash["osExceptionType"], c.signal);
    EXPECT_EQ(crash["osExceptionCode"], c.code);
    EXPECT_EQ(crash["osExceptionAddress"], c.address);
    EXPECT_EQ(crash["userId"], "demo-user");
    // Run 1's session: the one its start-session log opened and its events carry.
    ASSERT_EQ(eventSessionIds.size(), 1u) << seen;
    EXPECT_TRUE(startSessionIds.count(*eventSessionIds.begin())) << seen;
    EXPECT_EQ(crash.value("sid", ""), *eventSessionIds.begin()) << crash.dump();
    // The crashed run's identity, as its start-session log gave it.
    ASSERT_TRUE(crash.contains("device"));
    const auto& runDevice = startSessionDevices[*eventSessionIds.begin()];
    EXPECT_EQ(runDevice["appBuild"], "412");
    for (const char* key : {"appNamespace", "appVersion", "appBuild"}) {
        EXPECT_EQ(crash["device"][key], runDevice[key]) << key;
    }
    ASSERT_FALSE(crash["threads"].empty());
    EXPECT_FALSE(crash["threads"][0]["frames"].empty());
    ASSERT_FALSE(crash["binaries"].empty());
    EXPECT_EQ(crash["binaries"][0]["id"].get<std::string>().size(), 40u);
    if (c.exceptionType) {
        EXPECT_EQ(crash["exceptionType"], c.exceptionType);
        EXPECT_EQ(crash["exceptionReason"], "lap table out of range");
    } else {
        EXPECT_FALSE(crash.contains("exceptionType"));
    }
    ASSERT_EQ(attachments.size(), 1u);
    EXPECT_EQ(attachments[0]["errorId"], crash["id"]);
    EXPECT_EQ(attachments[0]["fileName"], "demo.txt");
    EXPECT_EQ(attachments[0]["data"], platform::crypto::base64Encode("track day notes"));
    for (int i = 0; i < 3; ++i) {
        EXPECT_TRUE(events.count(std::string(c.mode) + "-" + std::to_string(i))) << i;
    }
    const auto crashesDir =
        storage.path() / "data" / "org.gridlark.CrashDemo" / "dev.gridlark.zevozozid" / "crashes";
    std::error_code ec;
    EXPECT_TRUE(std::filesystem::is_empty(crashesDir, ec)) << crashesDir;
}

INSTANTIATE_TEST_SUITE_P(
    Crashes, CrashDemoTest,
    ::testing::Values(CrashCase{"crash-segv", "SIGSEGV", "SEGV_MAPERR", "0x10", nullptr},
                      CrashCase{"crash-cxx", "SIGABRT", "SI_TKILL", "0x0", "std::runtime_error"}));

// A server that refuses the crash log once (a proxy, a captive portal, a body-size limit) loses
// nothing: the run that heard the refusal keeps it stored, and the next run sends the crash log,
// its attachment and every event of the three runs.
class RefusedCrashTest : public ::testing::TestWithParam<int> {};

TEST_P(RefusedCrashTest, TheNextRunSendsTheCrashAndEveryEvent) {
    const int status = GetParam();
    zvt_test::ScriptedServer server;
    testing_support::TempDir storage;
    ASSERT_NE(runDemo(server.base(), storage.path(), "crash-segv", "1").signal, 0);
    server.refuseWhen([status](const std::string& body) -> std::optional<int> {
        if (body.find("\"appleError\"") == std::string::npos) return std::nullopt;
        return status;
    });
    const auto refused = runDemo(server.base(), storage.path(), "run", "1");
    ASSERT_EQ(refused.exitCode, 3) << refused.standardOutput << refused.standardError;
    EXPECT_NE(refused.standardError.find("Status code " + std::to_string(status) + " refused"),
              std::string::npos)
        << refused.standardError;
    const size_t refusedRequests = server.count();
    server.refuseWhen({});
    const auto later = runDemo(server.base(), storage.path(), "run", "1");
    ASSERT_EQ(later.exitCode, 0) << "signal " << later.signal << "\n"
                                 << later.standardOutput << later.standardError;

    // The ids of the accepted logs by type (by name for events): a log sent again because a run
    // ended before it heard the answer counts once.
    std::map<std::string, std::set<std::string>> accepted;
    std::set<std::string> refusedIds, acceptedIds;
    const auto received = server.received();
    for (size_t i = 0; i < received.size(); ++i) {
        const auto body = nlohmann::json::parse(received[i].body);
        for (const auto& log : body["logs"]) {
            const std::string type = log["type"];
            const std::string key = type == "event" ? log.value("name", "") : type;
            if (type == "appleError") {
                (received[i].status == 200 ? acceptedIds : refusedIds).insert(log.value("id", ""));
            }
            if (received[i].status == 200) accepted[key].insert(log.value("id", ""));
        }
        if (received[i].status != 200) {
            EXPECT_LT(i, refusedRequests);
        }
    }
    EXPECT_EQ(refusedIds.size(), 1u);
    EXPECT_EQ(acceptedIds, refusedIds)
        << requestsSeen(received) << "the refused run:\n"
        << refused.standardOutput << refused.standardError << "the next run:\n"
        << later.standardOutput << later.standardError;
    EXPECT_EQ(accepted["appleError"].size(), 1u);
    EXPECT_EQ(accepted["errorAttachment"].size(), 1u);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(accepted["crash-segv-" + std::to_string(i)].size(), 1u) << i;
        EXPECT_EQ(accepted["run-" + std::to_string(i)].size(), 2u) << i;  // runs two and three
    }
}

INSTANTIATE_TEST_SUITE_P(Statuses, RefusedCrashTest, ::testing::Values(403, 404, 413));

// The start after a crash crashes again while it handles the pending report (once it has taken
// it out of its slot, once it has copied it, once it has purged it): the next run sends both
// crashes, each once.
class CrashDuringStartTest : public ::testing::TestWithParam<const char*> {};

TEST_P(CrashDuringStartTest, TheNextRunSendsBothCrashesOnce) {
    zvt_test::ScriptedServer server;
    testing_support::TempDir storage;
    ASSERT_NE(runDemo(server.base(), storage.path(), "crash-segv", "1").signal, 0);
    const auto again =
        runDemo(server.base(), storage.path(), "run", "2", {"--crash-at", GetParam()});
    ASSERT_EQ(again.signal, SIGSEGV) << again.standardOutput << again.standardError;
    // The first run's events may have gone out with the second.
    const auto later =
        runDemo(server.base(), storage.path(), "run", "3", {"--earlier-events", "0"});
    ASSERT_EQ(later.exitCode, 0) << later.standardOutput << later.standardError;
    std::map<std::string, int> crashes;  // by report id
    std::set<std::string> builds;
    for (const auto& log : logsOf(server)) {
        if (log["type"] != "appleError") continue;
        ++crashes[log.value("id", "")];
        builds.insert(log["device"].value("appBuild", ""));
    }
    EXPECT_EQ(crashes.size(), 2u);
    for (const auto& [id, count] : crashes) EXPECT_EQ(count, 1) << id;
    EXPECT_EQ(builds, (std::set<std::string>{"1", "2"}));
}

// Two programs on one data folder whose runtime folders differ (a home shared by two machines, a
// shell without XDG_RUNTIME_DIR), so they never hand over: while another program (the test
// here) owns the SDK folder, a run stores its logs and leaves the pending crash report unread,
// and a run that crashes meanwhile leaves its report in a slot of its own; nothing is sent. The
// owner's next run sends both crashes and every log, each once.
TEST(SharedFolderTest, OnlyTheFolderOwnerSendsAndEachLogArrivesOnce) {
    zvt_test::ScriptedServer server;
    testing_support::TempDir storage;
    // The crashing runs crash once their events are stored: what is tested here is who sends,
    // not a crash that comes between a log's store and the freeing of its crash-buffer slot.
    const std::vector<std::string> storedFirst{"--stored-before-crash"};
    ASSERT_NE(runDemo(server.base(), storage.path(), "crash-segv", "1", storedFirst).signal, 0);
    const auto data = storage.path() / "data";
    const auto reports = data / "org.gridlark.crashreporter" / "org.gridlark.CrashDemo";
    auto pendingSlots = [&] {
        size_t slots = 0;
        for (const auto& entry : std::filesystem::directory_iterator(reports)) {
            const std::string name = entry.path().filename().string();
            if (name.rfind("live_report.", 0) == 0) ++slots;
        }
        return slots;
    };
    ASSERT_EQ(pendingSlots(), 1u);
    {
        const auto lock =
            data / "org.gridlark.CrashDemo" / "dev.gridlark.zevozozid" / "zevozozid.lock";
        const int fd = ::open(lock.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::flock(fd, LOCK_EX), 0);
        const size_t before = server.count();
        const auto stored = runDemo(server.base(), storage.path(), "store", "2");
        EXPECT_EQ(stored.exitCode, 0) << stored.standardOutput << stored.standardError;
        EXPECT_NE(stored.standardOutput.find("crashed in the last session: no"), std::string::npos)
            << stored.standardOutput;
        EXPECT_NE(runDemo(server.base(), storage.path(), "crash-segv", "3", storedFirst).signal, 0);
        EXPECT_EQ(server.count(), before);
        EXPECT_EQ(pendingSlots(), 2u);
        ::close(fd);
    }
    const auto owner = runDemo(server.base(), storage.path(), "run", "4");
    ASSERT_EQ(owner.exitCode, 0) << owner.standardOutput << owner.standardError;
    std::map<std::string, int> crashes, ids, events;  // events by name and build
    for (const auto& log : logsOf(server)) {
        const std::string id = log.value("id", "");
        if (!id.empty()) ++ids[log["type"].get<std::string>() + " " + id];
        if (log["type"] == "appleError") ++crashes[id];
        if (log["type"] == "event") {
            ++events[log.value("name", "") + " " + log["device"].value("appBuild", "")];
        }
    }
    EXPECT_EQ(crashes.size(), 2u);
    for (const auto& [id, count] : ids) EXPECT_EQ(count, 1) << id;
    for (const char* run : {"crash-segv-%d 1", "store-%d 2", "crash-segv-%d 3", "run-%d 4"}) {
        for (int i = 0; i < 3; ++i) {
            char name[64];
            std::snprintf(name, sizeof name, run, i);
            EXPECT_EQ(events[name], 1) << name;
        }
    }
    EXPECT_EQ(pendingSlots(), 0u);
}

INSTANTIATE_TEST_SUITE_P(Steps, CrashDuringStartTest,
                         ::testing::Values("taken", "copied", "purged"));

}  // namespace
#endif
