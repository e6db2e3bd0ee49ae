// The fast session summary of a generated one-hour session at 25 Hz (90,000 rows, 12 channels),
// run the way the open panel runs it: one operation on an operation queue, waited for.
#include "platform/OperationQueue.h"
#include "platform/UserDefaults.h"
#include "session/MVCircuitDatabase.h"
#include "session/MVGLDFileManagerFastOperation.h"

#include "support/SessionGenerator.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <unistd.h>

namespace {

// The session file, generated once, in a temporary folder removed at exit.
struct HourSession {
    std::filesystem::path folder;
    std::filesystem::path file;
    size_t laps = 0;
    std::unique_ptr<platform::UserDefaults> defaults;

    HourSession() {
        folder = std::filesystem::temp_directory_path() /
                 ("gridlark-fast-parse-bench-" + std::to_string(getpid()));
        std::filesystem::create_directories(folder);
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

class FastParse : public benchmark::Fixture {
  public:
    void SetUp(const benchmark::State&) override { session_ = &hourSession(); }

  protected:
    static HourSession& hourSession() {
        static HourSession session;
        return session;
    }
    HourSession* session_ = nullptr;
};

BENCHMARK_DEFINE_F(FastParse, Summary)(benchmark::State& state) {
    platform::OperationQueue queue("fast summary bench");
    size_t laps = 0;
    for (auto _ : state) {
        auto op = std::make_shared<MVGLDFileManagerFastOperation>(
            session_->file, *session_->defaults, MVCircuitDatabase::shippedDatabasePath());
        queue.addOperation(op);
        if (!queue.waitUntilAllOperationsAreFinished(std::chrono::seconds(60))) {
            state.SkipWithError("the summary did not finish");
            break;
        }
        laps = op->laps() ? op->laps()->count() : 0;
        benchmark::DoNotOptimize(laps);
    }
    if (laps != session_->laps) state.SkipWithError("the summary did not find every lap");
    state.counters["laps"] = static_cast<double>(laps);
}
BENCHMARK_REGISTER_F(FastParse, Summary)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
