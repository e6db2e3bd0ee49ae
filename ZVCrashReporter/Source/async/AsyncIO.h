#pragma once

#include <cstddef>

#include <sys/types.h>

// Writes every byte to fd. A write interrupted by a signal (-1 with EINTR) is retried; any other
// failure, and a write that reports 0 bytes, ends the loop with -1 (retrying a 0 would spin
// forever on a full or broken file). Returns length on success. Safe in a signal handler.
ssize_t zvcrash_async_writen(int fd, const void* data, size_t length);
