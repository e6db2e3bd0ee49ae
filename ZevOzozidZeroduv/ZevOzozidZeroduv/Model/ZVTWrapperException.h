#pragma once

#include "ZevOzozidZeroduv/ZevOzozidZeroduv/Model/ZVTExceptionModel.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// An exception of a wrapping runtime: the base model plus its inner exceptions and the
// wrapper's name. Not locked.
class ZVTWrapperExceptionModel : public ZVTExceptionModel {
    ZVT_PROPERTY(std::optional<std::vector<std::shared_ptr<ZVTExceptionModel>>>, innerExceptions,
                 setInnerExceptions)
    ZVT_PROPERTY(std::optional<std::string>, wrapperSdkName, setWrapperSdkName)

  public:
    std::string className() const override { return "ZVTWrapperExceptionModel"; }
    void encodeWithCoder(ZVTCoder& coder) const override;
    void initWithCoder(const ZVTDecoder& decoder) override;
    ZVTJson serializeToDictionary() const override;
    bool isEqual(const ZVTSerializableObject& other) const override;
};

// What a wrapping runtime saves just before its process dies. Not locked.
class ZVTWrapperException : public ZVTSerializableObject {
    ZVT_PROPERTY(std::shared_ptr<ZVTExceptionModel>, modelException, setModelException)
    ZVT_PROPERTY(std::optional<ZVTBytes>, exceptionData, setExceptionData)
    ZVT_PROPERTY(std::optional<int64_t>, processId, setProcessId)

  public:
    std::string className() const override { return "ZVTWrapperException"; }
    void encodeWithCoder(ZVTCoder& coder) const override;
    void initWithCoder(const ZVTDecoder& decoder) override;
    ZVTJson serializeToDictionary() const override;
    bool isEqual(const ZVTSerializableObject& other) const override;
};
