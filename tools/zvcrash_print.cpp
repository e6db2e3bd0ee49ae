// zvcrash-print FILE...: prints each crash report as its crash-log text. A file that cannot be
// read or does not decode prints its error on stderr; the exit status is then 1.
#include "ZVCrashReporter/Source/ZVCrashReport.h"
#include "ZVCrashReporter/Source/ZVCrashReportTextFormatter.h"

#include <cstdio>
#include <vector>

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: zvcrash-print FILE...\n");
        return 2;
    }
    int status = 0;
    for (int i = 1; i < argc; ++i) {
        std::vector<uint8_t> bytes;
        ZVCrashReporterError error;
        std::shared_ptr<const ZVCrashReport> report;
        if (ZVCrashReport::readReportFile(argv[i], bytes, &error)) {
            report = ZVCrashReport::initWithData(bytes, &error);
        }
        if (report == nullptr) {
            std::fprintf(stderr, "%s: %s\n", argv[i], error.localizedDescription.c_str());
            status = 1;
            continue;
        }
        if (argc > 2) std::printf("==> %s <==\n", argv[i]);
        std::fputs(ZVCrashReportTextFormatter::stringValueForCrashReport(*report, 0).c_str(),
                   stdout);
    }
    return status;
}
