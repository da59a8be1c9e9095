#pragma once
// Explicit byte-order readers for the object loaders. Callers check that the
// bytes are there before reading; nothing here casts pointers.

#include <cstdint>
#include <cstring>
#include <optional>
#include <span>

namespace zor::detail {

inline std::uint16_t readU16BE(const std::uint8_t* p) {
    return static_cast<std::uint16_t>((p[0] << 8) | p[1]);
}
inline std::int16_t readI16BE(const std::uint8_t* p) {
    return static_cast<std::int16_t>(readU16BE(p));
}
inline std::uint32_t readU32BE(const std::uint8_t* p) {
    return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) |
           (std::uint32_t{p[2]} << 8) | std::uint32_t{p[3]};
}
inline std::int32_t readI32BE(const std::uint8_t* p) {
    return static_cast<std::int32_t>(readU32BE(p));
}
inline float readF32BE(const std::uint8_t* p) {
    const std::uint32_t bits = readU32BE(p);
    float f;
    std::memcpy(&f, &bits, sizeof f);
    return f;
}

inline std::uint16_t readU16LE(const std::uint8_t* p) {
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}
inline std::int16_t readI16LE(const std::uint8_t* p) {
    return static_cast<std::int16_t>(readU16LE(p));
}
inline std::uint32_t readU32LE(const std::uint8_t* p) {
    return std::uint32_t{p[0]} | (std::uint32_t{p[1]} << 8) |
           (std::uint32_t{p[2]} << 16) | (std::uint32_t{p[3]} << 24);
}
inline std::int32_t readI32LE(const std::uint8_t* p) {
    return static_cast<std::int32_t>(readU32LE(p));
}
inline float readF32LE(const std::uint8_t* p) {
    const std::uint32_t bits = readU32LE(p);
    float f;
    std::memcpy(&f, &bits, sizeof f);
    return f;
}

// Length of the zero-terminated text at the start of `bytes`, or nullopt
// when no terminator lies inside them.
inline std::optional<std::size_t> terminatedLength(std::span<const std::uint8_t> bytes) {
    const void* zero = std::memchr(bytes.data(), 0, bytes.size());
    if (zero == nullptr) return std::nullopt;
    return static_cast<std::size_t>(static_cast<const std::uint8_t*>(zero) - bytes.data());
}

// Bytes an even-padded text of k characters occupies: k + 1 when k is odd,
// k + 2 when k is even (terminator plus a pad byte).
inline std::size_t paddedTextSize(std::size_t k) { return (k % 2 == 1) ? k + 1 : k + 2; }

}  // namespace zor::detail
