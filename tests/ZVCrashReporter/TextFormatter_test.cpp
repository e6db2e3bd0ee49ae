#include "tests/ZVCrashReporter/ReportFixtures.h"
#include "tests/support/TempDir.h"

#include "ZVCrashReporter/Source/ZVCrashReportTextFormatter.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <functional>

namespace {

using zvcrash_fixtures::encodeReport;
using zvcrash_fixtures::FixtureReport;
using zvcrash_fixtures::MessageBuilder;

const std::filesystem::path kData = std::filesystem::path(GRIDLARK_TESTDATA_DIR) / "zvcrash";

std::string textOf(const std::vector<uint8_t>& bytes) {
    ZVCrashReporterError error;
    const auto report = ZVCrashReport::initWithData(bytes, &error);
    EXPECT_NE(report, nullptr) << error.localizedDescription;
    if (report == nullptr) return "";
    return ZVCrashReportTextFormatter::stringValueForCrashReport(*report, 0);
}

TEST(TextFormatterTest, FullReportMatchesItsGoldenText) {
    const std::string text = textOf(encodeReport(FixtureReport::full().record()));
    const auto golden = kData / "full.txt";
    if (std::getenv("ZVCRASH_REWRITE_GOLDEN") != nullptr) std::ofstream(golden) << text;
    EXPECT_EQ(text, testing_support::readAll(golden));

    ZVCrashReportTextFormatter formatter(0, ZVCrashReportTextFormatter::kUTF8StringEncoding);
    const auto report =
        ZVCrashReport::initWithData(encodeReport(FixtureReport::full().record()), nullptr);
    const std::vector<uint8_t> bytes = formatter.formatReport(*report, nullptr);
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), text);
}

// Lines of the text that contain needle.
bool contains(const std::string& text, const std::string& needle) {
    return text.find(needle) != std::string::npos;
}

TEST(TextFormatterTest, Variants) {
    struct Case {
        const char* name;
        std::function<void(MessageBuilder&)> build;
        std::vector<std::string> present;
        std::vector<std::string> absent;
    };
    const auto withSymbol = [](MessageBuilder& b, const char* name) {
        b.addImage(0x1000, 0x1000, "/usr/lib/libx.so");
        b.addThread(0, false, {0x1010});
        Zvcrash__CrashReport__Symbol s = ZVCRASH__CRASH_REPORT__SYMBOL__INIT;
        s.name = const_cast<char*>(name);
        s.start_address = 0x1000;
        b.report.threads[0]->frames[0]->symbol = b.make(s);
    };
    const std::vector<Case> cases = {
        {"nothing optional",
         [](MessageBuilder& b) { b.system.timestamp = 0; },
         {"Incident Identifier: ???\n", "Hardware Model:      ???\n",
          "Process:         ??? [???]\n", "Path:            ???\n", "Parent Process:  ??? [???]\n",
          "Date/Time:       ???\n", "OS Version:      Linux 6.1.0 (???)\n",
          "Code Type:       X86-64\n", "Exception Codes: SEGV_MAPERR at 0x10\n"},
         {"Crashed Thread:", "crashed with"}},
        {"os 0 strips the underscore",
         [&](MessageBuilder& b) {
             b.system.operating_system =
                 ZVCRASH__CRASH_REPORT__SYSTEM_INFO__OPERATING_SYSTEM__MAC_OS_X;
             withSymbol(b, "_main");
         },
         {"OS Version:      Mac OS X",
          "libx.so                             0x0000000000001010 main + 16\n"},
         {}},
        {"os 2",
         [](MessageBuilder& b) {
             b.system.operating_system =
                 ZVCRASH__CRASH_REPORT__SYSTEM_INFO__OPERATING_SYSTEM__IPHONE_SIMULATOR;
         },
         {"OS Version:      Mac OS X 6.1.0"},
         {}},
        {"os 3 keeps names",
         [&](MessageBuilder& b) {
             b.system.operating_system =
                 ZVCRASH__CRASH_REPORT__SYSTEM_INFO__OPERATING_SYSTEM__OS_UNKNOWN;
             withSymbol(b, "_main");
         },
         {"OS Version:      Unknown (3) 6.1.0", " _main + 16\n"},
         {}},
        {"os 5 keeps names, lone underscore too",
         [&](MessageBuilder& b) { withSymbol(b, "_"); },
         {" _ + 16\n"},
         {}},
        {"five registers",
         [](MessageBuilder& b) {
             b.addThread(3, true, {});
             std::vector<Zvcrash__CrashReport__Thread__RegisterValue*> regs;
             const char* names[] = {"rip", "rsp", "rbp", "rax", "rbx"};
             for (uint64_t i = 0; i < 5; ++i) {
                 Zvcrash__CrashReport__Thread__RegisterValue r =
                     ZVCRASH__CRASH_REPORT__THREAD__REGISTER_VALUE__INIT;
                 r.name = const_cast<char*>(names[i]);
                 r.value = i;
                 regs.push_back(b.make(r));
             }
             b.report.threads[0]->n_registers = 5;
             b.report.threads[0]->registers = b.array(regs);
         },
         {"Crashed Thread:  3\n",
          "Thread 3 crashed with X86-64 Thread State:\n"
          "   rip: 0x0000000000000000    rsp: 0x0000000000000001    rbp: 0x0000000000000002 "
          "   rax: 0x0000000000000003 \n"
          "   rbx: 0x0000000000000004 \n\nBinary Images:\n"},
         {}},
        {"equal bases, base 0, size 0",
         [](MessageBuilder& b) {
             b.addImage(0x2000, 0, "/lib/empty.so");
             b.addImage(0, 0x100, "/lib/zero.so");
             b.addImage(0x2000, 0x10, "/lib/twin.so");
         },
         {"                 0 -               0xff  zero.so ???  <???> /lib/zero.so\n",
          "            0x2000 -             0x2000  empty.so ???  <???> /lib/empty.so\n"},
         {"twin.so"}},
        {"the executable is marked",
         [](MessageBuilder& b) {
             Zvcrash__CrashReport__ProcessInfo p = ZVCRASH__CRASH_REPORT__PROCESS_INFO__INIT;
             p.process_path = const_cast<char*>("/usr/bin/gridlark");
             p.process_name = const_cast<char*>("gridlark");
             p.process_id = 7;
             b.report.process_info = b.make(p);
             b.addImage(0x4000, 0x10, "/usr/bin/gridlark");
         },
         {"Process:         gridlark [7]\n", "Parent Process:  ??? [0]\n",
          "+gridlark ???  <???> /usr/bin/gridlark\n"},
         {}},
        {"no crashed thread",
         [](MessageBuilder& b) { b.addThread(0, false, {0x10}); },
         {"Thread 0:\n0   ???                                 0x0000000000000010 0x0 + 0\n"},
         {"Crashed Thread:", "Thread State"}},
        {"broken text never throws",
         [](MessageBuilder& b) { b.addImage(0x1000, 0x10, "/lib/\xff\xfe.so"); },
         {"<???> /lib/\xff\xfe.so\n"},
         {}},
    };
    for (const Case& c : cases) {
        MessageBuilder b;
        c.build(b);
        const std::string text = textOf(b.bytes());
        for (const auto& s : c.present)
            EXPECT_TRUE(contains(text, s)) << c.name << ": " << s << "\n" << text;
        for (const auto& s : c.absent) EXPECT_FALSE(contains(text, s)) << c.name << ": " << s;
    }
}

}  // namespace
