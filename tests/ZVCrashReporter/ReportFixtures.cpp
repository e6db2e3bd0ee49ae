#include "tests/ZVCrashReporter/ReportFixtures.h"

#include "ZVCrashReporter/Source/async/ReportWriter.h"

#include <cstring>
#include <stdexcept>

namespace zvcrash_fixtures {

std::vector<uint8_t> readMemoryFile(int fd) {
    std::vector<uint8_t> bytes(static_cast<size_t>(lseek(fd, 0, SEEK_END)));
    if (pread(fd, bytes.data(), bytes.size(), 0) != static_cast<ssize_t>(bytes.size())) {
        throw std::runtime_error("memory file read failed");
    }
    return bytes;
}

std::vector<uint8_t> encodeReport(const zvcrash_report_record& record, size_t cap) {
    const int fd = memfd_create("zvcrash-test", 0);
    crash_output_file out;
    crash_output_file_init(&out, fd, cap);
    zvcrash_writer_write_report(&out, &record);
    crash_output_file_flush(&out);
    std::vector<uint8_t> bytes = readMemoryFile(fd);
    close(fd);
    return bytes;
}

namespace {

zvcrash_header_record fixtureHeader() {
    zvcrash_header_record h{};
    h.user_requested = false;
    for (uint8_t i = 0; i < 16; ++i) h.uuid[i] = static_cast<uint8_t>(0xA0 + i);
    h.operating_system = ZVCRASH_OS_LINUX;
    h.os_version = "6.1.0";
    h.os_build = "#1 SMP PREEMPT_DYNAMIC Debian 6.1.76-1";
    h.architecture = ZVCRASH_ARCH_X86_64;
    h.timestamp = 1765333870;  // 2025-12-10T02:31:10Z
    h.machine_model = "x86_64";
    h.cpu_type = ZVCRASH_CPU_TYPE_X86_64;
    h.cpu_subtype = ZVCRASH_CPU_SUBTYPE_X86_64_ALL;
    h.physical_cpus = 4;
    h.logical_cpus = 8;
    h.app_identifier = "org.gridlark.Gridlark";
    h.app_version = "412";
    h.app_marketing_version = "0.1.0";
    h.process_name = "gridlark";
    h.process_id = 4242;
    h.process_path = "/usr/bin/gridlark";
    h.parent_process_name = "bash";
    h.parent_process_id = 4000;
    h.native = true;
    h.start_time = 1765333800;
    return h;
}

const char* const kRegisterNames[21] = {"rip", "rsp", "rbp", "rax",    "rbx",    "rcx", "rdx",
                                        "rsi", "rdi", "r8",  "r9",     "r10",    "r11", "r12",
                                        "r13", "r14", "r15", "rflags", "trapno", "err", "cr2"};

}  // namespace

void FixtureReport::link() const {
    auto& self = const_cast<FixtureReport&>(*this);
    for (size_t i = 0; i < threads.size(); ++i) {
        self.threads[i].frames = frames[i].data();
        self.threads[i].frame_count = frames[i].size();
        if (self.threads[i].crashed) {
            self.threads[i].registers = registers.data();
            self.threads[i].register_count = registers.size();
        }
    }
    for (size_t i = 0; i < images.size() && i < buildIds.size(); ++i) {
        self.images[i].uuid = buildIds[i].data();
        self.images[i].uuid_length = buildIds[i].size();
    }
    exception_ = zvcrash_exception_record{exceptionName.c_str(), exceptionReason.c_str(),
                                          exceptionFrames.data(), exceptionFrames.size()};
}

zvcrash_report_record FixtureReport::record() const {
    link();
    zvcrash_report_record r{};
    r.header = &header;
    r.signal = signal;
    r.exception = hasException ? &exception_ : nullptr;
    r.threads = threads.data();
    r.thread_count = threads.size();
    r.images = images.data();
    r.image_count = images.size();
    r.custom_data = customData.data();
    r.custom_data_length = customData.size();
    return r;
}

FixtureReport FixtureReport::minimal() {
    FixtureReport f;
    f.header = fixtureHeader();
    f.header.machine_model = nullptr;
    f.header.app_marketing_version = nullptr;
    f.frames.resize(1);
    f.threads.push_back(zvcrash_thread_record{0, true, nullptr, 0, nullptr, 0});
    return f;
}

FixtureReport FixtureReport::full() {
    FixtureReport f;
    f.header = fixtureHeader();
    f.signal = zvcrash_signal_record{6, -6, 0};
    f.hasException = true;
    f.exceptionName = "std::runtime_error";
    f.exceptionReason = "lap table out of range";
    f.exceptionFrames = {{0x555555555100, "_Z9throwItv", 0x5555555550f0},
                         {0x7ffff7a00040, "abort", 0x7ffff7a00000}};
    for (uint64_t i = 0; i < 21; ++i) f.registers.push_back({kRegisterNames[i], 0x1000 + i});
    f.frames = {
        {{0x555555555040, "worker", 0x555555555000}},
        {{0x7ffff7a00040, "abort", 0x7ffff7a00000},
         {0x555555555123, "_ZN3lap4loadEv", 0x555555555100},
         {0x555555555210, nullptr, 0},
         {0x00000000dead, nullptr, 0}},
        {},
    };
    f.threads = {{0, false, nullptr, 0, nullptr, 0},
                 {1, true, nullptr, 0, nullptr, 0},
                 {2, false, nullptr, 0, nullptr, 0}};
    f.buildIds = {std::vector<uint8_t>(20), std::vector<uint8_t>(20)};
    for (uint8_t i = 0; i < 20; ++i) {
        f.buildIds[0][i] = i;
        f.buildIds[1][i] = static_cast<uint8_t>(0xF0 - i);
    }
    f.images = {{0x555555554000, 0x3000, "/usr/bin/gridlark", nullptr, 0, true,
                 ZVCRASH_CPU_TYPE_X86_64, ZVCRASH_CPU_SUBTYPE_X86_64_ALL},
                {0x7ffff7a00000, 0x1c0000, "/lib/x86_64-linux-gnu/libc.so.6", nullptr, 0, true,
                 ZVCRASH_CPU_TYPE_X86_64, ZVCRASH_CPU_SUBTYPE_X86_64_ALL}};
    f.customData = std::string("session=track-day\0tail", 22);
    return f;
}

MessageBuilder::MessageBuilder() {
    system.has_operating_system = 1;
    system.operating_system = ZVCRASH__CRASH_REPORT__SYSTEM_INFO__OPERATING_SYSTEM__LINUX;
    system.os_version = const_cast<char*>("6.1.0");
    system.architecture = ZVCRASH__ARCHITECTURE__X86_64;
    system.timestamp = 1765333870;
    app.identifier = const_cast<char*>("org.gridlark.Gridlark");
    app.version = const_cast<char*>("412");
    signal.name = const_cast<char*>("SIGSEGV");
    signal.code = const_cast<char*>("SEGV_MAPERR");
    signal.address = 0x10;
    report.system_info = &system;
    report.application_info = &app;
    report.signal = &signal;
}

void MessageBuilder::addThread(uint32_t number, bool crashed, std::vector<uint64_t> pcs) {
    std::vector<Zvcrash__CrashReport__Thread__StackFrame*> frames;
    for (uint64_t pc : pcs) {
        Zvcrash__CrashReport__Thread__StackFrame frame =
            ZVCRASH__CRASH_REPORT__THREAD__STACK_FRAME__INIT;
        frame.pc = pc;
        frames.push_back(make(frame));
    }
    Zvcrash__CrashReport__Thread thread = ZVCRASH__CRASH_REPORT__THREAD__INIT;
    thread.thread_number = number;
    thread.crashed = crashed;
    thread.n_frames = frames.size();
    thread.frames = array(std::move(frames));
    threads_.push_back(make(thread));
    report.n_threads = threads_.size();
    report.threads = threads_.data();
}

void MessageBuilder::addImage(uint64_t base, uint64_t size, const char* name) {
    Zvcrash__CrashReport__BinaryImage image = ZVCRASH__CRASH_REPORT__BINARY_IMAGE__INIT;
    image.base_address = base;
    image.size = size;
    image.name = const_cast<char*>(name);
    images_.push_back(make(image));
    report.n_binary_images = images_.size();
    report.binary_images = images_.data();
}

std::vector<uint8_t> MessageBuilder::bytes() const {
    std::vector<uint8_t> out = {'z', 'v', 'c', 'r', 'a', 's', 'h', 1};
    const size_t size = zvcrash__crash_report__get_packed_size(&report);
    out.resize(8 + size);
    zvcrash__crash_report__pack(&report, out.data() + 8);
    return out;
}

}  // namespace zvcrash_fixtures
