#include "ZevOzozid/ZevOzozid/Internals/Model/ZVTLogContainer.h"

#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTLogger.h"
#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTUtility.h"

std::optional<std::string> ZVTLogContainer::serializeLogWithPrettyPrinting(bool prettyPrint) const {
    ZVTJson list = ZVTJson::array();
    for (const auto& log : logs_) {
        if (!log) continue;
        ZVTJson dict = log->serializeToDictionary();
        if (!dict.is_null()) list.push_back(std::move(dict));
    }
    ZVTJson body = ZVTJson::object();
    body["logs"] = std::move(list);
    try {
        return ZVTUtility::jsonText(body, prettyPrint);
    } catch (const std::exception& e) {
        ZVTLogError(kZVTLogTag, "Couldn't serialize log container to json: ", e.what());
        return std::nullopt;
    }
}

bool ZVTLogContainer::isValid() const {
    if (logs_.empty()) {
        ZVTLogVerbose(kZVTLogTag, "ZVTLogContainer: there are no logs in container.");
        return false;
    }
    for (const auto& log : logs_) {
        if (!log || !log->isValid()) return false;
    }
    return true;
}
