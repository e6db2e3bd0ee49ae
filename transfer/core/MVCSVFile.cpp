#include "transfer/core/MVCSVFile.h"

#include "transfer/core/MVAtomicFile.h"

#include "session/MVSampleValues.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <iostream>
#include <optional>

namespace {

constexpr double kNoBestSector = 99999999.0;
constexpr std::size_t kMaxFileNameBytes = 255;

// True for a number text of zeros only ("0.00").
bool isZeroText(const std::string& text) {
    return text.find_first_not_of("0.") == std::string::npos;
}

// printf's "%.<precision>f", always with a point; a value that rounds to zero has no sign, so a
// zero prints one way ("0.00", never "-0.00").
std::string fixed(double value, int precision) {
    char buffer[64];
    const auto result =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, precision);
    if (result.ec != std::errc()) return "N/A";
    std::string text(buffer, result.ptr);
    if (text.front() == '-' && isZeroText(text.substr(1))) text.erase(0, 1);
    return text;
}

// "+0.10" above zero, "-0.10" below, "0.00" for what rounds to zero either way.
std::string signedDifference(double value) {
    const std::string text = fixed(value, 2);
    return value > 0 && !isZeroText(text) ? "+" + text : text;
}

// The lap delta: a plus sign for zero (the fastest lap's own "+0.00") and above, the minus sign
// alone below.
std::string lapDelta(double value) {
    const std::string text = fixed(value, 2);
    return text.front() == '-' ? text : "+" + text;
}

std::string quoted(const std::string& field) {
    if (field.find_first_of(",\"\r\n") == std::string::npos) return field;
    std::string out = "\"";
    for (char c : field) {
        if (c == '"') out += '"';
        out += c;
    }
    return out + "\"";
}

// Sector k (from 1) of a lap, none when the lap has no such sector.
std::optional<double> sectorTime(const MVLap& lap, std::size_t k) {
    const MVSectors& sectors = *lap.sectors();
    if (k == 0 || k >= sectors.count()) return std::nullopt;
    const auto i = static_cast<std::int64_t>(k);
    return sectors.valueAtIndex(i) - sectors.valueAtIndex(i - 1);
}

std::size_t sectorCount(const MVLap& lap) {
    const std::size_t boundaries = lap.sectors()->count();
    return boundaries == 0 ? 0 : boundaries - 1;
}

std::vector<MVLapsPtr> sessionsWithLaps(const std::vector<MVLapsPtr>& sessions) {
    std::vector<MVLapsPtr> out;
    for (const MVLapsPtr& laps : sessions) {
        if (laps && laps->count() > 0) out.push_back(laps);
    }
    return out;
}

std::string lapLine(const MVLap& lap, const MVLap& fastest, std::size_t sectors,
                    const MVCSVFile::SpeedOf& speedOf) {
    const bool isFastest = &lap == &fastest;
    std::string line = std::to_string(lap.number()) + "," +
                       MVCSVFile::stringOfMinAndSeconds(lap.duration()) + "," +
                       lapDelta(lap.duration() - fastest.duration()) + "," +
                       fixed(speedOf(lap), 3) + "," + (isFastest ? "True" : "");
    const std::size_t count = std::max(sectors, sectorCount(lap));
    for (std::size_t k = 1; k <= count; ++k) {
        line += ",";
        const auto own = sectorTime(lap, k);
        const auto reference = sectorTime(fastest, k);
        if (isFastest && own)
            line += fixed(*own, 2);
        else if (own && reference)
            line += signedDifference(*own - *reference);
    }
    return line + "\n";
}

std::string idealLine(const MVLaps& laps, const MVLap& fastest, std::size_t sectors) {
    std::string fields;
    bool idealKnown = true;
    double ideal = fastest.duration();
    for (std::size_t k = 1; k <= sectors; ++k) {
        double best = kNoBestSector;
        for (const MVLapPtr& lap : laps.data()) {
            const auto time = sectorTime(*lap, k);
            if (time && *time != 0 && *time < best) best = *time;
        }
        const auto reference = sectorTime(fastest, k);
        fields += ",";
        if (best == kNoBestSector) {
            fields += "N/A";
            idealKnown = false;
        } else if (!reference) {
            idealKnown = false;
        } else {
            fields += signedDifference(best - *reference);
            ideal += best - *reference;
        }
    }
    std::string line = "Ideal,";
    line += idealKnown ? MVCSVFile::stringOfMinAndSeconds(ideal) + "," +
                             fixed(ideal - fastest.duration(), 2)
                       : std::string("N/A,N/A");
    return line + ",N/A," + fields + "\n";
}

std::string bestLine(const MVLap& fastest, std::size_t sectors, const MVCSVFile::SpeedOf& speedOf) {
    std::string line = "Best," + MVCSVFile::stringOfMinAndSeconds(fastest.duration()) + "," +
                       fixed(0.0, 2) + "," + fixed(speedOf(fastest), 3) + ",True";
    for (std::size_t k = 1; k <= sectors; ++k) {
        const auto time = sectorTime(fastest, k);
        line += "," + (time ? fixed(*time, 2) : std::string());
    }
    return line + "\n";
}

// Cuts a UTF-8 text to at most `limit` bytes without splitting a character.
std::string cutAtCharacter(const std::string& text, std::size_t limit) {
    if (text.size() <= limit) return text;
    std::size_t end = limit;
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
    return text.substr(0, end);
}

}  // namespace

std::string MVCSVFile::stringOfMinAndSeconds(double seconds) {
    const double scaled = seconds * 100.0 + 0.5;
    const long long h = scaled > 0 && std::isfinite(scaled) ? static_cast<long long>(scaled) : 0;
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%02lld:%02lld.%02lld", h / 6000, (h / 100) % 60, h % 100);
    return buffer;
}

double MVCSVFile::maxSpeed(const MVLap& lap) {
    return MVSampleValues(MVGLDFileManager::sharedManager()).vmaxWithLap(lap);
}

MVLapPtr MVCSVFile::fastestLap(const std::vector<MVLapsPtr>& sessions) {
    MVLapPtr fastest;
    for (const MVLapsPtr& laps : sessionsWithLaps(sessions)) {
        MVLapPtr candidate = laps->findFastestLap();
        if (candidate && (!fastest || candidate->duration() < fastest->duration())) {
            fastest = candidate;
        }
    }
    return fastest;
}

std::string MVCSVFile::text(const std::vector<MVLapsPtr>& sessions, const SpeedOf& speedOf) {
    const MVLapPtr fastest = fastestLap(sessions);
    if (!fastest) return {};
    std::string out;
    for (const MVLapsPtr& laps : sessionsWithLaps(sessions)) {
        const MVLap& first = *laps->data().front();
        const std::size_t sectors = sectorCount(first);
        out += quoted(first.gldFile()) + "\n";
        out += "Lap,Time,Delta,VMAX,Datum";
        for (std::size_t k = 1; k <= sectors; ++k) out += ",S" + std::to_string(k);
        out += "\n";
        for (const MVLapPtr& lap : laps->data()) out += lapLine(*lap, *fastest, sectors, speedOf);
        out += "\n";
        out += idealLine(*laps, *fastest, sectors);
        out += bestLine(*fastest, sectors, speedOf);
        out += "\n";
    }
    return out;
}

std::string MVCSVFile::fileName(const std::vector<MVLapsPtr>& sessions) {
    static const std::string kExtension = ".csv";
    const std::size_t budget = kMaxFileNameBytes - kExtension.size();
    std::string name;
    for (const MVLapsPtr& laps : sessionsWithLaps(sessions)) {
        const std::string& part = laps->data().front()->gldFile();
        if (name.empty()) {
            name = cutAtCharacter(part, budget);
        } else if (name.size() + 1 + part.size() <= budget) {
            name += "+" + part;
        } else {
            break;
        }
    }
    return name.empty() ? std::string() : name + kExtension;
}

MVCSVFile::Result MVCSVFile::generateLaps(const std::vector<MVLapsPtr>& sessions,
                                          const std::filesystem::path& folder, SpeedOf speedOf,
                                          bool replaceExisting) {
    if (!speedOf) speedOf = &MVCSVFile::maxSpeed;
    Result result;
    const std::string body = text(sessions, speedOf);
    if (body.empty()) return result;
    result.file = folder / fileName(sessions);
    std::error_code error;
    if (folder.empty() || !std::filesystem::is_directory(folder, error)) {
        result.outcome = Outcome::Failed;
        result.error = "The folder does not exist.";
        return result;
    }
    std::cout << body << std::flush;
    result.error = MVAtomicFile::write(result.file, body, replaceExisting);
    result.outcome = result.error.empty() ? Outcome::Written : Outcome::Failed;
    return result;
}
