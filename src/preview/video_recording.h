#pragma once
// A video as the tools write every file: the encoder writes it beside its
// place (NAME.PID.part) and it is renamed into place once the encoder has
// finished it, so a failed run leaves an earlier file of that name alone and
// a run stopped by a signal still leaves a file that plays.

#include <cstdint>
#include <filesystem>
#include <string>

#include "display/png_file.h"
#include "preview/video_encoder.h"
#include "system/disk_files.h"

namespace zor {

// The music of a video of the play folder: FOLDER/mp3.mp3 when it is a
// file; otherwise none, and `warning` says why the video will be silent
// (`folderText`: the folder as the user named it).
std::filesystem::path videoMusic(const std::filesystem::path& folder, const std::string& folderText,
                                 std::string& warning);

class VideoRecording {
public:
    // With Replace::Never a file already at `output` is refused, before the
    // encoder starts and again when the video is put in place.
    VideoRecording(std::filesystem::path output, Replace replace);
    ~VideoRecording();  // an unfinished video goes
    VideoRecording(const VideoRecording&) = delete;
    VideoRecording& operator=(const VideoRecording&) = delete;

    // Starts ffmpeg on `job` (its output is the partial file, whatever
    // job.output says).
    bool start(const VideoFormat& format, VideoJob job, std::string& error);
    bool started() const { return started_; }
    // False once the encoder no longer takes pictures.
    bool write(const RgbPicture& picture);
    // Ends the encoder and puts the finished file in its place; false (and
    // the unfinished file removed) when either fails.
    bool finish(std::string& error);
    // finish() after a stop signal, as the end of the line that says so:
    // "; FILE holds the frames so far" or "; WHY, the unfinished video was
    // removed".
    std::string finishAfterStop();
    // Ends the encoder and removes the unfinished file.
    void abandon();

private:
    std::filesystem::path output_, partial_;
    Replace replace_;
    VideoEncoder encoder_;
    bool started_ = false;
};

}  // namespace zor
