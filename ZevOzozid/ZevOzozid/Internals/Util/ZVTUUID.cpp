#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTUUID.h"

#include "platform/Crypto.h"

ZVTUUID ZVTUUID::random() {
    auto raw = platform::crypto::randomBytes(16);
    Bytes b{};
    for (size_t i = 0; i < b.size(); ++i) b[i] = raw[i];
    b[6] = static_cast<uint8_t>((b[6] & 0x0F) | 0x40);
    b[8] = static_cast<uint8_t>((b[8] & 0x3F) | 0x80);
    return ZVTUUID(b);
}

namespace {
int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}
}  // namespace

std::optional<ZVTUUID> ZVTUUID::fromString(std::string_view text) {
    if (text.size() != 36) return std::nullopt;
    Bytes b{};
    size_t out = 0;
    for (size_t i = 0; i < text.size();) {
        if (i == 8 || i == 13 || i == 18 || i == 23) {
            if (text[i] != '-') return std::nullopt;
            ++i;
            continue;
        }
        int hi = hexValue(text[i]);
        int lo = i + 1 < text.size() ? hexValue(text[i + 1]) : -1;
        if (hi < 0 || lo < 0 || i + 1 == 8 || i + 1 == 13 || i + 1 == 18 || i + 1 == 23) {
            return std::nullopt;
        }
        b[out++] = static_cast<uint8_t>(hi * 16 + lo);
        i += 2;
    }
    return ZVTUUID(b);
}

std::string ZVTUUID::UUIDString() const {
    static const char* digits = "0123456789ABCDEF";
    std::string s;
    s.reserve(36);
    for (size_t i = 0; i < bytes_.size(); ++i) {
        if (i == 4 || i == 6 || i == 8 || i == 10) s.push_back('-');
        s.push_back(digits[bytes_[i] >> 4]);
        s.push_back(digits[bytes_[i] & 0x0F]);
    }
    return s;
}
