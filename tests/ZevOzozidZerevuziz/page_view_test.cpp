#include "tests/ZevOzozidZerevuziz/ZVZServiceFixture.h"
#include "tests/support/MainQueuePump.h"

#include "ZevOzozidZerevuziz/ZevOzozidZerevuziz/Category/ZVTZerevuzizCategory.h"

#include "ZevOzozid/ZevOzozid/Internals/DelegateForwarder/ZVTAppDelegateForwarder.h"

namespace {

TEST(PageViewNameTest, FollowsTheClassName) {
    struct Case {
        const char* className;
        std::optional<std::string> page;
    };
    for (const Case& c :
         {Case{"App.SettingsViewController", "Settings"}, Case{"LapsViewController", "Laps"},
          Case{"ViewController", "ViewController"}, Case{"Outer.Inner.MapView", "MapView"},
          Case{"NSTabViewController", std::nullopt}, Case{"NSSplitViewController", std::nullopt},
          Case{"NSPageController", std::nullopt}, Case{"MyNSTabViewController", "MyNSTab"},
          Case{"", ""}}) {
        EXPECT_EQ(ZVTZerevuzizCategory::pageNameForClassName(c.className), c.page) << c.className;
    }
}

class PageViewTest : public zvz_test::ServiceTest {
  protected:
    void TearDown() override {
        testing_support::MainQueuePump::drain();
        ZVTZerevuziz::resetSharedInstance();
        ZVTZerevuzizCategory::resetMissedPageViewName();
        ZVTAppDelegateForwarder::resetSharedInstance();
        ServiceTest::TearDown();
    }
    ZVTZerevuziz& shared() { return ZVTZerevuziz::sharedInstance(); }
};

TEST_F(PageViewTest, MissedPageIsTrackedOnceWhenTheServiceIsEnabled) {
    ZVTZerevuzizCategory::pageWillAppear("App.SettingsViewController");  // tracking off
    EXPECT_FALSE(ZVTZerevuzizCategory::missedPageViewName());

    ZVTZerevuziz::setAutoPageTrackingEnabled(true);
    ZVTZerevuzizCategory::pageWillAppear("App.SettingsViewController");
    ZVTZerevuzizCategory::pageWillAppear("LapsViewController");
    EXPECT_EQ(ZVTZerevuzizCategory::missedPageViewName(), "Laps");

    shared().startWithChannelGroup(group, std::string("app-secret"), std::nullopt, true);
    testing_support::MainQueuePump::drain();
    auto pages = logsOf<ZVTPageLog>();
    ASSERT_EQ(pages.size(), 1u);
    EXPECT_EQ(pages[0]->name(), "Laps");
    EXPECT_EQ(ZVTZerevuzizCategory::missedPageViewName(), "Laps");  // the replay keeps it

    // The host routes its pages through the forwarder.
    ZVTZerevuzizCategory::activateCategory();
    auto forwarder = ZVTAppDelegateForwarder::sharedInstance();
    forwarder->setHostDelegate("GridlarkShell", {ZVTZerevuzizCategory::kPageWillAppearCallback});
    EXPECT_TRUE(
        forwarder->routedCallbacks().contains(ZVTZerevuzizCategory::kPageWillAppearCallback));
    forwarder->forward(ZVTZerevuzizCategory::kPageWillAppearCallback,
                       {std::string("NSTabViewController")});
    forwarder->forward(ZVTZerevuzizCategory::kPageWillAppearCallback,
                       {std::string("App.MapViewController")});
    pages = logsOf<ZVTPageLog>();
    ASSERT_EQ(pages.size(), 2u);
    EXPECT_EQ(pages[1]->name(), "Map");
    EXPECT_FALSE(ZVTZerevuzizCategory::missedPageViewName());
}

}  // namespace
