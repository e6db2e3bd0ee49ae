// The run of the fast summary parse: reading, series, videos and candidate circuits. The circuit
// choice and the laps are in MVGLDFileManagerFastOperationLaps.cpp.
#include "session/MVGLDFileManagerFastOperation.h"

#include "session/MVDerivedSeries.h"
#include "session/MVGLDFormat.h"
#include "session/MVHelperKeys.h"
#include "session/MVNotifications.h"
#include "session/MVSessionFileRename.h"
#include "session/MVStepTimer.h"
#include "session/MVXMLParser.h"
#include "session/ZORFileLog.h"

#include "platform/Folders.h"
#include "platform/NotificationCenter.h"

#include <algorithm>
#include <chrono>
#include <cstdarg>
#include <cstdio>

namespace {

// The user default that says the videos live in the documents folder.
constexpr const char* kVideosInDocumentsKey = "urlsData";

std::string formatted(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string formatted(const char* format, ...) {
    va_list args;
    va_start(args, format);
    va_list copy;
    va_copy(copy, args);
    const int size = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    std::string text(size > 0 ? static_cast<std::size_t>(size) : 0, '\0');
    if (size > 0) std::vsnprintf(text.data(), text.size() + 1, format, args);
    va_end(args);
    return text;
}

void diagnostic(const std::string& line) {
    ZORFileLog::writeToTextFile(line);
}

template <typename Items, typename Text>
std::string listDescription(const Items& items, Text text) {
    std::string result = "(";
    for (const auto& item : items) {
        if (result.size() > 1) result += ", ";
        result += text(item);
    }
    return result + ")";
}

}  // namespace

MVGLDFileManagerFastOperation::MVGLDFileManagerFastOperation(std::filesystem::path url,
                                                             platform::UserDefaults& defaults,
                                                             std::filesystem::path circuitDatabase)
    : url_(std::move(url)), defaults_(defaults), circuitDatabase_(std::move(circuitDatabase)) {}

MVTrackInfoPtr MVGLDFileManagerFastOperation::trackInfo() const {
    std::lock_guard lock(stateMutex_);
    return trackInfo_;
}

MVLocationPtr MVGLDFileManagerFastOperation::baseLocation() const {
    std::lock_guard lock(stateMutex_);
    return baseLocation_;
}

MVLocation MVGLDFileManagerFastOperation::base() const {
    std::lock_guard lock(stateMutex_);
    return baseLocation_ ? *baseLocation_ : MVLocation();
}

void MVGLDFileManagerFastOperation::main() {
    const auto started = std::chrono::steady_clock::now();
    const auto finish = [&] {
        platform::NotificationCenter::defaultCenter().post(GLDParsingFastDidFinish, this);
        const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - started;
        std::fprintf(stderr, "%s executed %fs\n", "MVGLDFileManagerFastOperation::main",
                     elapsed.count());
    };

    const Text text = fetchArrayOfLinesWithURL(url_);
    if (isCancelled()) return;
    const MVGLDHeader header = fetchHeadersWithArrayOfLines(text.lines);
    if (isCancelled()) return;
    const MVGLDSamples samples = fetchDataWithArrayOfLines(text.lines, header);
    if (samples.error != MVGLDReadError::None || samples.rows.empty()) {
        if (isCancelled()) return;
        std::fprintf(stderr, "No data\n");
        setNoDataResults();
        if (isCancelled()) return;
        finish();
        return;
    }
    if (isCancelled()) return;

    const ChannelNames& headers = header.names;
    const MVSampleRows& rows = samples.rows;
    const MVSpeedsPtr speeds =
        MVDerivedSeries::fetchSpeedsWithArrayOfHeader(headers, rows, speedUnitScale_);
    diagnostic(formatted("fast fetchSpeedsWithArrayOfHeader Count: %zu", speeds->count()));
    if (isCancelled()) return;

    fakeIndexes_ = MVDerivedSeries::fetchIndexesWithArrayOfHeader(headers, rows);
    diagnostic(formatted("fast fetchIndexesWithArrayOfHeader Count: %zu", fakeIndexes_->count()));
    setWholeDuration(fakeIndexes_->empty() ? 0.0 : fakeIndexes_->values().back());
    if (isCancelled()) return;

    const MVDistancesPtr distances =
        MVDerivedSeries::fetchDistancesWithSamples(rows, *speeds, *fakeIndexes_);
    diagnostic(formatted("fast fetchDistancesWithSamples: %zu", distances->count()));
    if (isCancelled()) return;

    setArrayOfVideoURLs(fetchVideoURLsWithArrayOfLines(text.lines, headers, rows));
    if (isCancelled()) return;

    const TrackList tracks = fetchAvailableTracksWithArrayOfHeader(headers, rows, *fakeIndexes_);
    if (isCancelled()) return;

    const StepPoints points = stepPoints(headers, rows, *fakeIndexes_);
    MVTrackInfoPtr track = chooseCircuit(text.lines, points, *distances, tracks);
    {
        std::lock_guard lock(stateMutex_);
        trackInfo_ = track;
    }
    if (!track) {
        setPlaceName(kNoPlaceName);
    } else {
        setPlaceName(track->trackName().empty() ? std::string(kNoPlaceName) : track->trackName());
        if (isCancelled()) return;
        setLaps(cutLaps(*track, points, *distances));
    }
    if (isCancelled()) return;
    finish();
}

void MVGLDFileManagerFastOperation::setNoDataResults() {
    setPlaceName(kNoPlaceName);
    setWholeDuration(0.0);
    setArrayOfVideoURLs(std::nullopt);
    setLaps(nullptr);
}

MVGLDFileManagerFastOperation::Text MVGLDFileManagerFastOperation::fetchArrayOfLinesWithURL(
    const std::filesystem::path& url) const {
    const MVStepTimer timer("MVGLDFileManagerFastOperation::fetchArrayOfLinesWithURL");
    diagnostic("fast fetchArrayOfLinesWithURL url: " + url.string());
    Text result;
    MVGLDText read = MVGLDReader::readGLDText(url);
    if (read.error != MVGLDReadError::None) {
        // An empty, unreadable or non-ASCII file goes on with no text: it ends without rows.
        std::fprintf(stderr, "eror: %s\n", read.message.c_str());
        diagnostic("fast fetchArrayOfLinesWithURL ERROR: " + read.message);
    } else {
        result.text = std::move(read.text);
    }
    result.lines = MVGLDReader::splitGLDLines(result.text);
    diagnostic(formatted("fast fetchArrayOfLinesWithURL Count: %zu", result.lines.size()));
    return result;
}

MVGLDHeader MVGLDFileManagerFastOperation::fetchHeadersWithArrayOfLines(const Lines& lines) {
    MVGLDHeader header = MVGLDReader::fetchHeadersWithArrayOfLines(lines);
    speedUnitScale_ = header.speedUnitScale;
    // The summary derives no combined g; the other derived names stay for the lookups by name.
    std::erase(header.names, MVHelper::Key_CombinedG());
    diagnostic("fast fetchHeadersWithArrayOfLines: " +
               listDescription(header.names, [](const std::string& name) { return name; }));
    return header;
}

MVGLDSamples MVGLDFileManagerFastOperation::fetchDataWithArrayOfLines(const Lines& lines,
                                                                      const MVGLDHeader& header) {
    diagnostic(formatted("fast fetchDataWithArrayOfLines arrayOfLines Count: %zu", lines.size()));
    // The rows of the full load (decimal commas, drop-out filling and thinning), except that
    // runs of spaces are not collapsed: two spaces give an empty field.
    MVGLDSamples samples =
        MVGLDReader::fetchDataWithArrayOfLines(lines, header, MVGLDReader::SpaceRuns::EachSpace);
    if (samples.error != MVGLDReadError::None) {
        diagnostic("fast fetchDataWithArrayOfLines " + samples.message);
    } else if (!samples.rows.empty()) {
        // The session's own first fix is the origin of its plane.
        auto first = MVLocation::location(header.names, samples.rows.front());
        std::lock_guard lock(stateMutex_);
        baseLocation_ = std::move(first);
    }
    diagnostic(formatted("fast fetchDataWithArrayOfLines realRate: %d", samples.loggingRate));
    diagnostic(formatted("fast fetchDataWithArrayOfLines Count: %zu", samples.rows.size()));
    return samples;
}

MVGLDFileManagerFastOperation::VideoURLs
MVGLDFileManagerFastOperation::fetchVideoURLsWithArrayOfLines(const Lines& lines,
                                                              const ChannelNames& headers,
                                                              const MVSampleRows& samples) const {
    const MVStepTimer timer("MVGLDFileManagerFastOperation::fetchVideoURLsWithArrayOfLines");
    // The section head, then the next two lines that are not empty.
    auto head = std::find(lines.begin(), lines.end(), MVGLDFormat::kAviSection);
    if (head == lines.end()) {
        head = std::find(lines.begin(), lines.end(), MVGLDFormat::kAviSectionUpper);
    }
    const auto nextText = [&](Lines::const_iterator from) {
        return std::find_if(from == lines.end() ? from : from + 1, lines.end(),
                            [](std::string_view line) { return !line.empty(); });
    };
    const auto baseLine = nextText(head);
    const auto extensionLine = nextText(baseLine);

    std::filesystem::path folder = url_.parent_path();
    std::vector<std::filesystem::path> urls;
    // Without a section, or with a section that names no base, the session links no video.
    if (baseLine == lines.end()) {
        urls.push_back(folder / MVGLDFormat::kNoVideoFileName);
    } else {
        const std::string_view baseName = *baseLine;
        const std::string extension = extensionLine == lines.end()
                                          ? std::string(MVGLDFormat::kAviExtension)
                                          : MVGLDFormat::aviExtension(*extensionLine);
        // The distinct video numbers, in order of first appearance.
        std::vector<std::string_view> numbers;
        const std::ptrdiff_t column = MVHelper::ColumnOfKey(headers, MVHelper::Key_VideoIndex());
        if (column >= 0) {
            const auto at = static_cast<std::size_t>(column);
            for (const MVSampleRowView row : samples) {
                if (at >= row.size()) continue;
                const std::string_view number = row[at];
                if (!numbers.empty() && numbers.back() == number) continue;
                if (std::find(numbers.begin(), numbers.end(), number) == numbers.end()) {
                    numbers.push_back(number);
                }
            }
        }
        if (const auto stored = defaults_.objectForKey(kVideosInDocumentsKey)) {
            std::fprintf(
                stderr, "%s\n",
                stored->dump(-1, ' ', false, nlohmann::json::error_handler_t::replace).c_str());
            const std::string fileName = url_.filename().string();
            folder = platform::folders::documents() / fileName.substr(0, fileName.find('.'));
        }
        for (std::string_view number : numbers) {
            urls.push_back(folder / MVGLDFormat::videoFileName(baseName, number, extension));
        }
    }
    diagnostic(
        "fast fetchVideoURLsWithArrayOfLines: " +
        listDescription(urls, [](const std::filesystem::path& url) { return url.string(); }));
    return urls;
}

MVGLDFileManagerFastOperation::TrackList
MVGLDFileManagerFastOperation::fetchAvailableTracksWithArrayOfHeader(
    const ChannelNames& headers, const MVSampleRows& samples,
    const MVFakeIndexes& fakeIndexes) const {
    const MVStepTimer timer("MVGLDFileManagerFastOperation::fetchAvailableTracksWithArrayOfHeader");
    TrackList tracks;
    if (!samples.empty()) {
        const auto middle = static_cast<std::int64_t>(samples.size() / 2);
        const auto location = MVLocation::location(middle, headers, samples, fakeIndexes);
        MVXMLParser parser(circuitDatabase_);
        parser.parseXMLTrack(*location);
        if (parser.getAllTracks()) tracks = *parser.getAllTracks();
    }
    diagnostic(
        "fast fetchAvailableTracksWithArrayOfHeader: " +
        listDescription(tracks, [](const MVTrackInfoPtr& track) { return track->description(); }));
    return tracks;
}

void MVGLDFileManagerFastOperation::changeFileName(const std::string& newName) {
    auto videos = arrayOfVideoURLs().value_or(std::vector<std::filesystem::path>{});
    const bool hadVideos = arrayOfVideoURLs().has_value();
    const auto result = MVSessionFileRename::changeFileName(newName, url_, videos);
    if (result.status == MVSessionFileRename::Status::Renamed && hadVideos) {
        setArrayOfVideoURLs(std::move(videos));
    }
}
