#include "ZevOzozidZerevuziz/ZevOzozidZerevuziz/TransmissionTarget/ZVTZerevuzizAuthenticationProvider.h"

#include "ZevOzozidZerevuziz/ZevOzozidZerevuziz/ZVTZerevuzizConstants.h"

#include "ZevOzozid/ZevOzozid/Internals/Sender/ZVTTicketCache.h"
#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTLogger.h"
#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTUtility.h"

#include <chrono>

namespace {

int64_t wholeSeconds(const ZVTDate& date) {
    return std::chrono::duration_cast<std::chrono::seconds>(date.time_since_epoch()).count();
}

// "p" for compact tickets, "d" for delegated ones; others keep the type's number.
std::string ticketPrefix(uint64_t type) {
    if (type == ZVTZerevuzizAuthenticationTypeUserTicket) return "p";
    if (type == ZVTZerevuzizAuthenticationTypeDelegatedTicket) return "d";
    return std::to_string(type);
}

}  // namespace

ZVTZerevuzizAuthenticationProvider::ZVTZerevuzizAuthenticationProvider(
    uint64_t type, std::string ticketKey,
    const std::shared_ptr<ZVTZerevuzizAuthenticationProviderDelegate>& delegate)
    : type_(type),
      ticketKey_(std::move(ticketKey)),
      ticketKeyHash_(ZVTUtility::sha256(ticketKey_)),
      delegate_(delegate) {}

std::optional<ZVTDate> ZVTZerevuzizAuthenticationProvider::expiryDate() const {
    std::lock_guard lock(mutex_);
    return expiryDate_;
}

bool ZVTZerevuzizAuthenticationProvider::isRequestOutstanding() const {
    std::lock_guard lock(mutex_);
    return completionHandler_ != nullptr;
}

void ZVTZerevuzizAuthenticationProvider::acquireTokenAsync() {
    auto delegate = delegate_.lock();
    if (!delegate) {
        ZVTLogError(kZVTZerevuzizLogTag, "No completionhandler to acquire token has been set.");
        return;
    }
    std::shared_ptr<ZVTAcquireTokenCompletionBlock> handler;
    {
        std::lock_guard lock(mutex_);
        if (completionHandler_) return;
        std::weak_ptr<ZVTZerevuzizAuthenticationProvider> weak = weak_from_this();
        handler = std::make_shared<ZVTAcquireTokenCompletionBlock>();
        *handler = [weak](const std::optional<std::string>& token,
                          const std::optional<ZVTDate>& expiry) {
            auto self = weak.lock();
            if (!self) return;
            std::shared_ptr<ZVTAcquireTokenCompletionBlock> current;
            {
                std::lock_guard lock(self->mutex_);
                current = self->completionHandler_;
            }
            self->handleTokenUpdate(token, expiry, current);
        };
        completionHandler_ = handler;
    }
    // The delegate gets its own copy: the stored block then never owns itself.
    delegate->authenticationProviderAcquireToken(*this, *handler);
}

void ZVTZerevuzizAuthenticationProvider::handleTokenUpdate(
    const std::optional<std::string>& token, const std::optional<ZVTDate>& expiryDate,
    const std::shared_ptr<ZVTAcquireTokenCompletionBlock>& handler) {
    std::lock_guard lock(mutex_);
    if (!handler || handler != completionHandler_) return;
    completionHandler_.reset();
    ZVTLogDebug(kZVTZerevuzizLogTag, "Got result back from ZVAcquireTokenCompletionBlock.");
    if (!token) {
        ZVTLogError(kZVTZerevuzizLogTag, "Token must not be null");
        return;
    }
    if (!expiryDate) {
        ZVTLogError(kZVTZerevuzizLogTag, "Date must not be null");
        return;
    }
    ZVTTicketCache::sharedInstance().setTicket(ticketPrefix(type_) + ":" + *token, ticketKeyHash_);
    expiryDate_ = expiryDate;
}

void ZVTZerevuzizAuthenticationProvider::checkTokenExpiry() {
    bool due = false;
    {
        std::lock_guard lock(mutex_);
        due = expiryDate_ && wholeSeconds(ZVTUtility::currentDate()) + kRefreshThresholdSeconds >=
                                 wholeSeconds(*expiryDate_);
    }
    if (due) acquireTokenAsync();
}
