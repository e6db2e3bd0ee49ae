// Fuzz target: any answer to a telemetry request (a transport error, or a status with headers
// and a body) through the HTTP client's answer handling and the ingestion's verbose traces. The
// call is answered exactly once or left waiting for its retry, never twice, never a crash.
//
// Input: byte 0 picks the form (bit 0: transport error, bits 1-2: its kind, bit 3: timed out,
// bit 4: no retries left); bytes 1-2 are the status (big-endian); then "name: value" header
// lines up to an empty line; the rest is the body.
#include "platform/Clock.h"

#include "ZevOzozid/ZevOzozid/Internals/Sender/ZVTHttpClient.h"
#include "ZevOzozid/ZevOzozid/Internals/Sender/ZVTZevOzozidIngestion.h"
#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTLogger.h"

#include <cctype>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>

namespace {

struct Fixture {
    platform::FakeClock clock;  // retry timers never fire on their own
    Fixture() {
        clock.install();
        // Silent, but every message is still formatted.
        ZVTLogger::setLogHandler([](const ZVTLogMessageProvider& message, unsigned,
                                    const std::string&, const char*, const char*, unsigned) {
            if (message) (void)message();
        });
        ZVTLogger::setCurrentLogLevel(ZVTLogLevelVerbose);
    }
};

platform::URLResult answerFrom(const uint8_t* data, size_t size) {
    platform::URLResult result;
    const uint8_t form = data[0];
    if (form & 1) {
        platform::URLError error;
        error.kind = static_cast<platform::URLErrorKind>(((form >> 1) & 3) % 3);
        error.timedOut = (form & 8) != 0;
        error.message.assign(reinterpret_cast<const char*>(data) + 3, size - 3);
        result.error = error;
        return result;
    }
    result.response.status = (static_cast<long>(data[1]) << 8) | data[2];
    const std::string rest(reinterpret_cast<const char*>(data) + 3, size - 3);
    size_t at = 0;
    while (at < rest.size()) {
        size_t end = rest.find('\n', at);
        if (end == std::string::npos) end = rest.size();
        const std::string line = rest.substr(at, end - at);
        at = end + 1;
        if (line.empty()) break;
        const size_t colon = line.find(':');
        std::string name = line.substr(0, colon);
        for (auto& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        std::string value = colon == std::string::npos ? "" : line.substr(colon + 1);
        if (!value.empty() && value[0] == ' ') value.erase(0, 1);
        result.response.headers[name] = value;
    }
    if (at < rest.size()) result.response.body = rest.substr(at);
    return result;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static Fixture fixture;
    if (size < 3) return 0;
    const bool noRetries = (data[0] & 16) != 0;
    std::function<void(platform::URLResult)> answer;
    int answers = 0;
    {
        auto client = std::make_shared<ZVTHttpClient>(std::nullopt, nullptr);
        client->setTransport([&answer](platform::URLRequest, auto done) { answer = done; });
        auto ingestion =
            std::make_shared<ZVTZevOzozidIngestion>(client, "https://ingest.invalid", "ID");
        ingestion->setAppSecret(std::string("0123456789abcdef0123"));
        const std::vector<std::chrono::milliseconds> none;
        if (noRetries) {
            client->sendAsync(ingestion->sendURL(), "POST", {}, std::string("{}"), none, true,
                              [&](const auto& response, const auto& body, const auto& error) {
                                  ++answers;
                                  ingestion->printResponse(response, body, error);
                              });
        } else {
            ingestion->sendAsync(
                nullptr, std::nullopt, "call",
                [&](const std::string&, const auto&, const auto&, const auto&) { ++answers; });
        }
        if (!answer) std::abort();
        answer(answerFrom(data, size));
        if (answers > 1) std::abort();
        if (answers == 0 && client->pendingCallCount() != 1) std::abort();
    }
    // Retry timers of the released client were cancelled; let the scheduler drop them.
    fixture.clock.advance(std::chrono::hours(1));
    return 0;
}
