#pragma once

#include "ZevOzozid/ZevOzozid/Internals/Model/CommonSchema/ZVTCSExtensions.h"
#include "ZevOzozid/ZevOzozid/Internals/Model/CommonSchema/ZVTOrderedDictionary.h"
#include "ZevOzozid/ZevOzozid/Model/ZVTAbstractLog.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

// A log in the common-schema collector's form: one per target token of a service log. Its JSON
// keeps a fixed key order ("ver", "name", "time", "iKey", "flags", "ext", "data") and leaves out
// the base log's keys. Not locked: filled by the converter, stamped by the channel delegate on
// the enqueuing thread, then read only.
class ZVTCommonSchemaLog : public ZVTAbstractLog {
    ZVT_PROPERTY(std::optional<std::string>, ver, setVer)
    ZVT_PROPERTY(std::optional<std::string>, name, setName)
    // Population sample rate: archived and compared, never written to JSON.
    ZVT_PROPERTY(double, popSample, setPopSample)
    ZVT_PROPERTY(std::optional<std::string>, iKey, setIKey)
    ZVT_PROPERTY(int64_t, flags, setFlags)
    // Correlation vector: archived and compared, never written to JSON.
    ZVT_PROPERTY(std::optional<std::string>, cV, setCV)
    ZVT_PROPERTY(std::shared_ptr<ZVTCSExtensions>, ext, setExt)
    ZVT_PROPERTY(std::shared_ptr<ZVTCSData>, data, setData)

  public:
    std::string className() const override { return "ZVTCommonSchemaLog"; }
    void encodeWithCoder(ZVTCoder& coder) const override;
    void initWithCoder(const ZVTDecoder& decoder) override;
    // The ordered JSON of the fields that are set.
    ZVTOrderedDictionary serializeToOrderedDictionary() const;
    ZVTJson serializeToDictionary() const override { return serializeToOrderedDictionary().json(); }
    // Timestamp, "ver" and "name" present; the first missing one is reported at verbose level.
    bool isValid() const override;
    bool isEqual(const ZVTSerializableObject& other) const override;
    // Its single target token, kept beside it in the log store.
    std::optional<std::string> storedTargetToken() const override;
};
