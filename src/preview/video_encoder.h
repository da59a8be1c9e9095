#pragma once
// ffmpeg, fed raw RGB pictures through a pipe. It runs in a process group of
// its own, so a Ctrl-C at the terminal reaches the tool alone, which then
// closes the pipe and lets ffmpeg finish the file with the pictures it has.
//
// The files are made to be published as they are: 4:2:0 colour tagged as
// BT.709, a key frame every half second, the music resampled to 48 kHz
// stereo, and in MP4 and MOV the index at the front so that the file plays
// while it downloads.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "system/piped_program.h"

namespace zor {

// A pass rate as an exact fraction, so that "30.3" reaches the file as
// 303/10 and "30000/1001" as itself.
struct FrameRate {
    std::int64_t numerator = 0;
    std::int64_t denominator = 1;
    double value() const { return double(numerator) / double(denominator); }
};

// A decimal number ("60", "30.3", at most six decimals) or a fraction
// ("30000/1001"), above 0; nothing else.
std::optional<FrameRate> parseFrameRate(std::string_view text);

// A kind of video file, chosen by the file name's extension.
struct VideoFormat {
    std::string_view extension;   // ".mp4", lower case
    std::string_view muxer;       // ffmpeg's name of the container
    std::string_view videoCodec;  // ffmpeg's encoder for the pictures
    std::string_view audioCodec;  // and for the music
    bool fastStart = false;       // index before the data
};

// The format for `file`'s extension (any case), or null when there is none.
const VideoFormat* videoFormatFor(const std::filesystem::path& file);
// The extensions known, for messages: ".mp4, .mov, .mkv or .webm".
std::string videoExtensions();

struct VideoJob {
    std::uint32_t width = 0;  // even
    std::uint32_t height = 0;  // even
    FrameRate rate;
    std::filesystem::path music;  // empty: a silent video
    std::filesystem::path output;
    std::string title;            // the file's title tag; empty: none
    // H.264 at this many bits a second throughout (filler where the
    // pictures need less), for places that ask for a minimum rate; 0: a
    // constant quality.
    std::uint64_t constantBitRate = 0;
};

// ffmpeg's arguments for `job`: raw RGB pictures on standard input, the
// music from its file; the pictures decide the length (the music is cut
// where they end, or followed by silence when it ends first).
std::vector<std::string> encoderArguments(const VideoFormat& format, const VideoJob& job);

class VideoEncoder {
public:
    VideoEncoder() = default;
    ~VideoEncoder();
    VideoEncoder(const VideoEncoder&) = delete;
    VideoEncoder& operator=(const VideoEncoder&) = delete;

    // Starts the program (found on PATH) with these arguments after its name.
    bool start(const std::string& program, const std::vector<std::string>& arguments, std::string& error);
    // False once the encoder no longer takes data (it has ended).
    bool write(const std::uint8_t* data, std::size_t size);
    // Ends the input and waits for the encoder; true when it succeeded.
    bool finish();

private:
    PipedProgram program_;
};

}  // namespace zor
