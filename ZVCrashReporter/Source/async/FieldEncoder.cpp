#include "ZVCrashReporter/Source/async/FieldEncoder.h"

#include <cstdlib>
#include <cstring>

namespace {

enum wire_type : uint32_t { WIRE_VARINT = 0, WIRE_64BIT = 1, WIRE_LENGTH = 2, WIRE_32BIT = 5 };

uint32_t wire_type_of(uint32_t type) {
    switch (type) {
        case ZVCRASH_FIELD_SFIXED64:
        case ZVCRASH_FIELD_FIXED64:
        case ZVCRASH_FIELD_DOUBLE:
            return WIRE_64BIT;
        case ZVCRASH_FIELD_SFIXED32:
        case ZVCRASH_FIELD_FIXED32:
        case ZVCRASH_FIELD_FLOAT:
            return WIRE_32BIT;
        case ZVCRASH_FIELD_STRING:
        case ZVCRASH_FIELD_BYTES:
        case ZVCRASH_FIELD_MESSAGE:
            return WIRE_LENGTH;
        default:
            return WIRE_VARINT;
    }
}

size_t put_fixed(uint8_t* buf, uint64_t value, size_t width) {
    for (size_t i = 0; i < width; ++i) buf[i] = static_cast<uint8_t>(value >> (8 * i));
    return width;
}

template <typename T>
T load(const void* value) {
    T v;
    memcpy(&v, value, sizeof v);
    return v;
}

// The scalar payload of a varint or fixed-width field.
size_t encode_scalar(uint8_t* buf, uint32_t type, const void* value) {
    switch (type) {
        case ZVCRASH_FIELD_INT32:
        case ZVCRASH_FIELD_ENUM:
            // Negative values are sign-extended to 64 bits and take 10 bytes.
            return zvcrash_encode_varint(buf, static_cast<uint64_t>(int64_t{load<int32_t>(value)}));
        case ZVCRASH_FIELD_SINT32:
            return zvcrash_encode_varint(buf, zvcrash_zigzag64(load<int32_t>(value)));
        case ZVCRASH_FIELD_INT64:
            return zvcrash_encode_varint(buf, static_cast<uint64_t>(load<int64_t>(value)));
        case ZVCRASH_FIELD_SINT64:
            return zvcrash_encode_varint(buf, zvcrash_zigzag64(load<int64_t>(value)));
        case ZVCRASH_FIELD_UINT32:
            return zvcrash_encode_varint(buf, load<uint32_t>(value));
        case ZVCRASH_FIELD_UINT64:
            return zvcrash_encode_varint(buf, load<uint64_t>(value));
        case ZVCRASH_FIELD_BOOL:
            buf[0] = load<bool>(value) ? 1 : 0;
            return 1;
        case ZVCRASH_FIELD_SFIXED32:
        case ZVCRASH_FIELD_FIXED32:
        case ZVCRASH_FIELD_FLOAT:
            return put_fixed(buf, load<uint32_t>(value), 4);
        case ZVCRASH_FIELD_SFIXED64:
        case ZVCRASH_FIELD_FIXED64:
        case ZVCRASH_FIELD_DOUBLE:
            return put_fixed(buf, load<uint64_t>(value), 8);
        default:
            return 0;
    }
}

}  // namespace

size_t zvcrash_encode_varint(uint8_t* buf, uint64_t value) {
    size_t n = 0;
    while (value >= 0x80) {
        buf[n++] = static_cast<uint8_t>(value | 0x80);
        value >>= 7;
    }
    buf[n++] = static_cast<uint8_t>(value);
    return n;
}

uint64_t zvcrash_zigzag64(int64_t value) {
    return (static_cast<uint64_t>(value) << 1) ^ static_cast<uint64_t>(value >> 63);
}

size_t zvcrash_field_encode(crash_output_file* out, uint32_t field, uint32_t type,
                            const void* value) {
    if (type > ZVCRASH_FIELD_MESSAGE) abort();
    uint8_t buf[32];
    size_t n = zvcrash_encode_varint(buf, (uint64_t{field} << 3) | wire_type_of(type));
    const void* payload = nullptr;
    size_t payload_length = 0;
    if (type == ZVCRASH_FIELD_STRING) {
        payload = load<const char*>(value);
        payload_length = payload != nullptr ? strlen(static_cast<const char*>(payload)) : 0;
        n += zvcrash_encode_varint(buf + n, payload_length);
    } else if (type == ZVCRASH_FIELD_BYTES) {
        const zvcrash_bytes bytes = load<zvcrash_bytes>(value);
        payload = bytes.data;
        payload_length = bytes.length;
        n += zvcrash_encode_varint(buf + n, payload_length);
    } else if (type == ZVCRASH_FIELD_MESSAGE) {
        n += zvcrash_encode_varint(buf + n, load<size_t>(value));
    } else {
        n += encode_scalar(buf + n, type, value);
    }
    if (out != nullptr) {
        crash_output_file_write(out, buf, n);
        if (payload_length > 0) crash_output_file_write(out, payload, payload_length);
    }
    return n + payload_length;
}
