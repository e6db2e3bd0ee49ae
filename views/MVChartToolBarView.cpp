#include "views/MVChartToolBarView.h"

#include "widgets/MVButton.h"
#include "widgets/MVHelperColors.h"
#include "widgets/MVTextField.h"

#include "session/MVHelperKeys.h"

#include <QPainter>
#include <QPixmap>

#include <algorithm>
#include <tuple>

namespace {

constexpr int kIcon = 18;
constexpr int kRightMargin = 10;
constexpr int kButtonGap = 8;
constexpr int kLabelGap = 30;
// Wide enough for "Current Position: sample 123456" and "Total: 123456 samples" in the big font.
constexpr int kTotalWidth = 180;
constexpr int kCurrentWidth = 260;

// "Expand": four arrows pointing out of the corners.
QIcon expandImage() {
    QPixmap pixmap(kIcon * 2, kIcon * 2);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(MVHelper::Gui::BrightColorOnBackground(), 3, Qt::SolidLine, Qt::RoundCap));
    const int a = 6, b = 30;
    for (const auto& [x, y, dx, dy] : {std::tuple{a, a, 1, 1}, std::tuple{b, a, -1, 1},
                                       std::tuple{a, b, 1, -1}, std::tuple{b, b, -1, -1}}) {
        painter.drawLine(x, y, x + 9 * dx, y + 9 * dy);
        painter.drawLine(x, y, x + 7 * dx, y);
        painter.drawLine(x, y, x, y + 7 * dy);
    }
    return QIcon(pixmap);
}

// "Menu": three lines.
QIcon menuImage() {
    QPixmap pixmap(kIcon * 2, kIcon * 2);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(MVHelper::Gui::BrightColorOnBackground(), 3, Qt::SolidLine, Qt::RoundCap));
    for (int y : {9, 18, 27}) painter.drawLine(6, y, 30, y);
    return QIcon(pixmap);
}

}  // namespace

MVChartToolBarView::MVChartToolBarView(QWidget* parent) : MVDarkBlueContainer(parent) {
    defaultButton_ = new MVButton(this);
    defaultButton_->setImage(expandImage());
    defaultButton_->setToolTip(QStringLiteral("Reset chart view"));
    editButton_ = new MVButton(this);
    editButton_->setImage(menuImage());
    editButton_->setToolTip(QStringLiteral("Available channels"));
    currentTimeTextField_ = new MVTextField(this);
    maxTimeTextField_ = new MVTextField(this);
    for (MVTextField* field : {currentTimeTextField_, maxTimeTextField_}) {
        field->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    }
    layOut();
}

QSize MVChartToolBarView::sizeHint() const {
    return QSize(400, static_cast<int>(MVHelper::ToolBarHeight()));
}

QSize MVChartToolBarView::minimumSizeHint() const {
    return QSize(
        kRightMargin + 2 * kIcon + kButtonGap + 2 * kLabelGap + kTotalWidth + kCurrentWidth,
        static_cast<int>(MVHelper::ToolBarHeight()));
}

void MVChartToolBarView::resizeEvent(QResizeEvent*) {
    layOut();
}

// Right to left: 10 points of margin, the edit button, the default button, 30 points, the total,
// 30 points, the current value; each vertically centred.
void MVChartToolBarView::layOut() {
    const int h = height();
    const int button = std::min(kIcon, std::max(0, h - 4));
    int right = width() - kRightMargin;
    editButton_->setGeometry(right - button, (h - button) / 2, button, button);
    right -= button + kButtonGap;
    defaultButton_->setGeometry(right - button, (h - button) / 2, button, button);
    right -= button + kLabelGap;
    maxTimeTextField_->setGeometry(right - kTotalWidth, 0, kTotalWidth, h);
    right -= kTotalWidth + kLabelGap;
    currentTimeTextField_->setGeometry(right - kCurrentWidth, 0, kCurrentWidth, h);
}
