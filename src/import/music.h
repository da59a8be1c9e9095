#pragma once
// The demo's music as the player plays it: an MP3 file, "mp3.mp3" in the
// play folder. An MP3 is taken byte for byte (its first bytes must be an ID3
// tag or an MPEG audio frame header); WAV and FLAC are decoded (libsndfile)
// and encoded as MP3 (libmp3lame), one or two channels at their own sample
// rate where MP3 has it (44.1 kHz otherwise), 192 kbit/s constant (128 for
// one channel), without tags: the same file gives the same bytes. Where
// those libraries are not (the Windows programs) the music must be MP3.

#include <filesystem>
#include <span>
#include <string>

#include "system/disk_files.h"

namespace zor::import {

// Whether the bytes start as an MP3 stream does.
bool looksLikeMp3(std::span<const std::uint8_t> bytes);

// Whether WAV and FLAC are encoded here.
bool encodesMusic();

// The music file's MP3 bytes. Throws ImportError naming the file and what
// is wrong.
Bytes musicAsMp3(const std::filesystem::path& path);

// WAV or FLAC bytes of `path` encoded as MP3 (music_encode_*.cpp). Throws
// ImportError naming the file.
Bytes encodeMp3(const std::filesystem::path& path);

}  // namespace zor::import
