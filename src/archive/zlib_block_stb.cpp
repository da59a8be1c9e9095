// zlib blocks through stb: stb_image's inflater and stb_image_write's
// deflater, for builds without zlib (WebAssembly).
//
// stb_image's inflater neither checks the Adler-32 trailer nor says where the
// deflate data ended, so both are done here from its decoder state, to refuse
// exactly the blocks zlib's uncompress refuses: the trailer follows the last
// deflate byte, and bytes after it are ignored.

#include <climits>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <new>

#define STB_IMAGE_STATIC
#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_ZLIB
#define STBI_SUPPORT_ZLIB
#define STBI_NO_STDIO
#include <stb_image.h>

#define STB_IMAGE_WRITE_STATIC
#define STB_IMAGE_WRITE_IMPLEMENTATION
#define STBI_WRITE_NO_STDIO
#include <stb_image_write.h>

#include "archive/zlib_block.h"

namespace zor {

namespace {

std::uint32_t adler32(const std::uint8_t* data, std::size_t size) {
    constexpr std::uint32_t kBase = 65521;
    // The largest run of bytes whose sums cannot overflow 32 bits.
    constexpr std::size_t kRun = 5552;
    std::uint32_t a = 1, b = 0;
    while (size > 0) {
        const std::size_t n = size < kRun ? size : kRun;
        for (std::size_t i = 0; i < n; ++i) {
            a += data[i];
            b += a;
        }
        a %= kBase;
        b %= kBase;
        data += n;
        size -= n;
    }
    return b << 16 | a;
}

// stb reads up to four bytes ahead of the bits it decodes, and past the end of
// its input it makes up zero bytes without counting them. Four real zero
// bytes behind the block are counted, so the bytes it took, less those still
// unused in its bit buffer, say exactly where the deflate data ended. A block
// whose deflate data runs into that padding ends before its checksum and is
// refused, so the padding never changes what is accepted.
constexpr std::size_t kLookAhead = 4;

}  // namespace

std::optional<std::vector<std::uint8_t>> inflateBlock(std::span<const std::uint8_t> block, std::int64_t expected,
                                                      std::string& why) {
    if (expected < 0 || expected > INT_MAX || block.size() > INT_MAX - kLookAhead) {
        why = "block of " + std::to_string(block.size()) + " bytes for " + std::to_string(expected) +
              " is beyond this build's limits";
        return std::nullopt;
    }
    std::vector<std::uint8_t> out;
    std::vector<std::uint8_t> padded;
    try {
        out.resize(static_cast<std::size_t>(expected));
        padded.resize(block.size() + kLookAhead);
    } catch (const std::bad_alloc&) {
        why = "out of memory for " + std::to_string(expected) + " bytes";
        return std::nullopt;
    }
    if (!block.empty()) std::memcpy(padded.data(), block.data(), block.size());

    stbi__zbuf z{};
    z.zbuffer = padded.data();
    z.zbuffer_end = padded.data() + padded.size();
    stbi__g_failure_reason = nullptr;
    char* const start = reinterpret_cast<char*>(out.data());
    if (!stbi__do_zlib(&z, start, static_cast<int>(expected), 0, 1)) {
        const char* reason = stbi__g_failure_reason;
        if (reason && std::strcmp(reason, "output buffer limit") == 0) {
            why = "data inflates to more than the stated " + std::to_string(expected) + " bytes";
        } else {
            why = std::string("compressed data is corrupt (") + (reason ? reason : "invalid block type") + ")";
        }
        return std::nullopt;
    }
    // The bit buffer still holds num_bits undecoded bits: the padding bits of
    // the last deflate byte and whole bytes read ahead.
    const std::size_t taken = static_cast<std::size_t>(z.zbuffer - padded.data());
    const std::size_t deflateEnd = taken - static_cast<std::size_t>(z.num_bits / 8);
    if (deflateEnd + 4 > block.size()) {
        why = "compressed data is corrupt (the block ends before its checksum)";
        return std::nullopt;
    }
    const std::uint8_t* t = block.data() + deflateEnd;
    const std::uint32_t stored = std::uint32_t{t[0]} << 24 | std::uint32_t{t[1]} << 16 | std::uint32_t{t[2]} << 8 | t[3];
    const std::size_t produced = static_cast<std::size_t>(z.zout - start);
    if (stored != adler32(out.data(), produced)) {
        why = "compressed data is corrupt (incorrect data check)";
        return std::nullopt;
    }
    if (produced != out.size()) {
        why = "data inflates to " + std::to_string(produced) + " bytes, not the stated " + std::to_string(expected);
        return std::nullopt;
    }
    return out;
}

std::optional<std::vector<std::uint8_t>> deflateBlock(std::span<const std::uint8_t> data, std::size_t capacity) {
    if (data.size() > INT_MAX) return std::nullopt;
    if (data.empty()) {
        // stb writes no deflate data at all for nothing; this is one final
        // fixed-code block holding only its end code.
        static constexpr std::uint8_t kEmpty[] = {0x78, 0x5E, 0x03, 0x00, 0x00, 0x00, 0x00, 0x01};
        if (capacity < sizeof kEmpty) return std::nullopt;
        return std::vector<std::uint8_t>(std::begin(kEmpty), std::end(kEmpty));
    }
    int size = 0;
    // Quality is the length of the match search chains; 16 trades time for size.
    unsigned char* packed =
        stbi_zlib_compress(const_cast<unsigned char*>(data.data()), static_cast<int>(data.size()), &size, 16);
    if (!packed) return std::nullopt;
    std::optional<std::vector<std::uint8_t>> out;
    if (size >= 0 && static_cast<std::size_t>(size) <= capacity) out.emplace(packed, packed + size);
    STBIW_FREE(packed);
    return out;
}

// Fixed Huffman codes: at most 9 bits a byte, plus header, block bits and trailer.
std::size_t deflateBound(std::size_t size) { return size + size / 8 + 16; }

const char* zlibBlockCodec() { return "stb"; }

}  // namespace zor
