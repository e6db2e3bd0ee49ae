#include "ZevOzozid/ZevOzozid/Internals/Model/CommonSchema/ZVTCommonSchemaLog.h"

#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTKeyedArchiver.h"
#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTUtility.h"

void ZVTCommonSchemaLog::encodeWithCoder(ZVTCoder& coder) const {
    ZVTAbstractLog::encodeWithCoder(coder);
    coder.encodeString("ver", ver_);
    coder.encodeString("name", name_);
    coder.encodeDouble("popSample", popSample_);
    coder.encodeString("iKey", iKey_);
    coder.encodeInt64("flags", flags_);
    coder.encodeString("cV", cV_);
    coder.encodeObject("ext", ext_.get());
    coder.encodeObject("data", data_.get());
}

void ZVTCommonSchemaLog::initWithCoder(const ZVTDecoder& decoder) {
    ZVTAbstractLog::initWithCoder(decoder);
    ver_ = decoder.decodeString("ver");
    name_ = decoder.decodeString("name");
    popSample_ = decoder.decodeDouble("popSample");
    iKey_ = decoder.decodeString("iKey");
    flags_ = decoder.decodeInt64("flags");
    cV_ = decoder.decodeString("cV");
    ext_ = decoder.decodeObject<ZVTCSExtensions>("ext");
    data_ = decoder.decodeObject<ZVTCSData>("data");
}

ZVTOrderedDictionary ZVTCommonSchemaLog::serializeToOrderedDictionary() const {
    ZVTOrderedDictionary dict(7);
    if (ver_) dict.setObject(*ver_, "ver");
    if (name_) dict.setObject(*name_, "name");
    if (timestamp()) dict.setObject(ZVTUtility::dateToISO8601(*timestamp()), "time");
    if (iKey_) dict.setObject(*iKey_, "iKey");
    if (flags_ != 0) dict.setObject(flags_, "flags");
    if (ext_) dict.setObject(ext_->serializeToDictionary(), "ext");
    if (data_) {
        // A data part without properties writes nothing, and so leaves the key out.
        ZVTJson part = data_->serializeToDictionary();
        if (!part.is_null()) dict.setObject(part, "data");
    }
    return dict;
}

bool ZVTCommonSchemaLog::isValid() const {
    const char* missing = !timestamp() ? "timestamp" : !ver_ ? "ver" : !name_ ? "name" : nullptr;
    if (missing) {
        zvtReportInvalidField(className(), missing);
        return false;
    }
    return true;
}

bool ZVTCommonSchemaLog::isEqual(const ZVTSerializableObject& other) const {
    const auto* o = dynamic_cast<const ZVTCommonSchemaLog*>(&other);
    // A NaN sample rate is never equal, as a double comparison gives.
    return o && ZVTAbstractLog::isEqual(other) && ver_ == o->ver_ && name_ == o->name_ &&
           popSample_ == o->popSample_ && iKey_ == o->iKey_ && flags_ == o->flags_ &&
           cV_ == o->cV_ && zvtObjectsEqual(ext_, o->ext_) && zvtObjectsEqual(data_, o->data_);
}

std::optional<std::string> ZVTCommonSchemaLog::storedTargetToken() const {
    auto tokens = transmissionTargetTokens();
    if (!tokens || tokens->empty()) return std::nullopt;
    return *tokens->begin();
}
