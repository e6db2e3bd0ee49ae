#include "platform/Crypto.h"

#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTLogger.h"
#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTTextPattern.h"
#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTUtility.h"

#include <cstring>

namespace {

// Past this depth the indented form is not attempted (writing it recurses per level).
constexpr int kMaxPrettyPrintDepth = 64;

std::vector<std::string> splitParts(const std::string& text) {
    std::vector<std::string> parts;
    size_t start = 0;
    while (true) {
        size_t end = text.find(';', start);
        parts.push_back(
            text.substr(start, end == std::string::npos ? std::string::npos : end - start));
        if (end == std::string::npos) break;
        start = end + 1;
    }
    return parts;
}

std::string removeAll(std::string text, const std::string& what) {
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at)) {
        text.erase(at, what.size());
    }
    return text;
}

bool contains(const std::string& text, const char* what) {
    return text.find(what) != std::string::npos;
}

// Byte length of the UTF-8 sequence starting with `lead`, and its UTF-16 units.
void sequenceOf(unsigned char lead, size_t& bytes, size_t& units) {
    units = 1;
    if (lead < 0x80 || lead < 0xC2 || lead > 0xF4)
        bytes = 1;
    else if (lead < 0xE0)
        bytes = 2;
    else if (lead < 0xF0)
        bytes = 3;
    else {
        bytes = 4;
        units = 2;
    }
}

// Bytes of the well-formed sequence at i (1 for a stray byte), with its UTF-16 units.
size_t stepAt(const std::string& text, size_t i, size_t& units) {
    size_t bytes = 1;
    sequenceOf(static_cast<unsigned char>(text[i]), bytes, units);
    if (i + bytes > text.size()) bytes = 1;
    for (size_t k = 1; k < bytes; ++k) {
        if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) {
            bytes = 1;
            break;
        }
    }
    if (bytes == 1) units = 1;
    return bytes;
}

}  // namespace

namespace ZVTUtility {

std::optional<std::string> appSecretFrom(const std::optional<std::string>& configuration) {
    if (!configuration) return std::nullopt;
    const bool platformKeyed = contains(*configuration, "macos=");
    for (const auto& part : splitParts(*configuration)) {
        if (part.empty() || contains(part, "target=")) continue;
        std::string yielded;
        if (platformKeyed) {
            if (!contains(part, "macos=")) continue;
            yielded = removeAll(part, "macos=");
        } else {
            yielded = removeAll(part, "appsecret=");
        }
        if (!yielded.empty()) return yielded;
    }
    return std::nullopt;
}

std::optional<std::string> transmissionTargetTokenFrom(
    const std::optional<std::string>& configuration) {
    if (!configuration) return std::nullopt;
    for (const auto& part : splitParts(*configuration)) {
        if (!contains(part, "target=")) continue;
        std::string rest = removeAll(part, "target=");
        if (!rest.empty()) return rest;
    }
    return std::nullopt;
}

std::optional<std::string> targetKeyFromTargetToken(const std::optional<std::string>& token) {
    if (!token) return std::nullopt;
    std::string key = token->substr(0, token->find('-'));
    if (key.empty()) return std::nullopt;
    return key;
}

std::optional<std::string> iKeyFromTargetToken(const std::optional<std::string>& token) {
    auto key = targetKeyFromTargetToken(token);
    if (!key) return std::nullopt;
    return "o:" + *key;
}

std::string sha256(const std::string& text) {
    return platform::crypto::sha256Hex(std::string_view(text.c_str(), std::strlen(text.c_str())));
}

std::optional<std::string> prettyPrintJson(const std::optional<std::string>& bytes) {
    if (!bytes) return std::nullopt;
    bool tooDeep = false;
    auto limit = [&tooDeep](int depth, ZVTJson::parse_event_t, ZVTJson&) {
        if (depth > kMaxPrettyPrintDepth) tooDeep = true;
        return !tooDeep;
    };
    ZVTJson parsed;
    try {
        parsed = ZVTJson::parse(*bytes, limit, /*allow_exceptions=*/false);
    } catch (const std::exception&) {
        return *bytes;
    }
    if (tooDeep || parsed.is_discarded()) return *bytes;
    return jsonText(parsed, true);
}

std::optional<std::string> obfuscateString(const std::optional<std::string>& text,
                                           const std::string& pattern,
                                           const std::string& replacementTemplate) {
    if (!text) return std::nullopt;
    std::string why;
    auto expression = ZVTTextPattern::make(pattern, why);
    if (!expression) {
        ZVTLogError(kZVTLogTag, "Couldn't create regular expression with pattern\"", pattern,
                    "\": ", why);
        return std::nullopt;
    }
    return expression->replaceAll(*text, replacementTemplate);
}

size_t utf16Length(const std::string& text) {
    size_t total = 0;
    for (size_t i = 0; i < text.size();) {
        size_t units = 1;
        i += stepAt(text, i, units);
        total += units;
    }
    return total;
}

std::string truncateToUTF16Units(const std::string& text, size_t limit) {
    size_t total = 0;
    size_t i = 0;
    while (i < text.size()) {
        size_t units = 1;
        size_t bytes = stepAt(text, i, units);
        if (total + units > limit) break;
        total += units;
        i += bytes;
    }
    return text.substr(0, i);
}

}  // namespace ZVTUtility
