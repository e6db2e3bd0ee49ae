// Fuzz target: arbitrary bytes served as an .eh_frame section to the CFI reader (FDE search, CIE
// and FDE parsing, CFA programs, applying the rules) and as a DWARF expression to the evaluator.
// Whatever the bytes, every step ends with a code; nothing is read outside the section.
#include "ZVCrashReporter/Source/async/DwarfCfaState.h"
#include "ZVCrashReporter/Source/async/DwarfExpression.h"
#include "ZVCrashReporter/Source/async/DwarfReader.h"

#include <cstdint>
#include <cstring>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool ready = zvcrash_async_memory_setup() == ZVCRASH_ESUCCESS;
    if (!ready || size == 0 || size > (1u << 16)) return 0;
    std::vector<uint8_t> section(data, data + size);
    zvcrash_async_mobject window;
    const auto base = reinterpret_cast<uint64_t>(section.data());
    if (mobject_init(&window, zvcrash_async_task_self(), base, size, true) != ZVCRASH_ESUCCESS)
        return 0;

    uint64_t stack[4] = {0x401000, 0, 0, 0};
    zvcrash_async_thread_state current;
    thread_state_init(&current);
    thread_state_set_reg(&current, ZVCRASH_REG_SP, reinterpret_cast<uint64_t>(stack));
    thread_state_set_reg(&current, ZVCRASH_REG_FP, reinterpret_cast<uint64_t>(stack));

    uint64_t result = 0;
    zvcrash_async_dwarf_expression_eval(&window, zvcrash_async_task_self(), &current, base, size,
                                        &base, 1, &result);

    // Probe pc values taken from the bytes themselves and around the section.
    const uint64_t probes[] = {base, base + size / 2, base + 0x10000};
    for (uint64_t pc : probes) {
        zvcrash_async_dwarf_fde_info fde;
        zvcrash_async_dwarf_cie_info cie;
        if (dwarf_frame_reader_find_fde(&window, pc, &fde, &cie) != ZVCRASH_ESUCCESS) continue;
        dwarf_cfa_state state;
        dwarf_cfa_state_init(&state);
        if (dwarf_cfa_state_eval_program(&state, &window, pc, fde.pc_start, &cie,
                                         cie.initial_instructions,
                                         cie.initial_instructions_length) != 0 ||
            dwarf_cfa_state_eval_program(&state, &window, pc, fde.pc_start, &cie, fde.instructions,
                                         fde.instructions_length) != 0) {
            continue;
        }
        thread_state_set_reg(&current, ZVCRASH_REG_IP, pc);
        zvcrash_async_thread_state next;
        dwarf_cfa_state_apply(&state, &window, zvcrash_async_task_self(), &cie, &current, &next);
    }
    return 0;
}
