#include "tests/ZevOzozid/ZVTStoreChildLogs.h"

#include "platform/ChildProcess.h"

#include "ZevOzozid/ZevOzozid/Internals/Storage/ZVTLogDBStorage.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <map>
#include <random>
#include <set>
#include <sstream>

namespace {

struct RoundOutput {
    std::set<std::string> acked;
    std::set<std::string> deleted;
};

// Runs the child until it acknowledged `target` saves, then kills it (SIGKILL).
RoundOutput runChild(int round, bool tiny, unsigned seed, int target) {
    RoundOutput out;
    std::string pending;
    struct Enough {};
    platform::ProcessOptions options;
    options.timeout = std::chrono::seconds(60);
    options.onOutput = [&](const std::string& chunk) {
        pending += chunk;
        size_t end;
        while ((end = pending.find('\n')) != std::string::npos) {
            const std::string line = pending.substr(0, end);
            pending.erase(0, end + 1);
            if (line.rfind("ack ", 0) == 0) out.acked.insert(line.substr(4));
        }
        if (static_cast<int>(out.acked.size()) >= target) throw Enough{};
    };
    try {
        platform::runProcess({ZVT_STORE_CHILD, std::to_string(round), tiny ? "tiny" : "normal",
                              std::to_string(seed)},
                             options);
    } catch (const Enough&) {
    }
    // Logs the child deleted (or was about to delete when it was killed).
    const std::string deletedPath = std::string(std::getenv("XDG_DATA_HOME")) + "/deleted.txt";
    std::ifstream deleted(deletedPath);
    for (std::string sid; std::getline(deleted, sid);) out.deleted.insert(sid);
    deleted.close();
    std::remove(deletedPath.c_str());
    return out;
}

TEST(ZVTLogDBStorageKill, AcknowledgedLogsSurviveAKilledProcess) {
    zvt_test::DataHomeFixture home;
    const unsigned seed = std::random_device{}();
    std::printf("kill test seed %u\n", seed);
    std::mt19937 random(seed);
    std::set<std::string> required;  // acknowledged and neither deleted nor open to eviction
    for (int round = 0; round < 30; ++round) {
        const bool tiny = round % 5 == 4;
        const int target = 1 + static_cast<int>(random() % 150);
        RoundOutput out = runChild(round, tiny, random(), target);
        ASSERT_GE(static_cast<int>(out.acked.size()), target) << "seed " << seed;
        for (const auto& sid : out.acked) required.insert(sid);
        for (const auto& sid : out.deleted) required.erase(sid);
        if (tiny) required.clear();  // a tiny cap may have evicted anything stored so far

        ZVTLogDBStorage store;
        ASSERT_EQ(store.configurationResult(), 0) << "seed " << seed << " round " << round;
        auto check = store.executeSelectionQuery("PRAGMA integrity_check;");
        ASSERT_EQ(std::get<std::string>(check.at(0).at(0)), "ok") << "seed " << seed;
        std::map<std::string, std::shared_ptr<ZVTLog>> stored;
        store.loadLogsWithGroupId("G", UINT64_MAX, std::nullopt,
                                  [&](const auto& logs, const auto&) {
                                      for (const auto& log : logs) stored[*log->sid()] = log;
                                  });
        for (const auto& [sid, log] : stored) {
            int r = 0, n = 0;
            ASSERT_EQ(std::sscanf(sid.c_str(), "r%d-%d", &r, &n), 2);
            EXPECT_TRUE(log->isEqual(*zvt_test::childLog(r, n))) << sid << " seed " << seed;
        }
        for (const auto& sid : required) {
            EXPECT_TRUE(stored.count(sid)) << sid << " lost, seed " << seed << " round " << round;
        }
    }
}

}  // namespace
