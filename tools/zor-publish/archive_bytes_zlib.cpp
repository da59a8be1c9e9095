// A .zip and a .tar.gz written on zlib alone, and zlib's gzip -9 as the
// smallest gzip: archive_bytes.h for the Windows build, which has neither
// libarchive nor libdeflate.
//
// The zip: for each entry a local header, then its data (deflated, or stored
// when empty); then the central directory and its end. Times are stored as
// MS-DOS times in UTC and exactly in an extended timestamp field ("UT"); the
// mode in the upper half of the external attributes, as Unix zip programs
// store it; names that are not ASCII are flagged as UTF-8.
//
// The tar: a header block for each entry (ustar), then its data padded to
// 512 bytes, then two empty blocks. A name that is not ASCII or does not fit
// the header's name and prefix fields goes in an extended header ("x") before
// it, as a "path" record.

#include <zlib.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <limits>
#include <stdexcept>
#include <string>

#include "archive_bytes.h"

namespace zor::publish {
namespace {

void put16(Bytes& out, std::uint32_t value) {
    out.push_back(static_cast<std::uint8_t>(value));
    out.push_back(static_cast<std::uint8_t>(value >> 8));
}

void put32(Bytes& out, std::uint32_t value) {
    put16(out, value & 0xFFFF);
    put16(out, value >> 16);
}

void putText(Bytes& out, std::string_view text) { out.insert(out.end(), text.begin(), text.end()); }

bool isAscii(std::string_view text) {
    return std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

// ---- zip ----

// The calendar date of a day counted from 1970-01-01 (proleptic Gregorian).
void civilDate(std::int64_t days, int& year, int& month, int& day) {
    days += 719468;
    const std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const std::int64_t dayOfEra = days - era * 146097;
    const std::int64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const std::int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const std::int64_t shiftedMonth = (5 * dayOfYear + 2) / 153;
    day = static_cast<int>(dayOfYear - (153 * shiftedMonth + 2) / 5 + 1);
    month = static_cast<int>(shiftedMonth < 10 ? shiftedMonth + 3 : shiftedMonth - 9);
    year = static_cast<int>(yearOfEra + era * 400 + (month <= 2));
}

// An MS-DOS time and date (two-second steps, years 1980 to 2107) of `when`
// in UTC; times outside those years are the nearest it can hold.
std::pair<std::uint16_t, std::uint16_t> dosTime(std::int64_t when) {
    constexpr std::int64_t kFirst = 315532800;   // 1980-01-01 00:00:00
    constexpr std::int64_t kLast = 4354819198;   // 2107-12-31 23:59:58
    when = std::clamp(when, kFirst, kLast);
    const std::int64_t days = when / 86400, seconds = when % 86400;
    int year = 0, month = 0, day = 0;
    civilDate(days, year, month, day);
    const auto time = static_cast<std::uint16_t>((seconds / 3600) << 11 | (seconds / 60 % 60) << 5 | (seconds % 60) / 2);
    const auto date = static_cast<std::uint16_t>((year - 1980) << 9 | month << 5 | day);
    return {time, date};
}

// A raw deflate stream (no zlib header), as a zip holds it.
Bytes deflated(std::span<const std::uint8_t> data) { return zlibDeflated(data, Z_DEFAULT_COMPRESSION, -15, 8); }

struct ZipEntry {
    std::string name;
    std::uint16_t method = 0;  // 0 stored, 8 deflated
    std::uint32_t crc = 0, packedSize = 0, size = 0, offset = 0, mode = 0;
};

constexpr std::uint32_t kZipLimit = std::numeric_limits<std::uint32_t>::max();

// What the local header and the central directory both say of an entry,
// from its version needed on.
void putZipCommon(Bytes& out, const ZipEntry& e, std::pair<std::uint16_t, std::uint16_t> time) {
    put16(out, 20);                                  // version needed: 2.0 (deflate, folders)
    put16(out, isAscii(e.name) ? 0 : 0x0800);        // flags: the name is UTF-8
    put16(out, e.method);
    put16(out, time.first);
    put16(out, time.second);
    put32(out, e.crc);
    put32(out, e.packedSize);
    put32(out, e.size);
    put16(out, static_cast<std::uint32_t>(e.name.size()));
    put16(out, 9);  // the extended timestamp's length
}

void putTimestamp(Bytes& out, std::int64_t when) {
    put16(out, 0x5455);  // "UT"
    put16(out, 5);
    out.push_back(1);  // the modification time follows
    put32(out, static_cast<std::uint32_t>(static_cast<std::int32_t>(
                   std::clamp<std::int64_t>(when, std::numeric_limits<std::int32_t>::min(),
                                            std::numeric_limits<std::int32_t>::max()))));
}

Bytes zipOf(std::string_view top, const std::vector<write::DataFile>& files, std::int64_t when) {
    if (files.size() + 1 > 0xFFFF) throw std::runtime_error("more files than a zip holds");
    const auto time = dosTime(when);
    Bytes out;
    std::vector<ZipEntry> entries;
    const auto add = [&](std::string name, std::uint32_t mode, std::span<const std::uint8_t> data) {
        if (name.size() > 0xFFFF || data.size() >= kZipLimit || out.size() >= kZipLimit)
            throw std::runtime_error(name + ": too large for a zip");
        ZipEntry e;
        e.name = std::move(name);
        e.mode = mode;
        e.size = static_cast<std::uint32_t>(data.size());
        e.crc = static_cast<std::uint32_t>(crc32(crc32(0, nullptr, 0), data.data(), static_cast<uInt>(data.size())));
        e.offset = static_cast<std::uint32_t>(out.size());
        Bytes packed;
        if (!data.empty()) {
            packed = deflated(data);
            e.method = 8;
        }
        if (packed.size() >= kZipLimit) throw std::runtime_error(e.name + ": too large for a zip");
        e.packedSize = static_cast<std::uint32_t>(e.method == 8 ? packed.size() : data.size());
        put32(out, 0x04034b50);
        putZipCommon(out, e, time);
        putText(out, e.name);
        putTimestamp(out, when);
        if (e.method == 8) out.insert(out.end(), packed.begin(), packed.end());
        else out.insert(out.end(), data.begin(), data.end());
        entries.push_back(std::move(e));
    };
    add(std::string(top) + "/", 0040755, {});
    for (const write::DataFile& f : files)
        add(std::string(top) + "/" + f.name, f.name.ends_with(".exe") ? 0100755 : 0100644, f.bytes);

    const std::size_t directoryStart = out.size();
    for (const ZipEntry& e : entries) {
        put32(out, 0x02014b50);
        put16(out, 3 << 8 | 20);  // made by: Unix, zip 2.0
        putZipCommon(out, e, time);
        put16(out, 0);            // no comment
        put16(out, 0);            // disk 0
        put16(out, 0);            // internal attributes
        put32(out, e.mode << 16 | ((e.mode & 0040000) ? 0x10 : 0));  // and MS-DOS's folder bit
        put32(out, e.offset);
        putText(out, e.name);
        putTimestamp(out, when);
    }
    if (out.size() >= kZipLimit) throw std::runtime_error("too large for a zip");
    const std::size_t directorySize = out.size() - directoryStart;
    put32(out, 0x06054b50);
    put16(out, 0);
    put16(out, 0);
    put16(out, static_cast<std::uint32_t>(entries.size()));
    put16(out, static_cast<std::uint32_t>(entries.size()));
    put32(out, static_cast<std::uint32_t>(directorySize));
    put32(out, static_cast<std::uint32_t>(directoryStart));
    put16(out, 0);  // no comment
    return out;
}

// ---- tar ----

constexpr std::size_t kBlock = 512;

// `value` in octal, `width - 1` digits and a terminating zero.
void putOctal(std::uint8_t* field, std::size_t width, std::uint64_t value) {
    for (std::size_t i = width - 1; i-- > 0; value >>= 3) field[i] = static_cast<std::uint8_t>('0' + (value & 7));
    if (value != 0) throw std::runtime_error("a number too large for a tar header");
    field[width - 1] = 0;
}

void padToBlock(Bytes& out) { out.resize((out.size() + kBlock - 1) / kBlock * kBlock, 0); }

// "LENGTH path=NAME\n", the length counting itself.
std::string paxRecord(std::string_view key, std::string_view value) {
    const std::size_t rest = 1 + key.size() + 1 + value.size() + 1;
    std::size_t length = rest + 1;
    while (std::to_string(length).size() + rest != length) length = std::to_string(length).size() + rest;
    return std::to_string(length) + " " + std::string(key) + "=" + std::string(value) + "\n";
}

// Where a name splits into the header's prefix (at most 155 bytes) and name
// (at most 100) at a slash; 0 when it fits the name field alone, npos when
// it fits neither way.
std::size_t ustarSplit(std::string_view name) {
    if (name.size() <= 100) return 0;
    for (std::size_t at = std::min<std::size_t>(name.size() - 1, 155) + 1; at-- > 0;)
        if (name[at] == '/' && name.size() - at - 1 <= 100 && at > 0) return at;
    return std::string_view::npos;
}

void putTarHeader(Bytes& out, std::string_view name, char type, std::uint32_t mode, std::uint64_t size,
                  std::int64_t when) {
    std::size_t split = isAscii(name) ? ustarSplit(name) : std::string_view::npos;
    std::string shown(name);
    if (split == std::string_view::npos) {
        const std::string record = paxRecord("path", name);
        putTarHeader(out, "PaxHeader", 'x', 0644, record.size(), when);
        putText(out, record);
        padToBlock(out);
        // What a reader without extended headers sees: ASCII, cut to fit.
        for (char& c : shown)
            if (static_cast<unsigned char>(c) >= 0x80) c = '_';
        shown.resize(std::min<std::size_t>(shown.size(), 100));
        split = 0;
    }
    std::array<std::uint8_t, kBlock> h{};
    const std::string_view prefix = std::string_view(shown).substr(0, split);
    const std::string_view rest = std::string_view(shown).substr(split == 0 ? 0 : split + 1);
    std::memcpy(h.data(), rest.data(), rest.size());
    putOctal(h.data() + 100, 8, mode);
    putOctal(h.data() + 108, 8, 0);
    putOctal(h.data() + 116, 8, 0);
    putOctal(h.data() + 124, 12, size);
    putOctal(h.data() + 136, 12, static_cast<std::uint64_t>(std::max<std::int64_t>(when, 0)));
    h[156] = static_cast<std::uint8_t>(type);
    std::memcpy(h.data() + 257, "ustar", 6);
    std::memcpy(h.data() + 263, "00", 2);
    putOctal(h.data() + 329, 8, 0);
    putOctal(h.data() + 337, 8, 0);
    std::memcpy(h.data() + 345, prefix.data(), prefix.size());
    // The checksum: the sum of the header's bytes with its own field blank.
    std::memset(h.data() + 148, ' ', 8);
    std::uint32_t sum = 0;
    for (std::uint8_t b : h) sum += b;
    putOctal(h.data() + 148, 7, sum);
    h[155] = ' ';
    out.insert(out.end(), h.begin(), h.end());
}

Bytes tarGzOf(std::string_view top, const std::vector<write::DataFile>& files, std::int64_t when) {
    Bytes tar;
    putTarHeader(tar, std::string(top) + "/", '5', 0755, 0, when);
    for (const write::DataFile& f : files) {
        putTarHeader(tar, std::string(top) + "/" + f.name, '0', f.name.ends_with(".exe") ? 0755 : 0644,
                     f.bytes.size(), when);
        tar.insert(tar.end(), f.bytes.begin(), f.bytes.end());
        padToBlock(tar);
    }
    tar.resize(tar.size() + 2 * kBlock, 0);
    return gzipped(tar);
}

}  // namespace

const char* archiveWriter() { return "zlib"; }

Bytes archiveBytes(ArchiveKind kind, std::string_view top, const std::vector<write::DataFile>& files,
                   std::int64_t when) {
    return kind == ArchiveKind::Zip ? zipOf(top, files, when) : tarGzOf(top, files, when);
}

Bytes gzippedSmallest(std::span<const std::uint8_t> data) { return gzipped(data); }

}  // namespace zor::publish
