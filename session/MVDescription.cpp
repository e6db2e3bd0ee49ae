#include "session/MVDescription.h"

#include <charconv>
#include <cstdio>
#include <string_view>

std::string MVDescription::shortestDouble(double value) {
    char buffer[64];
    const auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value);
    if (ec != std::errc()) return "nan";
    std::string text(buffer, end);
    if (text.find_first_of(".eEn") == std::string::npos) text += ".0";  // "n": inf and nan
    return text;
}

std::string MVDescription::objectText(const char* className, const void* object) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%p", object);
    return std::string("<") + className + ": " + buffer + ">";
}

std::string MVDescription::listText(const std::vector<std::string>& items, int level) {
    const std::string indent(static_cast<std::size_t>(level) * 4, ' ');
    std::string text = "(\n";
    for (std::size_t i = 0; i < items.size(); ++i) {
        text += indent + "    " + items[i];
        if (i + 1 < items.size()) text += ",";
        text += "\n";
    }
    return text + indent + ")";
}
