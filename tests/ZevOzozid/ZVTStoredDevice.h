#pragma once

#include "ZevOzozid/ZevOzozid/Model/ZVTDevice.h"

#include <memory>

namespace zvt_test {

// A device record with every field set, as stored beside each log; shared by the store's tests
// and its benchmark.
inline std::shared_ptr<ZVTDevice> storedDevice() {
    auto d = std::make_shared<ZVTDevice>();
    d->setSdkName("zevozozid.macos");
    d->setSdkVersion("1.0.0");
    d->setModel("Larkbook 14");
    d->setOemName("Gridlark Labs");
    d->setOsName("Linux");
    d->setOsVersion("6.1.0");
    d->setOsBuild("Debian GNU/Linux 12 (bookworm)");
    d->setLocale("en_GB");
    d->setTimeZoneOffset(60);
    d->setScreenSize("1920x1080");
    d->setAppVersion("1.2");
    d->setAppBuild("34");
    d->setAppNamespace("dev.gridlark.app");
    return d;
}

}  // namespace zvt_test
