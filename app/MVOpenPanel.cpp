#include "app/MVOpenPanel.h"

#include <QFileDialog>
#include <QGridLayout>
#include <QHeaderView>
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

// Every column as wide as what it shows (the list scrolls sideways when they do not fit), the
// last one taking what is left.
void fitColumns(QFileDialog& panel) {
    auto* list = panel.findChild<QTreeView*>(QStringLiteral("treeView"));
    if (list == nullptr) return;
    QHeaderView* header = list->header();
    header->setSectionResizeMode(QHeaderView::ResizeToContents);
    header->setStretchLastSection(true);
}

}  // namespace

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
