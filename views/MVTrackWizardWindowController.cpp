#include "views/MVTrackWizardWindowController.h"

#include "views/MVTrackWizardView.h"

#include "widgets/MVHelperColors.h"

#include "session/MVGLDFileManager.h"
#include "session/MVOptionsAndSettings.h"
#include "session/ZORFileLog.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QVBoxLayout>

namespace {

// The sheet's texts stand on its light blue: dark blue reads there (white does not, at about
// 3:1), in the regular weight, since the light face's thin strokes fade at 12 px.
QLabel* sheetLabel(QWidget* parent, const QFont& font) {
    auto* label = new QLabel(parent);
    QFont regular = font;
    regular.setWeight(QFont::Normal);
    label->setFont(regular);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, MVHelper::Gui::DarkBlueColor());
    label->setPalette(palette);
    return label;
}

}  // namespace

MVTrackWizardWindowController::MVTrackWizardWindowController(MVGLDFileManager& manager,
                                                             MVOptionsAndSettings& options,
                                                             QWidget* window)
    : QDialog(window), manager_(manager), options_(options), window_(window) {
    setObjectName(QStringLiteral("MVTrackWizardWindowController"));
    setWindowTitle(QStringLiteral("Track wizard"));
    MVHelper::addLightBlueLayerForViewWithView(this);
    buildContent();
    if (window_ != nullptr) {
        resize(static_cast<int>(0.8 * window_->width()), static_cast<int>(0.9 * window_->height()));
    } else {
        resize(800, 600);
    }
    connect(trackWizardView_, &MVTrackWizardView::trackInfoChanged, this,
            [this](const MVTrackInfoPtr& record) { updateSFLocationLabelWithTrackInfo(record); });
}

MVTrackWizardWindowController::MVTrackWizardWindowController(
    const MVLapPtr& bestLap, const MVLapPtr& wholeLap, std::vector<MV2DSegmentPtr> border,
    const MVTrackInfoPtr& track, MVGLDFileManager& manager, MVOptionsAndSettings& options,
    QWidget* window)
    : MVTrackWizardWindowController(manager, options, window) {
    MVTrackWizardView* view = trackWizardView_;
    view->setBestMap(bestLap && bestLap->map() ? bestLap->map()->makeACopy() : nullptr);
    view->setWholeMap(wholeLap && wholeLap->map() ? wholeLap->map()->makeACopy() : nullptr);
    view->setGateWidth(static_cast<double>(options_.gateWidth()));
    view->setTrackBorderArray(std::move(border));
    view->setTrackInfo(track ? track->copy() : nullptr);
    const QSignalBlocker quiet(sliderGateWidth_);
    sliderGateWidth_->setValue(static_cast<int>(options_.gateWidth()));
    trackLabel_->setText(track ? QString::fromStdString(track->trackName()) : QString());
    updateGateWidthLabel();
    updateSFLocationLabelWithTrackInfo(track);
}

void MVTrackWizardWindowController::buildContent() {
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(12, 12, 12, 12);
    trackLabel_ = sheetLabel(this, MVHelper::BigTextFont());
    sfLocationsLabel_ = sheetLabel(this, MVHelper::SmallTextFont());
    auto* header = new QHBoxLayout();
    header->addWidget(trackLabel_);
    header->addStretch(1);
    header->addWidget(sfLocationsLabel_);
    column->addLayout(header);

    auto* contentView = new QWidget(this);
    contentView->setObjectName(QStringLiteral("contentView"));
    MVHelper::addDarkBlueLayerForViewWithView(contentView);
    auto* inner = new QVBoxLayout(contentView);
    inner->setContentsMargins(0, 0, 0, 0);
    trackWizardView_ = new MVTrackWizardView(manager_, contentView);
    inner->addWidget(trackWizardView_);
    column->addWidget(contentView, 1);

    auto* footer = new QHBoxLayout();
    footer->addWidget(sheetLabel(this, MVHelper::SmallTextFont()));
    static_cast<QLabel*>(footer->itemAt(0)->widget())->setText(QStringLiteral("Gate width (m)"));
    sliderGateWidth_ = new QSlider(Qt::Horizontal, this);
    sliderGateWidth_->setRange(1, 100);
    sliderGateWidth_->setFixedWidth(200);
    gateWidthLabel_ = sheetLabel(this, MVHelper::SmallTextFont());
    gateWidthLabel_->setMinimumWidth(30);
    footer->addWidget(sliderGateWidth_);
    footer->addWidget(gateWidthLabel_);
    footer->addStretch(1);
    auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
    auto* restore = new QPushButton(QStringLiteral("Default"), this);
    auto* yes = new QPushButton(QStringLiteral("Yes"), this);
    cancel->setObjectName(QStringLiteral("cancelButton"));
    restore->setObjectName(QStringLiteral("defaultButton"));
    yes->setObjectName(QStringLiteral("yesButton"));
    yes->setDefault(true);
    for (QPushButton* b : {cancel, restore, yes}) footer->addWidget(b);
    column->addLayout(footer);

    connect(cancel, &QPushButton::clicked, this, [this] { cancelButton(); });
    connect(restore, &QPushButton::clicked, this, [this] { defaultButton(); });
    connect(yes, &QPushButton::clicked, this, [this] { yesButton(); });
    connect(sliderGateWidth_, &QSlider::valueChanged, this,
            [this] { sliderMoved(sliderGateWidth_); });
}

void MVTrackWizardWindowController::showSheet() {
    setWindowModality(Qt::WindowModal);
    show();
    raise();
}

void MVTrackWizardWindowController::clearSheet() {
    hide();
}

void MVTrackWizardWindowController::cancelButton() {
    ZORFileLog::writeToTextFile("TrackWizardWindowController cancel button");
    clearSheet();
}

void MVTrackWizardWindowController::yesButton() {
    ZORFileLog::writeToTextFile("TrackWizardWindowController yes button");
    if (trackWizardView_->lapDetected() == 0) return;
    clearSheet();
    options_.setGateWidth(sliderGateWidth_->value());
    if (delegate_ != nullptr) delegate_->chosenTrackIno(trackWizardView_->trackInfo());
}

void MVTrackWizardWindowController::defaultButton() {
    ZORFileLog::writeToTextFile("TrackWizardWindowController default button");
    options_.setGateWidth(25);
    sliderGateWidth_->setValue(25);
    updateGateWidthLabel();
    const MVTrackInfoPtr& first = manager_.defaultTrackInfo();
    trackWizardView_->setTrackInfo(first ? first->copy() : nullptr);
    trackWizardView_->setGateWidth(25);
}

void MVTrackWizardWindowController::sliderMoved(QObject* sender) {
    if (sender != sliderGateWidth_) return;
    trackWizardView_->setGateWidth(sliderGateWidth_->value());
    updateGateWidthLabel();
}

void MVTrackWizardWindowController::updateGateWidthLabel() {
    gateWidthLabel_->setText(QString::number(sliderGateWidth_->value()));
}

void MVTrackWizardWindowController::updateSFLocationLabelWithTrackInfo(
    const MVTrackInfoPtr& record) {
    if (!record || !record->sfLocations()) {
        sfLocationsLabel_->setText(QString());
        return;
    }
    const MVLocationPtr& start = record->sfLocations()->nextLocation();
    if (record->sfLocations2()) {
        const MVLocationPtr& finish = record->sfLocations2()->nextLocation();
        sfLocationsLabel_->setText(QString::asprintf("Start (%f, %f) Finish (%f, %f)",
                                                     start->latitude(), start->longitude(),
                                                     finish->latitude(), finish->longitude()));
        return;
    }
    sfLocationsLabel_->setText(
        QString::asprintf("(%f, %f)", start->latitude(), start->longitude()));
}
