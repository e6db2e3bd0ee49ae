#include "ZevOzozid/ZevOzozid/Internals/Context/ZVTUserIdContext.h"

#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTLogger.h"
#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTSingleton.h"
#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTUtility.h"

#include <algorithm>

namespace {
const std::string kHistoryKey = "UserIdHistory";
constexpr size_t kMaxUserIdLength = 256;
const std::string kCustomUserIdPrefix = "c";

ZVTSingleton<ZVTUserIdContext>& singleton() {
    static auto* s = new ZVTSingleton<ZVTUserIdContext>;
    return *s;
}
}  // namespace

ZVTUserIdContext& ZVTUserIdContext::sharedInstance() {
    return singleton().shared();
}
void ZVTUserIdContext::resetSharedInstance() {
    singleton().reset();
}

ZVTUserIdContext::ZVTUserIdContext(ZVTZevOzozidUserDefaults& settings) : settings_(settings) {
    if (auto data = settings_.dataForKey(kHistoryKey)) {
        if (auto list = ZVTUtility::unarchiveKeyedListOf<ZVTUserIdHistoryInfo>(&*data)) {
            history_ = std::move(*list);
        }
    }
    ZVTLogDebug(kZVTLogTag, history_.size(), " userId(s) in the history.");
    current_ = std::make_shared<ZVTUserIdHistoryInfo>(ZVTUtility::currentDate(), std::nullopt);
    history_.push_back(current_);
    storeLocked();
}

std::optional<std::string> ZVTUserIdContext::userId() const {
    std::lock_guard lock(mutex_);
    return current_->userId();
}

void ZVTUserIdContext::setUserId(const std::optional<std::string>& userId) {
    std::vector<std::shared_ptr<ZVTUserIdContextDelegate>> listeners;
    ZVTDate stamp;
    {
        std::lock_guard lock(mutex_);
        if (current_->userId() == userId) return;
        stamp = ZVTUtility::currentDate();
        current_->setTimestamp(stamp);
        current_->setUserId(userId);
        if (history_.empty())
            history_.push_back(current_);
        else
            history_.back() = current_;
        storeLocked();
        for (const auto& weak : delegates_) {
            if (auto strong = weak.lock()) listeners.push_back(std::move(strong));
        }
    }
    // Logged after the lock is let go: the log handler is the application's and may take locks
    // of its own, or ask this context for the user id.
    ZVTLogVerbose(kZVTLogTag, "Stored new userId:", userId.value_or("(null)"),
                  " and timestamp: ", ZVTUtility::dateToISO8601(stamp), ".");
    for (const auto& listener : listeners) listener->userIdContextDidUpdateUserId(*this, userId);
}

std::optional<std::string> ZVTUserIdContext::userIdAt(const ZVTDate& date) const {
    std::lock_guard lock(mutex_);
    for (auto it = history_.rbegin(); it != history_.rend(); ++it) {
        const auto& stamp = (*it)->timestamp();
        if (stamp && *stamp < date) return (*it)->userId();
    }
    return std::nullopt;
}

void ZVTUserIdContext::clearUserIdHistory() {
    {
        std::lock_guard lock(mutex_);
        history_.assign(1, current_);
        storeLocked();
    }
    ZVTLogVerbose(kZVTLogTag, "Cleared old userIds while keeping current userId.");
}

std::vector<std::shared_ptr<ZVTUserIdHistoryInfo>> ZVTUserIdContext::userIdHistory() const {
    std::lock_guard lock(mutex_);
    return history_;
}

void ZVTUserIdContext::addDelegate(const std::shared_ptr<ZVTUserIdContextDelegate>& delegate) {
    std::lock_guard lock(mutex_);
    delegates_.push_back(delegate);
}

void ZVTUserIdContext::removeDelegate(const std::shared_ptr<ZVTUserIdContextDelegate>& delegate) {
    std::lock_guard lock(mutex_);
    std::erase_if(delegates_, [&](const auto& weak) {
        auto strong = weak.lock();
        return !strong || strong == delegate;
    });
}

bool ZVTUserIdContext::isUserIdValidForZevOzozid(const std::optional<std::string>& userId) {
    if (userId && ZVTUtility::utf16Length(*userId) > kMaxUserIdLength) {
        ZVTLogError(kZVTLogTag, "userId is limited to ", kMaxUserIdLength, " characters.");
        return false;
    }
    return true;
}

bool ZVTUserIdContext::isUserIdValidForCSCollector(const std::optional<std::string>& userId) {
    if (!userId) return true;
    if (userId->empty()) {
        ZVTLogError(kZVTLogTag, "userId must not be empty.");
        return false;
    }
    size_t colon = userId->find(':');
    if (colon == std::string::npos) return true;
    std::string prefix = userId->substr(0, colon);
    if (prefix != kCustomUserIdPrefix) {
        ZVTLogError(kZVTLogTag, "userId prefix must be '", kCustomUserIdPrefix, "', '", prefix,
                    "' is not supported.");
        return false;
    }
    if (colon + 1 == userId->size()) {
        ZVTLogError(kZVTLogTag, "userId must not be empty.");
        return false;
    }
    return true;
}

std::optional<std::string> ZVTUserIdContext::prefixedUserIdFromUserId(
    const std::optional<std::string>& userId) {
    if (!userId || userId->find(':') != std::string::npos) return userId;
    return kCustomUserIdPrefix + ":" + *userId;
}

void ZVTUserIdContext::storeLocked() {
    if (auto data = ZVTUtility::archiveKeyedList(history_)) settings_.setData(*data, kHistoryKey);
    // The next run tells the crash of this one with it, however soon this run ends.
    settings_.store().writeNow();
}
