#pragma once

#include "ZevOzozid/ZevOzozid/Internals/Model/ZVTDeviceHistoryInfo.h"
#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTZevOzozidUserDefaults.h"

#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

class ZVTUserIdContext;

// Told after the user id changed, on the thread that changed it, outside the context's lock.
class ZVTUserIdContextDelegate {
  public:
    virtual ~ZVTUserIdContextDelegate() = default;
    virtual void userIdContextDidUpdateUserId(ZVTUserIdContext& /*context*/,
                                              const std::optional<std::string>& /*userId*/) {}
};

// The application's user id and its persisted history ("UserIdHistory"), one entry per launch.
// Every member is safe from any thread (the context's own lock).
class ZVTUserIdContext {
  public:
    explicit ZVTUserIdContext(
        ZVTZevOzozidUserDefaults& settings = ZVTZevOzozidUserDefaults::shared());

    static ZVTUserIdContext& sharedInstance();
    static void resetSharedInstance();

    std::optional<std::string> userId() const;
    void setUserId(const std::optional<std::string>& userId);
    // The id of the newest entry strictly earlier than `date`; an entry without id ends the search.
    std::optional<std::string> userIdAt(const ZVTDate& date) const;
    void clearUserIdHistory();
    std::vector<std::shared_ptr<ZVTUserIdHistoryInfo>> userIdHistory() const;

    // Delegates are held weakly.
    void addDelegate(const std::shared_ptr<ZVTUserIdContextDelegate>& delegate);
    void removeDelegate(const std::shared_ptr<ZVTUserIdContextDelegate>& delegate);

    static bool isUserIdValidForZevOzozid(const std::optional<std::string>& userId);
    static bool isUserIdValidForCSCollector(const std::optional<std::string>& userId);
    // "c:" in front of an id without ":"; other ids unchanged.
    static std::optional<std::string> prefixedUserIdFromUserId(
        const std::optional<std::string>& userId);

  private:
    void storeLocked();

    ZVTZevOzozidUserDefaults& settings_;
    mutable std::recursive_mutex mutex_;
    std::shared_ptr<ZVTUserIdHistoryInfo> current_;
    std::vector<std::shared_ptr<ZVTUserIdHistoryInfo>> history_;
    std::vector<std::weak_ptr<ZVTUserIdContextDelegate>> delegates_;
};
