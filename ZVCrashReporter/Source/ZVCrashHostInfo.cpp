#include "ZVCrashReporter/Source/ZVCrashHostInfo.h"

#include <cerrno>
#include <cstring>

#include <sys/utsname.h>
#include <syslog.h>

namespace {

// Reads a decimal number at pos; false when there is none.
bool scanNumber(const std::string& text, size_t& pos, uint64_t& out) {
    if (pos >= text.size() || text[pos] < '0' || text[pos] > '9') return false;
    uint64_t value = 0;
    while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9') {
        value = value * 10 + static_cast<uint64_t>(text[pos++] - '0');
    }
    out = value;
    return true;
}

}  // namespace

std::shared_ptr<ZVCrashHostInfo> ZVCrashHostInfo::currentHostInfo() {
    struct utsname name {};
    if (uname(&name) != 0) {
        syslog(LOG_WARNING, "[ZVCrashReporter] Failed to fetch kernel release value %d: %s", errno,
               strerror(errno));
        return nullptr;
    }
    return std::make_shared<ZVCrashHostInfo>(name.release);
}

ZVCrashHostInfo::ZVCrashHostInfo(const std::string& release) {
    size_t pos = 0;
    const bool ok = scanNumber(release, pos, version_.major) && pos < release.size() &&
                    release[pos++] == '.' && scanNumber(release, pos, version_.minor) &&
                    pos < release.size() && release[pos++] == '.' &&
                    scanNumber(release, pos, version_.revision);
    if (!ok) {
        syslog(LOG_WARNING, "[ZVCrashReporter] Unexpected kernel release string format: %s",
               release.c_str());
    }
}

size_t utf8_valid_prefix_length(const uint8_t* bytes, size_t length) {
    size_t i = 0;
    if (length > 2 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF) i = 3;
    while (i < length) {
        const uint8_t lead = bytes[i];
        if (lead == 0) break;
        size_t follow = 0;
        if (lead < 0x80) {
            follow = 0;
        } else if (lead >= 0xC0 && lead <= 0xDF) {
            follow = 1;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            follow = 2;
        } else if (lead >= 0xF0 && lead <= 0xF7) {
            follow = 3;
        } else {
            break;
        }
        if (follow > length - i - 1) break;
        bool valid = true;
        for (size_t k = 1; k <= follow; ++k) valid = valid && (bytes[i + k] & 0xC0) == 0x80;
        if (!valid) break;
        i += follow + 1;
    }
    return i;
}
