#pragma once

#include "ZevOzozid/ZevOzozid/Model/ZVTAbstractLog.h"

#include <memory>
#include <optional>
#include <string>

// A file attached to a crash or a handled error, sent as its own log pointing to the error by
// its id. Not locked: filled on one thread before it is enqueued.
class ZVTErrorAttachmentLog : public ZVTAbstractLog {
    ZVT_PROPERTY(std::optional<std::string>, contentType, setContentType)
    ZVT_PROPERTY(std::optional<std::string>, filename, setFilename)
    ZVT_PROPERTY(std::optional<ZVTBytes>, data, setData)
    ZVT_PROPERTY(std::optional<std::string>, attachmentId, setAttachmentId)
    ZVT_PROPERTY(std::optional<std::string>, errorId, setErrorId)

  public:
    // Type "errorAttachment" and a fresh attachment id.
    ZVTErrorAttachmentLog();
    ZVTErrorAttachmentLog(std::optional<std::string> filename, std::optional<ZVTBytes> data,
                          std::optional<std::string> contentType);
    // UTF-8 bytes of the text (none for no text), content type "text/plain".
    ZVTErrorAttachmentLog(std::optional<std::string> filename,
                          const std::optional<std::string>& text);

    static std::shared_ptr<ZVTErrorAttachmentLog> attachmentWithText(
        const std::optional<std::string>& text, const std::optional<std::string>& filename);
    static std::shared_ptr<ZVTErrorAttachmentLog> attachmentWithBinary(
        const std::optional<ZVTBytes>& data, const std::optional<std::string>& filename,
        const std::optional<std::string>& contentType);

    std::string className() const override { return "ZVTErrorAttachmentLog"; }
    void encodeWithCoder(ZVTCoder& coder) const override;
    void initWithCoder(const ZVTDecoder& decoder) override;
    ZVTJson serializeToDictionary() const override;
    bool isValid() const override;
    bool isEqual(const ZVTSerializableObject& other) const override;
};
