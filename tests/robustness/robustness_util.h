#pragma once
// Helpers for the bad-input tests: files of given bytes, archives assembled
// byte by byte (so their fields can lie), and the diagnostics as one string
// for failure messages.

#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

#include "system/disk_files.h"
#include "archive/diagnostics.h"
#include "scratch_dir.h"

namespace zor::robust {

using test::ScratchDir;

inline void writeBytes(const std::filesystem::path& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

inline Bytes bytesOf(std::string_view text) { return Bytes(text.begin(), text.end()); }

inline Bytes readBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline std::string report(const Diagnostics& d) {
    std::string out;
    for (const Diagnostic& item : d.items()) out += item.text() + "\n";
    return out;
}

inline void putLE32(Bytes& out, std::int32_t v) {
    const auto u = static_cast<std::uint32_t>(v);
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(u >> (8 * i)));
}

inline Bytes zlibBlock(const Bytes& data) {
    uLongf size = compressBound(static_cast<uLong>(data.size()));
    Bytes out(size);
    if (compress2(out.data(), &size, data.data(), static_cast<uLong>(data.size()), 9) != Z_OK) return {};
    out.resize(size);
    return out;
}

// An archive written field by field; every field may be made to lie before
// bytes() assembles the file.
struct RawArchive {
    struct Record {
        std::string name;
        std::int32_t start = 0, end = 0, uncompressed = 0, compressed = 0;
        bool terminated = true;  // false: 32 name bytes with no zero
    };
    Bytes leading;
    Bytes data;  // the data area after the leading content
    std::vector<Record> records;
    // Trailer fields; unset ones are computed.
    std::optional<std::int32_t> count, directorySize, packedSize;
    std::optional<Bytes> packedDirectory;  // replaces the compressed directory

    void add(std::string name, const Bytes& content) {
        const Bytes block = zlibBlock(content);
        Record r;
        r.name = std::move(name);
        r.start = static_cast<std::int32_t>(leading.size() + data.size());
        r.compressed = static_cast<std::int32_t>(block.size());
        r.end = r.start + r.compressed;
        r.uncompressed = static_cast<std::int32_t>(content.size());
        data.insert(data.end(), block.begin(), block.end());
        records.push_back(r);
    }

    Bytes directory() const {
        Bytes dir;
        for (const Record& r : records) {
            std::uint8_t name[32];
            std::memset(name, r.terminated ? 0 : 'N', sizeof name);
            std::memcpy(name, r.name.data(), std::min<std::size_t>(r.name.size(), r.terminated ? 31 : 32));
            dir.insert(dir.end(), name, name + 32);
            putLE32(dir, r.start);
            putLE32(dir, r.end);
            putLE32(dir, r.uncompressed);
            putLE32(dir, r.compressed);
        }
        return dir;
    }

    Bytes bytes() const {
        const Bytes dir = directory();
        const Bytes packed = packedDirectory ? *packedDirectory : zlibBlock(dir);
        Bytes out = leading;
        out.insert(out.end(), data.begin(), data.end());
        out.insert(out.end(), packed.begin(), packed.end());
        putLE32(out, count.value_or(static_cast<std::int32_t>(records.size())));
        putLE32(out, directorySize.value_or(static_cast<std::int32_t>(dir.size())));
        putLE32(out, packedSize.value_or(static_cast<std::int32_t>(packed.size())));
        out.push_back(':');
        out.push_back('-');
        out.push_back(')');
        return out;
    }
};

}  // namespace zor::robust
