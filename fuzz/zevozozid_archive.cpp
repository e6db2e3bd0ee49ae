// Fuzz target: arbitrary bytes through the SDK's archive decoder (as one object and as a list),
// and through the JSON pretty printer and the date parser. Whatever decodes must encode again
// and decode to an equal object with the same bytes.
#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTKeyedArchiver.h"
#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTLogger.h"
#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTUtility.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

// NaN never equals itself, so objects holding one are compared by their bytes only.
bool holdsNaN(const ZVTJson& value) {
    if (value.is_number_float()) return std::isnan(value.get<double>());
    if (value.is_structured()) {
        for (const auto& item : value) {
            if (holdsNaN(item)) return true;
        }
    }
    return false;
}

void checkObject(const ZVTSerializableObject& object) {
    auto again = ZVTUtility::archiveKeyedData(&object);
    if (!again) std::abort();
    auto back = ZVTUtility::unarchiveKeyedData(&*again);
    if (!back) std::abort();
    if (!holdsNaN(ZVTCoder::mapOf(object)) && (!back->isEqual(object) || !object.isEqual(*back))) {
        std::abort();
    }
    if (ZVTUtility::archiveKeyedData(back.get()) != again) std::abort();
    (void)object.serializeToDictionary();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool quiet = [] {
        ZVTLogger::setLogHandler({});
        return true;
    }();
    (void)quiet;
    const ZVTBytes bytes(data, data + size);
    if (auto object = ZVTUtility::unarchiveKeyedData(&bytes)) checkObject(*object);
    if (auto list = ZVTUtility::unarchiveKeyedList(&bytes)) {
        for (const auto& item : *list) checkObject(*item);
    }
    const std::string text(reinterpret_cast<const char*>(data), size);
    (void)ZVTUtility::prettyPrintJson(text);
    if (auto date = ZVTUtility::dateFromISO8601(text)) {
        if (ZVTUtility::dateToISO8601(*date) != text) std::abort();
    }
    return 0;
}
