#include "ZevOzozidZeroduv/ZevOzozidZeroduv/Model/ZVTAbstractErrorLog.h"

#include "ZevOzozidZeroduv/ZevOzozidZeroduv/Model/ZVTThread.h"

#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTKeyedArchiver.h"
#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTUtility.h"

void ZVTAbstractErrorLog::encodeWithCoder(ZVTCoder& coder) const {
    ZVTLogWithProperties::encodeWithCoder(coder);
    coder.encodeBool("fatal", fatal_);
    coder.encodeString("id", errorId_);
    coder.encodeNumber("processId", processId_);
    coder.encodeString("processName", processName_);
    coder.encodeNumber("parentProcessId", parentProcessId_);
    coder.encodeString("parentProcessName", parentProcessName_);
    coder.encodeNumber("errorThreadId", errorThreadId_);
    coder.encodeString("errorThreadName", errorThreadName_);
    coder.encodeDate("appLaunchTimestamp", appLaunchTimestamp_);
    coder.encodeString("architecture", architecture_);
}

void ZVTAbstractErrorLog::initWithCoder(const ZVTDecoder& decoder) {
    ZVTLogWithProperties::initWithCoder(decoder);
    fatal_ = decoder.decodeBool("fatal");
    errorId_ = decoder.decodeString("id");
    processId_ = decoder.decodeNumber("processId");
    processName_ = decoder.decodeString("processName");
    parentProcessId_ = decoder.decodeNumber("parentProcessId");
    parentProcessName_ = decoder.decodeString("parentProcessName");
    errorThreadId_ = decoder.decodeNumber("errorThreadId");
    errorThreadName_ = decoder.decodeString("errorThreadName");
    appLaunchTimestamp_ = decoder.decodeDate("appLaunchTimestamp");
    architecture_ = decoder.decodeString("architecture");
}

ZVTJson ZVTAbstractErrorLog::serializeToDictionary() const {
    ZVTJson dict = ZVTLogWithProperties::serializeToDictionary();
    if (errorId_) dict["id"] = *errorId_;
    if (processId_) dict["processId"] = *processId_;
    if (processName_) dict["processName"] = *processName_;
    if (parentProcessId_) dict["parentProcessId"] = *parentProcessId_;
    if (parentProcessName_) dict["parentProcessName"] = *parentProcessName_;
    if (errorThreadId_) dict["errorThreadId"] = *errorThreadId_;
    if (errorThreadName_) dict["errorThreadName"] = *errorThreadName_;
    dict["fatal"] = fatal_;
    if (appLaunchTimestamp_) {
        dict["appLaunchTimestamp"] = ZVTUtility::dateToISO8601(*appLaunchTimestamp_);
    }
    if (architecture_) dict["architecture"] = *architecture_;
    return dict;
}

bool ZVTAbstractErrorLog::isValid() const {
    if (!ZVTLogWithProperties::isValid()) return false;
    return zvtCheckRequiredFields(className(), {{"errorId", errorId_.has_value()},
                                                {"processId", processId_.has_value()},
                                                {"processName", processName_.has_value()}});
}

bool ZVTAbstractErrorLog::isEqual(const ZVTSerializableObject& other) const {
    const auto* o = dynamic_cast<const ZVTAbstractErrorLog*>(&other);
    return o && ZVTLogWithProperties::isEqual(other) && errorId_ == o->errorId_ &&
           processId_ == o->processId_ && processName_ == o->processName_ &&
           parentProcessId_ == o->parentProcessId_ && parentProcessName_ == o->parentProcessName_ &&
           errorThreadId_ == o->errorThreadId_ && errorThreadName_ == o->errorThreadName_ &&
           fatal_ == o->fatal_ && appLaunchTimestamp_ == o->appLaunchTimestamp_ &&
           architecture_ == o->architecture_;
}
