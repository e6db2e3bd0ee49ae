#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// A 128-bit UUID: random ones are version 4; text is the canonical 8-4-4-4-12 form in upper case.
class ZVTUUID {
  public:
    using Bytes = std::array<uint8_t, 16>;

    ZVTUUID() = default;  // all zero
    explicit ZVTUUID(const Bytes& bytes) : bytes_(bytes) {}

    static ZVTUUID random();
    // Strict: exactly 36 characters, hyphens at 8, 13, 18 and 23, hex digits elsewhere (either
    // case).
    static std::optional<ZVTUUID> fromString(std::string_view text);

    std::string UUIDString() const;
    const Bytes& bytes() const { return bytes_; }

    bool operator==(const ZVTUUID&) const = default;

  private:
    Bytes bytes_{};
};
