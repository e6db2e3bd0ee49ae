#include "ZevOzozidZerevuziz/ZevOzozidZerevuziz/Model/ZVTEventLog.h"

#include "ZevOzozidZerevuziz/ZevOzozidZerevuziz/Model/ZVTCSPropertyTree.h"

#include "ZevOzozid/ZevOzozid/Internals/Model/CommonSchema/ZVTCommonSchemaLog.h"
#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTKeyedArchiver.h"

const std::map<std::string, int64_t>& ZVTEventLog::metadataTypeIdMapping() {
    static const std::map<std::string, int64_t> mapping{
        {"long", 4}, {"double", 6}, {"dateTime", 9}};
    return mapping;
}

void ZVTEventLog::encodeWithCoder(ZVTCoder& coder) const {
    ZVTLogWithNameAndProperties::encodeWithCoder(coder);
    coder.encodeString("id", eventId_);
    coder.encodeObject("typedProperties", typedProperties_.get());
}

void ZVTEventLog::initWithCoder(const ZVTDecoder& decoder) {
    ZVTLogWithNameAndProperties::initWithCoder(decoder);
    eventId_ = decoder.decodeString("id");
    typedProperties_ = decoder.decodeObject<ZVTEventProperties>("typedProperties");
}

ZVTJson ZVTEventLog::serializeToDictionary() const {
    ZVTJson dict = ZVTLogWithNameAndProperties::serializeToDictionary();
    if (eventId_) dict["id"] = *eventId_;
    if (typedProperties_) dict["typedProperties"] = typedProperties_->serializeToArray();
    return dict;
}

bool ZVTEventLog::isValid() const {
    if (!ZVTLogWithNameAndProperties::isValid()) return false;
    if (!eventId_) {
        zvtReportInvalidField(className(), "eventId");
        return false;
    }
    return true;
}

bool ZVTEventLog::isEqual(const ZVTSerializableObject& other) const {
    const auto* o = dynamic_cast<const ZVTEventLog*>(&other);
    return o && ZVTLogWithNameAndProperties::isEqual(other) && eventId_ == o->eventId_;
}

std::shared_ptr<ZVTCommonSchemaLog> ZVTEventLog::toCommonSchemaLogForTargetToken(
    const std::string& token, uint64_t flags) const {
    auto csLog = ZVTLogWithNameAndProperties::toCommonSchemaLogForTargetToken(token, flags);
    if (!csLog) return csLog;
    csLog->setName(name());
    setPropertiesAndMetadataForCSLog(*csLog);
    csLog->setTag(tag());
    return csLog;
}

void ZVTEventLog::setPropertiesAndMetadataForCSLog(ZVTCommonSchemaLog& csLog) const {
    if (!typedProperties_) return;
    ZVTCSPropertyTree tree(metadataTypeIdMapping());
    tree.addEventProperties(*typedProperties_);
    if (!tree.properties().empty()) {
        auto data = std::make_shared<ZVTCSData>();
        data->setProperties(tree.properties());
        csLog.setData(data);
    }
    if (!tree.metadata().empty()) {
        if (!csLog.ext()) csLog.setExt(std::make_shared<ZVTCSExtensions>());
        auto metadata = std::make_shared<ZVTMetadataExtension>();
        metadata->setMetadata(tree.metadata());
        csLog.ext()->setMetadataExt(metadata);
    }
}
