#pragma once

#include "platform/URLLoader.h"

#include "ZevOzozid/ZevOzozid/Internals/Channel/ZVTChannelProtocols.h"
#include "ZevOzozid/ZevOzozid/Internals/Model/ZVTLogContainer.h"
#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTError.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>

// The answer to one batch: its batch id, the server's response when one arrived (status,
// lower-case headers; the body is passed separately), the body bytes and the error, if any.
using ZVTSendAsyncCompletionHandler = std::function<void(
    const std::string& batchId, const std::optional<platform::URLResponse>& response,
    const std::string& data, const std::optional<ZVTError>& error)>;

// Where a channel unit's batches go. The handler of a send is called exactly once, on any
// thread, and never under a lock the ingestion holds.
class ZVTIngestionProtocol : public ZVTEnable {
  public:
    virtual void sendAsync(const std::shared_ptr<ZVTLogContainer>& data,
                           ZVTSendAsyncCompletionHandler handler) = 0;
    virtual void sendAsync(const std::shared_ptr<ZVTLogContainer>& data,
                           const std::optional<std::string>& eTag,
                           ZVTSendAsyncCompletionHandler handler) = 0;
    // False while the ingestion lacks what it needs to send (an app secret).
    virtual bool isReadyToSend() const = 0;
    // False while disabled or while network requests are forbidden.
    virtual bool isEnabled() const = 0;
};
