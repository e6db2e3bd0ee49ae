// The signal chain with harmless signals: callbacks run latest first, a callback that returns
// false without calling next ends the chain, and a previous SIG_IGN counts as handled.
#include "ZVCrashReporter/Source/ZVCrashSignalHandler.h"

#include <gtest/gtest.h>

#include <csignal>

namespace {

int g_calls[3];
bool g_passOn = true;

bool first(int, siginfo_t*, ucontext_t*, void*, const crash_signal_next*) {
    ++g_calls[0];
    return true;
}

bool second(int signo, siginfo_t* info, ucontext_t* context, void*, const crash_signal_next* next) {
    ++g_calls[1];
    return g_passOn ? crash_signal_call_next(next, signo, info, context) : false;
}

TEST(SignalDispatchTest, LatestCallbackFirstAndFalseWithoutNextEndsTheChain) {
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    ASSERT_EQ(sigaction(SIGUSR2, &ignore, nullptr), 0);
    ZVCrashSignalHandler handler;
    ZVCrashReporterError error;
    ASSERT_TRUE(handler.registerHandlerForSignal(SIGUSR2, first, nullptr, &error));
    ASSERT_TRUE(handler.registerHandlerForSignal(SIGUSR2, second, nullptr, &error));

    g_passOn = true;
    EXPECT_TRUE(crash_signal_dispatch(SIGUSR2, nullptr, nullptr, nullptr));
    EXPECT_EQ(g_calls[1], 1);
    EXPECT_EQ(g_calls[0], 1);

    g_passOn = false;
    EXPECT_FALSE(crash_signal_dispatch(SIGUSR2, nullptr, nullptr, nullptr));
    EXPECT_EQ(g_calls[1], 2);
    EXPECT_EQ(g_calls[0], 1);
    ZVCrashSignalHandler::resetHandlers();
}

TEST(SignalDispatchTest, APreviouslyIgnoredSignalIsHandledAndNotRaisedAgain) {
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    ASSERT_EQ(sigaction(SIGUSR1, &ignore, nullptr), 0);
    ZVCrashSignalHandler handler;
    ZVCrashReporterError error;
    ASSERT_TRUE(handler.registerHandlerWithSignal(SIGUSR1, &error));
    ASSERT_TRUE(handler.registerHandlerWithSignal(SIGUSR1, &error));  // installed once
    EXPECT_TRUE(crash_signal_dispatch(SIGUSR1, nullptr, nullptr, nullptr));
    // The installed entry handler finds it handled, so raising it leaves the process alive.
    raise(SIGUSR1);
    struct sigaction current {};
    sigaction(SIGUSR1, nullptr, &current);
    EXPECT_EQ(current.sa_sigaction, &crash_signal_entry);
    ZVCrashSignalHandler::resetHandlers();
    signal(SIGUSR1, SIG_DFL);
}

}  // namespace
