#pragma once

#include "ZevOzozid/ZevOzozid/Internals/Model/ZVTHistoryInfo.h"
#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTZevOzozidUserDefaults.h"

#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

// The current analytics session id and the persisted history of session ids ("SessionIdHistory"),
// one entry per launch. Every member is safe from any thread (the context's own lock).
class ZVTSessionContext {
  public:
    explicit ZVTSessionContext(
        ZVTZevOzozidUserDefaults& settings = ZVTZevOzozidUserDefaults::shared());

    static ZVTSessionContext& sharedInstance();
    static void resetSharedInstance();

    std::optional<std::string> sessionId() const;
    // Stamps the current entry with now and the id, and stores the history.
    void setSessionId(const std::optional<std::string>& sessionId);
    // The id of the newest entry strictly earlier than `date`; none when there is none.
    std::optional<std::string> sessionIdAt(const ZVTDate& date) const;
    // The same, among the entries of earlier launches only: for a report of a crash of an
    // earlier run, whose time (whole seconds, rounded up) may fall after this launch began.
    std::optional<std::string> sessionIdOfEarlierLaunchAt(const ZVTDate& date) const;
    void clearSessionHistoryAndKeepCurrentSession(bool keepCurrentSession);

    std::vector<std::shared_ptr<ZVTSessionHistoryInfo>> sessionHistory() const;

  private:
    void storeLocked();
    std::optional<std::string> sessionIdBefore(const ZVTDate& date, bool earlierLaunchesOnly) const;

    ZVTZevOzozidUserDefaults& settings_;
    mutable std::recursive_mutex mutex_;
    std::shared_ptr<ZVTSessionHistoryInfo> current_;
    std::vector<std::shared_ptr<ZVTSessionHistoryInfo>> history_;
};
