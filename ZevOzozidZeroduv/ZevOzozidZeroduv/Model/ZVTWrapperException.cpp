#include "ZevOzozidZeroduv/ZevOzozidZeroduv/Model/ZVTWrapperException.h"

#include "platform/Crypto.h"

#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTKeyedArchiver.h"

void ZVTWrapperExceptionModel::encodeWithCoder(ZVTCoder& coder) const {
    ZVTExceptionModel::encodeWithCoder(coder);
    coder.encodeObjects("innerExceptions", innerExceptions_);
    coder.encodeString("wrapperSdkName", wrapperSdkName_);
}

void ZVTWrapperExceptionModel::initWithCoder(const ZVTDecoder& decoder) {
    ZVTExceptionModel::initWithCoder(decoder);
    innerExceptions_ = decoder.decodeObjects<ZVTExceptionModel>("innerExceptions");
    wrapperSdkName_ = decoder.decodeString("wrapperSdkName");
}

ZVTJson ZVTWrapperExceptionModel::serializeToDictionary() const {
    ZVTJson dict = ZVTExceptionModel::serializeToDictionary();
    if (wrapperSdkName_) dict["wrapperSdkName"] = *wrapperSdkName_;
    if (innerExceptions_) {
        ZVTJson list = ZVTJson::array();
        for (const auto& inner : *innerExceptions_) list.push_back(inner->serializeToDictionary());
        dict["innerExceptions"] = std::move(list);
    }
    return dict;
}

bool ZVTWrapperExceptionModel::isEqual(const ZVTSerializableObject& other) const {
    const auto* o = dynamic_cast<const ZVTWrapperExceptionModel*>(&other);
    return o && ZVTExceptionModel::isEqual(other) && wrapperSdkName_ == o->wrapperSdkName_ &&
           zvtObjectListsEqual(innerExceptions_, o->innerExceptions_);
}

void ZVTWrapperException::encodeWithCoder(ZVTCoder& coder) const {
    coder.encodeObject("modelException", modelException_.get());
    coder.encodeBytes("exceptionData", exceptionData_);
    coder.encodeNumber("processId", processId_);
}

void ZVTWrapperException::initWithCoder(const ZVTDecoder& decoder) {
    modelException_ = decoder.decodeObject<ZVTExceptionModel>("modelException");
    exceptionData_ = decoder.decodeBytes("exceptionData");
    processId_ = decoder.decodeNumber("processId");
}

ZVTJson ZVTWrapperException::serializeToDictionary() const {
    ZVTJson dict = ZVTJson::object();
    if (modelException_) dict["modelException"] = modelException_->serializeToDictionary();
    if (processId_) dict["processId"] = *processId_;
    if (exceptionData_) {
        dict["exceptionData"] = platform::crypto::base64Encode(std::string_view(
            reinterpret_cast<const char*>(exceptionData_->data()), exceptionData_->size()));
    }
    return dict;
}

bool ZVTWrapperException::isEqual(const ZVTSerializableObject& other) const {
    const auto* o = dynamic_cast<const ZVTWrapperException*>(&other);
    return o && zvtObjectsEqual(modelException_, o->modelException_) &&
           exceptionData_ == o->exceptionData_ && processId_ == o->processId_;
}
