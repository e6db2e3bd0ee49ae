#include "ZVCrashReporter/Source/async/ReportWriter.h"

#include "tests/ZVCrashReporter/ReportFixtures.h"

#include "ZVCrashReporter/Source/ZVCrashReport.h"
#include "ZVCrashReporter/Source/async/SignalNames.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>

namespace {

using zvcrash_fixtures::encodeReport;
using zvcrash_fixtures::FixtureReport;
using Bytes = std::vector<uint8_t>;

struct Unpacked {
    explicit Unpacked(const Bytes& bytes)
        : message(zvcrash__crash_report__unpack(nullptr, bytes.size() - 8, bytes.data() + 8)) {}
    ~Unpacked() {
        if (message) zvcrash__crash_report__free_unpacked(message, nullptr);
    }
    Zvcrash__CrashReport* operator->() const { return message; }
    Zvcrash__CrashReport* message;
};

TEST(ReportWriterTest, FileStartsWithHeaderAndReportInfo) {
    const Bytes bytes = encodeReport(FixtureReport::minimal().record());
    const Bytes start = {0x7A, 0x76, 0x63, 0x72, 0x61, 0x73, 0x68, 0x01, 0x4A, 0x14};
    ASSERT_GE(bytes.size(), start.size());
    EXPECT_EQ(Bytes(bytes.begin(), bytes.begin() + 10), start);
}

TEST(ReportWriterTest, MinimalReportUnpacksToTheValuesWritten) {
    const FixtureReport f = FixtureReport::minimal();
    const Unpacked m(encodeReport(f.record()));
    ASSERT_NE(m.message, nullptr);
    EXPECT_EQ(m->system_info->operating_system, 5);
    EXPECT_EQ(m->system_info->architecture, ZVCRASH__ARCHITECTURE__X86_64);
    EXPECT_STREQ(m->system_info->os_version, "6.1.0");
    EXPECT_EQ(m->system_info->timestamp, 1765333870);
    EXPECT_EQ(m->machine_info->model, nullptr);
    EXPECT_EQ(m->application_info->marketing_version, nullptr);
    EXPECT_STREQ(m->process_info->process_path, "/usr/bin/gridlark");
    EXPECT_STREQ(m->signal->name, "SIGSEGV");
    EXPECT_STREQ(m->signal->code, "SEGV_MAPERR");
    EXPECT_EQ(m->n_threads, 1u);
    EXPECT_EQ(m->threads[0]->n_frames, 0u);
    EXPECT_EQ(m->n_binary_images, 0u);
    EXPECT_EQ(m->exception, nullptr);
    EXPECT_FALSE(m->has_custom_data);
    EXPECT_EQ(m->report_info->uuid.len, 16u);
}

TEST(ReportWriterTest, FullReportUnpacksToTheValuesWritten) {
    const FixtureReport f = FixtureReport::full();
    const Unpacked m(encodeReport(f.record()));
    ASSERT_NE(m.message, nullptr);
    EXPECT_STREQ(m->machine_info->model, "x86_64");
    EXPECT_EQ(m->machine_info->processor->type, 0x01000007u);
    EXPECT_EQ(m->machine_info->processor->subtype, 3u);
    EXPECT_EQ(m->machine_info->logical_processor_count, 8u);
    EXPECT_STREQ(m->application_info->marketing_version, "0.1.0");
    EXPECT_EQ(m->process_info->process_id, 4242u);
    EXPECT_EQ(m->process_info->start_time, 1765333800u);
    EXPECT_STREQ(m->signal->name, "SIGABRT");
    EXPECT_STREQ(m->signal->code, "SI_TKILL");
    EXPECT_EQ(m->signal->mach_exception, nullptr);
    ASSERT_NE(m->exception, nullptr);
    EXPECT_STREQ(m->exception->reason, "lap table out of range");
    ASSERT_EQ(m->exception->n_frames, 2u);
    EXPECT_STREQ(m->exception->frames[1]->symbol->name, "abort");
    // The crashed thread comes first on the wire, numbers keep their order.
    ASSERT_EQ(m->n_threads, 3u);
    EXPECT_EQ(m->threads[0]->thread_number, 1u);
    EXPECT_TRUE(m->threads[0]->crashed);
    EXPECT_EQ(m->threads[0]->n_registers, 21u);
    EXPECT_STREQ(m->threads[0]->registers[20]->name, "cr2");
    ASSERT_EQ(m->threads[0]->n_frames, 4u);
    EXPECT_EQ(m->threads[0]->frames[1]->symbol->start_address, 0x555555555100u);
    EXPECT_EQ(m->threads[0]->frames[2]->symbol, nullptr);
    EXPECT_EQ(m->threads[1]->thread_number, 0u);
    EXPECT_EQ(m->threads[1]->n_registers, 0u);
    EXPECT_EQ(m->threads[2]->thread_number, 2u);
    ASSERT_EQ(m->n_binary_images, 2u);
    EXPECT_EQ(m->binary_images[0]->uuid.len, 20u);
    EXPECT_EQ(0, std::memcmp(m->binary_images[1]->uuid.data, f.buildIds[1].data(), 20));
    EXPECT_EQ(m->binary_images[1]->code_type->type, 0x01000007u);
    ASSERT_TRUE(m->has_custom_data);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(m->custom_data.data), m->custom_data.len),
              f.customData);
}

TEST(ReportWriterTest, FramesAreCutAtFiveHundredTwelve) {
    FixtureReport f = FixtureReport::full();
    f.frames[1].assign(600, zvcrash_frame_record{0x1234, nullptr, 0});
    f.exceptionFrames.assign(700, zvcrash_frame_record{0x99, nullptr, 0});
    const Unpacked m(encodeReport(f.record()));
    ASSERT_NE(m.message, nullptr);
    EXPECT_EQ(m->threads[0]->n_frames, 512u);
    EXPECT_EQ(m->exception->n_frames, 512u);
}

// With the cap lowered: every output decodes, Signal and the crashed thread are there, and no
// field is partial (the bytes end where the last whole field ends).
TEST(ReportWriterTest, CapKeepsEveryFieldWholeAndTheCrashedThread) {
    const size_t fullSize = encodeReport(FixtureReport::full().record()).size();
    struct Case {
        const char* name;
        std::function<void(FixtureReport&)> change;
        size_t cap;  // 0: computed below
        size_t expectImages, expectThreads, minCrashedFrames, maxCrashedFrames;
        bool expectCustomData;
    };
    const std::vector<Case> cases = {
        {"crashed thread alone larger than the cap",
         [](FixtureReport& f) {
             f.frames[1].assign(4000, {0x7fff12345678, "deep_recursion", 0x7fff12345000});
         },
         4096, 0, 0, 1, 4000, false},
        {"images past the cap",
         [](FixtureReport& f) {
             for (int i = 0; i < 200; ++i) f.images.push_back(f.images[0]);
         },
         2048, 0, 0, 4, 4, false},
        {"custom data past the cap", [](FixtureReport& f) { f.customData.assign(8000, 'x'); }, 4096,
         2, 3, 4, 4, false},
        {"report ending exactly at the cap", [](FixtureReport&) {}, 0, 2, 3, 4, 4, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FixtureReport f = FixtureReport::full();
        c.change(f);
        const size_t cap = c.cap != 0 ? c.cap : fullSize;
        const Bytes bytes = encodeReport(f.record(), cap);
        EXPECT_LE(bytes.size(), cap);
        if (c.cap == 0) {
            EXPECT_EQ(bytes.size(), cap);
        }
        const Unpacked m(bytes);
        ASSERT_NE(m.message, nullptr);
        EXPECT_STREQ(m->signal->name, "SIGABRT");
        ASSERT_GE(m->n_threads, 1u);
        EXPECT_TRUE(m->threads[0]->crashed);
        EXPECT_GE(m->threads[0]->n_frames, c.minCrashedFrames);
        EXPECT_LE(m->threads[0]->n_frames, c.maxCrashedFrames);
        if (c.expectImages != 0) {
            EXPECT_EQ(m->n_binary_images, c.expectImages);
        }
        if (c.expectThreads != 0) {
            EXPECT_EQ(m->n_threads, c.expectThreads);
        }
        EXPECT_EQ(m->has_custom_data != 0, c.expectCustomData);
        ZVCrashReporterError error;
        EXPECT_NE(ZVCrashReport::initWithData(bytes, &error), nullptr)
            << error.localizedDescription;
    }
}

TEST(ReportWriterTest, CrashedThreadKeepsTheMostFramesThatFit) {
    FixtureReport f = FixtureReport::full();
    f.frames[1].assign(400, {0x7fff12345678, nullptr, 0});
    const Bytes bytes = encodeReport(f.record(), 2000);
    const Unpacked m(bytes);
    ASSERT_NE(m.message, nullptr);
    const size_t kept = m->threads[0]->n_frames;
    EXPECT_GT(kept, 0u);
    EXPECT_LT(kept, 400u);
    // One more frame (8-byte varint pc plus tag and length: 9 bytes) would not have fitted.
    EXPECT_GT(bytes.size() + 11, 2000u);
}

TEST(ReportWriterTest, SignalAndCodeNames) {
    struct Case {
        int signo, code;
        const char* name;
        const char* codeName;
    };
    const Case cases[] = {
        {11, 1, "SIGSEGV", "SEGV_MAPERR"}, {4, 2, "SIGILL", "ILL_ILLOPN"},
        {8, 1, "SIGFPE", "FPE_INTDIV"},    {7, 2, "SIGBUS", "BUS_ADRERR"},
        {6, -6, "SIGABRT", "SI_TKILL"},    {5, 128, "SIGTRAP", "SI_KERNEL"},
        {10, 0, "SIGUSR1", "SI_USER"},     {40, 5, "#40", "#5"},
        {11, -77, "SIGSEGV", "#-77"},
    };
    for (const Case& c : cases) {
        FixtureReport f = FixtureReport::minimal();
        f.signal = zvcrash_signal_record{c.signo, c.code, 0};
        const Unpacked m(encodeReport(f.record()));
        ASSERT_NE(m.message, nullptr);
        EXPECT_STREQ(m->signal->name, c.name) << c.signo;
        EXPECT_STREQ(m->signal->code, c.codeName) << c.signo << "/" << c.code;
    }
    char buf[16];
    EXPECT_STREQ(zvcrash_format_number_name(buf, sizeof buf, INT32_MIN), "#-2147483648");
}

}  // namespace
