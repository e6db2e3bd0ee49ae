#include "widgets/MVButton.h"
#include "widgets/MVHelperColors.h"
#include "widgets/MVSegmentedControl.h"
#include "widgets/MVTabControl.h"
#include "widgets/MVTableHeaderCell.h"
#include "widgets/MVTableView.h"
#include "widgets/MVTextFieldForSectors.h"

#include "session/MVNotifications.h"

#include "platform/NotificationCenter.h"

#include <QAbstractItemModelTester>
#include <QHeaderView>
#include <QImage>
#include <QScrollBar>
#include <QSignalSpy>
#include <QStandardItemModel>
#include <QTest>
#include <QWheelEvent>
#include <gtest/gtest.h>

#include <vector>

namespace {

TEST(TableHeaderCell, TitlesPickTheirColours) {
    const QVector<QColor>& laps = MVHelper::Gui::ColorArray();
    const QColor darkBlue = MVHelper::Gui::DarkBlueColor();
    const QColor white(Qt::white);
    const QColor grey(Qt::darkGray);
    const struct {
        const char* title;
        QColor fill;
        QColor text;
    } cases[] = {
        {"S1", laps[0], darkBlue},
        {"S12", laps[0], darkBlue},  // (12 - 1) mod 11
        {"S3", laps[2], darkBlue},
        {"L3", laps[2], darkBlue},
        {"L14", laps[2], darkBlue},
        {"Speed", laps[4], darkBlue},  // no number: the index wraps to the fifth colour
        {"Channel", MVHelper::Gui::LightBlueColor(), white},
        {"Lap", grey, white},
        {"Out", grey, white},
        {"VMax", grey, white},
        {"", grey, white},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.title);
        const MVTableHeaderCell::Look look =
            MVTableHeaderCell::lookForTitle(QString::fromUtf8(c.title));
        EXPECT_EQ(look.fill, c.fill);
        EXPECT_EQ(look.text, c.text);
    }
}

QStandardItemModel* lapModel(QObject* parent, int rows) {
    auto* model = new QStandardItemModel(rows, 3, parent);
    model->setHorizontalHeaderLabels(
        {QStringLiteral("Lap"), QStringLiteral("S1"), QStringLiteral("Channel")});
    for (int r = 0; r < rows; ++r) {
        for (int c = 0; c < 3; ++c) model->setItem(r, c, new QStandardItem(QString::number(r)));
    }
    return model;
}

TEST(TableView, HeaderSectionsAreColouredAndGridStopsAtTheLastRow) {
    MVTableView table;
    table.setModel(lapModel(&table, 3));
    table.resize(300, 400);
    table.show();
    QImage image(table.size(), QImage::Format_ARGB32);
    image.fill(Qt::magenta);
    table.render(&image);

    const QHeaderView* header = table.horizontalHeader();
    const int headerMiddle = header->height() / 2;
    auto sectionFill = [&](int column) {
        return image.pixelColor(header->sectionViewportPosition(column) + 3, headerMiddle);
    };
    EXPECT_EQ(sectionFill(0), QColor(Qt::darkGray));
    EXPECT_EQ(sectionFill(1), MVHelper::Gui::ColorArray()[0]);
    EXPECT_EQ(sectionFill(2), MVHelper::Gui::LightBlueColor());

    // Below the third row the table shows only its background.
    const int below = header->height() + 3 * table.rowHeight(0) + 4;
    for (int y = below; y < image.height(); y += 7) {
        for (int x = 0; x < image.width(); ++x) {
            ASSERT_EQ(image.pixelColor(x, y), MVHelper::Gui::BackgoundColor())
                << "at " << x << "," << y;
        }
    }
    // Between two columns of a row a grid line is drawn.
    const int rowMiddle = header->height() + table.rowHeight(0) / 2;
    const int lineX = header->sectionViewportPosition(1) - 1;
    EXPECT_NE(image.pixelColor(lineX, rowMiddle), MVHelper::Gui::BackgoundColor());

    // An empty table has no grid at all.
    MVTableView empty;
    empty.setModel(lapModel(&empty, 0));
    empty.resize(300, 200);
    empty.show();
    image = QImage(empty.size(), QImage::Format_ARGB32);
    empty.render(&image);
    for (int y = header->height() + 1; y < image.height(); y += 3) {
        for (int x = 0; x < image.width(); ++x) {
            ASSERT_EQ(image.pixelColor(x, y), MVHelper::Gui::BackgoundColor());
        }
    }
}

// A table of `rows` x `columns` texts "r,c", columns 60 wide, in a 300 x 200 view.
class FrozenColumnsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        for (int r = 0; r < 40; ++r) {
            QList<QStandardItem*> row;
            for (int c = 0; c < 10; ++c)
                row.append(new QStandardItem(QStringLiteral("%1,%2").arg(r).arg(c)));
            model.appendRow(row);
        }
        table.setModel(&model);
        for (int c = 0; c < 10; ++c) table.setColumnWidth(c, 60);
        table.resize(300, 200);
    }
    // Where the frozen view's cell of that row and column lies in the table.
    QRect frozenCell(int row, int column) const {
        const MVTableView* frozen = table.frozenView();
        const QRect cell = frozen->visualRect(model.index(row, column));
        return {frozen->viewport()->mapTo(&table, cell.topLeft()), cell.size()};
    }
    QStandardItemModel model;
    MVTableView table;
};

TEST_F(FrozenColumnsTest, StayInPlaceWhileTheRestScrollsSideways) {
    table.setFrozenColumns(2);
    table.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&table));
    const MVTableView* frozen = table.frozenView();
    ASSERT_NE(frozen, nullptr);

    table.horizontalScrollBar()->setValue(table.horizontalScrollBar()->maximum());
    table.verticalScrollBar()->setValue(12);
    ASSERT_GT(table.horizontalScrollBar()->value(), 0);
    // Lap and check box columns at the left edge, as before the scroll, on the rows now shown.
    EXPECT_EQ(frozen->geometry().left(), 0);
    EXPECT_EQ(frozen->geometry().width(), 120);
    EXPECT_EQ(frozenCell(12, 0).left(), 0);
    EXPECT_EQ(frozenCell(12, 1).left(), 60);
    EXPECT_EQ(frozenCell(12, 0).top(), table.viewport()->mapTo(&table, QPoint(0, 0)).y());
    EXPECT_TRUE(frozen->isColumnHidden(2));
    // The wheel over the fixed columns scrolls the table, and them with it.
    const QPoint over = frozen->viewport()->rect().center();
    QWheelEvent wheel(over, frozen->viewport()->mapToGlobal(over), {}, {0, -120}, Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(frozen->viewport(), &wheel);
    EXPECT_GT(table.verticalScrollBar()->value(), 12);
    EXPECT_EQ(frozen->verticalScrollBar()->value(), table.verticalScrollBar()->value());

    // Clicks and header clicks on the fixed columns reach the table's own signals.
    QSignalSpy clicked(&table, &QAbstractItemView::clicked);
    QSignalSpy titles(table.horizontalHeader(), &QHeaderView::sectionClicked);
    QTest::mouseClick(frozen->viewport(), Qt::LeftButton, {},
                      frozen->visualRect(model.index(21, 1)).center());
    ASSERT_EQ(clicked.count(), 1);
    EXPECT_EQ(clicked[0][0].value<QModelIndex>(), model.index(21, 1));
    QTest::mouseClick(frozen->horizontalHeader()->viewport(), Qt::LeftButton, {},
                      QPoint(90, frozen->horizontalHeader()->height() / 2));
    ASSERT_EQ(titles.count(), 1);
    EXPECT_EQ(titles[0][0].toInt(), 1);

    // A column dragged in among the fixed ones goes back, and so does a fixed one dragged out.
    table.horizontalHeader()->setSectionsMovable(true);
    table.horizontalHeader()->moveSection(5, 0);
    table.horizontalHeader()->moveSection(1, 6);
    for (int c = 0; c < 10; ++c) EXPECT_EQ(table.horizontalHeader()->visualIndex(c), c);
}

TEST_F(FrozenColumnsTest, ScrollingToARowAskedBeforeShowingIsDoneOnScreen) {
    table.setFrozenColumns(2);
    table.scrollToRow(33);
    table.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&table));
    const int top = table.rowViewportPosition(33);
    EXPECT_GE(top, 0);
    EXPECT_LE(top + table.rowHeight(33), table.viewport()->height());
    // Sideways scrolling is left as it was.
    const int sideways = table.horizontalScrollBar()->maximum();
    ASSERT_GT(sideways, 0);
    table.horizontalScrollBar()->setValue(sideways);
    table.verticalScrollBar()->setValue(20);
    table.scrollToRow(2);
    EXPECT_EQ(table.rowViewportPosition(2), 0);
    EXPECT_EQ(table.horizontalScrollBar()->value(), sideways);
}

TEST(SegmentedControl, ClickSelectsAndDisabledFillsAreHalfOpaque) {
    MVSegmentedControl control;
    control.setSegmentCount(3);
    control.setLabel(QStringLiteral("Time"), 0);
    control.setLabel(QStringLiteral("Position"), 1);
    control.resize(300, 25);
    control.show();
    QSignalSpy clicked(&control, &MVSegmentedControl::segmentClicked);
    QTest::mouseClick(&control, Qt::LeftButton, {}, QPoint(150, 12));
    EXPECT_EQ(control.selectedSegment(), 1);
    ASSERT_EQ(clicked.count(), 1);
    EXPECT_EQ(clicked.at(0).at(0).toInt(), 1);

    QImage image(control.size(), QImage::Format_ARGB32);
    image.fill(Qt::white);
    control.render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
    EXPECT_EQ(image.pixelColor(102, 2), MVHelper::Gui::LightBlueColor());
    EXPECT_EQ(image.pixelColor(2, 2), QColor(Qt::black));
    control.setEnabled(false);
    image.fill(Qt::white);
    control.render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
    EXPECT_NEAR(image.pixelColor(2, 2).red(), 128, 2);  // black at half opacity over white

    // A long label is shortened in the middle.
    control.setSegmentCount(1);
    control.setSegmentWidth(120);
    control.setLabel(QStringLiteral("A very long session file name.gld"), 0);
    const QString shown = control.displayedLabel(0);
    EXPECT_TRUE(shown.startsWith(QLatin1Char('A')));
    EXPECT_TRUE(shown.endsWith(QStringLiteral(".gld")));
    EXPECT_TRUE(shown.contains(QChar(0x2026)));
}

TEST(TabControl, EachTabHasOneCloseButtonThatPostsItsIndex) {
    MVTabControl tabs;
    tabs.setSegmentCount(3);
    tabs.setSegmentWidth(120);
    tabs.resize(360, 25);
    tabs.show();
    for (int i = 0; i < 5; ++i) tabs.repaint();
    EXPECT_EQ(tabs.findChildren<MVButton*>().size(), 3);
    EXPECT_EQ(tabs.closeButton(2)->geometry(), QRect(360 - 12, 7, 10, 10));
    EXPECT_EQ(tabs.closeButton(1)->toolTip().toStdString(), "Delete current session");

    std::vector<int> posted;
    platform::ObserverToken token = platform::NotificationCenter::defaultCenter().addObserver(
        MVSessionCloseButtonClicked, nullptr, [&](const platform::Notification& n) {
            const int* index = n.value<int>("index");
            posted.push_back(index != nullptr ? *index : -100);
        });
    QSignalSpy closed(&tabs, &MVTabControl::closeClicked);
    QTest::mouseClick(tabs.closeButton(2), Qt::LeftButton);
    QTest::mouseClick(tabs.closeButton(0), Qt::LeftButton);
    EXPECT_EQ(posted, (std::vector<int>{2, 0}));
    ASSERT_EQ(closed.count(), 2);
    EXPECT_EQ(closed.at(0).at(0).toInt(), 2);
    EXPECT_EQ(tabs.selectedSegment(), -1);  // a close click does not select the tab

    // Closing a tab leaves no button behind for it.
    tabs.setSegmentCount(2);
    EXPECT_EQ(tabs.findChildren<MVButton*>().size(), 2);
    EXPECT_EQ(tabs.closeButton(2), nullptr);
}

TEST(SectorTextField, PaintsItsBackgroundAndCannotBeEdited) {
    MVTextFieldForSectors field;
    field.setText(QStringLiteral("S2"));
    field.setBackgroundColor(MVHelper::Gui::ColorArray()[1]);
    field.resize(60, 21);
    EXPECT_TRUE(field.isReadOnly());
    EXPECT_EQ(field.focusPolicy(), Qt::NoFocus);
    QImage image(field.size(), QImage::Format_ARGB32);
    image.fill(Qt::black);
    field.render(&image);
    EXPECT_EQ(image.pixelColor(2, 2), MVHelper::Gui::ColorArray()[1]);
}

}  // namespace
