#include "ZevOzozidZeroduv/ZevOzozidZeroduv/Model/ZVTErrorReport.h"

#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTUtility.h"

#include <algorithm>
#include <cctype>

bool ZVTErrorReport::isAppKill() const {
    if (!f_.signal) return false;
    std::string upper = *f_.signal;
    std::transform(upper.begin(), upper.end(), upper.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return upper == "SIGKILL";
}

ZVTJson ZVTErrorReport::serializeToDictionary() const {
    ZVTJson dict = ZVTJson::object();
    const std::pair<const char*, const std::optional<std::string>*> texts[] = {
        {"incidentIdentifier", &f_.incidentIdentifier},
        {"reporterKey", &f_.reporterKey},
        {"signal", &f_.signal},
        {"exceptionName", &f_.exceptionName},
        {"exceptionReason", &f_.exceptionReason}};
    for (const auto& [key, value] : texts) {
        if (*value) dict[key] = **value;
    }
    if (f_.appStartTime) dict["appStartTime"] = ZVTUtility::dateToISO8601(*f_.appStartTime);
    if (f_.appErrorTime) dict["appErrorTime"] = ZVTUtility::dateToISO8601(*f_.appErrorTime);
    if (f_.codeType) dict["codeType"] = *f_.codeType;
    if (f_.archName) dict["archName"] = *f_.archName;
    if (f_.applicationPath) dict["applicationPath"] = *f_.applicationPath;
    if (f_.threads) {
        ZVTJson list = ZVTJson::array();
        for (const auto& t : *f_.threads) list.push_back(t->serializeToDictionary());
        dict["threads"] = std::move(list);
    }
    if (f_.binaries) {
        ZVTJson list = ZVTJson::array();
        for (const auto& b : *f_.binaries) list.push_back(b->serializeToDictionary());
        dict["binaries"] = std::move(list);
    }
    if (f_.device) dict["device"] = f_.device->serializeToDictionary();
    if (f_.appProcessIdentifier != 0) {
        dict["appProcessIdentifier"] = std::to_string(f_.appProcessIdentifier);
    }
    return dict;
}

std::string ZVTErrorReport::description() const {
    return serializeToDictionary().dump(4, ' ', false, ZVTJson::error_handler_t::replace);
}
