#include "ZevOzozid/ZevOzozid/Internals/Sender/ZVTHttpUtil.h"

#include <cctype>
#include <vector>

namespace ZVTHttpUtil {

bool isRecoverableError(long statusCode) {
    return statusCode >= 500 || statusCode == 408 || statusCode == 429 || statusCode == 0;
}

bool isRedirectStatusCode(long statusCode) {
    return statusCode >= 300 && statusCode <= 399;
}

bool isSuccessStatusCode(long statusCode) {
    return statusCode >= 200 && statusCode <= 299;
}

bool isNoInternetConnectionError(const ZVTError& error) {
    return error.domain == kZVTURLErrorDomain && (error.code == ZVTURLErrorNotConnectedToInternet ||
                                                  error.code == ZVTURLErrorNetworkConnectionLost);
}

bool isSSLConnectionError(const ZVTError& error) {
    return error.domain == kZVTURLErrorDomain && error.code >= -2000 && error.code <= -1200;
}

ZVTError errorFromURLError(const platform::URLError& error, bool networkReachable) {
    ZVTError out;
    out.domain = kZVTURLErrorDomain;
    out.localizedDescription = error.message;
    switch (error.kind) {
        case platform::URLErrorKind::TLS:
            out.code = ZVTURLErrorSecureConnectionFailed;
            break;
        case platform::URLErrorKind::NoNetwork:
            out.code = networkReachable ? ZVTURLErrorCannotConnectToHost
                                        : ZVTURLErrorNotConnectedToInternet;
            break;
        case platform::URLErrorKind::Other:
            out.code = error.timedOut ? ZVTURLErrorTimedOut : ZVTURLErrorUnknown;
            break;
    }
    if (out.localizedDescription.empty()) out.localizedDescription = "The request failed.";
    return out;
}

std::optional<uint64_t> retryAfterMilliseconds(const std::optional<std::string>& value) {
    if (!value || value->empty() || value->size() > 18) return std::nullopt;
    uint64_t ms = 0;
    for (char c : *value) {
        if (!std::isdigit(static_cast<unsigned char>(c))) return std::nullopt;
        ms = ms * 10 + static_cast<uint64_t>(c - '0');
    }
    return ms;
}

std::string hideSecret(const std::string& secret) {
    // Counted in characters, so a multi-byte character is never cut in half.
    std::vector<size_t> starts;
    for (size_t i = 0; i < secret.size(); ++i) {
        if ((static_cast<unsigned char>(secret[i]) & 0xC0) != 0x80) starts.push_back(i);
    }
    constexpr size_t kShown = 8;
    if (starts.size() <= kShown) return std::string(starts.size(), '*');
    const size_t hidden = starts.size() - kShown;
    return std::string(hidden, '*') + secret.substr(starts[hidden]);
}

std::string hideSecretInString(const std::string& text, const std::string& secret) {
    if (secret.empty()) return text;
    const std::string masked = hideSecret(secret);
    std::string out;
    size_t from = 0;
    for (size_t at = text.find(secret); at != std::string::npos; at = text.find(secret, from)) {
        out.append(text, from, at - from).append(masked);
        from = at + secret.size();
    }
    return out.append(text, from, std::string::npos);
}

}  // namespace ZVTHttpUtil
