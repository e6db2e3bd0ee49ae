#pragma once

#include "ZevOzozid/ZevOzozid/Internals/Context/Device/ZVTDeviceProbe.h"

#include <atomic>
#include <string>

namespace zvt_test {

// Fixed device facts; the locale can be changed between records.
class FakeDeviceProbe : public ZVTDeviceProbe {
  public:
    std::string model() const override { return "Larkbook 14"; }
    std::string oemName() const override { return "Gridlark Labs"; }
    std::string osName() const override { return "Linux"; }
    std::optional<std::string> osVersion() const override { return "6.1.0"; }
    std::string osBuild() const override { return "Debian GNU/Linux 12 (bookworm)"; }
    std::string locale() const override { return localeText; }
    int64_t timeZoneOffsetMinutes() const override { return 60; }

    std::string localeText = "en_GB";
};

}  // namespace zvt_test
