#pragma once

// The base of the error logs: the core's log with properties.
#if __has_include("Model/ZVTLogWithProperties.h")
#include "Model/ZVTLogWithProperties.h"
#elif __has_include("Internals/Model/ZVTLogWithProperties.h")
#include "Internals/Model/ZVTLogWithProperties.h"
#else
#include "Internals/Util/ZVTKeyedArchiver.h"
#include "Model/ZVTAbstractLog.h"

#include <map>
#include <optional>
#include <string>

using ZVTLogProperties = std::map<std::string, std::string>;

// A log with a map of string properties (written only when it has an entry).
class ZVTLogWithProperties : public ZVTAbstractLog {
    ZVT_PROPERTY(std::optional<ZVTLogProperties>, properties, setProperties)

  public:
    std::string className() const override { return "ZVTLogWithProperties"; }
    void encodeWithCoder(ZVTCoder& coder) const override {
        ZVTAbstractLog::encodeWithCoder(coder);
        if (properties_) coder.encodeJson("properties", ZVTJson(*properties_));
    }
    void initWithCoder(const ZVTDecoder& decoder) override {
        ZVTAbstractLog::initWithCoder(decoder);
        auto json = decoder.decodeJson("properties");
        if (!json) return;
        if (!json->is_object()) return decoder.fail("properties are not a map");
        ZVTLogProperties map;
        for (auto it = json->begin(); it != json->end(); ++it) {
            if (!it.value().is_string()) return decoder.fail("a property is not text");
            map[it.key()] = it.value().get<std::string>();
        }
        properties_ = std::move(map);
    }
    ZVTJson serializeToDictionary() const override {
        ZVTJson dict = ZVTAbstractLog::serializeToDictionary();
        if (properties_ && !properties_->empty()) dict["properties"] = ZVTJson(*properties_);
        return dict;
    }
    bool isEqual(const ZVTSerializableObject& other) const override {
        const auto* o = dynamic_cast<const ZVTLogWithProperties*>(&other);
        return o && ZVTAbstractLog::isEqual(other) && properties_ == o->properties_;
    }
};
#endif
