#pragma once

#include <QApplication>

#include <functional>

class QSocketNotifier;

// The program's application object. Every event runs through the crash service's event point:
// once the crash service has installed its forwarding (the user default
// "NSApplicationCrashOnExceptions" set), an exception escaping an event handler goes to its
// report point, which records it and ends the program with a report; otherwise events run as
// in any QApplication.
//
// A termination request (SIGTERM, SIGINT, SIGHUP) closes the windows as the user would, so the
// program quits through its normal path. Main thread only; the signal handler only writes one
// byte to a pipe.
class GridlarkApplication final : public QApplication {
    Q_OBJECT
  public:
    GridlarkApplication(int& argc, char** argv);
    ~GridlarkApplication() override;

    bool notify(QObject* receiver, QEvent* event) override;
    // What notify does around the toolkit's own delivery `deliver`; answers its result (false
    // when an exception escaped it and the program goes on).
    static bool dispatchEvent(const std::function<bool()>& deliver);

    // Installs the termination-request handlers (once per process).
    void closeWindowsOnTerminationRequest();

  private:
    QSocketNotifier* terminationNotifier_ = nullptr;
};
