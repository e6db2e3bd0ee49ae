#pragma once

#include "ZVCrashReporter/Source/async/AsyncError.h"

#include <cstddef>
#include <cstdint>

#include <ucontext.h>

// One frame's registers (x86-64), a plain record copied by value. Safe in a signal handler.

enum zvcrash_reg : uint32_t {
    ZVCRASH_REG_IP = 0,  // rip
    ZVCRASH_REG_FP = 1,  // rbp
    ZVCRASH_REG_SP = 2,  // rsp
    ZVCRASH_REG_RAX = 3,
    ZVCRASH_REG_RBX = 4,
    ZVCRASH_REG_RCX = 5,
    ZVCRASH_REG_RDX = 6,
    ZVCRASH_REG_RDI = 7,
    ZVCRASH_REG_RSI = 8,
    ZVCRASH_REG_R8 = 9,  // r8 ... r15 follow
    ZVCRASH_REG_R15 = 16,
    ZVCRASH_REG_RFLAGS = 17,
    ZVCRASH_REG_CS = 18,
    ZVCRASH_REG_FS = 19,
    ZVCRASH_REG_GS = 20,
    ZVCRASH_REG_COUNT = 21,
};

enum zvcrash_stack_direction : uint32_t { ZVCRASH_STACK_UP = 1, ZVCRASH_STACK_DOWN = 2 };

struct zvcrash_async_thread_state {
    uint32_t stack_direction;
    uint64_t greg_size;
    uint64_t valid_regs;  // bit n: register n holds a value
    uint64_t regs[ZVCRASH_REG_COUNT];
    // Exception state of a signal context.
    uint64_t trapno, err, cr2;
    // The instruction pointer is a return address (a frame found by unwinding), so the code that
    // made the call lies before it: lookups use ip - 1.
    bool ip_is_return_address;
};

// From a signal's machine context. All registers valid.
void thread_state_init_from_mcontext(zvcrash_async_thread_state* state, const ucontext_t* context);
// Empty x86-64 state, no register valid.
void thread_state_init(zvcrash_async_thread_state* state);
void thread_state_copy(zvcrash_async_thread_state* dst, const zvcrash_async_thread_state* src);

bool thread_state_has_reg(const zvcrash_async_thread_state* state, uint32_t reg);
uint64_t thread_state_get_reg(const zvcrash_async_thread_state* state, uint32_t reg);
void thread_state_set_reg(zvcrash_async_thread_state* state, uint32_t reg, uint64_t value);
void thread_state_clear_reg(zvcrash_async_thread_state* state, uint32_t reg);
void thread_state_clear_all_regs(zvcrash_async_thread_state* state);
// Keeps only the callee-saved registers: rbx, rsp, rbp, r12-r15.
void thread_state_clear_volatile_regs(zvcrash_async_thread_state* state);
inline uint32_t thread_state_get_reg_count(const zvcrash_async_thread_state*) {
    return ZVCRASH_REG_COUNT;
}
const char* thread_state_get_reg_name(const zvcrash_async_thread_state* state, uint32_t reg);
// The address to look the frame's code up at: ip, or ip - 1 after a call.
uint64_t thread_state_lookup_address(const zvcrash_async_thread_state* state);

// DWARF register numbers (x86-64 psABI): rax 0, rdx 1, rcx 2, rbx 3, rsi 4, rdi 5, rbp 6, rsp 7,
// r8-r15 8-15, rflags 49, cs 51, fs 54, gs 55; the return-address column 16 has no register.
bool thread_state_map_dwarf_reg(const zvcrash_async_thread_state* state, uint64_t dwarf,
                                uint32_t* reg);
bool thread_state_map_reg_to_dwarf(const zvcrash_async_thread_state* state, uint32_t reg,
                                   uint64_t* dwarf);

using zvcrash_capture_callback = int (*)(zvcrash_async_thread_state* state, void* context);
// Records the caller's registers (written in assembly: getcontext is not signal-safe) and returns
// what callback returns. The state is the caller's as it will be when this call returns: ip the
// return address, sp just above it, rbp and the other registers as they were at the call.
extern "C" int capture_current_thread_state(zvcrash_capture_callback callback, void* context);
