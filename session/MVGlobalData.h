#pragma once

#include "session/MVLap.h"

#include "platform/Observable.h"
#include "platform/ObserverToken.h"

#include <memory>
#include <string>
#include <vector>

class MVOptionsAndSettings;

// What the user has chosen to look at across all loaded sessions: the laps shown by the analysis
// panes, the channels charted and the best lap of all sessions; plus the limits of the visible
// x-range width, which follow the current options. One object for the process (sharedManager()).
// Setters notify the property's observers synchronously on every call, also with an unchanged
// value; safelyChangeSelectedLapsWithoutKVO() and resetData() notify nobody.
class MVGlobalData {
  public:
    template <typename T>
    using Handler = typename platform::Observable<T>::Handler;

    // The limits read `options` each time they are asked for.
    explicit MVGlobalData(MVOptionsAndSettings& options);
    // Reads the process-wide options.
    MVGlobalData();
    MVGlobalData(const MVGlobalData&) = delete;
    MVGlobalData& operator=(const MVGlobalData&) = delete;

    // Created on first use (thread-safe); never freed.
    static MVGlobalData& sharedManager();

    // The fastest lap over all loaded sessions, or nullptr.
    MVLapPtr bestLap() const { return bestLap_.get(); }
    void setBestLap(MVLapPtr lap) { bestLap_.set(std::move(lap)); }
    // One whole-session lap alone, or one or two gate-to-gate laps (slower first, faster last).
    std::vector<MVLapPtr> selectedLaps() const { return selectedLaps_.get(); }
    void setSelectedLaps(std::vector<MVLapPtr> laps) { selectedLaps_.set(std::move(laps)); }
    // Channel keys charted, in chart order.
    std::vector<std::string> selectedKeys() const { return selectedKeys_.get(); }
    void setSelectedKeys(std::vector<std::string> keys) { selectedKeys_.set(std::move(keys)); }

    // Visible x-range width limits (seconds, or position indexes on the position axis):
    // whole-session display 200 / 5000 / 750; laps on the time axis 20 / 500 / 150; laps on the
    // position axis 200 / 5000 / 1500.
    double MaxValue() const;
    double MinValue() const;
    double DefaultValue() const;

    // Stores the selected laps without notifying anyone.
    void safelyChangeSelectedLapsWithoutKVO(std::vector<MVLapPtr> laps) {
        selectedLaps_.setWithoutNotifying(std::move(laps));
    }
    // Empties the selection and clears the best lap without notifying anyone.
    void resetData();

    [[nodiscard]] platform::ObserverToken observeBestLap(Handler<MVLapPtr> h) {
        return bestLap_.observe(std::move(h));
    }
    [[nodiscard]] platform::ObserverToken observeSelectedLaps(Handler<std::vector<MVLapPtr>> h) {
        return selectedLaps_.observe(std::move(h));
    }
    [[nodiscard]] platform::ObserverToken observeSelectedKeys(Handler<std::vector<std::string>> h) {
        return selectedKeys_.observe(std::move(h));
    }

  private:
    struct Limits {
        double min, max, byDefault;
    };
    Limits limits() const;

    MVOptionsAndSettings& options_;
    platform::Observable<MVLapPtr> bestLap_;
    platform::Observable<std::vector<MVLapPtr>> selectedLaps_;
    platform::Observable<std::vector<std::string>> selectedKeys_;
};
