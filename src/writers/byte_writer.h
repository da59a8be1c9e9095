#pragma once
// Appending numbers to a byte buffer in an explicit byte order. The object
// files are big-endian, the binary mesh file little-endian; floats are written
// through their bit pattern so the output is the same on every host. Every
// append returns the writer, so short pieces can be written in one chain.

#include <bit>
#include <cstdint>
#include <string_view>

#include "system/disk_files.h"

namespace zor::write {

class ByteWriter {
public:
    enum class Order { Big, Little };

    explicit ByteWriter(Order order) : order_(order) {}

    ByteWriter& u8(std::uint8_t v) {
        bytes_.push_back(v);
        return *this;
    }
    ByteWriter& u16(std::uint16_t v) { return put(v, 2); }
    ByteWriter& i16(std::int16_t v) { return put(static_cast<std::uint16_t>(v), 2); }
    ByteWriter& u32(std::uint32_t v) { return put(v, 4); }
    ByteWriter& i32(std::int32_t v) { return put(static_cast<std::uint32_t>(v), 4); }
    ByteWriter& f32(float v) { return put(std::bit_cast<std::uint32_t>(v), 4); }
    ByteWriter& tag(std::string_view fourCharacters) { return append(fourCharacters.substr(0, 4)); }
    // The text and its terminating zero, nothing more.
    ByteWriter& cString(std::string_view text) { return append(text).u8(0); }
    // The text, its zero and one more zero when needed for an even length.
    ByteWriter& evenString(std::string_view text) {
        cString(text);
        return text.size() % 2 == 0 ? u8(0) : *this;
    }
    ByteWriter& append(const Bytes& more) {
        bytes_.insert(bytes_.end(), more.begin(), more.end());
        return *this;
    }
    // The characters as they are, no terminator.
    ByteWriter& append(std::string_view text) {
        bytes_.insert(bytes_.end(), text.begin(), text.end());
        return *this;
    }

    // Overwrites 4 bytes at offset (for sizes known only after the data).
    void patch32(std::size_t offset, std::uint32_t v) {
        for (int i = 0; i < 4; ++i) bytes_[offset + i] = byteOf(v, 4, i);
    }
    void patch16(std::size_t offset, std::uint16_t v) {
        for (int i = 0; i < 2; ++i) bytes_[offset + i] = byteOf(v, 2, i);
    }

    std::size_t size() const { return bytes_.size(); }
    const Bytes& bytes() const { return bytes_; }
    Bytes take() { return std::move(bytes_); }

private:
    std::uint8_t byteOf(std::uint32_t v, int width, int i) const {
        int shift = order_ == Order::Big ? 8 * (width - 1 - i) : 8 * i;
        return static_cast<std::uint8_t>(v >> shift);
    }
    ByteWriter& put(std::uint32_t v, int width) {
        for (int i = 0; i < width; ++i) bytes_.push_back(byteOf(v, width, i));
        return *this;
    }

    Order order_;
    Bytes bytes_;
};

}  // namespace zor::write
