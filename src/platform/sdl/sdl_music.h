#pragma once
// Both music layers on SDL2_mixer. The mixer opens the music file itself, by
// the name it is given, relative to the current directory. With
// SDL_AUDIODRIVER=dummy (set before the first use) music plays silently in
// real time, for machines without a sound card.

#include <memory>
#include <string>
#include <vector>

#include "platform/music.h"

struct _Mix_Music;

namespace zor {

// One open audio device and one piece of music at a time.
class MixerDevice {
public:
    ~MixerDevice();
    bool open(int frequency);
    void close();
    bool isOpen() const { return open_; }
    _Mix_Music* load(const char* fileName);
    // playCount 1 = once; starts `startSeconds` in.
    bool play(_Mix_Music* music, int playCount, double startSeconds);
    void setVolume(float volume);  // 0 to 1
    void halt();
    static void release(_Mix_Music* music);
    const std::string& error() const { return error_; }

private:
    bool open_ = false;
    std::string error_;
};

class SdlBass final : public BassApi {
public:
    ~SdlBass() override;
    std::uint32_t BASS_GetVersion() override { return kBassVersion; }
    int BASS_Init(int device, std::uint32_t frequency, std::uint32_t flags, void* window) override;
    int BASS_Start() override;
    StreamHandle BASS_StreamCreateFile(int inMemory, const void* file, std::uint32_t offset,
                                       std::uint32_t length, std::uint32_t flags) override;
    int BASS_StreamPlay(StreamHandle handle, int flush, std::uint32_t flags) override;
    int BASS_Stop() override;
    void BASS_StreamFree(StreamHandle handle) override;
    void BASS_Free() override;

    std::string lastError() const override { return device_.error(); }

private:
    _Mix_Music* stream(StreamHandle handle) const;

    MixerDevice device_;
    std::vector<_Mix_Music*> streams_;  // handle = index + 1; null once freed
};

class SdlGaudio final : public GaudioApi {
public:
    SdlGaudio();
    ~SdlGaudio() override;
    GAUDIO1* GA_GetInterface(std::uint32_t version) override;
    std::string lastError() const override;

private:
    class Audio;
    std::unique_ptr<Audio> audio_;
};

}  // namespace zor
