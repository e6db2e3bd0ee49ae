#include "tests/support/TempDir.h"
#include "tests/views/ChartWorld.h"

#include "views/MVInfoTableView.h"
#include "views/MVPopOverInfoViewController.h"

#include "widgets/MVProgressHUD.h"
#include "widgets/MVTableView.h"

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QScreen>
#include <QTest>
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace {

using Keys = std::vector<std::string>;
const Keys kStandard = {"velocity",   "delta t", "lat acc", "long acc",
                        "combined g", "utc",     "distance"};

TEST(ChannelChooser, ListsTheStandardKeysFirstThenEverySessionKeyOnce) {
    const Keys sorted = MVPopOverInfoViewController::sortOriginalArrayOfHeaders(
        {{"time", "velocity", "rpm", "avifileindex", "avisynctime", "Timestamp USEC", "water"},
         {"time", "rpm", "oil", "heading", "lat acc"}});
    Keys expected = kStandard;
    for (const char* key : {"rpm", "water", "oil", "heading"}) expected.push_back(key);
    EXPECT_EQ(sorted, expected);
    EXPECT_EQ(MVPopOverInfoViewController::sortOriginalArrayOfHeaders({}), kStandard);
}

// The lateral and combined g come from the headings: sessions without any offer neither (a
// logger's own "lat acc" column included, which is never read), since they could only chart
// "N/A"; one session with headings among several offers both.
TEST(ChannelChooser, LeavesOutWhatNoSessionCanGive) {
    const Keys withoutHeadings = {"velocity", "delta t", "long acc", "utc",
                                  "distance", "rpm",     "lat acc g"};
    EXPECT_EQ(MVPopOverInfoViewController::sortOriginalArrayOfHeaders(
                  {{"time", "velocity", "rpm", "lat acc"}, {"time", "lat acc g"}}),
              withoutHeadings);
    Keys withHeadings = kStandard;
    for (const char* key : {"rpm", "heading"}) withHeadings.push_back(key);
    EXPECT_EQ(MVPopOverInfoViewController::sortOriginalArrayOfHeaders(
                  {{"time", "velocity", "rpm"}, {"time", "heading"}}),
              withHeadings);
}

TEST(ChannelChooser, ToggleTable) {
    const Keys six = {"a", "b", "c", "d", "e", "f"};
    struct Case {
        Keys selected;
        std::string key;
        std::optional<Keys> result;
        bool refused;
    } cases[] = {
        {{"a"}, "a", std::nullopt, false},  // the last channel stays
        {{"a"}, "b", Keys{"a", "b"}, false},
        {{"a", "b"}, "a", Keys{"b"}, false},
        {{"a", "b", "c", "d", "e"}, "c", Keys{"a", "b", "d", "e"}, false},
        {{"a", "b", "c", "d", "e"}, "x", Keys{"a", "b", "c", "d", "e", "x"}, false},
        {six, "x", std::nullopt, true},                    // a seventh is refused
        {six, "f", Keys{"a", "b", "c", "d", "e"}, false},  // removing from six is allowed
        {{}, "a", std::nullopt, false},
        {{"a", "b", "c", "d", "e", "f", "g"}, "a", std::nullopt, false},
    };
    for (const Case& c : cases) {
        const auto toggle = MVPopOverInfoViewController::toggle(c.selected, c.key);
        EXPECT_EQ(toggle.keys, c.result) << c.key << " of " << c.selected.size();
        EXPECT_EQ(toggle.refused, c.refused) << c.key << " of " << c.selected.size();
    }
}

TEST(ChannelChooser, HeightIsCappedAtTheScreensAvailableHeight) {
    EXPECT_EQ(MVPopOverInfoViewController::heightForRows(10, 900), 250);
    EXPECT_EQ(MVPopOverInfoViewController::heightForRows(55, 900), 900);
    EXPECT_EQ(MVPopOverInfoViewController::heightForRows(55, 0), 1150);  // no screen known
}

// A logger with CAN data: 55 channels on a screen that shows fewer; every one can be reached.
TEST(ChannelChooser, ManyChannelsFitOnTheScreenAndTheListScrolls) {
    testing_support::ChartWorld world;
    QWidget anchor;
    anchor.resize(40, 20);
    anchor.show();
    Keys session = {"time", "heading"};
    for (int i = 0; i < 47; ++i) session.push_back("can " + std::to_string(i));
    MVPopOverInfoViewController chooser{world.global};
    chooser.setAlert([](QWidget*, const QString&) {});
    chooser.setArrayOfHeaders({session});
    chooser.setArrayOfSelectedKeys({"velocity"});
    chooser.awakeFromNib();
    ASSERT_EQ(chooser.arrayOfSortedHeaders().size(), 55u);
    chooser.showRelativeTo(&anchor);
    const QRect screen = anchor.screen()->availableGeometry();
    ASSERT_LT(screen.height(), 55 * 20 + 50);
    EXPECT_EQ(chooser.height(), screen.height());

    MVTableView* table = chooser.infoTableView()->mainTable();
    QApplication::processEvents();
    const QModelIndex last = table->model()->index(54, 0);
    EXPECT_FALSE(table->viewport()->rect().contains(table->visualRect(last)));
    table->scrollTo(last);
    EXPECT_TRUE(table->viewport()->rect().contains(table->visualRect(last)));
    chooser.close();
}

class ChannelChooserView : public ::testing::Test {
  protected:
    void SetUp() override {
        chooser.setAlert([this](QWidget*, const QString& text) { alerts.push_back(text); });
        chooser.setChartView(&chart);
        chooser.setArrayOfHeaders({{"time", "velocity", "rpm"}, {"rpm", "oil", "heading"}});
        chooser.setArrayOfSelectedKeys({"velocity"});
        chooser.awakeFromNib();
        token = world.global.observeSelectedKeys(
            [this](const Keys&, const Keys& keys) { published.push_back(keys); });
    }

    void clickRow(int row) {
        MVTableView* table = chooser.infoTableView()->mainTable();
        const QRect rect = table->visualRect(table->model()->index(row, 0));
        QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, rect.center());
    }

    testing_support::ChartWorld world;
    QWidget chart;
    MVPopOverInfoViewController chooser{world.global};
    std::vector<QString> alerts;
    std::vector<Keys> published;
    platform::ObserverToken token;
};

TEST_F(ChannelChooserView, ClicksToggleChannelsAndRefuseASeventh) {
    EXPECT_EQ(chooser.size(), QSize(250, 10 * 20 + 50));
    auto* model = chooser.infoTableView()->model();
    QAbstractItemModelTester tester(model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    EXPECT_EQ(model->data(model->index(0, 0)).toString(), "speed");
    EXPECT_EQ(model->data(model->index(5, 0)).toString(), "utc time");
    chooser.show();

    clickRow(0);  // the only charted channel stays
    EXPECT_TRUE(published.empty());
    clickRow(7);  // rpm
    clickRow(7);  // a second click on the same row takes it back out
    ASSERT_EQ(published.size(), 2u);
    EXPECT_EQ(published[0], (Keys{"velocity", "rpm"}));
    EXPECT_EQ(published[1], (Keys{"velocity"}));
    for (int row : {1, 2, 3, 4, 5}) chooser.infoTableView()->tableViewSelected(row);
    EXPECT_EQ(chooser.arrayOfSelectedKeys().size(), 6u);
    chooser.infoTableView()->tableViewSelected(8);
    EXPECT_EQ(alerts, std::vector<QString>{"Maximum number of graph parameters selected."});
    EXPECT_EQ(chooser.arrayOfSelectedKeys().size(), 6u);
    EXPECT_EQ(chooser.infoTableView()->arrayOfSelectedHeaders(), chooser.arrayOfSelectedKeys());
    EXPECT_TRUE(model->isSelected("utc"));
}

TEST_F(ChannelChooserView, ClicksAreIgnoredWhileTheChartIsBusy) {
    MVProgressHUD::showHUDAddedTo(&chart, false);
    chooser.infoTableView()->tableViewSelected(7);
    EXPECT_TRUE(published.empty());
    MVProgressHUD::hideHUDForView(&chart, false);
    chooser.infoTableView()->tableViewSelected(7);
    EXPECT_EQ(published.size(), 1u);
}

}  // namespace
