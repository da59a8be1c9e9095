// decodeMp3 on Linux, through libmpg123: the bytes are fed whole and the
// frames decoded to 16-bit samples at the stream's own rate and channels.
// Gapless decoding (libmpg123's default) drops the encoder's delay and
// padding that a LAME header records. The library prints nothing.

#include <mpg123.h>

#include <memory>

#include "platform/mp3_decoder.h"

namespace zor {

namespace {

struct HandleDeleter {
    void operator()(mpg123_handle* handle) const { mpg123_delete(handle); }
};

}  // namespace

bool decodeMp3(std::span<const std::uint8_t> bytes, Pcm& pcm, std::string& error) {
    pcm = Pcm{};
    int code = MPG123_OK;
    std::unique_ptr<mpg123_handle, HandleDeleter> handle(mpg123_new(nullptr, &code));
    if (!handle) {
        error = std::string("cannot be decoded: ") + mpg123_plain_strerror(code);
        return false;
    }
    mpg123_handle* h = handle.get();
    mpg123_param(h, MPG123_ADD_FLAGS, MPG123_QUIET, 0);
    // Every rate the stream may have, as 16-bit samples, mono or stereo.
    mpg123_format_none(h);
    const long* rates = nullptr;
    std::size_t rateCount = 0;
    mpg123_rates(&rates, &rateCount);
    for (std::size_t i = 0; i < rateCount; ++i) mpg123_format(h, rates[i], MPG123_MONO | MPG123_STEREO, MPG123_ENC_SIGNED_16);
    if (mpg123_open_feed(h) != MPG123_OK) {
        error = std::string("cannot be decoded: ") + mpg123_strerror(h);
        return false;
    }

    // Written through as bytes, read as the samples they are.
    std::vector<std::int16_t> out(32 * 1024);
    auto* outBytes = reinterpret_cast<unsigned char*>(out.data());
    const std::size_t outSize = out.size() * sizeof(std::int16_t);
    std::size_t done = 0;
    int result = mpg123_decode(h, bytes.data(), bytes.size(), outBytes, outSize, &done);
    for (;;) {
        if (result == MPG123_NEW_FORMAT) {
            long rate = 0;
            int channels = 0, encoding = 0;
            mpg123_getformat(h, &rate, &channels, &encoding);
            mpg123_frameinfo2 info{};
            mpg123_info2(h, &info);
            if (info.layer != 3) {
                error = "holds no MPEG Layer III audio";
                return false;
            }
            if (pcm.rate != 0 && (pcm.rate != rate || pcm.channels != channels)) {
                error = "changes its rate or channels within the stream";
                return false;
            }
            pcm.rate = static_cast<int>(rate);
            pcm.channels = channels;
        }
        if (done > 0) {
            if ((pcm.samples.size() + done / 2) * 2 > kMaxPcmBytes) {
                error = "decodes to more than 1 GiB of sound";
                return false;
            }
            pcm.samples.insert(pcm.samples.end(), out.begin(), out.begin() + static_cast<std::ptrdiff_t>(done / 2));
        }
        if (result == MPG123_NEED_MORE || result == MPG123_DONE) break;
        if (result != MPG123_OK && result != MPG123_NEW_FORMAT) {
            // Damage after good frames ends the music there.
            if (pcm.frames() > 0) break;
            error = pcm.rate == 0 ? std::string("holds no MPEG Layer III audio")
                                  : std::string("cannot be decoded: ") + mpg123_strerror(h);
            return false;
        }
        result = mpg123_decode(h, nullptr, 0, outBytes, outSize, &done);
    }
    if (pcm.rate == 0 || pcm.frames() == 0) {
        error = "holds no MPEG Layer III audio";
        return false;
    }
    return true;
}

}  // namespace zor
