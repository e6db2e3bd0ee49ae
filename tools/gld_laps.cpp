// gld-laps FILE...: loads the files in order through the program's own session-file manager and
// loading pipeline (the same circuit database lookup, on the same loading queue), reports each
// progress code on stderr as it comes, then prints one line per lap on stdout, tab separated:
//   display name, lap number, start (s), end (s), duration (s), distance (m), top speed (km/h),
//   sector times (s, comma separated), flags (unfinished, whole, reference, precise).
// Exit status 0 when every file loaded, 1 otherwise.
#include "session/MVGLDFileManager.h"
#include "session/MVParsingStatusText.h"
#include "session/MVSampleValues.h"

#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace {

class StderrProgress final : public MVParsingProcessDelegate {
  public:
    explicit StderrProgress(const MVGLDFileManager& manager) : manager_(manager) {}
    void parsingStatus(std::int32_t code) override {
        std::string text = MVParsingStatus::text(code);
        if (code == MVParsingStatus::kNoUsableSample && !manager_.lastFailureText().empty()) {
            text += " " + manager_.lastFailureText();
        }
        std::fprintf(stderr, "%d\t%s\n", code, text.c_str());
    }

  private:
    const MVGLDFileManager& manager_;
};

std::string number(double v) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.3f", v);
    return buffer;
}

bool contains(const MVLapsPtr& laps, const MVLap* lap) {
    if (!laps) return false;
    for (std::size_t i = 0; i < laps->count(); ++i) {
        if (laps->lapAtIndex(static_cast<std::int64_t>(i)).get() == lap) return true;
    }
    return false;
}

void printLap(const MVGLDFileManager& manager, std::size_t file, const MVLap& lap) {
    const MVSampleValues values(manager);
    std::string sectors;
    const auto& bounds = lap.sectors()->values();
    for (std::size_t i = 1; i < bounds.size() && !lap.isWholeFileLap(); ++i) {
        if (!sectors.empty()) sectors += ",";
        sectors += number(bounds[i] - bounds[i - 1]);
    }
    std::vector<std::string> flags;
    if (lap.isUnfinishedLap()) flags.push_back("unfinished");
    if (lap.isWholeFileLap()) flags.push_back("whole");
    if (manager.referenceLap().get() == &lap) flags.push_back("reference");
    if (file < manager.arrayOfPreciseLaps().size() &&
        contains(manager.arrayOfPreciseLaps()[file], &lap)) {
        flags.push_back("precise");
    }
    std::string flagText;
    for (const auto& f : flags) flagText += (flagText.empty() ? "" : ",") + f;
    std::printf("%s\t%llu\t%s\t%s\t%s\t%s\t%s\t%s\t%s\n", lap.gldFile().c_str(),
                static_cast<unsigned long long>(lap.number()), number(lap.timestampStart()).c_str(),
                number(lap.timestampEnd()).c_str(), number(lap.duration()).c_str(),
                number(lap.distance()).c_str(), number(values.vmaxWithLap(lap)).c_str(),
                sectors.c_str(), flagText.c_str());
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: gld-laps FILE...\n");
        return 2;
    }
    auto& manager = MVGLDFileManager::sharedManager();
    auto progress = std::make_shared<StderrProgress>(manager);
    manager.setDelegate(progress);
    // The shared manager's lists are written on the loading queue only, as in the program.
    bool allLoaded = true;
    MVGLDFileManager::loadingQueue().async([&] {
        for (int i = 1; i < argc; ++i) {
            if (!manager.loadGLDFileWithURL(argv[i])) {
                std::fprintf(stderr, "gld-laps: %s was not loaded\n", argv[i]);
                allLoaded = false;
            }
        }
    });
    if (!MVGLDFileManager::loadingQueue().drainFor(std::chrono::hours(1))) {
        std::fprintf(stderr, "gld-laps: the loads did not end within an hour\n");
        return 1;
    }
    for (std::size_t f = 0; f < manager.gldFileNames().size(); ++f) {
        if (f < manager.arrayOfWholeFileMVLaps().size() && manager.arrayOfWholeFileMVLaps()[f]) {
            const auto& whole = *manager.arrayOfWholeFileMVLaps()[f];
            for (std::size_t i = 0; i < whole.count(); ++i) {
                printLap(manager, f, *whole.lapAtIndex(static_cast<std::int64_t>(i)));
            }
        }
        if (f < manager.arrayOfAllLaps().size() && manager.arrayOfAllLaps()[f]) {
            const auto& laps = *manager.arrayOfAllLaps()[f];
            for (std::size_t i = 0; i < laps.count(); ++i) {
                printLap(manager, f, *laps.lapAtIndex(static_cast<std::int64_t>(i)));
            }
        }
    }
    return allLoaded ? 0 : 1;
}
