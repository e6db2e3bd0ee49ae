// Reading a whole session file for loading: the lines up to "[data]" kept, the rows of "[data]"
// read block by block as the file's bytes arrive, and of the lines after "[data]" only those the
// readers of the other sections may look at.
#include "session/MVGLDFileBlocks.h"
#include "session/MVGLDFormat.h"
#include "session/MVGLDReader.h"
#include "session/MVGLDRowReader.h"
#include "session/MVStepTimer.h"

#include <algorithm>

namespace {

constexpr std::size_t kBlockBytes = 1024 * 1024;

// Keeps the lines after "[data]" that a reader of another section may take: the first two
// non-empty lines (the video section's two lines when it stands just before "[data]"); every
// section line, with the two non-empty lines after a video section line; the "Type : Quarto"
// lines; and when the first "[laptiming]" line stands after "[data]", every line from it to the
// next "[data]" line, empty ones included.
class SectionLineKeeper final : public MVGLDLineWatcher {
  public:
    SectionLineKeeper(std::vector<std::string>& kept, bool laptimingSeen)
        : kept_(kept), laptimingSeen_(laptimingSeen) {}

    void seeLine(std::string_view line, std::size_t emptiesBefore) override {
        bool keep = follow_ > 0;
        if (follow_ > 0) --follow_;
        bool startCapture = false;
        if (line.front() == '[' || line.front() == 'T') {
            if (MVGLDFormat::isAviSectionLine(line)) {
                keep = true;
                follow_ = 2;
            } else if (line == MVGLDFormat::kLaptimingSection) {
                keep = true;
                startCapture = !laptimingSeen_;
                laptimingSeen_ = true;
            } else if (line == MVGLDFormat::kDataSection || MVGLDFormat::isQuartoLine(line)) {
                keep = true;
            }
        }
        if (capturing_) {
            kept_.insert(kept_.end(), emptiesBefore, std::string());
            kept_.emplace_back(line);
            if (line == MVGLDFormat::kDataSection) capturing_ = false;
        } else if (keep) {
            kept_.emplace_back(line);
        }
        if (startCapture) capturing_ = true;
    }

    // The empty elements at the end of the file.
    void finish(std::size_t emptiesAtEnd) {
        if (capturing_) kept_.insert(kept_.end(), emptiesAtEnd, std::string());
    }

  private:
    std::vector<std::string>& kept_;
    bool laptimingSeen_;
    bool capturing_ = false;
    int follow_ = 2;
};

bool hasLine(std::span<const std::string_view> lines, std::string_view wanted) {
    return std::find(lines.begin(), lines.end(), wanted) != lines.end();
}

MVGLDReading textFailure(MVGLDReadError error, std::string message) {
    MVGLDReading reading;
    reading.error = error;
    reading.message = std::move(message);
    return reading;
}

MVGLDSamples samplesFailure(MVGLDReadError error, std::string message) {
    MVGLDSamples samples;
    samples.error = error;
    samples.message = std::move(message);
    return samples;
}

// Position just past the first line "[data]" that a line break ends, from the line that starts
// at `from` on; npos when there is none yet. The text before `searched` is known to hold no line
// break after `from`, so that every byte is searched once however long a line grows.
std::size_t dataLineEnd(std::string_view text, std::size_t& from, std::size_t& searched) {
    for (;;) {
        const std::size_t cut = text.find_first_of("\r\n", std::max(from, searched));
        if (cut == std::string_view::npos) {
            searched = text.size();
            return std::string_view::npos;
        }
        const std::string_view line = text.substr(from, cut - from);
        from = cut + 1;
        if (line == MVGLDFormat::kDataSection) return cut;
    }
}

// The rows of "[data]" from the text after the line break that ends the "[data]" line, the rest
// read from `file` block by block.
void readRows(MVGLDFileBlocks& file, std::string& text, MVGLDRowReader& reader) {
    const MVStepTimer timer("MVGLDReader::fetchDataWithArrayOfLines");
    // The text before this holds no line break: only a block's new bytes are searched, so a line
    // longer than a block (a zero-filled tail, a file of one line) costs one pass, not one per
    // block.
    std::size_t searched = text.find_last_of("\r\n") == std::string::npos ? text.size() : 0;
    for (bool atEnd = false; !atEnd;) {
        atEnd = file.readInto(text, kBlockBytes) == 0;
        if (atEnd) {
            if (file.error().empty()) reader.readText(text);  // the last element
            break;
        }
        const std::size_t found = std::string_view(text).substr(searched).find_last_of("\r\n");
        if (found == std::string_view::npos) {  // a line longer than a block
            searched = text.size();
            continue;
        }
        const std::size_t lastBreak = searched + found;
        reader.readText(std::string_view(text).substr(0, lastBreak));
        text.erase(0, lastBreak + 1);
        searched = text.size();
    }
}

}  // namespace

std::vector<std::string> MVGLDReader::sectionLinesOf(std::span<const std::string_view> lines) {
    const auto data = std::find(lines.begin(), lines.end(), MVGLDFormat::kDataSection);
    const auto preambleEnd = data == lines.end() ? data : data + 1;
    std::vector<std::string> kept(lines.begin(), preambleEnd);
    SectionLineKeeper keeper(
        kept, hasLine(std::span(lines.begin(), preambleEnd), MVGLDFormat::kLaptimingSection));
    std::size_t empties = 0;
    for (auto it = preambleEnd; it != lines.end(); ++it) {
        if (it->empty()) {
            ++empties;
            continue;
        }
        keeper.seeLine(*it, empties);
        empties = 0;
    }
    keeper.finish(empties);
    return kept;
}

MVGLDReading MVGLDReader::readGLDSessionText(MVGLDText text, unsigned threads) {
    if (text.error != MVGLDReadError::None) return textFailure(text.error, std::move(text.message));
    MVGLDReading reading;
    const auto lines = splitGLDLines(text.text);
    reading.lineCount = lines.size();
    reading.header = fetchHeadersWithArrayOfLines(lines);
    reading.samples =
        fetchDataWithArrayOfLines(lines, reading.header, SpaceRuns::Collapse, threads);
    reading.sectionLines = sectionLinesOf(lines);
    return reading;
}

MVGLDReading MVGLDReader::readGLDSession(const std::filesystem::path& path, unsigned threads) {
    MVGLDFileBlocks file(path);
    std::string text;
    // The lines up to and with the first "[data]" line.
    std::size_t lineStart = 0;
    std::size_t searched = 0;
    std::size_t preambleEnd = std::string::npos;
    while (preambleEnd == std::string::npos && file.readInto(text, kBlockBytes) > 0) {
        preambleEnd = dataLineEnd(text, lineStart, searched);
    }
    const auto readWhole = [&] {
        while (file.readInto(text, kBlockBytes) > 0) {
        }
        if (!file.error().empty()) {
            return textFailure(
                file.notASCII() ? MVGLDReadError::NotASCII : MVGLDReadError::Unreadable,
                file.error());
        }
        return readGLDSessionText(textFromBytes(std::move(text)), threads);
    };
    if (preambleEnd == std::string::npos) return readWhole();

    const auto preamble = splitGLDLines(std::string_view(text).substr(0, preambleEnd));
    // Rows can be read as they arrive only with the channel list before them.
    if (!hasLine(preamble, MVGLDFormat::kHeaderSection)) return readWhole();

    MVGLDReading reading;
    reading.header = fetchHeadersWithArrayOfLines(preamble);
    reading.sectionLines.assign(preamble.begin(), preamble.end());
    reading.lineCount = preamble.size();
    const bool laptimingSeen = hasLine(preamble, MVGLDFormat::kLaptimingSection);
    text.erase(0, preambleEnd + 1);  // the preamble's views end here

    MVGLDRowReader::Columns columns;
    if (auto missing = MVGLDRowReader::findColumns(reading.header, columns)) {
        // Refused; but a text that cannot be read at all is refused as such.
        text.clear();
        while (file.readInto(text, kBlockBytes) > 0) text.clear();
        reading.samples = samplesFailure(MVGLDReadError::MissingChannel, std::move(*missing));
    } else {
        SectionLineKeeper keeper(reading.sectionLines, laptimingSeen);
        MVGLDRowReader reader(reading.header, columns, SpaceRuns::Collapse, threads);
        reader.setWatcher(&keeper);
        if (file.sizeAtOpen() > 0) reader.expectBytes(file.sizeAtOpen() - preambleEnd);
        readRows(file, text, reader);
        keeper.finish(reader.trailingEmpties());
        reading.lineCount += reader.elementCount();
        reading.samples = reader.finish();
    }
    std::string().swap(text);
    if (!file.error().empty()) {
        return textFailure(file.notASCII() ? MVGLDReadError::NotASCII : MVGLDReadError::Unreadable,
                           file.error());
    }
    return reading;
}
