#pragma once

#include <QObject>

namespace app {

// Binds the platform main queue to the Qt event loop: queued work wakes the loop, which drains
// the queue on the main thread. Create once, on the main thread, after the QApplication.
class MainQueueBinding : public QObject {
    Q_OBJECT
  public:
    explicit MainQueueBinding(QObject* parent = nullptr);
    ~MainQueueBinding() override;

  private:
    Q_INVOKABLE void drain();
};

}  // namespace app
