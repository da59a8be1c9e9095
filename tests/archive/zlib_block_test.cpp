// The zlib block codec behind the archive, built once per implementation
// (zlib, stb): both must accept and refuse exactly the same blocks.

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdint>
#include <string>
#include <vector>

#include "archive/zlib_block.h"

namespace zor {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes sample(std::size_t size) {
    Bytes data(size);
    std::uint32_t x = 12345;
    for (std::size_t i = 0; i < size; ++i) {
        x = x * 1103515245u + 12345u;
        // Text-like runs with some noise, so the block has matches and literals.
        data[i] = (i / 64) % 3 == 0 ? static_cast<std::uint8_t>(x >> 24) : static_cast<std::uint8_t>("zor demo "[i % 9]);
    }
    return data;
}

// A block as the archive's writers make it: zlib at level 9.
Bytes zlibBlock(const Bytes& data) {
    Bytes out(compressBound(data.size()));
    uLongf size = out.size();
    EXPECT_EQ(compress2(out.data(), &size, data.data(), data.size(), Z_BEST_COMPRESSION), Z_OK);
    out.resize(size);
    return out;
}

TEST(ZlibBlock, InflatesZlibsBlocksAndItsOwnToTheSameBytes) {
    for (std::size_t size : {0u, 1u, 100u, 70000u}) {
        const Bytes data = sample(size);
        std::string why;
        EXPECT_EQ(inflateBlock(zlibBlock(data), static_cast<std::int64_t>(size), why), data) << zlibBlockCodec() << why;
        const auto own = deflateBlock(data, deflateBound(size));
        ASSERT_TRUE(own) << size;
        EXPECT_EQ(inflateBlock(*own, static_cast<std::int64_t>(size), why), data) << why;
    }
}

TEST(ZlibBlock, OnlyTheExactSizeIsAccepted) {
    const Bytes data = sample(5000);
    const Bytes block = zlibBlock(data);
    std::string why;
    EXPECT_FALSE(inflateBlock(block, 4999, why));
    EXPECT_NE(why.find("more than the stated 4999 bytes"), std::string::npos) << why;
    EXPECT_FALSE(inflateBlock(block, 5001, why));
    EXPECT_NE(why.find("5000 bytes, not the stated 5001"), std::string::npos) << why;
}

TEST(ZlibBlock, EveryDamageIsRefusedOrChangesNothing) {
    const Bytes data = sample(3000);
    const Bytes block = zlibBlock(data);
    std::string why;
    for (std::size_t cut = 0; cut < block.size(); ++cut) {
        EXPECT_FALSE(inflateBlock(Bytes(block.begin(), block.begin() + cut), 3000, why)) << "cut at " << cut;
    }
    // One byte changed anywhere, the checksum included.
    for (std::size_t i = 0; i < block.size(); ++i) {
        Bytes damaged = block;
        damaged[i] ^= 0x55;
        const auto out = inflateBlock(damaged, 3000, why);
        if (out) {
            EXPECT_EQ(*out, data) << "byte " << i;
        }
    }
    Bytes wrongSum = block;
    wrongSum.back() ^= 1;
    EXPECT_FALSE(inflateBlock(wrongSum, 3000, why));
    EXPECT_NE(why.find("corrupt"), std::string::npos) << why;
}

TEST(ZlibBlock, BytesAfterTheChecksumAreIgnoredAsZlibDoes) {
    const Bytes data = sample(2000);
    Bytes block = zlibBlock(data);
    block.insert(block.end(), {'j', 'u', 'n', 'k'});
    std::string why;
    EXPECT_EQ(inflateBlock(block, 2000, why), data) << why;
}

TEST(ZlibBlock, AStoredBlockAndAPresetDictionary) {
    // Level 0 writes stored blocks.
    const Bytes data = sample(1000);
    Bytes stored(compressBound(data.size()));
    uLongf size = stored.size();
    ASSERT_EQ(compress2(stored.data(), &size, data.data(), data.size(), 0), Z_OK);
    stored.resize(size);
    std::string why;
    EXPECT_EQ(inflateBlock(stored, 1000, why), data) << why;
    // A header asking for a preset dictionary (FDICT) cannot be inflated.
    const Bytes dictionary = {0x78, 0xBB, 0, 0, 0, 1, 0x03, 0x00, 0, 0, 0, 1};
    EXPECT_FALSE(inflateBlock(dictionary, 0, why));
}

}  // namespace
}  // namespace zor
