#include "platform/sdl/sdl_music.h"

#include <SDL2/SDL.h>
#include <SDL2/SDL_mixer.h>

#include <string_view>

namespace zor {

namespace {
constexpr int kChunkSamples = 2048;
}

MixerDevice::~MixerDevice() { close(); }

bool MixerDevice::open(int frequency) {
    if (open_) {
        error_ = "the audio device is already open";
        return false;
    }
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
        error_ = std::string("no audio device can be opened: ") + SDL_GetError();
        return false;
    }
    if (Mix_OpenAudio(frequency, MIX_DEFAULT_FORMAT, 2, kChunkSamples) != 0) {
        error_ = std::string("no audio device can be opened: ") + Mix_GetError();
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        return false;
    }
    // MP3 support is optional in SDL2_mixer builds; without it loading fails
    // later with a message that says so.
    Mix_Init(MIX_INIT_MP3);
    open_ = true;
    return true;
}

void MixerDevice::close() {
    if (!open_) return;
    Mix_HaltMusic();
    Mix_CloseAudio();
    Mix_Quit();
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
    open_ = false;
}

_Mix_Music* MixerDevice::load(const char* fileName) {
    if (!open_) {
        error_ = "the audio device is not open";
        return nullptr;
    }
    if (!fileName) {
        error_ = "no music file named";
        return nullptr;
    }
    Mix_Music* music = Mix_LoadMUS(fileName);
    if (!music) error_ = std::string("cannot play \"") + fileName + "\": " + Mix_GetError();
    return music;
}

bool MixerDevice::play(_Mix_Music* music, int playCount, double startSeconds) {
    if (!open_ || !music) return false;
    if (Mix_PlayMusic(music, playCount < 1 ? 1 : playCount) != 0) {
        error_ = std::string("cannot start the music: ") + Mix_GetError();
        return false;
    }
    if (startSeconds > 0) Mix_SetMusicPosition(startSeconds);
    return true;
}

void MixerDevice::setVolume(float volume) {
    if (!open_) return;
    if (!(volume > 0)) volume = 0;
    if (volume > 1) volume = 1;
    Mix_VolumeMusic(static_cast<int>(volume * MIX_MAX_VOLUME + 0.5f));
}

void MixerDevice::halt() {
    if (open_) Mix_HaltMusic();
}

void MixerDevice::release(_Mix_Music* music) {
    if (music) Mix_FreeMusic(music);
}

// ---- BASS-like -------------------------------------------------------------

SdlBass::~SdlBass() { BASS_Free(); }

int SdlBass::BASS_Init(int /*device*/, std::uint32_t frequency, std::uint32_t /*flags*/,
                       void* /*window*/) {
    return device_.open(static_cast<int>(frequency)) ? 1 : 0;
}

int SdlBass::BASS_Start() {
    if (!device_.isOpen()) return 0;
    Mix_ResumeMusic();
    return 1;
}

StreamHandle SdlBass::BASS_StreamCreateFile(int inMemory, const void* file, std::uint32_t offset,
                                            std::uint32_t length, std::uint32_t /*flags*/) {
    // Only whole files by name are supported.
    if (inMemory || offset != 0 || length != 0) return 0;
    Mix_Music* music = device_.load(static_cast<const char*>(file));
    if (!music) return 0;
    streams_.push_back(music);
    return static_cast<StreamHandle>(streams_.size());
}

_Mix_Music* SdlBass::stream(StreamHandle handle) const {
    if (handle == 0 || handle > streams_.size()) return nullptr;
    return streams_[handle - 1];
}

int SdlBass::BASS_StreamPlay(StreamHandle handle, int /*flush*/, std::uint32_t /*flags*/) {
    return device_.play(stream(handle), 1, 0.0) ? 1 : 0;
}

int SdlBass::BASS_Stop() {
    device_.halt();
    return device_.isOpen() ? 1 : 0;
}

void SdlBass::BASS_StreamFree(StreamHandle handle) {
    if (Mix_Music* music = stream(handle)) {
        device_.halt();
        MixerDevice::release(music);
        streams_[handle - 1] = nullptr;
    }
}

void SdlBass::BASS_Free() {
    device_.halt();
    for (Mix_Music*& music : streams_) {
        MixerDevice::release(music);
        music = nullptr;
    }
    device_.close();
}

// ---- gaudio-like -----------------------------------------------------------

class SdlGaudio::Audio final : public GAUDIO1, public Mp3StreamDriver {
public:
    ~Audio() override { ShutDown(); }

    std::int32_t Init(std::uint32_t /*flags*/) override {
        return device_.open(44100) ? 1 : 0;
    }

    MP3STREAM1* GetStreamInterface(std::uint32_t version) override {
        if (version != kGaudioStreamVersion || !device_.isOpen()) return nullptr;
        stream_ = MP3STREAM1{};
        stream_.driver = this;
        return &stream_;
    }

    void ShutDown() override {
        kill(stream_);
        device_.close();
    }

    std::int32_t initialize(MP3STREAM1& stream) override {
        if (stream.sourceIsFile != 1) return 0;
        MixerDevice::release(music_);
        music_ = device_.load(stream.fileName);
        return music_ ? 1 : 0;
    }

    void play(MP3STREAM1& stream) override {
        device_.play(music_, stream.playCount, stream.startMilliseconds / 1000.0);
    }

    void setVolume(MP3STREAM1&, float volume) override { device_.setVolume(volume); }

    void kill(MP3STREAM1&) override {
        device_.halt();
        MixerDevice::release(music_);
        music_ = nullptr;
    }

    const std::string& error() const { return device_.error(); }

private:
    MixerDevice device_;
    MP3STREAM1 stream_;
    Mix_Music* music_ = nullptr;
};

SdlGaudio::SdlGaudio() : audio_(std::make_unique<Audio>()) {}
SdlGaudio::~SdlGaudio() = default;

GAUDIO1* SdlGaudio::GA_GetInterface(std::uint32_t version) {
    return version == kGaudioInterfaceVersion ? audio_.get() : nullptr;
}

std::string SdlGaudio::lastError() const { return audio_->error(); }

}  // namespace zor
