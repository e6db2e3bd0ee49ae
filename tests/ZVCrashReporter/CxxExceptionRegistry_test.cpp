// The registry of uncaught-C++-exception handlers and the terminate handler it installs.
#include "ZevOzozidZeroduv/ZevOzozidZeroduv/CXXException/ZVTZeroduvCXXExceptionWrapperException.h"
#include "ZevOzozidZeroduv/ZevOzozidZeroduv/CXXException/ZVTZeroduvUncaughtCXXExceptionHandlerManager.h"

#include <gtest/gtest.h>

#include <exception>

namespace {

using Manager = ZVTZeroduvUncaughtCXXExceptionHandlerManager;

void handlerA(const ZVTZeroduvCXXExceptionInfo*) {}
void otherLibraryTerminate() {
    std::abort();
}

TEST(CxxExceptionRegistryTest, AddTwiceRemoveOnceKeepsOneAndTheLastRemovalRestores) {
    const std::terminate_handler before = std::get_terminate();
    Manager::addCXXExceptionHandler(handlerA);
    Manager::addCXXExceptionHandler(handlerA);
    EXPECT_EQ(std::get_terminate(), &uncaughtCXXTerminateHandler);
    Manager::removeCXXExceptionHandler(handlerA);
    EXPECT_EQ(Manager::countCXXExceptionHandler(), 1u);
    EXPECT_EQ(std::get_terminate(), &uncaughtCXXTerminateHandler);
    Manager::removeCXXExceptionHandler(handlerA);
    EXPECT_EQ(Manager::countCXXExceptionHandler(), 0u);
    EXPECT_EQ(std::get_terminate(), before);
}

TEST(CxxExceptionRegistryTest, RemovingTheLastAfterAnotherLibraryReplacedTerminateKeepsTheirs) {
    const std::terminate_handler before = std::get_terminate();
    Manager::addCXXExceptionHandler(handlerA);
    std::set_terminate(otherLibraryTerminate);
    Manager::removeCXXExceptionHandler(handlerA);
    EXPECT_EQ(std::get_terminate(), &otherLibraryTerminate);
    std::set_terminate(before);
}

TEST(CxxExceptionRegistryTest, WrapperDemanglesAndKeepsAnEmptyReasonAndNoFrames) {
    const ZVTZeroduvCXXExceptionInfo info{nullptr, "St13runtime_error", nullptr, 0, nullptr};
    const ZVTZeroduvCXXExceptionWrapperException wrapper(&info);
    EXPECT_EQ(wrapper.name(), "std::runtime_error");
    EXPECT_EQ(wrapper.reason(), "");
    EXPECT_TRUE(wrapper.callStackReturnAddresses().empty());
}

}  // namespace
