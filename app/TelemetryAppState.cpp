#include "app/TelemetryAppState.h"

#include "Internals/Util/ZVTApplicationInfo.h"
#include "Internals/Util/ZVTApplicationNotifications.h"
#include "platform/NotificationCenter.h"

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

void TelemetryAppState::apply(Qt::ApplicationState previous, Qt::ApplicationState state) {
    const bool hidden = state == Qt::ApplicationHidden || state == Qt::ApplicationSuspended;
    ZVTApplicationInfo::setHidden(hidden);
    if (previous == state) return;
    auto& center = platform::NotificationCenter::defaultCenter();
    if (state == Qt::ApplicationActive) {
        center.post(kZVTApplicationWillBecomeActiveNotification);
    } else if (previous == Qt::ApplicationActive) {
        center.post(kZVTApplicationDidResignActiveNotification);
    }
}
