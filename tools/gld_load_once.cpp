// gld-load-once [--bare] [--threads N] FILE: loads one session file once in a fresh process and
// prints the load's timing line and the process's peak memory, for first-load figures (a
// benchmark's repeated loads hide the cost of memory touched for the first time). With --bare it
// times only the floor of a load: the file read and every number of "[data]" parsed
// (tools/BareParse.h).
// --threads N reads the rows on N threads (default: a few).
// Besides the wall-clock timing line it prints the processor time of the load (all threads of
// the process), which a busy machine does not inflate.
#include "tools/BareParse.h"

#include "session/MVGLDFileManager.h"
#include "session/MVGLDRowReader.h"
#include "session/MVStepTimer.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <time.h>

// The process's own peak resident memory (VmHWM). Not getrusage's maxrss, which keeps the peak
// of the process that started this one when it was larger (a benchmark's).
long peakKilobytes() {
    long peak = -1;
    if (FILE* status = std::fopen("/proc/self/status", "r")) {
        char line[256];
        while (std::fgets(line, sizeof line, status)) {
            if (std::sscanf(line, "VmHWM: %ld kB", &peak) == 1) break;
        }
        std::fclose(status);
    }
    return peak;
}

int main(int argc, char** argv) {
    bool bare = false;
    int at = 1;
    for (; at + 1 < argc; ++at) {
        if (std::strcmp(argv[at], "--bare") == 0) {
            bare = true;
        } else if (std::strcmp(argv[at], "--threads") == 0 && at + 2 < argc) {
            MVGLDRowReader::setDefaultThreads(static_cast<unsigned>(std::atoi(argv[++at])));
        } else {
            break;
        }
    }
    if (at != argc - 1) {
        std::fprintf(stderr, "usage: gld-load-once [--bare] [--threads N] FILE\n");
        return 2;
    }
    const char* path = argv[at];
    const auto cpuSeconds = [] {
        timespec t{};
        clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
        return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
    };
    const double cpuBefore = cpuSeconds();
    bool ok = true;
    if (bare) {
        const MVStepTimer timer("bare parse");
        const std::string text = bare_parse::readFile(path);
        ok = !bare_parse::numbersOfData(text).empty();
    } else {
        MVGLDFileManager manager;
        ok = manager.loadGLDFileWithURL(path);
        if (ok) {
            const MVSampleRows& rows = manager.arrayOfSamples().front();
            std::fprintf(stderr, "sample store %zu rows, %zu kB\n", rows.size(),
                         rows.byteSize() / 1024);
        }
    }
    std::fprintf(stderr, "processor time %fs\n", cpuSeconds() - cpuBefore);
    std::fprintf(stderr, "peak memory %ld kB\n", peakKilobytes());
    return ok ? 0 : 1;
}
