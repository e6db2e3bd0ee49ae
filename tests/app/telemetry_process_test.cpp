// The program as a user runs it, started twice against a loopback ingestion server: telemetry
// kept in the store without an endpoint and sent by the next run that has one, and a crash of
// one run reported by the next.
#include "tests/support/LoopbackServer.h"
#include "tests/support/ProgramProcess.h"
#include "tests/support/TempDir.h"

#include <QByteArray>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <sqlite3.h>

#include <chrono>
#include <condition_variable>
#include <csignal>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include <sys/wait.h>

namespace {

using namespace std::chrono_literals;
using testing_support::LoopbackServer;
using testing_support::ProgramProcess;
using testing_support::TempDir;
namespace fs = std::filesystem;

// Generous: the program batches logs for a few seconds before sending.
constexpr auto kArrivalLimit = 30s;
// Only a hang reaches it: a program asked to quit, or killed, ends in well under a second.
constexpr auto kExitLimit = 30s;
// The line the program writes once telemetry has started.
constexpr const char* kStartedLine = "gridlark: telemetry started";

struct TelemetryProcessTest : ::testing::Test {
    TempDir home;
    std::mutex mutex;
    std::condition_variable arrived;
    std::vector<nlohmann::json> logs;
    LoopbackServer server;  // gone (its handlers finished) before the logs it fills

    TelemetryProcessTest() {
        server.post(".*", [this](const httplib::Request& request, httplib::Response& response) {
            const auto body = nlohmann::json::parse(request.body, nullptr, false);
            {
                std::lock_guard lock(mutex);
                if (body.is_object() && body["logs"].is_array()) {
                    for (const auto& log : body["logs"]) logs.push_back(log);
                }
            }
            arrived.notify_all();
            response.status = 200;
            response.set_content("{}", "application/json");
        });
    }

    // Starts the program as a user would, with every folder under `home`, telemetry on and the
    // endpoint given (none: set but empty). A program still running when its pointer goes (a
    // failed assertion included) is killed.
    std::unique_ptr<ProgramProcess> start(const std::optional<std::string>& endpoint) {
        const auto env = testing_support::programEnvironment(
            home.path(),
            {"GRIDLARK_TELEMETRY=on", "GRIDLARK_TELEMETRY_URL=" + endpoint.value_or("")});
        return std::make_unique<ProgramProcess>(GRIDLARK_EXECUTABLE, std::vector<std::string>{},
                                                env);
    }
    // The wait status of `program` once it has ended; nullopt when only a hang would be slower.
    static std::optional<int> finish(ProgramProcess& program) {
        return program.waitForExit(kExitLimit);
    }
    // Asks the program to quit (as when its window is closed) and answers its exit status.
    static std::optional<int> quit(ProgramProcess& program) {
        program.terminate();
        return finish(program);
    }

    // Waits until the received logs satisfy `condition`; false when the limit passed first.
    bool received(const std::function<bool(const std::vector<nlohmann::json>&)>& condition) {
        std::unique_lock lock(mutex);
        return arrived.wait_for(lock, kArrivalLimit, [&] { return condition(logs); });
    }
    static size_t countOf(const std::vector<nlohmann::json>& logs, const std::string& type) {
        size_t n = 0;
        for (const auto& log : logs) n += log.value("type", "") == type ? 1 : 0;
        return n;
    }
    static bool hasStartLogs(const std::vector<nlohmann::json>& logs) {
        return countOf(logs, "startService") >= 1 && countOf(logs, "startSession") >= 1;
    }
    std::vector<nlohmann::json> snapshot() {
        std::lock_guard lock(mutex);
        return logs;
    }

    // The stored logs' archives, decoded, from the one "Logs.sqlite" under the data folder.
    std::vector<std::string> storedArchives() const {
        std::vector<std::string> archives;
        for (const auto& entry : fs::recursive_directory_iterator(home.path() / "data")) {
            if (entry.path().filename() != "Logs.sqlite") continue;
            sqlite3* db = nullptr;
            if (sqlite3_open_v2(entry.path().c_str(), &db, SQLITE_OPEN_READONLY, nullptr) ==
                SQLITE_OK) {
                sqlite3_stmt* statement = nullptr;
                sqlite3_prepare_v2(db, "SELECT log FROM logs", -1, &statement, nullptr);
                while (statement != nullptr && sqlite3_step(statement) == SQLITE_ROW) {
                    const auto* text =
                        reinterpret_cast<const char*>(sqlite3_column_text(statement, 0));
                    archives.push_back(QByteArray::fromBase64(QByteArray(text)).toStdString());
                }
                sqlite3_finalize(statement);
            }
            sqlite3_close(db);
        }
        return archives;
    }
    bool storedHolds(const std::string& text) const {
        for (const std::string& archive : storedArchives()) {
            if (archive.find(text) != std::string::npos) return true;
        }
        return false;
    }
};

TEST_F(TelemetryProcessTest, WithoutAnEndpointLogsStayStoredUntilARunThatHasOne) {
    auto first = start(std::nullopt);
    ASSERT_TRUE(first->started());
    ASSERT_TRUE(first->waitForOutput(kStartedLine, 1, kArrivalLimit)) << first->output();
    // The first run's start logs are in the store once it has quit; nothing was sent.
    const auto status = quit(*first);
    ASSERT_TRUE(status && WIFEXITED(*status)) << first->output();
    EXPECT_TRUE(storedHolds("startService")) << first->output();
    EXPECT_TRUE(storedHolds("startSession")) << first->output();
    EXPECT_EQ(server.requestCount(), 0);

    auto second = start(server.url("/"));
    ASSERT_TRUE(second->started());
    EXPECT_TRUE(received([](const auto& logs) {
        return countOf(logs, "startService") >= 2 && countOf(logs, "startSession") >= 2;
    })) << second->output();
    EXPECT_TRUE(quit(*second).has_value()) << second->output();
}

// Runs the program, crashes it with SIGSEGV once its start logs arrived, starts it again and
// waits for the crash log; answers the crashed run's session id and every log received.
void crashAndRestart(TelemetryProcessTest& t, std::string& crashedSid,
                     std::vector<nlohmann::json>& all) {
    auto first = t.start(t.server.url("/"));
    ASSERT_TRUE(first->started());
    ASSERT_TRUE(t.received(TelemetryProcessTest::hasStartLogs)) << first->output();
    for (const auto& log : t.snapshot()) {
        if (log.value("type", "") == "startSession") crashedSid = log.value("sid", "");
    }
    ASSERT_FALSE(crashedSid.empty());

    ::kill(first->pid(), SIGSEGV);
    const auto crashed = TelemetryProcessTest::finish(*first);
    ASSERT_TRUE(crashed && WIFSIGNALED(*crashed)) << first->output();
    EXPECT_EQ(WTERMSIG(*crashed), SIGSEGV);
    bool pendingReport = false;
    for (const auto& entry : fs::recursive_directory_iterator(t.home.path() / "data")) {
        pendingReport = pendingReport || entry.path().extension() == ".zvcrash";
    }
    EXPECT_TRUE(pendingReport);

    auto second = t.start(t.server.url("/"));
    ASSERT_TRUE(second->started());
    ASSERT_TRUE(t.received([](const auto& logs) {
        return TelemetryProcessTest::countOf(logs, "appleError") >= 1;
    })) << second->output();
    const auto status = TelemetryProcessTest::quit(*second);
    EXPECT_TRUE(status && WIFEXITED(*status) && WEXITSTATUS(*status) == 0) << second->output();
    all = t.snapshot();
    ASSERT_EQ(TelemetryProcessTest::countOf(all, "appleError"), 1u);
}

const nlohmann::json& crashLogIn(const std::vector<nlohmann::json>& all) {
    for (const auto& log : all) {
        if (log.value("type", "") == "appleError") return log;
    }
    static const nlohmann::json none;
    return none;
}

TEST_F(TelemetryProcessTest, ACrashIsReportedByTheNextRun) {
    std::string crashedSid;
    std::vector<nlohmann::json> all;
    ASSERT_NO_FATAL_FAILURE(crashAndRestart(*this, crashedSid, all));
    const nlohmann::json& log = crashLogIn(all);
    EXPECT_EQ(log.value("processName", ""), "gridlark");
    EXPECT_EQ(log.value("osExceptionType", ""), "SIGSEGV");
    EXPECT_EQ(log.value("osExceptionCode", ""), "SI_USER");
    // A signal a process sent has no fault address (si_addr holds the sender's pid there).
    EXPECT_EQ(log.value("osExceptionAddress", ""), "0x0");
    // The session of the crashed run, not of the run that reports it.
    EXPECT_EQ(log.value("sid", ""), crashedSid);
    // The program's identity, as every other log of the crashed run carries it.
    nlohmann::json runDevice;
    for (const auto& other : all) {
        if (other.value("type", "") == "startSession" && other.value("sid", "") == crashedSid) {
            runDevice = other["device"];
        }
    }
    ASSERT_TRUE(runDevice.is_object());
    EXPECT_EQ(runDevice.value("appNamespace", ""), "org.gridlark.Gridlark");
    for (const char* key : {"appNamespace", "appVersion", "appBuild"}) {
        EXPECT_EQ(log["device"].value(key, "?"), runDevice.value(key, "-")) << key;
    }
}

}  // namespace
