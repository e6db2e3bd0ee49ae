#include "ZVCrashReporter/Source/async/ThreadState.h"

#include "ZVCrashReporter/Source/async/AsyncMemory.h"

namespace {

constexpr const char* kNames[ZVCRASH_REG_COUNT] = {
    "rip", "rbp", "rsp", "rax", "rbx", "rcx", "rdx",    "rdi", "rsi", "r8", "r9",
    "r10", "r11", "r12", "r13", "r14", "r15", "rflags", "cs",  "fs",  "gs"};

struct dwarf_row {
    uint32_t reg;
    uint64_t dwarf;
};
constexpr dwarf_row kDwarf[] = {
    {ZVCRASH_REG_RAX, 0},
    {ZVCRASH_REG_RDX, 1},
    {ZVCRASH_REG_RCX, 2},
    {ZVCRASH_REG_RBX, 3},
    {ZVCRASH_REG_RSI, 4},
    {ZVCRASH_REG_RDI, 5},
    {ZVCRASH_REG_FP, 6},
    {ZVCRASH_REG_SP, 7},
    {9, 8},
    {10, 9},
    {11, 10},
    {12, 11},
    {13, 12},
    {14, 13},
    {15, 14},
    {16, 15},
    {ZVCRASH_REG_RFLAGS, 49},
    {ZVCRASH_REG_CS, 51},
    {ZVCRASH_REG_FS, 54},
    {ZVCRASH_REG_GS, 55},
};

constexpr uint64_t kCalleeSaved = (1ull << ZVCRASH_REG_RBX) | (1ull << ZVCRASH_REG_SP) |
                                  (1ull << ZVCRASH_REG_FP) | (1ull << 13) | (1ull << 14) |
                                  (1ull << 15) | (1ull << 16);

}  // namespace

void thread_state_init(zvcrash_async_thread_state* state) {
    zvcrash_async_memset(state, 0, sizeof *state);
    state->stack_direction = ZVCRASH_STACK_DOWN;
    state->greg_size = 8;
}

void thread_state_init_from_mcontext(zvcrash_async_thread_state* state, const ucontext_t* context) {
    thread_state_init(state);
    const greg_t* g = context->uc_mcontext.gregs;
    const int order[ZVCRASH_REG_COUNT - 3] = {REG_RIP, REG_RBP, REG_RSP, REG_RAX, REG_RBX, REG_RCX,
                                              REG_RDX, REG_RDI, REG_RSI, REG_R8,  REG_R9,  REG_R10,
                                              REG_R11, REG_R12, REG_R13, REG_R14, REG_R15, REG_EFL};
    for (uint32_t i = 0; i < ZVCRASH_REG_COUNT - 3; ++i) {
        state->regs[i] = static_cast<uint64_t>(g[order[i]]);
    }
    const auto segments = static_cast<uint64_t>(g[REG_CSGSFS]);  // cs, gs, fs, pad: 16 bits each
    state->regs[ZVCRASH_REG_CS] = segments & 0xFFFF;
    state->regs[ZVCRASH_REG_GS] = (segments >> 16) & 0xFFFF;
    state->regs[ZVCRASH_REG_FS] = (segments >> 32) & 0xFFFF;
    state->trapno = static_cast<uint64_t>(g[REG_TRAPNO]);
    state->err = static_cast<uint64_t>(g[REG_ERR]);
    state->cr2 = static_cast<uint64_t>(g[REG_CR2]);
    state->valid_regs = ~0ull;
}

void thread_state_copy(zvcrash_async_thread_state* dst, const zvcrash_async_thread_state* src) {
    zvcrash_async_memcpy(dst, src, sizeof *dst);
}

bool thread_state_has_reg(const zvcrash_async_thread_state* state, uint32_t reg) {
    return reg < 64 && (state->valid_regs & (1ull << reg)) != 0;
}

uint64_t thread_state_get_reg(const zvcrash_async_thread_state* state, uint32_t reg) {
    return reg < ZVCRASH_REG_COUNT ? state->regs[reg] : 0;
}

void thread_state_set_reg(zvcrash_async_thread_state* state, uint32_t reg, uint64_t value) {
    if (reg >= ZVCRASH_REG_COUNT) return;
    state->regs[reg] = value;
    state->valid_regs |= 1ull << reg;
}

void thread_state_clear_reg(zvcrash_async_thread_state* state, uint32_t reg) {
    if (reg < 64) state->valid_regs &= ~(1ull << reg);
}

void thread_state_clear_all_regs(zvcrash_async_thread_state* state) {
    state->valid_regs = 0;
}

void thread_state_clear_volatile_regs(zvcrash_async_thread_state* state) {
    state->valid_regs &= kCalleeSaved;
}

const char* thread_state_get_reg_name(const zvcrash_async_thread_state*, uint32_t reg) {
    return reg < ZVCRASH_REG_COUNT ? kNames[reg] : nullptr;
}

uint64_t thread_state_lookup_address(const zvcrash_async_thread_state* state) {
    const uint64_t ip = state->regs[ZVCRASH_REG_IP];
    return state->ip_is_return_address && ip > 0 ? ip - 1 : ip;
}

bool thread_state_map_dwarf_reg(const zvcrash_async_thread_state*, uint64_t dwarf, uint32_t* reg) {
    for (const dwarf_row& row : kDwarf) {
        if (row.dwarf == dwarf) {
            *reg = row.reg;
            return true;
        }
    }
    return false;
}

bool thread_state_map_reg_to_dwarf(const zvcrash_async_thread_state*, uint32_t reg,
                                   uint64_t* dwarf) {
    for (const dwarf_row& row : kDwarf) {
        if (row.reg == reg) {
            *dwarf = row.dwarf;
            return true;
        }
    }
    return false;
}

// Called by the assembly routine with the registers in register-number order.
extern "C" int zvcrash_capture_finish(zvcrash_capture_callback callback, void* context,
                                      const uint64_t* raw) {
    zvcrash_async_thread_state state;
    thread_state_init(&state);
    for (uint32_t i = 0; i < ZVCRASH_REG_COUNT; ++i) state.regs[i] = raw[i];
    state.valid_regs = ~0ull;
    return callback(&state, context);
}
