#pragma once

#include "ZVCrashReporter/Source/async/DwarfReader.h"
#include "ZVCrashReporter/Source/async/ThreadState.h"

#include <cstddef>
#include <cstdint>

// The register rules that a CFA program builds (with its remember/restore stack), the program's
// interpreter and the application of the rules to a thread state. Fixed-size, on the caller's
// stack; safe in a signal handler.

enum zvcrash_dwarf_cfa_reg_rule_t : uint32_t {
    DWARF_CFA_REG_RULE_OFFSET = 0,
    DWARF_CFA_REG_RULE_VAL_OFFSET = 1,
    DWARF_CFA_REG_RULE_REGISTER = 2,
    DWARF_CFA_REG_RULE_EXPRESSION = 3,
    DWARF_CFA_REG_RULE_VAL_EXPRESSION = 4,
    DWARF_CFA_REG_RULE_SAME_VALUE = 5,
};

enum dwarf_cfa_rule_kind : uint32_t {
    DWARF_CFA_UNDEFINED = 0,
    DWARF_CFA_EXPRESSION = 1,
    DWARF_CFA_REGISTER = 2,         // register + unsigned offset
    DWARF_CFA_REGISTER_SIGNED = 3,  // register + signed offset
};

struct dwarf_cfa_rule {
    uint32_t kind;
    uint32_t reg;
    uint64_t value;   // offset, or the expression's task address
    uint64_t length;  // expression length
};

inline constexpr size_t ZVCRASH_CFA_LEVELS = 6;
inline constexpr size_t ZVCRASH_CFA_RULES = 100;

struct dwarf_reg_entry {
    uint64_t value;
    uint32_t reg;
    uint32_t rule;
};

struct dwarf_cfa_level {
    dwarf_cfa_rule cfa;
    size_t count;
    dwarf_reg_entry entries[ZVCRASH_CFA_RULES];
};

struct dwarf_cfa_state {
    dwarf_cfa_level levels[ZVCRASH_CFA_LEVELS];
    size_t current;
};

void dwarf_cfa_state_init(dwarf_cfa_state* state);
// False when the level already holds ZVCRASH_CFA_RULES other registers.
bool dwarf_cfa_state_set_register(dwarf_cfa_state* state, uint32_t reg, uint32_t rule,
                                  uint64_t value);
void dwarf_cfa_state_remove_register(dwarf_cfa_state* state, uint32_t reg);
const dwarf_cfa_rule* dwarf_cfa_state_get_cfa_rule(const dwarf_cfa_state* state);
bool dwarf_cfa_state_push(dwarf_cfa_state* state);  // false at the last level
bool dwarf_cfa_state_pop(dwarf_cfa_state* state);   // false at level 0

// Runs [address, address + length) from location initial until the location passes target
// (target 0: to the end). DW_CFA_GNU_args_size is read and changes nothing.
zvcrash_error_t dwarf_cfa_state_eval_program(dwarf_cfa_state* state,
                                             const zvcrash_async_mobject* window, uint64_t target,
                                             uint64_t initial_location,
                                             const zvcrash_async_dwarf_cie_info* cie,
                                             uint64_t address, uint64_t length);

// The caller's registers from the rules and the current frame's registers.
zvcrash_error_t dwarf_cfa_state_apply(const dwarf_cfa_state* state,
                                      const zvcrash_async_mobject* window, zvcrash_task_t task,
                                      const zvcrash_async_dwarf_cie_info* cie,
                                      const zvcrash_async_thread_state* current,
                                      zvcrash_async_thread_state* next);
