#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTCompression.h"

#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTLogger.h"

#include <zlib.h>

namespace {

const char* initError(int code) {
    switch (code) {
        case Z_VERSION_ERROR:
            return "Version of zlib.h & libz library do not match!";
        case Z_MEM_ERROR:
            return "Not enough memory.";
        case Z_STREAM_ERROR:
            return "Invalid parameter passed in to function.";
        default:
            return "Unknown error!";
    }
}

const char* deflateError(int code) {
    switch (code) {
        case Z_STREAM_ERROR:
            return "Inconsistent stream state.";
        case Z_BUF_ERROR:
            return "No progress is possible.";
        default:
            return "Unknown error!";
    }
}

}  // namespace

std::optional<std::vector<uint8_t>> ZVTCompression::compressData(const std::vector<uint8_t>& data) {
    if (data.empty()) return std::nullopt;
    z_stream stream{};
    int rc = deflateInit2(&stream, Z_DEFAULT_COMPRESSION, Z_DEFLATED, 31, 8, Z_DEFAULT_STRATEGY);
    if (rc != Z_OK) {
        ZVTLogError(kZVTLogTag, "Compression failed with error: ", initError(rc));
        return std::nullopt;
    }
    std::vector<uint8_t> out(static_cast<size_t>(static_cast<double>(data.size()) * 1.01 + 12));
    stream.next_in = const_cast<Bytef*>(data.data());
    stream.avail_in = static_cast<uInt>(data.size());
    do {
        stream.next_out = out.data() + stream.total_out;
        stream.avail_out = static_cast<uInt>(out.size() - stream.total_out);
        rc = deflate(&stream, Z_FINISH);
    } while (rc == Z_OK);
    if (rc != Z_STREAM_END) {
        ZVTLogError(kZVTLogTag, "Deflate failed with error: ", deflateError(rc));
        deflateEnd(&stream);
        return std::nullopt;
    }
    out.resize(stream.total_out);
    deflateEnd(&stream);
    return out;
}
