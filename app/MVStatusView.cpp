#include "app/MVStatusView.h"

#include "widgets/MVHelperColors.h"
#include "widgets/MVTextField.h"

#include "session/MVGLDFileManager.h"
#include "session/MVParsingStatusText.h"

#include <QCoreApplication>
#include <QHBoxLayout>
#include <QProgressBar>

#include <algorithm>
#include <array>
#include <chrono>

namespace {

constexpr int kEdgeSpacing = 10;
constexpr int kStandardSpacing = 8;
constexpr auto kBlinkInterval = std::chrono::milliseconds(500);

constexpr int kWarningCode = 12;
constexpr int kCompletedCode = 10;

// The program's short version: the application's own when it set one, else the build's.
QString versionString() {
    const QString version = QCoreApplication::applicationVersion();
#ifdef GRIDLARK_VERSION
    if (version.isEmpty()) return QStringLiteral(GRIDLARK_VERSION);
#endif
    return version;
}

}  // namespace

MVStatusView::MVStatusView(QWidget* parent) : QWidget(parent) {
    MVHelper::addDarkBlueLayerForViewWithView(this);
    initProgressBarAndLabel();
    initVersionLabel();
}

MVStatusView::~MVStatusView() = default;

void MVStatusView::initProgressBarAndLabel() {
    indicator_ = new QProgressBar(this);
    indicator_->setRange(0, kIndicatorMaximum);
    indicator_->setValue(0);
    indicator_->setTextVisible(false);
    indicator_->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Expanding);
    textField_ = new MVTextField(this);
    textField_->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Preferred);
    setIndicatorWidth(0);
}

void MVStatusView::initVersionLabel() {
    versionTextField_ = new MVTextField(this);
    versionTextField_->setText(QStringLiteral("Version: %1").arg(versionString()));

    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addSpacing(kEdgeSpacing);
    layout->addWidget(versionTextField_, 0, Qt::AlignVCenter);
    layout->addStretch(1);
    layout->addWidget(textField_, 0, Qt::AlignVCenter);
    layout->addSpacing(kStandardSpacing);
    layout->addWidget(indicator_);
    layout->addSpacing(kEdgeSpacing);
}

std::optional<QString> MVStatusView::textForCode(int code) {
    if (code < 0 || code > MVParsingStatus::kNoLaps) return std::nullopt;
    return QString::fromStdString(MVParsingStatus::text(code));
}

QString MVStatusView::unreachableFileText() {
    return QStringLiteral("Cannot open the file.");
}

QString MVStatusView::unreadableFileText() {
    return QStringLiteral("Cannot read the file.");
}

void MVStatusView::updateProgress(int code, std::optional<QString> text) {
    const std::optional<QString> standard = textForCode(code);
    if (!standard) return;
    const QString message = text.value_or(*standard);
    resetTimerAndLabel();

    if (code == 0) {
        loading_ = true;
        setIndicatorWidth(kIndicatorShownWidth);
        indicator_->setValue(0);
        setMessage(message, MVHelper::Gui::BrightColorOnBackground());
        return;
    }
    indicator_->setValue(std::min(code, kIndicatorMaximum));
    setMessage(message, MVHelper::Gui::BrightColorOnBackground());
    if (code < kCompletedCode) {
        loading_ = true;
        return;
    }
    // Completion and failures hide the bar; failures (and the no-circuit notice, after which
    // loading goes on) make the message blink.
    setIndicatorWidth(0);
    if (code == kCompletedCode) {
        loading_ = false;
        return;
    }
    // Codes 11 and 13 end the load without the file; after 12 the load goes on.
    if (code != kWarningCode) loading_ = false;
    startBlinking();
}

void MVStatusView::showFailure(const QString& text) {
    resetTimerAndLabel();
    loading_ = false;
    setIndicatorWidth(0);
    setMessage(text, MVHelper::Gui::BrightColorOnBackground());
    startBlinking();
}

void MVStatusView::loadDidEnd() {
    if (loading_) showFailure(unreadableFileText());
}

QString MVStatusView::message() const {
    return textField_->text();
}

QColor MVStatusView::messageColor() const {
    return textField_->textColor();
}

QString MVStatusView::versionText() const {
    return versionTextField_->text();
}

int MVStatusView::indicatorValue() const {
    return indicator_->value();
}

void MVStatusView::resetTimerAndLabel() {
    setMessage(QString(), MVHelper::Gui::BrightColorOnBackground());
    timer_.cancel();
    count_ = 0;
}

void MVStatusView::changeLabelColor() {
    if (count_ >= kBlinkTicks) {
        resetTimerAndLabel();
        return;
    }
    ++count_;
    const bool bright = textField_->textColor() == MVHelper::Gui::BrightColorOnBackground();
    // The light red of refusals: pure red on the bar's dark blue reads at under 4:1.
    textField_->setTextColor(bright ? MVHelper::Gui::RefusalColor()
                                    : MVHelper::Gui::BrightColorOnBackground());
}

void MVStatusView::startBlinking() {
    count_ = 0;
    timer_.start(kBlinkInterval, true, platform::mainQueue(), [this] { changeLabelColor(); });
}

void MVStatusView::setIndicatorWidth(int width) {
    indicatorWidth_ = width;
    indicator_->setFixedWidth(width);
    indicator_->setVisible(width > 0);
}

void MVStatusView::setMessage(const QString& text, const QColor& color) {
    textField_->setText(text);
    textField_->setTextColor(color);
}
