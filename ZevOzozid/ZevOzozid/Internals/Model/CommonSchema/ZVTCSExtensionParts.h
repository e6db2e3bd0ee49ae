#pragma once

#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTSerializableObject.h"
#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTUUID.h"

#include <optional>
#include <string>

using ZVTOptionalText = std::optional<std::string>;

// The small parts of a common-schema log's "ext" and "data" objects. Each is always valid,
// writes only the fields that are set (nothing at all when none is) and compares by value.
// Not locked.

// Who: the prefixed user id and the user's locale ("en-US").
class ZVTUserExtension : public ZVTSerializableObject, public ZVTModel {
    ZVT_PROPERTY(ZVTOptionalText, localId, setLocalId)
    ZVT_PROPERTY(ZVTOptionalText, locale, setLocale)
  public:
    std::string className() const override { return "ZVTUserExtension"; }
    void encodeWithCoder(ZVTCoder& coder) const override;
    void initWithCoder(const ZVTDecoder& decoder) override;
    ZVTJson serializeToDictionary() const override;
    bool isEqual(const ZVTSerializableObject& other) const override;
    bool isValid() const override { return true; }
};

// A device-local id.
class ZVTDeviceExtension : public ZVTSerializableObject, public ZVTModel {
    ZVT_PROPERTY(ZVTOptionalText, localId, setLocalId)
  public:
    std::string className() const override { return "ZVTDeviceExtension"; }
    void encodeWithCoder(ZVTCoder& coder) const override;
    void initWithCoder(const ZVTDecoder& decoder) override;
    ZVTJson serializeToDictionary() const override;
    bool isEqual(const ZVTSerializableObject& other) const override;
    bool isValid() const override { return true; }
};

// Library version and the per-target numbering of logs.
class ZVTSDKExtension : public ZVTSerializableObject, public ZVTModel {
    ZVT_PROPERTY(ZVTOptionalText, libVer, setLibVer)
    ZVT_PROPERTY(ZVTOptionalText, epoch, setEpoch)
    ZVT_PROPERTY(int64_t, seq, setSeq)
    ZVT_PROPERTY(std::optional<ZVTUUID>, installId, setInstallId)
  public:
    std::string className() const override { return "ZVTSDKExtension"; }
    void encodeWithCoder(ZVTCoder& coder) const override;
    void initWithCoder(const ZVTDecoder& decoder) override;
    ZVTJson serializeToDictionary() const override;
    bool isEqual(const ZVTSerializableObject& other) const override;
    bool isValid() const override { return true; }
};

// The operating system: version text and name.
class ZVTOSExtension : public ZVTSerializableObject, public ZVTModel {
    ZVT_PROPERTY(ZVTOptionalText, ver, setVer)
    ZVT_PROPERTY(ZVTOptionalText, name, setName)
  public:
    std::string className() const override { return "ZVTOSExtension"; }
    void encodeWithCoder(ZVTCoder& coder) const override;
    void initWithCoder(const ZVTDecoder& decoder) override;
    ZVTJson serializeToDictionary() const override;
    bool isEqual(const ZVTSerializableObject& other) const override;
    bool isValid() const override { return true; }
};

// The time-zone offset text ("+02:00").
class ZVTLocExtension : public ZVTSerializableObject, public ZVTModel {
    ZVT_PROPERTY(ZVTOptionalText, tz, setTz)
  public:
    std::string className() const override { return "ZVTLocExtension"; }
    void encodeWithCoder(ZVTCoder& coder) const override;
    void initWithCoder(const ZVTDecoder& decoder) override;
    ZVTJson serializeToDictionary() const override;
    bool isEqual(const ZVTSerializableObject& other) const override;
    bool isValid() const override { return true; }
};

// The event's own data properties; "baseType" and "baseData" are always written first.
class ZVTCSData : public ZVTSerializableObject, public ZVTModel {
    ZVT_PROPERTY(std::optional<ZVTJson>, properties, setProperties)
  public:
    std::string className() const override { return "ZVTCSData"; }
    void encodeWithCoder(ZVTCoder& coder) const override;
    void initWithCoder(const ZVTDecoder& decoder) override;
    ZVTJson serializeToDictionary() const override;
    bool isEqual(const ZVTSerializableObject& other) const override;
    bool isValid() const override { return true; }
};
