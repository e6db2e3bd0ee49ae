#pragma once

#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTSerializableObject.h"

#include <cstdint>
#include <optional>
#include <string>

using ZVTOptionalText = std::optional<std::string>;

// One frame of a call stack: address, the formatter's code text, owner, function, line and
// image. Every field is optional. Not locked: filled on one thread before it is shared.
class ZVTStackFrame : public ZVTSerializableObject {
    ZVT_PROPERTY(ZVTOptionalText, address, setAddress)
    ZVT_PROPERTY(ZVTOptionalText, code, setCode)
    ZVT_PROPERTY(ZVTOptionalText, methodName, setMethodName)
    ZVT_PROPERTY(std::optional<int64_t>, lineNumber, setLineNumber)
    ZVT_PROPERTY(ZVTOptionalText, fileName, setFileName)

  public:
    // The frame's class or owner (the archive's className() names the model class).
    const ZVTOptionalText& frameClassName() const { return className_; }
    void setClassName(ZVTOptionalText value) { className_ = std::move(value); }

    std::string className() const override { return "ZVTStackFrame"; }
    void encodeWithCoder(ZVTCoder& coder) const override;
    void initWithCoder(const ZVTDecoder& decoder) override;
    ZVTJson serializeToDictionary() const override;
    bool isEqual(const ZVTSerializableObject& other) const override;

  private:
    ZVTOptionalText className_;
};
