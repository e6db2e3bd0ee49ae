#include "app/MVPopOverSettingsViewController.h"

#include "views/MVChartToolBarView.h"
#include "views/MVVideoToolBarView.h"

#include "widgets/MVHelperColors.h"
#include "widgets/MVSegmentedControl.h"
#include "widgets/MVTextFieldForSectors.h"

#include "session/MVGLDFileManager.h"
#include "session/MVHelperKeys.h"
#include "session/MVOptionsAndSettings.h"
#include "session/ZORFileLog.h"

#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QScreen>
#include <QScrollArea>
#include <QVBoxLayout>

#include <algorithm>

namespace {

constexpr int kInset = 10;
constexpr int kStandardSpacing = 8;

MVOptionsAndSettings& options() {
    return MVOptionsAndSettings::sharedManager();
}

// Selects `value` when the control has such a segment; otherwise keeps its selection.
void selectIfPresent(MVSegmentedControl* control, int value) {
    if (value >= 0 && value < control->segmentCount()) control->setSelectedSegment(value);
}

}  // namespace

MVPopOverSettingsViewController::MVPopOverSettingsViewController(MVGLDFileManager& manager,
                                                                 QWidget* window)
    : QWidget(window, Qt::Popup), manager_(manager) {
    setObjectName(QStringLiteral("MVPopOverSettingsViewController"));
    setFixedSize(kPopoverWidth, kPopoverHeight);
    MVHelper::addLightBlueLayerForViewWithView(this);

    scrollView_ = new QScrollArea(this);
    scrollView_->setFrameShape(QFrame::NoFrame);
    scrollView_->setWidgetResizable(true);
    scrollView_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(1, 1, 1, 1);
    outer->addWidget(scrollView_);

    contentView_ = new QWidget;
    MVHelper::addDarkBlueLayerForViewWithView(contentView_);
    contentLayout_ = new QVBoxLayout(contentView_);
    contentLayout_->setContentsMargins(0, 0, 0, kInset);
    contentLayout_->setSpacing(0);
    scrollView_->setWidget(contentView_);
    MVHelper::addDarkBlueLayerForViewWithView(scrollView_->viewport());

    graphTitle_ = addSection(QStringLiteral("Graph"));
    xAxisSegment_ =
        addRow(QStringLiteral("X axis:"), {QStringLiteral("time"), QStringLiteral("position")}, 1);
    sessionTitle_ = addSection(QStringLiteral("Session"));
    displayModeSegment_ = addRow(QStringLiteral("Display mode:"),
                                 {QStringLiteral("laps"), QStringLiteral("whole")}, 0);
    lapOptions_ = addSection(QStringLiteral("Lap Options"));
    lapOptionsSegment_ =
        addRow(QStringLiteral("Lap Options:"),
               {QStringLiteral("Ignore short laps"), QStringLiteral("Unfinished laps")}, 0);
    unitTitle_ = addSection(QStringLiteral("Unit"));
    speedUnitSegment_ =
        addRow(QStringLiteral("Speed unit:"), {QStringLiteral("km/h"), QStringLiteral("mph")}, 0);
    distanceUnitSegment_ =
        addRow(QStringLiteral("Distance unit:"),
               {QStringLiteral("metre"), QStringLiteral("feet"), QStringLiteral("mile")}, 0);
    heightUnitSegment_ = addRow(QStringLiteral("Height unit:"),
                                {QStringLiteral("metre"), QStringLiteral("feet")}, 0);
    contentLayout_->addStretch(1);

    setUpValue();
}

MVTextFieldForSectors* MVPopOverSettingsViewController::addSection(const QString& title) {
    // Every section but the first sits the standard spacing below the last control before it.
    if (contentLayout_->count() > 0) contentLayout_->addSpacing(kStandardSpacing);
    auto* field = new MVTextFieldForSectors(contentView_);
    field->setText(title);
    field->setBackgroundColor(MVHelper::Gui::LightBlueColor());
    field->setTextColor(Qt::white);
    contentLayout_->addWidget(field);
    return field;
}

MVSegmentedControl* MVPopOverSettingsViewController::addRow(const QString& label,
                                                            const QStringList& segments,
                                                            int initial) {
    auto* control = new MVSegmentedControl(contentView_);
    control->setSegmentCount(static_cast<int>(segments.size()));
    for (int i = 0; i < segments.size(); ++i) control->setLabel(segments[i], i);
    control->setSegmentWidth(static_cast<double>(kControlWidth) /
                             static_cast<double>(std::max<qsizetype>(1, segments.size())));
    control->setFixedSize(kControlWidth, static_cast<int>(MVHelper::ToolBarHeight()));
    control->setSelectedSegment(initial);
    connect(control, &MVSegmentedControl::segmentClicked, this,
            [this, control] { segmentChanged(control); });

    auto* text = new QLabel(label, contentView_);
    QPalette palette = text->palette();
    palette.setColor(QPalette::WindowText, MVHelper::Gui::BrightColorOnBackground());
    text->setPalette(palette);
    text->setFont(MVHelper::BigTextFont());

    auto* row = new QHBoxLayout;
    row->setContentsMargins(kInset, 0, kInset, 0);
    row->addWidget(text, 0, Qt::AlignVCenter);
    row->addStretch(1);
    row->addWidget(control, 0, Qt::AlignVCenter);
    contentLayout_->addSpacing(kInset);
    contentLayout_->addLayout(row);
    return control;
}

void MVPopOverSettingsViewController::setUpValue() {
    const MVOptionsAndSettings& o = options();
    selectIfPresent(xAxisSegment_, o.mode());
    selectIfPresent(displayModeSegment_, o.displayMode());
    selectIfPresent(lapOptionsSegment_, o.lapOptionsMode());
    selectIfPresent(speedUnitSegment_, o.speedUnit());
    selectIfPresent(distanceUnitSegment_, o.distanceUnit());
    selectIfPresent(heightUnitSegment_, o.heightUnit());
    // Whole-session display has no x-axis choice and no lap options.
    const bool laps = !o.is(MVDisplayMode::WholeSession);
    xAxisSegment_->setEnabled(laps);
    lapOptionsSegment_->setEnabled(laps);
}

void MVPopOverSettingsViewController::segmentChanged(MVSegmentedControl* sender) {
    const bool known = sender == xAxisSegment_ || sender == displayModeSegment_ ||
                       sender == lapOptionsSegment_ || sender == speedUnitSegment_ ||
                       sender == distanceUnitSegment_ || sender == heightUnitSegment_;
    if (known && !applyChange(sender, sender->selectedSegment())) return;
    setConfigurationIsSelected(true);
}

// Applies a click; false when nothing changed (the pop-over stays open).
bool MVPopOverSettingsViewController::applyChange(MVSegmentedControl* sender, int s) {
    MVOptionsAndSettings& o = options();
    const int value = s != 0 ? 1 : 0;
    if (sender == xAxisSegment_) {
        if (o.mode() == s) return false;
        o.changeMode(value);
        ZORFileLog::writeToTextFile("SettingsController x axis changed");
    } else if (sender == displayModeSegment_) {
        if (o.displayMode() == s) return false;
        // Read only while no load changes the manager's lists (a load holds the changes).
        if (o.displayModeChangesHeld()) {
            selectIfPresent(sender, o.displayMode());
            return false;
        }
        const std::vector<MVLapsPtr>& laps = manager_.arrayOfMVLaps();
        if (laps.empty() || !laps.front() || laps.front()->data().empty()) {
            // The first session has no laps: only the whole session can be shown.
            sender->setSelectedSegment(1);
            return false;
        }
        if (!o.changeDisplayMode(value)) {
            selectIfPresent(sender, o.displayMode());
            return false;
        }
        ZORFileLog::writeToTextFile("SettingsController display mode changed");
    } else if (sender == lapOptionsSegment_) {
        if (o.lapOptionsMode() == s) return false;
        o.changeLapOptionsMode(value);
    } else if (sender == speedUnitSegment_) {
        if (o.speedUnit() == s) return false;
        o.changeSpeedUnit(value);
        ZORFileLog::writeToTextFile("SettingsController speed unit changed");
    } else if (sender == distanceUnitSegment_) {
        if (o.distanceUnit() == s) return false;
        if (!o.changeDistanceUnit(s)) {
            selectIfPresent(sender, o.distanceUnit());
            return false;
        }
        ZORFileLog::writeToTextFile("SettingsController distance unit changed");
    } else if (sender == heightUnitSegment_) {
        if (o.heightUnit() == s) return false;
        if (!o.changeHeightUnit(s)) {
            selectIfPresent(sender, o.heightUnit());
            return false;
        }
        ZORFileLog::writeToTextFile("SettingsController height unit changed");
    }
    return true;
}

void MVPopOverSettingsViewController::setConfigurationIsSelected(bool selected) {
    configurationIsSelected_ = selected;
    emit configurationIsSelectedChanged(selected);
}

void MVPopOverSettingsViewController::showBelow(QWidget* button) {
    QPoint origin = button->mapToGlobal(QPoint(button->width() / 2, button->height()));
    origin.rx() -= width() / 2;
    // Inside the button's window when it is wide enough, and always on the screen.
    const QWidget* window = button->window();
    const QRect frame(window->mapToGlobal(QPoint(0, 0)), window->size());
    if (frame.width() >= width()) {
        origin.setX(std::clamp(origin.x(), frame.left(), frame.right() - width() + 1));
    }
    if (const QScreen* screen = button->screen()) {
        const QRect area = screen->availableGeometry();
        origin.setX(
            std::clamp(origin.x(), area.left(), std::max(area.left(), area.right() - width() + 1)));
    }
    // The pane tool bars under it stay in sight: the video pane's (speed and export controls),
    // from whose lower edge a pop-over that would cover it hangs, and the chart pane's (cursor
    // and total), above which it ends, its rows scrolling, while it keeps room for two rows.
    for (const MVVideoToolBarView* bar : window->findChildren<MVVideoToolBarView*>()) {
        if (!bar->isVisible()) continue;
        const QRect barFrame(bar->mapToGlobal(QPoint(0, 0)), bar->size());
        if (barFrame.intersects(QRect(origin, QSize(width(), kPopoverHeight)))) {
            origin.setY(std::max(origin.y(), barFrame.bottom() + 1));
        }
    }
    // A few pixels of room, for a window system that puts a pop-up a pixel off where it asked.
    constexpr int kClearance = 3;
    int height = kPopoverHeight;
    for (const MVChartToolBarView* bar : window->findChildren<MVChartToolBarView*>()) {
        if (!bar->isVisible()) continue;
        const QRect barFrame(bar->mapToGlobal(QPoint(0, 0)), bar->size());
        if (barFrame.top() > origin.y() &&
            barFrame.intersects(QRect(origin, QSize(width(), height)))) {
            height = std::max(kLeastPopoverHeight, barFrame.top() - origin.y() - kClearance);
        }
    }
    setFixedHeight(height);
    move(origin);
    show();
}
