#include "ZVCrashReporter/Source/async/DwarfReader.h"

namespace {

constexpr uint8_t DW_EH_PE_omit = 0xFF;
constexpr uint8_t DW_EH_PE_indirect = 0x80;

bool add(uint64_t a, uint64_t b, uint64_t* out) {
    if (b > UINT64_MAX - a) return false;
    *out = a + b;
    return true;
}

// Reads the length field: 32-bit, or 64-bit after 0xFFFFFFFF. data: the address after it.
zvcrash_error_t read_length(dwarf_stream* s, uint64_t* length, bool* is64) {
    uint64_t v = 0;
    zvcrash_error_t err = dwarf_stream_uint(s, 4, &v);
    if (err != 0) return err;
    *is64 = v == 0xFFFFFFFFu;
    if (*is64 && (err = dwarf_stream_uint(s, 8, &v)) != 0) return err;
    *length = v;
    return ZVCRASH_ESUCCESS;
}

}  // namespace

zvcrash_error_t dwarf_stream_u8(dwarf_stream* s, uint8_t* out) {
    if (s->position >= s->end) return ZVCRASH_EINVAL;
    const zvcrash_error_t err = mobject_read_uint8(s->window, s->position, 0, out);
    if (err == 0) s->position++;
    return err;
}

zvcrash_error_t dwarf_stream_uint(dwarf_stream* s, size_t size, uint64_t* out) {
    if (s->position > s->end || s->end - s->position < size) return ZVCRASH_EINVAL;
    const void* p = mobject_remap_address(s->window, s->position, 0, size);
    if (p == nullptr) return ZVCRASH_EINVAL;
    uint64_t v = 0;
    const auto* b = static_cast<const uint8_t*>(p);
    for (size_t i = 0; i < size; ++i) v |= uint64_t{b[i]} << (8 * i);
    *out = v;
    s->position += size;
    return ZVCRASH_ESUCCESS;
}

zvcrash_error_t dwarf_stream_uleb128(dwarf_stream* s, uint64_t* out) {
    uint64_t v = 0;
    for (unsigned i = 0; i < 10; ++i) {
        uint8_t b = 0;
        const zvcrash_error_t err = dwarf_stream_u8(s, &b);
        if (err != 0) return err;
        v |= uint64_t{b & 0x7Fu} << (7 * i);
        if ((b & 0x80) == 0) {
            *out = v;
            return ZVCRASH_ESUCCESS;
        }
    }
    return ZVCRASH_ENOTSUP;
}

zvcrash_error_t dwarf_stream_sleb128(dwarf_stream* s, int64_t* out) {
    uint64_t v = 0;
    unsigned shift = 0;
    uint8_t b = 0x80;
    while (shift < 64) {
        const zvcrash_error_t err = dwarf_stream_u8(s, &b);
        if (err != 0) return err;
        v |= uint64_t{b & 0x7Fu} << shift;
        shift += 7;
        if ((b & 0x80) == 0) break;
    }
    if (b & 0x80) return ZVCRASH_ENOTSUP;
    if (shift < 64 && (b & 0x40)) v |= ~uint64_t{0} << shift;
    *out = static_cast<int64_t>(v);
    return ZVCRASH_ESUCCESS;
}

zvcrash_error_t dwarf_read_uleb128(const zvcrash_async_mobject* w, uint64_t address, int64_t offset,
                                   uint64_t* out, size_t* size) {
    uint64_t at = 0;
    if (!zvcrash_async_address_apply_offset(address, offset, &at)) return ZVCRASH_EINVAL;
    dwarf_stream s{w, at, w->task_address + w->length};
    const zvcrash_error_t err = dwarf_stream_uleb128(&s, out);
    if (err == 0 && size != nullptr) *size = s.position - at;
    return err;
}

zvcrash_error_t dwarf_read_sleb128(const zvcrash_async_mobject* w, uint64_t address, int64_t offset,
                                   int64_t* out, size_t* size) {
    uint64_t at = 0;
    if (!zvcrash_async_address_apply_offset(address, offset, &at)) return ZVCRASH_EINVAL;
    dwarf_stream s{w, at, w->task_address + w->length};
    const zvcrash_error_t err = dwarf_stream_sleb128(&s, out);
    if (err == 0 && size != nullptr) *size = s.position - at;
    return err;
}

zvcrash_error_t gnu_ehptr_read(const gnu_ehptr_reader* reader, dwarf_stream* s, uint8_t encoding,
                               uint64_t* out) {
    if (encoding == DW_EH_PE_omit) return ZVCRASH_ENOTFOUND;
    uint64_t base = 0;
    switch (encoding & 0x70) {
        case 0x00:
            break;
        case 0x10:
            base = s->position;
            break;
        case 0x30:
            if (reader == nullptr || !reader->has_data_base) return ZVCRASH_ENOTSUP;
            base = reader->data_base;
            break;
        default:
            return ZVCRASH_ENOTSUP;  // textrel, funcrel, aligned: no base here
    }
    uint64_t value = 0;
    zvcrash_error_t err = ZVCRASH_ESUCCESS;
    switch (encoding & 0x0F) {
        case 0x00:
        case 0x04:
        case 0x0C:
            err = dwarf_stream_uint(s, 8, &value);
            break;
        case 0x01:
            err = dwarf_stream_uleb128(s, &value);
            break;
        case 0x02:
            err = dwarf_stream_uint(s, 2, &value);
            break;
        case 0x03:
            err = dwarf_stream_uint(s, 4, &value);
            break;
        case 0x09: {
            int64_t v = 0;
            err = dwarf_stream_sleb128(s, &v);
            value = static_cast<uint64_t>(v);
            break;
        }
        case 0x0A:
            err = dwarf_stream_uint(s, 2, &value);
            value = static_cast<uint64_t>(int64_t{static_cast<int16_t>(value)});
            break;
        case 0x0B:
            err = dwarf_stream_uint(s, 4, &value);
            value = static_cast<uint64_t>(int64_t{static_cast<int32_t>(value)});
            break;
        default:
            return ZVCRASH_ENOTSUP;
    }
    if (err != 0) return err;
    uint64_t result = base + value;
    if (encoding & DW_EH_PE_indirect) {
        err = zvcrash_async_task_memcpy(s->window->task, result, 0, &result, sizeof result);
        if (err != 0) return err;
    }
    *out = result;
    return ZVCRASH_ESUCCESS;
}

zvcrash_error_t zvcrash_async_dwarf_cie_info_init(zvcrash_async_dwarf_cie_info* info,
                                                  const zvcrash_async_mobject* window,
                                                  uint64_t address) {
    zvcrash_async_memset(info, 0, sizeof *info);
    dwarf_stream s{window, address, window->task_address + window->length};
    bool is64 = false;
    zvcrash_error_t err = read_length(&s, &info->length, &is64);
    if (err != 0) return err;
    info->cie_offset = s.position;
    uint64_t end = 0;
    if (!add(s.position, info->length, &end) || end > s.end) return ZVCRASH_EINVAL;
    s.end = end;
    if ((err = dwarf_stream_uint(&s, is64 ? 8 : 4, &info->cie_id)) != 0) return err;
    if (info->cie_id != 0 && info->cie_id != (is64 ? UINT64_MAX : 0xFFFFFFFFu))
        return ZVCRASH_EINVAL;
    if ((err = dwarf_stream_u8(&s, &info->version)) != 0) return err;
    if (info->version != 1 && info->version != 3 && info->version != 4) return ZVCRASH_EINVAL;
    char augmentation[8] = {};
    size_t n = 0;
    for (uint8_t c = 1; c != 0;) {
        if ((err = dwarf_stream_u8(&s, &c)) != 0) return err;
        if (n < sizeof augmentation - 1) augmentation[n++] = static_cast<char>(c);
    }
    if (augmentation[0] != '\0' && augmentation[0] != 'z') return ZVCRASH_ENOTSUP;
    if (info->version == 4 && ((err = dwarf_stream_u8(&s, &info->address_size)) != 0 ||
                               (err = dwarf_stream_u8(&s, &info->segment_size)) != 0)) {
        return err;
    }
    if ((err = dwarf_stream_uleb128(&s, &info->code_alignment_factor)) != 0 ||
        (err = dwarf_stream_sleb128(&s, &info->data_alignment_factor)) != 0) {
        return err;
    }
    if (info->version == 1) {
        uint8_t ra = 0;
        if ((err = dwarf_stream_u8(&s, &ra)) != 0) return err;
        info->return_address_register = ra;
    } else if ((err = dwarf_stream_uleb128(&s, &info->return_address_register)) != 0) {
        return err;
    }
    if (augmentation[0] == 'z') {
        info->has_augmentation_data = true;
        uint64_t length = 0, data_end = 0;
        if ((err = dwarf_stream_uleb128(&s, &length)) != 0) return err;
        if (!add(s.position, length, &data_end) || data_end > s.end) return ZVCRASH_EINVAL;
        dwarf_stream data{window, s.position, data_end};
        for (size_t i = 1; augmentation[i] != '\0'; ++i) {
            const char letter = augmentation[i];
            if (letter == 'L') {
                if ((err = dwarf_stream_u8(&data, &info->lsda_encoding)) != 0) return err;
                info->has_lsda_encoding = true;
            } else if (letter == 'P') {
                uint8_t encoding = 0;
                if ((err = dwarf_stream_u8(&data, &encoding)) != 0 ||
                    (err = gnu_ehptr_read(nullptr, &data, encoding, &info->personality)) != 0) {
                    return err;
                }
                info->has_personality = true;
            } else if (letter == 'R') {
                if ((err = dwarf_stream_u8(&data, &info->pointer_encoding)) != 0) return err;
                info->has_pointer_encoding = true;
            } else if (letter == 'S') {
                info->signal_frame = true;
            } else {
                break;
            }
        }
        s.position = data_end;
    }
    info->initial_instructions = s.position;
    info->initial_instructions_length = s.end - s.position;
    return ZVCRASH_ESUCCESS;
}

zvcrash_error_t zvcrash_async_dwarf_fde_info_init(zvcrash_async_dwarf_fde_info* info,
                                                  zvcrash_async_dwarf_cie_info* cie,
                                                  const zvcrash_async_mobject* window,
                                                  uint64_t address) {
    zvcrash_async_memset(info, 0, sizeof *info);
    dwarf_stream s{window, address, window->task_address + window->length};
    bool is64 = false;
    zvcrash_error_t err = read_length(&s, &info->length, &is64);
    if (err != 0) return err;
    info->fde_offset = s.position;
    uint64_t end = 0;
    if (info->length == 0 || !add(s.position, info->length, &end) || end > s.end)
        return ZVCRASH_EINVAL;
    s.end = end;
    const uint64_t pointer_at = s.position;
    uint64_t pointer = 0;
    if ((err = dwarf_stream_uint(&s, is64 ? 8 : 4, &pointer)) != 0) return err;
    if (pointer == 0 || pointer > pointer_at) return ZVCRASH_EINVAL;  // 0 would be a CIE
    info->cie_address = pointer_at - pointer;
    if ((err = zvcrash_async_dwarf_cie_info_init(cie, window, info->cie_address)) != 0) return err;
    const uint8_t encoding =
        cie->has_augmentation_data && cie->has_pointer_encoding ? cie->pointer_encoding : 0;
    uint64_t range = 0;
    if ((err = gnu_ehptr_read(nullptr, &s, encoding, &info->pc_start)) != 0 ||
        (err = gnu_ehptr_read(nullptr, &s, encoding & 0x0F, &range)) != 0) {
        return err;
    }
    if (!add(info->pc_start, range, &info->pc_end)) return ZVCRASH_EINVAL;
    if (cie->has_augmentation_data) {
        uint64_t length = 0;
        if ((err = dwarf_stream_uleb128(&s, &length)) != 0) return err;
        if (length > s.end - s.position) return ZVCRASH_EINVAL;
        s.position += length;
    }
    info->instructions = s.position;
    info->instructions_length = s.end - s.position;
    return ZVCRASH_ESUCCESS;
}

zvcrash_error_t dwarf_frame_reader_find_fde(const zvcrash_async_mobject* eh_frame, uint64_t pc,
                                            zvcrash_async_dwarf_fde_info* fde,
                                            zvcrash_async_dwarf_cie_info* cie) {
    const uint64_t section_end = eh_frame->task_address + eh_frame->length;
    uint64_t at = eh_frame->task_address;
    while (at < section_end) {
        dwarf_stream s{eh_frame, at, section_end};
        uint64_t length = 0, id = 0, next = 0;
        bool is64 = false;
        zvcrash_error_t err = read_length(&s, &length, &is64);
        if (err != 0) return err;
        if (length == 0) break;  // terminator
        if (!add(s.position, length, &next) || next > section_end) return ZVCRASH_EINVAL;
        if ((err = dwarf_stream_uint(&s, is64 ? 8 : 4, &id)) != 0) return err;
        if (id != 0) {
            if ((err = zvcrash_async_dwarf_fde_info_init(fde, cie, eh_frame, at)) != 0) return err;
            if (pc >= fde->pc_start && pc < fde->pc_end) return ZVCRASH_ESUCCESS;
        }
        at = next;
    }
    return ZVCRASH_ENOTFOUND;
}

zvcrash_error_t dwarf_eh_frame_hdr_find_fde(const zvcrash_async_mobject* hdr,
                                            const zvcrash_async_mobject* eh_frame, uint64_t pc,
                                            zvcrash_async_dwarf_fde_info* fde,
                                            zvcrash_async_dwarf_cie_info* cie) {
    const uint64_t base = hdr->task_address;
    dwarf_stream s{hdr, base, base + hdr->length};
    uint8_t head[4];
    for (uint8_t& b : head) {
        if (dwarf_stream_u8(&s, &b) != 0) return ZVCRASH_ENOTSUP;
    }
    const gnu_ehptr_reader reader{true, base};
    uint64_t frame = 0, count = 0;
    if (head[0] != 1 || head[3] != 0x3B || gnu_ehptr_read(&reader, &s, head[1], &frame) != 0 ||
        gnu_ehptr_read(&reader, &s, head[2], &count) != 0 || count == 0 ||
        count > (s.end - s.position) / 8) {
        return ZVCRASH_ENOTSUP;
    }
    const uint64_t table = s.position;
    // Last entry whose initial location is at or below pc.
    uint64_t lo = 0, hi = count;
    while (lo < hi) {
        const uint64_t mid = lo + (hi - lo) / 2;
        uint32_t location = 0;
        if (mobject_read_uint32(hdr, zvcrash_async_byteorder_direct(), table,
                                static_cast<int64_t>(mid * 8), &location) != 0) {
            return ZVCRASH_EINVAL;
        }
        if (base + static_cast<uint64_t>(int64_t{static_cast<int32_t>(location)}) <= pc) {
            lo = mid + 1;
        } else {
            hi = mid;
        }
    }
    if (lo == 0) return ZVCRASH_ENOTFOUND;
    uint32_t entry = 0;
    if (mobject_read_uint32(hdr, zvcrash_async_byteorder_direct(), table,
                            static_cast<int64_t>((lo - 1) * 8 + 4), &entry) != 0) {
        return ZVCRASH_EINVAL;
    }
    const uint64_t address = base + static_cast<uint64_t>(int64_t{static_cast<int32_t>(entry)});
    const zvcrash_error_t err = zvcrash_async_dwarf_fde_info_init(fde, cie, eh_frame, address);
    if (err != 0) return err;
    return pc >= fde->pc_start && pc < fde->pc_end ? ZVCRASH_ESUCCESS : ZVCRASH_ENOTFOUND;
}
