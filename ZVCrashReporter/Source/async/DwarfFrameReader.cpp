#include "ZVCrashReporter/Source/async/DwarfCfaState.h"
#include "ZVCrashReporter/Source/async/FrameCursor.h"

frame_walk_error read_dwarf_frame(zvcrash_task_t task, const zvcrash_image_set* images,
                                  const zvcrash_async_thread_state* current,
                                  const zvcrash_async_thread_state*,
                                  zvcrash_async_thread_state* next) {
    if (!thread_state_has_reg(current, ZVCRASH_REG_IP)) return FRAME_WALK_EBADFRAME;
    if (thread_state_get_reg(current, ZVCRASH_REG_IP) == 0) return FRAME_WALK_ENOTSUP;
    const uint64_t pc = thread_state_lookup_address(current);
    const elf_image* image = zvcrash_image_set_find(images, pc);
    if (image == nullptr) return FRAME_WALK_ENOTSUP;
    zvcrash_async_mobject eh_frame;
    if (image->eh_frame == 0 || mobject_init(&eh_frame, task, image->eh_frame,
                                             image->eh_frame_end - image->eh_frame, false) != 0) {
        return FRAME_WALK_ENOFRAME;
    }
    zvcrash_async_dwarf_fde_info fde;
    zvcrash_async_dwarf_cie_info cie;
    zvcrash_error_t err = ZVCRASH_ENOTSUP;
    zvcrash_async_mobject hdr;
    if (image->eh_frame_hdr != 0 &&
        mobject_init(&hdr, task, image->eh_frame_hdr, image->eh_frame_hdr_size, true) == 0) {
        err = dwarf_eh_frame_hdr_find_fde(&hdr, &eh_frame, pc, &fde, &cie);
    }
    if (err == ZVCRASH_ENOTSUP) err = dwarf_frame_reader_find_fde(&eh_frame, pc, &fde, &cie);
    if (err != 0) return FRAME_WALK_ENOTSUP;
    dwarf_cfa_state state;
    dwarf_cfa_state_init(&state);
    if (dwarf_cfa_state_eval_program(&state, &eh_frame, pc, fde.pc_start, &cie,
                                     cie.initial_instructions,
                                     cie.initial_instructions_length) != 0 ||
        dwarf_cfa_state_eval_program(&state, &eh_frame, pc, fde.pc_start, &cie, fde.instructions,
                                     fde.instructions_length) != 0) {
        return FRAME_WALK_ENOTSUP;
    }
    if (dwarf_cfa_state_apply(&state, &eh_frame, task, &cie, current, next) != 0) {
        return FRAME_WALK_ENOFRAME;
    }
    return FRAME_WALK_ESUCCESS;
}
