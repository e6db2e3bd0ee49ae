#include "ZevOzozidZeroduv/ZevOzozidZeroduv/CrashTime/ZVTZeroduvBufferSlots.h"

#include <fcntl.h>
#include <unistd.h>

std::atomic<const ZVTZeroduvBufferBlock*> zvtCrashLogBuffer[ZVTZeroduvLogBufferSize];
std::atomic<bool> zvtLogBufferFlushed{false};

namespace {

void writeBufferToFile(const void* bytes, size_t length, const char* path, int flags) noexcept {
    const int fd = open(path, flags, 0644);
    if (fd < 0) return;
    const char* cursor = static_cast<const char*>(bytes);
    while (length > 0) {
        const ssize_t written = write(fd, cursor, length);
        if (written <= 0) break;
        cursor += written;
        length -= static_cast<size_t>(written);
    }
    close(fd);
}

}  // namespace

void zvtFlushLogBufferToFiles() noexcept {
    zvtLogBufferFlushed.store(true, std::memory_order_relaxed);
    for (size_t i = 0; i < ZVTZeroduvLogBufferSize; ++i) {
        const ZVTZeroduvBufferBlock* block = zvtCrashLogBuffer[i].load(std::memory_order_acquire);
        if (block == nullptr) continue;
        writeBufferToFile(block->logBytes, block->logLength, block->bufferPath,
                          O_WRONLY | O_CREAT | O_TRUNC);
        // A slot without a token empties a token file left by an earlier crash, so that token
        // cannot be given to this slot's log at the next start; it creates none.
        writeBufferToFile(
            block->token, block->tokenLength, block->tokenPath,
            block->tokenLength > 0 ? O_WRONLY | O_CREAT | O_TRUNC : O_WRONLY | O_TRUNC);
    }
}
