#pragma once

#include "ZevOzozid/ZevOzozid/Model/ZVTAbstractLog.h"

#include <optional>
#include <string>
#include <vector>

// Tells the ingestion service which telemetry services were started (type "startService").
// Filled by one thread before it is enqueued; not locked.
class ZVTStartServiceLog : public ZVTAbstractLog {
  public:
    ZVTStartServiceLog() { setType("startService"); }

    const std::optional<std::vector<std::string>>& services() const { return services_; }
    void setServices(std::optional<std::vector<std::string>> services) {
        services_ = std::move(services);
    }
    // Whether a default transmission target token is configured.
    bool isCSCollectorEnabled() const { return isCSCollectorEnabled_; }
    void setIsCSCollectorEnabled(bool value) { isCSCollectorEnabled_ = value; }

    std::string className() const override { return "ZVTStartServiceLog"; }
    void encodeWithCoder(ZVTCoder& coder) const override;
    void initWithCoder(const ZVTDecoder& decoder) override;
    // The base dictionary, then "services" and "isCSCollectorEnabled" only when services are set.
    ZVTJson serializeToDictionary() const override;
    // The base equality and equal services; isCSCollectorEnabled takes no part.
    bool isEqual(const ZVTSerializableObject& other) const override;

  private:
    std::optional<std::vector<std::string>> services_;
    bool isCSCollectorEnabled_ = false;
};
