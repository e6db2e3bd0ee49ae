#include "tests/ZVCrashReporter/UnwindSupport.h"

#include "ZVCrashReporter/Source/async/DwarfCfaState.h"
#include "ZVCrashReporter/Source/async/DwarfExpression.h"
#include "ZVCrashReporter/Source/async/DwarfReader.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

// An .eh_frame section assembled in memory: one CIE ("zR", pc-relative sdata4 pointers, code
// alignment 1, data alignment -8, return address column 16) and FDEs after it.
class EhFrame {
  public:
    EhFrame() { bytes_.reserve(4096); }

    // CIE with the given initial instructions; returns its offset.
    size_t cie(const Bytes& instructions, const char* augmentation = "zR") {
        const size_t at = begin();
        put32(0);  // CIE id
        bytes_.push_back(1);
        for (const char* a = augmentation; *a; ++a) bytes_.push_back(static_cast<uint8_t>(*a));
        bytes_.push_back(0);
        append({0x01, 0x78, 0x10});  // code 1, data -8, return address 16
        if (augmentation[0] == 'z') append({0x01, 0x1B});
        append(instructions);
        finish(at);
        return at;
    }
    // FDE covering [pc, pc + range) with the given instructions; returns its offset.
    size_t fde(size_t cie, uint64_t pc, uint32_t range, const Bytes& instructions,
               int64_t ciePointerShift = 0) {
        const size_t at = begin();
        put32(static_cast<uint32_t>(static_cast<int64_t>(bytes_.size() - cie) + ciePointerShift));
        put32(static_cast<uint32_t>(pc - address(bytes_.size())));  // pc-relative
        put32(range);
        bytes_.push_back(0);  // augmentation data length
        append(instructions);
        finish(at);
        return at;
    }
    uint64_t address(size_t offset) const {
        return reinterpret_cast<uint64_t>(bytes_.data()) + offset;
    }
    zvcrash_async_mobject window() {
        bytes_.insert(bytes_.end(), {0, 0, 0, 0});  // terminator
        zvcrash_async_mobject w{};
        EXPECT_EQ(mobject_init(&w, zvcrash_async_task_self(), address(0), bytes_.size(), true), 0);
        return w;
    }

  private:
    size_t begin() {
        const size_t at = bytes_.size();
        put32(0);  // length, filled in by finish
        return at;
    }
    void finish(size_t at) {
        while ((bytes_.size() - at) % 4 != 0) bytes_.push_back(0);  // DW_CFA_nop
        const uint32_t length = static_cast<uint32_t>(bytes_.size() - at - 4);
        std::memcpy(&bytes_[at], &length, 4);
    }
    void put32(uint32_t v) {
        for (int i = 0; i < 4; ++i) bytes_.push_back(static_cast<uint8_t>(v >> (8 * i)));
    }
    void append(const Bytes& b) { bytes_.insert(bytes_.end(), b.begin(), b.end()); }
    Bytes bytes_;
};

// Code addresses near the section, so pc-relative 4-byte pointers reach them.
uint64_t codeFor(const EhFrame& eh) {
    return eh.address(0) + 0x10000;
}
const Bytes kCieRules = {0x0C, 0x07, 0x08, 0x90, 0x01};  // def_cfa rsp+8; rip at cfa-8

struct ProgramResult {
    zvcrash_error_t error = ZVCRASH_ESUCCESS;
    dwarf_cfa_state state;
};

ProgramResult run(const Bytes& program, uint64_t targetOffset) {
    EhFrame eh;
    const uint64_t kPc = codeFor(eh);
    const uint64_t target = kPc + targetOffset;
    const size_t cie = eh.cie(kCieRules);
    const size_t fde = eh.fde(cie, kPc, 0x100, program);
    zvcrash_async_mobject w = eh.window();
    zvcrash_async_dwarf_fde_info f;
    zvcrash_async_dwarf_cie_info c;
    ProgramResult r;
    EXPECT_EQ(zvcrash_async_dwarf_fde_info_init(&f, &c, &w, eh.address(fde)), 0);
    dwarf_cfa_state_init(&r.state);
    EXPECT_EQ(dwarf_cfa_state_eval_program(&r.state, &w, target, f.pc_start, &c,
                                           c.initial_instructions, c.initial_instructions_length),
              0);
    r.error = dwarf_cfa_state_eval_program(&r.state, &w, target, f.pc_start, &c, f.instructions,
                                           f.instructions_length);
    return r;
}

TEST(DwarfCfiTest, RecordsAndPointerEncodings) {
    EhFrame eh;
    const uint64_t kPc = codeFor(eh);
    const size_t cie = eh.cie(kCieRules);
    const size_t fde = eh.fde(cie, kPc, 0x40, {});
    const size_t badCie = eh.fde(cie, kPc + 0x100, 0x40, {}, 1 << 20);
    zvcrash_async_mobject w = eh.window();
    zvcrash_async_dwarf_fde_info f;
    zvcrash_async_dwarf_cie_info c;
    ASSERT_EQ(zvcrash_async_dwarf_fde_info_init(&f, &c, &w, eh.address(fde)), 0);
    EXPECT_EQ(f.pc_start, kPc);  // pc-relative to the field's own address
    EXPECT_EQ(f.pc_end, kPc + 0x40);
    EXPECT_EQ(c.return_address_register, 16u);
    EXPECT_EQ(c.data_alignment_factor, -8);
    EXPECT_TRUE(c.has_pointer_encoding);
    EXPECT_EQ(zvcrash_async_dwarf_fde_info_init(&f, &c, &w, eh.address(badCie)), ZVCRASH_EINVAL);
    EXPECT_EQ(dwarf_frame_reader_find_fde(&w, kPc + 0x3F, &f, &c), 0);
    EXPECT_EQ(dwarf_frame_reader_find_fde(&w, kPc + 0x40, &f, &c),
              ZVCRASH_EINVAL);  // meets the bad one

    const uint8_t leb[] = {0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x01, 0x7F};
    zvcrash_async_mobject lw{};
    ASSERT_EQ(mobject_init(&lw, zvcrash_async_task_self(), reinterpret_cast<uint64_t>(leb),
                           sizeof leb, true),
              0);
    uint64_t u = 0;
    int64_t sv = 0;
    EXPECT_EQ(dwarf_read_uleb128(&lw, lw.task_address, 0, &u, nullptr), ZVCRASH_ENOTSUP);
    EXPECT_EQ(dwarf_read_sleb128(&lw, lw.task_address, 11, &sv, nullptr), 0);
    EXPECT_EQ(sv, -1);
    EXPECT_EQ(dwarf_read_uleb128(&lw, lw.task_address, 12, &u, nullptr), ZVCRASH_EINVAL);
}

TEST(DwarfCfiTest, ProgramEdgeCases) {
    Bytes remember(6, 0x0A);
    Bytes manyRules;
    for (uint8_t r = 0; r < 101; ++r)
        manyRules.insert(manyRules.end(), {0x05, static_cast<uint8_t>(r + 17), 0x01});
    struct Case {
        const char* name;
        Bytes program;
        uint64_t target;
        zvcrash_error_t error;
        uint64_t cfaOffset;  // checked when the program succeeds
    };
    const Case cases[] = {
        {"advance past the target keeps the rules before it",
         {0x0E, 0x10, 0x44, 0x0E, 0x20},
         2,
         ZVCRASH_ESUCCESS,
         16},
        {"advance up to the target applies",
         {0x0E, 0x10, 0x44, 0x0E, 0x20},
         4,
         ZVCRASH_ESUCCESS,
         32},
        {"remember six times", remember, 0, ZVCRASH_ENOMEM, 0},
        {"restore at level 0", {0x0B}, 0, ZVCRASH_EINVAL, 0},
        {"remember then restore", {0x0A, 0x0E, 0x30, 0x0B}, 0, ZVCRASH_ESUCCESS, 8},
        {"101 register rules", manyRules, 0, ZVCRASH_ENOMEM, 0},
        {"args_size changes nothing", {0x2E, 0x10, 0x0E, 0x18}, 0, ZVCRASH_ESUCCESS, 24},
        {"vendor opcode", {0x2D}, 0, ZVCRASH_ENOTSUP, 0},
        {"operand past the program",
         {0x0E, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80},
         0,
         ZVCRASH_EINVAL,
         0},
        {"def_cfa_offset after a cfa expression",
         {0x0F, 0x01, 0x30, 0x0E, 0x08},
         0,
         ZVCRASH_EINVAL,
         0},
    };
    for (const Case& c : cases) {
        ProgramResult r = run(c.program, c.target);
        EXPECT_EQ(r.error, c.error) << c.name;
        if (c.error == ZVCRASH_ESUCCESS) {
            EXPECT_EQ(dwarf_cfa_state_get_cfa_rule(&r.state)->value, c.cfaOffset) << c.name;
        }
    }
}

TEST(DwarfCfiTest, ApplyingTheRulesGivesTheCaller) {
    uint64_t stack[4] = {0x401234, 0x77, 0, 0};  // return address at rsp, saved rbx above
    EhFrame eh;
    const uint64_t kPc = codeFor(eh);
    const size_t cie = eh.cie(kCieRules);
    // rbx saved at cfa-16... here: def_cfa rsp+16, rbx (3) at cfa-8, rip at cfa-16 via expression.
    const size_t fde =
        eh.fde(cie, kPc, 0x100, {0x0E, 0x10, 0x83, 0x01, 0x10, 0x10, 0x02, 0x77, 0x00});
    zvcrash_async_mobject w = eh.window();
    zvcrash_async_dwarf_fde_info f;
    zvcrash_async_dwarf_cie_info c;
    ASSERT_EQ(zvcrash_async_dwarf_fde_info_init(&f, &c, &w, eh.address(fde)), 0);
    dwarf_cfa_state state;
    dwarf_cfa_state_init(&state);
    ASSERT_EQ(dwarf_cfa_state_eval_program(&state, &w, kPc + 8, f.pc_start, &c,
                                           c.initial_instructions, c.initial_instructions_length),
              0);
    ASSERT_EQ(dwarf_cfa_state_eval_program(&state, &w, kPc + 8, f.pc_start, &c, f.instructions,
                                           f.instructions_length),
              0);
    zvcrash_async_thread_state current, next;
    thread_state_init(&current);
    thread_state_set_reg(&current, ZVCRASH_REG_IP, kPc + 8);
    thread_state_set_reg(&current, ZVCRASH_REG_SP, reinterpret_cast<uint64_t>(&stack[0]));
    thread_state_set_reg(&current, ZVCRASH_REG_RAX, 5);
    ASSERT_EQ(dwarf_cfa_state_apply(&state, &w, zvcrash_async_task_self(), &c, &current, &next), 0);
    // rip: the expression "breg7 0" with the cfa pushed first leaves rsp on top: *(rsp) = stack[0].
    EXPECT_EQ(next.regs[ZVCRASH_REG_IP], 0x401234u);
    EXPECT_EQ(next.regs[ZVCRASH_REG_SP], reinterpret_cast<uint64_t>(&stack[2]));
    EXPECT_EQ(next.regs[ZVCRASH_REG_RBX], 0x77u);
    EXPECT_FALSE(thread_state_has_reg(&next, ZVCRASH_REG_RAX));
    EXPECT_TRUE(next.ip_is_return_address);
}

TEST(DwarfCfiTest, Expressions) {
    zvcrash_async_thread_state regs;
    thread_state_init(&regs);
    thread_state_set_reg(&regs, ZVCRASH_REG_IP, 0x1000);
    thread_state_set_reg(&regs, ZVCRASH_REG_SP, 0x2000);
    struct Case {
        const char* name;
        Bytes expression;
        zvcrash_error_t error;
        uint64_t value;
    };
    const Case cases[] = {
        {"lit5 lit3 minus", {0x35, 0x33, 0x1C}, ZVCRASH_ESUCCESS, 2},
        {"div by zero", {0x35, 0x30, 0x1B}, ZVCRASH_EINVAL, 0},
        {"breg16 reads rip", {0x80, 0x04}, ZVCRASH_ESUCCESS, 0x1004},
        {"plt rule",
         {0x77, 0x08, 0x80, 0x00, 0x3F, 0x1A, 0x3B, 0x2A, 0x33, 0x24, 0x22},
         ZVCRASH_ESUCCESS,
         0x2008},
        {"bra out of the expression", {0x31, 0x28, 0x10, 0x00}, ZVCRASH_EINVAL, 0},
        {"skip back to the start", {0x31, 0x2F, 0x00, 0x00}, ZVCRASH_ESUCCESS, 1},
        {"unmapped register", {0x92, 0x40, 0x00}, ZVCRASH_ENOTSUP, 0},
        {"drop on empty", {0x13}, ZVCRASH_EINVAL, 0},
        {"plus on one value", {0x31, 0x22}, ZVCRASH_EINTERNAL, 0},
        {"empty", {}, ZVCRASH_EINVAL, 0},
        {"addr is not supported", {0x03, 0, 0, 0, 0, 0, 0, 0, 0}, ZVCRASH_ENOTSUP, 0},
        {"const2s", {0x0B, 0xFE, 0xFF}, ZVCRASH_ESUCCESS, static_cast<uint64_t>(-2)},
    };
    for (const Case& c : cases) {
        Bytes bytes = c.expression;
        bytes.push_back(0);  // keep the window non-empty
        zvcrash_async_mobject w{};
        ASSERT_EQ(mobject_init(&w, zvcrash_async_task_self(),
                               reinterpret_cast<uint64_t>(bytes.data()), bytes.size(), true),
                  0);
        uint64_t result = 0;
        EXPECT_EQ(zvcrash_async_dwarf_expression_eval(&w, zvcrash_async_task_self(), &regs,
                                                      w.task_address, c.expression.size(), nullptr,
                                                      0, &result),
                  c.error)
            << c.name;
        if (c.error == ZVCRASH_ESUCCESS) {
            EXPECT_EQ(result, c.value) << c.name;
        }
    }
}

// For every FDE of libc and of this test program, the .eh_frame_hdr table and the linear walk
// find the same record.
TEST(DwarfCfiTest, TableSearchAgreesWithTheLinearWalk) {
    UnwindImages images;
    images.collect();
    const uint64_t own = reinterpret_cast<uint64_t>(&run);
    const uint64_t libc = reinterpret_cast<uint64_t>(&memcpy);
    for (uint64_t inside : {own, libc}) {
        const elf_image* image = zvcrash_image_set_find(&images.set, inside);
        ASSERT_NE(image, nullptr);
        ASSERT_NE(image->eh_frame_hdr, 0u);
        zvcrash_async_mobject eh{}, hdr{};
        ASSERT_EQ(mobject_init(&eh, zvcrash_async_task_self(), image->eh_frame,
                               image->eh_frame_end - image->eh_frame, false),
                  0);
        ASSERT_EQ(mobject_init(&hdr, zvcrash_async_task_self(), image->eh_frame_hdr,
                               image->eh_frame_hdr_size, true),
                  0);
        size_t fdes = 0;
        uint64_t at = eh.task_address;
        const uint64_t end = eh.task_address + eh.length;
        while (at + 8 <= end) {
            uint32_t length = 0, id = 0;
            std::memcpy(&length, reinterpret_cast<const void*>(at), 4);
            if (length == 0 || length == 0xFFFFFFFFu) break;
            std::memcpy(&id, reinterpret_cast<const void*>(at + 4), 4);
            if (id != 0) {
                zvcrash_async_dwarf_fde_info linear, table;
                zvcrash_async_dwarf_cie_info c;
                ASSERT_EQ(zvcrash_async_dwarf_fde_info_init(&linear, &c, &eh, at), 0);
                if (linear.pc_end > linear.pc_start) {
                    ASSERT_EQ(dwarf_eh_frame_hdr_find_fde(&hdr, &eh, linear.pc_start, &table, &c),
                              0);
                    EXPECT_EQ(table.fde_offset, linear.fde_offset);
                    if (fdes % 64 == 0) {
                        ASSERT_EQ(dwarf_frame_reader_find_fde(&eh, linear.pc_end - 1, &table, &c),
                                  0);
                        EXPECT_EQ(table.fde_offset, linear.fde_offset);
                    }
                    ++fdes;
                }
            }
            at += 4 + uint64_t{length};
        }
        EXPECT_GT(fdes, 10u);
    }
}

}  // namespace
