#pragma once

#include "ZevOzozidZeroduv/ZevOzozidZeroduv/CrashTime/ZVTZeroduvBufferSlots.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// Ordinary-time side of the process-wide crash-safe log buffer (60 slots, see
// ZVTZeroduvBufferSlots.h). Every change builds a new immutable block and swaps it in with one
// atomic store; the replaced block goes to a retire ring and is freed only after 4096 later
// replacements, long after any crash-time reader has finished with it. All members are safe from
// any thread (one process-wide lock); none is safe in a signal handler.
class ZVTZeroduvLogBuffer {
  public:
    static constexpr size_t kRetireRingSize = 4096;

    struct Slot {
        std::string bufferPath;
        std::string tokenPath;
        std::vector<uint8_t> logBytes;
        std::string token;
        std::string internalId;
        double timestamp = 0;
    };

    // Fixes slot i's two file paths and frees it.
    static void setUpSlot(size_t index, const std::string& bufferPath,
                          const std::string& tokenPath);
    // Copies a log into the first free slot, or over the oldest (lowest index among equal
    // times) when all are full. Returns the slot's index and whether it overwrote; nothing when
    // the slots are not set up.
    struct StoreResult {
        size_t index;
        bool overwrote;
    };
    static std::optional<StoreResult> store(const std::vector<uint8_t>& logBytes,
                                            const std::string& token, const std::string& internalId,
                                            double timestamp);
    // Frees every slot holding that (non-empty) internal id; their indices.
    static std::vector<size_t> release(const std::string& internalId);
    static Slot slot(size_t index);
    static bool isFlushed();

  private:
    static void replace(size_t index, const Slot& slot);
};
