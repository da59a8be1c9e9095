#pragma once
// One zlib block (RFC 1950 header, deflate data, Adler-32 trailer) packed or
// unpacked in one call: the archive's entries and its directory are such
// blocks. Two implementations stand behind this header and the archive does
// not know which one it has: zlib itself (zlib_block_zlib.cpp, the native
// build) and stb_image's inflater with stb_image_write's deflater
// (zlib_block_stb.cpp, the WebAssembly build, which has no zlib).
//
// Both refuse the same blocks: a bad header, a preset dictionary, corrupt
// deflate data, a wrong Adler-32, a block that ends before its trailer, and
// any block that does not inflate to exactly the stated size. Nothing is ever
// inflated past that size. Bytes after the trailer are ignored, as zlib's
// uncompress ignores them.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace zor {

// Inflates `block` into exactly `expected` bytes; nullopt with `why` set
// otherwise.
std::optional<std::vector<std::uint8_t>> inflateBlock(std::span<const std::uint8_t> block, std::int64_t expected,
                                                      std::string& why);

// Compresses `data` as one block at the best compression the implementation
// has; nullopt when the block would not fit in `capacity` bytes.
std::optional<std::vector<std::uint8_t>> deflateBlock(std::span<const std::uint8_t> data, std::size_t capacity);

// A capacity that every block of `size` bytes fits in.
std::size_t deflateBound(std::size_t size);

// Which implementation this is, for messages and tests ("zlib" or "stb").
const char* zlibBlockCodec();

}  // namespace zor
