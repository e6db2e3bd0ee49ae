#include "ZevOzozid/ZevOzozid/Internals/Model/ZVTHistoryInfo.h"

#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTKeyedArchiver.h"

void ZVTHistoryInfo::encodeWithCoder(ZVTCoder& coder) const {
    coder.encodeDate("timestampKey", timestamp_);
}

void ZVTHistoryInfo::initWithCoder(const ZVTDecoder& decoder) {
    timestamp_ = decoder.decodeDate("timestampKey");
}

bool ZVTHistoryInfo::isEqual(const ZVTSerializableObject& other) const {
    const auto* o = dynamic_cast<const ZVTHistoryInfo*>(&other);
    return o && o->className() == className() && timestamp_ == o->timestamp_;
}

void ZVTSessionHistoryInfo::encodeWithCoder(ZVTCoder& coder) const {
    ZVTHistoryInfo::encodeWithCoder(coder);
    coder.encodeString("sessionIdKey", sessionId_);
}

void ZVTSessionHistoryInfo::initWithCoder(const ZVTDecoder& decoder) {
    ZVTHistoryInfo::initWithCoder(decoder);
    sessionId_ = decoder.decodeString("sessionIdKey");
}

bool ZVTSessionHistoryInfo::isEqual(const ZVTSerializableObject& other) const {
    const auto* o = dynamic_cast<const ZVTSessionHistoryInfo*>(&other);
    return o && ZVTHistoryInfo::isEqual(other) && sessionId_ == o->sessionId_;
}

bool ZVTTestSessionInfo::isEqual(const ZVTSerializableObject& other) const {
    const auto* o = dynamic_cast<const ZVTTestSessionInfo*>(&other);
    return o && ZVTHistoryInfo::isEqual(other) && sessionId_ == o->sessionId_;
}
