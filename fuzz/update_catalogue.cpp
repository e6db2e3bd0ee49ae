// Runs the update catalogue reader on arbitrary bytes, as if the update host had sent them, and
// takes the fields through the same steps the update check does (address building, version
// comparison); also reads the bytes as a circuit database's version.
#include "transfer/core/MVUpdateText.h"

#include "session/MVCircuitDatabase.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    if (const auto catalogue = MVUpdateText::parseCatalogue(text)) {
        const std::string address = MVUpdateText::percentEncode(catalogue->downloadUrl);
        (void)MVUpdateText::isPermittedURL(address, true, false);
        (void)MVCircuitDatabase::compareVersions(catalogue->latestVersion, "1.10");
        (void)MVCircuitDatabase::compareVersions("1.10", catalogue->latestVersion);
    }
    (void)MVCircuitDatabase::databaseVersion(text);
    (void)MVUpdateText::trimmed(text);
    return 0;
}
