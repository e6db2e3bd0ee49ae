#pragma once

#include "ZevOzozid/ZevOzozid/Internals/Channel/ZVTChannelProtocols.h"
#include "ZevOzozid/ZevOzozid/Internals/Model/CommonSchema/ZVTCSExtensions.h"
#include "ZevOzozid/ZevOzozid/Internals/Sender/ZVTCSCollectorIngestion.h"
#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTUUID.h"

#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

class ZVTCommonSchemaLog;

// Routes logs addressed to target tokens to the common-schema collector. For every channel unit
// the group gains it adds a companion unit (group id + "/one") over its own collector ingestion;
// a log with target tokens leaves its ordinary unit and travels as one common-schema log per
// token through the companion; every common-schema log gets an epoch and a sequence number per
// instrumentation key, and its event name is checked. Enabling, pausing and resuming a unit are
// mirrored onto its companion.
//
// Threads: every callback may come on any thread (the prepare callbacks on the enqueuing
// thread, the rest on the logs queue): the companion table and the counters share one lock,
// held only to read or change them; no channel is called under it.
class ZVTCSCollectorChannelDelegate : public ZVTChannelDelegate {
  public:
    static const std::string kDefaultBaseUrl;
    static const std::string kCSCollectorGroupSuffix;  // "/one"
    static const std::string kLogNamePattern;

    // The base URL none: the default collector host.
    ZVTCSCollectorChannelDelegate(std::shared_ptr<ZVTHttpClientProtocol> httpClient,
                                  const ZVTUUID& installId,
                                  const std::optional<std::string>& baseUrl);

    void setLogUrl(const std::string& logUrl);
    const std::shared_ptr<ZVTCSCollectorIngestion>& csCollectorIngestion() const {
        return ingestion_;
    }
    // The companion of the unit of `groupId`, if one was made.
    std::shared_ptr<ZVTChannelUnitProtocol> companionForGroupId(const std::string& groupId) const;

    static bool isCSCollectorGroup(const std::string& groupId);
    // The log has a target token, converts, and is not itself a common-schema log.
    static bool shouldSendLogToCSCollector(const ZVTLog& log);
    // The log's event name passes validateLogName.
    static bool validateLog(const ZVTCommonSchemaLog& log);
    // 4 to 100 characters: a letter or digit, then letters, digits, "_" and single dots that do
    // not end the name. A failure is logged at error level.
    static bool validateLogName(const std::optional<std::string>& name);

    void channelGroupDidAddChannelUnit(ZVTChannelGroupProtocol& group,
                                       ZVTChannelUnitProtocol& unit) override;
    void channelPrepareLog(ZVTChannelProtocol& channel, ZVTLog& log) override;
    void channelDidPrepareLog(ZVTChannelProtocol& channel, const std::shared_ptr<ZVTLog>& log,
                              const std::string& internalId, uint64_t flags) override;
    bool channelUnitShouldFilterLog(ZVTChannelUnitProtocol& unit, ZVTLog& log) override;
    void channelDidSetEnabled(ZVTChannelProtocol& channel, bool isEnabled,
                              bool deleteDataOnDisabled) override;
    void channelDidPauseWithIdentifyingObject(ZVTChannelProtocol& channel,
                                              const void* identifyingObject) override;
    void channelDidResumeWithIdentifyingObject(ZVTChannelProtocol& channel,
                                               const void* identifyingObject) override;

  private:
    // The companion of an ordinary unit; none for a common-schema unit or the group.
    std::shared_ptr<ZVTChannelUnitProtocol> companionOf(ZVTChannelProtocol& channel) const;
    void stamp(ZVTCommonSchemaLog& log);

    const ZVTUUID installId_;
    std::shared_ptr<ZVTCSCollectorIngestion> ingestion_;
    mutable std::mutex mutex_;
    std::map<std::string, std::shared_ptr<ZVTChannelUnitProtocol>> csCollectorChannels_;
    std::map<std::string, ZVTCSEpochAndSeq> epochsAndSeqsByIKey_;
};
