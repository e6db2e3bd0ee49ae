#pragma once

// Edits of a generated session's "[data]" rows, shared by gld-gen and the tests: logging that
// stops early, rows rewritten field by field (a position lost, a sparser log of a faster drive).
// Rows are the non-empty lines after "[data]", fields separated by single spaces; line ends (CR LF
// or LF) are kept.

#include <cmath>
#include <cstddef>
#include <cstdio>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

namespace session_edits {

using Fields = std::vector<std::string>;

// Columns of the generator's rows.
constexpr std::size_t kTimeColumn = 1;
constexpr std::size_t kLatitudeColumn = 2;
constexpr std::size_t kLongitudeColumn = 3;
constexpr std::size_t kSpeedColumn = 4;

// The text with data row r (0 = the first row of "[data]") passed to `change`, which may rewrite
// its fields or drop the row (false); rows after `lastRow` are left out, as if logging had stopped
// there.
inline std::string rewriteRows(const std::string& text, std::size_t lastRow,
                               const std::function<bool(std::size_t, Fields&)>& change = {}) {
    std::istringstream in(text);
    std::string line;
    std::string out;
    bool inData = false;
    std::size_t row = 0;
    while (std::getline(in, line)) {
        const bool cr = !line.empty() && line.back() == '\r';
        if (cr) line.pop_back();
        if (inData && !line.empty()) {
            if (row > lastRow) break;
            if (change) {
                Fields fields;
                std::istringstream split(line);
                for (std::string field; split >> field;) fields.push_back(field);
                if (!change(row++, fields)) continue;
                line.clear();
                for (const auto& field : fields) line += (line.empty() ? "" : " ") + field;
            } else {
                ++row;
            }
        }
        if (line == "[data]") inData = true;
        out += line + (cr ? "\r\n" : "\n");
    }
    return out;
}

// The rows in `rows` read 0, 0 for latitude and longitude but keep their satellite count.
inline std::string withoutPosition(const std::string& text, const std::vector<std::size_t>& rows) {
    return rewriteRows(text, std::string::npos, [&](std::size_t row, Fields& fields) {
        for (std::size_t r : rows) {
            if (r == row) fields[kLatitudeColumn] = fields[kLongitudeColumn] = "0.000000";
        }
        return true;
    });
}

// The session logged every `keep`-th row and driven `faster` times as fast: the elapsed times
// divided by it, the speeds multiplied by it (the path stays the same).
inline std::string drivenFaster(const std::string& text, std::size_t keep, double faster) {
    double start = -1;
    return rewriteRows(text, std::string::npos, [&](std::size_t row, Fields& fields) {
        if (row % keep != 0) return false;
        const std::string& time = fields[kTimeColumn];
        const double seconds = std::stoi(time.substr(0, 2)) * 3600 +
                               std::stoi(time.substr(2, 2)) * 60 + std::stod(time.substr(4));
        if (start < 0) start = seconds;
        const long hundredths = std::lround((start + (seconds - start) / faster) * 100);
        char buffer[64];
        std::snprintf(buffer, sizeof buffer, "%02ld%02ld%02ld.%02ld", hundredths / 360000,
                      hundredths / 6000 % 60, hundredths / 100 % 60, hundredths % 100);
        fields[kTimeColumn] = buffer;
        std::snprintf(buffer, sizeof buffer, "%.2f", std::stod(fields[kSpeedColumn]) * faster);
        fields[kSpeedColumn] = buffer;
        return true;
    });
}

}  // namespace session_edits
