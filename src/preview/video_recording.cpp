#include "preview/video_recording.h"

#include "archive/file_problem.h"
#include "scene/player_constants.h"
#include "system/files.h"
#include "system/process.h"
#include "system/text.h"

namespace zor {

namespace fs = std::filesystem;

fs::path videoMusic(const fs::path& folder, const std::string& folderText, std::string& warning) {
    const fs::path music = folder / kMusicFileName;
    std::error_code ec;
    if (fs::is_regular_file(music, ec)) return music;
    if (const std::string problem = diskFileProblem(music); !problem.empty())
        warning = utf8Of(music) + " " + problem + ": the video will be silent";
    else
        warning = std::string("no ") + kMusicFileName + " in " + folderText + ": the video will be silent";
    return {};
}

VideoRecording::VideoRecording(fs::path output, Replace replace)
    : output_(std::move(output)), replace_(replace) {
    partial_ = output_;
    partial_ += "." + std::to_string(processId()) + ".part";
}

VideoRecording::~VideoRecording() { abandon(); }

bool VideoRecording::start(const VideoFormat& format, VideoJob job, std::string& error) {
    std::error_code ec;
    if (replace_ == Replace::Never && fs::exists(fs::symlink_status(output_, ec))) {
        error = utf8Of(output_) + ": already exists (--force replaces it)";
        return false;
    }
    job.output = partial_;
    started_ = encoder_.start("ffmpeg", encoderArguments(format, job), error);
    return started_;
}

bool VideoRecording::write(const RgbPicture& picture) {
    return encoder_.write(picture.pixels.data(), picture.pixels.size());
}

bool VideoRecording::finish(std::string& error) {
    started_ = false;
    std::error_code ec;
    if (!encoder_.finish()) {
        error = "ffmpeg failed to encode " + utf8Of(output_);
    } else if (replace_ == Replace::Never) {
        int reason = 0;
        if (system_files::renameNoReplace(partial_, output_, reason)) return true;
        error = "cannot put the video in place as " + utf8Of(output_) + ": " +
                (fs::exists(fs::symlink_status(output_, ec)) ? "it exists now (--force replaces it)"
                                                             : system_files::reasonFor(reason));
    } else if (fs::rename(partial_, output_, ec); ec) {
        error = "cannot put the video in place as " + utf8Of(output_) + ": " + ec.message();
    } else {
        return true;
    }
    fs::remove(partial_, ec);
    return false;
}

std::string VideoRecording::finishAfterStop() {
    std::string error;
    if (finish(error)) return "; " + utf8Of(output_) + " holds the frames so far";
    return "; " + error + ", the unfinished video was removed";
}

void VideoRecording::abandon() {
    if (!started_) return;
    started_ = false;
    encoder_.finish();
    std::error_code ec;
    fs::remove(partial_, ec);
}

}  // namespace zor
