#include "views/MVChartThumbnailView.h"

#include "widgets/MVHelperColors.h"

#include <QLabel>
#include <QPixmap>
#include <QScrollBar>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>

MVChartThumbnailView::MVChartThumbnailView(const platform::UserDefaults& defaults,
                                           std::optional<std::filesystem::path> folder,
                                           QWidget* parent)
    : QScrollArea(parent), defaults_(defaults), folder_(std::move(folder)) {
    setObjectName(QStringLiteral("thumbnailView"));
    setFrameShape(QFrame::NoFrame);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setWidgetResizable(false);
    QPalette black = palette();
    black.setColor(QPalette::Window, Qt::black);
    setPalette(black);
    setAutoFillBackground(true);
    viewport()->setPalette(black);
    viewport()->setAutoFillBackground(true);
    scrollContentView_ = new QWidget;
    scrollContentView_->resize(0, 0);
    scrollContentView_->setPalette(black);
    scrollContentView_->setAutoFillBackground(true);
    setWidget(scrollContentView_);
    noVideoLabel_ = new QLabel(QString::fromLatin1(kNoVideoText), this);
    noVideoLabel_->setAlignment(Qt::AlignCenter);
    noVideoLabel_->setFont(MVHelper::BigTextFont());
    QPalette text = noVideoLabel_->palette();
    text.setColor(QPalette::WindowText, MVHelper::Gui::BrightColorOnBackground());
    noVideoLabel_->setPalette(text);
    noVideoLabel_->setAttribute(Qt::WA_TransparentForMouseEvents);
    noVideoLabel_->hide();
    connect(horizontalScrollBar(), &QScrollBar::valueChanged, this, [this] { boundsDidChange(); });
}

MVChartThumbnailView::~MVChartThumbnailView() {
    generationTimer_.cancel();
    generatorToken_.reset();
}

double MVChartThumbnailView::documentWidthForGraphRange(const MVPlotRange& range,
                                                        double max) const {
    const auto length = static_cast<double>(static_cast<float>(range.length));
    const double strip = width();
    if (length != max && length > 0.0 && max > 0.0 && std::isfinite(max / length)) {
        return max / length * strip;
    }
    return strip;
}

void MVChartThumbnailView::updateContentViewWithGraphRange(const MVPlotRange& range, double max,
                                                           std::vector<MVThumbnailInfo> infos) {
    infos_ = std::move(infos);
    contentWidth_ = width();
    const double documentWidth = documentWidthForGraphRange(range, max);
    scrollContentView_->resize(static_cast<int>(std::lround(documentWidth)), height());
    startFetchThumbnails();
}

void MVChartThumbnailView::startFetchThumbnails() {
    isGenerating_ = true;
    generateThumbnails();
}

void MVChartThumbnailView::generateThumbnails() {
    if (infos_.empty()) return;
    if (!generator_) {
        generator_ = std::make_unique<MVThumbnailsGenerator>(defaults_, folder_);
        generatorToken_ = generator_->observeArrayOfImageAndIndex(
            [this](const auto&, const MVThumbnailImageAndIndex& frame) { frameArrived(frame); });
    }
    generator_->setInfos(infos_);
    scheduleGeneration();
}

void MVChartThumbnailView::scheduleGeneration() {
    generationTimer_.cancel();
    generationTimer_.start(kGenerationDelay, false, platform::mainQueue(),
                           [this] { startGeneratingThumbanils(); });
}

double MVChartThumbnailView::getCurrentScrollViewWidth() const {
    return scrollContentView_ ? scrollContentView_->width() : 0.0;
}

void MVChartThumbnailView::setShowsNoVideoMessage(bool shown) {
    noVideoLabel_->setGeometry(rect());
    noVideoLabel_->setVisible(shown);
    if (shown) noVideoLabel_->raise();
}

bool MVChartThumbnailView::showsNoVideoMessage() const {
    return !noVideoLabel_->isHidden();
}

void MVChartThumbnailView::updateSubviewsWithGraphRange(const MVPlotRange& range, double max) {
    const auto length = static_cast<double>(static_cast<float>(range.length));
    if (length != max && length > 0.0) {
        scrollThumbnailByPoint(range.location * width() / length);
    } else {
        scrollThumbnailByPoint(0.0);
    }
}

void MVChartThumbnailView::scrollThumbnailByPoint(double x) {
    if (!std::isfinite(x)) return;
    horizontalScrollBar()->setValue(static_cast<int>(std::lround(x)));
}

void MVChartThumbnailView::removeThumbnails() {
    isGenerating_ = false;
    for (QWidget* child :
         scrollContentView_->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly)) {
        delete child;
    }
    shown_.clear();
}

void MVChartThumbnailView::startGeneratingThumbanils() {
    const double x = std::abs(static_cast<double>(horizontalScrollBar()->value()));
    const auto start = static_cast<std::int64_t>(std::floor(x / kSlotWidth));
    // Every slot the window shows a part of, the one cut at its right edge too.
    const auto end = static_cast<std::int64_t>(std::ceil((contentWidth_ + x) / kSlotWidth));
    currentStartIndex_ = start;
    if (start >= end || !generator_) return;
    for (const MVThumbnailInfo& info : infos_) {
        const auto slot = static_cast<std::int64_t>(info.index);
        if (slot >= start && slot < end && !shown_.count(slot)) {
            ++generationRequests_;
            generator_->startGeneratingThumnailsAtStartIndex(start, end);
            return;
        }
    }
}

// Slot k lies at k x 160 in the document, wherever the window was when the frame was asked for.
void MVChartThumbnailView::frameArrived(const MVThumbnailImageAndIndex& frame) {
    if (!isGenerating_ || infos_.empty()) return;
    const auto last = static_cast<std::int64_t>(infos_.back().index);
    if (frame.index < 0 || frame.index > last || frame.index < currentStartIndex_) return;
    if (!shown_.insert(frame.index).second) return;  // already on screen
    auto* imageView = new QLabel(scrollContentView_);
    imageView->setPixmap(QPixmap::fromImage(frame.image));
    imageView->setGeometry(static_cast<int>(frame.index * kSlotWidth), 0, frame.image.width(),
                           frame.image.height());
    imageView->show();
}

void MVChartThumbnailView::boundsDidChange() {
    const double origin = horizontalScrollBar()->value();
    if (std::abs(scrollMoveOffset_.get() - origin) < 1.0) return;
    scrollMoveOffset_.set(origin);
    if (isGenerating_ && generator_) scheduleGeneration();
}

// Turning the wheel towards the user (or a swipe to the left) asks for a later moment.
void MVChartThumbnailView::wheelEvent(QWheelEvent* event) {
    event->accept();
    const QPoint pixels = event->pixelDelta();
    const QPoint delta = pixels.isNull() ? event->angleDelta() : pixels;
    const int step = delta.x() != 0 ? delta.x() : delta.y();
    if (step != 0) scrollRequest_.set(-static_cast<double>(step));
}

void MVChartThumbnailView::resizeEvent(QResizeEvent* event) {
    QScrollArea::resizeEvent(event);
    // The document is never narrower than the strip: before the first slots arrive its width is
    // what the slot count is worked out from.
    scrollContentView_->resize(std::max(scrollContentView_->width(), width()), height());
    noVideoLabel_->setGeometry(rect());
}
