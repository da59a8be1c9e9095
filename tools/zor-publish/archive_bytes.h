#pragma once
// The bytes of a .zip or a .tar.gz holding a set of files in one folder, and
// gzip at its smallest. Two implementations stand behind this header and
// zor-publish does not know which one it has: libarchive and libdeflate
// (archive_bytes_libarchive.cpp, the native build) and a writer of our own on
// zlib (archive_bytes_zlib.cpp, the Windows build, where neither library
// exists). Both are built natively and held to the same tests.
//
// Either way the archive holds the folder `top` first ("top/", mode 0755),
// then every file as "top/NAME" in the order given (mode 0755 for a name
// ending in ".exe", else 0644), owned by 0:0 and modified at `when` (seconds
// since 1970, UTC). A zip deflates each file at zlib's default level and
// stores the folder; a tar.gz is a POSIX tar (names that are not ASCII or do
// not fit its header in an extended header) in gzip -9, without a name or a
// time in the gzip header, ending where its data ends.

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "writers/play_folder.h"

namespace zor::publish {

enum class ArchiveKind { Zip, TarGz };

// Throws std::runtime_error saying what is wrong (more than the format can
// hold).
Bytes archiveBytes(ArchiveKind kind, std::string_view top, const std::vector<write::DataFile>& files,
                   std::int64_t when);

// gzip (no name, no time) of `data`: as gzip -9 makes it, with zlib, on every
// build.
Bytes gzipped(std::span<const std::uint8_t> data);
// `data` deflated by zlib with these deflateInit2 settings (negative window
// bits: raw, as a zip holds an entry; 15 + 16: a gzip wrapper).
Bytes zlibDeflated(std::span<const std::uint8_t> data, int level, int windowBits, int memoryLevel);
// The smallest gzip this build makes (libdeflate's level 12; zlib's -9 where
// there is no libdeflate), which every gunzip reads alike.
Bytes gzippedSmallest(std::span<const std::uint8_t> data);

// Which implementation this is, for tests: "libarchive" or "zlib".
const char* archiveWriter();

}  // namespace zor::publish
