#pragma once
// The BASS-like and gaudio-like music layers (music.h), written once over a
// sound device (sound_device.h); every platform plays through these.
//
// Start-up (BASS_Init, GAUDIO1::Init) opens the device at 44100 frames a
// second (BASS: the frequency asked). A device that finds no sound device
// makes the layer silent: every later call succeeds without touching the
// device or the music file, and silence() says why. A device that fails
// otherwise makes start-up fail, with lastError(). With a device, a stream
// is its file made playable by the device (read and decoded at
// BASS_StreamCreateFile or MP3STREAM1::Initialize), and a missing or bad file
// fails there, as the libraries' callers expect. The gaudio-like stream keeps
// its piece after a Kill: initialised again on the same file, unchanged since
// (the preview's seeks), it plays without reading and decoding it again.

#include <memory>
#include <string>
#include <vector>

#include "platform/music.h"
#include "platform/sound_device.h"

namespace zor {

// The rate a layer opens its device at when the caller names none.
inline constexpr int kMusicRate = 44100;

class DeviceBass final : public BassApi {
public:
    explicit DeviceBass(SoundDevice& device) : device_(device) {}
    ~DeviceBass() override;
    DeviceBass(const DeviceBass&) = delete;
    DeviceBass& operator=(const DeviceBass&) = delete;

    std::uint32_t BASS_GetVersion() override { return kBassVersion; }
    int BASS_Init(int device, std::uint32_t frequency, std::uint32_t flags, void* window) override;
    int BASS_Start() override;
    // Whole files by name only (inMemory 0, offset and length 0).
    StreamHandle BASS_StreamCreateFile(int inMemory, const void* file, std::uint32_t offset, std::uint32_t length,
                                       std::uint32_t flags) override;
    int BASS_StreamPlay(StreamHandle handle, int flush, std::uint32_t flags) override;
    int BASS_Stop() override;
    void BASS_StreamFree(StreamHandle handle) override;
    void BASS_Free() override;
    std::string lastError() const override { return error_; }
    std::string silence() const override { return silence_; }

private:
    struct Stream {
        int piece = 0;  // the device's; 0 while silent
        bool open = true;
    };
    Stream* stream(StreamHandle handle);
    bool silent() const { return !silence_.empty(); }

    SoundDevice& device_;
    bool ready_ = false;
    std::string silence_;
    std::vector<Stream> streams_;  // handle = index + 1
    std::string error_;
};

class DeviceGaudio final : public GaudioApi {
public:
    explicit DeviceGaudio(SoundDevice& device);
    ~DeviceGaudio() override;
    DeviceGaudio(const DeviceGaudio&) = delete;
    DeviceGaudio& operator=(const DeviceGaudio&) = delete;

    GAUDIO1* GA_GetInterface(std::uint32_t version) override;
    std::string lastError() const override;
    std::string silence() const override;

private:
    class Audio;
    std::unique_ptr<Audio> audio_;
};

}  // namespace zor
