#include "ZVCrashReporter/Source/async/AsyncMemory.h"

#include "ZVCrashReporter/Source/async/AsyncIO.h"
#include "ZVCrashReporter/Source/async/MemoryObject.h"

#include <gtest/gtest.h>

#include <cstring>

#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// Three pages: readable, PROT_NONE, unmapped.
class Pages {
  public:
    Pages() {
        base_ = static_cast<uint8_t*>(
            mmap(nullptr, 3 * kPage, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
        for (size_t i = 0; i < kPage; ++i) base_[i] = static_cast<uint8_t>(i);
        mprotect(base_ + kPage, kPage, PROT_NONE);
        munmap(base_ + 2 * kPage, kPage);
    }
    ~Pages() { munmap(base_, 2 * kPage); }
    uint64_t readable() const { return reinterpret_cast<uint64_t>(base_); }
    uint64_t denied() const { return readable() + kPage; }
    uint64_t unmapped() const { return readable() + 2 * kPage; }
    static constexpr size_t kPage = 4096;

  private:
    uint8_t* base_;
};

class AsyncMemoryTest : public ::testing::TestWithParam<bool> {
  protected:
    void SetUp() override {
        zvcrash_async_memory_setup();
        zvcrash_async_memory_force_pipe(GetParam());
    }
    void TearDown() override { zvcrash_async_memory_force_pipe(false); }
    Pages pages;
};

TEST_P(AsyncMemoryTest, ReadsFailWithACodeInsteadOfAFault) {
    const zvcrash_task_t self = zvcrash_async_task_self();
    uint8_t buf[64] = {};
    EXPECT_EQ(zvcrash_async_task_memcpy(self, pages.readable(), 16, buf, 8), ZVCRASH_ESUCCESS);
    EXPECT_EQ(buf[0], 16);
    EXPECT_EQ(zvcrash_async_task_memcpy(self, UINT64_MAX - 15, 32, buf, 1), ZVCRASH_ENOMEM);
    EXPECT_EQ(zvcrash_async_task_memcpy(self, 16, -32, buf, 1), ZVCRASH_ENOMEM);
    EXPECT_EQ(zvcrash_async_task_memcpy(self, pages.unmapped(), 0, buf, 8), ZVCRASH_ENOTFOUND);
    EXPECT_EQ(zvcrash_async_task_memcpy(self, pages.denied(), 0, buf, 8), ZVCRASH_EACCESS);
    // A read that runs from a readable page into a denied one fails whole.
    EXPECT_EQ(zvcrash_async_task_memcpy(self, pages.denied() - 8, 0, buf, 16), ZVCRASH_EACCESS);
    // Reading into a destination that is not mapped is refused too.
    void* hole = reinterpret_cast<void*>(pages.unmapped());
    EXPECT_NE(zvcrash_async_task_memcpy(self, pages.readable(), 0, hole, 8), ZVCRASH_ESUCCESS);
}

TEST_P(AsyncMemoryTest, WindowsCheckTheirPagesAndBounds) {
    const zvcrash_task_t self = zvcrash_async_task_self();
    zvcrash_async_mobject w{};
    EXPECT_EQ(mobject_init(&w, self, pages.readable() + 100, 0, false), ZVCRASH_ENOMEM);
    ASSERT_EQ(mobject_init(&w, self, pages.readable() + 100, 50, true), ZVCRASH_ESUCCESS);
    EXPECT_EQ(mobject_task_address(&w), pages.readable() + 100);
    EXPECT_EQ(mobject_length(&w), 50u);
    EXPECT_NE(mobject_remap_address(&w, pages.readable() + 140, 0, 10), nullptr);
    EXPECT_EQ(mobject_remap_address(&w, pages.readable() + 140, 0, 11), nullptr);
    EXPECT_EQ(mobject_remap_address(&w, pages.readable() + 99, 0, 1), nullptr);
    EXPECT_EQ(mobject_remap_address(&w, pages.readable() + 100, INT64_MAX, 1), nullptr);
    uint32_t v = 0;
    EXPECT_EQ(mobject_read_uint32(&w, zvcrash_async_byteorder_swapped(), pages.readable(), 100, &v),
              ZVCRASH_ESUCCESS);
    EXPECT_EQ(v, 0x64656667u);
    EXPECT_EQ(mobject_read_uint32(&w, zvcrash_async_byteorder_direct(), pages.readable(), 148, &v),
              ZVCRASH_EINVAL);
    // The readable prefix, or nothing with require_full.
    EXPECT_EQ(mobject_init(&w, self, pages.readable() + 8, 2 * Pages::kPage, true), ZVCRASH_ENOMEM);
    ASSERT_EQ(mobject_init(&w, self, pages.readable() + 8, 2 * Pages::kPage, false),
              ZVCRASH_ESUCCESS);
    EXPECT_EQ(mobject_length(&w), Pages::kPage - 8);
    EXPECT_EQ(mobject_init(&w, self, pages.denied(), 8, false), ZVCRASH_ENOMEM);
}

INSTANTIATE_TEST_SUITE_P(ProcessVmReadvAndPipe, AsyncMemoryTest, ::testing::Bool());

TEST(AsyncToolboxTest, ByteOrderStringsAndOffsets) {
    const uint8_t bytes[] = {1, 2, 3, 4};
    uint32_t v = 0;
    ASSERT_EQ(
        zvcrash_async_task_read_uint32(zvcrash_async_task_self(), zvcrash_async_byteorder_swapped(),
                                       reinterpret_cast<uint64_t>(bytes), 0, &v),
        ZVCRASH_ESUCCESS);
    EXPECT_EQ(v, 0x01020304u);
    EXPECT_EQ(zvcrash_async_strncmp("abc", "abd", 2), 0);
    EXPECT_LT(zvcrash_async_strcmp("abc", "abd"), 0);
    EXPECT_GT(zvcrash_async_strcmp("ab\xff", "ab"), 0);
    EXPECT_STREQ(zvcrash_async_strerror(10), "Unhandled error code");
    uint64_t out = 0;
    EXPECT_FALSE(zvcrash_async_address_apply_offset(UINT64_MAX - 15, 32, &out));
    EXPECT_FALSE(zvcrash_async_address_apply_offset(10, -11, &out));
    EXPECT_TRUE(zvcrash_async_address_apply_offset(10, -10, &out));
    EXPECT_EQ(out, 0u);
    EXPECT_EQ(zvcrash_async_current_thread(), gettid());
}

TEST(AsyncToolboxTest, AForkedChildReadsItsOwnMemory) {
    zvcrash_async_memory_setup();
    volatile uint64_t value = 1;
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        value = 2;
        uint64_t got = 0;
        zvcrash_async_task_memcpy(zvcrash_async_task_self(), reinterpret_cast<uint64_t>(&value), 0,
                                  &got, sizeof got);
        _exit(got == 2 ? 0 : 1);
    }
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

TEST(AsyncToolboxTest, WritenRetriesInterruptionsOnlyAndFailsOnAClosedPipe) {
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    EXPECT_EQ(zvcrash_async_writen(fds[1], "abcdef", 6), 6);
    char buf[8] = {};
    EXPECT_EQ(read(fds[0], buf, sizeof buf), 6);
    close(fds[0]);
    signal(SIGPIPE, SIG_IGN);
    EXPECT_EQ(zvcrash_async_writen(fds[1], "x", 1), -1);
    close(fds[1]);
    signal(SIGPIPE, SIG_DFL);
}

}  // namespace
