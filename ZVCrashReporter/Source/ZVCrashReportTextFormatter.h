#pragma once

#include "ZVCrashReporter/Source/ZVCrashReport.h"
#include "ZVCrashReporter/Source/ZVCrashReporterError.h"

#include <cstdint>
#include <string>
#include <vector>

// Something that turns a decoded report into bytes.
class ZVCrashReportFormatter {
  public:
    virtual ~ZVCrashReportFormatter() = default;
    virtual std::vector<uint8_t> formatReport(const ZVCrashReport& report,
                                              ZVCrashReporterError* error) const = 0;
};

// The human-readable crash log of a decoded report: header block, exception, each thread's
// backtrace, the crashed thread's registers and the binary images. Never fails: values the report
// lacks print as "???". Keeps no state besides its two values; any thread may use it.
class ZVCrashReportTextFormatter : public ZVCrashReportFormatter {
  public:
    enum TextFormat : int { ZVCrashReportTextFormatiOS = 0 };
    // Only UTF-8 is produced on this platform; the value is kept for callers that pass one.
    static constexpr unsigned long kUTF8StringEncoding = 4;

    ZVCrashReportTextFormatter(int textFormat, unsigned long stringEncoding)
        : textFormat_(textFormat), stringEncoding_(stringEncoding) {}
    int textFormat() const { return textFormat_; }
    unsigned long stringEncoding() const { return stringEncoding_; }

    // The text of stringValueForCrashReport as UTF-8 bytes; never sets the error.
    std::vector<uint8_t> formatReport(const ZVCrashReport& report,
                                      ZVCrashReporterError* error) const override;

    static std::string stringValueForCrashReport(const ZVCrashReport& report, int textFormat);
    // One backtrace line, ending in a newline.
    static std::string formatStackFrame(const ZVCrashReportStackFrameInfo& frame, long frameIndex,
                                        const ZVCrashReport& report, bool lp64);

  private:
    int textFormat_;
    unsigned long stringEncoding_;
};
