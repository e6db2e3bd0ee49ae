#pragma once

#include "ZevOzozid/ZevOzozid/Internals/Model/CommonSchema/ZVTCSContextExtensions.h"
#include "ZevOzozid/ZevOzozid/Internals/Model/CommonSchema/ZVTCSExtensionParts.h"

#include <cstdint>
#include <memory>
#include <string>

// The "ext" object of a common-schema log: up to nine extensions, each may be absent. Not
// locked: the converter fills it, the channel delegate stamps the SDK extension, then it is read
// only.
class ZVTCSExtensions : public ZVTSerializableObject, public ZVTModel {
    ZVT_PROPERTY(std::shared_ptr<ZVTMetadataExtension>, metadataExt, setMetadataExt)
    ZVT_PROPERTY(std::shared_ptr<ZVTProtocolExtension>, protocolExt, setProtocolExt)
    ZVT_PROPERTY(std::shared_ptr<ZVTUserExtension>, userExt, setUserExt)
    ZVT_PROPERTY(std::shared_ptr<ZVTDeviceExtension>, deviceExt, setDeviceExt)
    ZVT_PROPERTY(std::shared_ptr<ZVTOSExtension>, osExt, setOsExt)
    ZVT_PROPERTY(std::shared_ptr<ZVTAppExtension>, appExt, setAppExt)
    ZVT_PROPERTY(std::shared_ptr<ZVTNetExtension>, netExt, setNetExt)
    ZVT_PROPERTY(std::shared_ptr<ZVTSDKExtension>, sdkExt, setSdkExt)
    ZVT_PROPERTY(std::shared_ptr<ZVTLocExtension>, locExt, setLocExt)

  public:
    std::string className() const override { return "ZVTCSExtensions"; }
    void encodeWithCoder(ZVTCoder& coder) const override;
    void initWithCoder(const ZVTDecoder& decoder) override;
    // Each present extension that writes something, under its key; never null, only empty.
    ZVTJson serializeToDictionary() const override;
    // Every extension equal (two absent count as equal).
    bool isEqual(const ZVTSerializableObject& other) const override;
    // The first present extension that is not valid is reported and fails the container.
    bool isValid() const override;
};

// The epoch text and the last sequence number the channel delegate gave out for one
// instrumentation key. Not archived; not locked (its owner locks).
struct ZVTCSEpochAndSeq {
    std::string epoch;
    uint64_t seq = 0;

    explicit ZVTCSEpochAndSeq(std::string epoch) : epoch(std::move(epoch)) {}
};
