#include "session/MVLapMapData.h"

#include "session/MVGLDFormat.h"
#include "session/MVGLDReader.h"
#include "session/MVHelperGeometry.h"
#include "session/MVHelperKeys.h"
#include "session/MVHelperMotion.h"
#include "session/MVSampleValues.h"
#include "session/MVStepTimer.h"
#include "session/ZORFileLog.h"

#include "platform/Folders.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <string_view>

namespace MVLapMapData {

namespace {

constexpr double kLargestFloat = std::numeric_limits<float>::max();

MV2DSegmentPtr pointOfSample(std::int64_t index, const MVLap& lap, const MVSampleValues& values,
                             const MVLocation& base, SessionPoints atHand) {
    const auto i = static_cast<std::size_t>(std::max<std::int64_t>(index, 0));
    if (atHand.points && atHand.fixes && i < atHand.points->size() && i < atHand.fixes->size() &&
        (*atHand.points)[i]) {
        // The session's own point: maps only read their points, so they share them.
        return (*atHand.fixes)[i] ? (*atHand.points)[i] : MV2DSegment::instance();
    }
    auto location = values.locationWithSamplesIndex(index, lap);
    if (!location || location->latitude() == 0 || location->longitude() == 0) {
        return MV2DSegment::instance();
    }
    return MVHelper::convertLocationToSegment(*location, base);
}

void storeMap(MVLap& lap, std::vector<std::vector<MV2DSegmentPtr>> lists) {
    double xMin = kLargestFloat, yMin = kLargestFloat;
    double xMax = -kLargestFloat, yMax = -kLargestFloat;
    for (const auto& list : lists) {
        for (const auto& s : list) {
            const MVPoint p = s->point();
            if (p.x == 0 && p.y == 0) continue;
            xMin = std::min(xMin, p.x);
            yMin = std::min(yMin, p.y);
            xMax = std::max(xMax, p.x);
            yMax = std::max(yMax, p.y);
        }
    }
    auto map = MVMap::instance();
    if (xMax < xMin) {
        // No sample with a fix: an empty box at the origin.
        xMin = yMin = xMax = yMax = 0;
    }
    map->setWidth(xMax - xMin);
    map->setHeight(yMax - yMin);
    map->setXMin(xMin);
    map->setYMin(yMin);
    map->setSectorSegments(std::move(lists));
    lap.setMap(std::move(map));
}

std::string lowerAscii(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

std::optional<double> parseMinutes(std::string_view field) {
    std::string text(field);
    std::replace(text.begin(), text.end(), ',', '.');
    double value = 0;
    const char* begin = text.data();
    if (!text.empty() && text.front() == '+') ++begin;
    auto [end, ec] = std::from_chars(begin, text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

std::vector<std::string_view> splitFields(std::string_view row) {
    std::vector<std::string_view> fields;
    size_t i = 0;
    while (i < row.size()) {
        while (i < row.size() && std::isspace(static_cast<unsigned char>(row[i]))) ++i;
        size_t start = i;
        while (i < row.size() && !std::isspace(static_cast<unsigned char>(row[i]))) ++i;
        if (i > start) fields.push_back(row.substr(start, i - start));
    }
    return fields;
}

std::optional<std::filesystem::path> shippedOutline(const std::string& lowerName) {
    std::error_code ec;
    std::vector<std::filesystem::path> candidates;
    for (auto it = std::filesystem::recursive_directory_iterator(
             platform::folders::programResources(), ec);
         !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
        if (!it->is_regular_file(ec)) continue;
        const std::string ext = it->path().extension().string();
        if (ext == ".cir" || ext == ".CIR") candidates.push_back(it->path());
    }
    std::sort(candidates.begin(), candidates.end());
    // Lower-case extension first, as the bundle lookup asks for "cir" before "CIR".
    std::stable_partition(candidates.begin(), candidates.end(),
                          [](const auto& p) { return p.extension() == ".cir"; });
    for (const auto& p : candidates) {
        if (lowerAscii(p.string()).find(lowerName) != std::string::npos) return p;
    }
    return std::nullopt;
}

}  // namespace

void fetchMapDataWithLap(MVLap& lap, const MVGLDFileManager& manager) {
    fetchMapDataWithLap(lap, manager, SessionPoints{});
}

void fetchMapDataWithLap(MVLap& lap, const MVGLDFileManager& manager, SessionPoints atHand) {
    const MVStepTimer timing("fetchMapDataWithLap:");
    const MVSampleValues values(manager);
    const MVLocation base = manager.baseLocationOrOrigin();
    const auto& bounds = lap.sectors()->values();
    std::vector<std::vector<MV2DSegmentPtr>> lists;
    for (size_t i = 1; i < bounds.size(); ++i) {
        const std::int64_t j = values.indexOfSamplesFromTimestamp(lap, bounds[i - 1]);
        const std::int64_t k = values.indexOfSamplesFromTimestamp(lap, bounds[i]);
        std::vector<MV2DSegmentPtr> list;
        for (std::int64_t s = j; s <= k; ++s) {
            list.push_back(pointOfSample(s, lap, values, base, atHand));
        }
        lists.push_back(std::move(list));
    }
    storeMap(lap, std::move(lists));
}

void fetchMapDataWithWholeFileLap(MVLap& lap, const MVGLDFileManager& manager) {
    fetchMapDataWithWholeFileLap(lap, manager, SessionPoints{});
}

void fetchMapDataWithWholeFileLap(MVLap& lap, const MVGLDFileManager& manager,
                                  SessionPoints atHand) {
    const MVStepTimer timing("fetchMapDataWithWholeFileLap:");
    const MVSampleValues values(manager);
    const MVLocation base = manager.baseLocationOrOrigin();
    std::vector<MV2DSegmentPtr> list;
    const auto start = static_cast<std::int64_t>(lap.indexStart());
    const auto end = static_cast<std::int64_t>(lap.indexEnd());
    if (end >= start) list.reserve(static_cast<size_t>(end - start + 1));
    for (std::int64_t s = start; s <= end; ++s) {
        list.push_back(pointOfSample(s, lap, values, base, atHand));
    }
    std::vector<std::vector<MV2DSegmentPtr>> lists;
    lists.push_back(std::move(list));
    storeMap(lap, std::move(lists));
}

std::optional<std::vector<MVLocation>> readCircuitOutline(const std::filesystem::path& file) {
    auto text = platform::folders::readFile(file);
    if (!text) return std::nullopt;
    return readCircuitOutlineText(*text);
}

std::optional<std::vector<MVLocation>> readCircuitOutlineText(std::string_view text) {
    const auto lines = MVGLDReader::splitGLDLines(text);
    auto find = [&](std::string_view a, std::string_view b) -> std::optional<size_t> {
        for (std::string_view marker : {a, b}) {
            for (size_t i = 0; i < lines.size(); ++i) {
                if (MVGLDFormat::trimSpacesAndTabs(lines[i]) == marker) return i;
            }
        }
        return std::nullopt;
    };
    const auto h = find("[header]", "[Header]");
    const auto d = find("[data]", "[Data]");
    if (!h || !d || *d <= *h) return std::nullopt;
    std::optional<size_t> latColumn, lonColumn;
    size_t column = 0;
    for (size_t i = *h + 1; i < *d; ++i) {
        const auto name = MVGLDFormat::trimSpacesAndTabs(lines[i]);
        if (name.empty()) continue;
        const std::string lower = lowerAscii(std::string(name));
        if (lower == MVHelper::Key_Latitude() && !latColumn) latColumn = column;
        if (lower == MVHelper::Key_Longitude() && !lonColumn) lonColumn = column;
        ++column;
    }
    if (!latColumn || !lonColumn) return std::nullopt;
    std::vector<MVLocation> points;
    for (size_t i = *d + 1; i < lines.size(); ++i) {
        const auto row = MVGLDFormat::trimSpacesAndTabs(lines[i]);
        if (row.empty()) continue;
        const auto fields = splitFields(row);
        if (fields.size() <= std::max(*latColumn, *lonColumn)) return std::nullopt;
        auto lat = parseMinutes(fields[*latColumn]);
        auto lon = parseMinutes(fields[*lonColumn]);
        if (!lat || !lon) return std::nullopt;
        MVLocation location;
        location.setLatitude(*lat / MVHelper::LATITUDE_TO_DECIMAL_MINUTES);
        location.setLongitude(*lon / MVHelper::LONGITUDE_TO_DECIMAL_MINUTES);
        points.push_back(location);
    }
    return points;
}

std::vector<MV2DSegmentPtr> mapDataCalculation(const MVTrackInfo* track,
                                               const MVGLDFileManager& manager) {
    if (track == nullptr) return {};
    std::optional<std::filesystem::path> file;
    if (track->urlFromCustomer()) {
        file = track->urlFromCustomer();
    } else if (!track->trackName().empty()) {
        const std::string lower = lowerAscii(track->trackName());
        file = MVHelper::getCIRTrackMapFilesFromAppSupportDirectoryWithFileName(lower);
        if (!file) file = shippedOutline(lower);
    }
    std::optional<std::vector<MVLocation>> outline;
    if (file) outline = readCircuitOutline(*file);
    if (!outline) {
        ZORFileLog::writeToTextFile("mapDataCalculation: Cannot find path for track!");
        return {};
    }
    const MVLocation base = manager.baseLocationOrOrigin();
    std::vector<MV2DSegmentPtr> segments;
    segments.reserve(outline->size());
    for (const auto& location : *outline) {
        segments.push_back(MVHelper::convertLocationToSegment(location, base));
    }
    return segments;
}

}  // namespace MVLapMapData
