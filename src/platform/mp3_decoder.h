#pragma once
// MP3 files decoded whole into 16-bit PCM, with or without a sound device
// (the sound devices use it, and a picture of the music needs no device).
// One decodeMp3 per system, chosen by CMake: libmpg123 on Linux
// (sdl/mpg123_decoder.cpp, gapless: the encoder's delay and padding are
// dropped), Windows' own MP3 codec through the Audio Compression Manager on
// Windows (win32/acm_mp3_decoder.cpp). The page has none: the browser
// decodes its music itself. Both take MPEG Layer III streams only, and refuse
// anything that decodes to more than kMaxPcmBytes.
//
// findMp3Format reads the first frame header (after an ID3v2 tag) to
// describe a stream to a codec that needs it told (Windows'); it is plain
// byte parsing, the same everywhere.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace zor {

// Interleaved 16-bit samples.
struct Pcm {
    int rate = 0;      // frames a second
    int channels = 0;  // 1 or 2
    std::vector<std::int16_t> samples;

    std::uint64_t frames() const { return channels > 0 ? samples.size() / static_cast<unsigned>(channels) : 0; }
};

// The most PCM a file may decode to (1 GiB): a small file that claims hours
// of sound cannot exhaust memory.
inline constexpr std::size_t kMaxPcmBytes = std::size_t{1} << 30;

// False with `error` saying what is wrong, in words that follow the file's
// name: "holds no MPEG Layer III audio", "cannot be decoded: ...".
bool decodeMp3(std::span<const std::uint8_t> bytes, Pcm& pcm, std::string& error);

// The file `fileName` (UTF-8, relative to the current folder) read through
// system/disk_files.h and decoded. False with `error` naming the file:
// cannot read "mp3.mp3": no such file; "mp3.mp3" holds no MPEG Layer III audio.
bool readMp3File(const std::string& fileName, Pcm& pcm, std::string& error);

// The first frame of an MPEG-1, -2 or -2.5 Layer III stream.
struct Mp3Format {
    int sampleRate = 0;
    int channels = 0;
    int bitrate = 0;             // bits per second of the first frame
    int frameBytes = 0;          // size of the first frame, without padding
    std::size_t firstFrame = 0;  // offset of the first frame in the bytes
};

// Finds the first frame that another valid frame follows (or that ends the
// bytes); false when the bytes hold no Layer III stream.
bool findMp3Format(std::span<const std::uint8_t> bytes, Mp3Format& format);

}  // namespace zor
