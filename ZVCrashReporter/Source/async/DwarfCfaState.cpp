#include "ZVCrashReporter/Source/async/DwarfCfaState.h"

#include "ZVCrashReporter/Source/async/DwarfExpression.h"

namespace {

dwarf_cfa_level* level(dwarf_cfa_state* s) {
    return &s->levels[s->current];
}
const dwarf_cfa_level* level(const dwarf_cfa_state* s) {
    return &s->levels[s->current];
}

zvcrash_error_t read_reg(dwarf_stream* s, uint32_t* reg) {
    uint64_t v = 0;
    const zvcrash_error_t err = dwarf_stream_uleb128(s, &v);
    if (err != 0) return err;
    if (v > 0xFFFFFFFFu) return ZVCRASH_ENOTSUP;
    *reg = static_cast<uint32_t>(v);
    return ZVCRASH_ESUCCESS;
}

// Restores a register to its rule of the initial instructions, or to none.
bool restore(dwarf_cfa_state* state, const dwarf_cfa_level* initial, uint32_t reg) {
    for (size_t i = 0; i < initial->count; ++i) {
        if (initial->entries[i].reg == reg) {
            return dwarf_cfa_state_set_register(state, reg, initial->entries[i].rule,
                                                initial->entries[i].value);
        }
    }
    dwarf_cfa_state_remove_register(state, reg);
    return true;
}

zvcrash_error_t set_rule(dwarf_cfa_state* state, uint32_t reg, uint32_t rule, uint64_t value) {
    return dwarf_cfa_state_set_register(state, reg, rule, value) ? ZVCRASH_ESUCCESS
                                                                 : ZVCRASH_ENOMEM;
}

// Skips an expression block (ULEB128 length, bytes); at: the length field's address.
zvcrash_error_t skip_block(dwarf_stream* s, uint64_t* at, uint64_t* length) {
    *at = s->position;
    const zvcrash_error_t err = dwarf_stream_uleb128(s, length);
    if (err != 0) return err;
    if (*length > s->end - s->position) return ZVCRASH_EINVAL;
    s->position += *length;
    return ZVCRASH_ESUCCESS;
}

struct program {
    dwarf_cfa_state* state;
    const dwarf_cfa_level* initial;
    const zvcrash_async_dwarf_cie_info* cie;
    dwarf_stream* s;
    uint64_t* location;
};

zvcrash_error_t advance(program& p, uint64_t delta) {
    *p.location += delta * p.cie->code_alignment_factor;
    return ZVCRASH_ESUCCESS;
}

zvcrash_error_t cfa_change(program& p, bool new_reg, uint32_t reg, bool new_offset, uint64_t offset,
                           bool is_signed) {
    dwarf_cfa_rule* cfa = &level(p.state)->cfa;
    if (!new_reg || !new_offset) {
        if (cfa->kind != DWARF_CFA_REGISTER && cfa->kind != DWARF_CFA_REGISTER_SIGNED) {
            return ZVCRASH_EINVAL;
        }
    }
    if (new_reg) cfa->reg = reg;
    if (new_offset) {
        cfa->value = offset;
        cfa->kind = is_signed ? DWARF_CFA_REGISTER_SIGNED : DWARF_CFA_REGISTER;
    }
    cfa->length = 0;
    return ZVCRASH_ESUCCESS;
}

zvcrash_error_t extended_op(program& p, uint8_t op) {
    dwarf_stream* s = p.s;
    const int64_t daf = p.cie->data_alignment_factor;
    uint32_t reg = 0;
    uint64_t u = 0;
    int64_t sv = 0;
    zvcrash_error_t err = ZVCRASH_ESUCCESS;
    switch (op) {
        case 0x00:
            return ZVCRASH_ESUCCESS;  // nop
        case 0x01: {                  // set_loc
            if (p.cie->segment_size != 0) return ZVCRASH_ENOTSUP;
            const uint8_t enc = p.cie->has_augmentation_data && p.cie->has_pointer_encoding
                                    ? p.cie->pointer_encoding
                                    : 0;
            return gnu_ehptr_read(nullptr, s, enc, p.location);
        }
        case 0x02:
        case 0x03:
        case 0x04:
            if ((err = dwarf_stream_uint(s, size_t{1} << (op - 2), &u)) != 0) return err;
            return advance(p, u);
        case 0x05:
        case 0x14:
            if ((err = read_reg(s, &reg)) != 0 || (err = dwarf_stream_uleb128(s, &u)) != 0)
                return err;
            return set_rule(p.state, reg,
                            op == 0x05 ? DWARF_CFA_REG_RULE_OFFSET : DWARF_CFA_REG_RULE_VAL_OFFSET,
                            static_cast<uint64_t>(static_cast<int64_t>(u) * daf));
        case 0x11:
        case 0x15:
            if ((err = read_reg(s, &reg)) != 0 || (err = dwarf_stream_sleb128(s, &sv)) != 0)
                return err;
            return set_rule(p.state, reg,
                            op == 0x11 ? DWARF_CFA_REG_RULE_OFFSET : DWARF_CFA_REG_RULE_VAL_OFFSET,
                            static_cast<uint64_t>(sv * daf));
        case 0x06:
            if ((err = read_reg(s, &reg)) != 0) return err;
            return restore(p.state, p.initial, reg) ? ZVCRASH_ESUCCESS : ZVCRASH_ENOMEM;
        case 0x07:
            if ((err = read_reg(s, &reg)) != 0) return err;
            dwarf_cfa_state_remove_register(p.state, reg);
            return ZVCRASH_ESUCCESS;
        case 0x08:
            if ((err = read_reg(s, &reg)) != 0) return err;
            return set_rule(p.state, reg, DWARF_CFA_REG_RULE_SAME_VALUE, 0);
        case 0x09: {
            uint32_t other = 0;
            if ((err = read_reg(s, &reg)) != 0 || (err = read_reg(s, &other)) != 0) return err;
            return set_rule(p.state, reg, DWARF_CFA_REG_RULE_REGISTER, other);
        }
        case 0x0A:
            return dwarf_cfa_state_push(p.state) ? ZVCRASH_ESUCCESS : ZVCRASH_ENOMEM;
        case 0x0B:
            return dwarf_cfa_state_pop(p.state) ? ZVCRASH_ESUCCESS : ZVCRASH_EINVAL;
        case 0x0C:
            if ((err = read_reg(s, &reg)) != 0 || (err = dwarf_stream_uleb128(s, &u)) != 0)
                return err;
            return cfa_change(p, true, reg, true, u, false);
        case 0x0D: {
            if ((err = read_reg(s, &reg)) != 0) return err;
            return cfa_change(p, true, reg, false, 0, false);
        }
        case 0x0E:
            if ((err = dwarf_stream_uleb128(s, &u)) != 0) return err;
            return cfa_change(p, false, 0, true, u, false);
        case 0x12:
            if ((err = read_reg(s, &reg)) != 0 || (err = dwarf_stream_sleb128(s, &sv)) != 0)
                return err;
            return cfa_change(p, true, reg, true, static_cast<uint64_t>(sv * daf), true);
        case 0x13:
            if ((err = dwarf_stream_sleb128(s, &sv)) != 0) return err;
            return cfa_change(p, false, 0, true, static_cast<uint64_t>(sv * daf), true);
        case 0x0F: {
            uint64_t at = 0, length = 0;
            if ((err = skip_block(s, &at, &length)) != 0) return err;
            level(p.state)->cfa = dwarf_cfa_rule{DWARF_CFA_EXPRESSION, 0, at, length};
            return ZVCRASH_ESUCCESS;
        }
        case 0x10:
        case 0x16: {
            uint64_t at = 0, length = 0;
            if ((err = read_reg(s, &reg)) != 0 || (err = skip_block(s, &at, &length)) != 0)
                return err;
            return set_rule(
                p.state, reg,
                op == 0x10 ? DWARF_CFA_REG_RULE_EXPRESSION : DWARF_CFA_REG_RULE_VAL_EXPRESSION, at);
        }
        case 0x2E:  // DW_CFA_GNU_args_size: the outgoing argument size; no rule changes
            return dwarf_stream_uleb128(s, &u);
        default:
            return ZVCRASH_ENOTSUP;
    }
}

}  // namespace

void dwarf_cfa_state_init(dwarf_cfa_state* state) {
    state->current = 0;
    state->levels[0].cfa = dwarf_cfa_rule{DWARF_CFA_UNDEFINED, 0, 0, 0};
    state->levels[0].count = 0;
}

bool dwarf_cfa_state_set_register(dwarf_cfa_state* state, uint32_t reg, uint32_t rule,
                                  uint64_t value) {
    dwarf_cfa_level* l = level(state);
    for (size_t i = 0; i < l->count; ++i) {
        if (l->entries[i].reg == reg) {
            l->entries[i].rule = rule;
            l->entries[i].value = value;
            return true;
        }
    }
    if (l->count == ZVCRASH_CFA_RULES) return false;
    l->entries[l->count++] = dwarf_reg_entry{value, reg, rule};
    return true;
}

void dwarf_cfa_state_remove_register(dwarf_cfa_state* state, uint32_t reg) {
    dwarf_cfa_level* l = level(state);
    for (size_t i = 0; i < l->count; ++i) {
        if (l->entries[i].reg == reg) {
            l->entries[i] = l->entries[--l->count];
            return;
        }
    }
}

const dwarf_cfa_rule* dwarf_cfa_state_get_cfa_rule(const dwarf_cfa_state* state) {
    return &level(state)->cfa;
}

bool dwarf_cfa_state_push(dwarf_cfa_state* state) {
    if (state->current + 1 >= ZVCRASH_CFA_LEVELS) return false;
    const dwarf_cfa_level* from = level(state);
    dwarf_cfa_level* to = &state->levels[state->current + 1];
    to->cfa = from->cfa;
    to->count = from->count;
    for (size_t i = 0; i < from->count; ++i) to->entries[i] = from->entries[i];
    state->current++;
    return true;
}

bool dwarf_cfa_state_pop(dwarf_cfa_state* state) {
    if (state->current == 0) return false;
    state->current--;
    return true;
}

zvcrash_error_t dwarf_cfa_state_eval_program(dwarf_cfa_state* state,
                                             const zvcrash_async_mobject* window, uint64_t target,
                                             uint64_t initial_location,
                                             const zvcrash_async_dwarf_cie_info* cie,
                                             uint64_t address, uint64_t length) {
    dwarf_cfa_level initial;
    const dwarf_cfa_level* now = level(state);
    initial.cfa = now->cfa;
    initial.count = now->count;
    for (size_t i = 0; i < now->count; ++i) initial.entries[i] = now->entries[i];
    uint64_t end = 0;
    if (!zvcrash_async_address_apply_offset(address, static_cast<int64_t>(length), &end))
        return ZVCRASH_EINVAL;
    dwarf_stream s{window, address, end};
    uint64_t location = initial_location;
    if (target != 0 && target < location) return ZVCRASH_ESUCCESS;
    program p{state, &initial, cie, &s, &location};
    while (s.position < s.end) {
        uint8_t op = 0;
        zvcrash_error_t err = dwarf_stream_u8(&s, &op);
        if (err != 0) return err;
        const uint32_t low = op & 0x3F;
        switch (op & 0xC0) {
            case 0x40:
                err = advance(p, low);
                break;
            case 0x80: {
                uint64_t offset = 0;
                if ((err = dwarf_stream_uleb128(&s, &offset)) != 0) return err;
                err = set_rule(state, low, DWARF_CFA_REG_RULE_OFFSET,
                               static_cast<uint64_t>(static_cast<int64_t>(offset) *
                                                     cie->data_alignment_factor));
                break;
            }
            case 0xC0:
                err = restore(state, &initial, low) ? ZVCRASH_ESUCCESS : ZVCRASH_ENOMEM;
                break;
            default:
                err = extended_op(p, op);
                break;
        }
        if (err != 0) return err;
        if (target != 0 && location > target) break;
    }
    return ZVCRASH_ESUCCESS;
}

namespace {

zvcrash_error_t cfa_value(const dwarf_cfa_state* state, const zvcrash_async_mobject* window,
                          zvcrash_task_t task, const zvcrash_async_thread_state* current,
                          uint64_t* cfa) {
    const dwarf_cfa_rule* rule = dwarf_cfa_state_get_cfa_rule(state);
    if (rule->kind == DWARF_CFA_EXPRESSION) {
        uint64_t length = 0;
        size_t size = 0;
        const zvcrash_error_t err = dwarf_read_uleb128(window, rule->value, 0, &length, &size);
        if (err != 0) return err;
        return zvcrash_async_dwarf_expression_eval(window, task, current, rule->value + size,
                                                   length, nullptr, 0, cfa);
    }
    if (rule->kind == DWARF_CFA_UNDEFINED) return ZVCRASH_EINVAL;
    uint32_t reg = 0;
    if (!thread_state_map_dwarf_reg(current, rule->reg, &reg)) return ZVCRASH_ENOTSUP;
    if (!thread_state_has_reg(current, reg)) return ZVCRASH_ENOTFOUND;
    *cfa = thread_state_get_reg(current, reg) + rule->value;
    return ZVCRASH_ESUCCESS;
}

zvcrash_error_t rule_value(const dwarf_reg_entry& e, const zvcrash_async_mobject* window,
                           zvcrash_task_t task, const zvcrash_async_thread_state* current,
                           uint64_t cfa, uint32_t target, uint64_t* out) {
    uint32_t reg = 0;
    switch (e.rule) {
        case DWARF_CFA_REG_RULE_OFFSET:
            return zvcrash_async_task_memcpy(task, cfa + e.value, 0, out, sizeof *out);
        case DWARF_CFA_REG_RULE_VAL_OFFSET:
            *out = cfa + e.value;
            return ZVCRASH_ESUCCESS;
        case DWARF_CFA_REG_RULE_REGISTER:
            if (!thread_state_map_dwarf_reg(current, e.value, &reg)) return ZVCRASH_EINVAL;
            if (!thread_state_has_reg(current, reg)) return ZVCRASH_ENOTFOUND;
            *out = thread_state_get_reg(current, reg);
            return ZVCRASH_ESUCCESS;
        case DWARF_CFA_REG_RULE_SAME_VALUE:
            if (!thread_state_has_reg(current, target)) return ZVCRASH_ENOTFOUND;
            *out = thread_state_get_reg(current, target);
            return ZVCRASH_ESUCCESS;
        case DWARF_CFA_REG_RULE_EXPRESSION:
        case DWARF_CFA_REG_RULE_VAL_EXPRESSION: {
            uint64_t length = 0, result = 0;
            size_t size = 0;
            zvcrash_error_t err = dwarf_read_uleb128(window, e.value, 0, &length, &size);
            if (err != 0) return err;
            err = zvcrash_async_dwarf_expression_eval(window, task, current, e.value + size, length,
                                                      &cfa, 1, &result);
            if (err != 0) return err;
            if (e.rule == DWARF_CFA_REG_RULE_VAL_EXPRESSION) {
                *out = result;
                return ZVCRASH_ESUCCESS;
            }
            return zvcrash_async_task_memcpy(task, result, 0, out, sizeof *out);
        }
        default:
            return ZVCRASH_EINVAL;
    }
}

}  // namespace

zvcrash_error_t dwarf_cfa_state_apply(const dwarf_cfa_state* state,
                                      const zvcrash_async_mobject* window, zvcrash_task_t task,
                                      const zvcrash_async_dwarf_cie_info* cie,
                                      const zvcrash_async_thread_state* current,
                                      zvcrash_async_thread_state* next) {
    thread_state_copy(next, current);
    thread_state_clear_volatile_regs(next);
    uint64_t cfa = 0;
    zvcrash_error_t err = cfa_value(state, window, task, current, &cfa);
    if (err != 0) return err;
    thread_state_set_reg(next, ZVCRASH_REG_SP, cfa);
    bool ip_set = false;
    const dwarf_cfa_level* l = level(state);
    for (size_t i = 0; i < l->count; ++i) {
        const dwarf_reg_entry& e = l->entries[i];
        uint32_t target = 0;
        const bool mapped = thread_state_map_dwarf_reg(current, e.reg, &target);
        if (!mapped && e.reg != cie->return_address_register) return ZVCRASH_EINVAL;
        if (!mapped) target = ZVCRASH_REG_IP;
        uint64_t value = 0;
        if ((err = rule_value(e, window, task, current, cfa, target, &value)) != 0) return err;
        thread_state_set_reg(next, target, value);
        if (e.reg == cie->return_address_register) {
            if (mapped) thread_state_set_reg(next, ZVCRASH_REG_IP, value);
            ip_set = true;
        }
    }
    if (!ip_set) {
        uint32_t ra = 0;
        if (!thread_state_map_dwarf_reg(current, cie->return_address_register, &ra) ||
            !thread_state_has_reg(current, ra)) {
            return ZVCRASH_EINVAL;
        }
        thread_state_set_reg(next, ZVCRASH_REG_IP, thread_state_get_reg(current, ra));
    }
    // After a signal frame the instruction pointer is the interrupted instruction itself.
    next->ip_is_return_address = !cie->signal_frame;
    return ZVCRASH_ESUCCESS;
}
