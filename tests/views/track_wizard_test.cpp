// The track wizard: the nearest-point rule, clicks on the whole-session route of a generated
// session that no circuit matched, and the sheet's Yes, Default and Cancel.
#include "tests/support/ContrastRatio.h"
#include "tests/support/SessionGenerator.h"
#include "tests/support/TempDir.h"
#include "tests/views/TrackViewsFixtures.h"

#include "views/MVTrackWizardView.h"
#include "views/MVTrackWizardWindowController.h"

#include "widgets/MVHelperColors.h"

#include "session/MVGLDFileManager.h"
#include "session/MVOptionsAndSettings.h"

#include "platform/UserDefaults.h"

#include <QLabel>
#include <QSlider>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <memory>
#include <thread>

namespace {

using track_fixtures::at;

TEST(TrackWizardNearestPoint, FirstEndedRunOfClosePoints) {
    const MV2DSegmentPtr far = at(50, 50);
    auto route = [&](std::vector<std::pair<size_t, double>> close, size_t length) {
        std::vector<MV2DSegmentPtr> r(length, far);
        for (auto [index, distance] : close) r[index] = at(distance, 0);
        return r;
    };
    struct Case {
        const char* name;
        std::vector<MV2DSegmentPtr> route;
        std::int64_t expected;
    };
    const Case cases[] = {
        {"no close point", route({}, 30), 0},
        {"close only within the first ten", route({{3, 0.5}, {4, 0.2}, {5, 0.4}}, 30), 0},
        {"closest of the run", route({{12, 0.5}, {13, 0.1}, {14, 0.3}}, 30), 13},
        {"tie: the earlier", route({{15, 0.4}, {16, 0.2}, {17, 0.2}}, 30), 16},
        {"later run ignored", route({{20, 0.5}, {21, 0.6}, {25, 0.01}}, 30), 20},
        {"run reaches the last point", route({{27, 0.5}, {28, 0.2}, {29, 0.1}}, 30), 0},
        {"at the threshold is not close", route({{12, 1.0}}, 30), 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(MVTrackWizardView::findSegmentAtWholeLap(c.route, {0, 0}, 1.0), c.expected)
            << c.name;
    }
}

// One generated session without gates, loaded on a manager whose circuit database is empty: no
// circuit, no lap, only the whole-session lap.
class TrackWizardTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        dir = new testing_support::TempDir();
        manager = new MVGLDFileManager();
        testing_support::SessionOptions options;
        options.laps = 3;
        const auto session = testing_support::generateSession(options);
        ASSERT_TRUE(testing_support::writeSessionFile(*dir / "nogates.gld", session.text));
        std::ofstream(*dir / "empty.xml") << "<?xml version=\"1.0\"?>\n<circuits>\n</circuits>\n";
        manager->setShippedCircuitDatabase(*dir / "empty.xml");
        bool loaded = false;
        std::thread([&] { loaded = manager->loadGLDFileWithURL(*dir / "nogates.gld"); }).join();
        ASSERT_TRUE(loaded);
    }
    static void TearDownTestSuite() {
        delete manager;
        delete dir;
    }
    void SetUp() override {
        ASSERT_EQ(manager->arrayOfMVLaps().size(), 1u);
        ASSERT_TRUE(manager->arrayOfMVLaps()[0]->data().empty());
        whole = manager->arrayOfWholeFileMVLaps()[0]->data().front();
        view = std::make_unique<MVTrackWizardView>(*manager);
        view->setWholeMap(whole->map()->makeACopy());
        view->resize(800, 600);
    }
    const std::vector<MV2DSegmentPtr>& route() const {
        return view->wholeMap()->sectorSegments().front();
    }
    QPointF onScreen(MVPoint p) const {
        const MVTrackMapViewport vp = view->viewport();
        const MVViewPoint s = vp.toScreen(vp.project(p));
        return {s.x, s.y};
    }
    void clickOnRoute(size_t index, bool shift) {
        view->clickAt(onScreen(route()[index]->point()), shift);
    }

    static testing_support::TempDir* dir;
    static MVGLDFileManager* manager;
    MVLapPtr whole;
    std::unique_ptr<MVTrackWizardView> view;
};

testing_support::TempDir* TrackWizardTest::dir = nullptr;
MVGLDFileManager* TrackWizardTest::manager = nullptr;

TEST_F(TrackWizardTest, RouteHoldsOnePointPerSampleFromSampleZero) {
    EXPECT_EQ(whole->indexStart(), 0u);
    ASSERT_EQ(whole->map()->sectorSegments().size(), 1u);
    EXPECT_EQ(route().size(), manager->arrayOfSamples()[0].size());
    EXPECT_EQ(route().size(), whole->indexEnd() + 1);
}

TEST_F(TrackWizardTest, PlainAndShiftClicksSetTheGates) {
    // No record yet: a Shift-click makes none and is refused in red at the click.
    view->setTrackInfo(nullptr);
    clickOnRoute(400, true);
    EXPECT_FALSE(view->trackInfo());
    EXPECT_EQ(view->lapDetected(), 0);
    EXPECT_EQ(view->labelString(), "0 Laps detected");
    ASSERT_TRUE(view->labelPoint());
    EXPECT_NEAR(view->labelPoint()->x, route()[400]->point().x, 1.0);

    clickOnRoute(400, false);
    ASSERT_TRUE(view->trackInfo());
    const MVPreviousNextLocationPtr start = view->trackInfo()->sfLocations();
    ASSERT_TRUE(start);
    EXPECT_FALSE(view->trackInfo()->sfLocations2());
    EXPECT_GE(view->lapDetected(), 2);
    EXPECT_EQ(view->labelString(), QString("%1 Laps detected").arg(view->lapDetected()));
    ASSERT_TRUE(view->flagPoint());
    EXPECT_NEAR(view->flagPoint()->x, route()[400]->point().x, 3.0);
    EXPECT_NEAR(view->flagPoint()->y, route()[400]->point().y, 3.0);

    clickOnRoute(520, true);
    EXPECT_EQ(view->trackInfo()->sfLocations(), start);
    ASSERT_TRUE(view->trackInfo()->sfLocations2());
    ASSERT_TRUE(view->flagPoint2());
    EXPECT_EQ(view->labelPoint(), view->flagPoint2());

    // Away from the route: refused, the gates stay.
    const std::int64_t count = view->lapDetected();
    view->clickAt(QPointF(2, 2), false);
    EXPECT_EQ(view->labelString(), MVTrackWizardView::kNotValid);
    EXPECT_EQ(view->lapDetected(), count);
    ASSERT_TRUE(view->trackInfo()->sfLocations2());

    clickOnRoute(400, false);  // a new start/finish drops the finish gate
    EXPECT_FALSE(view->trackInfo()->sfLocations2());
    EXPECT_FALSE(view->flagPoint2());
}

// A refusal stands on the click, a lap count below and right of its gate: near any edge of the
// map the message is moved back inside it, whole.
TEST_F(TrackWizardTest, MessagesNearTheEdgesStayInsideTheMap) {
    const QRectF map = QRectF(view->rect());
    for (const QPointF at : {QPointF(400, 1), QPointF(1, 300), QPointF(799, 300), QPointF(400, 599),
                             QPointF(1, 1), QPointF(400, 300)}) {
        view->clickAt(at, false);
        ASSERT_EQ(view->labelString(), MVTrackWizardView::kNotValid) << at.x() << ", " << at.y();
        const std::optional<QRectF> box = view->labelRect();
        ASSERT_TRUE(box);
        EXPECT_TRUE(map.contains(*box)) << at.x() << ", " << at.y();
        EXPECT_GT(box->width(), 0);
    }
    // In the middle it stands on the click: its lower left corner there.
    EXPECT_EQ(view->labelRect()->bottomLeft(), QPointF(400, 300));
    // A lap count at a gate near the lower right corner.
    clickOnRoute(400, false);
    const QPointF gate = onScreen(*view->labelPoint());
    view->resize(static_cast<int>(gate.x()) + 30, static_cast<int>(gate.y()) + 10);
    ASSERT_TRUE(view->labelRect());
    EXPECT_TRUE(QRectF(view->rect()).contains(*view->labelRect()));
}

TEST_F(TrackWizardTest, EmptyRouteRefusesEveryClick) {
    view->setWholeMap(track_fixtures::map({}, 0, 0, 0, 0));
    view->clickAt(QPointF(400, 300), false);
    EXPECT_EQ(view->labelString(), MVTrackWizardView::kNotValid);
    view->setWholeMap(track_fixtures::map({{at(3, 4)}}, 3, 4, 0, 0));
    view->clickAt(QPointF(400, 300), false);
    EXPECT_EQ(view->labelString(), MVTrackWizardView::kNotValid);
    EXPECT_FALSE(view->trackInfo());
}

class Recorder : public TrackWizardDelegate {
  public:
    void chosenTrackIno(MVTrackInfoPtr record) override { chosen.push_back(std::move(record)); }
    std::vector<MVTrackInfoPtr> chosen;
};

class TrackWizardSheetTest : public TrackWizardTest {
  protected:
    void SetUp() override {
        TrackWizardTest::SetUp();
        options.setGateWidth(25);
        sheet = std::make_unique<MVTrackWizardWindowController>(
            nullptr, whole, std::vector<MV2DSegmentPtr>{}, nullptr, *manager, options);
        sheet->setDelegate(&recorder);
        sheet->trackWizardView()->resize(800, 600);
        sheet->showSheet();
    }
    void clickSheetRoute(size_t index) {
        MVTrackWizardView* map = sheet->trackWizardView();
        const MVTrackMapViewport vp = map->viewport();
        const auto& points = map->wholeMap()->sectorSegments().front();
        const MVViewPoint s = vp.toScreen(vp.project(points[index]->point()));
        map->clickAt(QPointF(s.x, s.y), false);
    }
    testing_support::TempDir temp;
    platform::UserDefaults defaults{temp / "defaults.json"};
    MVOptionsAndSettings options{defaults};
    Recorder recorder;
    std::unique_ptr<MVTrackWizardWindowController> sheet;
};

TEST_F(TrackWizardSheetTest, YesNeedsLapsAndStoresTheSlidersWidth) {
    EXPECT_EQ(sheet->trackLabel()->text(), "");
    EXPECT_EQ(sheet->sfLocationsLabel()->text(), "");
    EXPECT_EQ(sheet->gateWidthLabel()->text(), "25");
    sheet->yesButton();  // 0 laps
    EXPECT_TRUE(sheet->isVisible());
    EXPECT_TRUE(recorder.chosen.empty());

    clickSheetRoute(400);
    const MVLocationPtr& next =
        sheet->trackWizardView()->trackInfo()->sfLocations()->nextLocation();
    EXPECT_EQ(sheet->sfLocationsLabel()->text(),
              QString::asprintf("(%f, %f)", next->latitude(), next->longitude()));
    sheet->sliderGateWidth()->setValue(30);
    EXPECT_EQ(sheet->gateWidthLabel()->text(), "30");
    EXPECT_EQ(sheet->trackWizardView()->gateWidth(), 30);
    EXPECT_EQ(options.gateWidth(), 25);
    sheet->yesButton();
    EXPECT_FALSE(sheet->isVisible());
    ASSERT_EQ(recorder.chosen.size(), 1u);
    EXPECT_EQ(recorder.chosen[0], sheet->trackWizardView()->trackInfo());
    EXPECT_EQ(options.gateWidth(), 30);
}

TEST_F(TrackWizardSheetTest, DefaultRestoresTheFirstParseAndCancelKeepsTheWidth) {
    auto first = MVTrackInfo::instance();
    first->setTrackName("First");
    auto gate = MVPreviousNextLocation::instance();
    gate->nextLocation()->setLatitude(39.5);
    gate->nextLocation()->setLongitude(-3.0);
    first->setSfLocations(gate);
    manager->setDefaultTrackInfo(first);
    clickSheetRoute(400);
    sheet->sliderGateWidth()->setValue(40);

    sheet->defaultButton();
    EXPECT_TRUE(sheet->isVisible());
    EXPECT_EQ(options.gateWidth(), 25);
    EXPECT_EQ(sheet->sliderGateWidth()->value(), 25);
    EXPECT_EQ(sheet->trackWizardView()->gateWidth(), 25);
    const MVTrackInfoPtr restored = sheet->trackWizardView()->trackInfo();
    ASSERT_TRUE(restored);
    EXPECT_NE(restored, first);  // a copy
    EXPECT_EQ(restored->sfLocations()->nextLocation()->latitude(), 39.5);
    EXPECT_EQ(sheet->sfLocationsLabel()->text(), QString::asprintf("(%f, %f)", 39.5, -3.0));
    manager->setDefaultTrackInfo(nullptr);

    sheet->sliderGateWidth()->setValue(40);
    sheet->cancelButton();
    EXPECT_FALSE(sheet->isVisible());
    EXPECT_EQ(options.gateWidth(), 25);
    EXPECT_TRUE(recorder.chosen.empty());
}

using testing_support::contrastRatio;

// What a label is drawn on: the nearest of itself and its parents that fills its background.
QColor backgroundOf(const QWidget* widget) {
    for (; widget != nullptr; widget = widget->parentWidget()) {
        if (widget->autoFillBackground()) return widget->palette().color(QPalette::Window);
    }
    return QColor(Qt::white);
}

// Every text of the sheet, the click hints, the gate width and its value, the circuit name and
// the coordinates, and both kinds of message on the map, read at 4.5:1 or better.
TEST_F(TrackWizardSheetTest, TextsReadOnTheirBackgrounds) {
    clickSheetRoute(400);
    int texts = 0;
    for (const QLabel* label : sheet->findChildren<QLabel*>()) {
        if (label->text().isEmpty()) continue;
        ++texts;
        SCOPED_TRACE(label->text().toStdString());
        EXPECT_GE(contrastRatio(label->palette().color(QPalette::WindowText), backgroundOf(label)),
                  4.5);
    }
    EXPECT_GE(texts, 5);  // two hints, the coordinates, "Gate width (m)" and its value
    MVTrackWizardView* map = sheet->trackWizardView();
    const QColor mapColour = MVHelper::Gui::DarkBlueColor();
    EXPECT_GE(contrastRatio(map->messageColor(), mapColour), 4.5);
    map->clickAt(QPointF(2, 2), false);
    ASSERT_EQ(map->labelString(), MVTrackWizardView::kNotValid);
    EXPECT_GE(contrastRatio(map->messageColor(), mapColour), 4.5);
}

TEST(TrackWizardLabels, NameAndGatesOfTheRecord) {
    MVGLDFileManager manager;
    testing_support::TempDir temp;
    platform::UserDefaults defaults{temp / "defaults.json"};
    MVOptionsAndSettings options{defaults};
    auto track = MVTrackInfo::instance();
    track->setTrackName("Larkfield");
    auto start = MVPreviousNextLocation::instance();
    start->nextLocation()->setLatitude(1.5);
    start->nextLocation()->setLongitude(2.25);
    auto finish = MVPreviousNextLocation::instance();
    finish->nextLocation()->setLatitude(-3);
    finish->nextLocation()->setLongitude(4);
    track->setSfLocations(start);
    track->setSfLocations2(finish);
    MVTrackWizardWindowController sheet(nullptr, nullptr, {}, track, manager, options);
    EXPECT_EQ(sheet.trackLabel()->text(), "Larkfield");
    EXPECT_EQ(sheet.sfLocationsLabel()->text(),
              "Start (1.500000, 2.250000) Finish (-3.000000, 4.000000)");
    track->setTrackName("");
    MVTrackWizardWindowController nameless(nullptr, nullptr, {}, track, manager, options);
    EXPECT_EQ(nameless.trackLabel()->text(), "");
}

}  // namespace
