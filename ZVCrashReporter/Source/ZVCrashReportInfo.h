#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// The decoded report's parts: immutable values made once by the decoder (ZVCrashReport) and
// read-only afterwards, so any thread may read them. Children are shared, never copied; no part
// points into the unpacked message.

using ZVCrashDate = std::chrono::sys_seconds;

class ZVCrashReportProcessorInfo {
  public:
    enum TypeEncoding : int { TYPE_ENCODING_UNKNOWN = 0, TYPE_ENCODING_MACH = 1 };
    ZVCrashReportProcessorInfo(int typeEncoding, uint64_t type, uint64_t subtype)
        : typeEncoding_(typeEncoding), type_(type), subtype_(subtype) {}
    int typeEncoding() const { return typeEncoding_; }
    uint64_t type() const { return type_; }
    uint64_t subtype() const { return subtype_; }

  private:
    int typeEncoding_;
    uint64_t type_;
    uint64_t subtype_;
};
using ZVProcessorInfoPtr = std::shared_ptr<const ZVCrashReportProcessorInfo>;

class ZVCrashReportSystemInfo {
  public:
    enum OperatingSystem : int {
        MAC_OS_X = 0,
        IPHONE_OS = 1,
        IPHONE_SIMULATOR = 2,
        OS_UNKNOWN = 3,
        APPLE_TVOS = 4,
        LINUX = 5
    };
    enum Architecture : int {
        X86_32 = 0,
        X86_64 = 1,
        ARMV6 = 2,
        PPC = 3,
        PPC64 = 4,
        ARMV7 = 5,
        ARCHITECTURE_UNKNOWN = 6
    };
    ZVCrashReportSystemInfo(int operatingSystem, std::string osVersion,
                            std::optional<std::string> osBuild, int architecture,
                            ZVProcessorInfoPtr processorInfo, std::optional<ZVCrashDate> timestamp)
        : operatingSystem_(operatingSystem),
          osVersion_(std::move(osVersion)),
          osBuild_(std::move(osBuild)),
          architecture_(architecture),
          timestamp_(timestamp),
          processorInfo_(std::move(processorInfo)) {}
    int operatingSystem() const { return operatingSystem_; }
    const std::string& operatingSystemVersion() const { return osVersion_; }
    const std::optional<std::string>& operatingSystemBuild() const { return osBuild_; }
    int architecture() const { return architecture_; }
    const std::optional<ZVCrashDate>& timestamp() const { return timestamp_; }
    const ZVProcessorInfoPtr& processorInfo() const { return processorInfo_; }

  private:
    int operatingSystem_;
    std::string osVersion_;
    std::optional<std::string> osBuild_;
    int architecture_;
    std::optional<ZVCrashDate> timestamp_;
    ZVProcessorInfoPtr processorInfo_;
};

class ZVCrashReportMachineInfo {
  public:
    ZVCrashReportMachineInfo(std::optional<std::string> modelName, ZVProcessorInfoPtr processorInfo,
                             uint64_t processorCount, uint64_t logicalProcessorCount)
        : modelName_(std::move(modelName)),
          processorInfo_(std::move(processorInfo)),
          processorCount_(processorCount),
          logicalProcessorCount_(logicalProcessorCount) {}
    const std::optional<std::string>& modelName() const { return modelName_; }
    const ZVProcessorInfoPtr& processorInfo() const { return processorInfo_; }
    uint64_t processorCount() const { return processorCount_; }
    uint64_t logicalProcessorCount() const { return logicalProcessorCount_; }

  private:
    std::optional<std::string> modelName_;
    ZVProcessorInfoPtr processorInfo_;
    uint64_t processorCount_;
    uint64_t logicalProcessorCount_;
};

class ZVCrashReportApplicationInfo {
  public:
    ZVCrashReportApplicationInfo(std::string identifier, std::string version,
                                 std::optional<std::string> marketingVersion)
        : identifier_(std::move(identifier)),
          version_(std::move(version)),
          marketingVersion_(std::move(marketingVersion)) {}
    const std::string& applicationIdentifier() const { return identifier_; }
    const std::string& applicationVersion() const { return version_; }
    const std::optional<std::string>& applicationMarketingVersion() const {
        return marketingVersion_;
    }

  private:
    std::string identifier_;
    std::string version_;
    std::optional<std::string> marketingVersion_;
};

class ZVCrashReportProcessInfo {
  public:
    ZVCrashReportProcessInfo(std::optional<std::string> processName, uint64_t processID,
                             std::optional<std::string> processPath,
                             std::optional<ZVCrashDate> processStartTime,
                             std::optional<std::string> parentProcessName, uint64_t parentProcessID,
                             bool native)
        : processName_(std::move(processName)),
          processID_(processID),
          processPath_(std::move(processPath)),
          processStartTime_(processStartTime),
          parentProcessName_(std::move(parentProcessName)),
          parentProcessID_(parentProcessID),
          native_(native) {}
    const std::optional<std::string>& processName() const { return processName_; }
    uint64_t processID() const { return processID_; }
    const std::optional<std::string>& processPath() const { return processPath_; }
    const std::optional<ZVCrashDate>& processStartTime() const { return processStartTime_; }
    const std::optional<std::string>& parentProcessName() const { return parentProcessName_; }
    uint64_t parentProcessID() const { return parentProcessID_; }
    bool native() const { return native_; }

  private:
    std::optional<std::string> processName_;
    uint64_t processID_;
    std::optional<std::string> processPath_;
    std::optional<ZVCrashDate> processStartTime_;
    std::optional<std::string> parentProcessName_;
    uint64_t parentProcessID_;
    bool native_;
};

class ZVCrashReportSignalInfo {
  public:
    ZVCrashReportSignalInfo(std::string name, std::string code, uint64_t address)
        : name_(std::move(name)), code_(std::move(code)), address_(address) {}
    const std::string& name() const { return name_; }
    const std::string& code() const { return code_; }
    uint64_t address() const { return address_; }

  private:
    std::string name_;
    std::string code_;
    uint64_t address_;
};

class ZVCrashReportMachExceptionInfo {
  public:
    ZVCrashReportMachExceptionInfo(uint64_t type, std::vector<uint64_t> codes)
        : type_(type), codes_(std::move(codes)) {}
    uint64_t type() const { return type_; }
    const std::vector<uint64_t>& codes() const { return codes_; }

  private:
    uint64_t type_;
    std::vector<uint64_t> codes_;
};

class ZVCrashReportSymbolInfo {
  public:
    ZVCrashReportSymbolInfo(std::string symbolName, uint64_t startAddress, uint64_t endAddress)
        : symbolName_(std::move(symbolName)),
          startAddress_(startAddress),
          endAddress_(endAddress) {}
    const std::string& symbolName() const { return symbolName_; }
    uint64_t startAddress() const { return startAddress_; }
    uint64_t endAddress() const { return endAddress_; }

  private:
    std::string symbolName_;
    uint64_t startAddress_;
    uint64_t endAddress_;
};

class ZVCrashReportStackFrameInfo {
  public:
    ZVCrashReportStackFrameInfo(uint64_t instructionPointer,
                                std::shared_ptr<const ZVCrashReportSymbolInfo> symbolInfo)
        : instructionPointer_(instructionPointer), symbolInfo_(std::move(symbolInfo)) {}
    uint64_t instructionPointer() const { return instructionPointer_; }
    const std::shared_ptr<const ZVCrashReportSymbolInfo>& symbolInfo() const { return symbolInfo_; }

  private:
    uint64_t instructionPointer_;
    std::shared_ptr<const ZVCrashReportSymbolInfo> symbolInfo_;
};
using ZVStackFrames = std::vector<std::shared_ptr<const ZVCrashReportStackFrameInfo>>;

class ZVCrashReportRegisterInfo {
  public:
    ZVCrashReportRegisterInfo(std::string registerName, uint64_t registerValue)
        : registerName_(std::move(registerName)), registerValue_(registerValue) {}
    const std::string& registerName() const { return registerName_; }
    uint64_t registerValue() const { return registerValue_; }

  private:
    std::string registerName_;
    uint64_t registerValue_;
};

class ZVCrashReportThreadInfo {
  public:
    ZVCrashReportThreadInfo(int64_t threadNumber, ZVStackFrames stackFrames, bool crashed,
                            std::vector<std::shared_ptr<const ZVCrashReportRegisterInfo>> registers)
        : threadNumber_(threadNumber),
          stackFrames_(std::move(stackFrames)),
          crashed_(crashed),
          registers_(std::move(registers)) {}
    int64_t threadNumber() const { return threadNumber_; }
    const ZVStackFrames& stackFrames() const { return stackFrames_; }
    bool crashed() const { return crashed_; }
    const std::vector<std::shared_ptr<const ZVCrashReportRegisterInfo>>& registers() const {
        return registers_;
    }

  private:
    int64_t threadNumber_;
    ZVStackFrames stackFrames_;
    bool crashed_;
    std::vector<std::shared_ptr<const ZVCrashReportRegisterInfo>> registers_;
};

class ZVCrashReportBinaryImageInfo {
  public:
    // uuid: the raw bytes or none; kept as lower-case hexadecimal text.
    ZVCrashReportBinaryImageInfo(ZVProcessorInfoPtr codeType, uint64_t baseAddress, uint64_t size,
                                 std::string name, const std::optional<std::vector<uint8_t>>& uuid);
    const ZVProcessorInfoPtr& codeType() const { return codeType_; }
    uint64_t imageBaseAddress() const { return baseAddress_; }
    uint64_t imageSize() const { return imageSize_; }
    const std::string& imageName() const { return imageName_; }
    bool hasImageUUID() const { return imageUUID_.has_value(); }
    const std::optional<std::string>& imageUUID() const { return imageUUID_; }

  private:
    ZVProcessorInfoPtr codeType_;
    uint64_t baseAddress_;
    uint64_t imageSize_;
    std::string imageName_;
    std::optional<std::string> imageUUID_;
};

class ZVCrashReportExceptionInfo {
  public:
    ZVCrashReportExceptionInfo(std::string name, std::string reason)
        : name_(std::move(name)), reason_(std::move(reason)) {}
    ZVCrashReportExceptionInfo(std::string name, std::string reason, ZVStackFrames stackFrames)
        : name_(std::move(name)),
          reason_(std::move(reason)),
          stackFrames_(std::move(stackFrames)) {}
    const std::string& exceptionName() const { return name_; }
    const std::string& exceptionReason() const { return reason_; }
    const std::optional<ZVStackFrames>& stackFrames() const { return stackFrames_; }

  private:
    std::string name_;
    std::string reason_;
    std::optional<ZVStackFrames> stackFrames_;
};
