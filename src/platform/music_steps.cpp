#include "platform/music_steps.h"

namespace zor {

std::string soundDeviceRefused(const std::string& reason) {
    return "the sound device cannot be opened" + (reason.empty() ? std::string() : " (" + reason + ")") +
           "; start with -nosound to play without music";
}

std::string cannotOpenMusic(const std::string& fileName, const std::string& reason) {
    return "cannot open the music \"" + fileName + "\"" + (reason.empty() ? std::string() : " (" + reason + ")");
}

bool GaudioSteps::bringUp() {
    audio_ = api_.GA_GetInterface(kGaudioInterfaceVersion);
    if (!audio_) {
        error_ = "the gaudio audio library gives no interface";
        return false;
    }
    if (audio_->Init(0) != 1) {
        audio_ = nullptr;
        error_ = soundDeviceRefused(api_.lastError());
        return false;
    }
    stream_ = audio_->GetStreamInterface(kGaudioStreamVersion);
    if (!stream_) {
        error_ = "the gaudio audio library gives no MP3 stream";
        return false;
    }
    return true;
}

bool GaudioSteps::openStream(const char* fileName) {
    if (!stream_) return false;
    // The stream's leading members, as the library expects them filled.
    stream_->sourceIsFile = 1;
    stream_->playCount = 1;
    stream_->fileName = fileName;
    stream_->startMilliseconds = 0;
    open_ = stream_->Initialize() != 0;
    if (!open_) error_ = cannotOpenMusic(fileName, api_.lastError());
    return open_;
}

void GaudioSteps::play(std::int32_t startMilliseconds) {
    if (!open_) return;
    stream_->startMilliseconds = startMilliseconds;
    stream_->Play();
    stream_->SetVolume(1.0f);
}

void GaudioSteps::kill() {
    if (!open_) return;
    stream_->Kill();
    open_ = false;
}

void GaudioSteps::shutDown() {
    if (!audio_) return;
    kill();
    audio_->ShutDown();
    audio_ = nullptr;
    stream_ = nullptr;
}

}  // namespace zor
