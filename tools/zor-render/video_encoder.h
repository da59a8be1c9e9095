#pragma once
// ffmpeg, fed raw RGB pictures through a pipe. It runs in a process group of
// its own, so a Ctrl-C at the terminal reaches zor-render alone, which then
// closes the pipe and lets ffmpeg finish the file with the pictures it has.

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace zor {

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
    pid_t pid_ = -1;
    int pipe_ = -1;
};

}  // namespace zor
