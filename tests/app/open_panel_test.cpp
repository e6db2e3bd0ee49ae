// The open panel: the session preview beside the file list, at least ten rows of the list at the
// default size, the size and date columns as wide as what they show, the names taking the rest.
#include "tests/support/TempDir.h"

#include "app/MVOpenPanel.h"

#include <QFileDialog>
#include <QFileSystemModel>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QHeaderView>
#include <QScreen>
#include <QStyle>
#include <QTest>
#include <QTreeView>
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>

namespace {

TEST(OpenPanel, ListsTenRowsBesideThePreviewWithColumnsThatFit) {
    testing_support::TempDir dir;
    for (int i = 1; i <= 12; ++i) {
        dir.write("Larkfield 2026-12-" + std::to_string(10 + i) + " afternoon.gld",
                  std::string(static_cast<std::size_t>(i) * 21000, 'x'));
    }
    QWidget* preview = nullptr;
    std::unique_ptr<QFileDialog> panel(MVOpenPanel::create(
        nullptr, [&](QWidget* parent) { return preview = new QWidget(parent); }));
    panel->setAttribute(Qt::WA_DeleteOnClose, false);
    EXPECT_EQ(panel->size(), MVOpenPanel::kDefaultSize);
    panel->setDirectory(QString::fromStdString(dir.path().string()));
    panel->show();
    auto* list = panel->findChild<QTreeView*>(QStringLiteral("treeView"));
    ASSERT_NE(list, nullptr);
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return list->model()->rowCount(list->rootIndex()) == 12; }, 20000));
    // The size column is filled once the folder's details have been read.
    auto* files = qobject_cast<QFileSystemModel*>(list->model());
    ASSERT_NE(files, nullptr);
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return files->size(list->model()->index(11, 0, list->rootIndex())) > 0; }, 20000));
    QCoreApplication::processEvents();

    ASSERT_NE(preview, nullptr);
    auto* area = panel->findChild<QWidget*>(QStringLiteral("openPanelAccessory"));
    ASSERT_NE(area, nullptr);
    const QRect listRect(list->mapTo(panel.get(), QPoint(0, 0)), list->size());
    const QRect areaRect(area->mapTo(panel.get(), QPoint(0, 0)), area->size());
    EXPECT_GE(areaRect.left(), listRect.right()) << "the preview lies to the right of the list";
    EXPECT_LT(areaRect.top(), listRect.bottom());
    EXPECT_GE(areaRect.width(), MVOpenPanel::kAccessoryWidth);

    const int rowHeight = list->sizeHintForRow(0);
    ASSERT_GT(rowHeight, 0);
    EXPECT_GE(list->viewport()->height(), 10 * rowHeight);

    // Every text whole: the column is wider than its widest text (the name also has its icon).
    // `from`: the first column that must show its texts whole.
    QHeaderView* header = list->header();
    const QFontMetrics metrics(list->font());
    const auto expectWhole = [&](int from, const char* size) {
        QCoreApplication::processEvents();
        for (int column = from; column < 4; ++column) {
            if (header->isSectionHidden(column)) continue;
            int widest = 0;
            for (int row = 0; row < 12; ++row) {
                const QString text =
                    list->model()->index(row, column, list->rootIndex()).data().toString();
                widest = std::max(widest, metrics.horizontalAdvance(text));
            }
            const int icon = column == 0 ? list->style()->pixelMetric(QStyle::PM_SmallIconSize) : 0;
            EXPECT_GT(header->sectionSize(column), widest + icon)
                << "column " << column << " cuts what it shows at " << size;
        }
        // The columns fill the list's width, none past it.
        EXPECT_LE(header->length(), list->viewport()->width()) << size;
    };
    expectWhole(0, "the default size");
    // On a 1024x700 screen: the names may be cut, the size and date never.
    panel->resize(1024 - 40, 700 - 40);
    expectWhole(1, "1024x700");
    EXPECT_GE(header->sectionSize(0), 160) << "the names keep room";
}

TEST(OpenPanel, DefaultSizeIsCutToTheWindowsScreen) {
    QWidget window;
    const QSize available = window.screen()->availableGeometry().size();
    std::unique_ptr<QFileDialog> panel(MVOpenPanel::create(&window, {}));
    EXPECT_EQ(panel->size(), MVOpenPanel::kDefaultSize.boundedTo(available - QSize(40, 40)));
    EXPECT_LE(panel->width(), available.width());
    EXPECT_LE(panel->height(), available.height());
}

}  // namespace
