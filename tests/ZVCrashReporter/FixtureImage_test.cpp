// An image built in memory (sized and zero-size function symbols in .dynsym, one executable
// segment), opened the way the crash-time reader opens a loaded library: naming addresses, and
// the first step of a walk from a pc that lies in no code.
#include "ZVCrashReporter/Source/async/ElfImage.h"
#include "ZVCrashReporter/Source/async/FrameCursor.h"
#include "ZVCrashReporter/Source/async/SymbolLookup.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <elf.h>

namespace {

struct FixtureSymbol {
    const char* name;
    uint64_t offset;  // from the image's start
    uint64_t size;
};

// One read-write-execute PT_LOAD over the whole buffer and a PT_DYNAMIC naming .dynsym, .dynstr
// and a SysV hash whose chain count is the symbol count.
class ElfFixture {
  public:
    static constexpr size_t kSize = 0x20000;

    explicit ElfFixture(const std::vector<FixtureSymbol>& symbols) {
        base_ = static_cast<uint8_t*>(std::aligned_alloc(4096, kSize));
        std::memset(base_, 0, kSize);
        constexpr uint64_t kPhdrs = 0x40, kDynamic = 0x100, kSymtab = 0x200, kStrtab = 0x1000,
                           kHash = 0x1800;
        Elf64_Ehdr header{};
        std::memcpy(header.e_ident, ELFMAG, SELFMAG);
        header.e_ident[EI_CLASS] = ELFCLASS64;
        header.e_phoff = kPhdrs;
        header.e_phentsize = sizeof(Elf64_Phdr);
        header.e_phnum = 2;
        std::memcpy(base_, &header, sizeof header);
        Elf64_Phdr load{};
        load.p_type = PT_LOAD;
        load.p_flags = PF_R | PF_X;
        load.p_memsz = kSize;
        Elf64_Phdr dynamic{};
        dynamic.p_type = PT_DYNAMIC;
        dynamic.p_vaddr = kDynamic;
        dynamic.p_memsz = 5 * sizeof(Elf64_Dyn);
        std::memcpy(base_ + kPhdrs, &load, sizeof load);
        std::memcpy(base_ + kPhdrs + sizeof load, &dynamic, sizeof dynamic);

        std::string names(1, '\0');
        std::vector<Elf64_Sym> table(1);  // entry 0 is the undefined symbol
        for (const FixtureSymbol& s : symbols) {
            Elf64_Sym sym{};
            sym.st_name = static_cast<uint32_t>(names.size());
            sym.st_info = ELF64_ST_INFO(STB_GLOBAL, STT_FUNC);
            sym.st_shndx = 1;
            sym.st_value = s.offset;
            sym.st_size = s.size;
            table.push_back(sym);
            names += s.name;
            names.push_back('\0');
        }
        std::memcpy(base_ + kSymtab, table.data(), table.size() * sizeof(Elf64_Sym));
        std::memcpy(base_ + kStrtab, names.data(), names.size());
        const uint32_t hash[2] = {1, static_cast<uint32_t>(table.size())};
        std::memcpy(base_ + kHash, hash, sizeof hash);
        const Elf64_Dyn entries[] = {{DT_SYMTAB, {kSymtab}},
                                     {DT_STRTAB, {kStrtab}},
                                     {DT_STRSZ, {names.size()}},
                                     {DT_HASH, {kHash}},
                                     {DT_NULL, {0}}};
        std::memcpy(base_ + kDynamic, entries, sizeof entries);
    }
    ~ElfFixture() { std::free(base_); }
    ElfFixture(const ElfFixture&) = delete;
    ElfFixture& operator=(const ElfFixture&) = delete;

    uint64_t address(uint64_t offset) const { return reinterpret_cast<uint64_t>(base_) + offset; }

  private:
    uint8_t* base_;
};

TEST(FixtureImageTest, AZeroSizeSymbolNamesOnlyNearbyAddressesWithNothingInBetween) {
    const ElfFixture fixture({{"sized_function", 0x2000, 0x100},
                              {"assembly_label", 0x4000, 0},
                              {"later_sized", 0x4800, 0x10},
                              {"lone_label", 0x8000, 0}});
    elf_image image;
    ASSERT_EQ(elf_image_open_at(&image, zvcrash_async_task_self(), "fixture", fixture.address(0)),
              ZVCRASH_ESUCCESS);
    ASSERT_GT(image.dynsym_count, 4u);
    struct Case {
        uint64_t offset;
        const char* name;  // nullptr: no symbol, the frame keeps image + offset
        uint64_t start;
    };
    const Case cases[] = {
        {0x2000, "sized_function", 0x2000},
        {0x20ff, "sized_function", 0x2000},
        {0x2100, nullptr, 0},  // past its size, no zero-size symbol below it
        {0x4000, "assembly_label", 0x4000},
        {0x4010, "assembly_label", 0x4000},
        {0x4900, nullptr, 0},  // later_sized starts between the label and the address
        {0x8000 + ZVCRASH_ZERO_SIZE_SYMBOL_REACH, "lone_label", 0x8000},
        {0x8000 + ZVCRASH_ZERO_SIZE_SYMBOL_REACH + 1, nullptr, 0},  // too far above it
        {0x1ff00, nullptr, 0},                                      // far past every symbol
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.offset);
        std::string name;
        uint64_t start = 0;
        struct Out {
            std::string* name;
            uint64_t* start;
        } out{&name, &start};
        const zvcrash_error_t error = find_symbol_for_address(
            &image, ZVCRASH_SYMBOLICATE_SYMBOL_TABLE, fixture.address(c.offset),
            [](uint64_t at, const char* found, void* context) {
                auto* o = static_cast<Out*>(context);
                *o->name = found;
                *o->start = at;
            },
            &out);
        if (c.name == nullptr) {
            EXPECT_EQ(error, ZVCRASH_ENOTFOUND) << name;
        } else {
            ASSERT_EQ(error, ZVCRASH_ESUCCESS);
            EXPECT_EQ(name, c.name);
            EXPECT_EQ(start, fixture.address(c.start));
        }
    }
}

TEST(FixtureImageTest, ACallIntoNoCodeStepsToTheReturnAddressOnlyWhenItLiesInCode) {
    const ElfFixture fixture({{"caller", 0x2000, 0x100}});
    elf_image image;
    ASSERT_EQ(elf_image_open_at(&image, zvcrash_async_task_self(), "fixture", fixture.address(0)),
              ZVCRASH_ESUCCESS);
    const elf_image* images[] = {&image};
    const zvcrash_image_set set{images, 1};
    // The stack as a call through a bad pointer leaves it: the return address on top.
    uint64_t stack[2] = {fixture.address(0x2010), 0};
    zvcrash_async_thread_state state;
    thread_state_init(&state);
    thread_state_set_reg(&state, ZVCRASH_REG_IP, 0x8);
    thread_state_set_reg(&state, ZVCRASH_REG_SP, reinterpret_cast<uint64_t>(stack));
    thread_state_set_reg(&state, ZVCRASH_REG_FP, 0x1234);
    thread_state_set_reg(&state, ZVCRASH_REG_RBX, 0x5678);

    zvcrash_async_thread_state next;
    ASSERT_EQ(read_bad_call_frame(zvcrash_async_task_self(), &set, &state, &next),
              FRAME_WALK_ESUCCESS);
    EXPECT_EQ(thread_state_get_reg(&next, ZVCRASH_REG_IP), fixture.address(0x2010));
    EXPECT_EQ(thread_state_get_reg(&next, ZVCRASH_REG_SP), reinterpret_cast<uint64_t>(stack) + 8);
    // No instruction of the callee ran: the caller's registers are all still there.
    EXPECT_EQ(thread_state_get_reg(&next, ZVCRASH_REG_FP), 0x1234u);
    EXPECT_EQ(thread_state_get_reg(&next, ZVCRASH_REG_RBX), 0x5678u);
    EXPECT_TRUE(next.ip_is_return_address);

    // Through the cursor: frame 0 at 0x8, frame 1 the caller.
    stack_frame_cursor cursor;
    stack_frame_cursor_init(&cursor, zvcrash_async_task_self(), &state, &set);
    uint64_t pc = 0;
    ASSERT_EQ(stack_frame_cursor_next(&cursor), FRAME_WALK_ESUCCESS);
    ASSERT_EQ(stack_frame_cursor_next(&cursor), FRAME_WALK_ESUCCESS);
    ASSERT_EQ(stack_frame_cursor_get_reg(&cursor, ZVCRASH_REG_IP, &pc), FRAME_WALK_ESUCCESS);
    EXPECT_EQ(pc, fixture.address(0x2010));
    stack_frame_cursor_free(&cursor);

    // A pc inside code, or a top of stack that is no code address: the other readers decide.
    thread_state_set_reg(&state, ZVCRASH_REG_IP, fixture.address(0x2020));
    EXPECT_EQ(read_bad_call_frame(zvcrash_async_task_self(), &set, &state, &next),
              FRAME_WALK_ENOTSUP);
    thread_state_set_reg(&state, ZVCRASH_REG_IP, 0x8);
    stack[0] = 0xdeadbeef;
    EXPECT_EQ(read_bad_call_frame(zvcrash_async_task_self(), &set, &state, &next),
              FRAME_WALK_ENOTSUP);
    // An unreadable stack pointer.
    thread_state_set_reg(&state, ZVCRASH_REG_SP, 0x10);
    EXPECT_EQ(read_bad_call_frame(zvcrash_async_task_self(), &set, &state, &next),
              FRAME_WALK_EBADFRAME);
}

}  // namespace
