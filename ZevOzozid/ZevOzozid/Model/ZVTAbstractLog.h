#pragma once

#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTSerializableObject.h"
#include "ZevOzozid/ZevOzozid/Model/ZVTDevice.h"
#include "ZevOzozid/ZevOzozid/Model/ZVTLogConversion.h"

#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

// The base of every telemetry log. The fields are set by one thread before the log is
// enqueued; only the target-token set is locked (the log's own lock), so tokens may be added
// from any thread.
class ZVTAbstractLog : public ZVTSerializableObject, public ZVTModel, public ZVTLogConversion {
    ZVT_PROPERTY(std::optional<std::string>, type, setType)
    ZVT_PROPERTY(std::optional<ZVTDate>, timestamp, setTimestamp)
    ZVT_PROPERTY(std::optional<std::string>, sid, setSid)
    ZVT_PROPERTY(std::optional<std::string>, distributionGroupId, setDistributionGroupId)
    ZVT_PROPERTY(std::optional<std::string>, userId, setUserId)
    ZVT_PROPERTY(std::shared_ptr<ZVTDevice>, device, setDevice)
    // The object that produced the log; compared by identity, never serialised or archived.
    ZVT_PROPERTY(std::shared_ptr<void>, tag, setTag)

  public:
    using TokenSet = std::set<std::string>;

    ZVTAbstractLog() = default;
    ZVTAbstractLog(const ZVTAbstractLog&) = delete;
    ZVTAbstractLog& operator=(const ZVTAbstractLog&) = delete;

    std::optional<TokenSet> transmissionTargetTokens() const;
    void setTransmissionTargetTokens(std::optional<TokenSet> tokens);
    void addTransmissionTargetToken(const std::string& token);

    // The one target token stored beside the log (common-schema logs); none by default.
    virtual std::optional<std::string> storedTargetToken() const { return std::nullopt; }

    std::string className() const override { return "ZVTAbstractLog"; }
    void encodeWithCoder(ZVTCoder& coder) const override;
    void initWithCoder(const ZVTDecoder& decoder) override;
    ZVTJson serializeToDictionary() const override;
    // The JSON text of the dictionary; invalid UTF-8 in a field becomes U+FFFD.
    std::optional<std::string> serializeLogWithPrettyPrinting(bool prettyPrint) const;
    bool isValid() const override;
    // Target tokens take no part.
    bool isEqual(const ZVTSerializableObject& other) const override;

    // One common-schema log per target token; subclasses that carry an event name and data
    // extend the single conversion.
    std::optional<std::vector<std::shared_ptr<ZVTCommonSchemaLog>>> toCommonSchemaLogsWithFlags(
        uint64_t flags) const override;
    // "ver" "3.0", this log's timestamp, the token's iKey (none for a token without a target
    // key), the flags and the context extensions filled from the device record.
    std::shared_ptr<ZVTCommonSchemaLog> toCommonSchemaLogForTargetToken(
        const std::string& token, uint64_t flags) const override;

    // "Version v (Build b)", "Version v", "Build b" or nothing.
    static std::optional<std::string> combineOsVersion(const std::optional<std::string>& version,
                                                       const std::optional<std::string>& build);
    // "name-version" when both are non-empty.
    static std::optional<std::string> combineSDKLibVer(const std::optional<std::string>& name,
                                                       const std::optional<std::string>& version);
    // Signed minutes as "+hh:mm" / "-hh:mm" (-30 gives "-00:30").
    static std::string convertTimeZoneOffsetToISO8601(int64_t minutes);

  private:
    mutable std::mutex tokensMutex_;
    std::optional<TokenSet> transmissionTargetTokens_;
};

// What a channel carries: any log.
using ZVTLog = ZVTAbstractLog;
