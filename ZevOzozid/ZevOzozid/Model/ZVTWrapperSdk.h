#pragma once

#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTSerializableObject.h"

#include <optional>
#include <string>

using ZVTOptionalString = std::optional<std::string>;

// Describes an SDK layer that wraps this one and its live-update package. Not locked.
class ZVTWrapperSdk : public ZVTSerializableObject, public ZVTModel {
    ZVT_PROPERTY(ZVTOptionalString, wrapperSdkVersion, setWrapperSdkVersion)
    ZVT_PROPERTY(ZVTOptionalString, wrapperSdkName, setWrapperSdkName)
    ZVT_PROPERTY(ZVTOptionalString, wrapperRuntimeVersion, setWrapperRuntimeVersion)
    ZVT_PROPERTY(ZVTOptionalString, liveUpdateReleaseLabel, setLiveUpdateReleaseLabel)
    ZVT_PROPERTY(ZVTOptionalString, liveUpdateDeploymentKey, setLiveUpdateDeploymentKey)
    ZVT_PROPERTY(ZVTOptionalString, liveUpdatePackageHash, setLiveUpdatePackageHash)

  public:
    ZVTWrapperSdk() = default;
    ZVTWrapperSdk(ZVTOptionalString wrapperSdkVersion, ZVTOptionalString wrapperSdkName,
                  ZVTOptionalString wrapperRuntimeVersion, ZVTOptionalString liveUpdateReleaseLabel,
                  ZVTOptionalString liveUpdateDeploymentKey,
                  ZVTOptionalString liveUpdatePackageHash);

    std::string className() const override { return "ZVTWrapperSdk"; }
    void encodeWithCoder(ZVTCoder& coder) const override;
    void initWithCoder(const ZVTDecoder& decoder) override;
    ZVTJson serializeToDictionary() const override;
    bool isEqual(const ZVTSerializableObject& other) const override;
    bool isValid() const override { return true; }

  private:
    using Field = ZVTOptionalString ZVTWrapperSdk::*;
    static const std::pair<const char*, Field>* fields(size_t& count);
};
