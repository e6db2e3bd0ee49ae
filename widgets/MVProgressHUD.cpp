#include "widgets/MVProgressHUD.h"

#include "widgets/MVBarProgressView.h"
#include "widgets/MVRoundProgressView.h"
#include "widgets/MVSpinningProgressIndicator.h"

#include <QFontMetricsF>
#include <QGraphicsOpacityEffect>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

#include <algorithm>
#include <cmath>

namespace {

constexpr std::chrono::milliseconds kFadeStep{15};
constexpr double kHiddenAlphaBeforeDone = 0.2;
constexpr double kLabelSpacing = 4;
constexpr double kLabelExtraWidth = 10;

platform::Duration seconds(double s) {
    return std::chrono::duration_cast<platform::Duration>(std::chrono::duration<double>(s));
}

QFont boldFont(int pixelSize) {
    QFont font;
    font.setPixelSize(pixelSize);
    font.setBold(true);
    return font;
}

// One line of text as the panel measures it: nothing for no text, else its size plus a little
// room, no wider than `maxWidth`.
QSizeF measure(const QString& text, const QFont& font, double maxWidth) {
    if (text.isEmpty()) return QSizeF(0, 0);
    QSizeF size = QFontMetricsF(font).size(Qt::TextSingleLine, text);
    if (size.width() > 0) size.setWidth(size.width() + kLabelExtraWidth);
    size.setWidth(std::max(0.0, std::min(size.width(), maxWidth)));
    return size;
}

}  // namespace

// ---- class operations ----

MVProgressHUD* MVProgressHUD::showHUDAddedTo(QWidget* view, bool animated) {
    auto* hud = new MVProgressHUD(view);
    hud->raise();
    hud->showAnimated(animated);
    return hud;
}

bool MVProgressHUD::hideHUDForView(QWidget* view, bool animated) {
    MVProgressHUD* hud = HUDForView(view);
    if (hud == nullptr) return false;
    hud->setRemoveFromSuperViewOnHide(true);
    hud->hideAnimated(animated);
    return true;
}

int MVProgressHUD::hideAllHUDsForView(QWidget* view, bool animated) {
    const QList<MVProgressHUD*> huds = allHUDsForView(view);
    for (MVProgressHUD* hud : huds) {
        hud->setRemoveFromSuperViewOnHide(true);
        hud->hideAnimated(animated);
    }
    return static_cast<int>(huds.size());
}

MVProgressHUD* MVProgressHUD::HUDForView(QWidget* view) {
    if (view == nullptr) return nullptr;
    const QObjectList& children = view->children();
    for (auto it = children.rbegin(); it != children.rend(); ++it) {
        if (auto* hud = qobject_cast<MVProgressHUD*>(*it)) return hud;
    }
    return nullptr;
}

QList<MVProgressHUD*> MVProgressHUD::allHUDsForView(QWidget* view) {
    QList<MVProgressHUD*> huds;
    if (view == nullptr) return huds;
    for (QObject* child : view->children()) {
        if (auto* hud = qobject_cast<MVProgressHUD*>(child)) huds.append(hud);
    }
    return huds;
}

// ---- construction ----

MVProgressHUD::MVProgressHUD(QWidget* view)
    : QWidget(view), labelFont_(boldFont(16)), detailsLabelFont_(boldFont(12)) {
    setAttribute(Qt::WA_TranslucentBackground);
    opacityEffect_ = new QGraphicsOpacityEffect(this);
    setGraphicsEffect(opacityEffect_);
    setAlpha(0);
    // Hidden until shown, also when the host is shown later.
    setVisible(false);
    if (view != nullptr) {
        setGeometry(view->rect());
        view->installEventFilter(this);
    }
}

MVProgressHUD::~MVProgressHUD() {
    graceTimer_.cancel();
    minShowTimer_.cancel();
    delayTimer_.cancel();
    fadeTimer_.cancel();
}

// ---- showing and hiding ----

void MVProgressHUD::showAnimated(bool animated) {
    useAnimation_ = animated;
    showRequested_ = true;
    minShowTimer_.cancel();
    delayTimer_.cancel();
    updateIndicators();
    relayout();
    if (graceTime_ > 0) {
        graceTimer_.start(seconds(graceTime_), false, platform::mainQueue(),
                          [this] { handleGraceTimer(); });
        return;
    }
    showUsingAnimation(useAnimation_);
}

void MVProgressHUD::hideAnimated(bool animated) {
    useAnimation_ = animated;
    showRequested_ = false;
    delayTimer_.cancel();
    // A pending grace period ends here: the overlay must not appear after being hidden.
    graceTimer_.cancel();
    if (minShowTime_ > 0 && showStarted_) {
        const platform::Duration shown = platform::Clock::steadyNow() - *showStarted_;
        const platform::Duration minimum = seconds(minShowTime_);
        if (shown < minimum) {
            minShowTimer_.start(minimum - shown, false, platform::mainQueue(),
                                [this] { handleMinShowTimer(); });
            return;
        }
    }
    hideUsingAnimation(useAnimation_);
}

void MVProgressHUD::hideAnimated(bool animated, platform::Duration delay) {
    delayTimer_.start(delay, false, platform::mainQueue(),
                      [this, animated] { hideDelayed(animated); });
}

void MVProgressHUD::showAnimated(bool animated, std::function<void()> task, platform::Queue& queue,
                                 std::function<void()> completion) {
    taskInProgress_ = true;
    completionBlock_ = std::move(completion);
    std::weak_ptr<int> alive = life_;
    queue.async([this, alive, task = std::move(task)] {
        if (task) task();
        platform::mainQueue().async([this, alive] {
            if (alive.lock()) cleanUp();
        });
    });
    showAnimated(animated);
}

void MVProgressHUD::handleGraceTimer() {
    if (taskInProgress_ || showRequested_) showUsingAnimation(useAnimation_);
}

void MVProgressHUD::handleMinShowTimer() {
    hideUsingAnimation(useAnimation_);
}

void MVProgressHUD::hideDelayed(bool animated) {
    emit wasHiddenAfterDelay(this);
    hideAnimated(animated);
}

void MVProgressHUD::cleanUp() {
    taskInProgress_ = false;
    hideAnimated(useAnimation_);
}

void MVProgressHUD::showUsingAnimation(bool animated) {
    showStarted_ = platform::Clock::steadyNow();
    setVisible(true);
    if (animated) {
        if (animationType_ == Zoom) setScale(1.5);
        if (animationType_ == ZoomIn) setScale(0.5);
        fadeTo(1.0, 1.0, {});
    } else {
        fadeTimer_.cancel();
        setScale(1.0);
        setAlpha(1.0);
    }
}

void MVProgressHUD::hideUsingAnimation(bool animated) {
    delayTimer_.cancel();
    if (animated && showStarted_) {
        showStarted_.reset();
        const double scaleTarget =
            animationType_ == Zoom ? 0.5 : (animationType_ == ZoomIn ? 1.5 : scale_);
        fadeTo(kHiddenAlphaBeforeDone, scaleTarget, [this] { done(); });
        return;
    }
    fadeTimer_.cancel();
    setAlpha(0);
    showStarted_.reset();
    done();
}

void MVProgressHUD::done() {
    isFinished_ = true;
    setAlpha(0);
    setVisible(false);
    if (removeFromSuperViewOnHide_) {
        if (parentWidget() != nullptr) parentWidget()->removeEventFilter(this);
        setParent(nullptr);
        deleteLater();
    }
    std::function<void()> completion = std::move(completionBlock_);
    completionBlock_ = nullptr;
    if (completion) completion();
    emit wasHidden(this);
}

void MVProgressHUD::setAlpha(double alpha) {
    alpha_ = alpha;
    opacityEffect_->setOpacity(alpha);
}

void MVProgressHUD::setScale(double scale) {
    if (scale_ == scale) return;
    scale_ = scale;
    relayout();
}

void MVProgressHUD::fadeTo(double target, double scaleTarget, std::function<void()> then) {
    fadeTimer_.cancel();
    fadeFrom_ = alpha_;
    fadeTarget_ = target;
    scaleFrom_ = scale_;
    scaleTarget_ = scaleTarget;
    fadeDone_ = std::move(then);
    fadeStart_ = platform::Clock::steadyNow();
    fadeTimer_.start(kFadeStep, true, platform::mainQueue(), [this] {
        const double t =
            std::chrono::duration<double>(platform::Clock::steadyNow() - fadeStart_).count() /
            std::chrono::duration<double>(kAnimationDuration).count();
        if (t < 1) {
            setAlpha(fadeFrom_ + (fadeTarget_ - fadeFrom_) * t);
            setScale(scaleFrom_ + (scaleTarget_ - scaleFrom_) * t);
            return;
        }
        fadeTimer_.cancel();
        setAlpha(fadeTarget_);
        setScale(scaleTarget_);
        std::function<void()> then = std::move(fadeDone_);
        fadeDone_ = nullptr;
        if (then) then();
    });
}

// ---- clicks ----

void MVProgressHUD::mousePressEvent(QMouseEvent* event) {
    if (isFinished_) {
        QWidget::mousePressEvent(event);
        return;
    }
    event->accept();  // nothing under the overlay gets the click
    if (dismissible_) {
        cleanUp();
        emit wasTapped(this);
    }
}

// ---- properties ----

void MVProgressHUD::onMain(std::function<void()> change) {
    if (platform::mainQueue().isCurrent()) {
        change();
        return;
    }
    std::weak_ptr<int> alive = life_;
    platform::mainQueue().async([alive, change = std::move(change)] {
        if (alive.lock()) change();
    });
}

void MVProgressHUD::setMode(Mode mode) {
    onMain([this, mode] {
        mode_ = mode;
        updateIndicators();
        relayout();
    });
}

void MVProgressHUD::setCustomView(QWidget* view) {
    if (customView_ != nullptr && customView_ != view && customView_ != indicator_) {
        customView_->deleteLater();
    }
    customView_ = view;
    if (view != nullptr && view != indicator_) {
        view->setParent(this);
        view->hide();
    }
    updateIndicators();
    relayout();
}

void MVProgressHUD::setLabelText(const QString& text) {
    onMain([this, text] {
        labelText_ = text;
        relayout();
    });
}

void MVProgressHUD::setDetailsLabelText(const QString& text) {
    onMain([this, text] {
        detailsLabelText_ = text;
        relayout();
    });
}

void MVProgressHUD::setLabelFont(const QFont& font) {
    labelFont_ = font;
    relayout();
}

void MVProgressHUD::setDetailsLabelFont(const QFont& font) {
    detailsLabelFont_ = font;
    relayout();
}

void MVProgressHUD::setLabelColor(const QColor& color) {
    labelColor_ = color;
    update();
}

void MVProgressHUD::setDetailsLabelColor(const QColor& color) {
    detailsLabelColor_ = color;
    update();
}

void MVProgressHUD::setProgress(float progress) {
    onMain([this, progress] {
        progress_ = progress;
        if (auto* round = qobject_cast<MVRoundProgressView*>(indicator_)) {
            round->setProgress(progress);
        } else if (auto* bar = qobject_cast<MVBarProgressView*>(indicator_)) {
            bar->setProgress(progress);
        }
    });
}

void MVProgressHUD::setOpacity(float opacity) {
    opacity_ = opacity;
    update();
}

void MVProgressHUD::setColor(const QColor& color) {
    color_ = color;
    update();
}

void MVProgressHUD::setXOffset(float offset) {
    xOffset_ = offset;
    relayout();
}

void MVProgressHUD::setYOffset(float offset) {
    yOffset_ = offset;
    relayout();
}

void MVProgressHUD::setMargin(float margin) {
    margin_ = margin;
    relayout();
}

void MVProgressHUD::setCornerRadius(float radius) {
    cornerRadius_ = radius;
    update();
}

void MVProgressHUD::setSquare(bool square) {
    square_ = square;
    relayout();
}

void MVProgressHUD::setDimBackground(bool dim) {
    dimBackground_ = dim;
    update();
}

void MVProgressHUD::setMinSize(const QSizeF& size) {
    minSize_ = size;
    relayout();
}

// ---- indicator and layout ----

void MVProgressHUD::replaceIndicator(QWidget* next) {
    QWidget* old = indicator_;
    indicator_ = next;
    if (old != nullptr && old != next) {
        if (old == customView_) {
            old->hide();  // kept for a later return to the custom mode
        } else {
            delete old;
        }
    }
    if (next != nullptr) {
        next->setParent(this);
        next->show();
        indicatorRestSize_ = next->size();
    }
}

void MVProgressHUD::updateIndicators() {
    const int side = static_cast<int>(std::lround(spinsize_));
    switch (mode_) {
        case Indeterminate:
            if (qobject_cast<MVSpinningProgressIndicator*>(indicator_) == nullptr) {
                auto* spinner = new MVSpinningProgressIndicator(this);
                spinner->setGeometry(20, 20, side, side);
                spinner->setColor(Qt::white);
                spinner->setUsesThreadedAnimation(false);
                spinner->startAnimation();
                replaceIndicator(spinner);
            }
            break;
        case Determinate:
        case AnnularDeterminate: {
            auto* round = qobject_cast<MVRoundProgressView*>(indicator_);
            if (round == nullptr) {
                round = new MVRoundProgressView(this);
                round->resize(side, side);
                replaceIndicator(round);
            }
            // Going back to the pie keeps a ring that was set.
            if (mode_ == AnnularDeterminate) round->setAnnular(true);
            break;
        }
        case DeterminateHorizontalBar:
            replaceIndicator(new MVBarProgressView(this));
            break;
        case CustomView:
            if (customView_ != indicator_) replaceIndicator(customView_);
            break;
        case Text:
            replaceIndicator(nullptr);
            break;
    }
}

void MVProgressHUD::relayout() {
    layoutSubviews();
    update();
}

void MVProgressHUD::layoutSubviews() {
    const double w = width();
    const double h = height();
    const double m = margin_;
    const double maxWidth = w - 4 * m;

    // At rest the indicator's own size counts; while zoomed, the size it had at rest.
    if (indicator_ != nullptr && scale_ == 1.0) indicatorRestSize_ = indicator_->size();
    QSizeF indicatorSize = indicator_ != nullptr ? QSizeF(indicatorRestSize_) : QSizeF(0, 0);
    indicatorSize.setWidth(std::max(0.0, std::min(indicatorSize.width(), maxWidth)));
    const QSizeF label = measure(labelText_, labelFont_, maxWidth);
    const QSizeF details = measure(detailsLabelText_, detailsLabelFont_, maxWidth);
    const double ih = indicatorSize.height();
    const double lh = label.height();
    const double dh = details.height();
    const double labelGap = (lh > 0 && ih > 0) ? kLabelSpacing : 0;
    const double detailsGap = (dh > 0 && (ih > 0 || lh > 0)) ? kLabelSpacing : 0;

    double panelWidth = std::max({indicatorSize.width(), label.width(), details.width()}) + 2 * m;
    double panelHeight = ih + lh + dh + 2 * m + labelGap + detailsGap;

    // Stacked from the top: indicator, label, details.
    const double top = m + std::round((h - panelHeight) / 2) + yOffset_;
    auto centredX = [&](double itemWidth) { return std::round((w - itemWidth) / 2) + xOffset_; };
    if (indicator_ != nullptr) {
        // The indicator zooms with the panel, about the panel's centre.
        const QPointF centre(w / 2 + xOffset_, h / 2 + yOffset_);
        const QRectF rest(centredX(indicatorSize.width()), top, indicatorSize.width(), ih);
        const QRectF zoomed(centre + (rest.topLeft() - centre) * scale_, rest.size() * scale_);
        indicator_->setGeometry(zoomed.toRect());
    }
    const double labelY = top + ih + labelGap;
    labelRect_ = QRectF(centredX(label.width()), labelY, label.width(), lh);
    detailsRect_ = QRectF(centredX(details.width()), labelY + lh + detailsGap, details.width(), dh);

    if (square_) {
        const double side = std::max(panelWidth, panelHeight);
        if (side <= w - 2 * m) panelWidth = side;
        if (side <= h - 2 * m) panelHeight = side;
    }
    panelSize_ =
        QSizeF(std::max(panelWidth, minSize_.width()), std::max(panelHeight, minSize_.height()));
}

QRectF MVProgressHUD::panelRect() const {
    return QRectF(std::round((width() - panelSize_.width()) / 2) + xOffset_,
                  std::round((height() - panelSize_.height()) / 2) + yOffset_, panelSize_.width(),
                  panelSize_.height());
}

void MVProgressHUD::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    layoutSubviews();
}

bool MVProgressHUD::eventFilter(QObject* watched, QEvent* event) {
    if (watched == parentWidget() && event->type() == QEvent::Resize) {
        setGeometry(parentWidget()->rect());
    }
    return QWidget::eventFilter(watched, event);
}

void MVProgressHUD::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const double w = width();
    const double h = height();
    if (dimBackground_) {
        QRadialGradient gradient(QPointF(w / 2, h / 2), std::min(w, h));
        gradient.setColorAt(0, QColor(0, 0, 0, 0));
        gradient.setColorAt(1, QColor::fromRgbF(0, 0, 0, 0.75f));
        gradient.setSpread(QGradient::PadSpread);
        painter.fillRect(rect(), gradient);
    }
    if (scale_ != 1.0) {
        // The zoom animations scale the panel and its texts about the panel's centre.
        const QPointF centre = panelRect().center();
        painter.translate(centre);
        painter.scale(scale_, scale_);
        painter.translate(-centre);
    }
    const QColor fill = color_.isValid() ? color_ : QColor::fromRgbF(0, 0, 0, opacity_);
    QPainterPath panel;
    panel.addRoundedRect(panelRect(), cornerRadius_, cornerRadius_);
    painter.fillPath(panel, fill);

    auto drawLine = [&](const QString& text, const QFont& font, const QColor& colour,
                        const QRectF& box) {
        if (text.isEmpty() || box.width() <= 0) return;
        painter.setFont(font);
        painter.setPen(colour);
        const QString shown = QFontMetricsF(font).elidedText(text, Qt::ElideRight, box.width());
        painter.drawText(box, Qt::AlignCenter | Qt::TextSingleLine, shown);
    };
    drawLine(labelText_, labelFont_, labelColor_, labelRect_);
    drawLine(detailsLabelText_, detailsLabelFont_, detailsLabelColor_, detailsRect_);
}
