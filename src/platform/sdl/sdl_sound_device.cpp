#include "platform/sdl/sdl_sound_device.h"

#include <SDL2/SDL.h>

#include <algorithm>
#include <cstring>

#include "platform/mp3_decoder.h"

namespace zor {

namespace {

// Frames a callback asks for at a time: about 46 ms at 44.1 kHz.
constexpr Uint16 kCallbackFrames = 2048;

// A piece's frame at another rate.
std::uint64_t atRate(std::uint64_t frame, int from, int to) {
    return from > 0 ? frame * static_cast<std::uint64_t>(to) / static_cast<std::uint64_t>(from) : 0;
}

// SDL's own conversion, put through in slices so that no length passes an
// int; false with `error` when SDL refuses.
bool convert(const Pcm& pcm, int rate, int channels, std::vector<std::int16_t>& out, std::string& error) {
    SDL_AudioStream* stream =
        SDL_NewAudioStream(AUDIO_S16SYS, static_cast<Uint8>(pcm.channels), pcm.rate, AUDIO_S16SYS,
                           static_cast<Uint8>(channels), rate);
    if (!stream) {
        error = std::string("cannot be converted for the sound device: ") + SDL_GetError();
        return false;
    }
    constexpr std::size_t kSlice = 1 << 20;  // samples
    const auto take = [&] {
        const int available = SDL_AudioStreamAvailable(stream);
        if (available <= 0) return;
        const std::size_t at = out.size();
        out.resize(at + static_cast<std::size_t>(available) / sizeof(std::int16_t));
        const int got = SDL_AudioStreamGet(stream, out.data() + at, available);
        out.resize(at + static_cast<std::size_t>(std::max(got, 0)) / sizeof(std::int16_t));
    };
    bool ok = true;
    for (std::size_t at = 0; ok && at < pcm.samples.size(); at += kSlice) {
        const std::size_t count = std::min(kSlice, pcm.samples.size() - at);
        ok = SDL_AudioStreamPut(stream, pcm.samples.data() + at, static_cast<int>(count * sizeof(std::int16_t))) == 0;
        take();
    }
    ok = ok && SDL_AudioStreamFlush(stream) == 0;
    take();
    if (!ok) error = std::string("cannot be converted for the sound device: ") + SDL_GetError();
    SDL_FreeAudioStream(stream);
    return ok;
}

}  // namespace

SdlSoundDevice::~SdlSoundDevice() { close(); }

SoundOpening SdlSoundDevice::open(int rate) {
    if (device_ != 0) {
        error_ = "the sound device is already open";
        return SoundOpening::Failed;
    }
    if (rate < 8000 || rate > 192000) {
        error_ = "the sound device takes no rate of " + std::to_string(rate) + " frames a second";
        return SoundOpening::Failed;
    }
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
        error_ = SDL_GetError();
        return SoundOpening::NoDevice;
    }
    SDL_AudioSpec wanted{};
    wanted.freq = rate;
    wanted.format = AUDIO_S16SYS;
    wanted.channels = 2;
    wanted.samples = kCallbackFrames;
    wanted.callback = &SdlSoundDevice::pull;
    wanted.userdata = this;
    SDL_AudioSpec given{};
    // No changes allowed: SDL converts to whatever the hardware takes.
    const SDL_AudioDeviceID device = SDL_OpenAudioDevice(nullptr, 0, &wanted, &given, 0);
    if (device == 0) {
        error_ = SDL_GetError();
        const int outputs = SDL_GetNumAudioDevices(0);
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        return outputs == 0 ? SoundOpening::NoDevice : SoundOpening::Failed;
    }
    device_ = device;
    rate_ = rate;
    channels_ = 2;
    playing_ = Playing{};
    stoppedAt_ = 0;
    SDL_PauseAudioDevice(device_, 0);
    return SoundOpening::Opened;
}

void SdlSoundDevice::close() {
    if (device_ == 0) return;
    // Waits for a callback that runs.
    SDL_CloseAudioDevice(device_);
    device_ = 0;
    playing_ = Playing{};
    pieces_.clear();
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
}

SoundPiece SdlSoundDevice::load(const std::string& fileName) {
    if (device_ == 0) {
        error_ = "the sound device is not open";
        return {};
    }
    Pcm pcm;
    if (!readMp3File(fileName, pcm, error_)) return {};
    auto piece = std::make_unique<Piece>();
    piece->shape = SoundPiece{nextPiece_, pcm.rate, pcm.frames()};
    if (pcm.rate == rate_ && pcm.channels == channels_) {
        piece->samples = std::move(pcm.samples);
    } else {
        // Twice the largest decoded music is the most a piece may take here.
        if (atRate(pcm.frames(), pcm.rate, rate_) * static_cast<std::uint64_t>(channels_) * 2 > 2 * kMaxPcmBytes) {
            error_ = "\"" + fileName + "\" is too long to play";
            return {};
        }
        std::string why;
        if (!convert(pcm, rate_, channels_, piece->samples, why)) {
            error_ = "\"" + fileName + "\" " + why;
            return {};
        }
    }
    piece->frames = piece->samples.size() / static_cast<std::size_t>(channels_);
    const SoundPiece shape = piece->shape;
    pieces_[nextPiece_++] = std::move(piece);
    return shape;
}

bool SdlSoundDevice::play(int piece, std::uint64_t startFrame, int playCount) {
    const auto found = pieces_.find(piece);
    if (device_ == 0 || found == pieces_.end()) {
        error_ = device_ == 0 ? "the sound device is not open" : "no such piece of music";
        return false;
    }
    const Piece& chosen = *found->second;
    const std::uint64_t start = std::min(atRate(startFrame, chosen.shape.rate, rate_), chosen.frames);
    SDL_LockAudioDevice(device_);
    playing_.piece = &chosen;
    playing_.startFrame = start;
    playing_.pulled = 0;
    playing_.playCount = std::max(playCount, 1);
    SDL_UnlockAudioDevice(device_);
    return true;
}

void SdlSoundDevice::setVolume(float volume) {
    const float level = std::clamp(volume, 0.0f, 1.0f);  // NaN passes, and counts as 0
    const int mixed = level > 0 ? static_cast<int>(level * SDL_MIX_MAXVOLUME + 0.5f) : 0;
    if (device_ != 0) SDL_LockAudioDevice(device_);
    playing_.volume = mixed;
    if (device_ != 0) SDL_UnlockAudioDevice(device_);
}

std::uint64_t SdlSoundDevice::position() {
    if (device_ == 0) return stoppedAt_;
    SDL_LockAudioDevice(device_);
    std::uint64_t at = stoppedAt_;
    if (const Piece* piece = playing_.piece) {
        const std::uint64_t frame = pieceFrameAt(playing_.startFrame, playing_.pulled, piece->frames, playing_.playCount);
        // The end is the piece's own length, whatever the rounding.
        at = frame >= piece->frames ? piece->shape.frames
                                    : std::min(atRate(frame, rate_, piece->shape.rate), piece->shape.frames);
    }
    SDL_UnlockAudioDevice(device_);
    return at;
}

void SdlSoundDevice::stop() {
    if (device_ == 0) return;
    const std::uint64_t at = position();
    SDL_LockAudioDevice(device_);
    playing_.piece = nullptr;
    SDL_UnlockAudioDevice(device_);
    stoppedAt_ = at;
}

void SdlSoundDevice::release(int piece) {
    const auto found = pieces_.find(piece);
    if (found == pieces_.end()) return;
    if (device_ != 0 && playing_.piece == found->second.get()) stop();
    pieces_.erase(found);
}

void SdlSoundDevice::pull(void* self, std::uint8_t* stream, int length) {
    static_cast<SdlSoundDevice*>(self)->fill(stream, length);
}

// On SDL's audio thread, with the device locked.
void SdlSoundDevice::fill(std::uint8_t* stream, int length) {
    std::memset(stream, 0, static_cast<std::size_t>(length));
    const Piece* piece = playing_.piece;
    if (!piece || piece->frames == 0) return;
    const std::size_t frameBytes = sizeof(std::int16_t) * static_cast<std::size_t>(channels_);
    const std::uint64_t wanted = static_cast<std::uint64_t>(length) / frameBytes;
    std::uint64_t done = 0;
    while (done < wanted) {
        const std::uint64_t frame =
            pieceFrameAt(playing_.startFrame, playing_.pulled, piece->frames, playing_.playCount);
        if (frame >= piece->frames) break;  // played to its end
        const std::uint64_t count = std::min(wanted - done, piece->frames - frame);
        SDL_MixAudioFormat(stream + done * frameBytes,
                           reinterpret_cast<const Uint8*>(piece->samples.data() + frame * static_cast<std::uint64_t>(channels_)),
                           AUDIO_S16SYS, static_cast<Uint32>(count * frameBytes), playing_.volume);
        playing_.pulled += count;
        done += count;
    }
}

}  // namespace zor
