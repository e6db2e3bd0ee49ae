#pragma once

#include "ZevOzozidZeroduv/ZevOzozidZeroduv/Model/ZVTStackFrame.h"

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// A platform error as the host hands it over: a domain and its user information.
struct ZVTPlatformError {
    std::optional<std::string> domain;
    long code = 0;
    std::map<std::string, std::string> userInfo;
};

// An exception-like object: each part is optional, as on an object that may not answer it.
struct ZVTExceptionLike {
    std::optional<std::string> name;
    std::optional<std::string> reason;
    std::optional<std::vector<std::string>> callStackSymbols;
};

using ZVTStackFrames = std::vector<std::shared_ptr<ZVTStackFrame>>;

// One exception or error: type, message, the raw call-stack text and the parsed frames. Not
// locked: filled on one thread before it is put into a log.
class ZVTExceptionModel : public ZVTSerializableObject, public ZVTModel {
    ZVT_PROPERTY(ZVTOptionalText, type, setType)
    ZVT_PROPERTY(ZVTOptionalText, message, setMessage)
    ZVT_PROPERTY(ZVTOptionalText, stackTrace, setStackTrace)
    ZVT_PROPERTY(std::optional<ZVTStackFrames>, frames, setFrames)

  public:
    ZVTExceptionModel() = default;
    // type = domain, message = the text form of the user information (when not empty), the
    // current thread's call stack.
    static std::shared_ptr<ZVTExceptionModel> initWithError(const ZVTPlatformError& error);
    // Reads what the object answers; without call-stack symbols the frames come from the
    // current thread and stackTrace stays empty.
    static std::shared_ptr<ZVTExceptionModel> initWithException(const ZVTExceptionLike& exception);
    // A C++ exception: its demangled type name and what().
    static std::shared_ptr<ZVTExceptionModel> initWithException(const std::exception& exception);
    // No list: the current thread's call stack.
    static std::shared_ptr<ZVTExceptionModel> initWithType(
        const std::optional<std::string>& type, const std::optional<std::string>& message,
        const std::optional<std::vector<std::string>>& stackTrace);

    // One frame per line that parses. Lines of the form "path(function+0x1a) [0x...]" give the
    // image's file name, the address, the demangled function and the owner before its last
    // "::"; other lines are split at " -[]+?.," and need six parts (index, image, address,
    // class, method, offset).
    static ZVTStackFrames loadStackTrace(const std::vector<std::string>& symbols);
    // The current thread's call-stack symbol lines, innermost first.
    static std::vector<std::string> callStackSymbols();
    // "(\n    a,\n    b\n)": the text form of a list of lines.
    static std::string describeList(const std::vector<std::string>& lines);

    std::string className() const override { return "ZVTExceptionModel"; }
    void encodeWithCoder(ZVTCoder& coder) const override;
    void initWithCoder(const ZVTDecoder& decoder) override;
    ZVTJson serializeToDictionary() const override;
    bool isEqual(const ZVTSerializableObject& other) const override;
    bool isValid() const override;

  protected:
    void fillFromSymbols(const std::vector<std::string>& symbols);
};
