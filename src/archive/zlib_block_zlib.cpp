// zlib blocks through zlib itself: compress2 at level 9 and uncompress into a
// buffer of exactly the stated size.

#include <zlib.h>

#include <new>

#include "archive/zlib_block.h"

namespace zor {

std::optional<std::vector<std::uint8_t>> inflateBlock(std::span<const std::uint8_t> block, std::int64_t expected,
                                                      std::string& why) {
    std::vector<std::uint8_t> out;
    try {
        out.resize(static_cast<std::size_t>(expected));
    } catch (const std::bad_alloc&) {
        why = "out of memory for " + std::to_string(expected) + " bytes";
        return std::nullopt;
    }
    uLongf outSize = static_cast<uLongf>(expected);
    const int rc = uncompress(out.data(), &outSize, block.data(), static_cast<uLong>(block.size()));
    if (rc == Z_BUF_ERROR && outSize == static_cast<uLongf>(expected)) {
        why = "data inflates to more than the stated " + std::to_string(expected) + " bytes";
        return std::nullopt;
    }
    if (rc != Z_OK) {
        why = std::string("compressed data is corrupt (") + zError(rc) + ")";
        return std::nullopt;
    }
    if (outSize != static_cast<uLongf>(expected)) {
        why = "data inflates to " + std::to_string(outSize) + " bytes, not the stated " + std::to_string(expected);
        return std::nullopt;
    }
    return out;
}

std::optional<std::vector<std::uint8_t>> deflateBlock(std::span<const std::uint8_t> data, std::size_t capacity) {
    std::vector<std::uint8_t> out(capacity);
    uLongf outSize = static_cast<uLongf>(capacity);
    if (compress2(out.data(), &outSize, data.data(), static_cast<uLong>(data.size()), Z_BEST_COMPRESSION) != Z_OK)
        return std::nullopt;
    out.resize(outSize);
    return out;
}

std::size_t deflateBound(std::size_t size) { return compressBound(static_cast<uLong>(size)); }

const char* zlibBlockCodec() { return "zlib"; }

}  // namespace zor
