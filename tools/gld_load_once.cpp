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

#include <sys/resource.h>
#include <time.h>

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
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::fprintf(stderr, "peak memory %ld kB\n", usage.ru_maxrss);
    return ok ? 0 : 1;
}
