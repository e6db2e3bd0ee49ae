#pragma once

#include "ZevOzozid/ZevOzozid/Model/ZVTLogWithProperties.h"

#include <cstdint>
#include <optional>
#include <string>

// The common part of the crash error logs. Sets no type: the subclass does. Not locked.
class ZVTAbstractErrorLog : public ZVTLogWithProperties {
    ZVT_PROPERTY(bool, fatal, setFatal)
    ZVT_PROPERTY(std::optional<std::string>, errorId, setErrorId)
    ZVT_PROPERTY(std::optional<int64_t>, processId, setProcessId)
    ZVT_PROPERTY(std::optional<std::string>, processName, setProcessName)
    ZVT_PROPERTY(std::optional<int64_t>, parentProcessId, setParentProcessId)
    ZVT_PROPERTY(std::optional<std::string>, parentProcessName, setParentProcessName)
    ZVT_PROPERTY(std::optional<int64_t>, errorThreadId, setErrorThreadId)
    ZVT_PROPERTY(std::optional<std::string>, errorThreadName, setErrorThreadName)
    ZVT_PROPERTY(std::optional<ZVTDate>, appLaunchTimestamp, setAppLaunchTimestamp)
    ZVT_PROPERTY(std::optional<std::string>, architecture, setArchitecture)

  public:
    bool isFatal() const { return fatal_; }
    std::string className() const override { return "ZVTAbstractErrorLog"; }
    void encodeWithCoder(ZVTCoder& coder) const override;
    void initWithCoder(const ZVTDecoder& decoder) override;
    ZVTJson serializeToDictionary() const override;
    bool isValid() const override;
    bool isEqual(const ZVTSerializableObject& other) const override;
};
