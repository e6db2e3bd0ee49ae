#include "session/MVVideoLinks.h"

#include "session/MVGLDFormat.h"
#include "session/MVGLDRowReader.h"
#include "session/MVHelperKeys.h"
#include "session/MVPartThreads.h"
#include "session/MVSampleValues.h"
#include "session/MVStepTimer.h"

#include "platform/Folders.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <limits>

namespace {

// The leading whole number of a text (blanks skipped, optional sign, digits; saturating); 0
// when the text does not start with one.
std::int64_t leadingInteger(std::string_view text) {
    std::size_t at = 0;
    while (at < text.size() && (text[at] == ' ' || text[at] == '\t')) ++at;
    bool negative = false;
    if (at < text.size() && (text[at] == '+' || text[at] == '-')) negative = text[at++] == '-';
    constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();
    std::int64_t value = 0;
    for (; at < text.size() && text[at] >= '0' && text[at] <= '9'; ++at) {
        const int digit = text[at] - '0';
        if (value > (kMax - digit) / 10) {
            return negative ? std::numeric_limits<std::int64_t>::min() : kMax;
        }
        value = value * 10 + digit;
    }
    return negative ? -value : value;
}

// The rows whose video index a lap's videos are read from: its samples, but none past the
// session's last row (those name no file).
std::pair<std::int64_t, std::int64_t> videoRowRange(const MVGLDFileManager& manager,
                                                    const MVLap& lap) {
    std::int64_t last = MVSampleValues::signedIndex(lap.indexEnd());
    if (const auto file = manager.indexOfGLDFileName(lap.gldFile());
        file && *file < manager.arrayOfSamples().size()) {
        last =
            std::min(last, static_cast<std::int64_t>(manager.arrayOfSamples()[*file].size()) - 1);
    }
    return {MVSampleValues::signedIndex(lap.indexStart()), last};
}

}  // namespace

void MVVideoIndexRuns::add(std::int64_t row, std::optional<std::string_view> text) {
    if (runs_.empty() || runs_.back().text.has_value() != text.has_value() ||
        (text && *runs_.back().text != *text)) {
        Run run;
        run.firstRow = row;
        if (text) run.text.emplace(*text);
        runs_.push_back(std::move(run));
    }
}

MVVideoIndexRuns MVVideoIndexRuns::ofLapRange(const MVGLDFileManager& manager, const MVLap& lap,
                                              std::int64_t first, std::int64_t last) {
    MVVideoIndexRuns runs;
    std::int64_t row = first;
    MVSampleValues(manager).forEachRawField(
        lap, MVHelper::Key_VideoIndex(), first, last,
        [&](std::optional<std::string_view> field) { runs.add(row++, field); });
    return runs;
}

MVVideoIndexRuns MVVideoIndexRuns::ofRows(const MVSampleRows& rows,
                                          std::optional<std::size_t> column) {
    MVVideoIndexRuns runs;
    if (rows.empty()) return runs;
    if (!column) {
        runs.add(0, std::nullopt);
        return runs;
    }
    // Stretches of rows are read side by side; a run that goes on across the end of a stretch
    // is joined when the stretches are put together.
    constexpr std::size_t kRowsPerPart = 8192;
    std::vector<MVVideoIndexRuns> parts((rows.size() + kRowsPerPart - 1) / kRowsPerPart);
    MVPartThreads::runShared(
        parts.size(),
        [&](std::size_t part) {
            const std::size_t end = std::min(rows.size(), (part + 1) * kRowsPerPart);
            for (std::size_t i = part * kRowsPerPart; i < end; ++i) {
                const MVSampleRowView fields = rows[i];
                const std::string_view field = fields[*column];
                // An empty view is a field past the row's end only when the row has no such
                // field.
                if (field.empty() && *column >= fields.size()) {
                    parts[part].add(static_cast<std::int64_t>(i), std::nullopt);
                } else {
                    parts[part].add(static_cast<std::int64_t>(i), field);
                }
            }
        },
        MVGLDRowReader::defaultThreads());
    for (MVVideoIndexRuns& part : parts) {
        for (Run& run : part.runs_) {
            if (!runs.runs_.empty() && runs.runs_.back().text == run.text) continue;
            runs.runs_.push_back(std::move(run));
        }
    }
    return runs;
}

std::vector<std::string> MVVideoIndexRuns::indexesOfRows(std::int64_t first,
                                                         std::int64_t last) const {
    std::vector<std::string> indexes;
    if (first > last || runs_.empty()) return indexes;
    // The run holding `first`: the last one that starts at or before it.
    auto run = std::upper_bound(runs_.begin(), runs_.end(), first,
                                [](std::int64_t row, const Run& r) { return row < r.firstRow; });
    if (run != runs_.begin()) --run;
    for (; run != runs_.end() && run->firstRow <= last; ++run) {
        if (run->text && MVVideoLinks::isVideoIndex(*run->text) &&
            std::find(indexes.begin(), indexes.end(), *run->text) == indexes.end()) {
            indexes.push_back(*run->text);
        }
    }
    return indexes;
}

std::optional<MVAviSection> MVVideoLinks::aviSectionWithArrayOfLines(
    std::span<const std::string_view> lines) {
    // The section line, then the next two lines that are not empty ("[AVI]" only when no line
    // reads "[avi]").
    auto marker = std::find(lines.begin(), lines.end(), MVGLDFormat::kAviSection);
    if (marker == lines.end())
        marker = std::find(lines.begin(), lines.end(), MVGLDFormat::kAviSectionUpper);
    const auto nonEmpty = [&](std::span<const std::string_view>::iterator from) {
        return std::find_if(from, lines.end(), [](std::string_view line) { return !line.empty(); });
    };
    if (marker == lines.end()) return std::nullopt;
    const auto baseLine = nonEmpty(marker + 1);
    if (baseLine == lines.end()) return std::nullopt;
    const auto extensionLine = nonEmpty(baseLine + 1);
    if (extensionLine == lines.end()) return std::nullopt;
    const std::string_view baseName = *baseLine;
    if (baseName.find('/') != std::string_view::npos ||
        baseName.find('\0') != std::string_view::npos) {
        return std::nullopt;
    }
    return MVAviSection{std::string(baseName), MVGLDFormat::aviExtension(*extensionLine)};
}

std::optional<MVAviSection> MVVideoLinks::aviSectionWithArrayOfLines(
    const std::vector<std::string>& lines) {
    const std::vector<std::string_view> views(lines.begin(), lines.end());
    return aviSectionWithArrayOfLines(std::span<const std::string_view>(views));
}

bool MVVideoLinks::isVideoIndex(std::string_view text) {
    return !text.empty() &&
           std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

void MVVideoLinks::fetchVideosWithLap(MVLap& lap, std::span<const std::string_view> lines,
                                      const std::filesystem::path& url) const {
    fetchVideosWithLap(lap, aviSectionWithArrayOfLines(lines), url);
}

void MVVideoLinks::fetchVideosWithLap(MVLap& lap, const std::vector<std::string>& lines,
                                      const std::filesystem::path& url) const {
    fetchVideosWithLap(lap, aviSectionWithArrayOfLines(lines), url);
}

void MVVideoLinks::fetchVideosWithLap(MVLap& lap, const std::optional<MVAviSection>& section,
                                      const std::filesystem::path& url) const {
    if (!section) {
        fetchVideosWithLap(lap, section, MVVideoIndexRuns(), url);
        return;
    }
    const auto [first, last] = videoRowRange(manager_, lap);
    fetchVideosWithLap(lap, section, MVVideoIndexRuns::ofLapRange(manager_, lap, first, last), url);
}

void MVVideoLinks::fetchVideosWithLap(MVLap& lap, const std::optional<MVAviSection>& section,
                                      const MVVideoIndexRuns& runs,
                                      const std::filesystem::path& url) const {
    const MVStepTimer timer("MVVideoLinks::fetchVideosWithLap");
    const std::filesystem::path sessionFolder = url.parent_path();
    const std::vector<std::filesystem::path> noVideo{sessionFolder / MVGLDFormat::kNoVideoFileName};
    if (!section) {
        lap.setVideoURLs(noVideo);
        return;
    }
    const auto [first, last] = videoRowRange(manager_, lap);
    const std::vector<std::string> indexes = runs.indexesOfRows(first, last);
    if (indexes.empty()) {
        lap.setVideoURLs(noVideo);
        return;
    }

    std::filesystem::path folder = sessionFolder;
    if (defaults_.objectForKey(kVideoFolderDefaultsKey)) {
        const std::string fileName = url.filename().string();
        folder = platform::folders::documents() / fileName.substr(0, fileName.find('.'));
    }
    std::vector<std::filesystem::path> urls;
    urls.reserve(indexes.size());
    for (const std::string& index : indexes) {
        urls.push_back(folder /
                       MVGLDFormat::videoFileName(section->baseName, index, section->extension));
    }
    lap.setVideoURLs(std::move(urls));
}

void MVVideoLinks::fetchVideoTimestampForStartAndEnd(MVLap& lap) const {
    const MVStepTimer timer("MVVideoLinks::fetchVideoTimestampForStartAndEnd");
    const MVSampleValues values(manager_);
    const auto videoTime = [&](std::uint64_t index) {
        return leadingInteger(values.stringValueWithSamplesIndex(
            MVSampleValues::signedIndex(index), MVHelper::Key_VideoSyncTime(), &lap));
    };
    lap.setVideoTimestampStart(videoTime(lap.indexStart()));
    lap.setVideoTimestampEnd(videoTime(lap.indexEnd()));
}

double MVVideoLinks::findVideoTimeInMilisecondsWithTimestamp(const MVLap& lap,
                                                             double timestamp) const {
    const MVSampleValues values(manager_);
    return values.floatValueWithSamplesIndex(values.indexOfSamplesFromTimestamp(lap, timestamp),
                                             MVHelper::Key_VideoSyncTime(), &lap);
}
