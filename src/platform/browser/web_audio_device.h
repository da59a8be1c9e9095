#pragma once
// The sound device in a web page (Emscripten builds only): the browser's
// Web Audio, through the page's audio object (Module.page.audio, made by
// page/page-audio.js). The page fetches each music file and decodes it into
// an AudioBuffer under its file name before the player starts, and makes the
// audio context on the click that starts the demo (browsers allow sound only
// after one). A piece is such a buffer, kept where it is in the page rather
// than copied into the player's memory; it plays through an
// AudioBufferSourceNode started at an offset, into one gain node for the
// volume, and its position is read from the context's clock.
//
// No sound device: the page has no audio context (the browser gave none, or
// the page did not make one).

#include <cstdint>
#include <map>
#include <string>

#include "platform/sound_device.h"

namespace zor {

class WebAudioSoundDevice final : public SoundDevice {
public:
    WebAudioSoundDevice() = default;
    ~WebAudioSoundDevice() override;
    WebAudioSoundDevice(const WebAudioSoundDevice&) = delete;
    WebAudioSoundDevice& operator=(const WebAudioSoundDevice&) = delete;

    SoundOpening open(int rate) override;
    SoundPiece load(const std::string& fileName) override;
    bool play(int piece, std::uint64_t startFrame, int playCount) override;
    void setVolume(float volume) override;
    void stop() override;
    std::uint64_t position() override;
    void release(int piece) override;
    void close() override;
    const std::string& error() const override { return error_; }

private:
    struct Playing {
        SoundPiece piece;  // id 0: nothing plays
        std::uint64_t startFrame = 0;
        int playCount = 1;
    };

    bool open_ = false;
    std::map<int, SoundPiece> pieces_;
    Playing playing_;
    float volume_ = 1.0f;
    std::uint64_t stoppedAt_ = 0;  // the position once nothing plays
    std::string error_;
};

}  // namespace zor
