#include "ZevOzozidZeroduv/ZevOzozidZeroduv/Model/ZVTAppleErrorLog.h"

#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTKeyedArchiver.h"

namespace {

template <typename T>
ZVTJson listDictionary(const std::vector<std::shared_ptr<T>>& items) {
    ZVTJson list = ZVTJson::array();
    for (const auto& item : items) list.push_back(item->serializeToDictionary());
    return list;
}

}  // namespace

void ZVTAppleErrorLog::encodeWithCoder(ZVTCoder& coder) const {
    ZVTAbstractErrorLog::encodeWithCoder(coder);
    coder.encodeNumber("primaryArchitectureId", zvtArchivedUnsigned(primaryArchitectureId_));
    coder.encodeNumber("architectureVariantId", zvtArchivedUnsigned(architectureVariantId_));
    coder.encodeString("applicationPath", applicationPath_);
    coder.encodeString("osExceptionType", osExceptionType_);
    coder.encodeString("osExceptionCode", osExceptionCode_);
    coder.encodeString("osExceptionAddress", osExceptionAddress_);
    coder.encodeString("exceptionType", exceptionType_);
    coder.encodeString("exceptionReason", exceptionReason_);
    coder.encodeString("selectorRegisterValue", selectorRegisterValue_);
    coder.encodeObjects("threads", threads_);
    coder.encodeObjects("binaries", binaries_);
    if (registers_) coder.encodeJson("registers", ZVTJson(*registers_));
    coder.encodeObject("exception", exception_.get());
}

void ZVTAppleErrorLog::initWithCoder(const ZVTDecoder& decoder) {
    ZVTAbstractErrorLog::initWithCoder(decoder);
    primaryArchitectureId_ = zvtUnarchivedUnsigned(decoder.decodeNumber("primaryArchitectureId"));
    architectureVariantId_ = zvtUnarchivedUnsigned(decoder.decodeNumber("architectureVariantId"));
    applicationPath_ = decoder.decodeString("applicationPath");
    osExceptionType_ = decoder.decodeString("osExceptionType");
    osExceptionCode_ = decoder.decodeString("osExceptionCode");
    osExceptionAddress_ = decoder.decodeString("osExceptionAddress");
    exceptionType_ = decoder.decodeString("exceptionType");
    exceptionReason_ = decoder.decodeString("exceptionReason");
    selectorRegisterValue_ = decoder.decodeString("selectorRegisterValue");
    threads_ = decoder.decodeObjects<ZVTThread>("threads");
    binaries_ = decoder.decodeObjects<ZVTBinary>("binaries");
    if (auto json = decoder.decodeJson("registers")) {
        ZVTRegisters registers;
        if (!json->is_object()) return decoder.fail("registers are not a map");
        for (auto it = json->begin(); it != json->end(); ++it) {
            if (!it.value().is_string()) return decoder.fail("a register value is not text");
            registers[it.key()] = it.value().get<std::string>();
        }
        registers_ = std::move(registers);
    }
    exception_ = decoder.decodeObject<ZVTExceptionModel>("exception");
}

ZVTJson ZVTAppleErrorLog::serializeToDictionary() const {
    ZVTJson dict = ZVTAbstractErrorLog::serializeToDictionary();
    if (primaryArchitectureId_) dict["primaryArchitectureId"] = *primaryArchitectureId_;
    if (architectureVariantId_) dict["architectureVariantId"] = *architectureVariantId_;
    const std::pair<const char*, const std::optional<std::string>*> texts[] = {
        {"applicationPath", &applicationPath_},
        {"osExceptionType", &osExceptionType_},
        {"osExceptionCode", &osExceptionCode_},
        {"osExceptionAddress", &osExceptionAddress_},
        {"exceptionType", &exceptionType_},
        {"exceptionReason", &exceptionReason_},
        {"selectorRegisterValue", &selectorRegisterValue_}};
    for (const auto& [key, value] : texts) {
        if (*value) dict[key] = **value;
    }
    if (threads_) dict["threads"] = listDictionary(*threads_);
    if (binaries_) dict["binaries"] = listDictionary(*binaries_);
    if (registers_) dict["registers"] = ZVTJson(*registers_);
    if (exception_) dict["exception"] = exception_->serializeToDictionary();
    return dict;
}

bool ZVTAppleErrorLog::isValid() const {
    if (!ZVTAbstractErrorLog::isValid()) return false;
    return zvtCheckRequiredFields(className(),
                                  {{"primaryArchitectureId", primaryArchitectureId_.has_value()},
                                   {"applicationPath", applicationPath_.has_value()},
                                   {"osExceptionType", osExceptionType_.has_value()},
                                   {"osExceptionCode", osExceptionCode_.has_value()},
                                   {"osExceptionAddress", osExceptionAddress_.has_value()}});
}

bool ZVTAppleErrorLog::isEqual(const ZVTSerializableObject& other) const {
    const auto* o = dynamic_cast<const ZVTAppleErrorLog*>(&other);
    return o && ZVTAbstractErrorLog::isEqual(other) &&
           primaryArchitectureId_ == o->primaryArchitectureId_ &&
           architectureVariantId_ == o->architectureVariantId_ &&
           applicationPath_ == o->applicationPath_ && osExceptionType_ == o->osExceptionType_ &&
           osExceptionCode_ == o->osExceptionCode_ &&
           osExceptionAddress_ == o->osExceptionAddress_ && exceptionType_ == o->exceptionType_ &&
           exceptionReason_ == o->exceptionReason_ &&
           selectorRegisterValue_ == o->selectorRegisterValue_ &&
           zvtObjectListsEqual(threads_, o->threads_) &&
           zvtObjectListsEqual(binaries_, o->binaries_) && registers_ == o->registers_ &&
           zvtObjectsEqual(exception_, o->exception_);
}
