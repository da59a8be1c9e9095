#include "platform/mp3_decoder.h"

#include <cstring>

#include "system/disk_files.h"
#include "system/text.h"

namespace zor {

namespace {

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

bool findMp3Format(std::span<const std::uint8_t> bytes, Mp3Format& format) {
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

bool readMp3File(const std::string& fileName, Pcm& pcm, std::string& error) {
    ReadFailure failure;
    const std::optional<Bytes> bytes = readWholeFile(pathFromUtf8(fileName), &failure);
    if (!bytes) {
        error = "cannot read \"" + fileName + "\": " + failure.reason;
        return false;
    }
    std::string why;
    if (!decodeMp3(*bytes, pcm, why)) {
        error = "\"" + fileName + "\" " + why;
        return false;
    }
    return true;
}

}  // namespace zor
