#include "app/MVOpenPanel.h"

#include <QAbstractItemView>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QGridLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QScreen>
#include <QSplitter>
#include <QTreeView>

#include <algorithm>

namespace MVOpenPanel {

namespace {

// Room kept around the panel on a small screen for the window manager's frame.
constexpr int kScreenMargin = 40;

QWidget* makeAccessory(QWidget* parent, const AccessoryFactory& factory) {
    auto* accessory = new QWidget(parent);
    accessory->setObjectName(QStringLiteral("openPanelAccessory"));
    accessory->setMinimumWidth(kAccessoryWidth);
    auto* layout = new QGridLayout(accessory);
    layout->setContentsMargins(0, 0, 0, 0);
    if (factory) {
        if (QWidget* preview = factory(accessory)) layout->addWidget(preview);
    }
    return accessory;
}

// The size and date columns as wide as what they show, the name column taking what is left: on
// a small screen the names are cut (with an ellipsis), never the dates. The type column, the same
// on every row of a list of session files, gives its room to the names.
void fitColumns(QFileDialog& panel) {
    auto* list = panel.findChild<QTreeView*>(QStringLiteral("treeView"));
    if (list == nullptr) return;
    QHeaderView* header = list->header();
    header->setStretchLastSection(false);
    header->setSectionResizeMode(QHeaderView::ResizeToContents);
    header->setSectionResizeMode(0, QHeaderView::Stretch);
    header->setSectionHidden(2, true);
}

}  // namespace

void followSelection(QFileDialog& panel, const std::function<void(const QString& path)>& chosen) {
    // A click or an arrow key moves the current item; the name completer selects the item it
    // completes to, which moves no current item.
    QObject::connect(&panel, &QFileDialog::currentChanged, &panel, chosen);
    auto* list = panel.findChild<QAbstractItemView*>(QStringLiteral("listView"));
    auto* tree = panel.findChild<QAbstractItemView*>(QStringLiteral("treeView"));
    for (QAbstractItemView* view : {list, tree}) {
        if (view == nullptr || view->selectionModel() == nullptr) continue;
        QItemSelectionModel* selection = view->selectionModel();
        QObject::connect(
            selection, &QItemSelectionModel::selectionChanged, &panel, [selection, chosen] {
                const QModelIndexList rows = selection->selectedRows();
                if (rows.isEmpty()) return;
                const QString path = rows.first().data(QFileSystemModel::FilePathRole).toString();
                if (!path.isEmpty()) chosen(path);
            });
    }
}

QFileDialog* create(QWidget* window, const AccessoryFactory& accessory) {
    auto* panel = new QFileDialog(window, QStringLiteral("Choose a gld file"));
    panel->setObjectName(QStringLiteral("openPanel"));
    panel->setOption(QFileDialog::DontUseNativeDialog, true);
    panel->setFileMode(QFileDialog::ExistingFile);
    panel->setNameFilter(QStringLiteral("Session files (*.gld)"));
    panel->setViewMode(QFileDialog::Detail);
    panel->setWindowModality(Qt::WindowModal);
    panel->setAttribute(Qt::WA_DeleteOnClose);
    fitColumns(*panel);

    QWidget* area = makeAccessory(panel, accessory);
    auto* splitter = panel->findChild<QSplitter*>(QStringLiteral("splitter"));
    if (splitter != nullptr) {
        splitter->addWidget(area);
        const int index = splitter->indexOf(area);
        splitter->setCollapsible(index, false);
        splitter->setStretchFactor(index, 0);
        splitter->setStretchFactor(index - 1, 1);
    } else if (auto* grid = qobject_cast<QGridLayout*>(panel->layout())) {
        grid->addWidget(area, grid->rowCount(), 0, 1, grid->columnCount());
    }

    QSize size = kDefaultSize;
    if (const QScreen* screen = window ? window->screen() : nullptr) {
        size = size.boundedTo(screen->availableGeometry().size() -
                              QSize(kScreenMargin, kScreenMargin));
    }
    panel->resize(size);
    if (splitter != nullptr) {
        // The places bar keeps its width, the preview its least width, the list the rest.
        QList<int> sizes = splitter->sizes();
        const int total = size.width();
        if (sizes.size() == 3) {
            const int side = sizes[0] > 0 ? sizes[0] : 120;
            sizes = {side, std::max(0, total - side - kAccessoryWidth), kAccessoryWidth};
            splitter->setSizes(sizes);
        }
    }
    return panel;
}

}  // namespace MVOpenPanel
