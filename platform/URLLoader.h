#pragma once

#include "platform/Dispatch.h"

#include <chrono>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <string>

namespace platform {

struct URLRequest {
    std::string url;
    std::string method = "GET";
    std::map<std::string, std::string> headers;
    std::string body;
    std::chrono::milliseconds timeout{30000};         // whole transfer; never unlimited
    std::chrono::milliseconds connectTimeout{10000};  // values below 1 ms count as 1 ms
    // Ends the transfer (a timed-out error) once this long passes without a byte arriving, so a
    // long download may run as long as it progresses; 0: no such limit. Whole seconds, at
    // least one.
    std::chrono::milliseconds stallTimeout{0};
    // Follows redirects only to https addresses (a redirect elsewhere is an Other error).
    bool redirectsHttpsOnly = false;
    // false: a redirect is not followed; the 3xx answer, with its Location header, is the
    // response.
    bool followRedirects = true;
};

enum class URLErrorKind {
    NoNetwork,  // host unreachable, refused, name not resolved
    TLS,        // certificate or handshake failure
    Other,      // time-out, malformed URL, write failure, ...
};

// Why a redirect was not followed: its address used a protocol the request does not allow
// (plain http under `redirectsHttpsOnly`), or the chain passed the cap of 10 redirects.
enum class URLRedirectRefusal { None, Protocol, TooMany };

struct URLError {
    URLErrorKind kind = URLErrorKind::Other;
    bool timedOut = false;
    std::string message;
    URLRedirectRefusal redirectRefused = URLRedirectRefusal::None;
    bool hostNotFound = false;  // the host's name did not resolve
};

struct URLResponse {
    long status = 0;
    std::map<std::string, std::string> headers;  // names in lower case
    std::string body;

    std::optional<std::string> header(const std::string& name) const;
};

struct URLResult {
    std::optional<URLError> error;  // set when no response arrived
    URLResponse response;
    bool ok() const { return !error && response.status >= 200 && response.status < 300; }
};

// URL loading over libcurl. An HTTP status of any value is a response, not an error. Redirects
// (http and https only) are followed unless the request says otherwise; the headers returned are
// the final response's. A method
// that is not a plain token or a header carrying a line break is refused with an Other error.
// Every call is safe from any thread.
class URLLoader {
  public:
    static URLLoader& shared();

    // Blocking request; also reads "file:" URLs (status 200 with the file's bytes, or an Other
    // error when the file cannot be read).
    URLResult send(const URLRequest& request);
    // Runs the request on the global queue and calls `done` on `queue`, which must outlive the
    // request.
    void sendAsync(URLRequest request, Queue& queue, std::function<void(URLResult)> done);
    // Downloads the body to `destination`, written whole (temporary file renamed on success, only
    // for a 2xx status); nothing is left behind on failure. The returned response carries the
    // body only for a status outside 2xx (the server's error text).
    URLResult download(const URLRequest& request, const std::filesystem::path& destination);
};

}  // namespace platform
