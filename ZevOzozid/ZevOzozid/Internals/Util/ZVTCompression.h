#pragma once

#include <cstdint>
#include <optional>
#include <vector>

// Gzip for request bodies. Stateless; safe from any thread.
class ZVTCompression {
  public:
    // The gzip stream of the bytes, or nullopt for empty input or when it does not fit the fixed
    // output room of size * 1.01 + 12 bytes (one error line).
    static std::optional<std::vector<uint8_t>> compressData(const std::vector<uint8_t>& data);
};
