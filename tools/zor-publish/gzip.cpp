// Deflate through zlib, on every build: gzip -9 and a zip's raw entries
// (archive_bytes.h).

#include <zlib.h>

#include <stdexcept>

#include "archive_bytes.h"

namespace zor::publish {

Bytes zlibDeflated(std::span<const std::uint8_t> data, int level, int windowBits, int memoryLevel) {
    z_stream z{};
    if (deflateInit2(&z, level, Z_DEFLATED, windowBits, memoryLevel, Z_DEFAULT_STRATEGY) != Z_OK)
        throw std::runtime_error("zlib cannot start");
    Bytes out(deflateBound(&z, static_cast<uLong>(data.size())) + 32);
    z.next_in = const_cast<Bytef*>(data.data());
    z.avail_in = static_cast<uInt>(data.size());
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    const int result = deflate(&z, Z_FINISH);
    out.resize(z.total_out);
    deflateEnd(&z);
    if (result != Z_STREAM_END) throw std::runtime_error("zlib cannot compress");
    return out;
}

// 15 + 16: a gzip wrapper (its time left at zero) around deflate data.
Bytes gzipped(std::span<const std::uint8_t> data) { return zlibDeflated(data, 9, 15 + 16, 9); }

}  // namespace zor::publish
