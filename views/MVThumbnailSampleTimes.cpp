#include "views/MVThumbnailSampleTimes.h"

#include "session/MVGLDFileManager.h"
#include "session/MVHelperKeys.h"
#include "session/MVLap.h"
#include "session/MVSampleValues.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstdio>

std::string MVThumbnailInfo::description() const {
    char numbers[96];
    std::snprintf(numbers, sizeof numbers, "%f, Index %zu", videoMiliseconds, index);
    return "URL " + videoURL.string() + ", Miliseconds " + numbers;
}

MVThumbnailLapSnapshot MVThumbnailLapSnapshot::of(const MVLap& lap,
                                                  const MVGLDFileManager& manager) {
    MVThumbnailLapSnapshot snapshot;
    snapshot.duration = lap.duration();
    snapshot.timestampStart = lap.timestampStart();
    // Only files that are there: a session names its video files whether or not they were
    // copied beside it, and a missing file has no frame to show.
    if (lap.videoURLs()) {
        for (const std::filesystem::path& url : *lap.videoURLs()) {
            std::error_code error;
            if (std::filesystem::is_regular_file(url, error)) snapshot.videoURLs.push_back(url);
        }
    }
    if (snapshot.videoURLs.empty() || lap.indexEnd() < lap.indexStart()) return snapshot;
    const MVSampleValues values(manager);
    const auto first = MVSampleValues::signedIndex(lap.indexStart());
    const auto last = MVSampleValues::signedIndex(lap.indexEnd());
    const std::size_t n = static_cast<std::size_t>(last - first + 1);
    snapshot.sampleTimes.reserve(n);
    snapshot.videoMilliseconds.reserve(n);
    snapshot.videoIndexes.reserve(n);
    for (std::int64_t i = first; i <= last; ++i) {
        snapshot.sampleTimes.push_back(
            values.floatValueWithSamplesIndex(i, MVHelper::Key_Time(), &lap));
        const double v = values.floatValueWithSamplesIndex(i, MVHelper::Key_VideoSyncTime(), &lap);
        snapshot.videoMilliseconds.push_back(v == MVSampleValues::kNotAvailable ? -1.0 : v);
        snapshot.videoIndexes.push_back(
            values.stringValueWithSamplesIndex(i, MVHelper::Key_VideoIndex(), &lap));
    }
    return snapshot;
}

namespace {

// The digits that end the text, if any.
std::optional<std::string> trailingDigits(const std::string& text) {
    std::size_t start = text.size();
    while (start > 0 && std::isdigit(static_cast<unsigned char>(text[start - 1]))) --start;
    if (start == text.size()) return std::nullopt;
    return text.substr(start);
}

// Leading zeros dropped ("0007" and "7" are the same file number); "0" stays "0".
std::string canonicalNumber(const std::string& digits) {
    const std::size_t first = digits.find_first_not_of('0');
    return first == std::string::npos ? std::string("0") : digits.substr(first);
}

bool allDigits(const std::string& text) {
    return !text.empty() && std::all_of(text.begin(), text.end(),
                                        [](unsigned char c) { return std::isdigit(c) != 0; });
}

}  // namespace

std::optional<std::filesystem::path> videoFileForIndex(
    const std::vector<std::filesystem::path>& videoURLs, const std::string& fileIndex) {
    if (fileIndex.empty()) return std::nullopt;
    const bool numbered = std::any_of(videoURLs.begin(), videoURLs.end(), [](const auto& url) {
        return trailingDigits(url.stem().string()).has_value();
    });
    if (numbered) {
        if (!allDigits(fileIndex)) return std::nullopt;
        const std::string wanted = canonicalNumber(fileIndex);
        for (const auto& url : videoURLs) {
            const auto digits = trailingDigits(url.stem().string());
            if (digits && canonicalNumber(*digits) == wanted) return url;
        }
        return std::nullopt;
    }
    for (const auto& url : videoURLs) {
        if (url.stem().string().find(fileIndex) != std::string::npos) return url;
    }
    return std::nullopt;
}

std::vector<MVThumbnailInfo> computeThumbnailInfos(const MVThumbnailLapSnapshot& lap,
                                                   double count) {
    std::vector<MVThumbnailInfo> infos;
    const std::size_t samples = lap.sampleTimes.size();
    if (!(count >= 1.0) || !std::isfinite(count) || samples == 0 || lap.videoURLs.empty() ||
        lap.videoMilliseconds.size() != samples || lap.videoIndexes.size() != samples) {
        return infos;
    }
    // The last, fractional slot too: its frame is drawn cut at the strip's end, so the end of the
    // lap has a picture (a count a hair above a whole number makes no sliver of a slot).
    const auto n = static_cast<std::size_t>(std::ceil(count - 1e-6));
    const double step = lap.duration / count;
    for (std::size_t k = 0; k < n; ++k) {
        const double t = lap.timestampStart + static_cast<double>(k) * step;
        const auto after = std::upper_bound(lap.sampleTimes.begin(), lap.sampleTimes.end(), t);
        std::size_t i = after == lap.sampleTimes.begin()
                            ? 0
                            : static_cast<std::size_t>(after - lap.sampleTimes.begin()) - 1;
        while (i < samples && lap.videoMilliseconds[i] < 0.0) ++i;
        if (i == samples) continue;  // no video from here to the lap's end
        const auto file = videoFileForIndex(lap.videoURLs, lap.videoIndexes[i]);
        if (!file) continue;
        infos.push_back(MVThumbnailInfo{*file, lap.videoMilliseconds[i] / 1000.0, k});
    }
    return infos;
}
