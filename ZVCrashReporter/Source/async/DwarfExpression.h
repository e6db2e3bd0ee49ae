#pragma once

#include "ZVCrashReporter/Source/async/MemoryObject.h"
#include "ZVCrashReporter/Source/async/ThreadState.h"

#include <cstddef>
#include <cstdint>

// Evaluates a DWARF expression of [address, address + length) in the window against a thread
// state, after pushing the initial values. The result is the top of the stack. DW_OP_breg16
// (the return-address column) reads the instruction pointer, as PLT entries' CFI expects.
// 100-word stack on the caller's stack; safe in a signal handler.
zvcrash_error_t zvcrash_async_dwarf_expression_eval(const zvcrash_async_mobject* window,
                                                    zvcrash_task_t task,
                                                    const zvcrash_async_thread_state* state,
                                                    uint64_t address, uint64_t length,
                                                    const uint64_t* initial, size_t initial_count,
                                                    uint64_t* result);
