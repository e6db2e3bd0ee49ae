// Parses arbitrary bytes as a mount table and checks what every kept line must satisfy.
#include "transfer/core/MVRemovableVolumes.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);
    for (const auto& entry : MVRemovableVolumes::parseMountInfo(text)) {
        // Decoding never lengthens a field.
        if (entry.source.size() > size || entry.mountPoint.size() > size) std::abort();
        std::string disk = MVRemovableVolumes::diskOfDevice(entry.source);
        if (disk.find('/') != std::string::npos) std::abort();
    }
    MVRemovableVolumes::decodeOctalEscapes(text);
    return 0;
}
