#include "session/MVLoadedFiles.h"

#include <algorithm>

namespace {

// Erases position `index` of a list that reaches it; a shorter list is left as it is.
template <typename T>
void eraseAt(std::vector<T>& list, std::size_t index) {
    if (index < list.size()) list.erase(list.begin() + static_cast<std::ptrdiff_t>(index));
}

bool holds(const std::vector<MVLapsPtr>& perFile, std::size_t index, const MVLapPtr& lap) {
    if (index >= perFile.size() || !perFile[index]) return false;
    const auto& laps = perFile[index]->data();
    return std::find(laps.begin(), laps.end(), lap) != laps.end();
}

}  // namespace

void MVLoadedFiles::appendSeries(MVLoadedFile::Series series) {
    names_.push_back(std::move(series.name));
    headers_.push_back(std::move(series.headers));
    samples_.push_back(std::move(series.samples));
    speeds_.push_back(std::move(series.speeds));
    fakeIndexes_.push_back(std::move(series.fakeIndexes));
    distances_.push_back(std::move(series.distances));
}

void MVLoadedFiles::appendLaps(MVLoadedFile::Laps laps) {
    completeLaps_.push_back(std::move(laps.complete));
    allLaps_.push_back(std::move(laps.all));
    preciseLaps_.push_back(std::move(laps.precise));
    wholeFileLaps_.push_back(std::move(laps.wholeFile));
}

void MVLoadedFiles::append(MVLoadedFile file) {
    appendSeries(std::move(file.series));
    appendLaps(std::move(file.laps));
}

void MVLoadedFiles::erase(std::size_t index) {
    eraseAt(names_, index);
    eraseAt(headers_, index);
    eraseAt(samples_, index);
    eraseAt(speeds_, index);
    eraseAt(fakeIndexes_, index);
    eraseAt(distances_, index);
    eraseAt(completeLaps_, index);
    eraseAt(allLaps_, index);
    eraseAt(preciseLaps_, index);
    eraseAt(wholeFileLaps_, index);
    eraseAt(addresses_, index);
}

void MVLoadedFiles::clear() {
    names_.clear();
    headers_.clear();
    samples_.clear();
    speeds_.clear();
    fakeIndexes_.clear();
    distances_.clear();
    completeLaps_.clear();
    allLaps_.clear();
    preciseLaps_.clear();
    wholeFileLaps_.clear();
}

std::size_t MVLoadedFiles::size() const {
    return std::max({names_.size(), headers_.size(), samples_.size(), speeds_.size(),
                     fakeIndexes_.size(), distances_.size(), completeLaps_.size(), allLaps_.size(),
                     preciseLaps_.size(), wholeFileLaps_.size(), addresses_.size()});
}

bool MVLoadedFiles::holdsLap(std::size_t index, const MVLapPtr& lap) const {
    return holds(allLaps_, index, lap) || holds(completeLaps_, index, lap) ||
           holds(preciseLaps_, index, lap) || holds(wholeFileLaps_, index, lap);
}
