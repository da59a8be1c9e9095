#include "platform/win32/acm_mp3_decoder.h"

#include <windows.h>

#include <mmsystem.h>
#include <mmreg.h>
#include <msacm.h>

#include <algorithm>
#include <cstring>

#include "system/text.h"
#include "system/win32/text_win32.h"

namespace zor::win32 {

namespace {

// The whole file, shared with every other program that has it open.
bool readFile(const std::filesystem::path& file, std::vector<std::uint8_t>& bytes, std::string& why) {
    const HANDLE handle = CreateFileW(file.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD code = GetLastError();
        why = code == ERROR_SHARING_VIOLATION ? "another program has it open and lets no one else read it"
              : code == ERROR_FILE_NOT_FOUND  ? "no such file"
                                              : errorText(code);
        return false;
    }
    LARGE_INTEGER size{};
    bool ok = GetFileSizeEx(handle, &size) && size.QuadPart <= (std::int64_t{1} << 30);
    if (!ok) why = "larger than 1 GiB, or its size is unknown";
    if (ok) {
        bytes.resize(static_cast<std::size_t>(size.QuadPart));
        std::size_t done = 0;
        while (ok && done < bytes.size()) {
            DWORD got = 0;
            const DWORD asked = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1u << 24));
            ok = ReadFile(handle, bytes.data() + done, asked, &got, nullptr) && got > 0;
            done += got;
        }
        if (!ok) why = "cannot read it: " + errorText(GetLastError());
    }
    CloseHandle(handle);
    return ok;
}

// MP3 bytes handed to the codec at a time.
constexpr std::size_t kSourceChunk = 16 * 1024;

struct FrameHeader {
    int version = 0;  // 1 for MPEG-1, 2 for MPEG-2, 25 for MPEG-2.5
    int sampleRate = 0;
    int channels = 0;
    int bitrate = 0;
    int bytes = 0;  // with padding
};

bool parseHeader(const std::uint8_t* p, FrameHeader& header) {
    if (p[0] != 0xFF || (p[1] & 0xE0) != 0xE0) return false;
    const int versionBits = (p[1] >> 3) & 3;
    const int layerBits = (p[1] >> 1) & 3;
    const int bitrateIndex = p[2] >> 4;
    const int rateIndex = (p[2] >> 2) & 3;
    const int padding = (p[2] >> 1) & 1;
    const int mode = p[3] >> 6;
    if (versionBits == 1 || layerBits != 1 || bitrateIndex == 0 || bitrateIndex == 15 || rateIndex == 3) return false;
    static constexpr int kBitrates1[] = {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320};
    static constexpr int kBitrates2[] = {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160};
    static constexpr int kRates[] = {44100, 48000, 32000};
    header.version = versionBits == 3 ? 1 : versionBits == 2 ? 2 : 25;
    header.sampleRate = kRates[rateIndex] / (header.version == 1 ? 1 : header.version == 2 ? 2 : 4);
    header.bitrate = (header.version == 1 ? kBitrates1 : kBitrates2)[bitrateIndex] * 1000;
    header.channels = mode == 3 ? 1 : 2;
    const int perFrame = header.version == 1 ? 144 : 72;
    header.bytes = perFrame * header.bitrate / header.sampleRate + padding;
    return header.bytes > 4;
}

}  // namespace

bool findMp3Format(const std::vector<std::uint8_t>& bytes, Mp3Format& format) {
    std::size_t start = 0;
    // An ID3v2 tag: "ID3", version, flags, and a size of four 7-bit bytes.
    if (bytes.size() >= 10 && std::memcmp(bytes.data(), "ID3", 3) == 0) {
        const std::size_t size = (std::size_t{bytes[6]} & 0x7F) << 21 | (std::size_t{bytes[7]} & 0x7F) << 14 |
                                 (std::size_t{bytes[8]} & 0x7F) << 7 | (std::size_t{bytes[9]} & 0x7F);
        start = 10 + size + ((bytes[5] & 0x10) ? 10 : 0);
    }
    for (std::size_t at = start; at + 4 <= bytes.size(); ++at) {
        FrameHeader first, next;
        if (!parseHeader(bytes.data() + at, first)) continue;
        const std::size_t following = at + static_cast<std::size_t>(first.bytes);
        // A lone frame at the very end counts; otherwise the next one must
        // agree, so that stray sync bits in a tag are not taken.
        const bool last = following == bytes.size();
        if (!last && (following + 4 > bytes.size() || !parseHeader(bytes.data() + following, next) ||
                      next.version != first.version || next.sampleRate != first.sampleRate))
            continue;
        format.sampleRate = first.sampleRate;
        format.channels = first.channels;
        format.bitrate = first.bitrate;
        format.frameBytes = (first.version == 1 ? 144 : 72) * first.bitrate / first.sampleRate;
        format.firstFrame = at;
        return true;
    }
    return false;
}

struct AcmMp3Decoder::Header {
    ACMSTREAMHEADER acm{};
};

AcmMp3Decoder::AcmMp3Decoder() = default;

AcmMp3Decoder::~AcmMp3Decoder() { close(); }

void AcmMp3Decoder::close() {
    auto stream = static_cast<HACMSTREAM>(stream_);
    if (stream && headerPrepared_) {
        header_->acm.cbSrcLength = static_cast<DWORD>(source_.size());
        acmStreamUnprepareHeader(stream, &header_->acm, 0);
    }
    headerPrepared_ = false;
    if (stream) acmStreamClose(stream, 0);
    stream_ = nullptr;
}

bool AcmMp3Decoder::open(const std::filesystem::path& file, std::string& error) {
    close();
    std::string why;
    if (!readFile(file, bytes_, why)) {
        error = "cannot read \"" + utf8Of(file) + "\": " + why;
        return false;
    }
    if (!findMp3Format(bytes_, format_)) {
        error = "\"" + utf8Of(file) + "\" holds no MPEG Layer III audio";
        return false;
    }

    MPEGLAYER3WAVEFORMAT mp3{};
    mp3.wfx.wFormatTag = WAVE_FORMAT_MPEGLAYER3;
    mp3.wfx.nChannels = static_cast<WORD>(format_.channels);
    mp3.wfx.nSamplesPerSec = static_cast<DWORD>(format_.sampleRate);
    mp3.wfx.nAvgBytesPerSec = static_cast<DWORD>(format_.bitrate / 8);
    mp3.wfx.nBlockAlign = 1;
    mp3.wfx.wBitsPerSample = 0;
    mp3.wfx.cbSize = MPEGLAYER3_WFX_EXTRA_BYTES;
    mp3.wID = MPEGLAYER3_ID_MPEG;
    mp3.fdwFlags = MPEGLAYER3_FLAG_PADDING_OFF;
    mp3.nBlockSize = static_cast<WORD>(format_.frameBytes);
    mp3.nFramesPerBlock = 1;
    mp3.nCodecDelay = 0;

    WAVEFORMATEX pcm{};
    pcm.wFormatTag = WAVE_FORMAT_PCM;
    pcm.nChannels = static_cast<WORD>(format_.channels);
    pcm.nSamplesPerSec = static_cast<DWORD>(format_.sampleRate);
    pcm.wBitsPerSample = 16;
    pcm.nBlockAlign = static_cast<WORD>(2 * format_.channels);
    pcm.nAvgBytesPerSec = pcm.nSamplesPerSec * pcm.nBlockAlign;

    HACMSTREAM stream = nullptr;
    MMRESULT result = acmStreamOpen(&stream, nullptr, reinterpret_cast<WAVEFORMATEX*>(&mp3), &pcm, nullptr, 0, 0,
                                    ACM_STREAMOPENF_NONREALTIME);
    if (result != MMSYSERR_NOERROR) {
        error = "Windows has no MP3 decoder for \"" + utf8Of(file) + "\" (" + std::to_string(format_.sampleRate) +
                " Hz, " + std::to_string(format_.channels) + " channels; ACM error " + std::to_string(result) + ")";
        return false;
    }
    stream_ = stream;
    DWORD outputSize = 0;
    if (acmStreamSize(stream, kSourceChunk, &outputSize, ACM_STREAMSIZEF_SOURCE) != MMSYSERR_NOERROR ||
        outputSize == 0)
        outputSize = kSourceChunk * 32;
    source_.assign(kSourceChunk, 0);
    output_.assign(outputSize, 0);
    header_ = std::make_unique<Header>();
    header_->acm.cbStruct = sizeof header_->acm;
    header_->acm.pbSrc = source_.data();
    header_->acm.cbSrcLength = static_cast<DWORD>(source_.size());
    header_->acm.pbDst = output_.data();
    header_->acm.cbDstLength = static_cast<DWORD>(output_.size());
    result = acmStreamPrepareHeader(stream, &header_->acm, 0);
    if (result != MMSYSERR_NOERROR) {
        error = "the MP3 decoder refuses its buffers (ACM error " + std::to_string(result) + ")";
        close();
        return false;
    }
    headerPrepared_ = true;
    rewind();
    return true;
}

void AcmMp3Decoder::rewind() {
    position_ = format_.firstFrame;
    started_ = false;
    if (header_) header_->acm.cbSrcLengthUsed = 0;
}

bool AcmMp3Decoder::decode(std::vector<std::int16_t>& pcm) {
    auto stream = static_cast<HACMSTREAM>(stream_);
    if (!stream || position_ >= bytes_.size()) return false;
    const std::size_t count = std::min(kSourceChunk, bytes_.size() - position_);
    std::memcpy(source_.data(), bytes_.data() + position_, count);
    header_->acm.cbSrcLength = static_cast<DWORD>(count);
    header_->acm.cbDstLengthUsed = 0;
    const bool end = position_ + count >= bytes_.size();
    DWORD flags = end ? ACM_STREAMCONVERTF_END : ACM_STREAMCONVERTF_BLOCKALIGN;
    if (!started_) flags |= ACM_STREAMCONVERTF_START;
    started_ = true;
    if (acmStreamConvert(stream, &header_->acm, flags) != MMSYSERR_NOERROR) {
        position_ = bytes_.size();
        return false;
    }
    // Bytes the codec did not take (a frame cut by the chunk's end) are
    // offered again with the next chunk.
    std::size_t used = header_->acm.cbSrcLengthUsed;
    if (used == 0 && header_->acm.cbDstLengthUsed == 0) used = count;  // nothing more it can use
    position_ += std::min(used, count);
    const std::size_t samples = header_->acm.cbDstLengthUsed / 2;
    const auto* out = reinterpret_cast<const std::int16_t*>(output_.data());
    pcm.insert(pcm.end(), out, out + samples);
    return true;
}

}  // namespace zor::win32
