#include "tests/ZevOzozid/ZVTTestSupport.h"
#include "tests/support/MainQueuePump.h"

#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTCompression.h"
#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTDispatcherUtil.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <atomic>

namespace {

using zvt_test::LogCapture;

std::vector<uint8_t> gunzip(const std::vector<uint8_t>& in) {
    z_stream s{};
    inflateInit2(&s, 31);
    std::vector<uint8_t> out(1 << 16);
    s.next_in = const_cast<Bytef*>(in.data());
    s.avail_in = static_cast<uInt>(in.size());
    s.next_out = out.data();
    s.avail_out = static_cast<uInt>(out.size());
    int rc = inflate(&s, Z_FINISH);
    EXPECT_EQ(rc, Z_STREAM_END);
    out.resize(s.total_out);
    inflateEnd(&s);
    return out;
}

TEST(ZVTCompression, GzipsBodiesThatFitTheFixedRoom) {
    std::string text;
    while (text.size() < 1400) text += "lap 12 sector 3 time 00:31.204; ";
    text.resize(1400);
    std::vector<uint8_t> body(text.begin(), text.end());
    auto packed = ZVTCompression::compressData(body);
    ASSERT_TRUE(packed);
    EXPECT_LT(packed->size(), 200u);
    EXPECT_EQ((*packed)[0], 0x1F);
    EXPECT_EQ((*packed)[1], 0x8B);
    EXPECT_EQ(gunzip(*packed), body);

    LogCapture log;
    EXPECT_FALSE(ZVTCompression::compressData({'x'}));
    EXPECT_EQ(log.count(ZVTLogLevelError, "Deflate failed with error: No progress is possible."),
              1u);
    EXPECT_FALSE(ZVTCompression::compressData({}));
}

TEST(ZVTDispatcherUtil, MainThreadBlocksAndBoundedWaits) {
    bool ran = false;
    ZVTDispatcherUtil::performBlockOnMainThread([&] { ran = true; });
    EXPECT_FALSE(ran);
    testing_support::MainQueuePump::drain();
    EXPECT_TRUE(ran);

    platform::SerialQueue queue("zvt.test");
    std::atomic<int> done{0};
    ZVTDispatcherUtil::dispatchSyncWithTimeout(5, queue, [&] { done = 1; });
    EXPECT_EQ(done.load(), 1);

    // A block held back past the time-out: the call returns, the block still runs later.
    auto release = std::make_shared<platform::Semaphore>();
    ZVTDispatcherUtil::dispatchSyncWithTimeout(0.01, queue, [&, release] {
        release->wait(std::chrono::seconds(5));
        done = 2;
    });
    EXPECT_EQ(done.load(), 1);
    release->signal();
    EXPECT_TRUE(queue.drainFor(std::chrono::seconds(5)));
    EXPECT_EQ(done.load(), 2);
}

}  // namespace
