#include "app/music_player.h"

namespace zor {

namespace {

constexpr std::uint32_t kFrequency = 44100;

std::string withReason(std::string text, const std::string& reason) {
    if (!reason.empty()) text += " (" + reason + ")";
    return text;
}

}  // namespace

MusicPlayer::MusicPlayer(MusicBackend backend, BassApi* bass, GaudioApi* gaudio)
    : backend_(backend), bass_(bass) {
    if (backend_ == MusicBackend::Gaudio && gaudio) gaudio_ = std::make_unique<GaudioSteps>(*gaudio);
}

MusicResult MusicPlayer::failure(std::string text) const { return {false, kFailureStatus, {}, std::move(text)}; }

MusicResult MusicPlayer::initialise(void* window) {
    if (backend_ == MusicBackend::Gaudio && gaudio_) {
        if (!gaudio_->bringUp()) return failure(gaudio_->error());
    }
    if (backend_ == MusicBackend::Bass && bass_) {
        if (bass_->BASS_GetVersion() != kBassVersion) {
            // Kept as the library's users know it, but a failure all the same.
            return {false, kFailureStatus, "Incorrect BASS.DLL", "BASS version 0.7 was not loaded"};
        }
        if (!bass_->BASS_Init(-1, kFrequency, 0, window)) return failure(soundDeviceRefused(bass_->lastError()));
        bassReady_ = true;
        bass_->BASS_Start();
    }
    return MusicResult::success();
}

std::string MusicPlayer::silence() const {
    if (gaudio_) return gaudio_->silence();
    if (bassReady_) return bass_->silence();
    return {};
}

MusicResult MusicPlayer::open() {
    if (gaudio_ && gaudio_->broughtUp()) {
        if (!gaudio_->openStream(kMusicFileName)) return failure(gaudio_->error());
    }
    if (backend_ == MusicBackend::Bass && bassReady_) {
        handle_ = bass_->BASS_StreamCreateFile(0, kMusicFileName, 0, 0, 0);
        if (handle_ == 0) return failure(cannotOpenMusic(kMusicFileName, bass_->lastError()));
    }
    return MusicResult::success();
}

MusicResult MusicPlayer::start() {
    if (gaudio_) gaudio_->play();
    if (backend_ == MusicBackend::Bass && handle_ != 0) {
        if (!bass_->BASS_StreamPlay(handle_, 0, 0)) {
            return failure(withReason(std::string("cannot start the music \"") + kMusicFileName + "\"",
                                      bass_->lastError()));
        }
    }
    return MusicResult::success();
}

void MusicPlayer::release() {
    if (gaudio_) gaudio_->shutDown();
    if (backend_ == MusicBackend::Bass && bassReady_) {
        bass_->BASS_Stop();
        if (handle_ != 0) bass_->BASS_StreamFree(handle_);
        bass_->BASS_Free();
        bassReady_ = false;
        handle_ = 0;
    }
}

}  // namespace zor
