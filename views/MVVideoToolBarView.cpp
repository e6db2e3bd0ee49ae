#include "views/MVVideoToolBarView.h"

#include "widgets/MVButton.h"
#include "widgets/MVHelperColors.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

#include <functional>

namespace {

// The tool bar's own icons, drawn in light grey on a transparent square.
QIcon drawnIcon(const std::function<void(QPainter&)>& draw) {
    QPixmap pixmap(32, 32);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    QPen pen(MVHelper::Gui::BrightColorOnBackground(), 3, Qt::SolidLine, Qt::RoundCap,
             Qt::RoundJoin);
    painter.setPen(pen);
    draw(painter);
    return QIcon(pixmap);
}

// "Resize Diagonal Filled": a diagonal double arrow.
QIcon resizeDiagonalIcon() {
    return drawnIcon([](QPainter& p) {
        p.drawLine(8, 24, 24, 8);
        p.setBrush(MVHelper::Gui::BrightColorOnBackground());
        p.drawPolygon(QPolygon({QPoint(24, 8), QPoint(15, 8), QPoint(24, 17)}));
        p.drawPolygon(QPolygon({QPoint(8, 24), QPoint(17, 24), QPoint(8, 15)}));
    });
}

// "Export": a tray with an arrow leaving it.
QIcon exportIcon() {
    return drawnIcon([](QPainter& p) {
        p.drawPolyline(QPolygon({QPoint(6, 16), QPoint(6, 26), QPoint(26, 26), QPoint(26, 16)}));
        p.drawLine(16, 20, 16, 5);
        p.drawPolyline(QPolygon({QPoint(10, 11), QPoint(16, 5), QPoint(22, 11)}));
    });
}

}  // namespace

MVVideoToolBarView::MVVideoToolBarView(QWidget* parent) : MVDarkBlueContainer(parent) {
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 10, 0);
    layout->addStretch(1);
    initButtons();
    initPopUpButton();
    layout->addWidget(expandButton_);
    layout->addWidget(exportButton_);
    layout->addWidget(popUpButton_);
}

void MVVideoToolBarView::initPopUpButton() {
    popUpButton_ = new QComboBox(this);
    popUpButton_->setObjectName(QStringLiteral("videoSpeed"));
    popUpButton_->setToolTip(QStringLiteral("Change playback speed"));
    popUpButton_->addItems({QStringLiteral("0.25X"), QStringLiteral("0.5X"), QStringLiteral("1X"),
                            QStringLiteral("2X"), QStringLiteral("4X"), QStringLiteral("8X")});
    popUpButton_->setCurrentIndex(kDefaultSpeedIndex);
    popUpButton_->setFocusPolicy(Qt::NoFocus);
    popUpButton_->setMaximumHeight(25);
}

void MVVideoToolBarView::initButtons() {
    expandButton_ = new MVButton(this);
    expandButton_->setImage(resizeDiagonalIcon());
    expandButton_->setToolTip(QStringLiteral("Full video view or reset video view"));
    exportButton_ = new MVButton(this);
    exportButton_->setImage(exportIcon());
    exportButton_->setToolTip(QStringLiteral("Export video for faster lap (green)"));
    for (MVButton* button : {expandButton_, exportButton_}) button->setFixedSize(25, 25);
}
