#include "app/MVSplitView.h"

#include "platform/Clock.h"

#include <algorithm>
#include <cmath>

MVSplitView::MVSplitView(Qt::Orientation orientation, QWidget* parent)
    : QSplitter(orientation, parent) {
    setHandleWidth(kDividerThickness);
    setChildrenCollapsible(true);
    setStyleSheet(QStringLiteral("QSplitter::handle { background-color: rgb(30, 144, 255); }"));
    connect(this, &QSplitter::splitterMoved, this, &MVSplitView::dividersMoved);
}

void MVSplitView::resizeEvent(QResizeEvent* event) {
    QSplitter::resizeEvent(event);
    emit resized();
}

int MVSplitView::positionOfDividerAtIndex(int index) const {
    if (index < 0) return 0;
    const QList<int> sizes = this->sizes();
    for (int i = std::min<int>(index, static_cast<int>(sizes.size()) - 1); i >= 0; --i) {
        if (sizes[i] <= 0 || !widget(i)->isVisibleTo(this)) continue;
        const QRect frame = widget(i)->geometry();
        return orientation() == Qt::Horizontal ? frame.x() + frame.width()
                                               : frame.y() + frame.height();
    }
    return 0;
}

void MVSplitView::setPositionOfDividerAtIndex(int position, int index) {
    if (index < 0 || index + 1 >= count()) return;
    QList<int> sizes = this->sizes();
    const int extent = orientation() == Qt::Horizontal ? width() : height();
    const int available =
        std::max(0, extent - handleWidth() * (static_cast<int>(sizes.size()) - 1));
    // Pane `index` ends at `position`; the panes before it keep their sizes; the one after it
    // takes what is left of the two.
    int before = 0;
    for (int i = 0; i < index; ++i) before += sizes[i] + handleWidth();
    int after = available;
    for (int i = 0; i < static_cast<int>(sizes.size()); ++i) {
        if (i != index && i != index + 1) after -= sizes[i];
    }
    const int mine = std::clamp(position - before, 0, std::max(0, after));
    sizes[index] = mine;
    sizes[index + 1] = std::max(0, after - mine);
    setSizes(sizes);
    emit dividersMoved();
}

void MVSplitView::animateSplitPosition(int position) {
    animationStart_ = splitPosition();
    animationTarget_ = position;
    animationBegan_ = platform::Clock::steadyNow();
    animation_.start(std::chrono::milliseconds(10), true, platform::mainQueue(),
                     [this] { stepAnimation(); });
}

void MVSplitView::stepAnimation() {
    if (!animationTarget_) return;
    const double elapsed =
        std::chrono::duration<double>(platform::Clock::steadyNow() - animationBegan_).count();
    const double t =
        std::clamp(elapsed / std::chrono::duration<double>(kAnimationDuration).count(), 0.0, 1.0);
    const int target = *animationTarget_;
    setPositionOfDividerAtIndex(
        static_cast<int>(std::lround(animationStart_ + (target - animationStart_) * t)), 0);
    if (t >= 1.0) {
        setPositionOfDividerAtIndex(target, 0);
        animationTarget_.reset();
        animation_.cancel();
    }
}
