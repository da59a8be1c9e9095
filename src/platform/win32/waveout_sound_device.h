#pragma once
// The sound device on Windows: waveOut, opened for 16-bit stereo at the rate
// asked and opened again at a piece's own rate and channels when it plays
// one that differs (Windows' mixer converts for the hardware). A thread of
// its own queues tenth-of-a-second buffers of the piece that plays; the
// position is what waveOut says it has played. A piece is its MP3 file
// decoded by Windows' own codec (mp3_decoder.h), kept as decoded.
//
// No sound device: waveOut lists no device, or opening one finds no driver
// or no device behind it (Wine without a sound driver among them).

#include <cstdint>
#include <map>
#include <memory>
#include <string>

#include "platform/mp3_decoder.h"
#include "platform/sound_device.h"

namespace zor {

class WaveOutSoundDevice final : public SoundDevice {
public:
    WaveOutSoundDevice();
    ~WaveOutSoundDevice() override;
    WaveOutSoundDevice(const WaveOutSoundDevice&) = delete;
    WaveOutSoundDevice& operator=(const WaveOutSoundDevice&) = delete;

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
    struct Output;  // the waveOut handle, its event, buffers and feeding thread

    std::unique_ptr<Output> output_;
    bool open_ = false;
    std::map<int, std::unique_ptr<Pcm>> pieces_;
    int nextPiece_ = 1;
    float volume_ = 1.0f;
    std::uint64_t stoppedAt_ = 0;  // the position once nothing plays
    std::string error_;
};

}  // namespace zor
