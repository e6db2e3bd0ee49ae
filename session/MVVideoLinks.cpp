#include "session/MVVideoLinks.h"

#include "session/MVGLDFormat.h"
#include "session/MVHelperKeys.h"
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

}  // namespace

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
    const MVStepTimer timer("MVVideoLinks::fetchVideosWithLap");
    const std::filesystem::path sessionFolder = url.parent_path();
    const std::vector<std::filesystem::path> noVideo{sessionFolder / MVGLDFormat::kNoVideoFileName};
    if (!section) {
        lap.setVideoURLs(noVideo);
        return;
    }

    // Distinct video indexes of the lap's samples, in order of first appearance. Samples past
    // the session's last row name no file, so the walk stops there.
    std::int64_t last = MVSampleValues::signedIndex(lap.indexEnd());
    if (const auto file = manager_.indexOfGLDFileName(lap.gldFile());
        file && *file < manager_.arrayOfSamples().size()) {
        last =
            std::min(last, static_cast<std::int64_t>(manager_.arrayOfSamples()[*file].size()) - 1);
    }
    // A field in exponent form reads as "%f" text and a missing one as "N/A": neither is a
    // video index, so the fields are tested as written.
    const MVSampleValues values(manager_);
    std::vector<std::string> indexes;
    values.forEachRawField(
        lap, MVHelper::Key_VideoIndex(), MVSampleValues::signedIndex(lap.indexStart()), last,
        [&](std::optional<std::string_view> field) {
            if (field && isVideoIndex(*field) &&
                std::find(indexes.begin(), indexes.end(), *field) == indexes.end()) {
                indexes.emplace_back(*field);
            }
        });
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
