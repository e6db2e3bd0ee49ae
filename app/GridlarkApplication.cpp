#include "app/GridlarkApplication.h"

#include "ZevOzozidZeroduv/ZevOzozidZeroduv/ZVTApplicationForwarder.h"

#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <cstdio>

#include <fcntl.h>
#include <unistd.h>

namespace {

int gTerminationPipe[2] = {-1, -1};

extern "C" void onTerminationRequest(int) {
    const char byte = 1;
    const int saved = errno;
    [[maybe_unused]] const ssize_t written = ::write(gTerminationPipe[1], &byte, 1);
    errno = saved;
}

}  // namespace

GridlarkApplication::GridlarkApplication(int& argc, char** argv) : QApplication(argc, argv) {}

GridlarkApplication::~GridlarkApplication() = default;

bool GridlarkApplication::notify(QObject* receiver, QEvent* event) {
    return dispatchEvent([&] { return QApplication::notify(receiver, event); });
}

bool GridlarkApplication::dispatchEvent(const std::function<bool()>& deliver) {
    bool handled = false;
    ZVTApplicationForwarder::sendEvent(
        [&] { handled = deliver(); },
        [](const ZVCrashExceptionRecord& exception) {
            // Reached only when the crash service let the program go on (a debugger is attached).
            std::fprintf(stderr, "gridlark: %s escaped an event handler: %s\n",
                         exception.name.c_str(), exception.reason.c_str());
        });
    return handled;
}

void GridlarkApplication::closeWindowsOnTerminationRequest() {
    if (terminationNotifier_ != nullptr || gTerminationPipe[0] >= 0) return;
    if (::pipe2(gTerminationPipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
    terminationNotifier_ = new QSocketNotifier(gTerminationPipe[0], QSocketNotifier::Read, this);
    connect(terminationNotifier_, &QSocketNotifier::activated, this, [] {
        char bytes[16];
        while (::read(gTerminationPipe[0], bytes, sizeof bytes) > 0) {
        }
        QApplication::closeAllWindows();
        QApplication::quit();
    });
    struct sigaction action {};
    action.sa_handler = onTerminationRequest;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signal : {SIGTERM, SIGINT, SIGHUP}) sigaction(signal, &action, nullptr);
}
