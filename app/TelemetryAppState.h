#pragma once

#include <QObject>

// Tells the telemetry SDK how the application stands, so analytics sessions follow the window:
// active and inactive leave the core's state active, hidden (or suspended) makes it background.
// Leaving the active state posts the resign-active notification on the platform's default
// centre, coming back posts the become-active one; coming back from hidden (or suspended) posts
// the unhide one first, which the crash service observes while it is started (it sends a crash
// held back while the window was hidden). Main thread only.
class TelemetryAppState : public QObject {
    Q_OBJECT
  public:
    // Follows QGuiApplication's state changes from now on.
    explicit TelemetryAppState(QObject* parent = nullptr);

    // One change, from `previous` to `state`.
    static void apply(Qt::ApplicationState previous, Qt::ApplicationState state);

  private:
    Qt::ApplicationState state_;
};
