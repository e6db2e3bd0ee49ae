#include "app/TelemetryAppState.h"

#include "platform/NotificationCenter.h"

#include "ZevOzozid/ZevOzozid/ZVTApplicationInfo.h"
#include "ZevOzozid/ZevOzozid/ZVTApplicationNotifications.h"

#include <QGuiApplication>

TelemetryAppState::TelemetryAppState(QObject* parent)
    : QObject(parent), state_(QGuiApplication::applicationState()) {
    apply(state_, state_);
    connect(qApp, &QGuiApplication::applicationStateChanged, this,
            [this](Qt::ApplicationState state) {
                const Qt::ApplicationState previous = state_;
                state_ = state;
                apply(previous, state);
            });
}

namespace {

bool isHiddenState(Qt::ApplicationState state) {
    return state == Qt::ApplicationHidden || state == Qt::ApplicationSuspended;
}

}  // namespace

void TelemetryAppState::apply(Qt::ApplicationState previous, Qt::ApplicationState state) {
    const bool hidden = isHiddenState(state);
    ZVTApplicationInfo::setHidden(hidden);
    if (previous == state) return;
    auto& center = platform::NotificationCenter::defaultCenter();
    if (isHiddenState(previous) && !hidden) center.post(kZVTApplicationWillUnhideNotification);
    if (state == Qt::ApplicationActive) {
        center.post(kZVTApplicationWillBecomeActiveNotification);
    } else if (previous == Qt::ApplicationActive) {
        center.post(kZVTApplicationDidResignActiveNotification);
    }
}
