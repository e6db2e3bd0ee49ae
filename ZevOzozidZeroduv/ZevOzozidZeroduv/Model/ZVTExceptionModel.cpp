#include "ZevOzozidZeroduv/ZevOzozidZeroduv/Model/ZVTExceptionModel.h"

#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTKeyedArchiver.h"

#include <cstdlib>
#include <filesystem>
#include <regex>
#include <typeinfo>

#include <cxxabi.h>
#include <execinfo.h>

namespace {

std::string demangle(const std::string& name) {
    int status = 0;
    char* text = abi::__cxa_demangle(name.c_str(), nullptr, nullptr, &status);
    if (status != 0 || !text) return name;
    std::string out(text);
    std::free(text);
    return out;
}

// Position of the last "::" outside parentheses and angle brackets, or npos.
size_t lastScopeSeparator(const std::string& name) {
    size_t found = std::string::npos;
    int depth = 0;
    for (size_t i = 0; i + 1 < name.size(); ++i) {
        const char c = name[i];
        if (c == '(' || c == '<')
            ++depth;
        else if ((c == ')' || c == '>') && depth > 0)
            --depth;
        else if (depth == 0 && c == ':' && name[i + 1] == ':')
            found = i++;
    }
    return found;
}

// "path(function+0x1a) [0x...]", "path(+0x1a) [0x...]" or "path() [0x...]".
std::shared_ptr<ZVTStackFrame> frameFromLibcLine(const std::string& line) {
    static const std::regex form(R"(^(.*)\(([^()]*)\) \[(0x[0-9a-fA-F]+)\]$)");
    std::smatch m;
    if (!std::regex_match(line, m, form)) return nullptr;
    auto frame = std::make_shared<ZVTStackFrame>();
    frame->setFileName(std::filesystem::path(m[1].str()).filename().string());
    frame->setAddress(m[3].str());
    std::string symbol = m[2].str();
    if (const size_t plus = symbol.rfind('+'); plus != std::string::npos) symbol.resize(plus);
    if (!symbol.empty()) {
        const std::string name = demangle(symbol);
        const size_t sep = lastScopeSeparator(name);
        if (sep == std::string::npos) {
            frame->setMethodName(name);
        } else {
            frame->setClassName(name.substr(0, sep));
            frame->setMethodName(name.substr(sep + 2));
        }
    }
    return frame;
}

std::shared_ptr<ZVTStackFrame> frameFromSymbolLine(const std::string& line) {
    std::vector<std::string> parts;
    std::string current;
    for (char c : line) {
        if (std::string_view(" -[]+?.,").find(c) != std::string_view::npos) {
            if (!current.empty()) parts.push_back(std::move(current));
            current.clear();
        } else {
            current.push_back(c);
        }
    }
    if (!current.empty()) parts.push_back(std::move(current));
    if (parts.size() < 6) return nullptr;
    auto frame = std::make_shared<ZVTStackFrame>();
    frame->setFileName(parts[1]);
    frame->setAddress(parts[2]);
    frame->setClassName(parts[3]);
    frame->setMethodName(parts[4]);
    return frame;
}

std::string describeMap(const std::map<std::string, std::string>& map) {
    std::string out = "{\n";
    for (const auto& [key, value] : map) out += "    " + key + " = " + value + ";\n";
    return out + "}";
}

}  // namespace

std::vector<std::string> ZVTExceptionModel::callStackSymbols() {
    void* addresses[128];
    const int count = backtrace(addresses, 128);
    std::vector<std::string> lines;
    char** symbols = backtrace_symbols(addresses, count);
    if (!symbols) return lines;
    for (int i = 0; i < count; ++i) lines.emplace_back(symbols[i]);
    std::free(symbols);
    return lines;
}

std::string ZVTExceptionModel::describeList(const std::vector<std::string>& lines) {
    std::string out = "(\n";
    for (size_t i = 0; i < lines.size(); ++i) {
        out += "    " + lines[i] + (i + 1 < lines.size() ? ",\n" : "\n");
    }
    return out + ")";
}

ZVTStackFrames ZVTExceptionModel::loadStackTrace(const std::vector<std::string>& symbols) {
    ZVTStackFrames frames;
    for (const auto& line : symbols) {
        auto frame = frameFromLibcLine(line);
        if (!frame) frame = frameFromSymbolLine(line);
        if (frame) frames.push_back(std::move(frame));
    }
    return frames;
}

void ZVTExceptionModel::fillFromSymbols(const std::vector<std::string>& symbols) {
    stackTrace_ = describeList(symbols);
    frames_ = loadStackTrace(symbols);
}

std::shared_ptr<ZVTExceptionModel> ZVTExceptionModel::initWithError(const ZVTPlatformError& error) {
    auto model = std::make_shared<ZVTExceptionModel>();
    model->type_ = error.domain;
    if (!error.userInfo.empty()) model->message_ = describeMap(error.userInfo);
    model->fillFromSymbols(callStackSymbols());
    return model;
}

std::shared_ptr<ZVTExceptionModel> ZVTExceptionModel::initWithException(
    const ZVTExceptionLike& exception) {
    auto model = std::make_shared<ZVTExceptionModel>();
    model->type_ = exception.name;
    model->message_ = exception.reason;
    if (exception.callStackSymbols) {
        model->fillFromSymbols(*exception.callStackSymbols);
    } else {
        model->frames_ = loadStackTrace(callStackSymbols());
    }
    return model;
}

std::shared_ptr<ZVTExceptionModel> ZVTExceptionModel::initWithException(
    const std::exception& exception) {
    return initWithException(
        ZVTExceptionLike{demangle(typeid(exception).name()), std::string(exception.what()), {}});
}

std::shared_ptr<ZVTExceptionModel> ZVTExceptionModel::initWithType(
    const std::optional<std::string>& type, const std::optional<std::string>& message,
    const std::optional<std::vector<std::string>>& stackTrace) {
    auto model = std::make_shared<ZVTExceptionModel>();
    model->type_ = type;
    model->message_ = message;
    model->fillFromSymbols(stackTrace ? *stackTrace : callStackSymbols());
    return model;
}

void ZVTExceptionModel::encodeWithCoder(ZVTCoder& coder) const {
    coder.encodeString("type", type_);
    coder.encodeString("message", message_);
    coder.encodeString("stackTrace", stackTrace_);
    coder.encodeObjects("frames", frames_);
}

void ZVTExceptionModel::initWithCoder(const ZVTDecoder& decoder) {
    type_ = decoder.decodeString("type");
    message_ = decoder.decodeString("message");
    stackTrace_ = decoder.decodeString("stackTrace");
    frames_ = decoder.decodeObjects<ZVTStackFrame>("frames");
}

ZVTJson ZVTExceptionModel::serializeToDictionary() const {
    ZVTJson dict = ZVTJson::object();
    if (type_) dict["type"] = *type_;
    if (message_) dict["message"] = *message_;
    if (stackTrace_) dict["stackTrace"] = *stackTrace_;
    if (frames_) {
        ZVTJson list = ZVTJson::array();
        for (const auto& frame : *frames_) list.push_back(frame->serializeToDictionary());
        dict["frames"] = std::move(list);
    }
    return dict;
}

bool ZVTExceptionModel::isEqual(const ZVTSerializableObject& other) const {
    const auto* o = dynamic_cast<const ZVTExceptionModel*>(&other);
    return o && type_ == o->type_ && message_ == o->message_ &&
           zvtObjectListsEqual(frames_, o->frames_) && stackTrace_ == o->stackTrace_;
}

bool ZVTExceptionModel::isValid() const {
    const char* missing = !type_ ? "type" : (!frames_ || frames_->empty()) ? "frames" : nullptr;
    if (missing) zvtReportInvalidField(className(), missing);
    return missing == nullptr;
}
