#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTUtility.h"

#include <cstring>

namespace {

// The SDK identity record, kept in a section of its own so tools can read it from the binary.
struct ZVTSdkIdentityRecord {
    unsigned char version;
    char name[32];
    char sdkVersion[32];
    char reserved[32];
};
static_assert(sizeof(ZVTSdkIdentityRecord) == 97, "the identity record is 97 bytes");

__attribute__((section("zvt_sdk_identity"), used))
const ZVTSdkIdentityRecord kZVTSdkIdentity = {1, "zevozozid.macos", "1.0.0", "1"};

std::string field(const char* text) {
    return std::string(text, strnlen(text, 32));
}

}  // namespace

namespace ZVTUtility {
std::string sdkName() {
    return field(kZVTSdkIdentity.name);
}
std::string sdkVersion() {
    return field(kZVTSdkIdentity.sdkVersion);
}
}  // namespace ZVTUtility
