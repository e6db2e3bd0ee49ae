#pragma once

#include "ZevOzozid/ZevOzozid/Internals/Model/ZVTHistoryInfo.h"
#include "ZevOzozid/ZevOzozid/Model/ZVTDevice.h"

#include <memory>

// A device record with the time it was made.
class ZVTDeviceHistoryInfo : public ZVTHistoryInfo {
  public:
    ZVTDeviceHistoryInfo() = default;
    ZVTDeviceHistoryInfo(std::optional<ZVTDate> timestamp, std::shared_ptr<ZVTDevice> device)
        : ZVTHistoryInfo(timestamp), device_(std::move(device)) {}

    const std::shared_ptr<ZVTDevice>& device() const { return device_; }
    void setDevice(std::shared_ptr<ZVTDevice> d) { device_ = std::move(d); }

    std::string className() const override { return "ZVTDeviceHistoryInfo"; }
    void encodeWithCoder(ZVTCoder& coder) const override;
    void initWithCoder(const ZVTDecoder& decoder) override;
    bool isEqual(const ZVTSerializableObject& other) const override;

  private:
    std::shared_ptr<ZVTDevice> device_;
};

// A user id with the time from which it was current.
class ZVTUserIdHistoryInfo : public ZVTHistoryInfo {
  public:
    ZVTUserIdHistoryInfo() = default;
    ZVTUserIdHistoryInfo(std::optional<ZVTDate> timestamp, std::optional<std::string> userId)
        : ZVTHistoryInfo(timestamp), userId_(std::move(userId)) {}

    const std::optional<std::string>& userId() const { return userId_; }
    void setUserId(std::optional<std::string> id) { userId_ = std::move(id); }

    std::string className() const override { return "ZVTUserIdHistoryInfo"; }
    void encodeWithCoder(ZVTCoder& coder) const override;
    void initWithCoder(const ZVTDecoder& decoder) override;
    bool isEqual(const ZVTSerializableObject& other) const override;

  private:
    std::optional<std::string> userId_;
};
