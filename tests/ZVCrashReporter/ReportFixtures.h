#pragma once

#include "ZVCrashReporter/Source/async/ReportRecords.h"

#include "zvcrash.pb-c.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace zvcrash_fixtures {

// Runs the crash-time writer into a memory file and returns the bytes (cap 0 = none).
std::vector<uint8_t> encodeReport(const zvcrash_report_record& record, size_t cap = 0);
// Encodes through one writer function into a memory file: returns the bytes.
template <typename Write>
std::vector<uint8_t> capture(Write&& write);

// A report as the writer would be fed at crash time, owning all its storage.
class FixtureReport {
  public:
    // minimal: header, signal, one crashed thread without frames, no images.
    // full: exception, three threads (the second crashed, 21 registers), images with 20-byte
    // build ids, custom data, LINUX on x86-64.
    static FixtureReport minimal();
    static FixtureReport full();

    zvcrash_header_record header{};
    zvcrash_report_record record() const;

    zvcrash_signal_record signal{11, 1, 0x10};
    bool hasException = false;
    std::string exceptionName, exceptionReason;
    std::vector<zvcrash_frame_record> exceptionFrames;
    std::vector<std::vector<zvcrash_frame_record>> frames;  // per thread
    std::vector<zvcrash_register_record> registers;
    std::vector<zvcrash_thread_record> threads;
    std::vector<std::vector<uint8_t>> buildIds;
    std::vector<zvcrash_image_record> images;
    std::string customData;

  private:
    mutable zvcrash_exception_record exception_{};
    void link() const;
};

// Report messages assembled with protobuf-c, for decoder cases the writer never produces.
class MessageBuilder {
  public:
    MessageBuilder();
    MessageBuilder(const MessageBuilder&) = delete;
    MessageBuilder& operator=(const MessageBuilder&) = delete;

    // Header plus the packed message.
    std::vector<uint8_t> bytes() const;

    template <typename T>
    T* make(const T& init) {
        auto p = std::make_shared<T>(init);
        keep_.push_back(p);
        return p.get();
    }
    template <typename T>
    T** array(std::vector<T*> items) {
        auto p = std::make_shared<std::vector<T*>>(std::move(items));
        keep_.push_back(p);
        return p->data();
    }
    void addThread(uint32_t number, bool crashed, std::vector<uint64_t> pcs);
    void addImage(uint64_t base, uint64_t size, const char* name);

    Zvcrash__CrashReport report = ZVCRASH__CRASH_REPORT__INIT;
    Zvcrash__CrashReport__SystemInfo system = ZVCRASH__CRASH_REPORT__SYSTEM_INFO__INIT;
    Zvcrash__CrashReport__ApplicationInfo app = ZVCRASH__CRASH_REPORT__APPLICATION_INFO__INIT;
    Zvcrash__CrashReport__Signal signal = ZVCRASH__CRASH_REPORT__SIGNAL__INIT;

  private:
    std::vector<std::shared_ptr<void>> keep_;
    std::vector<Zvcrash__CrashReport__Thread*> threads_;
    std::vector<Zvcrash__CrashReport__BinaryImage*> images_;
};

}  // namespace zvcrash_fixtures

#include "ZVCrashReporter/Source/async/CrashOutputFile.h"

#include <sys/mman.h>
#include <unistd.h>

namespace zvcrash_fixtures {

std::vector<uint8_t> readMemoryFile(int fd);

template <typename Write>
std::vector<uint8_t> capture(Write&& write) {
    const int fd = memfd_create("zvcrash-test", 0);
    crash_output_file out;
    crash_output_file_init(&out, fd, 0);
    write(&out);
    crash_output_file_flush(&out);
    std::vector<uint8_t> bytes = readMemoryFile(fd);
    close(fd);
    return bytes;
}

}  // namespace zvcrash_fixtures
