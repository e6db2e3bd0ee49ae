#pragma once

#include <QObject>

#include <functional>

// Tells the telemetry SDK how the application stands, so analytics sessions follow the window:
// active and inactive leave the core's state active, hidden (or suspended) makes it background.
// Leaving the active state posts the resign-active notification on the platform's default
// centre, coming back posts the become-active one. Coming back from hidden (or suspended) runs
// the return-to-foreground hook: by default the crash service's applicationWillEnterForeground,
// which sends a crash held back while the window was hidden. Main thread only.
class TelemetryAppState : public QObject {
    Q_OBJECT
  public:
    // Follows QGuiApplication's state changes from now on.
    explicit TelemetryAppState(QObject* parent = nullptr);

    // One change, from `previous` to `state`.
    static void apply(Qt::ApplicationState previous, Qt::ApplicationState state);
    // Run when the window is shown again; replaceable for tests. The default does nothing until
    // the SDK is started.
    static std::function<void()>& returnToForegroundHook();

  private:
    Qt::ApplicationState state_;
};
