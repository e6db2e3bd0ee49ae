#include "ZevOzozidZeroduv/ZevOzozidZeroduv/Model/ZVTExceptionModel.h"

#include <gtest/gtest.h>

namespace {

struct Expected {
    const char* line;
    bool kept;
    const char* fileName;
    const char* address;
    const char* className;  // nullptr: absent
    const char* methodName;
};

// The object runtime's symbol lines keep their splitter (with its shifts); lines of the C
// library's backtrace_symbols form are read whole.
TEST(StackTraceTest, LoadsBothLineForms) {
    const Expected cases[] = {
        {"3   AppKit                              0x1f -[NSApplication run] + 660", true, "AppKit",
         "0x1f", "NSApplication", "run"},
        {"4   libdyld.dylib                       0x7fff5a1c start + 1", true, "libdyld", "dylib",
         "0x7fff5a1c", "start"},
        {"5   AppKit                              0x1f main + 1", false, "", "", nullptr, ""},
        {"/lib/x86_64-linux-gnu/libc.so.6(abort+0xd5) [0x7f0c1a2b3c4d]", true, "libc.so.6",
         "0x7f0c1a2b3c4d", nullptr, "abort"},
        {"/usr/bin/gridlark(_ZN3lap5Table4loadEv+0x1a) [0x55555555511a]", true, "gridlark",
         "0x55555555511a", "lap::Table", "load()"},
        {"/usr/bin/gridlark(+0x1a) [0x55555555511a]", true, "gridlark", "0x55555555511a", nullptr,
         nullptr},
        {"./a.out(_ZNSt6vectorIiSaIiEE9push_backEOi+0x5) [0x401000]", true, "a.out", "0x401000",
         "std::vector<int, std::allocator<int> >", "push_back(int&&)"},
        {"/opt/x(_Z3fooNSt7__cxx1112basic_stringIcSt11char_traitsIcESaIcEEE+0x5) [0x1]", true, "x",
         "0x1", nullptr,
         "foo(std::__cxx11::basic_string<char, std::char_traits<char>, std::allocator<char> >)"},
        {"/opt/x(plain_c_function) [0x2]", true, "x", "0x2", nullptr, "plain_c_function"},
    };
    for (const auto& c : cases) {
        const ZVTStackFrames frames = ZVTExceptionModel::loadStackTrace({c.line});
        ASSERT_EQ(frames.size(), c.kept ? 1u : 0u) << c.line;
        if (!c.kept) continue;
        const auto& f = *frames[0];
        EXPECT_EQ(f.fileName(), c.fileName) << c.line;
        EXPECT_EQ(f.address(), c.address) << c.line;
        EXPECT_EQ(f.frameClassName(),
                  c.className ? std::optional<std::string>(c.className) : std::nullopt)
            << c.line;
        EXPECT_EQ(f.methodName(),
                  c.methodName ? std::optional<std::string>(c.methodName) : std::nullopt)
            << c.line;
        EXPECT_FALSE(f.code().has_value());
    }
}

TEST(StackTraceTest, ConstructorsFillTypeMessageAndFrames) {
    auto fromLines = ZVTExceptionModel::initWithType(
        "T", "M",
        std::vector<std::string>{"5   AppKit                              0x1f main + 1"});
    ASSERT_TRUE(fromLines->frames());
    EXPECT_TRUE(fromLines->frames()->empty());
    EXPECT_FALSE(fromLines->isValid());
    EXPECT_EQ(fromLines->serializeToDictionary()["frames"], ZVTJson::array());
    EXPECT_EQ(fromLines->stackTrace(),
              "(\n    5   AppKit                              0x1f main + 1\n)");

    // Without a list, the current thread's stack: this test's own frames.
    auto current = ZVTExceptionModel::initWithType("T", std::nullopt, std::nullopt);
    ASSERT_TRUE(current->frames());
    EXPECT_GT(current->frames()->size(), 2u);
    EXPECT_TRUE(current->isValid());

    auto fromError = ZVTExceptionModel::initWithError(ZVTPlatformError{"dom", 3, {}});
    EXPECT_EQ(fromError->type(), "dom");
    EXPECT_FALSE(fromError->message());
    auto withInfo = ZVTExceptionModel::initWithError(ZVTPlatformError{"dom", 3, {{"k", "v"}}});
    EXPECT_EQ(withInfo->message(), "{\n    k = v;\n}");

    auto noStack = ZVTExceptionModel::initWithException(ZVTExceptionLike{"N", "R", std::nullopt});
    EXPECT_FALSE(noStack->stackTrace());
    EXPECT_FALSE(noStack->frames()->empty());
    auto cxx = ZVTExceptionModel::initWithException(std::runtime_error("boom"));
    EXPECT_EQ(cxx->type(), "std::runtime_error");
    EXPECT_EQ(cxx->message(), "boom");
}

}  // namespace
