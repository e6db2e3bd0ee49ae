#include "ZevOzozidZeroduv/ZevOzozidZeroduv/Model/ZVTStackFrame.h"

#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTKeyedArchiver.h"

void ZVTStackFrame::encodeWithCoder(ZVTCoder& coder) const {
    coder.encodeString("address", address_);
    coder.encodeString("code", code_);
    coder.encodeString("className", className_);
    coder.encodeString("methodName", methodName_);
    coder.encodeNumber("lineNumber", lineNumber_);
    coder.encodeString("fileName", fileName_);
}

void ZVTStackFrame::initWithCoder(const ZVTDecoder& decoder) {
    address_ = decoder.decodeString("address");
    code_ = decoder.decodeString("code");
    className_ = decoder.decodeString("className");
    methodName_ = decoder.decodeString("methodName");
    lineNumber_ = decoder.decodeNumber("lineNumber");
    fileName_ = decoder.decodeString("fileName");
}

ZVTJson ZVTStackFrame::serializeToDictionary() const {
    ZVTJson dict = ZVTJson::object();
    if (address_) dict["address"] = *address_;
    if (code_) dict["code"] = *code_;
    if (className_) dict["className"] = *className_;
    if (methodName_) dict["methodName"] = *methodName_;
    if (lineNumber_) dict["lineNumber"] = *lineNumber_;
    if (fileName_) dict["fileName"] = *fileName_;
    return dict;
}

bool ZVTStackFrame::isEqual(const ZVTSerializableObject& other) const {
    const auto* o = dynamic_cast<const ZVTStackFrame*>(&other);
    return o && address_ == o->address_ && code_ == o->code_ && className_ == o->className_ &&
           methodName_ == o->methodName_ && lineNumber_ == o->lineNumber_ &&
           fileName_ == o->fileName_;
}
