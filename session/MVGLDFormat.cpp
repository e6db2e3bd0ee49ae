#include "session/MVGLDFormat.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstddef>
#include <string>

#include <locale.h>
#include <stdlib.h>

namespace {

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

locale_t cLocale() {
    static const locale_t locale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(0));
    return locale;
}

std::size_t skipDigits(std::string_view text, std::size_t at) {
    while (at < text.size() && isDigit(text[at])) ++at;
    return at;
}

}  // namespace

double MVGLDFormat::doubleValue(std::string_view text) {
    std::size_t at = 0;
    while (at < text.size() && isSpace(text[at])) ++at;
    bool negative = false;
    if (at < text.size() && (text[at] == '+' || text[at] == '-')) {
        negative = text[at] == '-';
        ++at;
    }
    const std::size_t start = at;
    std::size_t end = skipDigits(text, at);
    bool anyDigit = end > start;
    if (end < text.size() && text[end] == '.') {
        const std::size_t fractionEnd = skipDigits(text, end + 1);
        anyDigit = anyDigit || fractionEnd > end + 1;
        end = fractionEnd;
    }
    if (!anyDigit) return 0.0;
    if (end < text.size() && (text[end] == 'e' || text[end] == 'E')) {
        std::size_t exponent = end + 1;
        if (exponent < text.size() && (text[exponent] == '+' || text[exponent] == '-')) {
            ++exponent;
        }
        const std::size_t exponentEnd = skipDigits(text, exponent);
        if (exponentEnd > exponent) end = exponentEnd;
    }
    double value = 0.0;
    const char* first = text.data() + start;
    const char* last = text.data() + end;
    const auto [ptr, ec] = std::from_chars(first, last, value, std::chars_format::general);
    if (ec == std::errc::result_out_of_range) {
        // Beyond the range of a double: the C library gives the saturated or underflowed value.
        const std::string digits(first, last);
        value = strtod_l(digits.c_str(), nullptr, cLocale());
    } else if (ec != std::errc()) {
        value = 0.0;
    }
    (void)ptr;
    return negative ? -value : value;
}

float MVGLDFormat::floatValue(std::string_view text) {
    float value = 0.0f;
    const char* last = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), last, value);
    if (ec == std::errc() && ptr == last && std::isfinite(value)) return value;
    return static_cast<float>(doubleValue(text));
}

bool MVGLDFormat::isASCII(std::string_view text) {
    return std::all_of(text.begin(), text.end(),
                       [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

std::vector<std::string> MVGLDFormat::splitLines(std::string_view text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' || text[i] == '\n') {
            lines.emplace_back(text.substr(start, i - start));
            start = i + 1;
        }
    }
    lines.emplace_back(text.substr(start));
    return lines;
}

bool MVGLDFormat::isQuartoLine(std::string_view line) {
    return line == kQuartoLine;
}

bool MVGLDFormat::isAviSectionLine(std::string_view line) {
    return line == kAviSection || line == kAviSectionUpper;
}

std::string MVGLDFormat::normalizeSampleLine(std::string_view line) {
    std::string result;
    result.reserve(line.size());
    for (const char c : line) {
        if (c == ' ' && !result.empty() && result.back() == ' ') continue;
        result.push_back(c == ',' ? '.' : c);
    }
    return result;
}

std::string_view MVGLDFormat::trimSpacesAndTabs(std::string_view text) {
    const auto blank = [](char c) { return c == ' ' || c == '\t'; };
    while (!text.empty() && blank(text.front())) text.remove_prefix(1);
    while (!text.empty() && blank(text.back())) text.remove_suffix(1);
    return text;
}

std::vector<std::string> MVGLDFormat::splitAtSpaces(std::string_view text) {
    std::vector<std::string> fields;
    std::size_t start = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == ' ') {
            fields.emplace_back(text.substr(start, i - start));
            start = i + 1;
        }
    }
    fields.emplace_back(text.substr(start));
    return fields;
}

std::vector<std::string> MVGLDFormat::sampleFields(std::string_view line) {
    const std::string normalized = normalizeSampleLine(line);
    return splitAtSpaces(trimSpacesAndTabs(normalized));
}

std::optional<double> MVGLDFormat::laptimingNumber(std::string_view field) {
    if (!field.empty() && field.front() == '+') field.remove_prefix(1);
    std::size_t at = 0;
    if (at < field.size() && field[at] == '-') ++at;
    const std::size_t integerEnd = skipDigits(field, at);
    bool anyDigit = integerEnd > at;
    std::size_t end = integerEnd;
    if (end < field.size() && field[end] == '.') {
        const std::size_t fractionEnd = skipDigits(field, end + 1);
        anyDigit = anyDigit || fractionEnd > end + 1;
        end = fractionEnd;
    }
    if (!anyDigit) return std::nullopt;
    if (end < field.size() && (field[end] == 'e' || field[end] == 'E')) {
        std::size_t exponent = end + 1;
        if (exponent < field.size() && (field[exponent] == '+' || field[exponent] == '-')) {
            ++exponent;
        }
        end = skipDigits(field, exponent);
        if (end == exponent) return std::nullopt;
    }
    if (end != field.size()) return std::nullopt;
    return doubleValue(field);
}

MVGLDFormat::LaptimingLine MVGLDFormat::parseLaptimingLine(std::string_view line) {
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    while (!line.empty() && blank(line.front())) line.remove_prefix(1);
    while (!line.empty() && blank(line.back())) line.remove_suffix(1);

    LaptimingLine result;
    const auto fields = splitAtSpaces(line);
    if (fields.front() == kLaptimingStart) result.kind = LaptimingLine::Kind::Start;
    if (fields.front() == kLaptimingFinish) result.kind = LaptimingLine::Kind::Finish;
    for (const auto& field : fields) {
        if (const auto number = laptimingNumber(field)) result.numbers.push_back(*number);
    }
    return result;
}

std::string MVGLDFormat::aviExtension(std::string_view line) {
    const auto sameIgnoringCase = [](std::string_view a, std::string_view b) {
        return a.size() == b.size() &&
               std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
                   return (x >= 'A' && x <= 'Z' ? x + ('a' - 'A') : x) == y;
               });
    };
    if (sameIgnoringCase(line, kAviExtension) || sameIgnoringCase(line, kMp4Extension)) {
        return std::string(line);
    }
    return std::string(kAviExtension);
}

std::string MVGLDFormat::videoFileName(std::string_view baseName, std::string_view videoIndex,
                                       std::string_view extension) {
    std::string name(baseName);
    name += videoIndex;
    name += '.';
    name += extension;
    return name;
}
