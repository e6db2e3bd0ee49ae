#include "ZVCrashReporter/Source/async/DwarfExpression.h"

#include "ZVCrashReporter/Source/async/DwarfReader.h"

namespace {

constexpr size_t kStack = 100;

struct eval_stack {
    uint64_t words[kStack];
    size_t depth = 0;
    bool push(uint64_t v) {
        if (depth == kStack) return false;
        words[depth++] = v;
        return true;
    }
};

zvcrash_error_t register_value(const zvcrash_async_thread_state* state, uint64_t dwarf,
                               uint64_t* out) {
    uint32_t reg = 0;
    if (dwarf == 16) {
        reg = ZVCRASH_REG_IP;
    } else if (!thread_state_map_dwarf_reg(state, dwarf, &reg)) {
        return ZVCRASH_ENOTSUP;
    }
    if (!thread_state_has_reg(state, reg)) return ZVCRASH_ENOTFOUND;
    *out = thread_state_get_reg(state, reg);
    return ZVCRASH_ESUCCESS;
}

zvcrash_error_t binary_op(eval_stack* st, uint8_t op) {
    if (st->depth < 2) return ZVCRASH_EINTERNAL;
    const uint64_t b = st->words[--st->depth];
    const uint64_t a = st->words[st->depth - 1];
    uint64_t r = 0;
    switch (op) {
        case 0x1A:
            r = a & b;
            break;
        case 0x1B:
        case 0x1D:
            if (b == 0) return ZVCRASH_EINVAL;
            r = op == 0x1B ? a / b : a % b;
            break;
        case 0x1C:
            r = a - b;
            break;
        case 0x1E:
            r = a * b;
            break;
        case 0x21:
            r = a | b;
            break;
        case 0x22:
            r = a + b;
            break;
        case 0x24:
            r = a << (b & 63);
            break;
        case 0x25:
            r = a >> (b & 63);
            break;
        case 0x26:
            r = static_cast<uint64_t>(static_cast<int64_t>(a) >> (b & 63));
            break;
        case 0x27:
            r = a ^ b;
            break;
        case 0x29:
            r = a == b;
            break;
        case 0x2A:
            r = a >= b;
            break;
        case 0x2B:
            r = a > b;
            break;
        case 0x2C:
            r = a <= b;
            break;
        case 0x2D:
            r = a < b;
            break;
        case 0x2E:
            r = a != b;
            break;
        default:
            return ZVCRASH_ENOTSUP;
    }
    st->words[st->depth - 1] = r;
    return ZVCRASH_ESUCCESS;
}

zvcrash_error_t stack_op(eval_stack* st, dwarf_stream* s, uint8_t op) {
    size_t& d = st->depth;
    uint64_t* w = st->words;
    switch (op) {
        case 0x12:
            return d < 1                ? ZVCRASH_EINVAL
                   : st->push(w[d - 1]) ? ZVCRASH_ESUCCESS
                                        : ZVCRASH_EINTERNAL;
        case 0x13:
            if (d < 1) return ZVCRASH_EINVAL;
            --d;
            return ZVCRASH_ESUCCESS;
        case 0x14:
            if (d < 2) return ZVCRASH_EINVAL;
            if (d < kStack) st->push(w[d - 2]);
            return ZVCRASH_ESUCCESS;
        case 0x15: {
            uint8_t index = 0;
            const zvcrash_error_t err = dwarf_stream_u8(s, &index);
            if (err != 0) return err;
            if (index >= d) return ZVCRASH_EINVAL;
            if (d < kStack) st->push(w[d - 1 - index]);
            return ZVCRASH_ESUCCESS;
        }
        case 0x16: {
            if (d < 2) return ZVCRASH_EINVAL;
            const uint64_t t = w[d - 1];
            w[d - 1] = w[d - 2];
            w[d - 2] = t;
            return ZVCRASH_ESUCCESS;
        }
        case 0x17: {
            if (d < 3) return ZVCRASH_EINVAL;
            const uint64_t top = w[d - 1];
            w[d - 1] = w[d - 2];
            w[d - 2] = w[d - 3];
            w[d - 3] = top;
            return ZVCRASH_ESUCCESS;
        }
        default:
            return ZVCRASH_ENOTSUP;
    }
}

zvcrash_error_t deref(eval_stack* st, zvcrash_task_t task, uint64_t size, bool pops_space) {
    if (pops_space) {
        if (st->depth < 2) return ZVCRASH_EINVAL;
        uint64_t address = st->words[--st->depth];
        st->words[st->depth - 1] = address;
    }
    if (st->depth < 1) return ZVCRASH_EINTERNAL;
    if (size != 1 && size != 2 && size != 4 && size != 8) return ZVCRASH_EINVAL;
    uint64_t value = 0;
    const zvcrash_error_t err =
        zvcrash_async_task_memcpy(task, st->words[st->depth - 1], 0, &value, size);
    if (err != 0) return err;
    st->words[st->depth - 1] = value;
    return ZVCRASH_ESUCCESS;
}

zvcrash_error_t branch(dwarf_stream* s, uint64_t start, bool taken) {
    uint64_t raw = 0;
    const zvcrash_error_t err = dwarf_stream_uint(s, 2, &raw);
    if (err != 0 || !taken) return err;
    const int64_t delta = static_cast<int16_t>(raw);
    uint64_t target = 0;
    if (!zvcrash_async_address_apply_offset(s->position, delta, &target) || target < start ||
        target > s->end) {
        return ZVCRASH_EINVAL;
    }
    s->position = target;
    return ZVCRASH_ESUCCESS;
}

zvcrash_error_t constant(eval_stack* st, dwarf_stream* s, uint8_t op) {
    uint64_t v = 0;
    zvcrash_error_t err = ZVCRASH_ESUCCESS;
    if (op == 0x10) {
        err = dwarf_stream_uleb128(s, &v);
    } else if (op == 0x11) {
        int64_t sv = 0;
        err = dwarf_stream_sleb128(s, &sv);
        v = static_cast<uint64_t>(sv);
    } else {
        const size_t size = size_t{1} << ((op - 0x08) / 2);  // 0x08/09: 1, 0x0A/0B: 2 ...
        err = dwarf_stream_uint(s, size, &v);
        if (err == 0 && (op & 1) && size < 8) {  // signed forms
            const unsigned shift = static_cast<unsigned>(64 - 8 * size);
            v = static_cast<uint64_t>(static_cast<int64_t>(v << shift) >> shift);
        }
    }
    if (err != 0) return err;
    return st->push(v) ? ZVCRASH_ESUCCESS : ZVCRASH_EINTERNAL;
}

}  // namespace

zvcrash_error_t zvcrash_async_dwarf_expression_eval(const zvcrash_async_mobject* window,
                                                    zvcrash_task_t task,
                                                    const zvcrash_async_thread_state* state,
                                                    uint64_t address, uint64_t length,
                                                    const uint64_t* initial, size_t initial_count,
                                                    uint64_t* result) {
    eval_stack st;
    if (initial_count > kStack) return ZVCRASH_EINTERNAL;
    for (size_t i = 0; i < initial_count; ++i) st.push(initial[i]);
    uint64_t end = 0;
    if (!zvcrash_async_address_apply_offset(address, static_cast<int64_t>(length), &end)) {
        return ZVCRASH_EINVAL;
    }
    dwarf_stream s{window, address, end};
    for (size_t steps = 0; s.position < s.end; ++steps) {
        if (steps > 100000) return ZVCRASH_EINVAL;  // branches that loop forever
        uint8_t op = 0;
        zvcrash_error_t err = dwarf_stream_u8(&s, &op);
        if (err != 0) return err;
        if (op >= 0x30 && op <= 0x4F) {  // DW_OP_lit0..31
            if (!st.push(op - 0x30u)) return ZVCRASH_EINTERNAL;
        } else if ((op >= 0x70 && op <= 0x8F) || op == 0x92) {  // DW_OP_breg0..31, bregx
            uint64_t reg = op - 0x70u;
            int64_t offset = 0;
            uint64_t value = 0;
            if ((op == 0x92 && (err = dwarf_stream_uleb128(&s, &reg)) != 0) ||
                (err = dwarf_stream_sleb128(&s, &offset)) != 0 ||
                (err = register_value(state, reg, &value)) != 0) {
                return err;
            }
            if (!st.push(value + static_cast<uint64_t>(offset))) return ZVCRASH_EINTERNAL;
        } else if (op >= 0x08 && op <= 0x11) {
            err = constant(&st, &s, op);
        } else if (op >= 0x12 && op <= 0x17) {
            err = stack_op(&st, &s, op);
        } else if (op == 0x06 || op == 0x94) {
            uint8_t size = 8;
            if (op == 0x94 && (err = dwarf_stream_u8(&s, &size)) != 0) return err;
            err = deref(&st, task, size, false);
        } else if (op == 0x18 || op == 0x95) {
            uint8_t size = 8;
            if (op == 0x95 && (err = dwarf_stream_u8(&s, &size)) != 0) return err;
            err = deref(&st, task, size, true);
        } else if (op == 0x19 || op == 0x1F || op == 0x20) {  // abs, neg, not
            if (st.depth < 1) return ZVCRASH_EINTERNAL;
            uint64_t& top = st.words[st.depth - 1];
            const auto signed_top = static_cast<int64_t>(top);
            top = op == 0x20 ? ~top : op == 0x1F ? 0 - top : signed_top < 0 ? 0 - top : top;
        } else if (op == 0x23) {  // plus_uconst
            uint64_t v = 0;
            if ((err = dwarf_stream_uleb128(&s, &v)) != 0) return err;
            if (st.depth < 1) return ZVCRASH_EINTERNAL;
            st.words[st.depth - 1] += v;
        } else if ((op >= 0x1A && op <= 0x27) || (op >= 0x29 && op <= 0x2E)) {
            err = binary_op(&st, op);
        } else if (op == 0x2F) {
            err = branch(&s, address, true);
        } else if (op == 0x28) {
            if (st.depth < 1) return ZVCRASH_EINTERNAL;
            err = branch(&s, address, st.words[--st.depth] != 0);
        } else if (op != 0x96) {
            return ZVCRASH_ENOTSUP;
        }
        if (err != 0) return err;
    }
    if (st.depth == 0) return ZVCRASH_EINVAL;
    *result = st.words[st.depth - 1];
    return ZVCRASH_ESUCCESS;
}
