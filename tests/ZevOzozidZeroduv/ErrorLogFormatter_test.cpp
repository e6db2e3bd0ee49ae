#include "tests/ZVCrashReporter/ReportFixtures.h"
#include "tests/ZevOzozid/ZVTFakeDeviceProbe.h"
#include "tests/ZevOzozid/ZVTTestSupport.h"
#include "tests/ZevOzozidZeroduv/ZeroduvTestSupport.h"
#include "tests/support/TempDir.h"

#include "ZevOzozidZeroduv/ZevOzozidZeroduv/Internals/ZVTErrorLogFormatter.h"

#include "ZevOzozid/ZevOzozid/Internals/Context/Device/ZVTDeviceTracker.h"
#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTFileStore.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>

namespace {

std::shared_ptr<const ZVCrashReport> goldenReport() {
    std::vector<uint8_t> bytes;
    ZVCrashReporterError error;
    const auto path = std::filesystem::path(GRIDLARK_TESTDATA_DIR) / "zvcrash" / "full.zvcrash";
    EXPECT_TRUE(ZVCrashReport::readReportFile(path, bytes, &error));
    auto report = ZVCrashReport::initWithData(bytes, &error);
    EXPECT_NE(report, nullptr) << error.localizedDescription;
    return report;
}

TEST(ErrorLogFormatterTest, GoldenReportBecomesTheStoredCrashLog) {
    auto report = goldenReport();
    ASSERT_NE(report, nullptr);
    auto log = ZVTErrorLogFormatter::errorLogFromCrashReport(*report);
    nlohmann::json actual = nlohmann::json::parse(log->serializeToDictionary().dump());
    actual.erase("device");
    const auto golden =
        std::filesystem::path(GRIDLARK_TESTDATA_DIR) / "zeroduv" / "full_error_log.json";
    if (std::getenv("ZEVOZOZID_PRINT_GOLDEN")) std::printf("%s\n", actual.dump(2).c_str());
    std::ifstream in(golden);
    ASSERT_TRUE(in.good()) << golden;
    EXPECT_EQ(actual, nlohmann::json::parse(in));
}

TEST(ErrorLogFormatterTest, GoldenReportErrorReportAndDevice) {
    auto report = goldenReport();
    ASSERT_NE(report, nullptr);
    auto errorReport = ZVTErrorLogFormatter::errorReportFromCrashReport(report.get());
    ASSERT_NE(errorReport, nullptr);
    EXPECT_EQ(errorReport->incidentIdentifier(), "A0A1A2A3-A4A5-A6A7-A8A9-AAABACADAEAF");
    EXPECT_EQ(errorReport->signal(), "SIGABRT");
    EXPECT_EQ(errorReport->exceptionName(), "std::runtime_error");
    EXPECT_EQ(errorReport->codeType(), "X86-64");
    EXPECT_EQ(errorReport->archName(), "x86_64");
    EXPECT_EQ(errorReport->appProcessIdentifier(), 4242u);
    ASSERT_TRUE(errorReport->device());
    const auto& d = *errorReport->device();
    EXPECT_EQ(d.osVersion(), "6.1.0");
    EXPECT_EQ(d.osBuild(), "#1 SMP PREEMPT_DYNAMIC Debian 6.1.76-1");
    EXPECT_EQ(d.model(), "x86_64");
    EXPECT_EQ(d.appBuild(), "412");
    EXPECT_EQ(d.appVersion(), "0.1.0");
    EXPECT_EQ(d.appNamespace(), "org.gridlark.Gridlark");
    // The rest comes from the device record in effect at the crash.
    EXPECT_EQ(d.osName(), ZVTDeviceTracker::sharedInstance().device()->osName());
    EXPECT_EQ(ZVTErrorLogFormatter::errorReportFromCrashReport(nullptr), nullptr);
}

using zvcrash_fixtures::MessageBuilder;

std::shared_ptr<const ZVCrashReport> decode(const MessageBuilder& builder) {
    ZVCrashReporterError error;
    auto report = ZVCrashReport::initWithData(builder.bytes(), &error);
    EXPECT_NE(report, nullptr) << error.localizedDescription;
    return report;
}

Zvcrash__CrashReport__ProcessInfo processInfo(const char* path) {
    Zvcrash__CrashReport__ProcessInfo p = ZVCRASH__CRASH_REPORT__PROCESS_INFO__INIT;
    p.process_name = const_cast<char*>("gridlark");
    p.process_id = 77;
    p.process_path = const_cast<char*>(path);
    return p;
}

// Without a crashed thread nothing carries the exception and there are no registers; the whole
// second of the crash time gets 0.999 s.
TEST(ErrorLogFormatterTest, NoCrashedThreadAndTheWholeSecondRule) {
    MessageBuilder b;
    b.addThread(0, false, {0x1000});
    Zvcrash__CrashReport__Thread__StackFrame f = ZVCRASH__CRASH_REPORT__THREAD__STACK_FRAME__INIT;
    f.pc = 0x1000;
    Zvcrash__CrashReport__Exception e = ZVCRASH__CRASH_REPORT__EXCEPTION__INIT;
    e.name = const_cast<char*>("E");
    e.reason = const_cast<char*>("R");
    e.n_frames = 1;
    e.frames = b.array(std::vector<Zvcrash__CrashReport__Thread__StackFrame*>{b.make(f)});
    b.report.exception = &e;
    auto report = decode(b);
    ASSERT_NE(report, nullptr);
    auto log = ZVTErrorLogFormatter::errorLogFromCrashReport(*report);
    EXPECT_EQ(log->errorThreadId(), 0);
    EXPECT_TRUE(log->registers()->empty());
    ASSERT_EQ(log->threads()->size(), 1u);
    EXPECT_EQ((*log->threads())[0]->exception(), nullptr);
    EXPECT_EQ(log->timestamp(),
              ZVTDate(std::chrono::seconds(1765333870) + std::chrono::milliseconds(999)));
    EXPECT_EQ(log->processName(), "???");
    EXPECT_EQ(log->applicationPath(), "???");
    EXPECT_EQ(log->processId(), 0);
}

// A report whose identity fields are empty (written by an earlier build) takes them from the
// device record of the run.
TEST(ErrorLogFormatterTest, EmptyIdentityFieldsFallBackToTheRunsDevice) {
    MessageBuilder b;
    b.app.identifier = const_cast<char*>("");
    b.app.version = const_cast<char*>("");
    b.app.marketing_version = const_cast<char*>("");
    b.addThread(0, true, {0x1000});
    auto report = decode(b);
    ASSERT_NE(report, nullptr);
    auto errorReport = ZVTErrorLogFormatter::errorReportFromCrashReport(report.get());
    ASSERT_NE(errorReport, nullptr);
    ASSERT_TRUE(errorReport->device());
    const auto& d = *errorReport->device();
    const auto run = ZVTDeviceTracker::sharedInstance().device();
    EXPECT_EQ(d.appBuild(), run->appBuild());
    EXPECT_EQ(d.appVersion(), run->appVersion());
    EXPECT_EQ(d.appNamespace(), run->appNamespace());
    EXPECT_TRUE(d.appNamespace().has_value() && !d.appNamespace()->empty());
}

// Images referenced by a frame or register, or belonging to the program, are kept; an image
// of size 0 or 1 ends where it starts.
TEST(ErrorLogFormatterTest, KeptAndDroppedBinaries) {
    MessageBuilder b;
    auto process = processInfo("/opt/gridlark/bin/gridlark");
    b.report.process_info = &process;
    b.addThread(0, true, {0x5000});
    b.addImage(0x9000, 0, "/lib/unused-size0.so");
    b.addImage(0x5000, 1, "/lib/size1.so");
    b.addImage(0x7000, 0x100, "/opt/gridlark/bin/libgrid.so");
    b.addImage(0x8000, 0x100, "/usr/lib/unused.so");
    b.addImage(0x1000, 0x100, "/opt/gridlark/bin/gridlark");
    auto report = decode(b);
    ASSERT_NE(report, nullptr);
    auto binaries = ZVTErrorLogFormatter::extractBinaryImagesFromReport(*report, true);
    std::vector<std::string> names;
    for (const auto& binary : binaries) names.push_back(*binary->name());
    EXPECT_EQ(names, (std::vector<std::string>{"gridlark", "size1.so", "libgrid.so"}));
    EXPECT_EQ(binaries[1]->startAddress(), binaries[1]->endAddress());
    EXPECT_EQ(binaries[1]->binaryId(), "???");
    EXPECT_TRUE(ZVTErrorLogFormatter::isBinaryWithStart(0x9000, 0x9000, {0x9000}));
    EXPECT_FALSE(ZVTErrorLogFormatter::isBinaryWithStart(0x9000, 0x9000, {0x9001}));
}

TEST(ErrorLogFormatterTest, PathsLoseTheirUserNames) {
    const std::pair<std::optional<std::string>, std::string> cases[] = {
        {"/Users/u1/Library/x.dylib", "/Users/USER/Library/x.dylib"},
        {"/home/alice/bin/gridlark", "/home/USER/bin/gridlark"},
        {"/home/alice/x/home/bob/y", "/home/USER/x/home/USER/y"},
        {"/System/Library/Frameworks/AppKit.framework/AppKit",
         "/System/Library/Frameworks/AppKit.framework/AppKit"},
        {"/usr/lib/x86_64-linux-gnu/libc.so.6", "/usr/lib/x86_64-linux-gnu/libc.so.6"},
        {"/Volumes/Users/app", ""},
        {"", ""},
        {std::nullopt, ""},
    };
    for (const auto& [path, expected] : cases) {
        EXPECT_EQ(ZVTErrorLogFormatter::anonymizedPathFromPath(path), expected)
            << path.value_or("-");
    }
}

TEST(ErrorLogFormatterTest, ImageClassification) {
    struct Case {
        const char* image;
        const char* process;
        int os;
        ZVTImageType type;
    };
    const Case cases[] = {
        {"/opt/g/bin/gridlark", "/opt/g/bin/gridlark", 5, ZVTImageTypeProcessBinary},
        {"/opt/g/bin/./gridlark", "/opt/g/bin/gridlark", 5, ZVTImageTypeProcessBinary},
        {"/opt/g/bin/libgrid.so", "/opt/g/bin/gridlark", 5, ZVTImageTypeAppBundle},
        {"/opt/g/bin/plugins/libp.so", "/opt/g/bin/gridlark", 5, ZVTImageTypeAppBundle},
        {"/opt/g/lib/libgrid.so", "/opt/g/bin/gridlark", 5, ZVTImageTypeOther},
        {"/lib/libc.so.6", "/gridlark", 5, ZVTImageTypeOther},
        {"/opt/g/bin/libgrid.so", "/opt/g/bin/gridlark", 0, ZVTImageTypeOther},
        {"/A/G.app/Contents/MacOS/G", "/A/G.app/Contents/MacOS/G", 0, ZVTImageTypeProcessBinary},
        {"/A/G.app/Contents/Frameworks/F.framework/F", "/A/G.app/Contents/MacOS/G", 0,
         ZVTImageTypeAppBundle},
        {"/A/G.app/Contents/Frameworks/libswiftCore.dylib", "/A/G.app/Contents/MacOS/G", 0,
         ZVTImageTypeOther},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ZVTErrorLogFormatter::imageTypeForImagePath(c.image, c.process, c.os), c.type)
            << c.image << " " << c.os;
    }
    EXPECT_EQ(ZVTErrorLogFormatter::imageTypeForImagePath(std::nullopt, "/x", 5),
              ZVTImageTypeOther);
}

TEST(ErrorLogFormatterTest, ArchitectureNamesAndAddresses) {
    EXPECT_EQ(ZVTErrorLogFormatter::convertCodeTypeToString(12), "ARM");
    EXPECT_EQ(ZVTErrorLogFormatter::convertCodeTypeToString(99), "Unknown (99)");
    EXPECT_EQ(ZVTErrorLogFormatter::convertArchNameToString(12, 11), "armv7s");
    EXPECT_EQ(ZVTErrorLogFormatter::convertArchNameToString(0x100000C, 2), "arm64e");
    EXPECT_EQ(ZVTErrorLogFormatter::convertArchNameToString(99, 0), "???");
    EXPECT_EQ(ZVTErrorLogFormatter::formatAddress(0x1f, false), "0x0000001f");
    EXPECT_EQ(ZVTErrorLogFormatter::formatAddress(0x1f, true), "0x000000000000001f");
}

}  // namespace
