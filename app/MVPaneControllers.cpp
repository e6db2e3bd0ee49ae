// The video pane controller and the tool-button bar's controller, as they
// stand until their own views are built: they keep their data, record their operations and show
// a summary line in their panes.
#include "app/MVMenuController.h"
#include "app/MVVideoController.h"

#include <QStringList>

namespace {

QString describeLaps(const std::vector<MVLapPtr>& laps) {
    QStringList parts;
    for (const MVLapPtr& lap : laps) {
        if (!lap) continue;
        parts
            << (lap->isWholeFileLap()
                    ? QStringLiteral("whole session %1").arg(QString::fromStdString(lap->gldFile()))
                    : QStringLiteral("lap %1 of %2")
                          .arg(lap->number())
                          .arg(QString::fromStdString(lap->gldFile())));
    }
    return parts.join(QStringLiteral(" · "));
}

}  // namespace

// ---- Video ------------------------------------------------------------------------------------

void MVVideoController::setVideoView(QWidget* view) {
    record("setVideoView");
    setPane(view);
}

void MVVideoController::setArrayOfSelectedLaps(std::vector<MVLapPtr> v) {
    record("setArrayOfSelectedLaps");
    arrayOfSelectedLaps_.set(std::move(v));
}

void MVVideoController::initSubviews() {
    record("initSubviews");
    showSummary(QStringLiteral("Video\n%1").arg(describeLaps(arrayOfSelectedLaps())));
}
void MVVideoController::removeSubviews() {
    record("removeSubviews");
    showSummary(QString());
}
void MVVideoController::pause() {
    record("pause");
}
void MVVideoController::playOrPause() {
    record("playOrPause");
}
void MVVideoController::playFaster() {
    record("playFaster");
}
void MVVideoController::playSlower() {
    record("playSlower");
}

// ---- Tool-button bar --------------------------------------------------------------------------

void MVMenuController::disableButtons() {
    record("disableButtons");
    buttonsEnabled_ = false;
}

void MVMenuController::enableButtons() {
    record("enableButtons");
    buttonsEnabled_ = true;
}
