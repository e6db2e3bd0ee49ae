#include "platform/URLLoader.h"

#include "platform/Folders.h"

#include <curl/curl.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <random>
#include <system_error>

#include <fcntl.h>
#include <unistd.h>

namespace platform {

namespace {

std::string lowercase(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
}

std::string trim(const std::string& s) {
    const char* ws = " \t\r\n";
    const auto first = s.find_first_not_of(ws);
    if (first == std::string::npos) return {};
    return s.substr(first, s.find_last_not_of(ws) - first + 1);
}

void ensureCurlInitialized() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

URLError makeError(URLErrorKind kind, std::string message, bool timedOut = false) {
    URLError e;
    e.kind = kind;
    e.timedOut = timedOut;
    e.message = std::move(message);
    return e;
}

URLError classify(CURLcode code, const char* detail) {
    std::string message =
        (detail != nullptr && detail[0] != '\0') ? std::string(detail) : curl_easy_strerror(code);
    switch (code) {
        case CURLE_COULDNT_RESOLVE_HOST: {
            URLError error = makeError(URLErrorKind::NoNetwork, std::move(message));
            error.hostNotFound = true;
            return error;
        }
        case CURLE_COULDNT_RESOLVE_PROXY:
        case CURLE_COULDNT_CONNECT:
            return makeError(URLErrorKind::NoNetwork, std::move(message));
        case CURLE_SSL_CONNECT_ERROR:
        case CURLE_PEER_FAILED_VERIFICATION:
        case CURLE_SSL_CERTPROBLEM:
        case CURLE_SSL_CIPHER:
        case CURLE_SSL_CACERT_BADFILE:
        case CURLE_SSL_ENGINE_NOTFOUND:
        case CURLE_SSL_ENGINE_SETFAILED:
        case CURLE_SSL_ENGINE_INITFAILED:
        case CURLE_SSL_SHUTDOWN_FAILED:
        case CURLE_SSL_CRL_BADFILE:
        case CURLE_SSL_ISSUER_ERROR:
        case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
        case CURLE_SSL_INVALIDCERTSTATUS:
        case CURLE_SSL_CLIENTCERT:
        case CURLE_USE_SSL_FAILED:
            return makeError(URLErrorKind::TLS, std::move(message));
        case CURLE_OPERATION_TIMEDOUT:
            return makeError(URLErrorKind::Other, std::move(message), true);
        default:
            return makeError(URLErrorKind::Other, std::move(message));
    }
}

// A method is sent as given, so it must be a plain token; a header must not smuggle a line break
// into the request.
bool isToken(const std::string& s) {
    return !s.empty() && std::all_of(s.begin(), s.end(), [](unsigned char c) {
        return std::isalnum(c) || std::strchr("!#$%&'*+-.^_`|~", c) != nullptr;
    });
}

bool hasLineBreak(const std::string& s) {
    return s.find_first_of("\r\n", 0) != std::string::npos || s.find('\0') != std::string::npos;
}

std::optional<URLError> validate(const URLRequest& request) {
    if (!isToken(request.method)) {
        return makeError(URLErrorKind::Other, "invalid request method \"" + request.method + "\"");
    }
    for (const auto& [name, value] : request.headers) {
        if (!isToken(name) || hasLineBreak(value)) {
            return makeError(URLErrorKind::Other, "invalid request header \"" + name + "\"");
        }
    }
    return std::nullopt;
}

// ---- file: URLs ----

bool isFileURL(const std::string& url) {
    return url.size() >= 5 && lowercase(url.substr(0, 5)) == "file:";
}

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// "file:///a/b", "file://localhost/a/b" and "file:/a/b" name /a/b; any other host is refused.
std::optional<std::filesystem::path> pathFromFileURL(const std::string& url) {
    std::string rest = url.substr(5);
    if (rest.rfind("//", 0) == 0) {
        const auto slash = rest.find('/', 2);
        if (slash == std::string::npos) return std::nullopt;
        const std::string host = lowercase(rest.substr(2, slash - 2));
        if (!host.empty() && host != "localhost") return std::nullopt;
        rest = rest.substr(slash);
    }
    rest = rest.substr(0, rest.find_first_of("?#"));
    std::string decoded;
    for (size_t i = 0; i < rest.size(); ++i) {
        if (rest[i] == '%') {
            if (i + 2 >= rest.size()) return std::nullopt;
            const int hi = hexValue(rest[i + 1]);
            const int lo = hexValue(rest[i + 2]);
            if (hi < 0 || lo < 0) return std::nullopt;
            const char c = static_cast<char>(hi * 16 + lo);
            if (c == '\0') return std::nullopt;
            decoded += c;
            i += 2;
        } else {
            decoded += rest[i];
        }
    }
    if (decoded.empty() || decoded.front() != '/') return std::nullopt;
    return std::filesystem::path(decoded);
}

URLResult readFileURL(const std::string& url) {
    URLResult result;
    const auto path = pathFromFileURL(url);
    if (!path) {
        result.error = makeError(URLErrorKind::Other, "unsupported file URL: " + url);
        return result;
    }
    std::error_code ec;
    if (!std::filesystem::is_regular_file(*path, ec)) {
        result.error = makeError(URLErrorKind::Other,
                                 "cannot read " + path->string() + ": not a readable file");
        return result;
    }
    auto bytes = folders::readFile(*path);
    if (!bytes) {
        result.error = makeError(URLErrorKind::Other, "cannot read " + path->string());
        return result;
    }
    result.response.status = 200;
    result.response.body = std::move(*bytes);
    return result;
}

// ---- download target ----

// A temporary file beside the destination: renamed over it when whole, removed otherwise.
class PartFile {
  public:
    explicit PartFile(const std::filesystem::path& destination) : destination_(destination) {
        std::random_device random;
        const auto folder = destination.parent_path().empty() ? std::filesystem::path(".")
                                                              : destination.parent_path();
        for (int attempt = 0; attempt < 16 && fd_ < 0; ++attempt) {
            char suffix[16];
            std::snprintf(suffix, sizeof suffix, "%08x", random());
            path_ = folder / ("." + destination.filename().string() + "." + suffix + ".part");
            fd_ = ::open(path_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
            if (fd_ < 0 && errno != EEXIST) break;
        }
        if (fd_ < 0) error_ = std::strerror(errno);
    }
    ~PartFile() { discard(); }
    PartFile(const PartFile&) = delete;
    PartFile& operator=(const PartFile&) = delete;

    bool isOpen() const { return fd_ >= 0; }
    const std::string& error() const { return error_; }
    const std::filesystem::path& path() const { return path_; }

    bool write(const char* data, size_t size) {
        while (size > 0) {
            const ssize_t n = ::write(fd_, data, size);
            if (n < 0) {
                if (errno == EINTR) continue;
                error_ = std::strerror(errno);
                return false;
            }
            data += n;
            size -= static_cast<size_t>(n);
        }
        return true;
    }

    // Flushes, closes and renames over the destination; false (file removed) on failure.
    bool commit() {
        if (::fsync(fd_) != 0 || ::close(fd_) != 0) {
            error_ = std::strerror(errno);
            fd_ = -1;
            discard();
            return false;
        }
        fd_ = -1;
        if (::rename(path_.c_str(), destination_.c_str()) != 0) {
            error_ = std::strerror(errno);
            discard();
            return false;
        }
        committed_ = true;
        return true;
    }

    void discard() {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
        if (!committed_ && !path_.empty()) ::unlink(path_.c_str());
        committed_ = true;  // nothing left to remove
    }

  private:
    std::filesystem::path destination_;
    std::filesystem::path path_;
    int fd_ = -1;
    bool committed_ = false;
    std::string error_;
};

// ---- libcurl transfer ----

struct Transfer {
    CURL* curl = nullptr;
    URLResponse response;
    PartFile* file = nullptr;  // set for downloads: 2xx bodies go there
    bool writeFailed = false;
};

size_t onHeader(char* data, size_t size, size_t count, void* user) {
    auto& transfer = *static_cast<Transfer*>(user);
    const size_t length = size * count;
    const std::string line(data, length);
    if (line.rfind("HTTP/", 0) == 0) {
        // A new status line: a redirect hop or an interim response ended; forget its headers.
        transfer.response.headers.clear();
        return length;
    }
    const auto colon = line.find(':');
    if (colon == std::string::npos || colon == 0) return length;
    transfer.response.headers[lowercase(trim(line.substr(0, colon)))] =
        trim(line.substr(colon + 1));
    return length;
}

size_t onBody(char* data, size_t size, size_t count, void* user) {
    auto& transfer = *static_cast<Transfer*>(user);
    const size_t length = size * count;
    long status = 0;
    curl_easy_getinfo(transfer.curl, CURLINFO_RESPONSE_CODE, &status);
    if (transfer.file != nullptr && status >= 200 && status < 300) {
        if (!transfer.file->write(data, length)) {
            transfer.writeFailed = true;
            return 0;  // aborts the transfer with CURLE_WRITE_ERROR
        }
    } else {
        transfer.response.body.append(data, length);
    }
    return length;
}

struct CurlDeleter {
    void operator()(CURL* c) const { curl_easy_cleanup(c); }
};
struct SlistDeleter {
    void operator()(curl_slist* l) const { curl_slist_free_all(l); }
};

long clampMillis(std::chrono::milliseconds ms) {
    // 0 means "no limit" to libcurl; every transfer here has one.
    return static_cast<long>(std::max<std::chrono::milliseconds::rep>(ms.count(), 1));
}

URLResult perform(const URLRequest& request, PartFile* file) {
    URLResult result;
    if (auto invalid = validate(request)) {
        result.error = std::move(invalid);
        return result;
    }
    ensureCurlInitialized();
    std::unique_ptr<CURL, CurlDeleter> curl(curl_easy_init());
    if (!curl) {
        result.error = makeError(URLErrorKind::Other, "cannot create an HTTP session");
        return result;
    }
    Transfer transfer;
    transfer.curl = curl.get();
    transfer.file = file;
    char errorBuffer[CURL_ERROR_SIZE] = {};

    CURL* c = curl.get();
    curl_easy_setopt(c, CURLOPT_URL, request.url.c_str());
    curl_easy_setopt(c, CURLOPT_ERRORBUFFER, errorBuffer);
    curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(c, CURLOPT_TIMEOUT_MS, clampMillis(request.timeout));
    curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT_MS, clampMillis(request.connectTimeout));
    curl_easy_setopt(c, CURLOPT_FOLLOWLOCATION, request.followRedirects ? 1L : 0L);
    curl_easy_setopt(c, CURLOPT_MAXREDIRS, 10L);
    // Only the web: neither the URL nor a redirect may reach local files or other schemes.
    curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(c, CURLOPT_REDIR_PROTOCOLS_STR,
                     request.redirectsHttpsOnly ? "https" : "http,https");
    if (request.stallTimeout.count() > 0) {
        const auto seconds = std::chrono::ceil<std::chrono::seconds>(request.stallTimeout).count();
        curl_easy_setopt(c, CURLOPT_LOW_SPEED_LIMIT, 1L);
        curl_easy_setopt(c, CURLOPT_LOW_SPEED_TIME,
                         static_cast<long>(std::max<long long>(1, seconds)));
    }
    curl_easy_setopt(c, CURLOPT_HEADERFUNCTION, onHeader);
    curl_easy_setopt(c, CURLOPT_HEADERDATA, &transfer);
    curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, onBody);
    curl_easy_setopt(c, CURLOPT_WRITEDATA, &transfer);

    if (request.method == "HEAD") {
        curl_easy_setopt(c, CURLOPT_NOBODY, 1L);
    } else if (request.method == "GET" && request.body.empty()) {
        curl_easy_setopt(c, CURLOPT_HTTPGET, 1L);
    } else {
        curl_easy_setopt(c, CURLOPT_POSTFIELDSIZE_LARGE,
                         static_cast<curl_off_t>(request.body.size()));
        curl_easy_setopt(c, CURLOPT_POSTFIELDS, request.body.data());
        if (request.method != "POST") {
            curl_easy_setopt(c, CURLOPT_CUSTOMREQUEST, request.method.c_str());
        }
    }

    std::unique_ptr<curl_slist, SlistDeleter> headers;
    // The list grows in place; the pointer returned stands for the whole list.
    auto append = [&headers](const std::string& line) {
        curl_slist* appended = curl_slist_append(headers.get(), line.c_str());
        if (appended == nullptr) return false;
        headers.release();
        headers.reset(appended);
        return true;
    };
    bool hasExpect = false;
    for (const auto& [name, value] : request.headers) {
        hasExpect = hasExpect || lowercase(name) == "expect";
        // "Name;" sends a header with an empty value ("Name:" would remove it).
        if (!append(value.empty() ? name + ";" : name + ": " + value)) {
            result.error = makeError(URLErrorKind::Other, "out of memory");
            return result;
        }
    }
    // No "Expect: 100-continue" round trip before a large body.
    if (!hasExpect) append("Expect:");
    curl_easy_setopt(c, CURLOPT_HTTPHEADER, headers.get());

    const CURLcode code = curl_easy_perform(c);
    if (code != CURLE_OK) {
        if (transfer.writeFailed && file != nullptr) {
            result.error = makeError(URLErrorKind::Other, "cannot write " + file->path().string() +
                                                              ": " + file->error());
        } else {
            result.error = classify(code, errorBuffer);
            long redirects = 0;
            curl_easy_getinfo(c, CURLINFO_REDIRECT_COUNT, &redirects);
            if (code == CURLE_TOO_MANY_REDIRECTS) {
                result.error->redirectRefused = URLRedirectRefusal::TooMany;
            } else if (code == CURLE_UNSUPPORTED_PROTOCOL && redirects > 0) {
                result.error->redirectRefused = URLRedirectRefusal::Protocol;
            }
        }
        return result;
    }
    curl_easy_getinfo(c, CURLINFO_RESPONSE_CODE, &transfer.response.status);
    result.response = std::move(transfer.response);
    return result;
}

// A blocking request of either kind: a local file or a transfer over the web.
URLResult load(const URLRequest& request) {
    return isFileURL(request.url) ? readFileURL(request.url) : perform(request, nullptr);
}

}  // namespace

std::optional<std::string> URLResponse::header(const std::string& name) const {
    const auto it = headers.find(lowercase(name));
    if (it == headers.end()) return std::nullopt;
    return it->second;
}

URLLoader& URLLoader::shared() {
    static auto* loader = new URLLoader;
    return *loader;
}

URLResult URLLoader::send(const URLRequest& request) {
    return load(request);
}

void URLLoader::sendAsync(URLRequest request, Queue& queue, std::function<void(URLResult)> done) {
    Queue* target = &queue;
    globalQueue().async([request = std::move(request), target, done = std::move(done)]() mutable {
        URLResult result = load(request);
        target->async([done = std::move(done), result = std::move(result)]() mutable {
            if (done) done(std::move(result));
        });
    });
}

URLResult URLLoader::download(const URLRequest& request, const std::filesystem::path& destination) {
    PartFile file(destination);
    if (!file.isOpen()) {
        URLResult result;
        result.error =
            makeError(URLErrorKind::Other,
                      "cannot create a file beside " + destination.string() + ": " + file.error());
        return result;
    }
    URLResult result;
    if (isFileURL(request.url)) {
        result = readFileURL(request.url);
        if (!result.error &&
            !file.write(result.response.body.data(), result.response.body.size())) {
            result.error = makeError(URLErrorKind::Other,
                                     "cannot write " + file.path().string() + ": " + file.error());
        }
        result.response.body.clear();
    } else {
        result = perform(request, &file);
    }
    if (result.error || result.response.status < 200 || result.response.status >= 300) {
        return result;  // the part file is removed with `file`
    }
    if (!file.commit()) {
        result.error = makeError(URLErrorKind::Other,
                                 "cannot store " + destination.string() + ": " + file.error());
    }
    return result;
}

}  // namespace platform
