#pragma once

#include "ZevOzozid/ZevOzozid/Internals/DelegateForwarder/ZVTDelegateForwarder.h"

#include <memory>
#include <string>

// The forwarder of the application delegate's callbacks: one per process, made (and its switch
// read) when the host hands over its application-info record. The switch is the information key
// "ZevOzozidAppDelegateForwarderEnabled". Safe from any thread.
class ZVTAppDelegateForwarder : public ZVTDelegateForwarder {
  public:
    static inline const std::string kEnabledKey = "ZevOzozidAppDelegateForwarderEnabled";

    using ZVTDelegateForwarder::ZVTDelegateForwarder;

    static std::shared_ptr<ZVTAppDelegateForwarder> sharedInstance();
    // A new shared instance (with the switch read again); for tests.
    static void resetSharedInstance();
    // Reads the switch from the current application-info record.
    static void applicationInfoDidChange();
};
