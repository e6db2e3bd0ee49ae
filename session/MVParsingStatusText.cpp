#include "session/MVParsingStatusText.h"

#include <array>

namespace MVParsingStatus {

const std::string& text(std::int32_t code) {
    static const std::array<std::string, 15> texts = {
        "Start Processing...",
        "Loading Lines...",
        "Loading Headers...",
        "Loading Samples...",
        "Loading Speeds...",
        "Loading FakeIndexes...",
        "Loading Distances...",
        "Loading Tracks...",
        "Loading Default track...",
        "Loading Laps...",
        "",
        "Track/layout must match the current session.",
        "Cannot load non-circuit file. Feature planned for a future version.",
        "Cannot get data information.",
        "No laps detected. Custom tracks are not yet supported.",
    };
    static const std::string none;
    if (code < 0 || code >= static_cast<std::int32_t>(texts.size())) return none;
    return texts[static_cast<size_t>(code)];
}

}  // namespace MVParsingStatus
