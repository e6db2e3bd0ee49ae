#include "session/MVGLDFileBlocks.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string describeErrno(int error) {
    char buffer[256];
    // The GNU strerror_r returns the text (possibly not in buffer).
    return std::string(strerror_r(error, buffer, sizeof buffer));
}

std::string unreadable(const std::string& why) {
    return "The session file cannot be read: " + why + ".";
}

}  // namespace

std::size_t MVGLDText7Bit::firstNonASCII(const char* text, std::size_t size) {
    constexpr std::uint64_t kHighBits = 0x8080808080808080ull;
    std::size_t at = 0;
    for (; at + 8 <= size; at += 8) {
        std::uint64_t word;
        std::memcpy(&word, text + at, sizeof word);
        if (word & kHighBits) break;
    }
    for (; at < size; ++at) {
        if (static_cast<unsigned char>(text[at]) > 127) return at;
    }
    return size;
}

std::string MVGLDText7Bit::message(unsigned char byte, std::size_t offset) {
    char detail[96];
    std::snprintf(detail, sizeof detail, " (byte 0x%02X at offset %zu).",
                  static_cast<unsigned>(byte), offset);
    return std::string("The session file is not plain ASCII text") + detail;
}

MVGLDFileBlocks::MVGLDFileBlocks(const std::filesystem::path& path) {
    fd_ = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd_ < 0) {
        error_ = unreadable(describeErrno(errno));
        return;
    }
    struct stat info {};
    if (fstat(fd_, &info) == 0 && S_ISREG(info.st_mode)) {
        regular_ = true;
        size_ = static_cast<std::size_t>(info.st_size);
    }
}

MVGLDFileBlocks::~MVGLDFileBlocks() {
    if (fd_ >= 0) close(fd_);
}

std::size_t MVGLDFileBlocks::readInto(std::string& text, std::size_t most) {
    if (fd_ < 0 || !error_.empty()) return 0;
    if (regular_) most = std::min(most, size_ - total_);
    if (most == 0) return 0;
    const std::size_t before = text.size();
    text.resize(before + most);
    ssize_t got = 0;
    do {
        got = read(fd_, text.data() + before, most);
    } while (got < 0 && errno == EINTR);
    if (got < 0) {
        text.resize(before);
        error_ = unreadable(describeErrno(errno));
        return 0;
    }
    const auto count = static_cast<std::size_t>(got);
    text.resize(before + count);
    if (count == 0 && regular_) {
        error_ = unreadable("it became shorter while it was read");
        return 0;
    }
    const std::size_t bad = MVGLDText7Bit::firstNonASCII(text.data() + before, count);
    if (bad < count) {
        notASCII_ = true;
        error_ =
            MVGLDText7Bit::message(static_cast<unsigned char>(text[before + bad]), total_ + bad);
        text.resize(before);
        return 0;
    }
    total_ += count;
    return count;
}
