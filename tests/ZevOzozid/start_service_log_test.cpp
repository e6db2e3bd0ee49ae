#include "tests/ZevOzozid/ZVTStorageFixture.h"

#include "ZevOzozid/ZevOzozid/Internals/Model/ZVTStartServiceLog.h"
#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTUtility.h"

#include <gtest/gtest.h>

namespace {

std::shared_ptr<ZVTStartServiceLog> startLog(std::optional<std::vector<std::string>> services,
                                             bool csEnabled) {
    auto log = std::make_shared<ZVTStartServiceLog>();
    log->setTimestamp(ZVTDate(std::chrono::milliseconds(1'700'000'000'000)));
    log->setDevice(zvt_test::storedDevice());
    log->setServices(std::move(services));
    log->setIsCSCollectorEnabled(csEnabled);
    return log;
}

}  // namespace

TEST(ZVTStartServiceLog, WritesServicesOnlyWhenSet) {
    auto empty = startLog(std::vector<std::string>{}, false)->serializeToDictionary();
    EXPECT_EQ(empty["type"], "startService");
    EXPECT_EQ(empty["services"], ZVTJson::array());
    EXPECT_EQ(empty["isCSCollectorEnabled"], false);

    auto none = startLog(std::nullopt, true)->serializeToDictionary();
    EXPECT_FALSE(none.contains("services"));
    EXPECT_FALSE(none.contains("isCSCollectorEnabled"));

    auto two = startLog(std::vector<std::string>{"Zeroduv", "Zerevuziz"}, true);
    EXPECT_TRUE(two->isValid());
    EXPECT_EQ(*two->serializeLogWithPrettyPrinting(false),
              R"({"type":"startService","timestamp":"2023-11-14T22:13:20.000Z",)"
              R"("device":)" +
                  two->device()->serializeToDictionary().dump() +
                  R"(,"services":["Zeroduv","Zerevuziz"],"isCSCollectorEnabled":true})");
}

TEST(ZVTStartServiceLog, EqualityIgnoresTheCollectorFlagAndArchivesBoth) {
    auto a = startLog(std::vector<std::string>{"Zeroduv"}, true);
    auto b = startLog(std::vector<std::string>{"Zeroduv"}, false);
    EXPECT_TRUE(a->isEqual(*b));
    EXPECT_FALSE(a->isEqual(*startLog(std::vector<std::string>{"Zerevuziz"}, true)));
    EXPECT_FALSE(a->isEqual(*startLog(std::nullopt, true)));
    EXPECT_TRUE(startLog(std::nullopt, true)->isEqual(*startLog(std::nullopt, false)));

    auto bytes = ZVTUtility::archiveKeyedData(a.get());
    ASSERT_TRUE(bytes);
    auto back = ZVTUtility::unarchiveKeyedDataAs<ZVTStartServiceLog>(bytes);
    ASSERT_TRUE(back);
    EXPECT_TRUE(back->isEqual(*a));
    EXPECT_TRUE(back->isCSCollectorEnabled());
}
