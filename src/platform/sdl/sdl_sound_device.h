#pragma once
// The sound device on Linux: SDL's audio output, opened for 16-bit stereo at
// the rate asked (SDL converts to the hardware's own). A callback on SDL's
// audio thread pulls frames from the piece that plays; the position counts
// the frames it pulled. A piece is its MP3 file decoded (mp3_decoder.h) and
// converted once, when loaded, to the output's rate and channels.
//
// No sound device: SDL's audio cannot start (no driver works, or the one
// SDL_AUDIODRIVER names is not there), or no output device is listed and
// none opens. With SDL_AUDIODRIVER=dummy, set before the first use, music
// plays silently in real time, for machines without a sound card.

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/sound_device.h"

namespace zor {

class SdlSoundDevice final : public SoundDevice {
public:
    SdlSoundDevice() = default;
    ~SdlSoundDevice() override;
    SdlSoundDevice(const SdlSoundDevice&) = delete;
    SdlSoundDevice& operator=(const SdlSoundDevice&) = delete;

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
    // A piece as the output takes it: interleaved at the output's rate and
    // channels.
    struct Piece {
        SoundPiece shape;  // the piece at its own rate
        std::vector<std::int16_t> samples;
        std::uint64_t frames = 0;  // at the output's rate
    };
    // What the callback reads and advances; changed only with the device
    // locked.
    struct Playing {
        const Piece* piece = nullptr;
        std::uint64_t startFrame = 0;  // at the output's rate
        std::uint64_t pulled = 0;      // frames pulled since the start
        int playCount = 1;
        int volume = 128;              // SDL_MIX_MAXVOLUME
    };

    static void pull(void* self, std::uint8_t* stream, int length);
    void fill(std::uint8_t* stream, int length);

    std::uint32_t device_ = 0;  // SDL_AudioDeviceID; 0 while closed
    int rate_ = 0;
    int channels_ = 0;
    std::map<int, std::unique_ptr<Piece>> pieces_;
    int nextPiece_ = 1;
    Playing playing_;
    std::uint64_t stoppedAt_ = 0;  // the position once nothing plays
    std::string error_;
};

}  // namespace zor
