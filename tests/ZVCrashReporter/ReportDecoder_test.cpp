#include "tests/ZVCrashReporter/ReportFixtures.h"
#include "tests/support/TempDir.h"

#include "ZVCrashReporter/Source/ZVCrashReport.h"

#include <gtest/gtest.h>

#include <fstream>
#include <functional>

namespace {

using zvcrash_fixtures::MessageBuilder;
using Bytes = std::vector<uint8_t>;

std::string decodeError(const Bytes& bytes) {
    ZVCrashReporterError error;
    error.code = -1;
    const auto report = ZVCrashReport::initWithData(bytes, &error);
    if (report != nullptr) return "";
    EXPECT_EQ(error.domain, "ZVCrashReporterErrorDomain");
    EXPECT_EQ(error.code, 2);
    return error.localizedDescription;
}

Bytes withHeader(Bytes body, const char* magic = "zvcrash", uint8_t version = 1) {
    Bytes out(magic, magic + 7);
    out.push_back(version);
    out.insert(out.end(), body.begin(), body.end());
    return out;
}

TEST(ReportDecoderTest, BadInputIsRefusedWithItsReason) {
    const Bytes good = MessageBuilder().bytes();
    Bytes noSignal;
    {
        MessageBuilder b;
        b.report.signal = nullptr;
        // Packing skips a null sub-message, so the required field is simply absent.
        noSignal = b.bytes();
    }
    struct Case {
        const char* name;
        Bytes bytes;
        const char* error;
    };
    const Case cases[] = {
        {"empty", {}, "Could not decode truncated crash log"},
        {"header only", withHeader({}), "Could not decode truncated crash log"},
        {"wrong case", withHeader({0x0A, 0}, "zvCrash"),
         "Could not decode invalid crash log header"},
        {"version 2", withHeader(Bytes(good.begin() + 8, good.end()), "zvcrash", 2),
         "Could not decode unsupported crash report version: 2"},
        {"garbage", withHeader({0xFF, 0xFF, 0xFF}),
         "An unknown error occured decoding the crash report"},
        {"required signal missing", noSignal, "An unknown error occured decoding the crash report"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(decodeError(c.bytes), c.error) << c.name;
    }
}

TEST(ReportDecoderTest, SectionChecksAndValues) {
    struct Case {
        const char* name;
        std::function<void(MessageBuilder&)> build;
        const char* error;  // "" when the report decodes
        std::function<void(const ZVCrashReport&)> check;
    };
    const auto none = [](const ZVCrashReport&) {};
    const std::vector<Case> cases = {
        {"no threads, no images", [](MessageBuilder&) {}, "",
         [](const ZVCrashReport& r) {
             EXPECT_TRUE(r.threads().empty());
             EXPECT_TRUE(r.images().empty());
             EXPECT_FALSE(r.uuidRef());
             EXPECT_FALSE(r.hasMachineInfo());
             EXPECT_FALSE(r.hasProcessInfo());
             EXPECT_FALSE(r.customData());
             // Synthesised from the architecture.
             const auto& p = *r.systemInfo()->processorInfo();
             EXPECT_EQ(p.typeEncoding(), 1);
             EXPECT_EQ(p.type(), 0x1000007u);
             EXPECT_EQ(p.subtype(), 3u);
             EXPECT_EQ(r.systemInfo()->operatingSystem(), 5);
             EXPECT_EQ(r.systemInfo()->timestamp()->time_since_epoch().count(), 1765333870);
         }},
        {"15-byte uuid",
         [](MessageBuilder& b) {
             static uint8_t raw[15];
             Zvcrash__CrashReport__ReportInfo info = ZVCRASH__CRASH_REPORT__REPORT_INFO__INIT;
             info.has_uuid = 1;
             info.uuid = {15, raw};
             b.report.report_info = b.make(info);
         },
         "Report UUID value is not a standard 16 bytes", none},
        {"unknown architecture",
         [](MessageBuilder& b) {
             b.system.architecture = ZVCRASH__ARCHITECTURE__ARCHITECTURE_UNKNOWN;
         },
         "Crash report has an unknown architecture", none},
        {"os unknown when not stored, timestamp 0 is no date",
         [](MessageBuilder& b) {
             b.system.has_operating_system = 0;
             b.system.timestamp = 0;
         },
         "",
         [](const ZVCrashReport& r) {
             EXPECT_EQ(r.systemInfo()->operatingSystem(), 3);
             EXPECT_FALSE(r.systemInfo()->timestamp());
         }},
        {"arm64e masks the pc",
         [](MessageBuilder& b) {
             Zvcrash__CrashReport__Processor p = ZVCRASH__CRASH_REPORT__PROCESSOR__INIT;
             p.has_encoding = 1;
             p.encoding = ZVCRASH__CRASH_REPORT__PROCESSOR__TYPE_ENCODING__TYPE_ENCODING_MACH;
             p.type = 0x100000C;
             p.subtype = 2;
             Zvcrash__CrashReport__MachineInfo m = ZVCRASH__CRASH_REPORT__MACHINE_INFO__INIT;
             m.processor = b.make(p);
             b.report.machine_info = b.make(m);
             b.addThread(0, true, {0xABCD000123456789ull});
         },
         "",
         [](const ZVCrashReport& r) {
             EXPECT_EQ(r.threads()[0]->stackFrames()[0]->instructionPointer(), 0x123456789ull);
             EXPECT_EQ(r.systemInfo()->processorInfo(), r.machineInfo()->processorInfo());
         }},
        {"255 mach codes decode",
         [](MessageBuilder& b) {
             static uint64_t codes[256];
             Zvcrash__CrashReport__Signal__MachException e =
                 ZVCRASH__CRASH_REPORT__SIGNAL__MACH_EXCEPTION__INIT;
             e.n_codes = 255;
             e.codes = codes;
             b.signal.mach_exception = b.make(e);
         },
         "",
         [](const ZVCrashReport& r) { EXPECT_EQ(r.machExceptionInfo()->codes().size(), 255u); }},
        {"256 mach codes",
         [](MessageBuilder& b) {
             static uint64_t codes[256];
             Zvcrash__CrashReport__Signal__MachException e =
                 ZVCRASH__CRASH_REPORT__SIGNAL__MACH_EXCEPTION__INIT;
             e.n_codes = 256;
             e.codes = codes;
             b.signal.mach_exception = b.make(e);
         },
         "Crash report includes too many Mach Exception codes", none},
        {"exception without frames, image uuids, start time 0, no end address",
         [](MessageBuilder& b) {
             Zvcrash__CrashReport__Exception e = ZVCRASH__CRASH_REPORT__EXCEPTION__INIT;
             e.name = const_cast<char*>("E");
             e.reason = const_cast<char*>("");
             b.report.exception = b.make(e);
             Zvcrash__CrashReport__ProcessInfo p = ZVCRASH__CRASH_REPORT__PROCESS_INFO__INIT;
             p.has_start_time = 1;
             p.start_time = 0;
             b.report.process_info = b.make(p);
             b.addImage(0x1000, 0x100, "/a");
             b.addImage(0x2000, 0x100, "/b");
             static uint8_t id[16] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15};
             b.report.binary_images[0]->has_uuid = 1;
             b.report.binary_images[0]->uuid = {0, id};
             b.report.binary_images[1]->has_uuid = 1;
             b.report.binary_images[1]->uuid = {16, id};
             b.addThread(0, true, {0x1010});
             Zvcrash__CrashReport__Symbol s = ZVCRASH__CRASH_REPORT__SYMBOL__INIT;
             s.name = const_cast<char*>("f");
             s.start_address = 0x1000;
             b.report.threads[0]->frames[0]->symbol = b.make(s);
         },
         "",
         [](const ZVCrashReport& r) {
             EXPECT_FALSE(r.exceptionInfo()->stackFrames());
             EXPECT_FALSE(r.images()[0]->hasImageUUID());
             EXPECT_EQ(r.images()[1]->imageUUID(), "000102030405060708090a0b0c0d0e0f");
             EXPECT_EQ(r.processInfo()->processStartTime()->time_since_epoch().count(), 0);
             EXPECT_EQ(r.threads()[0]->stackFrames()[0]->symbolInfo()->endAddress(), 0u);
             EXPECT_FALSE(r.processInfo()->processName());
         }},
        {"image lookup",
         [](MessageBuilder& b) {
             b.addImage(0x1000, 0x100, "/first");
             b.addImage(0x1080, 0x100, "/overlap");
         },
         "",
         [](const ZVCrashReport& r) {
             EXPECT_EQ(r.imageForAddress(0x1000)->imageName(), "/first");
             EXPECT_EQ(r.imageForAddress(0x10F0)->imageName(), "/first");
             EXPECT_EQ(r.imageForAddress(0x1100)->imageName(), "/overlap");
             EXPECT_EQ(r.imageForAddress(0x1180), nullptr);
             EXPECT_EQ(r.imageForAddress(0xFFF), nullptr);
         }},
    };
    for (const Case& c : cases) {
        MessageBuilder b;
        c.build(b);
        const Bytes bytes = b.bytes();
        EXPECT_EQ(decodeError(bytes), c.error) << c.name;
        if (*c.error == '\0') {
            const auto report = ZVCrashReport::initWithData(bytes, nullptr);
            ASSERT_NE(report, nullptr) << c.name;
            SCOPED_TRACE(c.name);
            c.check(*report);
        }
    }
}

TEST(ReportDecoderTest, StringsAreCopiedOutOfTheMessageAsGiven) {
    MessageBuilder b;
    b.app.identifier = const_cast<char*>("bad\xff\xfe utf8");
    const Bytes bytes = b.bytes();
    ZVCrashReporterError error;
    const auto report = ZVCrashReport::initWithData(bytes, &error);
    if (report != nullptr) {
        EXPECT_EQ(report->applicationInfo()->applicationIdentifier(), "bad\xff\xfe utf8");
    } else {
        EXPECT_EQ(error.code, 2);
    }
}

TEST(ReportDecoderTest, OversizedFilesAreRefusedBeforeReading) {
    testing_support::TempDir dir;
    const auto path = dir / "big.zvcrash";
    {
        std::ofstream out(path, std::ios::binary);
        out << "zvcrash\x01";
    }
    std::filesystem::resize_file(path, ZVCrashReport::kMaximumReportSize + 1);
    Bytes bytes;
    ZVCrashReporterError error;
    EXPECT_FALSE(ZVCrashReport::readReportFile(path, bytes, &error));
    EXPECT_EQ(error.code, 2);
    EXPECT_EQ(error.localizedDescription, "Crash report file is too large");
    EXPECT_TRUE(bytes.empty());

    const Bytes good = MessageBuilder().bytes();
    std::ofstream(path, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(good.data()),
               static_cast<std::streamsize>(good.size()));
    ASSERT_TRUE(ZVCrashReport::readReportFile(path, bytes, &error));
    EXPECT_EQ(bytes, good);
    EXPECT_FALSE(ZVCrashReport::readReportFile(dir / "missing", bytes, &error));
    EXPECT_EQ(error.code, 1);
}

}  // namespace
