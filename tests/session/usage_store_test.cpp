#include "tests/support/TempDir.h"

#include "session/MVCallWebservice.h"

#include <gtest/gtest.h>

#include <iostream>
#include <optional>
#include <regex>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace {

using testing_support::TempDir;
using Value = platform::UserDefaults::Value;

class UsageStoreTest : public testing::Test {
  protected:
    // Each store writes the whole pending list to the console; keep the test output readable.
    void SetUp() override { savedLog_ = std::clog.rdbuf(nullptr); }
    void TearDown() override {
        std::clog.rdbuf(savedLog_);
        std::clog.clear();
    }

    Value pending() const { return store.objectForKey("User Usage").value_or(Value()); }

    TempDir dir;
    platform::UserDefaults store{dir / "defaults.json"};

  private:
    std::streambuf* savedLog_ = nullptr;
};

TEST_F(UsageStoreTest, RecordNamesTheCircuitFile) {
    struct Case {
        std::optional<std::string> track;
        std::string component;
    };
    for (const auto& c : std::vector<Case>{{"Hilltop", "Hilltop.CIR"},
                                           {"Circuit de la Sarthe", "Circuit de la Sarthe.CIR"},
                                           {"", ".CIR"},
                                           {std::nullopt, ".CIR"}}) {
        store.removeObjectForKey("User Usage");
        MVCallWebservice::storeUserUsageWithTrack(c.track, store);
        const Value list = pending();
        ASSERT_TRUE(list.is_array());
        ASSERT_EQ(list.size(), 1u);
        EXPECT_EQ(list[0]["ComponentCode"], c.component);
    }
}

TEST_F(UsageStoreTest, RecordHoldsTheUsageFields) {
    const Value a = MVCallWebservice::makeUsageRecord("Startup");
    const Value b = MVCallWebservice::makeUsageRecord("Startup");

    const std::regex uuid("[0-9a-f]{8}-[0-9a-f]{4}-4[0-9a-f]{3}-[89ab][0-9a-f]{3}-[0-9a-f]{12}");
    ASSERT_TRUE(a["ID"].is_string());
    EXPECT_TRUE(std::regex_match(a["ID"].get<std::string>(), uuid)) << a["ID"];
    EXPECT_NE(a["ID"], b["ID"]);
    EXPECT_EQ(a["SoftwareCode"], "Gridlark - Linux");
    EXPECT_EQ(a["ComponentCode"], "Startup");
    EXPECT_EQ(a["Count"], 1);
    EXPECT_EQ(a["FakeIPAddress"], false);
    EXPECT_EQ(a["VersionNumber"], GRIDLARK_VERSION);
    EXPECT_EQ(a["OS"].get<std::string>().rfind("Linux", 0), 0u);
    if (a.contains("IPAddress")) {
        EXPECT_TRUE(MVCallWebservice::reportableAddress(a["IPAddress"].get<std::string>()));
    }
}

TEST_F(UsageStoreTest, AppendsToTheStoredListAcrossReopenedStores) {
    MVCallWebservice::storeUserUsageWithTrack("Hilltop", store);
    {
        platform::UserDefaults reopened(store.file());
        MVCallWebservice::storeUserUsageWithTrack("Valley", reopened);
    }
    store.reload();
    const Value list = pending();
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0]["ComponentCode"], "Hilltop.CIR");
    EXPECT_EQ(list[1]["ComponentCode"], "Valley.CIR");
}

TEST_F(UsageStoreTest, StoredValueThatIsNoListOfMapsIsReplaced) {
    for (const Value& bad : {Value("text"), Value::array({Value::object(), 3}), Value::object()}) {
        store.setObject("User Usage", bad);
        EXPECT_FALSE(MVCallWebservice::pendingUsageList(store).has_value()) << bad;
        MVCallWebservice::storeUserUsageWithTrack("Hilltop", store);
        const Value list = pending();
        ASSERT_EQ(list.size(), 1u) << bad;
        EXPECT_EQ(list[0]["ComponentCode"], "Hilltop.CIR");
    }
}

TEST_F(UsageStoreTest, PendingListKeepsTheNewestRecordsOnly) {
    Value full = Value::array();
    for (std::size_t i = 0; i < MVCallWebservice::kMaxPendingUsageRecords; ++i) {
        full.push_back(Value{{"ComponentCode", "old" + std::to_string(i)}});
    }
    store.setObject("User Usage", full);
    MVCallWebservice::storeUserUsageWithTrack("Hilltop", store);
    const Value list = pending();
    ASSERT_EQ(list.size(), MVCallWebservice::kMaxPendingUsageRecords);
    EXPECT_EQ(list.front()["ComponentCode"], "old1");  // the oldest went
    EXPECT_EQ(list.back()["ComponentCode"], "Hilltop.CIR");
}

TEST_F(UsageStoreTest, RecordsStoredAtTheSameMomentAreAllKept) {
    constexpr int kThreads = 4;
    constexpr int kEach = 10;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < kEach; ++i) {
                MVCallWebservice::storeUserUsageWithTrack("T" + std::to_string(t), store);
            }
        });
    }
    for (auto& thread : threads) thread.join();

    const Value list = pending();
    ASSERT_EQ(list.size(), static_cast<size_t>(kThreads * kEach));
    std::set<std::string> ids;
    for (const auto& record : list) ids.insert(record["ID"].get<std::string>());
    EXPECT_EQ(ids.size(), list.size());
}

TEST(UsageAddress, OnlyDottedAddressesNotBeginningWith192AreReported) {
    struct Case {
        const char* address;
        bool reported;
    };
    for (const auto& c : std::vector<Case>{{"10.0.0.5", true},
                                           {"172.16.4.1", true},
                                           {"::ffff:10.1.2.3", true},
                                           {"192.168.1.20", false},
                                           {"192.0.2.1", false},
                                           {"fe80::1c2:3ff:fe4d:5e6f", false},
                                           {"", false}}) {
        EXPECT_EQ(MVCallWebservice::reportableAddress(c.address), c.reported) << c.address;
    }
}

}  // namespace
