#include "ZVCrashReporter/Source/async/ElfImage.h"

#include <elf.h>

namespace {

template <typename T>
zvcrash_error_t read(const elf_image* image, uint64_t address, T* out) {
    return zvcrash_async_task_memcpy(image->task, address, 0, out, sizeof(T));
}

// The entries of a table in memory that may be invalid, read a batch at a time: one read in place
// of one per entry. Where a batch cannot be read whole (it reaches unreadable memory), the entry
// is read alone, so every entry that can be read is.
template <typename T>
class TableReader {
  public:
    TableReader(const elf_image* image, uint64_t at) : image_(image), at_(at) {}

    bool get(uint64_t i, T* out) {
        if (!batched_ || i < first_ || i - first_ >= kBatch) {
            first_ = i;
            batched_ = zvcrash_async_task_memcpy(image_->task, at_ + i * sizeof(T), 0, batch_,
                                                 sizeof batch_) == 0;
            if (!batched_) return read(image_, at_ + i * sizeof(T), out) == 0;
        }
        *out = batch_[i - first_];
        return true;
    }

  private:
    static constexpr uint64_t kBatch = 16;
    const elf_image* image_;
    uint64_t at_;
    uint64_t first_ = 0;
    bool batched_ = false;
    T batch_[kBatch];
};

// Copies a NUL-terminated string from memory that may be invalid; cut to fit. Read a piece at a
// time, each within one page, so a piece is readable whole or not at all, as its bytes are.
void copy_path(elf_image* image, const char* path) {
    constexpr uint64_t kPage = 4096;
    size_t n = 0;
    if (path != nullptr) {
        uint64_t at = reinterpret_cast<uint64_t>(path);
        while (n + 1 < ZVCRASH_PATH_MAX) {
            uint64_t piece = kPage - at % kPage;
            if (piece > ZVCRASH_PATH_MAX - 1 - n) piece = ZVCRASH_PATH_MAX - 1 - n;
            if (zvcrash_async_task_memcpy(image->task, at, 0, image->path + n, piece) != 0) break;
            const size_t before = n;
            while (n < before + piece && image->path[n] != '\0') ++n;
            if (n < before + piece) break;  // the end of the string
            at += piece;
        }
    }
    image->path[n] = '\0';
}

// Addresses in the dynamic section are usually relocated by the loader; some are not.
uint64_t dynamic_address(const elf_image* image, uint64_t value) {
    if (value >= image->start && value < image->end) return value;
    return value + image->bias;
}

void read_build_id(elf_image* image, uint64_t at, uint64_t size) {
    uint64_t offset = 0;
    for (int guard = 0; guard < 64 && offset + sizeof(Elf64_Nhdr) <= size; ++guard) {
        Elf64_Nhdr note;
        if (read(image, at + offset, &note) != 0) return;
        const uint64_t name_size = (uint64_t{note.n_namesz} + 3) & ~uint64_t{3};
        const uint64_t desc_size = (uint64_t{note.n_descsz} + 3) & ~uint64_t{3};
        const uint64_t name_at = at + offset + sizeof note;
        char name[4] = {};
        if (note.n_type == NT_GNU_BUILD_ID && note.n_namesz == 4 &&
            zvcrash_async_task_memcpy(image->task, name_at, 0, name, 4) == 0 &&
            zvcrash_async_strncmp(name, "GNU", 4) == 0 && note.n_descsz <= ZVCRASH_BUILD_ID_MAX &&
            zvcrash_async_task_memcpy(image->task, name_at + name_size, 0, image->build_id,
                                      note.n_descsz) == 0) {
            image->build_id_length = note.n_descsz;
            return;
        }
        offset += sizeof note + name_size + desc_size;
    }
}

// Number of .dynsym entries from DT_GNU_HASH: one past the highest chained symbol. The words are
// read a block at a time (one copy per block, not per word), and no real image has more buckets
// than symbols, so a damaged header costs a bounded number of reads.
bool gnu_hash_count(const elf_image* image, uint64_t at, uint64_t* count) {
    constexpr uint32_t kBlock = 256;
    uint32_t header[4];  // nbuckets, symoffset, bloom size, bloom shift
    if (read(image, at, &header) != 0 || header[0] > ZVCRASH_MAX_DYNSYM || header[2] > (1u << 24)) {
        return false;
    }
    const uint64_t buckets = at + 16 + uint64_t{header[2]} * 8;
    uint32_t last = 0;
    uint32_t words[kBlock];
    for (uint32_t i = 0; i < header[0]; i += kBlock) {
        const uint32_t n = header[0] - i < kBlock ? header[0] - i : kBlock;
        if (zvcrash_async_task_memcpy(image->task, buckets + 4ull * i, 0, words, 4ull * n) != 0) {
            return false;
        }
        for (uint32_t k = 0; k < n; ++k) {
            if (words[k] > last) last = words[k];
        }
    }
    if (last == 0 || last < header[1]) {
        *count = header[1];
        return true;
    }
    // The chain may end just before unreadable memory: a block that cannot be read whole is
    // read a word at a time.
    const uint64_t chains = buckets + 4ull * header[0];
    for (uint64_t steps = 0; steps < ZVCRASH_MAX_HASH_CHAIN; steps += kBlock) {
        const uint64_t from = chains + 4ull * (uint64_t{last} - header[1] + steps);
        const bool whole =
            zvcrash_async_task_memcpy(image->task, from, 0, words, sizeof words) == 0;
        for (uint32_t k = 0; k < kBlock; ++k) {
            if (!whole && read(image, from + 4ull * k, &words[k]) != 0) return false;
            if (words[k] & 1) {
                *count = uint64_t{last} + steps + k + 1;
                return true;
            }
        }
    }
    return false;  // a chain without end
}

void read_dynamic(elf_image* image, uint64_t at, uint64_t size) {
    uint64_t hash = 0, gnu_hash = 0;
    const uint64_t count = size / sizeof(Elf64_Dyn);
    TableReader<Elf64_Dyn> entries(image, at);
    for (uint64_t i = 0; i < count && i < ZVCRASH_MAX_DYNAMIC; ++i) {
        Elf64_Dyn d;
        if (!entries.get(i, &d) || d.d_tag == DT_NULL) break;
        switch (d.d_tag) {
            case DT_SYMTAB:
                image->dynsym = dynamic_address(image, d.d_un.d_ptr);
                break;
            case DT_STRTAB:
                image->dynstr = dynamic_address(image, d.d_un.d_ptr);
                break;
            case DT_STRSZ:
                image->dynstr_size = d.d_un.d_val;
                break;
            case DT_HASH:
                hash = dynamic_address(image, d.d_un.d_ptr);
                break;
            case DT_GNU_HASH:
                gnu_hash = dynamic_address(image, d.d_un.d_ptr);
                break;
            default:
                break;
        }
    }
    uint64_t symbols = 0;
    uint32_t nchain = 0;
    if (gnu_hash != 0 && gnu_hash_count(image, gnu_hash, &symbols)) {
        image->dynsym_count = symbols;
    } else if (hash != 0 && read(image, hash + 4, &nchain) == 0) {
        image->dynsym_count = nchain;
    }
    if (image->dynsym_count > ZVCRASH_MAX_DYNSYM) image->dynsym_count = ZVCRASH_MAX_DYNSYM;
    if (image->dynsym == 0 || image->dynstr == 0) image->dynsym_count = 0;
}

// .eh_frame_hdr: version 1, then the encoded address of .eh_frame.
void read_eh_frame_hdr(elf_image* image, uint64_t at, uint64_t size) {
    uint8_t head[4];
    int32_t rel = 0;
    if (size < 8 || read(image, at, &head) != 0 || head[0] != 1) return;
    // Only the usual pc-relative 4-byte form (DW_EH_PE_pcrel | DW_EH_PE_sdata4) is accepted here.
    if (head[1] != 0x1B || read(image, at + 4, &rel) != 0) return;
    image->eh_frame_hdr = at;
    image->eh_frame_hdr_size = size;
    image->eh_frame = at + 4 + static_cast<uint64_t>(int64_t{rel});
}

}  // namespace

zvcrash_error_t elf_image_open(elf_image* image, zvcrash_task_t task, const char* path,
                               uint64_t bias, uint64_t phdr_address, uint32_t phnum) {
    zvcrash_async_memset(image, 0, sizeof *image);
    image->task = task;
    image->bias = bias;
    copy_path(image, path);
    if (phnum == 0 || phnum > ZVCRASH_MAX_PHDRS) return ZVCRASH_EINVAL;
    Elf64_Phdr eh = {}, dyn = {}, notes[8] = {};
    size_t note_count = 0;
    bool loaded = false;
    TableReader<Elf64_Phdr> headers(image, phdr_address);
    for (uint32_t i = 0; i < phnum; ++i) {
        Elf64_Phdr ph;
        if (!headers.get(i, &ph)) return ZVCRASH_EINVAL;
        if (ph.p_type == PT_LOAD) {
            uint64_t lo = 0, hi = 0;
            if (!zvcrash_async_address_apply_offset(bias, static_cast<int64_t>(ph.p_vaddr), &lo) ||
                ph.p_memsz > UINT64_MAX - lo) {
                return ZVCRASH_EINVAL;
            }
            hi = lo + ph.p_memsz;
            if (!loaded) image->header_address = lo, image->start = lo, image->end = hi;
            if (lo < image->start) image->start = lo;
            if (hi > image->end) image->end = hi;
            loaded = true;
            if ((ph.p_flags & PF_X) != 0 && ph.p_memsz > 0) {
                if (image->code_end == 0 || lo < image->code_start) image->code_start = lo;
                if (hi > image->code_end) image->code_end = hi;
            }
        } else if (ph.p_type == PT_GNU_EH_FRAME) {
            eh = ph;
        } else if (ph.p_type == PT_DYNAMIC) {
            dyn = ph;
        } else if (ph.p_type == PT_NOTE && note_count < 8) {
            notes[note_count++] = ph;
        }
    }
    if (!loaded || image->header_address == 0) return ZVCRASH_EINVAL;
    for (size_t i = 0; i < note_count && image->build_id_length == 0; ++i) {
        read_build_id(image, bias + notes[i].p_vaddr, notes[i].p_memsz);
    }
    if (eh.p_type == PT_GNU_EH_FRAME) read_eh_frame_hdr(image, bias + eh.p_vaddr, eh.p_memsz);
    if (image->eh_frame != 0) {
        // Bounded by the PT_LOAD segment that holds it.
        for (uint32_t i = 0; i < phnum; ++i) {
            Elf64_Phdr ph;
            if (!headers.get(i, &ph)) break;
            const uint64_t lo = bias + ph.p_vaddr;
            if (ph.p_type == PT_LOAD && image->eh_frame >= lo &&
                image->eh_frame - lo < ph.p_memsz) {
                image->eh_frame_end = lo + ph.p_memsz;
            }
        }
        if (image->eh_frame_end == 0) image->eh_frame = 0;
    }
    if (dyn.p_type == PT_DYNAMIC) read_dynamic(image, bias + dyn.p_vaddr, dyn.p_memsz);
    return ZVCRASH_ESUCCESS;
}

zvcrash_error_t elf_image_open_at(elf_image* image, zvcrash_task_t task, const char* path,
                                  uint64_t bias) {
    Elf64_Ehdr header;
    if (zvcrash_async_task_memcpy(task, bias, 0, &header, sizeof header) != 0)
        return ZVCRASH_EINVAL;
    if (zvcrash_async_strncmp(reinterpret_cast<const char*>(header.e_ident), ELFMAG, SELFMAG) !=
            0 ||
        header.e_ident[EI_CLASS] != ELFCLASS64 || header.e_phentsize != sizeof(Elf64_Phdr)) {
        return ZVCRASH_EINVAL;
    }
    uint64_t phdrs = 0;
    if (!zvcrash_async_address_apply_offset(bias, static_cast<int64_t>(header.e_phoff), &phdrs)) {
        return ZVCRASH_EINVAL;
    }
    return elf_image_open(image, task, path, bias, phdrs, header.e_phnum);
}

bool elf_image_contains_address(const elf_image* image, uint64_t address) {
    return address >= image->start && address < image->end;
}

bool elf_image_contains_code_address(const elf_image* image, uint64_t address) {
    return address >= image->code_start && address < image->code_end;
}

namespace {

struct symbol_choice {
    bool found = false;
    bool sized = false;
    uint64_t value = 0;
    const char* static_name = nullptr;  // from the static table
    uint32_t dyn_name = 0;              // offset in .dynstr
    // The highest start at or below the address of any symbol seen, sized or not: a zero-size
    // symbol below it ends where that one begins.
    bool any_start = false;
    uint64_t nearest_start = 0;
};

void note_start(symbol_choice* best, uint64_t value) {
    if (!best->any_start || value > best->nearest_start) {
        best->any_start = true;
        best->nearest_start = value;
    }
}

// Last static entry at or below address; it names the address only within its size.
void search_static(const zvcrash_static_symbols* table, uint64_t address, symbol_choice* best) {
    size_t lo = 0, hi = table->count;
    while (lo < hi) {
        const size_t mid = lo + (hi - lo) / 2;
        if (table->entries[mid].address <= address) {
            lo = mid + 1;
        } else {
            hi = mid;
        }
    }
    if (lo > 0) note_start(best, table->entries[lo - 1].address);
    // Entries may overlap: look back at the ones that start at or below.
    for (size_t i = lo; i > 0 && lo - i < 8; --i) {
        const zvcrash_static_symbol& s = table->entries[i - 1];
        if (address - s.address < s.size && s.name_offset < table->names_size) {
            best->found = best->sized = true;
            best->value = s.address;
            best->static_name = table->names + s.name_offset;
            return;
        }
    }
}

void consider(const elf_image* image, const Elf64_Sym& sym, uint64_t address, symbol_choice* best) {
    const unsigned type = ELF64_ST_TYPE(sym.st_info);
    if (sym.st_shndx == SHN_UNDEF || sym.st_name == 0 ||
        (type != STT_FUNC && type != STT_GNU_IFUNC && type != STT_NOTYPE)) {
        return;
    }
    const uint64_t value = image->bias + sym.st_value;
    if (value > address || value < image->start) return;
    note_start(best, value);
    if (sym.st_size > 0) {
        if (address - value >= sym.st_size) return;
        if (!best->sized || value > best->value) *best = {true, true, value, nullptr, sym.st_name};
    } else if (!best->sized && (!best->found || value > best->value)) {
        *best = {true, false, value, nullptr, sym.st_name};
    }
}

void search_dynsym(const elf_image* image, uint64_t address, symbol_choice* best) {
    Elf64_Sym batch[64];
    for (uint64_t i = 0; i < image->dynsym_count; i += 64) {
        const uint64_t n = image->dynsym_count - i < 64 ? image->dynsym_count - i : 64;
        const uint64_t at = image->dynsym + i * sizeof(Elf64_Sym);
        if (zvcrash_async_task_memcpy(image->task, at, 0, batch, n * sizeof(Elf64_Sym)) == 0) {
            for (uint64_t k = 0; k < n; ++k) consider(image, batch[k], address, best);
            continue;
        }
        for (uint64_t k = 0; k < n; ++k) {  // the batch crosses an unreadable page
            if (read(image, at + k * sizeof(Elf64_Sym), &batch[0]) != 0) return;
            consider(image, batch[0], address, best);
        }
    }
}

// Copies the .dynstr name at offset into buf (cut to fit); 5 when it has no NUL inside .dynstr.
zvcrash_error_t dynstr_name(const elf_image* image, uint32_t offset, char* buf, size_t size) {
    if (offset >= image->dynstr_size) return ZVCRASH_EINVAL;
    size_t n = 0;
    for (uint64_t at = offset; at < image->dynstr_size; ++at) {
        char c = 0;
        if (zvcrash_async_task_memcpy(image->task, image->dynstr, static_cast<int64_t>(at), &c,
                                      1) != 0) {
            return ZVCRASH_EINVAL;
        }
        if (c == '\0') {
            buf[n] = '\0';
            return ZVCRASH_ESUCCESS;
        }
        if (n + 1 < size) buf[n++] = c;
    }
    return ZVCRASH_EINVAL;
}

}  // namespace

zvcrash_error_t elf_image_find_symbol_by_address(const elf_image* image, uint64_t address,
                                                 symbol_found_callback callback, void* context) {
    symbol_choice best;
    if (image->static_symbols != nullptr) search_static(image->static_symbols, address, &best);
    if (!best.sized) search_dynsym(image, address, &best);
    if (best.found && !best.sized &&
        (best.value < best.nearest_start ||
         address - best.value > ZVCRASH_ZERO_SIZE_SYMBOL_REACH)) {
        best.found = false;
    }
    if (!best.found) return ZVCRASH_ENOTFOUND;
    if (best.static_name != nullptr) {
        callback(best.value, best.static_name, context);
        return ZVCRASH_ESUCCESS;
    }
    char name[256];
    const zvcrash_error_t err = dynstr_name(image, best.dyn_name, name, sizeof name);
    if (err != ZVCRASH_ESUCCESS) return err;
    callback(best.value, name, context);
    return ZVCRASH_ESUCCESS;
}
