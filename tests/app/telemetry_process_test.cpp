// The program as a user runs it, started twice against a loopback ingestion server: telemetry
// kept in the store without an endpoint and sent by the next run that has one, and a crash of
// one run reported by the next.
#include "tests/support/LoopbackServer.h"
#include "tests/support/TempDir.h"

#include <QByteArray>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <sqlite3.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <filesystem>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

using namespace std::chrono_literals;
using testing_support::LoopbackServer;
using testing_support::TempDir;
namespace fs = std::filesystem;

// Generous: the program batches logs for a few seconds before sending.
constexpr auto kArrivalLimit = 30s;
// The line the program writes once telemetry has started.
constexpr const char* kStartedLine = "gridlark: telemetry started";

struct TelemetryProcessTest : ::testing::Test {
    TempDir home;
    std::mutex mutex;
    std::condition_variable arrived;
    std::vector<nlohmann::json> logs;
    std::string output;  // what the program wrote on its standard output and error
    std::thread reader;
    LoopbackServer server;  // last: gone (its handlers finished) before the rest

    ~TelemetryProcessTest() override {
        if (reader.joinable()) reader.join();
    }

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

    // Starts the program on the offscreen platform with every folder under `home`, telemetry
    // on and the endpoint given (none: set but empty). Anything else a run would reach outside
    // this machine is turned to a closed loopback port.
    pid_t start(const std::optional<std::string>& endpoint) {
        std::vector<std::string> env;
        for (char** e = environ; *e != nullptr; ++e) {
            const std::string entry = *e;
            const std::string name = entry.substr(0, entry.find('='));
            if (name.rfind("XDG_", 0) == 0 || name == "HOME" || name.rfind("GRIDLARK_", 0) == 0 ||
                name == "QT_QPA_PLATFORM" || name.find("proxy") != std::string::npos ||
                name.find("PROXY") != std::string::npos) {
                continue;
            }
            env.push_back(entry);
        }
        const std::string closed =
            "http://127.0.0.1:" + std::to_string(LoopbackServer::closedPort());
        const fs::path h = home.path();
        for (const std::string& entry :
             {"HOME=" + h.string(), "XDG_CONFIG_HOME=" + (h / "config").string(),
              "XDG_DATA_HOME=" + (h / "data").string(), "XDG_CACHE_HOME=" + (h / "cache").string(),
              "XDG_RUNTIME_DIR=" + h.string(), "XDG_DESKTOP_DIR=" + (h / "Desktop").string(),
              "XDG_DOCUMENTS_DIR=" + (h / "Documents").string(),
              std::string("QT_QPA_PLATFORM=offscreen"),
              "GRIDLARK_TELEMETRY_URL=" + endpoint.value_or(""), "http_proxy=" + closed,
              "https_proxy=" + closed, std::string("no_proxy=127.0.0.1"),
              std::string("GRIDLARK_TELEMETRY=on")}) {
            env.push_back(entry);
        }
        std::vector<char*> envp;
        for (std::string& entry : env) envp.push_back(entry.data());
        envp.push_back(nullptr);
        std::string program = GRIDLARK_EXECUTABLE;
        char* argv[] = {program.data(), nullptr};
        int pipeFds[2];
        if (pipe(pipeFds) != 0) return -1;
        const pid_t pid = fork();
        if (pid == 0) {
            dup2(pipeFds[1], STDERR_FILENO);
            dup2(pipeFds[1], STDOUT_FILENO);
            close(pipeFds[0]);
            close(pipeFds[1]);
            execve(argv[0], argv, envp.data());
            _exit(127);
        }
        close(pipeFds[1]);
        if (reader.joinable()) reader.join();
        reader = std::thread([this, fd = pipeFds[0]] {
            char buffer[4096];
            ssize_t n = 0;
            while ((n = read(fd, buffer, sizeof buffer)) > 0 || (n < 0 && errno == EINTR)) {
                if (n <= 0) continue;
                {
                    std::lock_guard lock(mutex);
                    output.append(buffer, static_cast<size_t>(n));
                }
                arrived.notify_all();
            }
            close(fd);
        });
        return pid;
    }

    // The wait status of `pid`.
    int finish(pid_t pid) {
        int status = 0;
        while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
        if (reader.joinable()) reader.join();
        return status;
    }
    // Asks the program to quit (as when its window is closed) and answers its exit status.
    int quit(pid_t pid) {
        kill(pid, SIGTERM);
        return finish(pid);
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
    // Waits until the program has written `text`; false when the limit passed first.
    bool printed(const std::string& text) {
        std::unique_lock lock(mutex);
        return arrived.wait_for(lock, kArrivalLimit,
                                [&] { return output.find(text) != std::string::npos; });
    }
    std::string programOutput() {
        std::lock_guard lock(mutex);
        return output;
    }
};

TEST_F(TelemetryProcessTest, WithoutAnEndpointLogsStayStoredUntilARunThatHasOne) {
    const pid_t first = start(std::nullopt);
    ASSERT_GT(first, 0);
    ASSERT_TRUE(printed(kStartedLine)) << programOutput();
    // The first run's start logs are in the store once it has quit; nothing was sent.
    const int status = quit(first);
    ASSERT_TRUE(WIFEXITED(status)) << programOutput();
    EXPECT_TRUE(storedHolds("startService")) << programOutput();
    EXPECT_TRUE(storedHolds("startSession")) << programOutput();
    EXPECT_EQ(server.requestCount(), 0);

    const pid_t second = start(server.url("/"));
    ASSERT_GT(second, 0);
    EXPECT_TRUE(received([](const auto& logs) {
        return countOf(logs, "startService") >= 2 && countOf(logs, "startSession") >= 2;
    })) << programOutput();
    quit(second);
}

// Runs the program, crashes it with SIGSEGV once its start logs arrived, starts it again and
// waits for the crash log; answers the crashed run's session id and every log received.
void crashAndRestart(TelemetryProcessTest& t, std::string& crashedSid,
                     std::vector<nlohmann::json>& all) {
    const pid_t first = t.start(t.server.url("/"));
    ASSERT_GT(first, 0);
    ASSERT_TRUE(t.received(TelemetryProcessTest::hasStartLogs)) << t.programOutput();
    for (const auto& log : t.snapshot()) {
        if (log.value("type", "") == "startSession") crashedSid = log.value("sid", "");
    }
    ASSERT_FALSE(crashedSid.empty());

    kill(first, SIGSEGV);
    const int crashed = t.finish(first);
    ASSERT_TRUE(WIFSIGNALED(crashed)) << t.programOutput();
    EXPECT_EQ(WTERMSIG(crashed), SIGSEGV);
    bool pendingReport = false;
    for (const auto& entry : fs::recursive_directory_iterator(t.home.path() / "cache")) {
        pendingReport = pendingReport || entry.path().extension() == ".zvcrash";
    }
    EXPECT_TRUE(pendingReport);

    const pid_t second = t.start(t.server.url("/"));
    ASSERT_GT(second, 0);
    ASSERT_TRUE(t.received([](const auto& logs) {
        return TelemetryProcessTest::countOf(logs, "appleError") >= 1;
    })) << t.programOutput();
    const int status = t.quit(second);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << t.programOutput();
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
