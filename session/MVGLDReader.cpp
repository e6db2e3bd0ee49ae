#include "session/MVGLDReader.h"

#include "session/MVGLDFileBlocks.h"
#include "session/MVHelperKeys.h"
#include "session/MVStepTimer.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <optional>

namespace {

// ---- header -----------------------------------------------------------------------------------

struct VelocityName {
    std::string_view name;
    bool quality;
    double scale;
};

constexpr std::array<VelocityName, 8> kVelocityNames{{
    {"velocity kmh", false, 1.0},
    {"velocity mph", false, 1.609344},
    {"velocity knots", false, 1.852},
    {"velocity m/s", false, 3.6},
    {"velocity quality kmh", true, 1.0},
    {"velocity quality mph", true, 1.609344},
    {"velocity quality knots", true, 1.852},
    {"velocity quality m/s", true, 3.6},
}};

// Channels the logger derives itself; their fields stay in the file but nobody reads them.
constexpr std::array<std::string_view, 20> kDroppedNames{{
    "yaw rate deg/s",
    "yaw rate 2",
    "lateral accel (yaw sensor)",
    "latacc 2",
    "latacc_2",
    "radius of turn",
    "distance m",
    "distance feet",
    "gps distance from start point in metres",
    "gps distance from start point in feet",
    "incremental time in seconds",
    "long acc calc",
    "lat acc calc",
    "x position in metres",
    "y position in metres",
    "x position in feet",
    "y position in feet",
    "relative height",
    "ycentre line deviation",
    "absolute heading",
}};

std::string lowerCased(std::string_view text) {
    std::string result(text);
    for (char& c : result) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return result;
}

std::optional<std::size_t> indexOfLine(std::span<const std::string_view> lines,
                                       std::string_view wanted) {
    const auto it = std::find(lines.begin(), lines.end(), wanted);
    if (it == lines.end()) return std::nullopt;
    return static_cast<std::size_t>(it - lines.begin());
}

}  // namespace

MVGLDText MVGLDReader::readGLDText(const std::filesystem::path& path) {
    MVGLDText result;
    MVGLDFileBlocks file(path);
    if (file.sizeAtOpen() > 0) result.text.reserve(file.sizeAtOpen());
    while (file.readInto(result.text, std::size_t{1} << 20) > 0) {
    }
    if (!file.error().empty()) {
        result.text.clear();
        result.error = file.notASCII() ? MVGLDReadError::NotASCII : MVGLDReadError::Unreadable;
        result.message = file.error();
        return result;
    }
    return textFromBytes(std::move(result.text));
}

MVGLDText MVGLDReader::textFromBytes(std::string bytes) {
    MVGLDText result;
    result.text = std::move(bytes);
    if (result.text.empty()) {
        result.error = MVGLDReadError::Empty;
        result.message = "The session file is empty.";
        return result;
    }
    const auto bad = std::find_if(result.text.begin(), result.text.end(),
                                  [](char c) { return static_cast<unsigned char>(c) > 127; });
    if (bad != result.text.end()) {
        char detail[96];
        std::snprintf(detail, sizeof detail, " (byte 0x%02X at offset %zu).",
                      static_cast<unsigned>(static_cast<unsigned char>(*bad)),
                      static_cast<std::size_t>(bad - result.text.begin()));
        result.text.clear();
        result.error = MVGLDReadError::NotASCII;
        result.message = std::string("The session file is not plain ASCII text") + detail;
    }
    return result;
}

std::vector<std::string_view> MVGLDReader::splitGLDLines(std::string_view text) {
    std::vector<std::string_view> lines;
    lines.reserve(text.size() / 32 + 1);
    std::size_t begin = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' || text[i] == '\n') {
            lines.push_back(text.substr(begin, i - begin));
            begin = i + 1;
        }
    }
    lines.push_back(text.substr(begin));
    return lines;
}

MVGLDHeader MVGLDReader::fetchHeadersWithArrayOfLines(std::span<const std::string_view> lines) {
    const MVStepTimer timer("MVGLDReader::fetchHeadersWithArrayOfLines");
    MVGLDHeader header;
    if (const auto start = indexOfLine(lines, "[header]")) {
        std::size_t fileColumn = 0;
        bool haveSpeedUnit = false;
        for (std::size_t i = *start + 1; i < lines.size(); ++i) {
            const std::string_view line = lines[i];
            if (line.empty()) continue;
            if (line.find('[') != std::string_view::npos) break;
            std::string name = lowerCased(line);
            const std::size_t column = fileColumn++;
            const auto velocity = std::find_if(kVelocityNames.begin(), kVelocityNames.end(),
                                               [&](const auto& v) { return v.name == name; });
            if (velocity != kVelocityNames.end()) {
                // The speeds are read from the first "velocity" line's field, so its unit is
                // theirs; a velocity-quality line, before or after it, has a unit of its own.
                if (!velocity->quality && !haveSpeedUnit) {
                    header.speedUnitScale = velocity->scale;
                    haveSpeedUnit = true;
                }
                name = velocity->quality ? "velocity quality" : MVHelper::Key_Speed();
            } else if (std::find(kDroppedNames.begin(), kDroppedNames.end(), name) !=
                       kDroppedNames.end()) {
                continue;
            }
            header.names.push_back(std::move(name));
            header.fileColumns.push_back(column);
        }
    }
    for (const std::string* derived :
         {&MVHelper::Key_DeltaT(), &MVHelper::Key_Distance(), &MVHelper::Key_LatAcc(),
          &MVHelper::Key_LongAcc(), &MVHelper::Key_CombinedG(), &MVHelper::Key_UTCTime()}) {
        header.names.push_back(*derived);
    }
    return header;
}

bool MVGLDReader::checkIfFileIsQuarto(std::span<const std::string_view> lines) {
    return indexOfLine(lines, "Type : Quarto").has_value();
}
