#include "ZevOzozidZeroduv/ZevOzozidZeroduv/Model/ZVTThread.h"

#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTKeyedArchiver.h"

std::optional<int64_t> zvtArchivedUnsigned(const std::optional<uint64_t>& value) {
    if (!value) return std::nullopt;
    return static_cast<int64_t>(*value);
}

std::optional<uint64_t> zvtUnarchivedUnsigned(const std::optional<int64_t>& value) {
    if (!value) return std::nullopt;
    return static_cast<uint64_t>(*value);
}

bool zvtCheckRequiredFields(const std::string& className,
                            std::initializer_list<std::pair<const char*, bool>> checks) {
    for (const auto& [field, present] : checks) {
        if (!present) {
            zvtReportInvalidField(className, field);
            return false;
        }
    }
    return true;
}

void ZVTThread::encodeWithCoder(ZVTCoder& coder) const {
    coder.encodeNumber("id", threadId_);
    coder.encodeString("name", name_);
    coder.encodeObjects("frames", frames_);
    coder.encodeObject("exception", exception_.get());
}

void ZVTThread::initWithCoder(const ZVTDecoder& decoder) {
    threadId_ = decoder.decodeNumber("id");
    name_ = decoder.decodeString("name");
    frames_ = decoder.decodeObjects<ZVTStackFrame>("frames");
    exception_ = decoder.decodeObject<ZVTExceptionModel>("exception");
}

ZVTJson ZVTThread::serializeToDictionary() const {
    ZVTJson dict = ZVTJson::object();
    if (threadId_) dict["id"] = *threadId_;
    if (name_) dict["name"] = *name_;
    if (frames_) {
        ZVTJson list = ZVTJson::array();
        for (const auto& frame : *frames_) list.push_back(frame->serializeToDictionary());
        dict["frames"] = std::move(list);
    }
    if (exception_) dict["exception"] = exception_->serializeToDictionary();
    return dict;
}

bool ZVTThread::isEqual(const ZVTSerializableObject& other) const {
    const auto* o = dynamic_cast<const ZVTThread*>(&other);
    return o && threadId_ == o->threadId_ && name_ == o->name_ &&
           zvtObjectListsEqual(frames_, o->frames_) && zvtObjectsEqual(exception_, o->exception_);
}

bool ZVTThread::isValid() const {
    return zvtCheckRequiredFields(className(), {{"threadId", threadId_.has_value()},
                                                {"frames", frames_ && !frames_->empty()}});
}

std::string ZVTThread::description() const {
    return serializeToDictionary().dump(4, ' ', false, ZVTJson::error_handler_t::replace);
}

void ZVTBinary::encodeWithCoder(ZVTCoder& coder) const {
    coder.encodeString("id", binaryId_);
    coder.encodeString("startAddress", startAddress_);
    coder.encodeString("endAddress", endAddress_);
    coder.encodeString("name", name_);
    coder.encodeString("path", path_);
    coder.encodeString("architecture", architecture_);
    coder.encodeNumber("primaryArchitectureId", zvtArchivedUnsigned(primaryArchitectureId_));
    coder.encodeNumber("architectureVariantId", zvtArchivedUnsigned(architectureVariantId_));
}

void ZVTBinary::initWithCoder(const ZVTDecoder& decoder) {
    binaryId_ = decoder.decodeString("id");
    startAddress_ = decoder.decodeString("startAddress");
    endAddress_ = decoder.decodeString("endAddress");
    name_ = decoder.decodeString("name");
    path_ = decoder.decodeString("path");
    architecture_ = decoder.decodeString("architecture");
    primaryArchitectureId_ = zvtUnarchivedUnsigned(decoder.decodeNumber("primaryArchitectureId"));
    architectureVariantId_ = zvtUnarchivedUnsigned(decoder.decodeNumber("architectureVariantId"));
}

ZVTJson ZVTBinary::serializeToDictionary() const {
    ZVTJson dict = ZVTJson::object();
    if (binaryId_) dict["id"] = *binaryId_;
    if (startAddress_) dict["startAddress"] = *startAddress_;
    if (endAddress_) dict["endAddress"] = *endAddress_;
    if (name_) dict["name"] = *name_;
    if (path_) dict["path"] = *path_;
    if (architecture_) dict["architecture"] = *architecture_;
    if (primaryArchitectureId_) dict["primaryArchitectureId"] = *primaryArchitectureId_;
    if (architectureVariantId_) dict["architectureVariantId"] = *architectureVariantId_;
    return dict;
}

bool ZVTBinary::isEqual(const ZVTSerializableObject& other) const {
    const auto* o = dynamic_cast<const ZVTBinary*>(&other);
    return o && binaryId_ == o->binaryId_ && startAddress_ == o->startAddress_ &&
           endAddress_ == o->endAddress_ && name_ == o->name_ && path_ == o->path_ &&
           architecture_ == o->architecture_ &&
           primaryArchitectureId_ == o->primaryArchitectureId_ &&
           architectureVariantId_ == o->architectureVariantId_;
}

bool ZVTBinary::isValid() const {
    return zvtCheckRequiredFields(className(), {{"binaryId", binaryId_.has_value()},
                                                {"startAddress", startAddress_.has_value()},
                                                {"endAddress", endAddress_.has_value()},
                                                {"name", name_.has_value()},
                                                {"path", path_.has_value()}});
}

std::string ZVTBinary::description() const {
    return serializeToDictionary().dump(4, ' ', false, ZVTJson::error_handler_t::replace);
}
