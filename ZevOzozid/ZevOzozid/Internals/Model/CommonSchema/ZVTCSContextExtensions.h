#pragma once

#include "ZevOzozid/ZevOzozid/Internals/Model/CommonSchema/ZVTCSExtensionParts.h"

#include <mutex>
#include <optional>
#include <string>
#include <vector>

// The metadata, protocol, application and network parts of a common-schema log's "ext" object.
// Each is always valid, writes only the fields that are set (nothing at all when none is) and
// compares by value. Only the metadata extension is locked (its dictionary is read and written
// atomically); fill the others on one thread before sharing.

// Type hints of an event's typed properties: the dictionary's own entries.
class ZVTMetadataExtension : public ZVTSerializableObject, public ZVTModel {
  public:
    ZVTMetadataExtension() = default;
    ZVTMetadataExtension(const ZVTMetadataExtension&) = delete;
    ZVTMetadataExtension& operator=(const ZVTMetadataExtension&) = delete;

    // A copy of the dictionary (a JSON object), or none.
    std::optional<ZVTJson> metadata() const;
    // Keeps a copy; a value that is not a JSON object is stored as none.
    void setMetadata(std::optional<ZVTJson> metadata);

    std::string className() const override { return "ZVTMetadataExtension"; }
    // The dictionary is the archive's unkeyed root value.
    void encodeWithCoder(ZVTCoder& coder) const override;
    void initWithCoder(const ZVTDecoder& decoder) override;
    ZVTJson serializeToDictionary() const override;
    bool isEqual(const ZVTSerializableObject& other) const override;
    bool isValid() const override { return true; }

  private:
    mutable std::mutex mutex_;
    std::optional<ZVTJson> metadata_;
};

// Authentication ticket keys and the device's maker and model.
class ZVTProtocolExtension : public ZVTSerializableObject, public ZVTModel {
    ZVT_PROPERTY(std::optional<std::vector<std::string>>, ticketKeys, setTicketKeys)
    ZVT_PROPERTY(ZVTOptionalText, devMake, setDevMake)
    ZVT_PROPERTY(ZVTOptionalText, devModel, setDevModel)
  public:
    std::string className() const override { return "ZVTProtocolExtension"; }
    void encodeWithCoder(ZVTCoder& coder) const override;
    void initWithCoder(const ZVTDecoder& decoder) override;
    ZVTJson serializeToDictionary() const override;
    bool isEqual(const ZVTSerializableObject& other) const override;
    bool isValid() const override { return true; }
};

// The application: id ("I:" and its namespace, written as "id"), version, name, locale, user.
class ZVTAppExtension : public ZVTSerializableObject, public ZVTModel {
    ZVT_PROPERTY(ZVTOptionalText, appId, setAppId)
    ZVT_PROPERTY(ZVTOptionalText, ver, setVer)
    ZVT_PROPERTY(ZVTOptionalText, name, setName)
    ZVT_PROPERTY(ZVTOptionalText, locale, setLocale)
    ZVT_PROPERTY(ZVTOptionalText, userId, setUserId)
  public:
    std::string className() const override { return "ZVTAppExtension"; }
    void encodeWithCoder(ZVTCoder& coder) const override;
    void initWithCoder(const ZVTDecoder& decoder) override;
    ZVTJson serializeToDictionary() const override;
    bool isEqual(const ZVTSerializableObject& other) const override;
    bool isValid() const override { return true; }
};

// The network: the carrier's name.
class ZVTNetExtension : public ZVTSerializableObject, public ZVTModel {
    ZVT_PROPERTY(ZVTOptionalText, provider, setProvider)
  public:
    std::string className() const override { return "ZVTNetExtension"; }
    void encodeWithCoder(ZVTCoder& coder) const override;
    void initWithCoder(const ZVTDecoder& decoder) override;
    ZVTJson serializeToDictionary() const override;
    bool isEqual(const ZVTSerializableObject& other) const override;
    bool isValid() const override { return true; }
};
