#include "ZevOzozidZeroduv/ZevOzozidZeroduv/Internals/ZVTZeroduvLogBuffer.h"

#include <cstring>
#include <limits>
#include <memory>
#include <mutex>

namespace {

std::mutex gMutex;
// Blocks taken out of the slots, oldest freed first once the ring is full.
const ZVTZeroduvBufferBlock* gRetired[ZVTZeroduvLogBuffer::kRetireRingSize];
size_t gRetireNext = 0;

// One allocation: the block followed by its strings.
const ZVTZeroduvBufferBlock* makeBlock(const ZVTZeroduvLogBuffer::Slot& s) {
    const size_t size = sizeof(ZVTZeroduvBufferBlock) + s.bufferPath.size() + 1 +
                        s.tokenPath.size() + 1 + s.logBytes.size() + s.token.size() +
                        s.internalId.size();
    auto* raw = static_cast<char*>(::operator new(size));
    auto* block = reinterpret_cast<ZVTZeroduvBufferBlock*>(raw);
    char* cursor = raw + sizeof(ZVTZeroduvBufferBlock);
    auto put = [&cursor](const void* data, size_t length, bool terminate) {
        char* start = cursor;
        if (length > 0) std::memcpy(cursor, data, length);
        cursor += length;
        if (terminate) *cursor++ = '\0';
        return start;
    };
    block->bufferPath = put(s.bufferPath.data(), s.bufferPath.size(), true);
    block->tokenPath = put(s.tokenPath.data(), s.tokenPath.size(), true);
    block->logBytes =
        reinterpret_cast<const uint8_t*>(put(s.logBytes.data(), s.logBytes.size(), false));
    block->logLength = s.logBytes.size();
    block->token = put(s.token.data(), s.token.size(), false);
    block->tokenLength = s.token.size();
    block->internalId = put(s.internalId.data(), s.internalId.size(), false);
    block->internalIdLength = s.internalId.size();
    block->timestamp = s.timestamp;
    return block;
}

ZVTZeroduvLogBuffer::Slot slotOf(const ZVTZeroduvBufferBlock* b) {
    ZVTZeroduvLogBuffer::Slot s;
    if (!b) return s;
    s.bufferPath = b->bufferPath;
    s.tokenPath = b->tokenPath;
    s.logBytes.assign(b->logBytes, b->logBytes + b->logLength);
    s.token.assign(b->token, b->tokenLength);
    s.internalId.assign(b->internalId, b->internalIdLength);
    s.timestamp = b->timestamp;
    return s;
}

}  // namespace

void ZVTZeroduvLogBuffer::replace(size_t index, const Slot& slot) {
    const ZVTZeroduvBufferBlock* old =
        zvtCrashLogBuffer[index].exchange(makeBlock(slot), std::memory_order_acq_rel);
    if (!old) return;
    const ZVTZeroduvBufferBlock* evicted = gRetired[gRetireNext];
    gRetired[gRetireNext] = old;
    gRetireNext = (gRetireNext + 1) % kRetireRingSize;
    ::operator delete(const_cast<ZVTZeroduvBufferBlock*>(evicted));
}

void ZVTZeroduvLogBuffer::setUpSlot(size_t index, const std::string& bufferPath,
                                    const std::string& tokenPath) {
    if (index >= ZVTZeroduvLogBufferSize) return;
    std::lock_guard lock(gMutex);
    Slot slot;
    slot.bufferPath = bufferPath;
    slot.tokenPath = tokenPath;
    replace(index, slot);
}

std::optional<ZVTZeroduvLogBuffer::StoreResult> ZVTZeroduvLogBuffer::store(
    const std::vector<uint8_t>& logBytes, const std::string& token, const std::string& internalId,
    double timestamp) {
    std::lock_guard lock(gMutex);
    double oldest = std::numeric_limits<double>::max();
    std::optional<size_t> candidate;
    for (size_t i = 0; i < ZVTZeroduvLogBufferSize; ++i) {
        const ZVTZeroduvBufferBlock* b = zvtCrashLogBuffer[i].load(std::memory_order_acquire);
        if (!b) return std::nullopt;
        if (b->logLength == 0) {
            Slot slot = slotOf(b);
            slot.logBytes = logBytes;
            slot.token = token;
            slot.internalId = internalId;
            slot.timestamp = timestamp;
            replace(i, slot);
            return StoreResult{i, false};
        }
        if (b->timestamp < oldest) {
            oldest = b->timestamp;
            candidate = i;
        }
    }
    const size_t index = candidate.value_or(0);
    Slot slot = slotOf(zvtCrashLogBuffer[index].load(std::memory_order_acquire));
    slot.logBytes = logBytes;
    slot.token = token;
    slot.internalId = internalId;
    slot.timestamp = timestamp;
    replace(index, slot);
    return StoreResult{index, true};
}

std::vector<size_t> ZVTZeroduvLogBuffer::release(const std::string& internalId) {
    std::vector<size_t> freed;
    if (internalId.empty()) return freed;
    std::lock_guard lock(gMutex);
    for (size_t i = 0; i < ZVTZeroduvLogBufferSize; ++i) {
        const ZVTZeroduvBufferBlock* b = zvtCrashLogBuffer[i].load(std::memory_order_acquire);
        if (!b || b->internalIdLength == 0 ||
            std::string_view(b->internalId, b->internalIdLength) != internalId) {
            continue;
        }
        Slot slot;
        slot.bufferPath = b->bufferPath;
        slot.tokenPath = b->tokenPath;
        replace(i, slot);
        freed.push_back(i);
    }
    return freed;
}

ZVTZeroduvLogBuffer::Slot ZVTZeroduvLogBuffer::slot(size_t index) {
    if (index >= ZVTZeroduvLogBufferSize) return {};
    std::lock_guard lock(gMutex);
    return slotOf(zvtCrashLogBuffer[index].load(std::memory_order_acquire));
}

bool ZVTZeroduvLogBuffer::isFlushed() {
    return zvtLogBufferFlushed.load(std::memory_order_relaxed);
}
