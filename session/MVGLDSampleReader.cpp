// The sample reader of MVGLDReader on a list of lines: the "[data]" section into sample rows,
// through the row reader that also serves the file read block by block.
#include "session/MVGLDReader.h"
#include "session/MVGLDRowReader.h"
#include "session/MVStepTimer.h"

#include <algorithm>

MVGLDSamples MVGLDReader::fetchDataWithArrayOfLines(std::span<const std::string_view> lines,
                                                    const MVGLDHeader& header, SpaceRuns runs,
                                                    unsigned threads) {
    const MVStepTimer timer("MVGLDReader::fetchDataWithArrayOfLines");
    MVGLDRowReader::Columns columns;
    if (auto missing = MVGLDRowReader::findColumns(header, columns)) {
        MVGLDSamples failure;
        failure.error = MVGLDReadError::MissingChannel;
        failure.message = std::move(*missing);
        return failure;
    }
    const auto dataLine = std::find(lines.begin(), lines.end(), "[data]");
    if (dataLine == lines.end()) {
        MVGLDSamples failure;
        failure.error = MVGLDReadError::NoUsableRow;
        failure.message = "The session file has no \"[data]\" section.";
        return failure;
    }
    const auto data = lines.subspan(static_cast<std::size_t>(dataLine - lines.begin()) + 1);
    std::size_t bytes = 0;
    for (std::string_view line : data) bytes += line.size() + 1;
    MVGLDRowReader reader(header, columns, runs, threads);
    reader.expectBytes(bytes);
    reader.readLines(data);
    return reader.finish();
}
