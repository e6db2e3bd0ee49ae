#include "ZVCrashReporter/Source/ZVCrashSignalHandler.h"

#include <cerrno>
#include <csignal>

#include <sys/mman.h>

namespace {

void failWith(ZVCrashReporterError* error, const char* text, int err) {
    if (error == nullptr) return;
    error->code = ZVCrashReporterErrorOperatingSystem;
    error->localizedDescription = text;
    error->underlyingPosixError = err;
}

}  // namespace

ZVCrashSignalHandler& ZVCrashSignalHandler::sharedHandler() {
    static ZVCrashSignalHandler* handler = new ZVCrashSignalHandler();
    return *handler;
}

ZVCrashSignalHandler::ZVCrashSignalHandler() {
    void* area = mmap(nullptr, kAlternateStackSize, PROT_READ | PROT_WRITE,
                      MAP_PRIVATE | MAP_ANONYMOUS | MAP_STACK, -1, 0);
    if (area != MAP_FAILED) stack_ = area;
}

bool ZVCrashSignalHandler::registerHandlerWithSignal(int signo, ZVCrashReporterError* error) {
    std::lock_guard<std::mutex> lock(mutex_);
    stack_t stack{};
    stack.ss_sp = stack_;
    stack.ss_size = kAlternateStackSize;
    if (stack_ == nullptr || sigaltstack(&stack, nullptr) != 0) {
        failWith(error, "Could not initialize alternative signal stack", stack_ ? errno : ENOMEM);
        return false;
    }
    if (crash_signal_has_previous_action(signo)) return true;
    struct sigaction action {};
    action.sa_sigaction = crash_signal_entry;
    action.sa_flags = SA_SIGINFO | SA_ONSTACK;
    sigemptyset(&action.sa_mask);
    struct sigaction previous {};
    if (sigaction(signo, &action, &previous) != 0) {
        failWith(error, "Failed to register signal handler", errno);
        return false;
    }
    crash_signal_set_previous_action(signo, &previous);
    return true;
}

bool ZVCrashSignalHandler::registerHandlerForSignal(int signo, crash_signal_callback callback,
                                                    void* context, ZVCrashReporterError* error) {
    if (!registerHandlerWithSignal(signo, error)) return false;
    std::lock_guard<std::mutex> lock(mutex_);
    if (!crash_signal_add_callback(callback, context)) {
        failWith(error, "Failed to register signal handler", ENOSPC);
        return false;
    }
    return true;
}

void ZVCrashSignalHandler::resetHandlers() {
    crash_signal_reset();
}
