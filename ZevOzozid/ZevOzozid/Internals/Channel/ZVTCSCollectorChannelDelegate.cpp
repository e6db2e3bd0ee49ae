#include "ZevOzozid/ZevOzozid/Internals/Channel/ZVTCSCollectorChannelDelegate.h"

#include "ZevOzozid/ZevOzozid/Internals/Model/CommonSchema/ZVTCommonSchemaLog.h"
#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTLogger.h"

#include <regex>

const std::string ZVTCSCollectorChannelDelegate::kDefaultBaseUrl =
    "https://collector.zevozozid.gridlark.dev";
const std::string ZVTCSCollectorChannelDelegate::kCSCollectorGroupSuffix = "/one";
const std::string ZVTCSCollectorChannelDelegate::kLogNamePattern =
    "^[a-zA-Z0-9]((\\.(?!(\\.|$)))|[_a-zA-Z0-9]){3,99}$";

namespace {
const char* const kValidationFailed = "Log validation failed.";
constexpr size_t kMaxLogNameLength = 100;
}  // namespace

ZVTCSCollectorChannelDelegate::ZVTCSCollectorChannelDelegate(
    std::shared_ptr<ZVTHttpClientProtocol> httpClient, const ZVTUUID& installId,
    const std::optional<std::string>& baseUrl)
    : installId_(installId),
      ingestion_(std::make_shared<ZVTCSCollectorIngestion>(std::move(httpClient),
                                                           baseUrl.value_or(kDefaultBaseUrl))) {}

void ZVTCSCollectorChannelDelegate::setLogUrl(const std::string& logUrl) {
    ingestion_->setBaseURL(logUrl);
}

std::shared_ptr<ZVTChannelUnitProtocol> ZVTCSCollectorChannelDelegate::companionForGroupId(
    const std::string& groupId) const {
    std::lock_guard lock(mutex_);
    auto it = csCollectorChannels_.find(groupId);
    return it == csCollectorChannels_.end() ? nullptr : it->second;
}

bool ZVTCSCollectorChannelDelegate::isCSCollectorGroup(const std::string& groupId) {
    return groupId.size() >= kCSCollectorGroupSuffix.size() &&
           groupId.compare(groupId.size() - kCSCollectorGroupSuffix.size(),
                           kCSCollectorGroupSuffix.size(), kCSCollectorGroupSuffix) == 0;
}

bool ZVTCSCollectorChannelDelegate::shouldSendLogToCSCollector(const ZVTLog& log) {
    // Every log converts (the base log carries the conversion).
    if (dynamic_cast<const ZVTCommonSchemaLog*>(&log)) return false;
    auto tokens = log.transmissionTargetTokens();
    return tokens && !tokens->empty();
}

bool ZVTCSCollectorChannelDelegate::validateLog(const ZVTCommonSchemaLog& log) {
    return validateLogName(log.name());
}

bool ZVTCSCollectorChannelDelegate::validateLogName(const std::optional<std::string>& name) {
    if (!name || name->empty()) {
        ZVTLogError(kZVTLogTag, kValidationFailed, " Name must not be nil or empty.");
        return false;
    }
    // Longer names never match; they are not handed to the expression engine, which recurses
    // per character.
    static const std::regex expression(kLogNamePattern);
    if (name->size() > kMaxLogNameLength || !std::regex_search(*name, expression)) {
        ZVTLogError(kZVTLogTag, kValidationFailed, " Name must match '", kLogNamePattern,
                    "' but was '", *name, "'");
        return false;
    }
    return true;
}

void ZVTCSCollectorChannelDelegate::channelGroupDidAddChannelUnit(ZVTChannelGroupProtocol& group,
                                                                  ZVTChannelUnitProtocol& unit) {
    const auto configuration = unit.configuration();
    if (isCSCollectorGroup(configuration.groupId)) return;
    auto companion = group.addChannelUnitWithConfiguration(
        ZVTChannelUnitConfiguration::defaultConfiguration(
            configuration.groupId + kCSCollectorGroupSuffix, configuration.flushInterval),
        ingestion_);
    std::lock_guard lock(mutex_);
    csCollectorChannels_[configuration.groupId] = std::move(companion);
}

std::shared_ptr<ZVTChannelUnitProtocol> ZVTCSCollectorChannelDelegate::companionOf(
    ZVTChannelProtocol& channel) const {
    auto* unit = dynamic_cast<ZVTChannelUnitProtocol*>(&channel);
    if (!unit) return nullptr;
    const std::string groupId = unit->configuration().groupId;
    if (isCSCollectorGroup(groupId)) return nullptr;
    return companionForGroupId(groupId);
}

void ZVTCSCollectorChannelDelegate::stamp(ZVTCommonSchemaLog& log) {
    // A log without an instrumentation key (a token without a target key) gets no numbering.
    if (!log.iKey()) return;
    if (!log.ext()) log.setExt(std::make_shared<ZVTCSExtensions>());
    if (!log.ext()->sdkExt()) log.ext()->setSdkExt(std::make_shared<ZVTSDKExtension>());
    std::string epoch;
    uint64_t seq = 0;
    {
        std::lock_guard lock(mutex_);
        auto it = epochsAndSeqsByIKey_.find(*log.iKey());
        if (it == epochsAndSeqsByIKey_.end()) {
            it = epochsAndSeqsByIKey_
                     .emplace(*log.iKey(), ZVTCSEpochAndSeq(ZVTUUID::random().UUIDString()))
                     .first;
        }
        epoch = it->second.epoch;
        seq = ++it->second.seq;
    }
    const auto& sdk = log.ext()->sdkExt();
    sdk->setEpoch(epoch);
    sdk->setSeq(static_cast<int64_t>(seq));
    sdk->setInstallId(installId_);
}

void ZVTCSCollectorChannelDelegate::channelPrepareLog(ZVTChannelProtocol& channel, ZVTLog& log) {
    auto* csLog = dynamic_cast<ZVTCommonSchemaLog*>(&log);
    if (!csLog) return;
    // Numbered once, in the unit that sends it: a common-schema log prepared in an ordinary unit
    // is passed on to the companion and numbered there.
    auto* unit = dynamic_cast<ZVTChannelUnitProtocol*>(&channel);
    if (unit && !isCSCollectorGroup(unit->configuration().groupId)) return;
    stamp(*csLog);
}

void ZVTCSCollectorChannelDelegate::channelDidPrepareLog(ZVTChannelProtocol& channel,
                                                         const std::shared_ptr<ZVTLog>& log,
                                                         const std::string& /*internalId*/,
                                                         uint64_t flags) {
    if (!log) return;
    auto companion = companionOf(channel);
    if (!companion) return;
    if (dynamic_cast<ZVTCommonSchemaLog*>(log.get())) {
        companion->enqueueItem(log, flags);
        return;
    }
    if (!shouldSendLogToCSCollector(*log)) return;
    auto converted = log->toCommonSchemaLogsWithFlags(flags);
    if (!converted) return;
    for (const auto& csLog : *converted) companion->enqueueItem(csLog, flags);
}

bool ZVTCSCollectorChannelDelegate::channelUnitShouldFilterLog(ZVTChannelUnitProtocol& unit,
                                                               ZVTLog& log) {
    if (const auto* csLog = dynamic_cast<const ZVTCommonSchemaLog*>(&log)) {
        if (!isCSCollectorGroup(unit.configuration().groupId)) return true;
        return !validateLog(*csLog);
    }
    auto tokens = log.transmissionTargetTokens();
    return tokens && !tokens->empty();
}

void ZVTCSCollectorChannelDelegate::channelDidSetEnabled(ZVTChannelProtocol& channel,
                                                         bool isEnabled,
                                                         bool deleteDataOnDisabled) {
    if (auto companion = companionOf(channel)) {
        companion->setEnabled(isEnabled, deleteDataOnDisabled);
    } else if (dynamic_cast<ZVTChannelGroupProtocol*>(&channel) && !isEnabled &&
               deleteDataOnDisabled) {
        std::lock_guard lock(mutex_);
        epochsAndSeqsByIKey_.clear();
    }
}

void ZVTCSCollectorChannelDelegate::channelDidPauseWithIdentifyingObject(
    ZVTChannelProtocol& channel, const void* identifyingObject) {
    if (auto companion = companionOf(channel)) {
        companion->pauseWithIdentifyingObject(identifyingObject);
    }
}

void ZVTCSCollectorChannelDelegate::channelDidResumeWithIdentifyingObject(
    ZVTChannelProtocol& channel, const void* identifyingObject) {
    if (auto companion = companionOf(channel)) {
        companion->resumeWithIdentifyingObject(identifyingObject);
    }
}
