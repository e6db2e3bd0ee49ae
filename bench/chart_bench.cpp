// The chart pane, offscreen, 1600 x 900, six plots of two series each: the whole generated
// one-hour 25 Hz session (every kept sample) as both series. (a) A cursor move: writing the
// shared cursor's time through every plot controller, legend and repaint to a rendered pane.
// (b) The first draw after a selection: initSubviews with the data, then the first render; once
// with the default visible width and once fitted to the whole hour.
#include "bench/HourSession.h"

#include "views/MVChartController.h"
#include "views/MVChartPlotStackView.h"
#include "views/MVChartPlotView.h"
#include "views/MVChartView.h"

#include "session/MVGLDFileManager.h"
#include "session/MVGlobalData.h"
#include "session/MVHelperKeys.h"
#include "session/MVOptionsAndSettings.h"
#include "session/MVPlotData.h"
#include "session/MVSynchronization.h"

#include "platform/NotificationCenter.h"

#include <QApplication>
#include <QImage>
#include <QWidget>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>

namespace {

// The loaded session, the shared objects of its own and a chart pane handed the data.
struct ChartBench {
    MVGLDFileManager manager;
    MVOptionsAndSettings options{*HourSession::shared().defaults};
    MVGlobalData global{options};
    MVSynchronization sync{global};
    platform::NotificationCenter center;
    MVPlotSeries data;
    MVLapPtr whole;
    QWidget pane;
    std::unique_ptr<MVChartController> chart;
    QImage image{1600, 900, QImage::Format_ARGB32_Premultiplied};
    std::size_t points = 0;

    static ChartBench& shared() {
        static ChartBench* bench = new ChartBench;
        return *bench;
    }

    ChartBench() {
        if (!manager.loadGLDFileWithURL(HourSession::shared().file)) {
            std::fprintf(stderr, "the session did not load\n");
            std::exit(1);
        }
        options.safelyChangeMVDisplayModeWithoutKVO(MVDisplayMode::WholeSession);
        options.safelyChangeMVModeWithoutKVO(MVXAxisMode::Time);
        whole = manager.arrayOfWholeFileMVLaps().front()->data().front();
        const std::vector<MVLapPtr> laps{whole, whole};
        const std::vector<std::string> keys{MVHelper::Key_Speed(),   MVHelper::Key_LatAcc(),
                                            MVHelper::Key_Heading(), MVHelper::Key_Height(),
                                            MVHelper::Key_LongAcc(), MVHelper::Key_Distance()};
        data = MVPlotData(manager).dataTimeBasedForPlotsWithArrayOfLaps(laps, keys);
        for (const auto& curves : data) {
            for (const auto& curve : curves) points += curve.size();
        }
        std::fprintf(stderr, "charting %zu points (%zu plots x 2 series)\n", points, keys.size());
        pane.resize(1600, 900);
        chart = std::make_unique<MVChartController>(
            MVChartShared{&sync, &options, &global, &manager, &center});
        chart->setChartView(&pane);
        chart->chartView()->setAnimationDuration(0);
        chart->setXMax(whole->duration());
        chart->setXShift(sync.syncShift());
        chart->setXMove(-0.5 * sync.syncShift());
        chart->setReferenceLap(whole);
        chart->setArrayOfSelectedKeys(keys);
        chart->setArrayOfSelectedLaps(laps);
        chart->setDataForPlots(data);
        pane.show();
        QApplication::processEvents();
    }

    // Time spent in initSubviews (with the fit) and in the render, over all draws.
    double initMs = 0, renderMs = 0;
    int draws = 0;

    void firstDraw(bool fitted) {
        const auto start = std::chrono::steady_clock::now();
        chart->initSubviews();
        if (fitted) chart->scaleGraphToFitScreen();
        const auto built = std::chrono::steady_clock::now();
        pane.render(&image);
        const auto done = std::chrono::steady_clock::now();
        initMs += std::chrono::duration<double, std::milli>(built - start).count();
        renderMs += std::chrono::duration<double, std::milli>(done - built).count();
        ++draws;
    }
};

double millisecondsOf(const std::function<void()>& work) {
    const auto start = std::chrono::steady_clock::now();
    work();
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
        .count();
}

void BM_FirstDrawAfterSelection(benchmark::State& state) {
    ChartBench& bench = ChartBench::shared();
    const bool fitted = state.range(0) != 0;
    // The very first draw of the process (fonts, glyphs and pixmaps made for the first time).
    static double cold = millisecondsOf([&] { bench.firstDraw(fitted); });
    bench.initMs = bench.renderMs = 0;
    bench.draws = 0;
    for (auto _ : state) bench.firstDraw(fitted);
    state.counters["init_ms"] = bench.initMs / std::max(1, bench.draws);
    state.counters["render_ms"] = bench.renderMs / std::max(1, bench.draws);
    state.counters["cold_ms"] = cold;
    state.counters["points"] = static_cast<double>(bench.points);
    state.SetLabel(fitted ? "fitted to the whole hour" : "default width (750 s)");
}
BENCHMARK(BM_FirstDrawAfterSelection)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_CursorMove(benchmark::State& state) {
    ChartBench& bench = ChartBench::shared();
    bench.firstDraw(false);
    const std::optional<MVPlotRange> range = bench.sync.graphCurrentRange();
    const double from = range ? range->location + 1 : 1;
    const double span = range ? range->length - 2 : 100;
    double t = 0;
    for (auto _ : state) {
        t = t + 7.3 > span ? 0 : t + 7.3;
        bench.sync.setSyncTime(from + t);
        bench.pane.render(&bench.image);
    }
    benchmark::DoNotOptimize(bench.image.constBits());
    const auto* plot = bench.chart->chartView()->plotStackView()->arrayOfPlotViews().front();
    state.counters["curve_redraws"] = plot->curveRenders();
}
BENCHMARK(BM_CursorMove)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
    if (std::getenv("QT_QPA_PLATFORM") == nullptr) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
