#include "tests/ZevOzozid/ZVTTestSupport.h"
#include "tests/ZevOzozidZeroduv/ZeroduvTestSupport.h"

#include "ZevOzozidZeroduv/ZevOzozidZeroduv/Model/ZVTAppleErrorLog.h"
#include "ZevOzozidZeroduv/ZevOzozidZeroduv/Model/ZVTErrorAttachmentLog.h"
#include "ZevOzozidZeroduv/ZevOzozidZeroduv/Model/ZVTHandledErrorLog.h"
#include "ZevOzozidZeroduv/ZevOzozidZeroduv/Model/ZVTWrapperException.h"

#include <gtest/gtest.h>

namespace {

using zeroduv_test::atSeconds;
using zeroduv_test::roundTrip;
using zvt_test::LogCapture;

std::shared_ptr<ZVTDevice> device() {
    auto d = std::make_shared<ZVTDevice>();
    d->setSdkName("zevozozid.macos");
    d->setSdkVersion("1.0.0");
    d->setOsName("Linux");
    d->setOsVersion("6.1.0");
    d->setModel("Larkbook");
    d->setLocale("en_GB");
    d->setTimeZoneOffset(60);
    d->setAppVersion("0.1.0");
    d->setAppBuild("412");
    d->setAppNamespace("org.gridlark.Gridlark");
    return d;
}

std::shared_ptr<ZVTStackFrame> frame(const std::string& address) {
    auto f = std::make_shared<ZVTStackFrame>();
    f->setAddress(address);
    f->setCode("lap::load + 3");
    f->setClassName("lap");
    f->setMethodName("load");
    f->setLineNumber(12);
    f->setFileName("gridlark");
    return f;
}

std::shared_ptr<ZVTExceptionModel> exception() {
    auto e = std::make_shared<ZVTExceptionModel>();
    e->setType("std::runtime_error");
    e->setMessage("lap table out of range");
    e->setStackTrace("(\n)");
    e->setFrames(ZVTStackFrames{frame("0x1"), frame("0x2")});
    return e;
}

std::shared_ptr<ZVTAppleErrorLog> fullAppleLog() {
    auto log = std::make_shared<ZVTAppleErrorLog>();
    log->setTimestamp(atSeconds(1765333870.999));
    log->setSid("S");
    log->setUserId("alice");
    log->setDevice(device());
    log->setProperties(ZVTPropertyMap{{"k", "v"}});
    log->setErrorId("E1");
    log->setProcessId(4242);
    log->setProcessName("gridlark");
    log->setParentProcessId(4000);
    log->setParentProcessName("bash");
    log->setErrorThreadId(1);
    log->setErrorThreadName("main");
    log->setFatal(true);
    log->setAppLaunchTimestamp(atSeconds(1765333800));
    log->setArchitecture("x86_64");
    log->setPrimaryArchitectureId(0x1000007);
    log->setArchitectureVariantId(0x80000003ull);
    log->setApplicationPath("/usr/bin/gridlark");
    log->setOsExceptionType("SIGSEGV");
    log->setOsExceptionCode("SEGV_MAPERR");
    log->setOsExceptionAddress("0x10");
    log->setExceptionType("T");
    log->setExceptionReason("R");
    log->setSelectorRegisterValue("sel");
    auto thread = std::make_shared<ZVTThread>();
    thread->setThreadId(1);
    thread->setName("main");
    thread->setFrames(ZVTStackFrames{frame("0x3")});
    thread->setException(exception());
    log->setThreads(ZVTThreads{thread});
    auto binary = std::make_shared<ZVTBinary>();
    binary->setBinaryId("00010203");
    binary->setStartAddress("0x0000555555554000");
    binary->setEndAddress("0x0000555555556fff");
    binary->setName("gridlark");
    binary->setPath("/usr/bin/gridlark");
    binary->setArchitecture("x86_64");
    binary->setPrimaryArchitectureId(0x1000007);
    binary->setArchitectureVariantId(3);
    log->setBinaries(ZVTBinaries{binary});
    log->setRegisters(ZVTRegisters{{"rip", "0x0000000000001000"}});
    auto wrapper = std::make_shared<ZVTWrapperExceptionModel>();
    wrapper->setType("W");
    wrapper->setWrapperSdkName("wrap");
    wrapper->setInnerExceptions(std::vector<std::shared_ptr<ZVTExceptionModel>>{exception()});
    log->setException(wrapper);
    return log;
}

std::shared_ptr<ZVTHandledErrorLog> fullHandledLog() {
    auto log = std::make_shared<ZVTHandledErrorLog>();
    log->setTimestamp(atSeconds(10));
    log->setDevice(device());
    log->setErrorId("H1");
    log->setException(exception());
    log->setProperties(ZVTPropertyMap{{"a", "b"}});
    return log;
}

TEST(ErrorModelsTest, EveryClassArchivesEveryFieldAndStaysEqual) {
    std::vector<std::shared_ptr<ZVTSerializableObject>> all = {frame("0x9"), exception(),
                                                               fullAppleLog(), fullHandledLog()};
    auto attachment = ZVTErrorAttachmentLog::attachmentWithText("abc", "a.txt");
    attachment->setErrorId("E1");
    attachment->setTimestamp(atSeconds(3));
    attachment->setDevice(device());
    all.push_back(attachment);
    auto wrapper = std::make_shared<ZVTWrapperException>();
    wrapper->setModelException(fullAppleLog()->exception());
    wrapper->setExceptionData(ZVTBytes{1, 2, 3});
    wrapper->setProcessId(4242);
    all.push_back(wrapper);
    for (const auto& object : all) {
        auto back = roundTrip(*object);
        ASSERT_NE(back, nullptr) << object->className();
        EXPECT_EQ(back->className(), object->className());
        EXPECT_TRUE(back->isEqual(*object)) << object->className();
        EXPECT_EQ(back->serializeToDictionary(), object->serializeToDictionary())
            << object->className();
    }
}

TEST(ErrorModelsTest, AppleLogJsonKeysAndTheUnsentEncodingFlag) {
    auto log = fullAppleLog();
    const ZVTJson json = log->serializeToDictionary();
    for (const char* key : {"type",
                            "timestamp",
                            "sid",
                            "userId",
                            "device",
                            "properties",
                            "id",
                            "processId",
                            "processName",
                            "parentProcessId",
                            "parentProcessName",
                            "errorThreadId",
                            "errorThreadName",
                            "fatal",
                            "appLaunchTimestamp",
                            "architecture",
                            "primaryArchitectureId",
                            "architectureVariantId",
                            "applicationPath",
                            "osExceptionType",
                            "osExceptionCode",
                            "osExceptionAddress",
                            "exceptionType",
                            "exceptionReason",
                            "selectorRegisterValue",
                            "threads",
                            "binaries",
                            "registers",
                            "exception"}) {
        EXPECT_TRUE(json.contains(key)) << key;
    }
    EXPECT_EQ(json["type"], "appleError");
    EXPECT_EQ(json["architectureVariantId"].get<uint64_t>(), 0x80000003ull);
    EXPECT_EQ(json["appLaunchTimestamp"], "2025-12-10T02:30:00.000Z");
    EXPECT_EQ(json["exception"]["wrapperSdkName"], "wrap");
    EXPECT_EQ(json["threads"][0]["id"], 1);
    EXPECT_EQ(json["binaries"][0]["id"], "00010203");
    EXPECT_FALSE(json.contains("isKnownEncodingType"));

    auto other = fullAppleLog();
    other->setIsKnownEncodingType(!log->isKnownEncodingType());
    EXPECT_TRUE(other->isEqual(*log));
    EXPECT_EQ(other->serializeToDictionary(), json);

    ZVTAppleErrorLog empty;
    empty.setThreads(ZVTThreads{});
    EXPECT_EQ(empty.serializeToDictionary()["threads"], ZVTJson::array());
    EXPECT_EQ(empty.serializeToDictionary()["fatal"], false);
    empty.setThreads(std::nullopt);
    EXPECT_FALSE(empty.serializeToDictionary().contains("threads"));
}

// Each model reports its first missing field, in the documented order.
TEST(ErrorModelsTest, ValidityReportsTheFirstMissingField) {
    struct Case {
        std::function<std::shared_ptr<ZVTModel>()> make;
        std::string field;  // "" when valid
    };
    const std::vector<Case> cases = {
        {[] {
             auto l = fullAppleLog();
             l->setErrorId(std::nullopt);
             return l;
         },
         "errorId"},
        {[] {
             auto l = fullAppleLog();
             l->setProcessName(std::nullopt);
             return l;
         },
         "processName"},
        {[] {
             auto l = fullAppleLog();
             l->setPrimaryArchitectureId(std::nullopt);
             return l;
         },
         "primaryArchitectureId"},
        {[] {
             auto l = fullAppleLog();
             l->setOsExceptionAddress(std::nullopt);
             return l;
         },
         "osExceptionAddress"},
        {[] { return fullAppleLog(); }, ""},
        {[] {
             auto l = fullHandledLog();
             l->setErrorId(std::nullopt);
             return l;
         },
         "errorId"},
        {[] {
             auto l = fullHandledLog();
             l->setException(nullptr);
             return l;
         },
         "exception"},
        {[] {
             auto l = fullHandledLog();
             l->setException(std::make_shared<ZVTExceptionModel>());
             return l;
         },
         ""},
        {[] {
             auto t = std::make_shared<ZVTThread>();
             t->setThreadId(1);
             return t;
         },
         "frames"},
        {[] { return std::make_shared<ZVTThread>(); }, "threadId"},
        {[] {
             auto b = std::make_shared<ZVTBinary>();
             b->setBinaryId("???");
             return b;
         },
         "startAddress"},
        {[] { return std::make_shared<ZVTExceptionModel>(); }, "type"},
        {[] {
             auto e = exception();
             e->setFrames(ZVTStackFrames{});
             return e;
         },
         "frames"},
        {[] { return ZVTErrorAttachmentLog::attachmentWithText("x", "f"); }, "timestamp"},
        {[] {
             auto a = ZVTErrorAttachmentLog::attachmentWithText("x", "f");
             a->setTimestamp(atSeconds(1));
             a->setDevice(device());
             return a;
         },
         "errorId"},
        {[] {
             auto a = ZVTErrorAttachmentLog::attachmentWithBinary(ZVTBytes{}, std::nullopt,
                                                                  std::nullopt);
             a->setTimestamp(atSeconds(1));
             a->setDevice(device());
             a->setErrorId("E");
             return a;
         },
         "contentType"},
    };
    for (size_t i = 0; i < cases.size(); ++i) {
        LogCapture logs;
        ZVTLogger::setCurrentLogLevel(ZVTLogLevelVerbose);
        const bool valid = cases[i].make()->isValid();
        EXPECT_EQ(valid, cases[i].field.empty()) << i;
        if (!valid) {
            const auto lines = logs.atLevel(ZVTLogLevelVerbose);
            ASSERT_FALSE(lines.empty()) << i;
            EXPECT_NE(lines.back().text.find(": \"" + cases[i].field + "\" is not valid."),
                      std::string::npos)
                << i << " " << lines.back().text;
        }
    }
}

TEST(ErrorModelsTest, EqualityTreatsAbsentFieldsAsEqualOnlyWithEachOther) {
    ZVTStackFrame a, b;
    EXPECT_TRUE(a.isEqual(b));
    a.setLineNumber(3);
    EXPECT_FALSE(a.isEqual(b));
    b.setLineNumber(3);
    EXPECT_TRUE(a.isEqual(b));

    auto h1 = fullHandledLog(), h2 = fullHandledLog();
    EXPECT_TRUE(h1->isEqual(*h2));
    h2->setException(nullptr);
    EXPECT_FALSE(h1->isEqual(*h2));
    EXPECT_FALSE(h2->isEqual(*h1));

    auto e1 = exception(), e2 = exception();
    e2->setFrames(std::nullopt);
    EXPECT_FALSE(e1->isEqual(*e2));
    EXPECT_FALSE(ZVTThread().isEqual(ZVTBinary()));
}

TEST(ErrorModelsTest, AttachmentJsonAndFreshIds) {
    auto a = ZVTErrorAttachmentLog::attachmentWithText("abc", "a.txt");
    auto b = ZVTErrorAttachmentLog::attachmentWithText("abc", "a.txt");
    const ZVTJson json = a->serializeToDictionary();
    EXPECT_EQ(json["type"], "errorAttachment");
    EXPECT_EQ(json["contentType"], "text/plain");
    EXPECT_EQ(json["fileName"], "a.txt");
    EXPECT_EQ(json["data"], "YWJj");
    EXPECT_EQ(json["id"].get<std::string>().size(), 36u);
    EXPECT_NE(a->attachmentId(), b->attachmentId());
    EXPECT_FALSE(a->isEqual(*b));
    auto empty = ZVTErrorAttachmentLog::attachmentWithBinary(ZVTBytes{}, std::nullopt, "a/b");
    EXPECT_EQ(empty->serializeToDictionary()["data"], "");
    EXPECT_FALSE(empty->serializeToDictionary().contains("fileName"));
}

TEST(ErrorModelsTest, ErrorReportDescriptionAndAppKill) {
    ZVTErrorReport::Fields f;
    f.signal = "sigKill";
    ZVTErrorReport killed(f);
    EXPECT_TRUE(killed.isAppKill());
    EXPECT_FALSE(killed.serializeToDictionary().contains("appProcessIdentifier"));
    f.signal = std::nullopt;
    f.appProcessIdentifier = 42;
    ZVTErrorReport report(f);
    EXPECT_FALSE(report.isAppKill());
    EXPECT_EQ(report.serializeToDictionary()["appProcessIdentifier"], "42");
    report.setSignal("SIGSEGV");
    EXPECT_EQ(report.signal(), "SIGSEGV");
}

}  // namespace
