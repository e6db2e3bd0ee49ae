#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

// Facts about the host, read at enable time (never at crash time): the kernel version.
struct ZVCrashHostInfoVersion {
    uint64_t major = 0;
    uint64_t minor = 0;
    uint64_t revision = 0;
};

class ZVCrashHostInfo {
  public:
    // Null when the kernel release cannot be read.
    static std::shared_ptr<ZVCrashHostInfo> currentHostInfo();
    // Scans "major.minor.revision" from a release text such as "6.1.0-17-amd64", storing each
    // number as soon as it is scanned; logs the text when it does not have that form.
    explicit ZVCrashHostInfo(const std::string& release);
    const ZVCrashHostInfoVersion& kernelVersion() const { return version_; }

  private:
    ZVCrashHostInfoVersion version_;
};

// Bytes of the longest valid UTF-8 prefix (a leading byte-order mark counts); a NUL ends it.
size_t utf8_valid_prefix_length(const uint8_t* bytes, size_t length);
