// The settings pop-over: each control writes its option through the options object (and its
// key), refusals keep the stored value on show, and the main window follows the change.
#include "tests/app/MainWindowFixture.h"

#include "app/MVLapTableModel.h"
#include "app/MVLapsController.h"
#include "app/MVMiddleView.h"
#include "app/MVPopOverSettingsViewController.h"

#include "widgets/MVSegmentedControl.h"

#include "session/MVHelperKeys.h"

#include "platform/UserDefaults.h"

#include <QMouseEvent>
#include <QTest>

#include <cmath>
#include <functional>
#include <optional>
#include <sstream>
#include <string>

namespace {

using testing_support::MainQueuePump;

class SettingsPopoverTest : public testing_support::MainWindowFixture {
  protected:
    void TearDown() override {
        MVOptionsAndSettings& o = MVOptionsAndSettings::sharedManager();
        o.safelyChangeMVDistanceUnitWithoutKVO(0);
        o.safelyChangeMVHeightUnitWithoutKVO(0);
        MainWindowFixture::TearDown();
    }

    // A click on a segment, as the user makes it.
    static void click(MVSegmentedControl* control, int segment) {
        const double x = (segment + 0.5) * control->widthForSegment(segment);
        QTest::mouseClick(control, Qt::LeftButton, {}, QPoint(static_cast<int>(x), 5));
    }

    static std::optional<std::int64_t> stored(const std::string& key) {
        const auto value = platform::UserDefaults::standard().objectForKey(key);
        if (!value || !value->is_number()) return std::nullopt;
        return value->get<std::int64_t>();
    }

    MVGLDFileManager& manager = MVGLDFileManager::sharedManager();
};

// The rows line up: every control has the same left and right edges (the three distance units
// too), each segment label shown whole, and every row label starts at the same inset.
TEST_F(SettingsPopoverTest, TheRowsLineUp) {
    MVPopOverSettingsViewController popover(manager);
    popover.show();
    QCoreApplication::processEvents();
    const QWidget* content = popover.xAxisSegment()->parentWidget();
    const QRect first = popover.xAxisSegment()->geometry();
    for (MVSegmentedControl* control :
         {popover.displayModeSegment(), popover.lapOptionsSegment(), popover.speedUnitSegment(),
          popover.distanceUnitSegment(), popover.heightUnitSegment()}) {
        const QRect r = control->geometry();
        EXPECT_EQ(r.left(), first.left()) << r.top();
        EXPECT_EQ(r.right(), first.right()) << r.top();
        EXPECT_TRUE(content->rect().contains(r));
        for (int segment = 0; segment < control->segmentCount(); ++segment) {
            EXPECT_GT(control->widthForSegment(segment),
                      control->fontMetrics().horizontalAdvance(control->labelForSegment(segment)))
                << control->labelForSegment(segment).toStdString();
        }
    }
}

TEST_F(SettingsPopoverTest, EachControlWritesItsOptionAndKey) {
    open(writeThreeLapSession("one.gld"));
    MVOptionsAndSettings& o = MVOptionsAndSettings::sharedManager();
    using Control = MVSegmentedControl* (MVPopOverSettingsViewController::*)() const;
    const struct {
        Control control;
        int segment;
        std::function<int()> option;
        const char* key;  // null: not stored
        std::int64_t storedValue;
    } cases[] = {
        {&MVPopOverSettingsViewController::xAxisSegment, 0, [&] { return o.mode(); },
         "Default_XAxisMode", 1},  // the time axis is stored as 1
        {&MVPopOverSettingsViewController::xAxisSegment, 1, [&] { return o.mode(); },
         "Default_XAxisMode", 0},
        {&MVPopOverSettingsViewController::lapOptionsSegment, 1, [&] { return o.lapOptionsMode(); },
         nullptr, 0},
        {&MVPopOverSettingsViewController::speedUnitSegment, 1, [&] { return o.speedUnit(); },
         "Default_SpeedUnit", 1},
        {&MVPopOverSettingsViewController::distanceUnitSegment, 2, [&] { return o.distanceUnit(); },
         "Default_DistanceUnit", 2},
        {&MVPopOverSettingsViewController::heightUnitSegment, 1, [&] { return o.heightUnit(); },
         "Default_HeightUnit", 1},
        {&MVPopOverSettingsViewController::displayModeSegment, 1, [&] { return o.displayMode(); },
         "Default_DisplayMode", 1},
        {&MVPopOverSettingsViewController::displayModeSegment, 0, [&] { return o.displayMode(); },
         "Default_DisplayMode", 0},
    };
    platform::UserDefaults::standard().removeObjectForKey("Default_XAxisMode");
    for (const auto& c : cases) {
        MVPopOverSettingsViewController popover(manager);
        MVSegmentedControl* control = (popover.*c.control)();
        SCOPED_TRACE(control->labelForSegment(c.segment).toStdString());
        click(control, c.segment);
        EXPECT_EQ(c.option(), c.segment);
        EXPECT_TRUE(popover.configurationIsSelected());
        if (c.key) {
            EXPECT_EQ(stored(c.key), c.storedValue);
        }
        MainQueuePump::until([&] { return controller->middleView()->enableUserInteract(); });
    }
    // Lap options are not remembered.
    EXPECT_FALSE(stored("lapOptionsMode").has_value());
}

TEST_F(SettingsPopoverTest, TheSelectedSegmentAgainChangesNothingAndStaysOpen) {
    MVPopOverSettingsViewController popover(manager);
    int calls = 0;
    auto token = MVOptionsAndSettings::sharedManager().observeSpeedUnit(
        [&](const std::int32_t&, const std::int32_t&) { ++calls; });
    click(popover.speedUnitSegment(), 0);
    EXPECT_EQ(calls, 0);
    EXPECT_FALSE(popover.configurationIsSelected());
}

TEST_F(SettingsPopoverTest, RefusedDisplayModeChangesKeepTheStoredValueShown) {
    MVOptionsAndSettings& o = MVOptionsAndSettings::sharedManager();
    platform::UserDefaults::standard().setInteger("Default_DisplayMode", 0);
    {
        // No session with laps: only the whole session can be shown; nothing is stored.
        MVPopOverSettingsViewController popover(manager);
        click(popover.displayModeSegment(), 1);
        EXPECT_EQ(popover.displayModeSegment()->selectedSegment(), 1);
        EXPECT_EQ(o.displayMode(), 0);
        EXPECT_EQ(stored("Default_DisplayMode"), 0);
        EXPECT_FALSE(popover.configurationIsSelected());
    }
    open(writeThreeLapSession("one.gld"));
    {
        // While a load runs the options refuse the change: the control shows the option.
        o.holdDisplayModeChanges();
        MVPopOverSettingsViewController popover(manager);
        click(popover.displayModeSegment(), 1);
        o.releaseDisplayModeChanges();
        EXPECT_EQ(popover.displayModeSegment()->selectedSegment(), 0);
        EXPECT_EQ(o.displayMode(), 0);
        EXPECT_EQ(stored("Default_DisplayMode"), 0);
        EXPECT_FALSE(popover.configurationIsSelected());
    }
}

TEST_F(SettingsPopoverTest, WholeSessionDisplayDisablesAxisAndLapOptions) {
    MVOptionsAndSettings::sharedManager().safelyChangeMVDisplayModeWithoutKVO(1);
    MVPopOverSettingsViewController whole(manager);
    EXPECT_EQ(whole.displayModeSegment()->selectedSegment(), 1);
    EXPECT_FALSE(whole.xAxisSegment()->isEnabled());
    EXPECT_FALSE(whole.lapOptionsSegment()->isEnabled());
    EXPECT_TRUE(whole.speedUnitSegment()->isEnabled());
    MVOptionsAndSettings::sharedManager().safelyChangeMVDisplayModeWithoutKVO(0);
    MVPopOverSettingsViewController laps(manager);
    EXPECT_TRUE(laps.xAxisSegment()->isEnabled());
}

TEST_F(SettingsPopoverTest, MphFromThePopoverChangesVMaxInTheLapTable) {
    open(writeThreeLapSession("one.gld"));
    MVLapTableModel* model = controller->lapTables().front()->model();
    int column = -1;
    for (int c = 0; c < model->columnCount(); ++c) {
        if (model->columnIdentifier(c) == QStringLiteral("vmax")) column = c;
    }
    ASSERT_GE(column, 0);
    const double kmh = model->data(model->index(0, column)).toString().toDouble();
    MVPopOverSettingsViewController popover(manager);
    click(popover.speedUnitSegment(), 1);
    ASSERT_TRUE(MainQueuePump::until(
        [&] { return model->data(model->index(0, column)).toString().toDouble() < kmh - 1; }));
    EXPECT_NEAR(model->data(model->index(0, column)).toString().toDouble(), kmh / 1.609344, 0.2);
    MVOptionsAndSettings::sharedManager().safelyChangeMVSpeedUnitWithoutKVO(0);
}

// Moves every data row's latitude half a degree north: no circuit of the database is near.
std::string elsewhere(const std::string& text) {
    std::istringstream in(text);
    std::string out, line;
    int latitudeColumn = -1, channel = 0;
    enum { Before, Header, Data } part = Before;
    while (std::getline(in, line)) {
        const std::string bare = line.substr(0, line.find_last_not_of("\r") + 1);
        if (!bare.empty() && bare[0] == '[') {
            part = bare == "[header]" ? Header : (bare == "[data]" ? Data : Before);
        } else if (part == Header && !bare.empty()) {
            if (bare == "Latitude" || bare == "latitude") latitudeColumn = channel;
            ++channel;
        } else if (part == Data && latitudeColumn >= 0) {
            std::istringstream fields(bare);
            std::string field, rebuilt;
            for (int i = 0; fields >> field; ++i) {
                if (i == latitudeColumn) {
                    char moved[32];
                    std::snprintf(moved, sizeof moved, "%.7f", std::stod(field) + 30.0);
                    field = moved;
                }
                rebuilt += (i ? " " : "") + field;
            }
            line = rebuilt + (line.size() > bare.size() ? "\r" : "");
        }
        out += line + "\n";
    }
    return out;
}

TEST_F(SettingsPopoverTest, AfterASessionWithoutCircuitTheNextSessionsLapsAreShown) {
    testing_support::SessionOptions options;
    options.laps = 2;
    const auto session = testing_support::generateSession(options);
    const auto lonely = dir / "lonely.gld";
    ASSERT_TRUE(testing_support::writeSessionFile(lonely, elsewhere(session.text)));
    open(lonely);
    MVOptionsAndSettings& o = MVOptionsAndSettings::sharedManager();
    ASSERT_EQ(o.displayMode(), 1);  // the loader switched to the whole session

    controller->lapsController().closeCurrentSession();
    ASSERT_TRUE(MainQueuePump::until([&] { return controller->isLogoOn(); }));
    // The display had switched for want of laps: a session with laps brings them back at once.
    open(writeThreeLapSession("circuit.gld"));
    EXPECT_EQ(o.displayMode(), 0);
    EXPECT_TRUE(MainQueuePump::until([&] { return listedLaps() == 3; })) << listedLaps();
    MVPopOverSettingsViewController popover(manager);
    EXPECT_EQ(popover.displayModeSegment()->selectedSegment(), 0);
}

}  // namespace
