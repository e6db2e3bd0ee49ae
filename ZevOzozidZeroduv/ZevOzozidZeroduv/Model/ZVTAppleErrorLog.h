#pragma once

#include "ZevOzozidZeroduv/ZevOzozidZeroduv/Model/ZVTAbstractErrorLog.h"
#include "ZevOzozidZeroduv/ZevOzozidZeroduv/Model/ZVTErrorReport.h"

#include "ZevOzozid/ZevOzozid/Model/ZVTNoAutoAssignSessionIdLog.h"

#include <map>
#include <memory>
#include <optional>
#include <string>

using ZVTRegisters = std::map<std::string, std::string>;

// The log of one crash (type "appleError"): signal, exception, threads, binaries and the
// crashed thread's registers. Not locked: the formatter fills it before it is enqueued.
// A crash log keeps the session id of the run that crashed (set when the report is processed in
// the next run); the next run's session must not replace it.
class ZVTAppleErrorLog : public ZVTAbstractErrorLog, public ZVTNoAutoAssignSessionIdLog {
    // Whether the architecture ids are CPU type/subtype values; used only for error reports,
    // never serialised, archived or compared.
    ZVT_PROPERTY(bool, isKnownEncodingType, setIsKnownEncodingType)
    ZVT_PROPERTY(std::optional<uint64_t>, primaryArchitectureId, setPrimaryArchitectureId)
    ZVT_PROPERTY(std::optional<uint64_t>, architectureVariantId, setArchitectureVariantId)
    ZVT_PROPERTY(std::optional<std::string>, applicationPath, setApplicationPath)
    ZVT_PROPERTY(std::optional<std::string>, osExceptionType, setOsExceptionType)
    ZVT_PROPERTY(std::optional<std::string>, osExceptionCode, setOsExceptionCode)
    ZVT_PROPERTY(std::optional<std::string>, osExceptionAddress, setOsExceptionAddress)
    ZVT_PROPERTY(std::optional<std::string>, exceptionType, setExceptionType)
    ZVT_PROPERTY(std::optional<std::string>, exceptionReason, setExceptionReason)
    ZVT_PROPERTY(std::optional<std::string>, selectorRegisterValue, setSelectorRegisterValue)
    ZVT_PROPERTY(std::optional<ZVTThreads>, threads, setThreads)
    ZVT_PROPERTY(std::optional<ZVTBinaries>, binaries, setBinaries)
    ZVT_PROPERTY(std::optional<ZVTRegisters>, registers, setRegisters)
    ZVT_PROPERTY(std::shared_ptr<ZVTExceptionModel>, exception, setException)

  public:
    ZVTAppleErrorLog() { setType("appleError"); }
    std::string className() const override { return "ZVTAppleErrorLog"; }
    void encodeWithCoder(ZVTCoder& coder) const override;
    void initWithCoder(const ZVTDecoder& decoder) override;
    ZVTJson serializeToDictionary() const override;
    bool isValid() const override;
    bool isEqual(const ZVTSerializableObject& other) const override;
};
