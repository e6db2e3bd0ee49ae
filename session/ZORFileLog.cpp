#include "session/ZORFileLog.h"

#include "platform/Folders.h"

#include <cerrno>
#include <cstdint>
#include <mutex>

#include <fcntl.h>
#include <unistd.h>

namespace {

const char* const kLogSwitchKey = "logUserDefaultString";

// One lock for every log object: they may share a file.
std::mutex& writeMutex() {
    static std::mutex* const mutex = new std::mutex;
    return *mutex;
}

// Length of the valid UTF-8 sequence at s[i], or 0 when there is none.
size_t validSequenceLength(const std::string& s, size_t i) {
    const auto byte = [&](size_t k) { return static_cast<uint8_t>(s[k]); };
    const uint8_t b0 = byte(i);
    if (b0 < 0x80) return 1;
    size_t length;
    uint32_t lowest;
    if (b0 >= 0xC2 && b0 <= 0xDF) {
        length = 2;
        lowest = 0x80;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
        length = 3;
        lowest = 0x800;
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
        length = 4;
        lowest = 0x10000;
    } else {
        return 0;
    }
    if (i + length > s.size()) return 0;
    uint32_t cp = b0 & (0x7F >> length);
    for (size_t k = 1; k < length; ++k) {
        if ((byte(i + k) & 0xC0) != 0x80) return 0;
        cp = (cp << 6) | (byte(i + k) & 0x3F);
    }
    if (cp < lowest || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
    return length;
}

// The message with every byte that does not start a valid UTF-8 sequence replaced by U+FFFD.
std::string validUtf8(const std::string& s) {
    std::string out;
    out.reserve(s.size());
    for (size_t i = 0; i < s.size();) {
        const size_t n = validSequenceLength(s, i);
        if (n == 0) {
            out += "\xEF\xBF\xBD";
            ++i;
        } else {
            out.append(s, i, n);
            i += n;
        }
    }
    return out;
}

// Appends the bytes with O_APPEND, creating the file when missing. The kernel places each write at
// the end of the file, so other processes appending to it do not overwrite our lines either.
void appendToFile(const std::filesystem::path& path, const std::string& bytes) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0) return;
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            break;
        }
        done += static_cast<size_t>(n);
    }
    ::close(fd);
}

}  // namespace

ZORFileLog::ZORFileLog(platform::UserDefaults& defaults, std::optional<std::filesystem::path> file)
    : defaults_(defaults), file_(std::move(file)) {}

ZORFileLog& ZORFileLog::shared() {
    static ZORFileLog* const log = new ZORFileLog();
    return *log;
}

void ZORFileLog::turnOn() {
    defaults_.setBool(kLogSwitchKey, true);
    defaults_.synchronize();
}

void ZORFileLog::turnOff() {
    defaults_.setBool(kLogSwitchKey, false);
    defaults_.synchronize();
}

bool ZORFileLog::isOn() const {
    return defaults_.boolForKey(kLogSwitchKey);
}

std::filesystem::path ZORFileLog::defaultLogFile() {
    return platform::folders::desktop() / "Gridlark Log.txt";
}

std::filesystem::path ZORFileLog::logFile() const {
    return file_ ? *file_ : defaultLogFile();
}

void ZORFileLog::write(const std::string& message) {
    if (!isOn()) return;
    const std::filesystem::path path = logFile();
    if (path.empty()) return;
    std::string line = validUtf8(message);
    line += '\n';
    std::lock_guard lock(writeMutex());
    appendToFile(path, line);
}
