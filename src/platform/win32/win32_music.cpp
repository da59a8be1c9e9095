#include "platform/win32/win32_music.h"

#include <windows.h>

#include <mmsystem.h>
#include <dsound.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <filesystem>
#include <functional>
#include <iostream>
#include <thread>
#include <vector>

#include "platform/win32/acm_mp3_decoder.h"
#include "system/win32/text_win32.h"

namespace zor {

namespace win32 {

namespace {

void noteSilence(const std::string& why) {
    std::cerr << "zor: no sound device (" << why << "); playing without music\n";
    std::cerr.flush();
}

WAVEFORMATEX pcmFormat(const Mp3Format& format) {
    WAVEFORMATEX pcm{};
    pcm.wFormatTag = WAVE_FORMAT_PCM;
    pcm.nChannels = static_cast<WORD>(format.channels);
    pcm.nSamplesPerSec = static_cast<DWORD>(format.sampleRate);
    pcm.wBitsPerSample = 16;
    pcm.nBlockAlign = static_cast<WORD>(2 * format.channels);
    pcm.nAvgBytesPerSec = pcm.nSamplesPerSec * pcm.nBlockAlign;
    return pcm;
}

}  // namespace

// Decoded PCM as the output threads take it: whole samples from the decoder
// (playing it `playCount` times, from `skipSamples` on), then nothing.
class PcmSource {
public:
    PcmSource(AcmMp3Decoder& decoder, int playCount, std::size_t skipSamples)
        : decoder_(decoder), rounds_(std::max(playCount, 1)), skip_(skipSamples) {}

    // Up to `count` samples into `out`; fewer only at the end.
    std::size_t take(std::int16_t* out, std::size_t count) {
        std::size_t done = 0;
        while (done < count) {
            if (next_ >= pending_.size()) {
                pending_.clear();
                next_ = 0;
                if (!refill()) break;
                continue;
            }
            const std::size_t n = std::min(count - done, pending_.size() - next_);
            std::copy_n(pending_.data() + next_, n, out + done);
            next_ += n;
            done += n;
        }
        return done;
    }

private:
    bool refill() {
        while (pending_.empty()) {
            if (!decoder_.decode(pending_)) {
                if (--rounds_ <= 0) return false;
                decoder_.rewind();
                continue;
            }
            if (skip_ > 0) {
                const std::size_t n = std::min(skip_, pending_.size());
                pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(n));
                skip_ -= n;
            }
        }
        return true;
    }

    AcmMp3Decoder& decoder_;
    int rounds_;
    std::size_t skip_;
    std::vector<std::int16_t> pending_;
    std::size_t next_ = 0;
};

// One stream playing on one output, fed by a thread of its own.
class PcmPlayer {
public:
    virtual ~PcmPlayer() = default;
    // Starts playing from `source`; false with `error` when the device
    // cannot take it.
    virtual bool start(const Mp3Format& format, std::unique_ptr<PcmSource> source, std::string& error) = 0;
    virtual void setVolume(float volume) = 0;
    virtual void stop() = 0;

    AcmMp3Decoder decoder;
};

namespace {

// ---- waveOut ---------------------------------------------------------------

class WaveOutPlayer final : public PcmPlayer {
public:
    ~WaveOutPlayer() override { stop(); }

    bool start(const Mp3Format& format, std::unique_ptr<PcmSource> source, std::string& error) override {
        stop();
        source_ = std::move(source);
        WAVEFORMATEX pcm = pcmFormat(format);
        event_ = CreateEventW(nullptr, FALSE, FALSE, nullptr);
        const MMRESULT result =
            waveOutOpen(&out_, WAVE_MAPPER, &pcm, reinterpret_cast<DWORD_PTR>(event_), 0, CALLBACK_EVENT);
        if (result != MMSYSERR_NOERROR) {
            wchar_t text[MAXERRORLENGTH] = {};
            waveOutGetErrorTextW(result, text, MAXERRORLENGTH);
            error = "waveOut: " + narrow(text);
            out_ = nullptr;
            CloseHandle(event_);
            event_ = nullptr;
            return false;
        }
        if (volume_ >= 0) setVolume(volume_);
        // A tenth of a second a buffer.
        const std::size_t samples = static_cast<std::size_t>(format.sampleRate / 10 * format.channels);
        for (Buffer& buffer : buffers_) buffer.samples.assign(samples, 0);
        stopping_ = false;
        thread_ = std::thread([this] { run(); });
        return true;
    }

    void setVolume(float volume) override {
        volume_ = std::clamp(volume, 0.0f, 1.0f);
        if (!out_) return;
        const auto level = static_cast<DWORD>(std::lround(volume_ * 0xFFFF));
        waveOutSetVolume(out_, level | level << 16);
    }

    void stop() override {
        if (thread_.joinable()) {
            stopping_ = true;
            SetEvent(event_);
            thread_.join();
        }
        if (out_) {
            waveOutReset(out_);
            for (Buffer& buffer : buffers_) {
                if (buffer.queued) waveOutUnprepareHeader(out_, &buffer.header, sizeof buffer.header);
                buffer.queued = false;
            }
            waveOutClose(out_);
            out_ = nullptr;
        }
        if (event_) CloseHandle(event_);
        event_ = nullptr;
    }

private:
    struct Buffer {
        WAVEHDR header{};
        std::vector<std::int16_t> samples;
        bool queued = false;
    };

    void run() {
        bool ended = false;
        while (!stopping_) {
            bool playing = false;
            for (Buffer& buffer : buffers_) {
                if (buffer.queued && !(buffer.header.dwFlags & WHDR_DONE)) {
                    playing = true;
                    continue;
                }
                if (buffer.queued) {
                    waveOutUnprepareHeader(out_, &buffer.header, sizeof buffer.header);
                    buffer.queued = false;
                }
                if (ended) continue;
                const std::size_t got = source_->take(buffer.samples.data(), buffer.samples.size());
                if (got < buffer.samples.size()) ended = true;
                if (got == 0) continue;
                buffer.header = WAVEHDR{};
                buffer.header.lpData = reinterpret_cast<LPSTR>(buffer.samples.data());
                buffer.header.dwBufferLength = static_cast<DWORD>(got * sizeof(std::int16_t));
                if (waveOutPrepareHeader(out_, &buffer.header, sizeof buffer.header) != MMSYSERR_NOERROR) continue;
                if (waveOutWrite(out_, &buffer.header, sizeof buffer.header) != MMSYSERR_NOERROR) {
                    waveOutUnprepareHeader(out_, &buffer.header, sizeof buffer.header);
                    continue;
                }
                buffer.queued = true;
                playing = true;
            }
            if (ended && !playing) break;
            WaitForSingleObject(event_, 100);
        }
    }

    HWAVEOUT out_ = nullptr;
    HANDLE event_ = nullptr;
    Buffer buffers_[4];
    std::unique_ptr<PcmSource> source_;
    std::thread thread_;
    std::atomic<bool> stopping_{false};
    float volume_ = -1;
};

// ---- DirectSound -----------------------------------------------------------

class DirectSoundPlayer final : public PcmPlayer {
public:
    explicit DirectSoundPlayer(IDirectSound* sound) : sound_(sound) {}
    ~DirectSoundPlayer() override { stop(); }

    bool start(const Mp3Format& format, std::unique_ptr<PcmSource> source, std::string& error) override {
        stop();
        source_ = std::move(source);
        WAVEFORMATEX pcm = pcmFormat(format);
        // One second, played round and round while the thread writes ahead.
        size_ = pcm.nAvgBytesPerSec;
        DSBUFFERDESC description{};
        description.dwSize = sizeof description;
        description.dwFlags = DSBCAPS_GLOBALFOCUS | DSBCAPS_GETCURRENTPOSITION2 | DSBCAPS_CTRLVOLUME;
        description.dwBufferBytes = size_;
        description.lpwfxFormat = &pcm;
        const HRESULT result = sound_->CreateSoundBuffer(&description, &buffer_, nullptr);
        if (FAILED(result)) {
            error = "DirectSound refuses a buffer (" + errorText(static_cast<unsigned long>(result)) + ")";
            buffer_ = nullptr;
            return false;
        }
        if (volume_ >= 0) setVolume(volume_);
        written_ = 0;
        realBytes_ = 0;
        ended_ = false;
        fill(0, size_);
        buffer_->Play(0, 0, DSBPLAY_LOOPING);
        stopping_ = false;
        thread_ = std::thread([this] { run(); });
        return true;
    }

    void setVolume(float volume) override {
        volume_ = std::clamp(volume, 0.0f, 1.0f);
        if (!buffer_) return;
        // Hundredths of a decibel below full.
        const LONG level = volume_ <= 0.0001f ? DSBVOLUME_MIN
                                              : static_cast<LONG>(std::lround(2000.0 * std::log10(volume_)));
        buffer_->SetVolume(std::max<LONG>(level, DSBVOLUME_MIN));
    }

    void stop() override {
        if (thread_.joinable()) {
            stopping_ = true;
            thread_.join();
        }
        if (buffer_) {
            buffer_->Stop();
            buffer_->Release();
            buffer_ = nullptr;
        }
    }

private:
    // Writes `bytes` from `offset` of the ring: music, then silence once it
    // has ended.
    void fill(DWORD offset, DWORD bytes) {
        void* parts[2] = {};
        DWORD sizes[2] = {};
        if (FAILED(buffer_->Lock(offset, bytes, &parts[0], &sizes[0], &parts[1], &sizes[1], 0))) return;
        for (int i = 0; i < 2; ++i) {
            auto* samples = static_cast<std::int16_t*>(parts[i]);
            const std::size_t count = sizes[i] / sizeof(std::int16_t);
            const std::size_t got = ended_ ? 0 : source_->take(samples, count);
            if (got < count) ended_ = true;
            std::fill(samples + got, samples + count, std::int16_t{0});
            realBytes_ += got * sizeof(std::int16_t);
        }
        buffer_->Unlock(parts[0], sizes[0], parts[1], sizes[1]);
        written_ += bytes;
    }

    void run() {
        DWORD last = 0;
        std::uint64_t played = 0;
        while (!stopping_) {
            DWORD position = 0;
            if (FAILED(buffer_->GetCurrentPosition(&position, nullptr))) break;
            played += (position + size_ - last) % size_;
            last = position;
            // Everything from the last write up to the play cursor is free.
            const std::uint64_t free = played + size_ - written_;
            if (free >= size_ / 8) fill(static_cast<DWORD>(written_ % size_), static_cast<DWORD>(free));
            if (ended_ && played >= realBytes_) {
                buffer_->Stop();
                break;
            }
            Sleep(20);
        }
    }

    IDirectSound* sound_;
    IDirectSoundBuffer* buffer_ = nullptr;
    DWORD size_ = 0;
    std::uint64_t written_ = 0;
    std::uint64_t realBytes_ = 0;
    bool ended_ = false;
    std::unique_ptr<PcmSource> source_;
    std::thread thread_;
    std::atomic<bool> stopping_{false};
    float volume_ = -1;
};

}  // namespace

}  // namespace win32

// ---- BASS-like, on waveOut ---------------------------------------------------

Win32Bass::Win32Bass() = default;

Win32Bass::~Win32Bass() { BASS_Free(); }

int Win32Bass::BASS_Init(int /*device*/, std::uint32_t /*frequency*/, std::uint32_t /*flags*/, void* /*window*/) {
    ready_ = true;
    if (waveOutGetNumDevs() == 0) {
        win32::noteSilence("waveOut offers none");
    } else {
        player_ = std::make_unique<win32::WaveOutPlayer>();
    }
    return 1;
}

int Win32Bass::BASS_Start() { return ready_ ? 1 : 0; }

StreamHandle Win32Bass::BASS_StreamCreateFile(int inMemory, const void* file, std::uint32_t offset,
                                              std::uint32_t length, std::uint32_t /*flags*/) {
    // Only whole files by name.
    if (!ready_ || inMemory || offset != 0 || length != 0 || !file) return 0;
    win32::AcmMp3Decoder probe;
    win32::AcmMp3Decoder& decoder = player_ ? player_->decoder : probe;
    if (!decoder.open(std::filesystem::path(static_cast<const char*>(file)), error_)) return 0;
    streamOpen_ = true;
    return 1;
}

int Win32Bass::BASS_StreamPlay(StreamHandle handle, int /*flush*/, std::uint32_t /*flags*/) {
    if (handle != 1 || !streamOpen_) return 0;
    if (!player_) return 1;
    auto source = std::make_unique<win32::PcmSource>(player_->decoder, 1, 0);
    std::string why;
    if (!player_->start(player_->decoder.format(), std::move(source), why)) {
        win32::noteSilence(why);
        player_.reset();
    }
    return 1;
}

int Win32Bass::BASS_Stop() {
    if (player_) player_->stop();
    return ready_ ? 1 : 0;
}

void Win32Bass::BASS_StreamFree(StreamHandle handle) {
    if (handle != 1 || !streamOpen_) return;
    if (player_) {
        player_->stop();
        player_->decoder.close();
    }
    streamOpen_ = false;
}

void Win32Bass::BASS_Free() {
    BASS_StreamFree(1);
    player_.reset();
    ready_ = false;
}

// ---- gaudio-like, on DirectSound -------------------------------------------

class Win32Gaudio::Audio final : public GAUDIO1, public Mp3StreamDriver {
public:
    ~Audio() override { ShutDown(); }

    std::int32_t Init(std::uint32_t /*flags*/) override {
        ShutDown();
        ready_ = true;
        const HRESULT result = DirectSoundCreate(nullptr, &sound_, nullptr);
        if (FAILED(result)) {
            sound_ = nullptr;
            win32::noteSilence("DirectSound: " + win32::errorText(static_cast<unsigned long>(result)));
            return 1;
        }
        // The desktop as the owner: with global focus the music goes on
        // whichever window is in front.
        sound_->SetCooperativeLevel(GetDesktopWindow(), DSSCL_PRIORITY);
        player_ = std::make_unique<win32::DirectSoundPlayer>(sound_);
        return 1;
    }

    MP3STREAM1* GetStreamInterface(std::uint32_t version) override {
        if (version != kGaudioStreamVersion || !ready_) return nullptr;
        stream_ = MP3STREAM1{};
        stream_.driver = this;
        return &stream_;
    }

    void ShutDown() override {
        kill(stream_);
        player_.reset();
        if (sound_) sound_->Release();
        sound_ = nullptr;
        ready_ = false;
    }

    std::int32_t initialize(MP3STREAM1& stream) override {
        if (stream.sourceIsFile != 1 || !stream.fileName) return 0;
        win32::AcmMp3Decoder probe;
        win32::AcmMp3Decoder& decoder = player_ ? player_->decoder : probe;
        opened_ = decoder.open(std::filesystem::path(stream.fileName), error_);
        return opened_ ? 1 : 0;
    }

    void play(MP3STREAM1& stream) override {
        if (!opened_ || !player_) return;
        const win32::Mp3Format& format = player_->decoder.format();
        const std::size_t skip = static_cast<std::size_t>(std::max(stream.startMilliseconds, 0)) *
                                 static_cast<std::size_t>(format.sampleRate) / 1000 *
                                 static_cast<std::size_t>(format.channels);
        auto source = std::make_unique<win32::PcmSource>(player_->decoder, stream.playCount, skip);
        std::string why;
        if (!player_->start(format, std::move(source), why)) {
            win32::noteSilence(why);
            player_.reset();
        } else if (volume_ >= 0) {
            player_->setVolume(volume_);
        }
    }

    void setVolume(MP3STREAM1&, float volume) override {
        volume_ = volume;
        if (player_) player_->setVolume(volume);
    }

    void kill(MP3STREAM1&) override {
        if (player_) {
            player_->stop();
            player_->decoder.close();
        }
        opened_ = false;
    }

    const std::string& error() const { return error_; }

private:
    IDirectSound* sound_ = nullptr;
    std::unique_ptr<win32::PcmPlayer> player_;
    MP3STREAM1 stream_;
    bool ready_ = false;
    bool opened_ = false;
    float volume_ = -1;
    std::string error_;
};

Win32Gaudio::Win32Gaudio() : audio_(std::make_unique<Audio>()) {}
Win32Gaudio::~Win32Gaudio() = default;

GAUDIO1* Win32Gaudio::GA_GetInterface(std::uint32_t version) {
    return version == kGaudioInterfaceVersion ? audio_.get() : nullptr;
}

std::string Win32Gaudio::lastError() const { return audio_->error(); }

}  // namespace zor
