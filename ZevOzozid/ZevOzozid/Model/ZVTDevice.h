#pragma once

#include "ZevOzozid/ZevOzozid/Model/ZVTWrapperSdk.h"

#include <cstdint>
#include <optional>

using ZVTOptionalNumber = std::optional<int64_t>;

// The machine, operating system and application that produced a log. Not locked: filled by one
// thread (the device tracker) before it is shared, then read only.
class ZVTDevice : public ZVTWrapperSdk {
    ZVT_PROPERTY(ZVTOptionalString, sdkName, setSdkName)
    ZVT_PROPERTY(ZVTOptionalString, sdkVersion, setSdkVersion)
    ZVT_PROPERTY(ZVTOptionalString, model, setModel)
    ZVT_PROPERTY(ZVTOptionalString, oemName, setOemName)
    ZVT_PROPERTY(ZVTOptionalString, osName, setOsName)
    ZVT_PROPERTY(ZVTOptionalString, osVersion, setOsVersion)
    ZVT_PROPERTY(ZVTOptionalString, osBuild, setOsBuild)
    ZVT_PROPERTY(ZVTOptionalNumber, osApiLevel, setOsApiLevel)
    ZVT_PROPERTY(ZVTOptionalString, locale, setLocale)
    ZVT_PROPERTY(ZVTOptionalNumber, timeZoneOffset, setTimeZoneOffset)
    ZVT_PROPERTY(ZVTOptionalString, screenSize, setScreenSize)
    ZVT_PROPERTY(ZVTOptionalString, appVersion, setAppVersion)
    ZVT_PROPERTY(ZVTOptionalString, carrierName, setCarrierName)
    ZVT_PROPERTY(ZVTOptionalString, carrierCountry, setCarrierCountry)
    ZVT_PROPERTY(ZVTOptionalString, appBuild, setAppBuild)
    ZVT_PROPERTY(ZVTOptionalString, appNamespace, setAppNamespace)

  public:
    std::string className() const override { return "ZVTDevice"; }
    void encodeWithCoder(ZVTCoder& coder) const override;
    void initWithCoder(const ZVTDecoder& decoder) override;
    ZVTJson serializeToDictionary() const override;
    bool isEqual(const ZVTSerializableObject& other) const override;
    bool isValid() const override;
    std::string description() const;

  private:
    struct Field {
        const char* key;
        ZVTOptionalString ZVTDevice::*text;
        ZVTOptionalNumber ZVTDevice::*number;
    };
    static const Field* fields(size_t& count);
};
