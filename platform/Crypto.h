#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace platform::crypto {

using Sha256Digest = std::array<uint8_t, 32>;

Sha256Digest sha256(std::string_view bytes);
std::string sha256Hex(std::string_view bytes);
// Cryptographically strong random bytes (OpenSSL RAND_bytes); aborts if the generator fails.
std::vector<uint8_t> randomBytes(size_t count);
std::string toHex(const uint8_t* data, size_t size);

std::string base64Encode(std::string_view bytes);
// nullopt-like: returns false when the text is not valid base64.
bool base64Decode(std::string_view text, std::string& out);

}  // namespace platform::crypto
