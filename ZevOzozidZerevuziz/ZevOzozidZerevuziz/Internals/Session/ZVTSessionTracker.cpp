#include "ZevOzozidZerevuziz/ZevOzozidZerevuziz/Internals/Session/ZVTSessionTracker.h"

#include "ZevOzozidZerevuziz/ZevOzozidZerevuziz/Model/ZVTStartSessionLog.h"
#include "ZevOzozidZerevuziz/ZevOzozidZerevuziz/ZVTZerevuzizConstants.h"

#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTLogger.h"
#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTUUID.h"
#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTUtility.h"
#include "ZevOzozid/ZevOzozid/Model/ZVTNoAutoAssignSessionIdLog.h"

#include <chrono>

namespace {

int64_t toNanos(const ZVTDate& date) {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(date.time_since_epoch()).count();
}

ZVTDate fromNanos(int64_t nanos) {
    return ZVTDate(std::chrono::duration_cast<ZVTDate::duration>(std::chrono::nanoseconds(nanos)));
}

double secondsBetween(const ZVTDate& later, const ZVTDate& earlier) {
    return std::chrono::duration<double>(later - earlier).count();
}

// The start-service log of the SDK entry; only its type is looked at.
bool isStartServiceLog(const ZVTLog& log) {
    return log.type() && *log.type() == "startService";
}

bool keepsOwnSessionId(const ZVTLog& log) {
    return dynamic_cast<const ZVTNoAutoAssignSessionIdLog*>(&log) != nullptr;
}

}  // namespace

ZVTSessionTracker::ZVTSessionTracker(ZVTSessionContext& context, ZVTZevOzozidUserDefaults& settings,
                                     platform::NotificationCenter& center)
    : context_(context), center_(center) {
    settings.removeObjectForKey("PastSessions");
}

ZVTSessionTracker::~ZVTSessionTracker() {
    resignObserver_.reset();
    activeObserver_.reset();
}

void ZVTSessionTracker::setDelegate(const std::shared_ptr<ZVTSessionTrackerDelegate>& delegate) {
    std::lock_guard lock(mutex_);
    delegate_ = delegate;
}

void ZVTSessionTracker::start() {
    if (manual_.load() || started_.exchange(true)) return;
    const int state = ZVTUtility::applicationState();
    if (state == ZVTUtility::ZVTApplicationStateActive || state == 1) renewSessionId();
    resignObserver_ = center_.addObserver(kDidResignActiveNotification, nullptr,
                                          [this](const auto&) { applicationDidEnterBackground(); });
    activeObserver_ =
        center_.addObserver(kWillBecomeActiveNotification, nullptr,
                            [this](const auto&) { applicationWillEnterForeground(); });
}

void ZVTSessionTracker::stop() {
    if (manual_.load() || !started_.load()) return;
    resignObserver_.reset();
    activeObserver_.reset();
    started_ = false;
    context_.setSessionId(std::nullopt);
}

void ZVTSessionTracker::renewSessionId() {
    std::shared_ptr<ZVTLog> log;
    {
        std::lock_guard lock(mutex_);
        if (!started_.load()) return;
        if (context_.sessionId() && !hasSessionTimedOut()) return;
        log = makeStartSessionLocked();
    }
    handToDelegate(log);
}

bool ZVTSessionTracker::hasSessionTimedOut() const {
    std::lock_guard lock(mutex_);
    const ZVTDate now = ZVTUtility::currentDate();
    const auto lastLog = lastCreatedLogTime();
    const bool noLogForLong = !lastLog || secondsBetween(now, *lastLog) >= sessionTimeout_;
    // There are no application extensions on this platform, so the background rules always apply.
    const auto& bg = lastEnteredBackgroundTime_;
    const auto& fg = lastEnteredForegroundTime_;
    const bool inBackgroundForLong =
        bg && fg && *bg > *fg && secondsBetween(now, *bg) >= sessionTimeout_;
    const bool wasInBackgroundForLong = bg && fg && secondsBetween(*fg, *bg) >= sessionTimeout_;
    return noLogForLong && (inBackgroundForLong || wasInBackgroundForLong);
}

std::shared_ptr<ZVTLog> ZVTSessionTracker::makeStartSessionLocked() {
    const std::string sessionId = ZVTUUID::random().UUIDString();
    context_.setSessionId(sessionId);
    ZVTLogInfo(kZVTZerevuzizLogTag, "New session ID: ", sessionId);
    auto log = std::make_shared<ZVTStartSessionLog>();
    log->setSid(sessionId);
    return log;
}

void ZVTSessionTracker::handToDelegate(const std::shared_ptr<ZVTLog>& log) {
    std::shared_ptr<ZVTSessionTrackerDelegate> delegate;
    {
        std::lock_guard lock(mutex_);
        delegate = delegate_.lock();
    }
    if (delegate) delegate->sessionTrackerProcessLog(*this, log);
}

void ZVTSessionTracker::sendStartSession() {
    std::shared_ptr<ZVTLog> log;
    {
        std::lock_guard lock(mutex_);
        log = makeStartSessionLocked();
    }
    handToDelegate(log);
}

void ZVTSessionTracker::startSession() {
    if (!manual_.load()) {
        ZVTLogInfo(kZVTZerevuzizLogTag,
                   "Can't start new session because manual session tracker is disabled.");
        return;
    }
    sendStartSession();
    ZVTLogInfo(kZVTZerevuzizLogTag, "Started a new session: ", context_.sessionId().value_or(""));
}

void ZVTSessionTracker::enableManualSessionTracker() {
    if (started_.load()) {
        ZVTLogInfo(kZVTZerevuzizLogTag,
                   "Manual session tracker should be set before the ZVTZerevuziz service is "
                   "started.");
        return;
    }
    manual_ = true;
    ZVTLogInfo(kZVTZerevuzizLogTag, "Manual session tracker is enabled.");
}

void ZVTSessionTracker::applicationDidEnterBackground() {
    if (manual_.load()) {
        ZVTLogInfo(kZVTZerevuzizLogTag,
                   "Manual session tracker is enabled. Skip tracking a session status request "
                   "after enter background.");
        return;
    }
    std::lock_guard lock(mutex_);
    lastEnteredBackgroundTime_ = ZVTUtility::currentDate();
}

void ZVTSessionTracker::applicationWillEnterForeground() {
    if (manual_.load()) {
        ZVTLogInfo(kZVTZerevuzizLogTag,
                   "Manual session tracker is enabled. Skip tracking a session status request "
                   "after enter foreground.");
        return;
    }
    {
        std::lock_guard lock(mutex_);
        lastEnteredForegroundTime_ = ZVTUtility::currentDate();
    }
    renewSessionId();
}

std::optional<ZVTDate> ZVTSessionTracker::lastCreatedLogTime() const {
    const int64_t nanos = lastCreatedLogTime_.load();
    if (nanos == kNoTime) return std::nullopt;
    return fromNanos(nanos);
}

void ZVTSessionTracker::setLastCreatedLogTime(const std::optional<ZVTDate>& date) {
    lastCreatedLogTime_ = date ? toNanos(*date) : kNoTime;
}

std::optional<ZVTDate> ZVTSessionTracker::lastEnteredForegroundTime() const {
    std::lock_guard lock(mutex_);
    return lastEnteredForegroundTime_;
}

std::optional<ZVTDate> ZVTSessionTracker::lastEnteredBackgroundTime() const {
    std::lock_guard lock(mutex_);
    return lastEnteredBackgroundTime_;
}

void ZVTSessionTracker::channelPrepareLog(ZVTChannelProtocol& /*channel*/, ZVTLog& log) {
    if (dynamic_cast<const ZVTStartSessionLog*>(&log) || isStartServiceLog(log)) return;
    if (!keepsOwnSessionId(log)) log.setSid(context_.sessionId());
    setLastCreatedLogTime(ZVTUtility::currentDate());
}
