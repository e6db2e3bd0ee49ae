#include "ZVCrashReporter/Source/ZVLoadedImages.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

#include <elf.h>
#include <fcntl.h>
#include <link.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

class WriterLock {
  public:
    explicit WriterLock(loaded_image_list* list) : flag_(list->body->writer_lock) {
        while (flag_.test_and_set(std::memory_order_acquire)) {
        }
    }
    ~WriterLock() { flag_.clear(std::memory_order_release); }

  private:
    std::atomic_flag& flag_;
};

void append_node(loaded_image_list* list, loaded_image* image) {
    loaded_image_list_body* body = list->body;
    WriterLock lock(list);
    image_list_node* node = body->free_list;
    if (node != nullptr) {
        body->free_list = node->next.load();
        node->image = image;
        node->previous = nullptr;
        node->next.store(nullptr);
    } else {
        node = new image_list_node{image, nullptr, {nullptr}};
    }
    // The node is filled before the exchange below makes it reachable: that exchange (sequentially
    // consistent, so a release) publishes the fields to a reader that finds the node.
    if (body->tail == nullptr) {
        body->tail = node;
        image_list_node* expected = nullptr;
        body->head.compare_exchange_strong(expected, node);
    } else {
        image_list_node* expected = nullptr;
        body->tail->next.compare_exchange_strong(expected, node);
        node->previous = body->tail;
        body->tail = node;
    }
}

void remove_node(loaded_image_list* list, image_list_node* node) {
    loaded_image_list_body* body = list->body;
    WriterLock lock(list);
    image_list_node* walk = body->head.load();
    while (walk != nullptr && walk != node) walk = walk->next.load();
    if (walk == nullptr) return;
    image_list_node* next = node->next.load();
    if (body->head.load() == node) {
        image_list_node* expected = node;
        body->head.compare_exchange_strong(expected, next);
    } else {
        image_list_node* expected = node;
        node->previous->next.compare_exchange_strong(expected, next);
    }
    if (next != nullptr) {
        next->previous = node->previous;
    } else {
        body->tail = node->previous;
    }
    node->image->retired_next = body->retired;
    body->retired = node->image;
    if (body->readers.load() > 0) {
        node->previous = nullptr;
        image_list_node* old = body->free_list;
        node->next.store(old);
        if (old != nullptr) old->previous = node;
        body->free_list = node;
    } else {
        delete node;
    }
}

std::string executablePath() {
    char buf[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    return n > 0 ? std::string(buf, static_cast<size_t>(n)) : std::string();
}

// The address the dynamic linker stored in the executable's DT_DEBUG entry, or 0.
uint64_t debugRecord(uint64_t bias, uint64_t phdrs, uint32_t phnum) {
    const auto* ph = reinterpret_cast<const Elf64_Phdr*>(phdrs);
    for (uint32_t i = 0; i < phnum; ++i) {
        if (ph[i].p_type != PT_DYNAMIC) continue;
        const auto* dyn = reinterpret_cast<const Elf64_Dyn*>(bias + ph[i].p_vaddr);
        for (; dyn->d_tag != DT_NULL; ++dyn) {
            if (dyn->d_tag == DT_DEBUG) return dyn->d_un.d_ptr;
        }
    }
    return 0;
}

}  // namespace

void loaded_image_list_init(loaded_image_list* list, zvcrash_task_t task) {
    list->task = task;
    list->body = new loaded_image_list_body{};
    list->body->writer_lock.clear();
    list->body->head.store(nullptr);
    list->body->tail = nullptr;
    list->body->readers.store(0);
    list->body->free_list = nullptr;
}

bool loaded_image_list_append(loaded_image_list* list, const char* path, uint64_t bias,
                              uint64_t phdr_address, uint32_t phnum) {
    auto* image = new loaded_image{};
    if (elf_image_open(&image->image, list->task, path, bias, phdr_address, phnum) != 0) {
        delete image;
        return false;
    }
    append_node(list, image);
    return true;
}

void loaded_image_list_append_image(loaded_image_list* list, const elf_image& opened) {
    append_node(list, new loaded_image{opened, nullptr});
}

void loaded_image_list_remove(loaded_image_list* list, uint64_t header_address) {
    loaded_image_list_set_reading(list, true);
    loaded_image_list_cursor cursor{nullptr};
    for (loaded_image* image = loaded_image_list_next(list, &cursor); image != nullptr;
         image = loaded_image_list_next(list, &cursor)) {
        if (image->image.header_address == header_address) {
            remove_node(list, cursor.node);
            break;
        }
    }
    loaded_image_list_set_reading(list, false);
}

namespace {

void free_image(loaded_image* image) {
    if (const zvcrash_static_symbols* table = image->image.static_symbols) {
        delete[] table->entries;
        delete[] table->names;
        delete table;
    }
    delete image;
}

}  // namespace

// Nobody reads the list any more: listed and removed images go with it.
void loaded_image_list_free(loaded_image_list* list) {
    for (image_list_node* node = list->body->head.load(); node != nullptr;) {
        image_list_node* next = node->next.load();
        free_image(node->image);
        delete node;
        node = next;
    }
    for (loaded_image* image = list->body->retired; image != nullptr;) {
        loaded_image* next = image->retired_next;
        free_image(image);
        image = next;
    }
    for (image_list_node* node = list->body->free_list; node != nullptr;) {
        image_list_node* next = node->next.load();
        delete node;
        node = next;
    }
    delete list->body;
    list->body = nullptr;
}

void loaded_image_list_add_loaded_images(loaded_image_list* list) {
    struct Found {
        std::string path;
        uint64_t bias;
        uint64_t phdrs;
        uint32_t phnum;
    };
    std::vector<Found> found;
    dl_iterate_phdr(
        [](dl_phdr_info* info, size_t, void* data) {
            auto* all = static_cast<std::vector<Found>*>(data);
            all->push_back({info->dlpi_name != nullptr ? info->dlpi_name : "", info->dlpi_addr,
                            reinterpret_cast<uint64_t>(info->dlpi_phdr), info->dlpi_phnum});
            return 0;
        },
        &found);
    for (size_t i = 0; i < found.size(); ++i) {
        Found& f = found[i];
        const bool executable = i == 0 && f.path.empty();
        if (executable) f.path = executablePath();
        elf_image image;
        if (elf_image_open(&image, list->task, f.path.c_str(), f.bias, f.phdrs, f.phnum) != 0)
            continue;
        if (executable) {
            image.static_symbols = zvcrash_load_static_symbols(f.path, f.bias);
            zvcrash_set_link_map_record(debugRecord(f.bias, f.phdrs, f.phnum));
        }
        loaded_image_list_append_image(list, image);
    }
}

zvcrash_image_pool zvcrash_image_pool_make(size_t capacity) {
    return zvcrash_image_pool{new elf_image[capacity](), capacity};
}

void zvcrash_image_pool_free(zvcrash_image_pool* pool) {
    delete[] pool->slots;
    *pool = zvcrash_image_pool{nullptr, 0};
}

namespace {

// A read-only private mapping of a whole file; empty when it cannot be mapped.
class MappedFile {
  public:
    explicit MappedFile(const std::filesystem::path& file) {
        const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) return;
        struct stat info {};
        if (::fstat(fd, &info) == 0 && info.st_size > 0) {
            void* at =
                ::mmap(nullptr, static_cast<size_t>(info.st_size), PROT_READ, MAP_PRIVATE, fd, 0);
            if (at != MAP_FAILED) {
                data_ = static_cast<const char*>(at);
                size_ = static_cast<size_t>(info.st_size);
            }
        }
        ::close(fd);
    }
    ~MappedFile() {
        if (data_ != nullptr) ::munmap(const_cast<char*>(data_), size_);
    }
    MappedFile(const MappedFile&) = delete;
    MappedFile& operator=(const MappedFile&) = delete;
    std::string_view bytes() const {
        return data_ != nullptr ? std::string_view(data_, size_) : "";
    }

  private:
    const char* data_ = nullptr;
    size_t size_ = 0;
};

}  // namespace

const zvcrash_static_symbols* zvcrash_load_static_symbols(const std::filesystem::path& file,
                                                          uint64_t bias) {
    // Mapped, not read: an executable with debug information runs to hundreds of megabytes, and
    // only its section headers and symbol table are touched here.
    const MappedFile mapped(file);
    const std::string_view bytes = mapped.bytes();
    const auto fits = [&](uint64_t offset, uint64_t size) {
        return offset <= bytes.size() && size <= bytes.size() - offset;
    };
    Elf64_Ehdr header;
    if (!fits(0, sizeof header)) return nullptr;
    std::memcpy(&header, bytes.data(), sizeof header);
    if (std::memcmp(header.e_ident, ELFMAG, SELFMAG) != 0 ||
        header.e_ident[EI_CLASS] != ELFCLASS64 || header.e_shentsize != sizeof(Elf64_Shdr) ||
        !fits(header.e_shoff, uint64_t{header.e_shnum} * sizeof(Elf64_Shdr))) {
        return nullptr;
    }
    std::vector<Elf64_Shdr> sections(header.e_shnum);
    std::memcpy(sections.data(), bytes.data() + header.e_shoff,
                sections.size() * sizeof(Elf64_Shdr));
    for (const Elf64_Shdr& symtab : sections) {
        if (symtab.sh_type != SHT_SYMTAB || symtab.sh_link >= sections.size()) continue;
        const Elf64_Shdr& strtab = sections[symtab.sh_link];
        if (!fits(symtab.sh_offset, symtab.sh_size) || !fits(strtab.sh_offset, strtab.sh_size)) {
            return nullptr;
        }
        std::vector<zvcrash_static_symbol> entries;
        std::string names;
        for (uint64_t at = 0; at + sizeof(Elf64_Sym) <= symtab.sh_size; at += sizeof(Elf64_Sym)) {
            Elf64_Sym sym;
            std::memcpy(&sym, bytes.data() + symtab.sh_offset + at, sizeof sym);
            if (ELF64_ST_TYPE(sym.st_info) != STT_FUNC || sym.st_size == 0 ||
                sym.st_shndx == SHN_UNDEF || sym.st_name >= strtab.sh_size) {
                continue;
            }
            const char* name = bytes.data() + strtab.sh_offset + sym.st_name;
            const size_t length = strnlen(name, strtab.sh_size - sym.st_name);
            entries.push_back(
                {sym.st_value + bias, sym.st_size, static_cast<uint32_t>(names.size())});
            names.append(name, length);
            names.push_back('\0');
        }
        std::stable_sort(entries.begin(), entries.end(),
                         [](const auto& a, const auto& b) { return a.address < b.address; });
        auto* table = new zvcrash_static_symbols{};
        auto* stored = new zvcrash_static_symbol[entries.size() + 1];
        std::copy(entries.begin(), entries.end(), stored);
        auto* text = new char[names.size() + 1];
        std::memcpy(text, names.data(), names.size());
        text[names.size()] = '\0';
        *table = {stored, entries.size(), text, names.size()};
        return table;
    }
    return nullptr;
}
