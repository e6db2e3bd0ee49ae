#pragma once

// The floor of any session loader, for timing figures: read the file once and turn every number
// of its "[data]" section into one vector of doubles with std::from_chars. No row is chosen, no
// field kept: what a load costs beyond this is the loader's own work.
#include <charconv>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

namespace bare_parse {

inline std::string readFile(const char* path) {
    std::string text;
    if (FILE* f = std::fopen(path, "rb")) {
        char chunk[1 << 16];
        for (std::size_t got; (got = std::fread(chunk, 1, sizeof chunk, f)) > 0;) {
            text.append(chunk, got);
        }
        std::fclose(f);
    }
    return text;
}

// Every space-separated number after the "[data]" line, in file order.
inline std::vector<double> numbersOfData(std::string_view text) {
    std::vector<double> numbers;
    const std::size_t data = text.find("[data]");
    if (data == std::string_view::npos) return numbers;
    numbers.reserve((text.size() - data) / 6);
    const char* at = text.data() + data + 6;
    const char* last = text.data() + text.size();
    while (at < last) {
        while (at < last && (*at == ' ' || *at == '\r' || *at == '\n' || *at == '\t')) ++at;
        if (at == last) break;
        double value = 0;
        const auto [ptr, ec] = std::from_chars(at, last, value);
        if (ec == std::errc()) numbers.push_back(value);
        at = ptr == at ? at + 1 : ptr;
    }
    return numbers;
}

}  // namespace bare_parse
