#include "ZevOzozidZeroduv/ZevOzozidZeroduv/Model/ZVTErrorAttachmentLog.h"

#include "platform/Crypto.h"

#include "ZevOzozidZeroduv/ZevOzozidZeroduv/Model/ZVTThread.h"

#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTKeyedArchiver.h"
#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTUUID.h"

ZVTErrorAttachmentLog::ZVTErrorAttachmentLog() {
    setType("errorAttachment");
    attachmentId_ = ZVTUUID::random().UUIDString();
}

ZVTErrorAttachmentLog::ZVTErrorAttachmentLog(std::optional<std::string> filename,
                                             std::optional<ZVTBytes> data,
                                             std::optional<std::string> contentType)
    : ZVTErrorAttachmentLog() {
    filename_ = std::move(filename);
    data_ = std::move(data);
    contentType_ = std::move(contentType);
}

ZVTErrorAttachmentLog::ZVTErrorAttachmentLog(std::optional<std::string> filename,
                                             const std::optional<std::string>& text)
    : ZVTErrorAttachmentLog(
          std::move(filename),
          text ? std::optional<ZVTBytes>(ZVTBytes(text->begin(), text->end())) : std::nullopt,
          std::string("text/plain")) {}

std::shared_ptr<ZVTErrorAttachmentLog> ZVTErrorAttachmentLog::attachmentWithText(
    const std::optional<std::string>& text, const std::optional<std::string>& filename) {
    return std::make_shared<ZVTErrorAttachmentLog>(filename, text);
}

std::shared_ptr<ZVTErrorAttachmentLog> ZVTErrorAttachmentLog::attachmentWithBinary(
    const std::optional<ZVTBytes>& data, const std::optional<std::string>& filename,
    const std::optional<std::string>& contentType) {
    return std::make_shared<ZVTErrorAttachmentLog>(filename, data, contentType);
}

void ZVTErrorAttachmentLog::encodeWithCoder(ZVTCoder& coder) const {
    ZVTAbstractLog::encodeWithCoder(coder);
    coder.encodeString("id", attachmentId_);
    coder.encodeString("errorId", errorId_);
    coder.encodeString("contentType", contentType_);
    coder.encodeString("fileName", filename_);
    coder.encodeBytes("data", data_);
}

void ZVTErrorAttachmentLog::initWithCoder(const ZVTDecoder& decoder) {
    ZVTAbstractLog::initWithCoder(decoder);
    attachmentId_ = decoder.decodeString("id");
    errorId_ = decoder.decodeString("errorId");
    contentType_ = decoder.decodeString("contentType");
    filename_ = decoder.decodeString("fileName");
    data_ = decoder.decodeBytes("data");
}

ZVTJson ZVTErrorAttachmentLog::serializeToDictionary() const {
    ZVTJson dict = ZVTAbstractLog::serializeToDictionary();
    if (attachmentId_) dict["id"] = *attachmentId_;
    if (errorId_) dict["errorId"] = *errorId_;
    if (contentType_) dict["contentType"] = *contentType_;
    if (filename_) dict["fileName"] = *filename_;
    if (data_) {
        dict["data"] = platform::crypto::base64Encode(
            std::string_view(reinterpret_cast<const char*>(data_->data()), data_->size()));
    }
    return dict;
}

bool ZVTErrorAttachmentLog::isValid() const {
    if (!ZVTAbstractLog::isValid()) return false;
    return zvtCheckRequiredFields(className(), {{"errorId", errorId_.has_value()},
                                                {"attachmentId", attachmentId_.has_value()},
                                                {"data", data_.has_value()},
                                                {"contentType", contentType_.has_value()}});
}

bool ZVTErrorAttachmentLog::isEqual(const ZVTSerializableObject& other) const {
    const auto* o = dynamic_cast<const ZVTErrorAttachmentLog*>(&other);
    return o && ZVTAbstractLog::isEqual(other) && attachmentId_ == o->attachmentId_ &&
           errorId_ == o->errorId_ && contentType_ == o->contentType_ &&
           filename_ == o->filename_ && data_ == o->data_;
}
