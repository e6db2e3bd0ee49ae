#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

// Where the device tracker reads the machine's facts. Tests install a probe of their own.
// Implementations must be safe from any thread.
class ZVTDeviceProbe {
  public:
    virtual ~ZVTDeviceProbe() = default;
    virtual std::string model() const = 0;
    virtual std::string oemName() const = 0;
    virtual std::string osName() const = 0;
    virtual std::optional<std::string> osVersion() const = 0;
    virtual std::string osBuild() const = 0;
    virtual std::string locale() const = 0;
    virtual int64_t timeZoneOffsetMinutes() const = 0;

    // The probe new trackers use: the system's unless a test installed another (nullptr restores
    // the system's).
    static std::shared_ptr<ZVTDeviceProbe> current();
    // Answers the probe it replaced (nullptr while the system's had not been made yet).
    static std::shared_ptr<ZVTDeviceProbe> setCurrent(std::shared_ptr<ZVTDeviceProbe> probe);
};

// The facts of this Linux machine: DMI names, uname, os-release, the locale environment and the
// local time zone.
class ZVTSystemDeviceProbe : public ZVTDeviceProbe {
  public:
    std::string model() const override;    // /sys/class/dmi/id/product_name, else "Unknown"
    std::string oemName() const override;  // /sys/class/dmi/id/sys_vendor, else "Unknown"
    std::string osName() const override { return "Linux"; }
    std::optional<std::string> osVersion() const override;  // kernel major.minor.patch
    std::string osBuild() const override;  // PRETTY_NAME of /etc/os-release, else kernel release
    std::string locale() const override;
    int64_t timeZoneOffsetMinutes() const override;

    using Environment = std::function<const char*(const char*)>;
    // "zh_CN.UTF-8" gives "zh_CN", "zh-Hans-CN" gives "zh-Hans_CN"; a bare language takes the
    // country of the locale variables; C, POSIX or nothing give "en_US".
    static std::string localeFromEnvironment(const Environment& getenv);
    // "6.1.0-18-amd64" gives "6.1.0", "5.15" gives "5.15.0".
    static std::optional<std::string> osVersionFromRelease(const std::string& release);
    static std::optional<std::string> prettyNameFromOsRelease(const std::string& text);
};
