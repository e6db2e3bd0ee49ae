#pragma once

#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTSerializableObject.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

class ZVTZerevuzizAuthenticationProvider;

// Called with the token and its expiry date (either may be absent), on any thread, at any time.
using ZVTAcquireTokenCompletionBlock = std::function<void(const std::optional<std::string>& token,
                                                          const std::optional<ZVTDate>& expiry)>;

class ZVTZerevuzizAuthenticationProviderDelegate {
  public:
    virtual ~ZVTZerevuzizAuthenticationProviderDelegate() = default;
    virtual void authenticationProviderAcquireToken(ZVTZerevuzizAuthenticationProvider& provider,
                                                    ZVTAcquireTokenCompletionBlock completion) = 0;
};

enum ZVTZerevuzizAuthenticationType : uint64_t {
    ZVTZerevuzizAuthenticationTypeUserTicket = 0,       // tickets prefixed "p"
    ZVTZerevuzizAuthenticationTypeDelegatedTicket = 1,  // tickets prefixed "d"
};

// Obtains tickets from the application for the targets' common-schema logs and keeps them in
// the ticket cache under the SHA-256 of the ticket key. One request at a time; a new token is
// asked for from 10 minutes before the last one expires.
//
// Threads: every member is safe from any thread (the provider's own lock); the delegate is asked
// outside that lock.
class ZVTZerevuzizAuthenticationProvider
    : public std::enable_shared_from_this<ZVTZerevuzizAuthenticationProvider> {
  public:
    static constexpr int64_t kRefreshThresholdSeconds = 600;

    ZVTZerevuzizAuthenticationProvider(
        uint64_t type, std::string ticketKey,
        const std::shared_ptr<ZVTZerevuzizAuthenticationProviderDelegate>& delegate);

    uint64_t type() const { return type_; }
    const std::string& ticketKey() const { return ticketKey_; }
    const std::string& ticketKeyHash() const { return ticketKeyHash_; }
    std::optional<ZVTDate> expiryDate() const;

    void acquireTokenAsync();
    // Acts only when `handler` is the outstanding request's.
    void handleTokenUpdate(const std::optional<std::string>& token,
                           const std::optional<ZVTDate>& expiryDate,
                           const std::shared_ptr<ZVTAcquireTokenCompletionBlock>& handler);
    void checkTokenExpiry();

    // For tests:
    bool isRequestOutstanding() const;

  private:
    const uint64_t type_;
    const std::string ticketKey_;
    const std::string ticketKeyHash_;
    std::weak_ptr<ZVTZerevuzizAuthenticationProviderDelegate> delegate_;
    mutable std::recursive_mutex mutex_;
    std::optional<ZVTDate> expiryDate_;
    std::shared_ptr<ZVTAcquireTokenCompletionBlock> completionHandler_;
};
