#pragma once

#include <cstdint>
#include <string>

// How a channel unit batches and sends: group id, priority, flush interval in whole seconds,
// logs per batch and batches in flight.
struct ZVTChannelUnitConfiguration {
    std::string groupId;
    int64_t priority = 1;
    uint64_t flushInterval = 6;
    uint64_t batchSizeLimit = 50;
    uint64_t pendingBatchesLimit = 3;

    ZVTChannelUnitConfiguration() = default;
    ZVTChannelUnitConfiguration(std::string groupId, int64_t priority, uint64_t flushInterval,
                                uint64_t batchSizeLimit, uint64_t pendingBatchesLimit)
        : groupId(std::move(groupId)),
          priority(priority),
          flushInterval(flushInterval),
          batchSizeLimit(batchSizeLimit),
          pendingBatchesLimit(pendingBatchesLimit) {}

    // Priority 1, batches of 50, three in flight.
    static ZVTChannelUnitConfiguration defaultConfiguration(std::string groupId,
                                                            uint64_t flushInterval = 6) {
        return ZVTChannelUnitConfiguration(std::move(groupId), 1, flushInterval, 50, 3);
    }
};
