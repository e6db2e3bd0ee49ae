#include "ZevOzozid/ZevOzozid/Model/ZVTDevice.h"

#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTKeyedArchiver.h"
#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTUtility.h"

const ZVTDevice::Field* ZVTDevice::fields(size_t& count) {
    static const Field table[] = {
        {"sdkName", &ZVTDevice::sdkName_, nullptr},
        {"sdkVersion", &ZVTDevice::sdkVersion_, nullptr},
        {"model", &ZVTDevice::model_, nullptr},
        {"oemName", &ZVTDevice::oemName_, nullptr},
        {"osName", &ZVTDevice::osName_, nullptr},
        {"osVersion", &ZVTDevice::osVersion_, nullptr},
        {"osBuild", &ZVTDevice::osBuild_, nullptr},
        {"osApiLevel", nullptr, &ZVTDevice::osApiLevel_},
        {"locale", &ZVTDevice::locale_, nullptr},
        {"timeZoneOffset", nullptr, &ZVTDevice::timeZoneOffset_},
        {"screenSize", &ZVTDevice::screenSize_, nullptr},
        {"appVersion", &ZVTDevice::appVersion_, nullptr},
        {"carrierName", &ZVTDevice::carrierName_, nullptr},
        {"carrierCountry", &ZVTDevice::carrierCountry_, nullptr},
        {"appBuild", &ZVTDevice::appBuild_, nullptr},
        {"appNamespace", &ZVTDevice::appNamespace_, nullptr},
    };
    count = std::size(table);
    return table;
}

void ZVTDevice::encodeWithCoder(ZVTCoder& coder) const {
    ZVTWrapperSdk::encodeWithCoder(coder);
    size_t n = 0;
    const Field* table = fields(n);
    for (size_t i = 0; i < n; ++i) {
        if (table[i].text)
            coder.encodeString(table[i].key, this->*table[i].text);
        else
            coder.encodeNumber(table[i].key, this->*table[i].number);
    }
}

void ZVTDevice::initWithCoder(const ZVTDecoder& decoder) {
    ZVTWrapperSdk::initWithCoder(decoder);
    size_t n = 0;
    const Field* table = fields(n);
    for (size_t i = 0; i < n; ++i) {
        if (table[i].text)
            this->*table[i].text = decoder.decodeString(table[i].key);
        else
            this->*table[i].number = decoder.decodeNumber(table[i].key);
    }
}

ZVTJson ZVTDevice::serializeToDictionary() const {
    ZVTJson dict = ZVTWrapperSdk::serializeToDictionary();
    size_t n = 0;
    const Field* table = fields(n);
    for (size_t i = 0; i < n; ++i) {
        if (table[i].text) {
            if (const auto& v = this->*table[i].text) dict[table[i].key] = *v;
        } else if (const auto& v = this->*table[i].number) {
            dict[table[i].key] = *v;
        }
    }
    return dict;
}

bool ZVTDevice::isEqual(const ZVTSerializableObject& other) const {
    const auto* o = dynamic_cast<const ZVTDevice*>(&other);
    if (!o || !ZVTWrapperSdk::isEqual(other)) return false;
    size_t n = 0;
    const Field* table = fields(n);
    for (size_t i = 0; i < n; ++i) {
        bool same = table[i].text ? this->*table[i].text == o->*table[i].text
                                  : this->*table[i].number == o->*table[i].number;
        if (!same) return false;
    }
    return true;
}

bool ZVTDevice::isValid() const {
    if (!ZVTWrapperSdk::isValid()) return false;
    const std::pair<const char*, bool> required[] = {
        {"sdkName", sdkName_.has_value()},       {"sdkVersion", sdkVersion_.has_value()},
        {"osName", osName_.has_value()},         {"osVersion", osVersion_.has_value()},
        {"locale", locale_.has_value()},         {"timeZoneOffset", timeZoneOffset_.has_value()},
        {"appVersion", appVersion_.has_value()}, {"appBuild", appBuild_.has_value()},
    };
    for (const auto& [key, present] : required) {
        if (!present) {
            zvtReportInvalidField(className(), key);
            return false;
        }
    }
    return true;
}

std::string ZVTDevice::description() const {
    return ZVTUtility::jsonText(serializeToDictionary(), true);
}
