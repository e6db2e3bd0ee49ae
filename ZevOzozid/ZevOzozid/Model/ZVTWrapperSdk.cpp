#include "ZevOzozid/ZevOzozid/Model/ZVTWrapperSdk.h"

#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTKeyedArchiver.h"

ZVTWrapperSdk::ZVTWrapperSdk(ZVTOptionalString wrapperSdkVersion, ZVTOptionalString wrapperSdkName,
                             ZVTOptionalString wrapperRuntimeVersion,
                             ZVTOptionalString liveUpdateReleaseLabel,
                             ZVTOptionalString liveUpdateDeploymentKey,
                             ZVTOptionalString liveUpdatePackageHash)
    : wrapperSdkVersion_(std::move(wrapperSdkVersion)),
      wrapperSdkName_(std::move(wrapperSdkName)),
      wrapperRuntimeVersion_(std::move(wrapperRuntimeVersion)),
      liveUpdateReleaseLabel_(std::move(liveUpdateReleaseLabel)),
      liveUpdateDeploymentKey_(std::move(liveUpdateDeploymentKey)),
      liveUpdatePackageHash_(std::move(liveUpdatePackageHash)) {}

const std::pair<const char*, ZVTWrapperSdk::Field>* ZVTWrapperSdk::fields(size_t& count) {
    static const std::pair<const char*, Field> table[] = {
        {"wrapperSdkVersion", &ZVTWrapperSdk::wrapperSdkVersion_},
        {"wrapperSdkName", &ZVTWrapperSdk::wrapperSdkName_},
        {"wrapperRuntimeVersion", &ZVTWrapperSdk::wrapperRuntimeVersion_},
        {"liveUpdateReleaseLabel", &ZVTWrapperSdk::liveUpdateReleaseLabel_},
        {"liveUpdateDeploymentKey", &ZVTWrapperSdk::liveUpdateDeploymentKey_},
        {"liveUpdatePackageHash", &ZVTWrapperSdk::liveUpdatePackageHash_},
    };
    count = std::size(table);
    return table;
}

void ZVTWrapperSdk::encodeWithCoder(ZVTCoder& coder) const {
    size_t n = 0;
    const auto* table = fields(n);
    for (size_t i = 0; i < n; ++i) coder.encodeString(table[i].first, this->*table[i].second);
}

void ZVTWrapperSdk::initWithCoder(const ZVTDecoder& decoder) {
    size_t n = 0;
    const auto* table = fields(n);
    for (size_t i = 0; i < n; ++i) this->*table[i].second = decoder.decodeString(table[i].first);
}

ZVTJson ZVTWrapperSdk::serializeToDictionary() const {
    ZVTJson dict = ZVTJson::object();
    size_t n = 0;
    const auto* table = fields(n);
    for (size_t i = 0; i < n; ++i) {
        if (const auto& v = this->*table[i].second) dict[table[i].first] = *v;
    }
    return dict;
}

bool ZVTWrapperSdk::isEqual(const ZVTSerializableObject& other) const {
    const auto* o = dynamic_cast<const ZVTWrapperSdk*>(&other);
    if (!o) return false;
    size_t n = 0;
    const auto* table = fields(n);
    for (size_t i = 0; i < n; ++i) {
        if (this->*table[i].second != o->*table[i].second) return false;
    }
    return true;
}
