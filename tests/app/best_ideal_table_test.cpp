#include "tests/support/ManualSession.h"
#include "tests/support/SessionGenerator.h"
#include "tests/support/TempDir.h"

#include "app/MVBestIdealLapModel.h"
#include "app/MVLapTableFormat.h"
#include "app/MVLapsHudTableView.h"

#include "widgets/MVHelperColors.h"
#include "widgets/MVTableView.h"

#include "session/MVGLDFileManager.h"
#include "session/MVLap.h"
#include "session/MVLaps.h"

#include <QAbstractItemModelTester>
#include <QFontMetrics>
#include <QHeaderView>
#include <QSignalSpy>
#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

namespace {

using testing_support::ManualSession;

constexpr int kS1 = MVBestIdealLapModel::kFixedColumnCount;  // first sector column
constexpr int kIdeal = MVBestIdealLapModel::IdealLapRow;
constexpr int kBest = MVBestIdealLapModel::BestLapRow;

// Boundaries of a lap starting at `start` with these sector times (0: gate not found).
MVSectorsPtr sectorsFrom(double start, const std::vector<double>& times) {
    std::vector<double> values{start};
    for (double t : times) values.push_back(values.back() + t);
    auto sectors = MVSectors::instance();
    sectors->setData(std::move(values));
    return sectors;
}

struct LapSpec {
    std::vector<double> sectors;
    double topSpeed;
};

// A session installed in `manager` with one lap per spec, ten samples a lap, the lap's top speed
// at its sixth sample; lap times are the sums of the sector times.
MVLapsPtr installSession(MVGLDFileManager& manager, const std::string& name,
                         const std::vector<LapSpec>& specs) {
    ManualSession session(name, {"time", "latitude", "longitude", "velocity"});
    for (std::size_t n = 0; n < specs.size(); ++n) {
        for (int i = 0; i < 10; ++i) {
            const double elapsed = static_cast<double>(n * 10 + i);
            session.addRow(elapsed, i == 5 ? specs[n].topSpeed : 90.0 + i, 45.0 + elapsed * 1e-4,
                           7.0);
        }
    }
    session.install(manager);
    auto laps = MVLaps::instance();
    for (std::size_t n = 0; n < specs.size(); ++n) {
        MVLapPtr lap = session.lap(n * 10, n * 10 + 9, n + 1);
        double duration = 0;
        for (double t : specs[n].sectors) duration += t;
        lap->setDuration(duration);
        lap->setDistance(3000.0);
        lap->setSectors(sectorsFrom(100.0 * static_cast<double>(n), specs[n].sectors));
        laps->addLap(lap);
    }
    auto lists = manager.arrayOfMVLaps();
    lists.back() = laps;
    testing_support::replaceCompleteLaps(manager, lists);
    return laps;
}

QString text(const MVBestIdealLapModel& m, int row, int column) {
    return m.data(m.index(row, column)).toString();
}

QColor color(const MVBestIdealLapModel& m, int row, int column) {
    return m.data(m.index(row, column), Qt::ForegroundRole).value<QColor>();
}

struct Expected {
    int row, column;
    const char* text;
    QColor color;
};

void expectCells(const MVBestIdealLapModel& m, const std::vector<Expected>& cells) {
    for (const Expected& c : cells) {
        SCOPED_TRACE(testing::Message() << "row " << c.row << " column " << c.column);
        EXPECT_EQ(text(m, c.row, c.column).toStdString(), c.text);
        EXPECT_EQ(color(m, c.row, c.column), c.color);
        EXPECT_TRUE(m.data(m.index(c.row, c.column), Qt::FontRole).value<QFont>().bold());
    }
}

const QColor& grey() {
    return MVHelper::Gui::BrightColorOnBackground();
}

TEST(BestIdealTable, IdealLapFromTheBestSectorsOfTheSession) {
    MVGLDFileManager manager;
    const MVLapsPtr laps = installSession(
        manager, "A", {{{30.1, 40.2}, 150.0}, {{29.8, 41.0}, 160.4}, {{30.5, 39.9}, 155.0}});
    const MVLapPtr best = laps->lapAtIndex(1);  // 70.8 s
    MVBestIdealLapModel m(best, laps, {best}, manager);
    QAbstractItemModelTester tester(&m, QAbstractItemModelTester::FailureReportingMode::Fatal);

    ASSERT_EQ(m.rowCount(), 2);
    ASSERT_EQ(m.columnCount(), kS1 + 2);
    ASSERT_TRUE(m.idealLapDuration());
    EXPECT_NEAR(*m.idealLapDuration(), 69.7, 1e-9);
    const QColor green = MVHelper::Gui::FasterColor();
    const int time = MVBestIdealLapModel::DurationColumn;
    const int delta = MVBestIdealLapModel::DeltaColumn;
    const int vmax = MVBestIdealLapModel::VmaxColumn;
    expectCells(m, {
                       {kIdeal, MVBestIdealLapModel::CheckboxColumn, "", grey()},
                       {kIdeal, MVBestIdealLapModel::TitleColumn, "Ideal Lap", grey()},
                       {kIdeal, time, "01:09.70", grey()},
                       {kIdeal, delta, "-1.10", green},
                       {kIdeal, vmax, "", grey()},
                       {kIdeal, kS1, "0.00", grey()},
                       {kIdeal, kS1 + 1, "-1.10", green},
                       {kBest, MVBestIdealLapModel::TitleColumn, "Best Lap", grey()},
                       {kBest, time, "01:10.80", grey()},
                       {kBest, delta, "0.00", grey()},
                       {kBest, vmax, "160.4", grey()},
                       {kBest, kS1, "29.80", grey()},
                       {kBest, kS1 + 1, "41.00", grey()},
                   });

    // A best lap that holds every best sector is the ideal lap: a zero gap in green.
    const MVLapPtr third = laps->lapAtIndex(2);
    third->setSectors(sectorsFrom(200.0, {29.8, 39.9}));
    third->setDuration(69.7);
    MVBestIdealLapModel same(third, laps, {third}, manager);
    EXPECT_EQ(text(same, kIdeal, delta), "+0.00");
    EXPECT_EQ(color(same, kIdeal, delta), green);
    EXPECT_EQ(text(same, kIdeal, kS1), "0.00");
    EXPECT_EQ(color(same, kIdeal, kS1), grey());

    // An ideal lap a few thousandths under the best lap prints its zero the same way.
    laps->lapAtIndex(0)->setSectors(sectorsFrom(0.0, {29.796, 40.2}));
    MVBestIdealLapModel close(third, laps, {third}, manager);
    EXPECT_EQ(text(close, kIdeal, delta), "+0.00");
    EXPECT_EQ(color(close, kIdeal, delta), green);
    EXPECT_EQ(text(close, kIdeal, kS1), "0.00");
    EXPECT_EQ(color(close, kIdeal, kS1), grey());
}

TEST(BestIdealTable, MissingSectorTimes) {
    MVGLDFileManager manager;
    // The second lap missed the first sector gate: its first sector has no time and its second
    // covers the whole lap.
    const MVLapsPtr laps = installSession(
        manager, "A", {{{30.1, 40.2}, 150.0}, {{0.0, 69.0}, 150.0}, {{30.5, 39.9}, 150.0}});
    const MVLapPtr best = laps->lapAtIndex(0);
    MVBestIdealLapModel m(best, laps, {best}, manager);
    ASSERT_EQ(m.idealLapSectors().size(), 3u);
    EXPECT_NEAR(m.idealLapSectors()[1].value(), 30.1, 1e-9);  // not the missed sector's 0
    EXPECT_NEAR(m.idealLapSectors()[2].value(), 39.9, 1e-9);
    EXPECT_EQ(text(m, kIdeal, MVBestIdealLapModel::DurationColumn), "01:10.00");

    // A sector that no lap has a time for: no ideal lap at all, never a made-up time.
    MVGLDFileManager other;
    const MVLapsPtr blind =
        installSession(other, "B", {{{0.0, 70.3}, 150.0}, {{0.0, 70.8}, 150.0}});
    const MVLapPtr blindBest = blind->lapAtIndex(0);
    MVBestIdealLapModel none(blindBest, blind, {blindBest}, other);
    QAbstractItemModelTester tester(&none, QAbstractItemModelTester::FailureReportingMode::Fatal);
    EXPECT_FALSE(none.idealLapDuration());
    EXPECT_FALSE(none.idealLapSectors().at(1));
    expectCells(none, {
                          {kIdeal, MVBestIdealLapModel::DurationColumn, "N/A", grey()},
                          {kIdeal, MVBestIdealLapModel::DeltaColumn, "N/A", grey()},
                          {kIdeal, kS1, "N/A", grey()},
                          {kIdeal, kS1 + 1, "0.00", grey()},
                          {kBest, MVBestIdealLapModel::DurationColumn, "01:10.30", grey()},
                          {kBest, kS1, "N/A", grey()},
                          {kBest, kS1 + 1, "70.30", grey()},
                      });
    for (int row = 0; row < none.rowCount(); ++row) {
        for (int column = 0; column < none.columnCount(); ++column) {
            EXPECT_FALSE(text(none, row, column).contains("9999")) << row << " " << column;
        }
    }
}

TEST(BestIdealTable, BestLapOfAnotherSession) {
    MVGLDFileManager manager;
    const MVLapsPtr a = installSession(manager, "A",
                                       {{{30.1, 40.2}, 150.0},
                                        {{29.8, 41.0}, 152.0},
                                        {{30.5, 39.9}, 149.0},
                                        {{30.0, 39.0}, 158.8}});  // 69.0 s, like the best lap
    const MVLapsPtr b = installSession(manager, "B", {{{29.0, 40.0}, 171.3}});
    const MVLapPtr best = b->lapAtIndex(0);
    MVBestIdealLapModel m(best, a, {a->lapAtIndex(0), best}, manager);

    ASSERT_TRUE(m.idealLapDuration());
    EXPECT_NEAR(*m.idealLapDuration(), 68.8, 1e-9);  // 29.8 + 39.0, measured from B's best lap
    expectCells(
        m, {
               {kIdeal, MVBestIdealLapModel::DurationColumn, "01:08.80", grey()},
               {kIdeal, MVBestIdealLapModel::DeltaColumn, "-0.20", MVHelper::Gui::FasterColor()},
               {kIdeal, kS1, "+0.80", MVHelper::Gui::SlowerColor()},
               {kIdeal, kS1 + 1, "-1.00", MVHelper::Gui::FasterColor()},
               // The best lap's own top speed, read from its own session.
               {kBest, MVBestIdealLapModel::VmaxColumn, "171.3", grey()},
               {kBest, MVBestIdealLapModel::DurationColumn, "01:09.00", grey()},
               {kBest, kS1, "29.00", grey()},
           });

    // After a change of unit the top speed is read again.
    manager.setSpeedUnit(1);
    QSignalSpy changed(&m, &QAbstractItemModel::dataChanged);
    m.reload();
    EXPECT_EQ(changed.count(), 1);
    EXPECT_EQ(text(m, kBest, MVBestIdealLapModel::VmaxColumn), "106.4");  // 171.3 / 1.609344
}

TEST(BestIdealTable, NoRowsWithoutSomethingToCompare) {
    MVGLDFileManager manager;
    const MVLapsPtr laps = installSession(manager, "A", {{{30.1, 40.2}, 150.0}});
    const MVLapPtr best = laps->lapAtIndex(0);

    auto whole = MVLap::instance();
    whole->setIsWholeFileLap(true);
    whole->setSectors(sectorsFrom(0.0, {70.1, 91.2, 88.7}));
    MVBestIdealLapModel wholeSelected(best, laps, {whole}, manager);
    QAbstractItemModelTester tester(&wholeSelected,
                                    QAbstractItemModelTester::FailureReportingMode::Fatal);
    EXPECT_EQ(wholeSelected.rowCount(), 0);
    EXPECT_TRUE(wholeSelected.idealLapSectors().empty());
    wholeSelected.reload();

    MVBestIdealLapModel noBest(nullptr, laps, {best}, manager);
    EXPECT_EQ(noBest.rowCount(), 0);
    MVBestIdealLapModel nothing(nullptr, nullptr, {}, manager);
    EXPECT_EQ(nothing.rowCount(), 0);
    EXPECT_EQ(nothing.columnCount(), kS1);

    // Nothing selected: the columns follow the best lap.
    MVBestIdealLapModel noSelection(best, laps, {}, manager);
    EXPECT_EQ(noSelection.rowCount(), 2);
    EXPECT_EQ(noSelection.columnCount(), kS1 + 2);
}

TEST(BestIdealTable, ColumnsBeyondTheBestLapsSectorsAreGuarded) {
    MVGLDFileManager manager;
    const MVLapsPtr laps =
        installSession(manager, "A", {{{30.1, 40.2, 20.0}, 150.0}, {{29.8, 41.0, 19.0}, 150.0}});
    auto best = laps->lapAtIndex(1);
    best->setSectors(sectorsFrom(100.0, {29.8}));  // fewer boundaries than the selected lap
    MVBestIdealLapModel m(best, laps, {laps->lapAtIndex(0)}, manager);
    QAbstractItemModelTester tester(&m, QAbstractItemModelTester::FailureReportingMode::Fatal);
    ASSERT_EQ(m.columnCount(), kS1 + 3);
    for (int column = kS1 + 1; column < kS1 + 3; ++column) {
        EXPECT_EQ(text(m, kIdeal, column), "N/A") << column;
        EXPECT_EQ(text(m, kBest, column), "N/A") << column;
    }
    EXPECT_FALSE(m.data(m.index(2, 0)).isValid());
}

TEST(BestIdealTable, ViewHasNoTitlesAndTheLapTablesColumns) {
    MVGLDFileManager manager;
    const MVLapsPtr laps =
        installSession(manager, "A", {{{30.1, 40.2}, 150.0}, {{29.8, 41.0}, 160.4}});
    MVLapsHudTableView view(laps->lapAtIndex(1), laps, {laps->lapAtIndex(1)}, manager);
    view.resize(400, 44);
    view.show();
    const QHeaderView* header = view.mainTable()->horizontalHeader();
    EXPECT_TRUE(header->isHidden());
    // The same widths as the lap table above it, so that the columns line up.
    const std::array<int, 5> widths = MVLapTable::fixedColumnWidths();
    for (int c = 0; c < MVBestIdealLapModel::kFixedColumnCount; ++c) {
        EXPECT_EQ(header->sectionSize(c), widths[static_cast<std::size_t>(c)]) << c;
    }
    const QFontMetrics cell(MVHelper::SmallTextBoldFont());
    EXPECT_GT(widths[MVBestIdealLapModel::TitleColumn], cell.horizontalAdvance("Ideal Lap"));
    EXPECT_GE(header->sectionSize(kS1), 40);
    EXPECT_EQ(view.mainTable()->rowHeight(0), 20);
    EXPECT_EQ(view.mainTable()->palette().color(QPalette::Base), MVHelper::Gui::DarkBlueColor());
    EXPECT_EQ(view.mainTable()->selectionMode(), QAbstractItemView::NoSelection);

    QSignalSpy changed(view.model(), &QAbstractItemModel::dataChanged);
    view.reloadTableView();
    EXPECT_EQ(changed.count(), 1);
}

TEST(BestIdealTable, LoadedSession) {
    testing_support::TempDir dir;
    testing_support::SessionOptions generated;
    generated.laps = 3;  // lap 3 is the fastest
    const auto session = testing_support::generateSession(generated);
    MVGLDFileManager manager;
    ASSERT_TRUE(manager.loadGLDFileWithURL(dir.write("three.gld", session.text)));
    const MVLapsPtr laps = manager.arrayOfMVLaps().at(0);
    const MVLapPtr best = laps->findFastestLap();
    ASSERT_TRUE(best);

    MVBestIdealLapModel m(best, laps, {best}, manager);
    QAbstractItemModelTester tester(&m, QAbstractItemModelTester::FailureReportingMode::Fatal);
    ASSERT_TRUE(m.idealLapDuration());
    EXPECT_LE(*m.idealLapDuration(), best->duration() + 1e-9);
    double sum = 0;
    for (std::size_t k = 1; k < m.idealLapSectors().size(); ++k) {
        ASSERT_TRUE(m.idealLapSectors()[k]) << k;
        sum += *m.idealLapSectors()[k];
    }
    EXPECT_NEAR(*m.idealLapDuration(), sum, 1e-6);
    const auto& truth = session.truth.laps.at(best->number() - 1);
    EXPECT_NEAR(text(m, kBest, MVBestIdealLapModel::VmaxColumn).toDouble(), truth.readerTopSpeedKmh,
                0.051);
}

}  // namespace
