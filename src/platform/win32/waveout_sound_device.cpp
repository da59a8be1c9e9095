#include "platform/win32/waveout_sound_device.h"

#include <windows.h>

#include <mmsystem.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <thread>
#include <vector>

#include "system/win32/text_win32.h"

namespace zor {

struct WaveOutSoundDevice::Output {
    struct Buffer {
        WAVEHDR header{};
        std::vector<std::int16_t> samples;
        bool queued = false;
    };

    HWAVEOUT handle = nullptr;
    HANDLE event = nullptr;  // set by waveOut as each buffer is done
    int rate = 0;
    int channels = 0;
    Buffer buffers[4];
    // What plays: set before the thread starts, read by it and by position().
    const Pcm* piece = nullptr;
    std::uint64_t startFrame = 0;
    int playCount = 1;
    std::uint64_t queuedFrames = 0;  // the thread's own
    std::thread thread;
    std::atomic<bool> stopping{false};

    ~Output() { closeHandle(); }

    // waveOut at this rate and channel count; anything but Opened leaves it
    // closed, with `why`.
    SoundOpening openAt(int frameRate, int channelCount, std::string& why) {
        WAVEFORMATEX pcm{};
        pcm.wFormatTag = WAVE_FORMAT_PCM;
        pcm.nChannels = static_cast<WORD>(channelCount);
        pcm.nSamplesPerSec = static_cast<DWORD>(frameRate);
        pcm.wBitsPerSample = 16;
        pcm.nBlockAlign = static_cast<WORD>(2 * channelCount);
        pcm.nAvgBytesPerSec = pcm.nSamplesPerSec * pcm.nBlockAlign;
        event = CreateEventW(nullptr, FALSE, FALSE, nullptr);
        const MMRESULT result =
            waveOutOpen(&handle, WAVE_MAPPER, &pcm, reinterpret_cast<DWORD_PTR>(event), 0, CALLBACK_EVENT);
        if (result != MMSYSERR_NOERROR) {
            wchar_t text[MAXERRORLENGTH] = {};
            waveOutGetErrorTextW(result, text, MAXERRORLENGTH);
            why = "waveOut: " + win32::narrow(text);
            handle = nullptr;
            CloseHandle(event);
            event = nullptr;
            const bool none = result == MMSYSERR_NODRIVER || result == MMSYSERR_BADDEVICEID ||
                              result == MMSYSERR_NOTENABLED;
            return none ? SoundOpening::NoDevice : SoundOpening::Failed;
        }
        rate = frameRate;
        channels = channelCount;
        // A tenth of a second a buffer.
        for (Buffer& buffer : buffers)
            buffer.samples.assign(static_cast<std::size_t>(rate / 10 * channels), 0);
        return SoundOpening::Opened;
    }

    void closeHandle() {
        halt();
        if (handle) waveOutClose(handle);
        handle = nullptr;
        if (event) CloseHandle(event);
        event = nullptr;
    }

    void start(const Pcm& pcm, std::uint64_t from, int count) {
        halt();
        piece = &pcm;
        startFrame = from;
        playCount = count;
        queuedFrames = 0;
        stopping = false;
        thread = std::thread([this] { run(); });
    }

    // Nothing plays or is queued after this; the position starts from 0.
    void halt() {
        if (thread.joinable()) {
            stopping = true;
            SetEvent(event);
            thread.join();
        }
        if (handle) {
            waveOutReset(handle);
            for (Buffer& buffer : buffers) {
                if (buffer.queued) waveOutUnprepareHeader(handle, &buffer.header, sizeof buffer.header);
                buffer.queued = false;
            }
        }
        piece = nullptr;
    }

    // Frames played since the start.
    std::uint64_t played() {
        MMTIME time{};
        time.wType = TIME_SAMPLES;
        if (!handle || waveOutGetPosition(handle, &time, sizeof time) != MMSYSERR_NOERROR) return 0;
        if (time.wType == TIME_SAMPLES) return time.u.sample;
        if (time.wType == TIME_BYTES && channels > 0) return time.u.cb / (2u * static_cast<unsigned>(channels));
        return 0;
    }

    // The feeding thread: refills each buffer waveOut is done with, until
    // the piece has played its rounds or it is told to stop.
    void run() {
        const std::uint64_t frames = piece->frames();
        const auto width = static_cast<std::uint64_t>(channels);
        bool ended = false;
        while (!stopping) {
            bool playing = false;
            for (Buffer& buffer : buffers) {
                if (buffer.queued && !(buffer.header.dwFlags & WHDR_DONE)) {
                    playing = true;
                    continue;
                }
                if (buffer.queued) {
                    waveOutUnprepareHeader(handle, &buffer.header, sizeof buffer.header);
                    buffer.queued = false;
                }
                if (ended) continue;
                const std::uint64_t frame = pieceFrameAt(startFrame, queuedFrames, frames, playCount);
                if (frame >= frames) {
                    ended = true;
                    continue;
                }
                const std::uint64_t count = std::min<std::uint64_t>(buffer.samples.size() / width, frames - frame);
                std::copy_n(piece->samples.begin() + static_cast<std::ptrdiff_t>(frame * width),
                            static_cast<std::ptrdiff_t>(count * width), buffer.samples.begin());
                queuedFrames += count;
                buffer.header = WAVEHDR{};
                buffer.header.lpData = reinterpret_cast<LPSTR>(buffer.samples.data());
                buffer.header.dwBufferLength = static_cast<DWORD>(count * width * sizeof(std::int16_t));
                if (waveOutPrepareHeader(handle, &buffer.header, sizeof buffer.header) != MMSYSERR_NOERROR) continue;
                if (waveOutWrite(handle, &buffer.header, sizeof buffer.header) != MMSYSERR_NOERROR) {
                    waveOutUnprepareHeader(handle, &buffer.header, sizeof buffer.header);
                    continue;
                }
                buffer.queued = true;
                playing = true;
            }
            if (ended && !playing) break;
            WaitForSingleObject(event, 100);
        }
    }
};

WaveOutSoundDevice::WaveOutSoundDevice() = default;

WaveOutSoundDevice::~WaveOutSoundDevice() { close(); }

SoundOpening WaveOutSoundDevice::open(int rate) {
    if (open_) {
        error_ = "the sound device is already open";
        return SoundOpening::Failed;
    }
    if (rate < 8000 || rate > 192000) {
        error_ = "the sound device takes no rate of " + std::to_string(rate) + " frames a second";
        return SoundOpening::Failed;
    }
    if (waveOutGetNumDevs() == 0) {
        error_ = "waveOut lists no sound device";
        return SoundOpening::NoDevice;
    }
    auto output = std::make_unique<Output>();
    const SoundOpening opening = output->openAt(rate, 2, error_);
    if (opening != SoundOpening::Opened) return opening;
    output_ = std::move(output);
    open_ = true;
    stoppedAt_ = 0;
    setVolume(volume_);
    return SoundOpening::Opened;
}

void WaveOutSoundDevice::close() {
    if (!open_) return;
    output_.reset();
    pieces_.clear();
    open_ = false;
}

SoundPiece WaveOutSoundDevice::load(const std::string& fileName) {
    if (!open_) {
        error_ = "the sound device is not open";
        return {};
    }
    auto pcm = std::make_unique<Pcm>();
    if (!readMp3File(fileName, *pcm, error_)) return {};
    const SoundPiece shape{nextPiece_, pcm->rate, pcm->frames()};
    pieces_[nextPiece_++] = std::move(pcm);
    return shape;
}

bool WaveOutSoundDevice::play(int piece, std::uint64_t startFrame, int playCount) {
    const auto found = pieces_.find(piece);
    if (!open_ || found == pieces_.end()) {
        error_ = !open_ ? "the sound device is not open" : "no such piece of music";
        return false;
    }
    stop();
    const Pcm& pcm = *found->second;
    if (!output_->handle || output_->rate != pcm.rate || output_->channels != pcm.channels) {
        output_->closeHandle();
        if (output_->openAt(pcm.rate, pcm.channels, error_) != SoundOpening::Opened) return false;
        setVolume(volume_);
    }
    output_->start(pcm, std::min(startFrame, pcm.frames()), std::max(playCount, 1));
    return true;
}

void WaveOutSoundDevice::setVolume(float volume) {
    volume_ = volume > 0 ? std::min(volume, 1.0f) : 0.0f;  // NaN counts as 0
    if (!output_ || !output_->handle) return;
    const auto level = static_cast<DWORD>(std::lround(volume_ * 0xFFFF));
    waveOutSetVolume(output_->handle, level | level << 16);
}

std::uint64_t WaveOutSoundDevice::position() {
    if (!output_ || !output_->piece) return stoppedAt_;
    return pieceFrameAt(output_->startFrame, output_->played(), output_->piece->frames(), output_->playCount);
}

void WaveOutSoundDevice::stop() {
    if (!output_ || !output_->piece) return;
    stoppedAt_ = position();
    output_->halt();
}

void WaveOutSoundDevice::release(int piece) {
    const auto found = pieces_.find(piece);
    if (found == pieces_.end()) return;
    if (output_ && output_->piece == found->second.get()) stop();
    pieces_.erase(found);
}

}  // namespace zor
