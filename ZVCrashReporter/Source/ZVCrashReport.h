#pragma once

#include "ZVCrashReporter/Source/ZVCrashReportInfo.h"
#include "ZVCrashReporter/Source/ZVCrashReporterError.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <vector>

struct Zvcrash__CrashReport;

// A decoded crash report: the file's header is checked, the message unpacked with protobuf-c,
// the sections the rest of the system relies on validated, and every value copied into the info
// objects. Built fully or not at all; immutable afterwards, so any thread may read it.
class ZVCrashReport {
  public:
    // Reports larger than this are refused before they are read (64 times the writer's cap).
    static constexpr size_t kMaximumReportSize = 16u * 1024u * 1024u;

    // The only way to build a report: the whole contents of a report file. On failure returns
    // null and fills error (when given) with code 2 and the reason.
    static std::shared_ptr<const ZVCrashReport> initWithData(const std::vector<uint8_t>& data,
                                                             ZVCrashReporterError* error);
    static std::shared_ptr<const ZVCrashReport> initWithData(const uint8_t* data, size_t length,
                                                             ZVCrashReporterError* error);
    // Reads a report file for initWithData: refuses files over kMaximumReportSize (code 2)
    // before reading them; a file that cannot be read is code 1.
    static bool readReportFile(const std::filesystem::path& path, std::vector<uint8_t>& bytes,
                               ZVCrashReporterError* error);

    ~ZVCrashReport();
    ZVCrashReport(const ZVCrashReport&) = delete;
    ZVCrashReport& operator=(const ZVCrashReport&) = delete;

    const std::shared_ptr<const ZVCrashReportSystemInfo>& systemInfo() const { return systemInfo_; }
    bool hasMachineInfo() const { return machineInfo_ != nullptr; }
    const std::shared_ptr<const ZVCrashReportMachineInfo>& machineInfo() const {
        return machineInfo_;
    }
    const std::shared_ptr<const ZVCrashReportApplicationInfo>& applicationInfo() const {
        return applicationInfo_;
    }
    bool hasProcessInfo() const { return processInfo_ != nullptr; }
    const std::shared_ptr<const ZVCrashReportProcessInfo>& processInfo() const {
        return processInfo_;
    }
    const std::shared_ptr<const ZVCrashReportSignalInfo>& signalInfo() const { return signalInfo_; }
    const std::shared_ptr<const ZVCrashReportMachExceptionInfo>& machExceptionInfo() const {
        return machExceptionInfo_;
    }
    const std::vector<std::shared_ptr<const ZVCrashReportThreadInfo>>& threads() const {
        return threads_;
    }
    const std::vector<std::shared_ptr<const ZVCrashReportBinaryImageInfo>>& images() const {
        return images_;
    }
    bool hasExceptionInfo() const { return exceptionInfo_ != nullptr; }
    const std::shared_ptr<const ZVCrashReportExceptionInfo>& exceptionInfo() const {
        return exceptionInfo_;
    }
    const std::optional<std::vector<uint8_t>>& customData() const { return customData_; }
    const std::optional<std::array<uint8_t, 16>>& uuidRef() const { return uuid_; }

    // The first image, in report order, with base <= address < base + size; null otherwise.
    std::shared_ptr<const ZVCrashReportBinaryImageInfo> imageForAddress(uint64_t address) const;

  private:
    ZVCrashReport() = default;
    friend class ZVCrashReportDecoder;

    Zvcrash__CrashReport* message_ = nullptr;
    std::shared_ptr<const ZVCrashReportSystemInfo> systemInfo_;
    std::shared_ptr<const ZVCrashReportMachineInfo> machineInfo_;
    std::shared_ptr<const ZVCrashReportApplicationInfo> applicationInfo_;
    std::shared_ptr<const ZVCrashReportProcessInfo> processInfo_;
    std::shared_ptr<const ZVCrashReportSignalInfo> signalInfo_;
    std::shared_ptr<const ZVCrashReportMachExceptionInfo> machExceptionInfo_;
    std::vector<std::shared_ptr<const ZVCrashReportThreadInfo>> threads_;
    std::vector<std::shared_ptr<const ZVCrashReportBinaryImageInfo>> images_;
    std::shared_ptr<const ZVCrashReportExceptionInfo> exceptionInfo_;
    std::optional<std::vector<uint8_t>> customData_;
    std::optional<std::array<uint8_t, 16>> uuid_;
};
