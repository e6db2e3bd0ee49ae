#pragma once

#include "platform/Observable.h"
#include "platform/ObserverToken.h"

#include <optional>

class MVGlobalData;

// A range of the chart's x axis: where it starts and how long it is.
struct MVPlotRange {
    double location = 0.0;
    double length = 0.0;
    bool operator==(const MVPlotRange&) const = default;
};

// The one cursor that keeps the analysis panes in step (sharedManager()). It holds the cursor's
// place on the x axis (a time on the time axis, a position index on the position axis), the
// visible x-range width and the chart's full and current x range; no laps or panes.
//
// Every notifying setter calls the property's observers synchronously on the calling thread (the
// main thread), on every call, also with an unchanged value. Writer convention: a pane that
// observes a property and writes it resets its own token, writes, and observes again, so only the
// other observers hear of its write.
class MVSynchronization {
  public:
    template <typename T>
    using Handler = typename platform::Observable<T>::Handler;

    // The width limits are read from `selection` when they are needed.
    explicit MVSynchronization(MVGlobalData& selection);
    // Uses the process-wide selection object.
    MVSynchronization();
    MVSynchronization(const MVSynchronization&) = delete;
    MVSynchronization& operator=(const MVSynchronization&) = delete;

    // Created on first use (thread-safe), reset once; never freed.
    static MVSynchronization& sharedManager();

    // Width back to the selection's DefaultValue, cursor to 0 in both modes; notifies nobody.
    // Safe on a background thread.
    void resetSync();

    // Seconds from the start of the lap shown (time axis).
    double syncTime() const { return syncTime_.get(); }
    void setSyncTime(double v) { syncTime_.set(v); }
    // Visible x-range width, kept within the selection's MinValue .. MaxValue by the setter
    // (a NaN becomes the selection's DefaultValue).
    double syncShift() const { return syncShift_.get(); }
    void setSyncShift(double v);
    // Position index along the reference lap (position axis).
    double syncIndexOfPosition() const { return syncIndexOfPosition_.get(); }
    void setSyncIndexOfPosition(double v) { syncIndexOfPosition_.set(v); }
    // x value where the mouse was last released in a chart plot.
    double graphXSelection() const { return graphXSelection_.get(); }
    void setGraphXSelection(double v) { graphXSelection_.set(v); }
    // Full x extent of the chart: the lap's duration or its number of position indexes.
    double graphRangeMax() const { return graphRangeMax_.get(); }
    void setGraphRangeMax(double v) { graphRangeMax_.set(v); }
    // The chart's visible x range; none until a chart sets it.
    std::optional<MVPlotRange> graphCurrentRange() const { return graphCurrentRange_.get(); }
    void setGraphCurrentRange(std::optional<MVPlotRange> v) { graphCurrentRange_.set(v); }
    // Step of one cursor move command.
    double xMoveRange() const { return 10.0; }

    // Silent setters: no clamping, nobody notified.
    void safelyChangeSyncTimeWithoutKVO(double v) { syncTime_.setWithoutNotifying(v); }
    void safelyChangeSyncShiftWithoutKVO(double v) { syncShift_.setWithoutNotifying(v); }
    void safelyChangeSyncIndexOfPositionWithoutKVO(double v) {
        syncIndexOfPosition_.setWithoutNotifying(v);
    }

    // Observation: handlers get (old value, new value); the token ends the observation.
    [[nodiscard]] platform::ObserverToken observeSyncTime(Handler<double> h) {
        return syncTime_.observe(std::move(h));
    }
    [[nodiscard]] platform::ObserverToken observeSyncShift(Handler<double> h) {
        return syncShift_.observe(std::move(h));
    }
    [[nodiscard]] platform::ObserverToken observeSyncIndexOfPosition(Handler<double> h) {
        return syncIndexOfPosition_.observe(std::move(h));
    }
    [[nodiscard]] platform::ObserverToken observeGraphXSelection(Handler<double> h) {
        return graphXSelection_.observe(std::move(h));
    }
    [[nodiscard]] platform::ObserverToken observeGraphRangeMax(Handler<double> h) {
        return graphRangeMax_.observe(std::move(h));
    }
    [[nodiscard]] platform::ObserverToken observeGraphCurrentRange(
        Handler<std::optional<MVPlotRange>> h) {
        return graphCurrentRange_.observe(std::move(h));
    }

  private:
    MVGlobalData& selection_;
    platform::Observable<double> syncTime_;
    platform::Observable<double> syncShift_;
    platform::Observable<double> syncIndexOfPosition_;
    platform::Observable<double> graphXSelection_;
    platform::Observable<double> graphRangeMax_;
    platform::Observable<std::optional<MVPlotRange>> graphCurrentRange_;
};
