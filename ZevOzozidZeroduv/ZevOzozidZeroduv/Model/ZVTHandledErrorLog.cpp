#include "ZevOzozidZeroduv/ZevOzozidZeroduv/Model/ZVTHandledErrorLog.h"

#include "ZevOzozidZeroduv/ZevOzozidZeroduv/Model/ZVTThread.h"

#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTKeyedArchiver.h"

void ZVTHandledErrorLog::encodeWithCoder(ZVTCoder& coder) const {
    ZVTLogWithProperties::encodeWithCoder(coder);
    coder.encodeString("id", errorId_);
    coder.encodeObject("exception", exception_.get());
}

void ZVTHandledErrorLog::initWithCoder(const ZVTDecoder& decoder) {
    ZVTLogWithProperties::initWithCoder(decoder);
    errorId_ = decoder.decodeString("id");
    exception_ = decoder.decodeObject<ZVTExceptionModel>("exception");
}

ZVTJson ZVTHandledErrorLog::serializeToDictionary() const {
    ZVTJson dict = ZVTLogWithProperties::serializeToDictionary();
    if (errorId_) dict["id"] = *errorId_;
    if (exception_) dict["exception"] = exception_->serializeToDictionary();
    return dict;
}

bool ZVTHandledErrorLog::isValid() const {
    if (!ZVTLogWithProperties::isValid()) return false;
    return zvtCheckRequiredFields(
        className(), {{"errorId", errorId_.has_value()}, {"exception", exception_ != nullptr}});
}

bool ZVTHandledErrorLog::isEqual(const ZVTSerializableObject& other) const {
    const auto* o = dynamic_cast<const ZVTHandledErrorLog*>(&other);
    return o && ZVTLogWithProperties::isEqual(other) && errorId_ == o->errorId_ &&
           zvtObjectsEqual(exception_, o->exception_);
}
