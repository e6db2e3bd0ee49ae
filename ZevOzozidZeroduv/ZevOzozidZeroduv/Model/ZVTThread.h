#pragma once

#include "ZevOzozidZeroduv/ZevOzozidZeroduv/Model/ZVTExceptionModel.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

// One thread of a crash: its number, frames and the exception it raised. Not locked.
class ZVTThread : public ZVTSerializableObject, public ZVTModel {
    ZVT_PROPERTY(std::optional<int64_t>, threadId, setThreadId)
    ZVT_PROPERTY(ZVTOptionalText, name, setName)
    ZVT_PROPERTY(std::optional<ZVTStackFrames>, frames, setFrames)
    ZVT_PROPERTY(std::shared_ptr<ZVTExceptionModel>, exception, setException)

  public:
    // frames starts as an empty list.
    ZVTThread() : frames_(ZVTStackFrames{}) {}

    std::string className() const override { return "ZVTThread"; }
    void encodeWithCoder(ZVTCoder& coder) const override;
    // Starts from a plain thread: frames is exactly what was archived.
    void initWithCoder(const ZVTDecoder& decoder) override;
    ZVTJson serializeToDictionary() const override;
    bool isEqual(const ZVTSerializableObject& other) const override;
    bool isValid() const override;
    std::string description() const;
};

// One loaded binary image of a crash. Not locked.
class ZVTBinary : public ZVTSerializableObject, public ZVTModel {
    ZVT_PROPERTY(ZVTOptionalText, binaryId, setBinaryId)
    ZVT_PROPERTY(ZVTOptionalText, startAddress, setStartAddress)
    ZVT_PROPERTY(ZVTOptionalText, endAddress, setEndAddress)
    ZVT_PROPERTY(ZVTOptionalText, name, setName)
    ZVT_PROPERTY(ZVTOptionalText, path, setPath)
    ZVT_PROPERTY(ZVTOptionalText, architecture, setArchitecture)
    ZVT_PROPERTY(std::optional<uint64_t>, primaryArchitectureId, setPrimaryArchitectureId)
    ZVT_PROPERTY(std::optional<uint64_t>, architectureVariantId, setArchitectureVariantId)

  public:
    std::string className() const override { return "ZVTBinary"; }
    void encodeWithCoder(ZVTCoder& coder) const override;
    void initWithCoder(const ZVTDecoder& decoder) override;
    ZVTJson serializeToDictionary() const override;
    bool isEqual(const ZVTSerializableObject& other) const override;
    bool isValid() const override;
    std::string description() const;
};

// Unsigned 64-bit numbers archive as their bit pattern in a signed number.
std::optional<int64_t> zvtArchivedUnsigned(const std::optional<uint64_t>& value);
std::optional<uint64_t> zvtUnarchivedUnsigned(const std::optional<int64_t>& value);
// The first missing field of `checks` (name, present?), reported; true when none is missing.
bool zvtCheckRequiredFields(const std::string& className,
                            std::initializer_list<std::pair<const char*, bool>> checks);
