// Fuzz target: arbitrary bytes decoded as a crash report; when they decode, the text is formatted.
// Whatever the bytes, decoding ends with a whole report or an error of code 2.
#include "ZVCrashReporter/Source/ZVCrashReport.h"
#include "ZVCrashReporter/Source/ZVCrashReportTextFormatter.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ZVCrashReporterError error;
    const auto report = ZVCrashReport::initWithData(data, size, &error);
    if (report == nullptr) {
        if (error.code != ZVCrashReporterErrorCrashReportInvalid ||
            error.localizedDescription.empty()) {
            std::abort();
        }
        return 0;
    }
    const std::string text = ZVCrashReportTextFormatter::stringValueForCrashReport(*report, 0);
    if (text.find("Binary Images:\n") == std::string::npos) std::abort();
    return 0;
}
