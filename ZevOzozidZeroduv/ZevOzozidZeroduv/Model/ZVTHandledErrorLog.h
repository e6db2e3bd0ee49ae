#pragma once

#include "ZevOzozidZeroduv/ZevOzozidZeroduv/Model/ZVTExceptionModel.h"

#include "ZevOzozid/ZevOzozid/Model/ZVTLogWithProperties.h"

#include <memory>
#include <optional>
#include <string>

// An error the application reported itself (type "handledError"). Not locked.
class ZVTHandledErrorLog : public ZVTLogWithProperties {
    ZVT_PROPERTY(std::optional<std::string>, errorId, setErrorId)
    ZVT_PROPERTY(std::shared_ptr<ZVTExceptionModel>, exception, setException)

  public:
    ZVTHandledErrorLog() { setType("handledError"); }
    std::string className() const override { return "ZVTHandledErrorLog"; }
    void encodeWithCoder(ZVTCoder& coder) const override;
    void initWithCoder(const ZVTDecoder& decoder) override;
    ZVTJson serializeToDictionary() const override;
    // The exception model's own validity is not checked.
    bool isValid() const override;
    bool isEqual(const ZVTSerializableObject& other) const override;
};
