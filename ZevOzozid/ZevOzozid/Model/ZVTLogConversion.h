#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class ZVTCommonSchemaLog;

// A log that can be sent to the common-schema collector: one common-schema log per target token.
class ZVTLogConversion {
  public:
    virtual ~ZVTLogConversion() = default;
    // One log per target token (set order), leaving out those that cannot be made; none when the
    // list would be empty.
    virtual std::optional<std::vector<std::shared_ptr<ZVTCommonSchemaLog>>>
    toCommonSchemaLogsWithFlags(uint64_t flags) const = 0;
    virtual std::shared_ptr<ZVTCommonSchemaLog> toCommonSchemaLogForTargetToken(
        const std::string& token, uint64_t flags) const = 0;
};
