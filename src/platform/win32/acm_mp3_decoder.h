#pragma once
// An MP3 file decoded by Windows' own MP3 codec through the Audio
// Compression Manager (msacm32): the file is read whole, its first frame
// header (after an ID3v2 tag) names the stream's MPEG version, sample rate
// and channels, and the codec turns the frames into 16-bit PCM at that rate.
// Only the header is read here, to describe the stream to the codec; the
// decoding is the codec's.

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace zor::win32 {

// The first frame of an MPEG-1, -2 or -2.5 Layer III stream.
struct Mp3Format {
    int sampleRate = 0;
    int channels = 0;
    int bitrate = 0;      // bits per second of the first frame
    int frameBytes = 0;   // size of the first frame, without padding
    std::size_t firstFrame = 0;  // offset of the first frame in the file
};

// Finds the first frame that another valid frame follows; false when the
// bytes hold no Layer III stream.
bool findMp3Format(const std::vector<std::uint8_t>& bytes, Mp3Format& format);

class AcmMp3Decoder {
public:
    AcmMp3Decoder();
    ~AcmMp3Decoder();
    AcmMp3Decoder(const AcmMp3Decoder&) = delete;
    AcmMp3Decoder& operator=(const AcmMp3Decoder&) = delete;

    // Reads the file and opens the codec for it; false with `error` set.
    bool open(const std::filesystem::path& file, std::string& error);
    const Mp3Format& format() const { return format_; }
    // Appends the next piece of PCM (16-bit, interleaved, at the stream's
    // rate and channel count) to `pcm`; false once the file is used up.
    bool decode(std::vector<std::int16_t>& pcm);
    // Back to the first frame.
    void rewind();
    void close();

private:
    std::vector<std::uint8_t> bytes_;
    Mp3Format format_;
    std::size_t position_ = 0;
    void* stream_ = nullptr;  // HACMSTREAM
    bool headerPrepared_ = false;
    bool started_ = false;
    struct Header;
    std::unique_ptr<Header> header_;
    std::vector<std::uint8_t> source_;
    std::vector<std::uint8_t> output_;
};

}  // namespace zor::win32
