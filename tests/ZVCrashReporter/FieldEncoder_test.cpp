#include "ZVCrashReporter/Source/async/FieldEncoder.h"

#include "tests/ZVCrashReporter/ReportFixtures.h"

#include "ZVCrashReporter/Source/async/ReportWriter.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <limits>

namespace {

using Bytes = std::vector<uint8_t>;
using zvcrash_fixtures::capture;

// Encodes one field into memory and checks the returned size against the bytes written.
Bytes encode(uint32_t field, uint32_t type, const void* value) {
    size_t counted = 0;
    Bytes bytes = capture([&](crash_output_file* out) {
        counted = zvcrash_field_encode(nullptr, field, type, value);
        EXPECT_EQ(zvcrash_field_encode(out, field, type, value), counted);
    });
    EXPECT_EQ(bytes.size(), counted);
    return bytes;
}

TEST(FieldEncoderTest, VarintsTakeSevenBitGroupsLowFirst) {
    struct Case {
        uint64_t value;
        Bytes expected;
    };
    const Case cases[] = {
        {0, {0x08, 0x00}},
        {127, {0x08, 0x7F}},
        {128, {0x08, 0x80, 0x01}},
        {1ull << 32, {0x08, 0x80, 0x80, 0x80, 0x80, 0x10}},
        {UINT64_MAX, {0x08, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x01}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(encode(1, ZVCRASH_FIELD_UINT64, &c.value), c.expected) << c.value;
    }
}

TEST(FieldEncoderTest, SignedKindsAndFixedWidths) {
    const int32_t minusOne = -1;
    EXPECT_EQ(encode(2, ZVCRASH_FIELD_INT32, &minusOne),
              (Bytes{0x10, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x01}));
    EXPECT_EQ(encode(2, ZVCRASH_FIELD_ENUM, &minusOne).size(), 11u);
    const int32_t s32[] = {0, -1, 1, -2, std::numeric_limits<int32_t>::min()};
    const uint64_t zz[] = {0, 1, 2, 3, 0xFFFFFFFF};
    for (size_t i = 0; i < 5; ++i) {
        EXPECT_EQ(zvcrash_zigzag64(s32[i]), zz[i]);
    }
    EXPECT_EQ(encode(1, ZVCRASH_FIELD_SINT32, &s32[3]), (Bytes{0x08, 0x03}));
    const int64_t s64 = std::numeric_limits<int64_t>::min();
    EXPECT_EQ(encode(1, ZVCRASH_FIELD_SINT64, &s64).size(), 11u);
    const uint32_t f32 = 0x01020304;
    EXPECT_EQ(encode(1, ZVCRASH_FIELD_FIXED32, &f32), (Bytes{0x0D, 0x04, 0x03, 0x02, 0x01}));
    const double d = 1.0;
    EXPECT_EQ(encode(1, ZVCRASH_FIELD_DOUBLE, &d), (Bytes{0x09, 0, 0, 0, 0, 0, 0, 0xF0, 0x3F}));
    const bool yes = true;
    EXPECT_EQ(encode(3, ZVCRASH_FIELD_BOOL, &yes), (Bytes{0x18, 0x01}));
}

TEST(FieldEncoderTest, LengthDelimitedAndLargeFieldNumbers) {
    const char* text = "abc";
    EXPECT_EQ(encode(1, ZVCRASH_FIELD_STRING, &text), (Bytes{0x0A, 3, 'a', 'b', 'c'}));
    const uint8_t raw[] = {0, 1};
    const zvcrash_bytes bytes{2, raw};
    EXPECT_EQ(encode(4, ZVCRASH_FIELD_BYTES, &bytes), (Bytes{0x22, 2, 0, 1}));
    const size_t messageLength = 300;
    EXPECT_EQ(encode(9, ZVCRASH_FIELD_MESSAGE, &messageLength), (Bytes{0x4A, 0xAC, 0x02}));
    // 0x20000000 << 3 is 2^32: the tag needs more than 32 bits.
    const uint64_t one = 1;
    EXPECT_EQ(encode(0x20000000, ZVCRASH_FIELD_UINT64, &one),
              (Bytes{0x80, 0x80, 0x80, 0x80, 0x10, 0x01}));
}

TEST(FieldEncoderDeathTest, UnknownTypeAborts) {
    const uint64_t v = 0;
    EXPECT_DEATH(zvcrash_field_encode(nullptr, 1, 17, &v), "");
}

// Every message writer's size pass equals the bytes its write pass hands over.
TEST(FieldEncoderTest, SizePassEqualsBytesWrittenForEveryMessage) {
    const auto fixture = zvcrash_fixtures::FixtureReport::full();
    const zvcrash_report_record r = fixture.record();
    const zvcrash_header_record* h = r.header;
    const std::vector<std::pair<const char*, std::function<size_t(crash_output_file*)>>> writers = {
        {"report info",
         [&](auto* o) { return zvcrash_writer_write_report_info(o, true, h->uuid); }},
        {"system", [&](auto* o) { return zvcrash_writer_write_system_info(o, h); }},
        {"machine", [&](auto* o) { return zvcrash_writer_write_machine_info(o, h); }},
        {"app", [&](auto* o) { return zvcrash_writer_write_app_info(o, h); }},
        {"process", [&](auto* o) { return zvcrash_writer_write_process_info(o, h); }},
        {"processor", [&](auto* o) { return zvcrash_writer_write_processor_info(o, 7, 3); }},
        {"thread",
         [&](auto* o) { return zvcrash_writer_write_thread(o, &r.threads[1], 512, true); }},
        {"frame",
         [&](auto* o) { return zvcrash_writer_write_thread_frame(o, &r.threads[1].frames[0]); }},
        {"symbol", [&](auto* o) { return zvcrash_writer_write_symbol(o, "main", 0x10); }},
        {"image", [&](auto* o) { return zvcrash_writer_write_binary_image(o, &r.images[0]); }},
        {"exception", [&](auto* o) { return zvcrash_writer_write_exception(o, r.exception); }},
        {"signal", [&](auto* o) { return zvcrash_writer_write_signal(o, &r.signal); }},
    };
    for (const auto& [name, write] : writers) {
        const size_t counted = write(nullptr);
        size_t written = 0;
        const Bytes bytes = capture([&](crash_output_file* out) { written = write(out); });
        EXPECT_EQ(counted, bytes.size()) << name;
        EXPECT_EQ(written, bytes.size()) << name;
    }
}

}  // namespace
