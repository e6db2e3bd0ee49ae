// Fuzz target: any received text through the common-schema collector's log masks (target
// tokens, tickets, response tokens) and the generic regular-expression mask with the response
// pattern. A masked ticket or response text must mask to itself again.
#include "ZevOzozid/ZevOzozid/Internals/Sender/ZVTCSCollectorIngestion.h"
#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTLogger.h"
#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTUtility.h"

#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

// The generic mask runs the standard regular-expression engine, which recurses per character of
// a match: it gets a prefix short enough for any stack.
constexpr size_t kRegexInputLimit = 2048;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool quiet = [] {
        ZVTLogger::setLogHandler({});
        return true;
    }();
    (void)quiet;
    const std::string text(reinterpret_cast<const char*>(data), size);

    (void)ZVTCSCollectorIngestion::obfuscateTargetTokens(text);

    const std::string tickets = ZVTCSCollectorIngestion::obfuscateTickets(text);
    if (text.size() <= ZVTCSCollectorIngestion::kMaxMaskedLength &&
        ZVTCSCollectorIngestion::obfuscateTickets(tickets) != tickets) {
        std::abort();
    }

    ZVTCSCollectorIngestion ingestion(nullptr, "https://127.0.0.1");
    auto response = ingestion.obfuscateResponsePayload(text);
    if (!response) std::abort();
    if (text.size() <= ZVTCSCollectorIngestion::kMaxMaskedLength &&
        ingestion.obfuscateResponsePayload(*response) != *response) {
        std::abort();
    }

    const std::string head = text.substr(0, kRegexInputLimit);
    (void)ZVTUtility::obfuscateString(head, "\"token\"\\s*:\\s*\"[^\"]+\"", "\"token\" : \"***\"");
    return 0;
}
