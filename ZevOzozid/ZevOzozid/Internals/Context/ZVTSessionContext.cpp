#include "ZevOzozid/ZevOzozid/Internals/Context/ZVTSessionContext.h"

#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTLogger.h"
#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTSingleton.h"
#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTUtility.h"

namespace {
const std::string kHistoryKey = "SessionIdHistory";

ZVTSingleton<ZVTSessionContext>& singleton() {
    static auto* s = new ZVTSingleton<ZVTSessionContext>;
    return *s;
}
}  // namespace

ZVTSessionContext& ZVTSessionContext::sharedInstance() {
    return singleton().shared();
}
void ZVTSessionContext::resetSharedInstance() {
    singleton().reset();
}

ZVTSessionContext::ZVTSessionContext(ZVTZevOzozidUserDefaults& settings) : settings_(settings) {
    if (auto data = settings_.dataForKey(kHistoryKey)) {
        if (auto list = ZVTUtility::unarchiveKeyedListOf<ZVTSessionHistoryInfo>(&*data)) {
            history_ = std::move(*list);
        }
    }
    ZVTLogDebug(kZVTLogTag, history_.size(), " session(s) in the history.");
    current_ = std::make_shared<ZVTSessionHistoryInfo>(ZVTUtility::currentDate(), std::nullopt);
    history_.push_back(current_);
}

std::optional<std::string> ZVTSessionContext::sessionId() const {
    std::lock_guard lock(mutex_);
    return current_->sessionId();
}

void ZVTSessionContext::setSessionId(const std::optional<std::string>& sessionId) {
    ZVTDate stamp;
    {
        std::lock_guard lock(mutex_);
        stamp = ZVTUtility::currentDate();
        if (!history_.empty()) history_.pop_back();
        current_->setSessionId(sessionId);
        current_->setTimestamp(stamp);
        history_.push_back(current_);
        storeLocked();
    }
    // Logged after the lock is let go: the log handler is the application's and may take locks
    // of its own, or ask this context for the session id.
    ZVTLogVerbose(kZVTLogTag, "Stored new session with id:", sessionId.value_or("(null)"),
                  " and timestamp: ", ZVTUtility::dateToISO8601(stamp), ".");
}

std::optional<std::string> ZVTSessionContext::sessionIdAt(const ZVTDate& date) const {
    return sessionIdBefore(date, false);
}

std::optional<std::string> ZVTSessionContext::sessionIdOfEarlierLaunchAt(
    const ZVTDate& date) const {
    return sessionIdBefore(date, true);
}

std::optional<std::string> ZVTSessionContext::sessionIdBefore(const ZVTDate& date,
                                                              bool earlierLaunchesOnly) const {
    std::lock_guard lock(mutex_);
    for (auto it = history_.rbegin(); it != history_.rend(); ++it) {
        if (earlierLaunchesOnly && *it == current_) continue;
        const auto& stamp = (*it)->timestamp();
        if (stamp && *stamp < date) return (*it)->sessionId();
    }
    return std::nullopt;
}

void ZVTSessionContext::clearSessionHistoryAndKeepCurrentSession(bool keepCurrentSession) {
    {
        std::lock_guard lock(mutex_);
        history_.clear();
        if (keepCurrentSession) history_.push_back(current_);
        storeLocked();
    }
    ZVTLogVerbose(kZVTLogTag, "Cleared old sessions.");
}

std::vector<std::shared_ptr<ZVTSessionHistoryInfo>> ZVTSessionContext::sessionHistory() const {
    std::lock_guard lock(mutex_);
    return history_;
}

void ZVTSessionContext::storeLocked() {
    if (auto data = ZVTUtility::archiveKeyedList(history_)) settings_.setData(*data, kHistoryKey);
    // The next run tells the crash of this one with it, however soon this run ends.
    settings_.store().writeNow();
}
