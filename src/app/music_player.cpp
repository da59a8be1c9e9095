#include "app/music_player.h"

#include "system/disk_files.h"
#include "system/files.h"

namespace zor {

namespace {

constexpr std::uint32_t kFrequency = 44100;
constexpr const char* kNoDevice =
    "no audio device can be opened; start the player with -nosound to play without music";

std::string withReason(std::string text, const std::string& reason) {
    if (!reason.empty()) text += " (" + reason + ")";
    return text;
}

}  // namespace

MusicResult MusicPlayer::bassFailure(std::string text) const {
    return {false, kFailureStatus, {}, withReason(std::move(text), bass_->lastError())};
}

MusicResult MusicPlayer::gaudioFailure(std::string text) const {
    return {false, kGaudioFailureStatus, {}, withReason(std::move(text), gaudio_->lastError())};
}

MusicResult MusicPlayer::initialise(void* window) {
    if (backend_ == MusicBackend::Gaudio) {
        audio_ = gaudio_->GA_GetInterface(kGaudioInterfaceVersion);
        if (!audio_) return gaudioFailure("the gaudio audio library gives no interface");
        if (audio_->Init(0) != 1) {
            audio_ = nullptr;
            return gaudioFailure(kNoDevice);
        }
        stream_ = audio_->GetStreamInterface(kGaudioStreamVersion);
        if (!stream_) return gaudioFailure("the gaudio audio library gives no MP3 stream");
    }
    if (backend_ == MusicBackend::Bass) {
        if (bass_->BASS_GetVersion() != kBassVersion) {
            // Kept as the library's users know it, but a failure all the same.
            return {false, kFailureStatus, "Incorrect BASS.DLL", "BASS version 0.7 was not loaded"};
        }
        if (!bass_->BASS_Init(-1, kFrequency, 0, window)) return bassFailure(kNoDevice);
        bassReady_ = true;
        bass_->BASS_Start();
    }
    return MusicResult::success();
}

MusicResult MusicPlayer::open() {
    const std::string what = std::string("cannot open the music \"") + kMusicFileName + "\"";
    // The libraries open the file themselves, and would wait for ever for a
    // writer on a FIFO. A missing file is theirs to report.
    ReadFailure problem;
    const int fd = backend_ == MusicBackend::None ? -1 : openRegularFile(kMusicFileName, &problem);
    if (fd >= 0) system_files::closeFile(fd);
    if (backend_ != MusicBackend::None && fd < 0 && !problem.missing()) {
        const std::string text = what + ": " + problem.reason;
        return {false, backend_ == MusicBackend::Gaudio ? kGaudioFailureStatus : kFailureStatus, {}, text};
    }
    if (backend_ == MusicBackend::Gaudio && stream_) {
        // The stream's leading members, as the library expects them filled.
        stream_->sourceIsFile = 1;
        stream_->playCount = 1;
        stream_->fileName = kMusicFileName;
        stream_->startMilliseconds = 0;
        if (stream_->Initialize() == 0) return gaudioFailure(what);
    }
    if (backend_ == MusicBackend::Bass && bassReady_) {
        handle_ = bass_->BASS_StreamCreateFile(0, kMusicFileName, 0, 0, 0);
        if (handle_ == 0) return bassFailure(what);
    }
    return MusicResult::success();
}

MusicResult MusicPlayer::start() {
    if (backend_ == MusicBackend::Gaudio && stream_) {
        stream_->Play();
        stream_->SetVolume(1.0f);
    }
    if (backend_ == MusicBackend::Bass && handle_ != 0) {
        if (!bass_->BASS_StreamPlay(handle_, 0, 0)) {
            return bassFailure(std::string("cannot start the music \"") + kMusicFileName + "\"");
        }
    }
    return MusicResult::success();
}

void MusicPlayer::release() {
    if (backend_ == MusicBackend::Gaudio && audio_) {
        if (stream_) stream_->Kill();
        audio_->ShutDown();
        audio_ = nullptr;
        stream_ = nullptr;
    }
    if (backend_ == MusicBackend::Bass && bassReady_) {
        bass_->BASS_Stop();
        if (handle_ != 0) bass_->BASS_StreamFree(handle_);
        bass_->BASS_Free();
        bassReady_ = false;
        handle_ = 0;
    }
}

}  // namespace zor
