// decodeMp3 on Windows, through Windows' own MP3 codec and the Audio
// Compression Manager (msacm32): the first frame header (findMp3Format)
// describes the stream to the codec, which turns the frames into 16-bit PCM
// at the stream's rate and channels, a slice of the bytes at a time. The
// decoding is the codec's; it keeps the encoder's delay and padding.

#include <windows.h>

#include <mmsystem.h>
#include <mmreg.h>
#include <msacm.h>

#include <algorithm>
#include <cstring>

#include "platform/mp3_decoder.h"

namespace zor {

namespace {

// MP3 bytes handed to the codec at a time.
constexpr std::size_t kSourceChunk = 16 * 1024;

// An open codec stream with its one prepared header, closed on every way out.
class AcmStream {
public:
    ~AcmStream() {
        if (prepared_) {
            header_.cbSrcLength = static_cast<DWORD>(source_.size());
            acmStreamUnprepareHeader(stream_, &header_, 0);
        }
        if (stream_) acmStreamClose(stream_, 0);
    }

    // False with `error` set.
    bool open(const Mp3Format& format, std::string& error) {
        MPEGLAYER3WAVEFORMAT mp3{};
        mp3.wfx.wFormatTag = WAVE_FORMAT_MPEGLAYER3;
        mp3.wfx.nChannels = static_cast<WORD>(format.channels);
        mp3.wfx.nSamplesPerSec = static_cast<DWORD>(format.sampleRate);
        mp3.wfx.nAvgBytesPerSec = static_cast<DWORD>(format.bitrate / 8);
        mp3.wfx.nBlockAlign = 1;
        mp3.wfx.wBitsPerSample = 0;
        mp3.wfx.cbSize = MPEGLAYER3_WFX_EXTRA_BYTES;
        mp3.wID = MPEGLAYER3_ID_MPEG;
        mp3.fdwFlags = MPEGLAYER3_FLAG_PADDING_OFF;
        mp3.nBlockSize = static_cast<WORD>(format.frameBytes);
        mp3.nFramesPerBlock = 1;
        mp3.nCodecDelay = 0;

        WAVEFORMATEX pcm{};
        pcm.wFormatTag = WAVE_FORMAT_PCM;
        pcm.nChannels = static_cast<WORD>(format.channels);
        pcm.nSamplesPerSec = static_cast<DWORD>(format.sampleRate);
        pcm.wBitsPerSample = 16;
        pcm.nBlockAlign = static_cast<WORD>(2 * format.channels);
        pcm.nAvgBytesPerSec = pcm.nSamplesPerSec * pcm.nBlockAlign;

        MMRESULT result = acmStreamOpen(&stream_, nullptr, reinterpret_cast<WAVEFORMATEX*>(&mp3), &pcm, nullptr, 0,
                                        0, ACM_STREAMOPENF_NONREALTIME);
        if (result != MMSYSERR_NOERROR) {
            stream_ = nullptr;
            error = "cannot be decoded: Windows has no MP3 decoder for it (" + std::to_string(format.sampleRate) +
                    " Hz, " + std::to_string(format.channels) + " channels; ACM error " + std::to_string(result) + ")";
            return false;
        }
        DWORD outputSize = 0;
        if (acmStreamSize(stream_, kSourceChunk, &outputSize, ACM_STREAMSIZEF_SOURCE) != MMSYSERR_NOERROR ||
            outputSize == 0)
            outputSize = kSourceChunk * 32;
        source_.assign(kSourceChunk, 0);
        output_.assign(outputSize, 0);
        header_.cbStruct = sizeof header_;
        header_.pbSrc = source_.data();
        header_.cbSrcLength = static_cast<DWORD>(source_.size());
        header_.pbDst = output_.data();
        header_.cbDstLength = static_cast<DWORD>(output_.size());
        result = acmStreamPrepareHeader(stream_, &header_, 0);
        if (result != MMSYSERR_NOERROR) {
            error = "cannot be decoded: the MP3 decoder refuses its buffers (ACM error " + std::to_string(result) + ")";
            return false;
        }
        prepared_ = true;
        return true;
    }

    // Converts `count` bytes; false when the codec refuses them. `used` is
    // what it took (the rest of a frame cut by the slice's end is offered
    // again), `pcm` gets what came out.
    bool convert(const std::uint8_t* bytes, std::size_t count, DWORD flags, std::size_t& used,
                 std::vector<std::int16_t>& pcm) {
        std::memcpy(source_.data(), bytes, count);
        header_.cbSrcLength = static_cast<DWORD>(count);
        header_.cbDstLengthUsed = 0;
        if (acmStreamConvert(stream_, &header_, flags) != MMSYSERR_NOERROR) return false;
        used = header_.cbSrcLengthUsed;
        const std::size_t samples = header_.cbDstLengthUsed / sizeof(std::int16_t);
        const std::size_t at = pcm.size();
        pcm.resize(at + samples);
        std::memcpy(pcm.data() + at, output_.data(), samples * sizeof(std::int16_t));
        return true;
    }

    bool producedNothing() const { return header_.cbDstLengthUsed == 0; }

private:
    HACMSTREAM stream_ = nullptr;
    ACMSTREAMHEADER header_{};
    bool prepared_ = false;
    std::vector<std::uint8_t> source_;
    std::vector<std::uint8_t> output_;
};

}  // namespace

bool decodeMp3(std::span<const std::uint8_t> bytes, Pcm& pcm, std::string& error) {
    pcm = Pcm{};
    Mp3Format format;
    if (!findMp3Format(bytes, format)) {
        error = "holds no MPEG Layer III audio";
        return false;
    }
    AcmStream stream;
    if (!stream.open(format, error)) return false;
    pcm.rate = format.sampleRate;
    pcm.channels = format.channels;
    bool first = true;
    for (std::size_t position = format.firstFrame; position < bytes.size();) {
        const std::size_t count = std::min(kSourceChunk, bytes.size() - position);
        const bool end = position + count >= bytes.size();
        DWORD flags = end ? ACM_STREAMCONVERTF_END : ACM_STREAMCONVERTF_BLOCKALIGN;
        if (first) flags |= ACM_STREAMCONVERTF_START;
        first = false;
        std::size_t used = 0;
        // Damage after good frames ends the music there.
        if (!stream.convert(bytes.data() + position, count, flags, used, pcm.samples)) break;
        if (pcm.samples.size() * sizeof(std::int16_t) > kMaxPcmBytes) {
            error = "decodes to more than 1 GiB of sound";
            return false;
        }
        if (used == 0 && stream.producedNothing()) used = count;  // nothing more it can use
        position += std::min(used, count);
    }
    if (pcm.frames() == 0) {
        error = "cannot be decoded: Windows' MP3 decoder gives no sound for it";
        return false;
    }
    return true;
}

}  // namespace zor
