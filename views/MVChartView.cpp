#include "views/MVChartView.h"

#include "views/MVChartPlotStackView.h"
#include "views/MVChartSectorView.h"
#include "views/MVChartToolBarView.h"

#include "widgets/MVContainer.h"
#include "widgets/MVHelperColors.h"

#include "session/MVHelperKeys.h"
#include "session/MVNotifications.h"

#include <QScrollArea>
#include <QScrollBar>
#include <QVariantAnimation>

MVChartView::MVChartView(MVChartShared shared, QWidget* parent)
    : QWidget(parent), shared_(shared), thumbnailHeight_(MVHelper::VideoHeight()) {
    oldWidth_ = width();
    MVHelper::addColorLayerWithColor(MVHelper::Gui::BackgoundColor(), this);
    plotScrollArea_ = new QScrollArea(this);
    plotScrollArea_->setObjectName(QStringLiteral("plotScrollArea"));
    plotScrollArea_->setFrameShape(QFrame::NoFrame);
    plotScrollArea_->setWidgetResizable(false);
    plotScrollArea_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    plotScrollArea_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    MVHelper::addColorLayerWithColor(MVHelper::Gui::BackgoundColor(), plotScrollArea_->viewport());
}

MVChartView::~MVChartView() {
    if (animation_) animation_->stop();
}

void MVChartView::initSubviewsWithHideThumbnail(bool hidden) {
    initToolBarView();
    initThumbnailView();
    initSectorView();
    initChartPlotStackView();
    thumbnailHeight_ = hidden ? 0.0 : MVHelper::VideoHeight();
    layOut();
}

void MVChartView::initToolBarView() {
    if (toolBarView_) return;
    toolBarView_ = new MVChartToolBarView(this);
    toolBarView_->show();
}

void MVChartView::initThumbnailView() {
    if (thumbnailView_) return;
    thumbnailView_ =
        new MVChartThumbnailView(platform::UserDefaults::standard(), std::nullopt, this);
    thumbnailView_->show();
}

void MVChartView::initSectorView() {
    if (sectorView_) return;
    sectorView_ = new MVChartSectorView(this);
    sectorView_->initSectorViewWithLap(referenceLap_);
    sectorView_->show();
}

void MVChartView::initChartPlotStackView() {
    if (plotStackView_) return;
    plotStackView_ = new MVChartPlotStackView(shared_);
    plotScrollArea_->setWidget(plotStackView_);
    connect(plotStackView_, &MVChartPlotStackView::plotsRebuilt, this, [this] { layOut(); });
    layOut();  // the plots take their width before their first range is set
    plotStackView_->initPlotStackViewWithArrayOfSelectedLaps(laps_, keys_, data_, xMax_, xShift_,
                                                             xMove_);
    plotStackView_->show();
}

void MVChartView::removeSubviews() {
    if (animation_) animation_->stop();
    delete toolBarView_;
    delete thumbnailView_;
    delete sectorView_;
    delete plotStackView_;
}

void MVChartView::layOut() {
    const int w = width();
    const int toolBar = static_cast<int>(MVHelper::ToolBarHeight());
    const int thumbnail = static_cast<int>(thumbnailHeight_ + 0.5);
    const int sector = static_cast<int>(MVHelper::SectorBarHeight());
    const int room = std::max(0, height() - toolBar - thumbnail - sector);
    const int needed = plotStackView_ ? plotStackView_->minimumStackHeight() : 0;
    const bool scrolls = needed > room;
    plotScrollArea_->setVerticalScrollBarPolicy(scrolls ? Qt::ScrollBarAlwaysOn
                                                        : Qt::ScrollBarAlwaysOff);
    // The strips over the plots end where the plots do, beside the scroll bar.
    const int bar = scrolls ? plotScrollArea_->verticalScrollBar()->sizeHint().width() : 0;
    const int content = std::max(0, w - bar);
    int y = 0;
    if (toolBarView_) toolBarView_->setGeometry(0, y, w, toolBar);
    y += toolBar;
    if (thumbnailView_) thumbnailView_->setGeometry(0, y, content, thumbnail);
    y += thumbnail;
    if (sectorView_) sectorView_->setGeometry(0, y, content, sector);
    y += sector;
    plotScrollArea_->setGeometry(0, y, w, room);
    if (plotStackView_) plotStackView_->resize(content, std::max(room, needed));
}

void MVChartView::resizeEvent(QResizeEvent*) {
    layOut();
    if (width() != oldWidth_) {
        shared_.center->post(MVNotificationBoundsDidChanged, this);
        oldWidth_ = width();
    }
}

// Opens the slot when asked to show and not already open; closes it in every other case.
void MVChartView::hideOrShowThumbnailView(bool show) {
    const bool open = show && thumbnailHeight_ != MVHelper::VideoHeight();
    const double target = open ? MVHelper::VideoHeight() : 0.0;
    if (animation_) animation_->stop();
    if (animationDuration_ <= 0) {
        thumbnailHeight_ = target;
        layOut();
        finishThumbnailAnimation(open);
        return;
    }
    auto* animation = new QVariantAnimation(this);
    animation_ = animation;
    animation->setDuration(animationDuration_);
    animation->setStartValue(thumbnailHeight_);
    animation->setEndValue(target);
    connect(animation, &QVariantAnimation::valueChanged, this, [this](const QVariant& v) {
        thumbnailHeight_ = v.toDouble();
        layOut();
    });
    connect(animation, &QVariantAnimation::finished, this, [this, open, target] {
        thumbnailHeight_ = target;
        layOut();
        finishThumbnailAnimation(open);
    });
    animation->start(QAbstractAnimation::DeleteWhenStopped);
}

void MVChartView::finishThumbnailAnimation(bool shown) {
    shared_.center->post(shown ? MVNotificationThumbnailShowed : MVNotificationThumbnailHided);
}
