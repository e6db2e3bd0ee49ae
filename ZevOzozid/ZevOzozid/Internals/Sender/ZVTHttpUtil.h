#pragma once

#include "platform/URLLoader.h"

#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTError.h"

#include <cstdint>
#include <optional>
#include <string>

// The domain of transport errors (no response arrived) and the codes the client tells apart.
inline const std::string kZVTURLErrorDomain = "dev.gridlark.platform.URLErrorDomain";
inline constexpr long ZVTURLErrorUnknown = -1;
inline constexpr long ZVTURLErrorTimedOut = -1001;
inline constexpr long ZVTURLErrorCannotConnectToHost = -1004;
inline constexpr long ZVTURLErrorNetworkConnectionLost = -1005;
inline constexpr long ZVTURLErrorNotConnectedToInternet = -1009;
inline constexpr long ZVTURLErrorSecureConnectionFailed = -1200;

// Classifies statuses and errors of HTTP calls and masks secrets for logging. Stateless; safe
// from any thread.
namespace ZVTHttpUtil {

// 0 (no response), 408, 429 and 500 or above.
bool isRecoverableError(long statusCode);
bool isSuccessStatusCode(long statusCode);
// 300 to 399. Uploads never follow a redirect: its answer keeps the logs for a later run.
bool isRedirectStatusCode(long statusCode);
// A transport error whose call should wait for the network to come back.
bool isNoInternetConnectionError(const ZVTError& error);
// A transport error of the secure-connection class (-2000 to -1200).
bool isSSLConnectionError(const ZVTError& error);

// The transport error of a request that got no response. A host that cannot be reached counts
// as "not connected" only while the network is down (`networkReachable` false); on a live
// network it is an ordinary "cannot connect" error, so the caller is answered at once.
ZVTError errorFromURLError(const platform::URLError& error, bool networkReachable);

// A retry-after header's value in milliseconds: a plain non-negative decimal integer (at most 18
// digits) and nothing else; nullopt otherwise.
std::optional<uint64_t> retryAfterMilliseconds(const std::optional<std::string>& value);

// Every character but the last 8 replaced by "*" (all of them for 8 or fewer).
std::string hideSecret(const std::string& secret);
// The text with every occurrence of the secret masked as by hideSecret.
std::string hideSecretInString(const std::string& text, const std::string& secret);

}  // namespace ZVTHttpUtil
