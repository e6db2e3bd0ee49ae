#include "tests/ZVCrashReporter/UnwindSupport.h"
#include "tests/ZVCrashReporter/zvtest/zvtest_library.h"

#include "ZVCrashReporter/Source/async/SymbolLookup.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <string>

#include <execinfo.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

struct Walked {
    std::vector<uint64_t> walk, oracle;
};

UnwindImages* g_images = nullptr;

int recordWalk(zvcrash_async_thread_state* state, void* context) {
    auto* out = static_cast<Walked*>(context);
    uint64_t pcs[64];
    out->walk.assign(pcs, pcs + walkStack(&g_images->set, state, pcs, 64));
    return 42;
}

__attribute__((noinline)) int captureHere(void* context) {
    const int result = capture_current_thread_state(recordWalk, context);
    void* oracle[64];
    const int n = backtrace(oracle, 64);
    auto* out = static_cast<Walked*>(context);
    for (int i = 0; i < n; ++i) out->oracle.push_back(reinterpret_cast<uint64_t>(oracle[i]));
    return result;
}

// Both walks start in captureHere (at different calls): from the caller on they must agree. The
// oracle may hold frames of its own first (a sanitizer's interceptor).
void expectSameCallers(const Walked& w) {
    ASSERT_GE(w.walk.size(), 4u);
    const std::vector<uint64_t> ours(w.walk.begin() + 1, w.walk.end());
    const auto start = std::find(w.oracle.begin(), w.oracle.end(), ours[0]);
    ASSERT_NE(start, w.oracle.end());
    std::vector<uint64_t> theirs(start, w.oracle.end());
    theirs.resize(std::min(theirs.size(), ours.size()));
    EXPECT_GE(theirs.size(), 3u);
    EXPECT_EQ(std::vector<uint64_t>(ours.begin(), ours.begin() + theirs.size()), theirs);
}

class UnwindTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        g_images = new UnwindImages;
        g_images->collect();
    }
    static void TearDownTestSuite() {
        delete g_images;
        g_images = nullptr;
    }
};

TEST_F(UnwindTest, CapturedStateWalksThroughTheLibraryAndQsort) {
    Walked direct;
    EXPECT_EQ(zvtest_exported(captureHere, &direct), 42 + 1 + 1);
    expectSameCallers(direct);

    Walked sorted;
    zvtest_sort_with_callback(captureHere, &sorted);
    expectSameCallers(sorted);
    // The walk passes qsort on its way up.
    const elf_image* libc =
        zvcrash_image_set_find(&g_images->set, reinterpret_cast<uint64_t>(&qsort));
    ASSERT_NE(libc, nullptr);
    bool throughLibc = false;
    for (uint64_t pc : sorted.walk) throughLibc |= elf_image_contains_address(libc, pc);
    EXPECT_TRUE(throughLibc);
}

TEST_F(UnwindTest, ChildSignalContextWalksThroughAbortToMain) {
    int out[2];
    ASSERT_EQ(pipe(out), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        dup2(out[1], STDOUT_FILENO);
        execl(ZVCRASH_UNWIND_CHILD, ZVCRASH_UNWIND_CHILD, static_cast<char*>(nullptr));
        _exit(127);
    }
    close(out[1]);
    std::string text;
    char buf[4096];
    for (ssize_t n; (n = read(out[0], buf, sizeof buf)) > 0;)
        text.append(buf, static_cast<size_t>(n));
    close(out[0]);
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << text;
    std::istringstream lines(text);
    std::string line;
    std::vector<uint64_t> walk, oracle;
    uint64_t mainAddress = 0;
    while (std::getline(lines, line)) {
        std::istringstream words(line);
        std::string tag;
        words >> tag;
        std::vector<uint64_t>& into = tag == "walk" ? walk : oracle;
        for (std::string word; words >> word;) {
            if (tag == "main") {
                mainAddress = std::stoull(word, nullptr, 16);
            } else {
                into.push_back(std::stoull(word, nullptr, 16));
            }
        }
    }
    ASSERT_GE(walk.size(), 4u) << text;
    // The oracle starts in the handler; from the interrupted instruction on both must agree.
    const auto start = std::find(oracle.begin(), oracle.end(), walk[0]);
    ASSERT_NE(start, oracle.end()) << text;
    const std::vector<uint64_t> theirs(start, oracle.end());
    const size_t n = std::min(theirs.size(), walk.size());
    EXPECT_EQ(std::vector<uint64_t>(walk.begin(), walk.begin() + n),
              std::vector<uint64_t>(theirs.begin(), theirs.begin() + n))
        << text;
    // Main is reached past the noreturn call of abort().
    bool reachedMain = false;
    for (uint64_t pc : walk) reachedMain |= pc > mainAddress && pc - mainAddress < 0x1000;
    EXPECT_TRUE(reachedMain) << text;
}

TEST(FrameCursorTest, FirstStepAndFramePointerChain) {
    // A fake stack of frame records: fp -> {saved fp, return address}.
    uint64_t stack[8] = {};
    const auto at = [&](int i) { return reinterpret_cast<uint64_t>(&stack[i]); };
    stack[0] = at(2);  // frame 0 record: saved fp, return address
    stack[1] = 0x401000 + 0x10;
    stack[2] = at(4);
    stack[3] = 0x401020;
    stack[4] = at(0);  // points back down: a loop
    stack[5] = 0x401030;
    zvcrash_async_thread_state state;
    thread_state_init(&state);
    thread_state_set_reg(&state, ZVCRASH_REG_IP, 0x401000);
    thread_state_set_reg(&state, ZVCRASH_REG_FP, at(0));
    const frame_reader fp[] = {read_frame_pointer_frame};
    stack_frame_cursor cursor;
    stack_frame_cursor_init(&cursor, zvcrash_async_task_self(), &state, nullptr);
    ASSERT_EQ(stack_frame_cursor_next_with_readers(&cursor, fp, 1), FRAME_WALK_ESUCCESS);
    uint64_t v = 0;
    ASSERT_EQ(stack_frame_cursor_get_reg(&cursor, ZVCRASH_REG_IP, &v), FRAME_WALK_ESUCCESS);
    EXPECT_EQ(v, 0x401000u);
    ASSERT_EQ(stack_frame_cursor_next_with_readers(&cursor, fp, 1), FRAME_WALK_ESUCCESS);
    EXPECT_EQ(cursor.current.regs[ZVCRASH_REG_IP], 0x401010u);
    EXPECT_TRUE(thread_state_has_reg(&cursor.current, ZVCRASH_REG_SP));
    EXPECT_EQ(cursor.current.regs[ZVCRASH_REG_SP], at(0) + 16);
    EXPECT_EQ(stack_frame_cursor_get_reg(&cursor, ZVCRASH_REG_RAX, &v), FRAME_WALK_ENOTSUP);
    ASSERT_EQ(stack_frame_cursor_next_with_readers(&cursor, fp, 1), FRAME_WALK_ESUCCESS);
    ASSERT_EQ(stack_frame_cursor_next_with_readers(&cursor, fp, 1), FRAME_WALK_ESUCCESS);
    // The chain now points back down the stack: corrupted.
    EXPECT_EQ(stack_frame_cursor_next_with_readers(&cursor, fp, 1), FRAME_WALK_EBADFRAME);
    EXPECT_EQ(stack_frame_cursor_next_with_readers(&cursor, fp, 0), FRAME_WALK_EINVAL);

    stack[1] = 0x1000;  // a return address of 4096 or less ends the walk
    stack_frame_cursor_init(&cursor, zvcrash_async_task_self(), &state, nullptr);
    stack_frame_cursor_next_with_readers(&cursor, fp, 1);
    EXPECT_EQ(stack_frame_cursor_next_with_readers(&cursor, fp, 1), FRAME_WALK_ENOFRAME);
    EXPECT_STREQ(frame_walk_error_name(3), "Corrupted frame");
    EXPECT_STREQ(thread_state_get_reg_name(&state, 20), "gs");
}

}  // namespace
