#include "widgets/MainQueueBinding.h"

#include "platform/Dispatch.h"

#include <QMetaObject>

#include <atomic>

namespace app {

namespace {
std::atomic<bool> drainScheduled{false};
}

MainQueueBinding::MainQueueBinding(QObject* parent) : QObject(parent) {
    platform::mainQueue().bindToCurrentThread();
    platform::mainQueue().setWaker([this] {
        // One queued drain at a time is enough: it runs everything queued before it.
        if (drainScheduled.exchange(true)) return;
        QMetaObject::invokeMethod(this, "drain", Qt::QueuedConnection);
    });
    if (platform::mainQueue().hasPending()) {
        drainScheduled = true;
        QMetaObject::invokeMethod(this, "drain", Qt::QueuedConnection);
    }
}

MainQueueBinding::~MainQueueBinding() {
    platform::mainQueue().setWaker({});
}

void MainQueueBinding::drain() {
    drainScheduled = false;
    platform::mainQueue().drain();
    if (platform::mainQueue().hasPending() && !drainScheduled.exchange(true)) {
        QMetaObject::invokeMethod(this, "drain", Qt::QueuedConnection);
    }
}

}  // namespace app
