// The program's start with and without telemetry, as the user waits for it: the main thread's
// time from before the SDK and its analytics and crash services are started to their return, in
// a fresh process each time (this executable run again with --child). Cases: telemetry off (the
// switch), a first start (no store yet), a start over a full 10 MiB store, and one over a
// damaged full store (salvaged at open), and a start after a crash (a pending crash report left by
// a run that aborted). The store's work runs on the logs queue; the child waits for it after the
// timing, so its cost is also reported ("logs_queue_ms").
//
// The Program cases start the program itself (the offscreen platform, a fresh home each time) on
// the bundled sample session, with telemetry off and on, at a first start and at a next start
// (a home a start has left), and read what it reports: the time is when its window was first on
// screen; "telemetry_main_ms" is the main thread's time in the telemetry start, "lap_table_ms"
// when the sample's lap table was filled, each after the program's start.
#include "tests/ZevOzozid/ZVTStoredDevice.h"

#include "platform/ChildProcess.h"
#include "platform/Dispatch.h"

#include "ZevOzozidZerevuziz/ZevOzozidZerevuziz/ZVTZerevuziz.h"
#include "ZevOzozidZeroduv/ZevOzozidZeroduv/ZVTZeroduv.h"

#include "ZevOzozid/ZevOzozid/Internals/Storage/ZVTLogDBStorage.h"
#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTFileStore.h"
#include "ZevOzozid/ZevOzozid/ZVTApplicationInfo.h"
#include "ZevOzozid/ZevOzozid/ZVTZevOzozid.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <regex>
#include <string>
#include <utility>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

const char* g_self = nullptr;
const ZVTApplicationInfo kApp{"dev.gridlark.startbench", "1.0", "1", "en", 1920, 1080};

void useHome(const fs::path& home) {
    setenv("XDG_DATA_HOME", (home / "data").c_str(), 1);
    setenv("XDG_CONFIG_HOME", (home / "config").c_str(), 1);
    setenv("XDG_CACHE_HOME", (home / "cache").c_str(), 1);
    setenv("XDG_STATE_HOME", (home / "state").c_str(), 1);
}

// In the child: prints "<main thread us> <logs queue us>".
int runChild(const std::string& mode, const fs::path& home) {
    useHome(home);
    platform::mainQueue().bindToCurrentThread();
    const auto began = Clock::now();
    if (mode != "off") {
        ZVTApplicationInfo::setCurrent(kApp);
        ZVTZevOzozid::setNetworkRequestsAllowed(false);
        ZVTZevOzozid::start(
            "7d3e9b52-1c4a-4f86-a0d7-58e2c61b94f3",
            std::vector{ZVTServiceClass::of<ZVTZerevuziz>(), ZVTServiceClass::of<ZVTZeroduv>()});
    }
    const auto started = Clock::now();
    if (mode != "off") ZVTZevOzozid::waitForLogsQueue(std::chrono::seconds(30));
    if (mode == "crash") std::abort();
    const auto settled = Clock::now();
    using std::chrono::duration_cast;
    using std::chrono::microseconds;
    std::printf("%lld %lld\n",
                static_cast<long long>(duration_cast<microseconds>(started - began).count()),
                static_cast<long long>(duration_cast<microseconds>(settled - started).count()));
    std::fflush(stdout);
    std::_Exit(0);
}

class Scratch {
  public:
    Scratch() {
        std::string tmpl = (fs::temp_directory_path() / "zvt-start-XXXXXX").string();
        if (mkdtemp(tmpl.data()) == nullptr) std::abort();
        root_ = tmpl;
    }
    ~Scratch() {
        std::error_code ec;
        fs::remove_all(root_, ec);
    }
    const fs::path& root() const { return root_; }

  private:
    fs::path root_;
};

// A full store (10 MiB of start-service logs), left checkpointed in `home`; its folder's path
// below the home.
fs::path makeFullStore(const fs::path& home) {
    useHome(home);
    ZVTApplicationInfo::setCurrent(kApp);
    ZVTUtility::resetZevOzozidDirectory();
    ZVTLogDBStorage store;
    uint64_t last = 0;
    for (int64_t n = 0;; ++n) {
        auto log = std::make_shared<ZVTAbstractLog>();
        log->setType("startService");
        log->setTimestamp(ZVTDate(std::chrono::milliseconds(1'767'323'045'678 + n)));
        log->setDevice(zvt_test::storedDevice());
        store.saveLog(log, "ZevOzozid", 1);
        if (n % 500 == 0) {
            const uint64_t count = store.countLogs();
            if (count == last) break;
            last = count;
        }
    }
    store.executeNonSelectionQuery("PRAGMA wal_checkpoint(TRUNCATE);");
    return fs::relative(store.dbFileURL().parent_path(), home);
}

void damage(const fs::path& file) {
    std::fstream out(file, std::ios::in | std::ios::out | std::ios::binary);
    out.seekp(static_cast<std::streamoff>(fs::file_size(file) / 2 / 4096 * 4096));
    const std::string junk(4096, '\x5a');
    out.write(junk.data(), static_cast<std::streamsize>(junk.size()));
}

// A home holding what a run that crashed left: its store and its pending crash report.
void makeCrashedHome(const fs::path& home) {
    platform::ProcessOptions options;
    options.timeout = std::chrono::seconds(60);
    const auto result = platform::runProcess({g_self, "--child", "crash", home.string()}, options);
    if (result.signal == 0) std::abort();
}

enum class Store { None, Full, Damaged, Crashed };

void startOnce(benchmark::State& state, const char* mode, Store kind) {
    Scratch full;
    fs::path folder;
    if (kind == Store::Full || kind == Store::Damaged) folder = makeFullStore(full.root());
    if (kind == Store::Crashed) makeCrashedHome(full.root());
    double queueMs = 0;
    for (auto _ : state) {
        state.PauseTiming();
        Scratch home;
        if (kind == Store::Crashed) {
            fs::copy(full.root(), home.root(), fs::copy_options::recursive);
        } else if (kind != Store::None) {
            fs::create_directories(home.root() / folder);
            fs::copy(full.root() / folder, home.root() / folder, fs::copy_options::recursive);
            if (kind == Store::Damaged) damage(home.root() / folder / "Logs.sqlite");
        }
        state.ResumeTiming();
        platform::ProcessOptions options;
        options.timeout = std::chrono::seconds(60);
        const auto result =
            platform::runProcess({g_self, "--child", mode, home.root().string()}, options);
        long long mainUs = 0, queueUs = 0;
        if (result.exitCode != 0 ||
            std::sscanf(result.standardOutput.c_str(), "%lld %lld", &mainUs, &queueUs) != 2) {
            state.SkipWithError("the child failed");
            return;
        }
        state.SetIterationTime(static_cast<double>(mainUs) / 1e6);
        queueMs += static_cast<double>(queueUs) / 1e3;
    }
    state.counters["logs_queue_ms"] =
        benchmark::Counter(queueMs / static_cast<double>(state.iterations()));
}

// Each start in a fresh process: the main thread's milliseconds are the time reported.
#define START_CASE(name, mode, kind)               \
    BENCHMARK_CAPTURE(startOnce, name, mode, kind) \
        ->UseManualTime()                          \
        ->Iterations(10)                           \
        ->Unit(benchmark::kMillisecond)
START_CASE(TelemetryOff, "off", Store::None);
START_CASE(FirstRun, "on", Store::None);
START_CASE(FullStore, "on", Store::Full);
START_CASE(DamagedStore, "on", Store::Damaged);
START_CASE(AfterACrash, "on", Store::Crashed);

#ifdef GRIDLARK_PROGRAM
// What one start of the program reported, in milliseconds after its start.
struct ProgramStart {
    double telemetryMs = 0;  // 0 with telemetry off
    double mappedMs = -1;
    double lapTableMs = -1;
};

// Starts the program on the sample with `home` as its every folder, reads its standard error
// until the lap table is filled (at most 60 s), then asks it to quit and waits for it.
std::optional<ProgramStart> startProgram(const fs::path& home, bool telemetry) {
    std::vector<std::string> env;
    for (char** e = environ; *e != nullptr; ++e) {
        const std::string entry = *e;
        if (entry.rfind("XDG_", 0) == 0 || entry.rfind("HOME=", 0) == 0 ||
            entry.rfind("GRIDLARK_", 0) == 0 || entry.rfind("QT_QPA_PLATFORM=", 0) == 0) {
            continue;
        }
        env.push_back(entry);
    }
    fs::create_directories(home / "run");
    fs::permissions(home / "run", fs::perms::owner_all);
    for (const auto& [variable, folder] : {std::pair{"XDG_CONFIG_HOME", "config"},
                                           {"XDG_DATA_HOME", "data"},
                                           {"XDG_CACHE_HOME", "cache"},
                                           {"XDG_STATE_HOME", "state"}}) {
        env.push_back(std::string(variable) + "=" + (home / folder).string());
    }
    env.push_back("HOME=" + home.string());
    env.push_back("XDG_RUNTIME_DIR=" + (home / "run").string());
    env.push_back("QT_QPA_PLATFORM=offscreen");
    env.push_back(std::string("GRIDLARK_TELEMETRY=") + (telemetry ? "on" : "off"));
    std::vector<char*> envp;
    for (std::string& entry : env) envp.push_back(entry.data());
    envp.push_back(nullptr);
    std::string program = GRIDLARK_PROGRAM, sample = GRIDLARK_SAMPLE;
    char* argv[] = {program.data(), sample.data(), nullptr};

    int pipeFds[2];
    if (pipe2(pipeFds, O_CLOEXEC) != 0) return std::nullopt;
    const pid_t pid = fork();
    if (pid < 0) return std::nullopt;
    if (pid == 0) {
        dup2(pipeFds[1], STDERR_FILENO);
        const int null = open("/dev/null", O_WRONLY);
        dup2(null, STDOUT_FILENO);
        execve(argv[0], argv, envp.data());
        _exit(127);
    }
    close(pipeFds[1]);
    ProgramStart start;
    const std::regex telemetryLine("telemetry started in ([0-9]+) us");
    const std::regex mappedLine("window mapped ([0-9]+) ms after start");
    const std::regex filledLine("lap table filled .* ([0-9]+) ms after start");
    std::string pending;
    const auto deadline = Clock::now() + std::chrono::seconds(60);
    while (start.lapTableMs < 0 && Clock::now() < deadline) {
        pollfd fd{pipeFds[0], POLLIN, 0};
        if (poll(&fd, 1, 1000) <= 0) continue;
        char buffer[4096];
        const ssize_t n = read(pipeFds[0], buffer, sizeof buffer);
        if (n <= 0) break;
        pending.append(buffer, static_cast<size_t>(n));
        for (size_t end; (end = pending.find('\n')) != std::string::npos;) {
            const std::string line = pending.substr(0, end);
            pending.erase(0, end + 1);
            std::smatch m;
            if (std::regex_search(line, m, telemetryLine))
                start.telemetryMs = std::stod(m[1]) / 1e3;
            if (std::regex_search(line, m, mappedLine)) start.mappedMs = std::stod(m[1]);
            if (std::regex_search(line, m, filledLine)) start.lapTableMs = std::stod(m[1]);
        }
    }
    kill(pid, SIGTERM);
    // Drain until it has gone, so a program writing at quit never blocks on the pipe.
    for (char buffer[4096]; read(pipeFds[0], buffer, sizeof buffer) > 0;) {
    }
    close(pipeFds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    if (start.mappedMs < 0 || start.lapTableMs < 0) return std::nullopt;
    return start;
}

void programStart(benchmark::State& state, bool telemetry, bool nextStart) {
    double telemetryMs = 0, lapTableMs = 0;
    for (auto _ : state) {
        state.PauseTiming();
        Scratch home;
        if (nextStart && !startProgram(home.root(), telemetry)) {
            state.SkipWithError("the first start failed");
            return;
        }
        state.ResumeTiming();
        const std::optional<ProgramStart> start = startProgram(home.root(), telemetry);
        if (!start) {
            state.SkipWithError("the program did not fill its lap table");
            return;
        }
        state.SetIterationTime(start->mappedMs / 1e3);
        telemetryMs += start->telemetryMs;
        lapTableMs += start->lapTableMs;
    }
    const double n = static_cast<double>(state.iterations());
    state.counters["telemetry_main_ms"] = benchmark::Counter(telemetryMs / n);
    state.counters["lap_table_ms"] = benchmark::Counter(lapTableMs / n);
}

#define PROGRAM_CASE(name, telemetry, nextStart)                \
    BENCHMARK_CAPTURE(programStart, name, telemetry, nextStart) \
        ->UseManualTime()                                       \
        ->Iterations(10)                                        \
        ->Repetitions(3)                                        \
        ->ReportAggregatesOnly(true)                            \
        ->Unit(benchmark::kMillisecond)
PROGRAM_CASE(ProgramTelemetryOff, false, false);
PROGRAM_CASE(ProgramTelemetryOn, true, false);
PROGRAM_CASE(ProgramTelemetryOffNextStart, false, true);
PROGRAM_CASE(ProgramTelemetryOnNextStart, true, true);
#endif

}  // namespace

int main(int argc, char** argv) {
    g_self = argv[0];
    if (argc == 4 && std::strcmp(argv[1], "--child") == 0) return runChild(argv[2], argv[3]);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
