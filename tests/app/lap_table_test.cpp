#include "tests/support/ManualSession.h"
#include "tests/support/SessionGenerator.h"
#include "tests/support/TempDir.h"

#include "app/MVLapTableFormat.h"
#include "app/MVLapTableModel.h"
#include "app/MVLapsTableView.h"

#include "widgets/MVHelperColors.h"
#include "widgets/MVTableView.h"

#include "session/MVGLDFileManager.h"
#include "session/MVLap.h"
#include "session/MVLaps.h"
#include "session/MVNotifications.h"
#include "session/MVOptionsAndSettings.h"

#include "platform/NotificationCenter.h"
#include "platform/UserDefaults.h"

#include <QAbstractItemModelTester>
#include <QFontMetrics>
#include <QHeaderView>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <limits>
#include <memory>
#include <string>
#include <vector>

namespace {

using testing_support::ManualSession;
using testing_support::TempDir;

constexpr int kS1 = MVLapTableModel::kFixedColumnCount;  // first sector column

MVSectorsPtr boundaries(std::vector<double> values) {
    auto sectors = MVSectors::instance();
    sectors->setData(std::move(values));
    return sectors;
}

// Boundaries of a lap starting at `start` with these sector times (0: gate not found).
MVSectorsPtr sectorsFrom(double start, const std::vector<double>& times) {
    std::vector<double> values{start};
    for (double t : times) values.push_back(values.back() + t);
    return boundaries(std::move(values));
}

// One session of 30 samples, a second apart, with three laps of ten samples each. Top speeds
// 150.0, 162.5 and 148.2 km/h; lap times 92.1, 90.4 and 95.0 s; sectors
//   lap 1: 30.1  40.2  21.8
//   lap 2: 29.8  41.0  19.6   (the fastest lap)
//   lap 3: 30.5  ---   64.5   (sector gate 2 not found)
// so the best sectors are 29.8 (lap 2), 40.2 (lap 1) and 19.6 (lap 2).
struct ThreeLapSession {
    explicit ThreeLapSession(const std::string& name = "Session A")
        : session(name, {"time", "latitude", "longitude", "velocity"}) {
        const double peaks[] = {150.0, 162.5, 148.2};
        for (int i = 0; i < 30; ++i) {
            const double speed = i % 10 == 5 ? peaks[i / 10] : 100.0 + i % 10;
            session.addRow(i, speed, 45.0 + i * 1e-4, 7.0);
        }
        session.install(manager);
        const double times[] = {92.1, 90.4, 95.0};
        const std::vector<double> sectors[] = {
            {30.1, 40.2, 21.8}, {29.8, 41.0, 19.6}, {30.5, 0.0, 64.5}};
        laps = MVLaps::instance();
        for (int n = 0; n < 3; ++n) {
            MVLapPtr lap = session.lap(n * 10, n * 10 + 9, n + 1);
            lap->setDuration(times[n]);
            lap->setDistance(3000.0 + n);
            lap->setSectors(sectorsFrom(100.0 * n, sectors[n]));
            laps->addLap(lap);
        }
        testing_support::replaceCompleteLaps(manager, {laps});
    }

    MVLapPtr lap(int number) const { return laps->data().at(number - 1); }

    MVGLDFileManager manager;
    ManualSession session;
    MVLapsPtr laps;
};

class LapTableTest : public ::testing::Test {
  protected:
    LapTableTest() : store(dir / "defaults.json"), options(store) {}

    std::unique_ptr<MVLapTableModel> model(std::vector<MVLapPtr> selected) {
        return std::make_unique<MVLapTableModel>(data.lap(2), data.laps, std::move(selected),
                                                 data.manager, options);
    }

    // Lap numbers in row order.
    static std::vector<std::uint64_t> numbers(const MVLapTableModel& m) {
        std::vector<std::uint64_t> result;
        for (const MVLapPtr& lap : m.rowLaps()) result.push_back(lap->number());
        return result;
    }

    static QString text(const MVLapTableModel& m, int row, int column) {
        return m.data(m.index(row, column)).toString();
    }

    TempDir dir;
    platform::UserDefaults store;
    MVOptionsAndSettings options;
    ThreeLapSession data;
};

TEST(LapTimeText, MinutesSecondsAndHundredths) {
    const struct {
        double seconds;
        const char* text;
    } cases[] = {
        {83.456, "01:23.46"},
        {59.994, "00:59.99"},
        {59.996, "01:00.00"},  // rounds up into the next minute
        {0.005, "00:00.01"},   // a half hundredth goes up
        {0.0, "00:00.00"},
        {599.999, "10:00.00"},
        {3599.994, "59:59.99"},
        {3600.0, "60:00.00"},  // an hour keeps its minutes
        {3723.456, "62:03.46"},
        {7322.0, "122:02.00"},
        {-1.5, "-00:01.50"},
        {std::numeric_limits<double>::quiet_NaN(), "N/A"},
        {std::numeric_limits<double>::infinity(), "N/A"},
        {99999999.0 * 1e9, "N/A"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.seconds);
        EXPECT_EQ(MVLapsTableView::stringOfMinAndSeconds(c.seconds).toStdString(), c.text);
    }
}

TEST(LapTableGap, SignedAndColouredWithAZeroPrintedOneWay) {
    const QColor green = MVHelper::Gui::FasterColor();
    const QColor red = MVHelper::Gui::SlowerColor();
    const QColor grey = MVHelper::Gui::BrightColorOnBackground();
    const struct {
        double gap;
        const char* text;
        QColor color;
    } cases[] = {
        {1.234, "+1.23", red},  {-0.5, "-0.50", green}, {0.0, "0.00", grey},
        {-0.004, "0.00", grey}, {0.004, "0.00", grey},  {-0.006, "-0.01", green},
        {0.006, "+0.01", red},  {-0.0, "0.00", grey},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.gap);
        EXPECT_EQ(MVLapTable::gapText(c.gap).toStdString(), c.text);
        EXPECT_EQ(MVLapTable::gapColor(c.gap), c.color);
    }
}

TEST_F(LapTableTest, CellsAndColoursOfAThreeLapSession) {
    const auto m = model({data.lap(1), data.lap(2)});
    ASSERT_EQ(m->rowCount(), 3);
    ASSERT_EQ(m->columnCount(), kS1 + 3);

    const QColor grey = MVHelper::Gui::BrightColorOnBackground();
    const QColor green = MVHelper::Gui::FasterColor();
    const QColor red = MVHelper::Gui::SlowerColor();
    const QColor magenta(Qt::magenta);
    const int time = MVLapTableModel::DurationColumn;
    const int delta = MVLapTableModel::DeltaColumn;
    const int vmax = MVLapTableModel::VmaxColumn;
    const struct {
        int row, column;
        const char* text;
        QColor color;
        bool bold;
    } cases[] = {
        // Lap 1: slower than the best lap; its second sector is the session's best.
        {0, MVLapTableModel::NumberColumn, "1", MVHelper::Gui::DarkBlueColor(), false},
        {0, time, "01:32.10", grey, false},
        {0, delta, "+1.70", red, false},
        {0, vmax, "150.0", grey, false},
        {0, kS1, "+0.30", red, false},
        {0, kS1 + 1, "-0.80", magenta, true},
        {0, kS1 + 2, "+2.20", red, false},
        // Lap 2: the best and fastest lap, bold; its own sector times unsigned.
        {1, time, "01:30.40", grey, true},
        {1, delta, "0.00", grey, true},
        {1, vmax, "162.5", grey, true},
        {1, kS1, "29.80", magenta, true},
        {1, kS1 + 1, "41.00", grey, true},
        {1, kS1 + 2, "19.60", magenta, true},
        // Lap 3: missed sector gate 2.
        {2, MVLapTableModel::NumberColumn, "3", grey, false},
        {2, time, "01:35.00", grey, false},
        {2, delta, "+4.60", red, false},
        {2, vmax, "148.2", grey, false},
        {2, kS1, "+0.70", red, false},
        {2, kS1 + 1, "N/A", grey, false},
        {2, kS1 + 2, "+44.90", red, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "row " << c.row << " column " << c.column);
        const QModelIndex index = m->index(c.row, c.column);
        EXPECT_EQ(m->data(index).toString().toStdString(), c.text);
        EXPECT_EQ(m->data(index, Qt::ForegroundRole).value<QColor>(), c.color);
        EXPECT_EQ(m->data(index, Qt::FontRole).value<QFont>().bold(), c.bold);
    }
    // A lap faster than the best lap measures a negative gap in green.
    const auto other = std::make_unique<MVLapTableModel>(
        data.lap(1), data.laps, std::vector<MVLapPtr>{data.lap(1)}, data.manager, options);
    EXPECT_EQ(text(*other, 1, delta), "-1.70");
    EXPECT_EQ(other->data(other->index(1, delta), Qt::ForegroundRole).value<QColor>(), green);
    EXPECT_EQ(text(*other, 0, kS1 + 1), "40.20");  // the best lap's own best sector
}

TEST_F(LapTableTest, TitlesOfLapAndWholeSessionTables) {
    const auto m = model({data.lap(2)});
    QStringList titles;
    for (int c = 0; c < m->columnCount(); ++c) {
        titles << m->headerData(c, Qt::Horizontal).toString();
    }
    EXPECT_EQ(titles, (QStringList{"", "Lap", "Time", "Delta", "VMax", "S1", "S2", "S3"}));
    EXPECT_EQ(m->headerData(kS1 + 2, Qt::Horizontal, MVLapTableModel::IdentifierRole), "3");

    // One sector only (start and end boundaries): a single column.
    auto shortLaps = MVLaps::instance();
    auto single = MVLap::instance();
    single->setSectors(boundaries({0.0, 90.0}));
    shortLaps->addLap(single);
    MVLapTableModel oneSector(single, shortLaps, {single}, data.manager, options);
    ASSERT_EQ(oneSector.columnCount(), kS1 + 1);
    EXPECT_EQ(oneSector.headerData(kS1, Qt::Horizontal).toString(), "S1");

    // The whole session: out lap, laps, in lap.
    auto whole = MVLap::instance();
    whole->setIsWholeFileLap(true);
    whole->setGldFile("Session A");
    whole->setIndexEnd(29);
    whole->setDuration(250.0);
    whole->setSectors(boundaries({0.0, 70.1, 161.3, 250.0}));
    auto wholeLaps = MVLaps::instance();
    wholeLaps->addLap(whole);
    MVLapTableModel wholeTable(data.lap(2), wholeLaps, {whole}, data.manager, options);
    ASSERT_EQ(wholeTable.columnCount(), kS1 + 3);
    EXPECT_EQ(wholeTable.headerData(kS1, Qt::Horizontal).toString(), "Out");
    EXPECT_EQ(wholeTable.headerData(kS1 + 1, Qt::Horizontal).toString(), "L1");
    EXPECT_EQ(wholeTable.headerData(kS1 + 2, Qt::Horizontal).toString(), "In");
    const QStringList expected{"",      "Session A", "250.00", "0.000",
                               "162.5", "70.10",     "91.20",  "88.70"};
    for (int c = 0; c < wholeTable.columnCount(); ++c) {
        EXPECT_EQ(text(wholeTable, 0, c), expected[c]) << "column " << c;
    }
    EXPECT_EQ(
        wholeTable.data(wholeTable.index(0, MVLapTableModel::NumberColumn), Qt::BackgroundRole)
            .value<QColor>(),
        MVHelper::Gui::FasterColor());
    EXPECT_TRUE(wholeTable.idealLapSectors().empty());

    // Two boundaries on the whole-session lap: the single column is the out lap.
    whole->setSectors(boundaries({0.0, 250.0}));
    MVLapTableModel wholeShort(data.lap(2), wholeLaps, {whole}, data.manager, options);
    ASSERT_EQ(wholeShort.columnCount(), kS1 + 1);
    EXPECT_EQ(wholeShort.headerData(kS1, Qt::Horizontal).toString(), "Out");
}

TEST_F(LapTableTest, SelectionMarksFollowTheLapObjects) {
    const auto m = model({data.lap(1), data.lap(2)});
    auto background = [&](int row) {
        return m->data(m->index(row, MVLapTableModel::NumberColumn), Qt::BackgroundRole);
    };
    auto image = [&](int row) {
        return m
            ->data(m->index(row, MVLapTableModel::CheckboxColumn), MVLapTableModel::ImageNameRole)
            .toString();
    };
    EXPECT_EQ(background(0).value<QColor>(), MVHelper::Gui::SlowerColor());  // the longer lap
    EXPECT_EQ(background(1).value<QColor>(), MVHelper::Gui::FasterColor());  // the shorter lap
    EXPECT_FALSE(background(2).isValid());
    EXPECT_FALSE(
        m->data(m->index(0, MVLapTableModel::DurationColumn), Qt::BackgroundRole).isValid());
    EXPECT_EQ(image(0), "Checked Checkbox");
    EXPECT_EQ(image(1), "Checked Checkbox");
    EXPECT_EQ(image(2), "Unchecked Checkbox");
    EXPECT_FALSE(m->data(m->index(0, MVLapTableModel::CheckboxColumn), Qt::DecorationRole)
                     .value<QIcon>()
                     .isNull());

    // A lap of another session with the same number is not this session's lap 3.
    ThreeLapSession other("Session B");
    QSignalSpy changed(m.get(), &QAbstractItemModel::dataChanged);
    m->setSelectedLaps({other.lap(3)});
    EXPECT_EQ(changed.count(), 1);
    for (int row = 0; row < 3; ++row) {
        EXPECT_FALSE(background(row).isValid()) << row;
        EXPECT_EQ(image(row), "Unchecked Checkbox") << row;
    }
    m->setSelectedLaps({data.lap(3)});
    EXPECT_EQ(background(2).value<QColor>(), MVHelper::Gui::FasterColor());
    EXPECT_EQ(
        m->data(m->index(2, MVLapTableModel::NumberColumn), Qt::ForegroundRole).value<QColor>(),
        MVHelper::Gui::DarkBlueColor());
}

TEST_F(LapTableTest, HeaderClicksSortByTheirKeysAndDirections) {
    const auto m = model({data.lap(2)});
    const std::vector<MVLapPtr> shared = data.laps->data();
    EXPECT_EQ(numbers(*m), (std::vector<std::uint64_t>{1, 2, 3}));  // list order at first

    using D = MVSortDescriptor;
    const struct {
        int column;
        std::vector<std::uint64_t> order;
        std::vector<D> descriptors;
    } clicks[] = {
        // Top speed: highest first, then lowest first.
        {MVLapTableModel::VmaxColumn, {2, 1, 3}, {{"vmax", false}}},
        {MVLapTableModel::VmaxColumn, {3, 1, 2}, {{"vmax", true}}},
        // Lap time: shortest first, then longest first; "Delta" sorts as "Time".
        {MVLapTableModel::DurationColumn, {2, 1, 3}, {{"duration", true}, {"vmax", true}}},
        {MVLapTableModel::DurationColumn, {3, 1, 2}, {{"duration", false}, {"vmax", true}}},
        {MVLapTableModel::DeltaColumn, {2, 1, 3}, {{"duration", true}, {"vmax", true}}},
        // A sector: slowest first; a missing sector time stays last either way.
        {kS1 + 1, {2, 1, 3}, {{"2", false}, {"duration", true}, {"vmax", true}}},
        {kS1 + 1, {1, 2, 3}, {{"2", true}, {"duration", true}, {"vmax", true}}},
        {kS1, {3, 1, 2}, {{"1", false}, {"2", true}, {"duration", true}, {"vmax", true}}},
        // Lap number, ascending first.
        {MVLapTableModel::NumberColumn,
         {1, 2, 3},
         {{"number", true}, {"1", false}, {"2", true}, {"duration", true}, {"vmax", true}}},
        // The check box does not sort.
        {MVLapTableModel::CheckboxColumn,
         {1, 2, 3},
         {{"number", true}, {"1", false}, {"2", true}, {"duration", true}, {"vmax", true}}},
    };
    for (const auto& click : clicks) {
        SCOPED_TRACE(testing::Message() << "column " << click.column);
        m->sortByColumnClick(click.column);
        EXPECT_EQ(numbers(*m), click.order);
        EXPECT_EQ(m->sortDescriptors(), click.descriptors);
        EXPECT_EQ(options.lapSortDescriptors(), click.descriptors);
        // The session's own list, shared with the file manager, keeps its order and its laps.
        EXPECT_EQ(data.laps->data(), shared);
    }
}

TEST_F(LapTableTest, ANewTableShowsTheOrderChosenLast) {
    {
        const auto first = model({data.lap(2)});
        first->sortByColumnClick(MVLapTableModel::VmaxColumn);
        first->sortByColumnClick(MVLapTableModel::VmaxColumn);  // lowest top speed first
    }
    const std::vector<MVSortDescriptor> chosen{{"vmax", true}};
    EXPECT_EQ(options.lapSortDescriptors(), chosen);
    EXPECT_EQ(data.laps->data().front(), data.lap(1));  // the shared list is untouched

    int stored = 0;
    auto token = options.observeLapSortDescriptors([&](const auto&, const auto&) { ++stored; });
    const auto rebuilt = model({data.lap(2)});
    EXPECT_EQ(numbers(*rebuilt), (std::vector<std::uint64_t>{3, 1, 2}));
    EXPECT_EQ(stored, 0);  // applying the saved order does not write it again
    // Text and marks follow the lap in its new row.
    EXPECT_EQ(text(*rebuilt, 2, MVLapTableModel::NumberColumn), "2");
    EXPECT_EQ(rebuilt->data(rebuilt->index(2, MVLapTableModel::NumberColumn), Qt::BackgroundRole)
                  .value<QColor>(),
              MVHelper::Gui::FasterColor());
    EXPECT_EQ(rebuilt->rowOfLap(data.lap(2).get()), 2);
}

TEST_F(LapTableTest, ReadsPastTheEndOfAListAreGuarded) {
    // A lap with fewer boundaries than the first lap, and a best lap with fewer still.
    data.lap(3)->setSectors(boundaries({200.0, 230.5}));
    auto best = data.lap(2);
    best->setSectors(boundaries({100.0, 129.8}));
    const auto m = model({data.lap(2)});
    ASSERT_EQ(m->columnCount(), kS1 + 3);
    EXPECT_EQ(text(*m, 2, kS1 + 1), "N/A");
    EXPECT_EQ(text(*m, 2, kS1 + 2), "N/A");
    EXPECT_EQ(text(*m, 1, kS1 + 1), "N/A");
    // Sectors the best lap has no time for show the lap's own time, not a gap to nothing.
    EXPECT_EQ(text(*m, 0, kS1 + 1), "40.20");
    EXPECT_EQ(m->data(m->index(0, kS1 + 1), Qt::ForegroundRole).value<QColor>(),
              MVHelper::Gui::BrightColorOnBackground());
    m->sortByColumnClick(kS1 + 2);  // a sector most laps lack
    EXPECT_EQ(m->rowCount(), 3);

    EXPECT_EQ(m->lapAtRow(-1), nullptr);
    EXPECT_EQ(m->lapAtRow(3), nullptr);
    EXPECT_FALSE(m->data(m->index(3, 0)).isValid());
    EXPECT_FALSE(m->headerData(m->columnCount(), Qt::Horizontal).isValid());

    // A table without laps, without a best lap and without a selection.
    MVLapTableModel empty(nullptr, nullptr, {}, data.manager, options);
    EXPECT_EQ(empty.rowCount(), 0);
    EXPECT_EQ(empty.columnCount(), kS1);
    empty.sortByColumnClick(MVLapTableModel::VmaxColumn);
    empty.setSelectedLaps({});
    empty.reload();
}

TEST_F(LapTableTest, ClickingACheckBoxPostsTheLapOfThatRow) {
    MVLapsTableView view(data.lap(2), data.laps, {data.lap(2)}, data.manager, options);
    view.resize(400, 200);
    view.show();
    view.model()->sortByColumnClick(MVLapTableModel::VmaxColumn);  // lap 2 first

    std::vector<MVLapPtr> posted;
    auto token = platform::NotificationCenter::defaultCenter().addObserver(
        MVLapDidSelected, nullptr, [&](const platform::Notification& note) {
            EXPECT_EQ(note.object, nullptr);
            const MVLapPtr* lap = note.value<MVLapPtr>("selectedLap");
            ASSERT_NE(lap, nullptr);
            posted.push_back(*lap);
        });

    MVTableView* table = view.mainTable();
    auto click = [&](int row, int column) {
        const QRect cell = table->visualRect(table->model()->index(row, column));
        QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, cell.center());
    };
    click(2, MVLapTableModel::CheckboxColumn);
    click(0, MVLapTableModel::CheckboxColumn);
    click(1, MVLapTableModel::DurationColumn);  // not a check box
    ASSERT_EQ(posted.size(), 2u);
    EXPECT_EQ(posted[0], data.lap(3));
    EXPECT_EQ(posted[1], data.lap(2));

    view.tableViewSelected(-1);
    view.tableViewSelected(3);
    EXPECT_EQ(posted.size(), 2u);

    // The table changes nothing by itself: marks come back through the reload.
    EXPECT_EQ(view.model()->selectedLaps(), std::vector<MVLapPtr>{data.lap(2)});
    view.reloadTableViewWithArrayOfSelectedLaps({data.lap(2), data.lap(3)});
    EXPECT_EQ(view.model()
                  ->data(view.model()->index(2, MVLapTableModel::NumberColumn), Qt::BackgroundRole)
                  .value<QColor>(),
              MVHelper::Gui::FasterColor());
}

// The sorted column shows Qt's sort indicator in its direction, on the fixed columns' header for
// the lap number; a click on the check boxes' header moves it nowhere; a new table shows the
// order chosen last.
TEST_F(LapTableTest, TheSortedColumnShowsTheSortIndicator) {
    MVLapsTableView view(data.lap(2), data.laps, {data.lap(2)}, data.manager, options);
    view.resize(500, 200);
    view.show();
    MVTableView* table = view.mainTable();
    ASSERT_NE(table->frozenView(), nullptr);
    const auto clickHeader = [&](int column) {
        MVTableView* owner =
            column < MVLapsTableView::kFrozenColumnCount ? table->frozenView() : table;
        QHeaderView* header = owner->horizontalHeader();
        const int x = header->sectionViewportPosition(column) + header->sectionSize(column) / 2;
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, QPoint(x, header->height() / 2));
    };
    const auto expectIndicator = [&](int column, Qt::SortOrder order, const char* what) {
        for (MVTableView* t : {table, table->frozenView()}) {
            const QHeaderView* header = t->horizontalHeader();
            EXPECT_TRUE(header->isSortIndicatorShown()) << what;
            EXPECT_EQ(header->sortIndicatorSection(), column) << what;
            EXPECT_EQ(header->sortIndicatorOrder(), order) << what;
        }
    };
    EXPECT_FALSE(table->horizontalHeader()->isSortIndicatorShown()) << "in the list's order";

    using T = MVLapTableModel;
    const struct {
        int clicked;
        int shown;
        Qt::SortOrder order;
        const char* what;
    } clicks[] = {
        {T::VmaxColumn, T::VmaxColumn, Qt::DescendingOrder, "top speed, highest first"},
        {T::VmaxColumn, T::VmaxColumn, Qt::AscendingOrder, "top speed, lowest first"},
        {T::DeltaColumn, T::DeltaColumn, Qt::AscendingOrder, "delta"},
        {T::NumberColumn, T::NumberColumn, Qt::AscendingOrder, "lap number"},
        {T::CheckboxColumn, T::NumberColumn, Qt::AscendingOrder, "check boxes"},
        {T::NumberColumn, T::NumberColumn, Qt::DescendingOrder, "lap number again"},
    };
    for (const auto& click : clicks) {
        clickHeader(click.clicked);
        expectIndicator(click.shown, click.order, click.what);
    }

    MVLapsTableView next(data.lap(2), data.laps, {data.lap(2)}, data.manager, options);
    EXPECT_EQ(next.mainTable()->horizontalHeader()->sortIndicatorSection(),
              MVLapTableModel::NumberColumn);
    EXPECT_TRUE(next.mainTable()->horizontalHeader()->isSortIndicatorShown());
}

TEST_F(LapTableTest, ViewLayout) {
    MVLapsTableView view(data.lap(2), data.laps, {data.lap(2)}, data.manager, options);
    view.resize(500, 200);
    view.show();
    const QHeaderView* header = view.mainTable()->horizontalHeader();
    // At least the usual widths, widened where the system face needs room for the texts.
    const int least[] = {32, 36, 55, 40, 40};
    const std::array<int, 5> widths = MVLapTable::fixedColumnWidths();
    for (int c = 0; c < MVLapTableModel::kFixedColumnCount; ++c) {
        EXPECT_EQ(header->sectionSize(c), widths[static_cast<std::size_t>(c)]) << c;
        EXPECT_GE(header->sectionSize(c), least[c]) << c;
    }
    EXPECT_EQ(widths[0], 32);
    const QFontMetrics cell(MVHelper::SmallTextBoldFont());
    EXPECT_GT(widths[MVLapTableModel::DurationColumn], cell.horizontalAdvance("01:32.10"));
    for (int c = kS1; c < kS1 + 3; ++c) EXPECT_GE(header->sectionSize(c), 40) << c;
    EXPECT_EQ(view.mainTable()->rowHeight(0), 20);
    EXPECT_EQ(view.mainTable()->selectionMode(), QAbstractItemView::NoSelection);
}

TEST_F(LapTableTest, ScrollsToTheChosenLapAndKeepsCheckBoxesAndLapNumbersInSight) {
    // Two rows in sight; the chosen lap is the third.
    MVLapsTableView view(data.lap(2), data.laps, {data.lap(3)}, data.manager, options);
    MVTableView* table = view.mainTable();
    view.resize(200, table->horizontalHeader()->height() + 2 * 20 + 20);
    view.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
    auto inSight = [table](int row) {
        const int top = table->rowViewportPosition(row);
        return top >= 0 && top + table->rowHeight(row) <= table->viewport()->height();
    };
    ASSERT_FALSE(inSight(0) && inSight(1) && inSight(2));
    EXPECT_TRUE(inSight(2));
    view.reloadTableViewWithArrayOfSelectedLaps({data.lap(3), data.lap(1)});
    EXPECT_TRUE(inSight(0));

    // The check box and Lap columns stay at the left edge when the sector columns scroll.
    const MVTableView* fixed = table->frozenView();
    ASSERT_NE(fixed, nullptr);
    table->horizontalScrollBar()->setValue(table->horizontalScrollBar()->maximum());
    ASSERT_GT(table->horizontalScrollBar()->value(), 0);
    EXPECT_FALSE(fixed->isColumnHidden(MVLapTableModel::CheckboxColumn));
    EXPECT_FALSE(fixed->isColumnHidden(MVLapTableModel::NumberColumn));
    EXPECT_TRUE(fixed->isColumnHidden(MVLapTableModel::DurationColumn));
    EXPECT_EQ(fixed->columnViewportPosition(MVLapTableModel::NumberColumn),
              table->columnWidth(MVLapTableModel::CheckboxColumn));
    EXPECT_EQ(fixed->geometry().left(), 0);
    // A click on a check box of the fixed columns still chooses the lap.
    std::vector<MVLapPtr> chosen;
    const auto token = platform::NotificationCenter::defaultCenter().addObserver(
        MVLapDidSelected, nullptr, [&](const platform::Notification& note) {
            if (const auto* lap = note.value<MVLapPtr>("selectedLap")) chosen.push_back(*lap);
        });
    const QModelIndex box = view.model()->index(0, MVLapTableModel::CheckboxColumn);
    QTest::mouseClick(fixed->viewport(), Qt::LeftButton, {}, fixed->visualRect(box).center());
    ASSERT_EQ(chosen.size(), 1u);
    EXPECT_EQ(chosen[0], data.lap(1));
}

TEST_F(LapTableTest, UnitChangeRereadsTopSpeeds) {
    const auto m = model({data.lap(2)});
    EXPECT_EQ(text(*m, 1, MVLapTableModel::VmaxColumn), "162.5");
    data.manager.setSpeedUnit(1);  // mph
    QSignalSpy changed(m.get(), &QAbstractItemModel::dataChanged);
    m->reload();
    EXPECT_EQ(changed.count(), 1);
    EXPECT_EQ(text(*m, 1, MVLapTableModel::VmaxColumn), "101.0");  // 162.5 / 1.609344
}

TEST_F(LapTableTest, ModelPassesTheItemModelTester) {
    const auto m = model({data.lap(1), data.lap(2)});
    QAbstractItemModelTester tester(m.get(), QAbstractItemModelTester::FailureReportingMode::Fatal);
    for (int column = 0; column < m->columnCount(); ++column) m->sortByColumnClick(column);
    m->sort(MVLapTableModel::VmaxColumn, Qt::DescendingOrder);
    EXPECT_EQ(numbers(*m), (std::vector<std::uint64_t>{2, 1, 3}));
    m->setSelectedLaps({data.lap(3)});
    m->reload();
}

TEST(LapTableOfALoadedSession, RowsMatchTheGeneratedLaps) {
    TempDir dir;
    platform::UserDefaults store(dir / "defaults.json");
    MVOptionsAndSettings options(store);
    testing_support::SessionOptions generated;
    generated.laps = 3;  // lap 3 is the fastest
    const auto session = testing_support::generateSession(generated);
    MVGLDFileManager manager;
    ASSERT_TRUE(manager.loadGLDFileWithURL(dir.write("three.gld", session.text)));
    const MVLapsPtr laps = manager.arrayOfMVLaps().at(0);
    ASSERT_EQ(laps->count(), 3u);
    const MVLapPtr best = laps->findFastestLap();
    ASSERT_EQ(best->number(), 3u);

    MVLapTableModel m(best, laps, {best}, manager, options);
    QAbstractItemModelTester tester(&m, QAbstractItemModelTester::FailureReportingMode::Fatal);
    ASSERT_EQ(m.rowCount(), 3);
    const int sectorColumns = m.columnCount() - kS1;
    EXPECT_GE(sectorColumns, 1);
    for (int row = 0; row < 3; ++row) {
        SCOPED_TRACE(row);
        const auto& truth = session.truth.laps.at(static_cast<std::size_t>(row));
        const MVLap& lap = *m.lapAtRow(row);
        EXPECT_NEAR(lap.duration(), truth.readerDuration, 0.006);
        EXPECT_EQ(m.data(m.index(row, MVLapTableModel::NumberColumn)).toString(),
                  QString::number(truth.number));
        EXPECT_EQ(m.data(m.index(row, MVLapTableModel::DurationColumn)).toString(),
                  MVLapsTableView::stringOfMinAndSeconds(lap.duration()));
        EXPECT_NEAR(m.data(m.index(row, MVLapTableModel::VmaxColumn)).toString().toDouble(),
                    truth.readerTopSpeedKmh, 0.051);
        EXPECT_EQ(m.data(m.index(row, 1), Qt::FontRole).value<QFont>().bold(), row == 2);
    }
    // Every sector has a best time, marked in magenta in exactly the rows that hold it.
    for (int column = kS1; column < m.columnCount(); ++column) {
        int marked = 0;
        for (int row = 0; row < 3; ++row) {
            const QModelIndex index = m.index(row, column);
            EXPECT_NE(m.data(index).toString(), "N/A") << row << " " << column;
            if (m.data(index, Qt::ForegroundRole).value<QColor>() == QColor(Qt::magenta)) ++marked;
        }
        EXPECT_GE(marked, 1) << column;
    }
    // Top speed first, then the manager's list is still in lap order.
    m.sortByColumnClick(MVLapTableModel::VmaxColumn);
    EXPECT_EQ(laps->lapAtIndex(0)->number(), 1u);
    EXPECT_EQ(laps->lapAtIndex(2)->number(), 3u);
}

}  // namespace
