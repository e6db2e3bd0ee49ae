// The fast session summary of a generated one-hour session at 25 Hz (90,000 rows, 12 channels),
// run the way the open panel runs it: one operation on an operation queue, waited for.
#include "bench/HourSession.h"

#include "session/MVCircuitDatabase.h"
#include "session/MVGLDFileManagerFastOperation.h"

#include "platform/OperationQueue.h"
#include "platform/UserDefaults.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>

#include <unistd.h>

namespace {

class FastParse : public benchmark::Fixture {
  public:
    void SetUp(const benchmark::State&) override { session_ = &hourSession(); }

  protected:
    static HourSession& hourSession() { return HourSession::shared(); }
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
