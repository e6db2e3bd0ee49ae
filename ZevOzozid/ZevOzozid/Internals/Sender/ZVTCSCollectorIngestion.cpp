#include "ZevOzozid/ZevOzozid/Internals/Sender/ZVTCSCollectorIngestion.h"

#include "ZevOzozid/ZevOzozid/Internals/Model/CommonSchema/ZVTCommonSchemaLog.h"
#include "ZevOzozid/ZevOzozid/Internals/Sender/ZVTHttpUtil.h"
#include "ZevOzozid/ZevOzozid/Internals/Sender/ZVTTicketCache.h"
#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTLogger.h"
#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTUtility.h"

#include <cctype>
#include <chrono>
#include <cstdio>
#include <set>

namespace {

// The masks scan the text once by hand: a regular-expression engine that recurses per
// character overflows the stack on a value a few thousand characters long.

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}

// Where a quoted, non-empty value that opens at `quote` ends (its closing quote, or the end of
// the text when it never closes); npos when no such value opens there.
size_t valueEnd(const std::string& text, size_t quote, bool needsClosingQuote) {
    if (quote >= text.size() || text[quote] != '"') return std::string::npos;
    const size_t close = text.find('"', quote + 1);
    const size_t end = close == std::string::npos ? text.size() : close;
    if (end == quote + 1) return std::string::npos;  // empty value
    if (needsClosingQuote && close == std::string::npos) return std::string::npos;
    return end;
}

// ':"' followed by anything up to the next quote (or the end) becomes ':"***'.
std::string maskTicketValues(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        const size_t end = text[i] == ':' ? valueEnd(text, i + 1, false) : std::string::npos;
        if (end == std::string::npos) {
            out += text[i++];
            continue;
        }
        out += ":\"***";
        i = end;
    }
    return out;
}

// The length of a case-insensitive "token" : "value" pair starting at `i`, or 0.
size_t tokenPairLength(const std::string& text, size_t i) {
    static const std::string kKey = "\"token\"";
    if (text.size() - i < kKey.size()) return 0;
    for (size_t k = 0; k < kKey.size(); ++k) {
        if (std::tolower(static_cast<unsigned char>(text[i + k])) != kKey[k]) return 0;
    }
    size_t j = i + kKey.size();
    while (j < text.size() && isBlank(text[j])) ++j;
    if (j >= text.size() || text[j] != ':') return 0;
    ++j;
    while (j < text.size() && isBlank(text[j])) ++j;
    const size_t end = valueEnd(text, j, true);
    return end == std::string::npos ? 0 : end + 1 - i;
}

std::string maskTokenValues(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        const size_t length = text[i] == '"' ? tokenPairLength(text, i) : 0;
        if (length == 0) {
            out += text[i++];
            continue;
        }
        out += "\"token\" : \"***\"";
        i += length;
    }
    return out;
}

// A masked text cut for the log at kMaxMaskedLength (never inside a character).
std::string shownPart(std::string masked) {
    const size_t limit = ZVTCSCollectorIngestion::kMaxMaskedLength;
    if (masked.size() <= limit) return masked;
    size_t cut = limit;
    while (cut > 0 && (static_cast<unsigned char>(masked[cut]) & 0xC0) == 0x80) --cut;
    const size_t left = masked.size() - cut;
    masked.resize(cut);
    return masked + "... (" + std::to_string(left) + " bytes not shown)";
}

std::map<std::string, std::string> fixedHeaders() {
    return {{"Content-Type", "application/x-json-stream; charset=utf-8"},
            {"Client-Version", "ZVT-Linux-Cpp-no-" + ZVTUtility::sdkVersion() + "-no"}};
}

std::vector<std::chrono::milliseconds> retryIntervals() {
    using std::chrono::seconds;
    return {seconds(10), seconds(300), seconds(1200)};
}

}  // namespace

ZVTCSCollectorIngestion::ZVTCSCollectorIngestion(std::shared_ptr<ZVTHttpClientProtocol> httpClient,
                                                 const std::string& baseUrl)
    : ZVTHttpIngestion(std::move(httpClient), baseUrl, kApiPath, fixedHeaders(), {},
                       retryIntervals(), 2) {}

void ZVTCSCollectorIngestion::sendAsync(const std::shared_ptr<ZVTLogContainer>& data,
                                        ZVTSendAsyncCompletionHandler handler) {
    sendAsync(data, std::nullopt, std::move(handler));
}

void ZVTCSCollectorIngestion::sendAsync(const std::shared_ptr<ZVTLogContainer>& data,
                                        const std::optional<std::string>& eTag,
                                        ZVTSendAsyncCompletionHandler handler) {
    const std::string batchId = data ? data->batchId() : std::string();
    if (rejectInvalidContainer(data, handler)) return;
    ZVTHttpIngestion::sendAsync(
        data, eTag, batchId,
        [batchId, handler](const std::string&, const std::optional<platform::URLResponse>& r,
                           const std::string& body, const std::optional<ZVTError>& error) {
            if (handler) handler(batchId, r, body, error);
        });
}

std::optional<std::map<std::string, std::string>> ZVTCSCollectorIngestion::getHeadersWithData(
    const std::shared_ptr<ZVTLogContainer>& data, const std::optional<std::string>& /*eTag*/) {
    auto headers = httpHeaders();
    std::set<std::string> tokens;
    nlohmann::json tickets = nlohmann::json::object();
    for (const auto& log : data ? data->logs() : std::vector<std::shared_ptr<ZVTLog>>{}) {
        if (!log) continue;
        if (auto own = log->transmissionTargetTokens()) tokens.insert(own->begin(), own->end());
        const auto* csLog = dynamic_cast<const ZVTCommonSchemaLog*>(log.get());
        if (!csLog || !csLog->ext() || !csLog->ext()->protocolExt()) continue;
        for (const auto& key :
             csLog->ext()->protocolExt()->ticketKeys().value_or(std::vector<std::string>{})) {
            if (auto ticket = ZVTTicketCache::sharedInstance().ticketFor(key)) {
                tickets[key] = *ticket;
            }
        }
    }
    std::string apiKey;
    for (const auto& token : tokens) apiKey += (apiKey.empty() ? "" : ",") + token;
    headers["apikey"] = apiKey;
    char uploadTime[32];
    std::snprintf(uploadTime, sizeof uploadTime, "%lld",
                  static_cast<long long>(ZVTUtility::nowInMilliseconds()));
    headers["Upload-Time"] = uploadTime;
    if (!tickets.empty()) headers["Tickets"] = ZVTUtility::jsonText(ZVTJson(tickets), false);
    return headers;
}

std::optional<std::string> ZVTCSCollectorIngestion::getPayloadWithData(
    const std::shared_ptr<ZVTLogContainer>& data) {
    if (!data) return std::nullopt;
    std::string body;
    for (const auto& log : data->logs()) {
        auto json = log ? log->serializeLogWithPrettyPrinting(false) : std::nullopt;
        if (!json || json->empty() || *json == "null") {
            ZVTLogError(kZVTLogTag, "Couldn't serialize a log of batch ", data->batchId(),
                        "; it is left out of the request.");
            continue;
        }
        body += *json;
        body += '\n';
    }
    return body;
}

std::optional<std::string> ZVTCSCollectorIngestion::obfuscateResponsePayload(
    const std::optional<std::string>& payload) {
    if (!payload) return std::nullopt;
    return shownPart(maskTokenValues(*payload));
}

void ZVTCSCollectorIngestion::willSendHTTPRequestToURL(
    const std::string& url, const std::map<std::string, std::string>& headers) {
    if (ZVTLogger::currentLogLevel() > ZVTLogLevelVerbose) return;
    std::string text;
    for (const auto& [name, value] : headers) {
        std::string shown = value;
        if (name == "apikey") shown = obfuscateTargetTokens(value);
        if (name == "Tickets") shown = obfuscateTickets(value);
        text += (text.empty() ? "" : ", ") + name + " = " + shown;
    }
    ZVTLogVerbose(kZVTLogTag, "URL: ", url);
    ZVTLogVerbose(kZVTLogTag, "Headers: ", text);
}

std::string ZVTCSCollectorIngestion::obfuscateTargetTokens(const std::string& tokens) {
    std::string out;
    size_t start = 0;
    while (true) {
        const size_t comma = tokens.find(',', start);
        out += ZVTHttpUtil::hideSecret(tokens.substr(start, comma - start));
        if (comma == std::string::npos) break;
        out += ',';
        start = comma + 1;
    }
    return out;
}

std::string ZVTCSCollectorIngestion::obfuscateTickets(const std::string& tickets) {
    return shownPart(maskTicketValues(tickets));
}
