// WAV and FLAC into MP3: decoded by libsndfile into 16-bit samples, encoded
// by libmp3lame at a constant bit rate without tags (no ID3, no Xing frame),
// so the same file gives the same bytes.

#include <sndfile.h>

#include <lame/lame.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "import/music.h"
#include "import/readers.h"
#include "system/text.h"

namespace zor::import {
namespace {

// Longest music encoded: an hour.
constexpr sf_count_t kMaxSeconds = 3600;

struct CloseSound {
    void operator()(SNDFILE* f) const { sf_close(f); }
};
struct CloseLame {
    void operator()(lame_global_flags* l) const { lame_close(l); }
};

bool mp3Rate(int rate) {
    for (int r : {8000, 11025, 12000, 16000, 22050, 24000, 32000, 44100, 48000})
        if (rate == r) return true;
    return false;
}

}  // namespace

bool encodesMusic() { return true; }

Bytes encodeMp3(const std::filesystem::path& path) {
    const std::string name = utf8Of(path);
    const auto fail = [&](const std::string& why) { return ImportError(name + ": " + why); };
    SF_INFO info{};
    std::unique_ptr<SNDFILE, CloseSound> sound(sf_open(path.c_str(), SFM_READ, &info));
    if (!sound) throw fail(std::string("cannot be read as sound: ") + sf_strerror(nullptr));
    if (info.channels < 1 || info.channels > 2)
        throw fail(std::to_string(info.channels) + " channels; the music can have one or two");
    if (info.samplerate < 8000 || info.samplerate > 192000)
        throw fail("a sample rate of " + std::to_string(info.samplerate) + " Hz is not one to encode");
    if (info.frames > kMaxSeconds * info.samplerate) throw fail("longer than an hour");

    std::unique_ptr<lame_global_flags, CloseLame> lame(lame_init());
    if (!lame) throw fail("cannot start the MP3 encoder");
    lame_set_num_channels(lame.get(), info.channels);
    lame_set_in_samplerate(lame.get(), info.samplerate);
    lame_set_out_samplerate(lame.get(), mp3Rate(info.samplerate) ? info.samplerate : 44100);
    lame_set_mode(lame.get(), info.channels == 1 ? MONO : JOINT_STEREO);
    lame_set_brate(lame.get(), info.channels == 1 ? 128 : 192);
    lame_set_VBR(lame.get(), vbr_off);
    lame_set_quality(lame.get(), 2);
    lame_set_bWriteVbrTag(lame.get(), 0);
    lame_set_write_id3tag_automatic(lame.get(), 0);
    if (lame_init_params(lame.get()) < 0) throw fail("the MP3 encoder refuses its settings");

    constexpr int kFrames = 8192;
    std::vector<short> samples(static_cast<std::size_t>(kFrames) * info.channels);
    std::vector<short> left(kFrames), right(kFrames);
    std::vector<unsigned char> out(static_cast<std::size_t>(kFrames) * 5 / 4 + 7200);
    Bytes mp3;
    for (;;) {
        const sf_count_t got = sf_readf_short(sound.get(), samples.data(), kFrames);
        if (got <= 0) break;
        for (sf_count_t i = 0; i < got; ++i) {
            left[i] = samples[static_cast<std::size_t>(i) * info.channels];
            right[i] = samples[static_cast<std::size_t>(i) * info.channels + (info.channels - 1)];
        }
        const int bytes = lame_encode_buffer(lame.get(), left.data(), right.data(), static_cast<int>(got), out.data(),
                                             static_cast<int>(out.size()));
        if (bytes < 0) throw fail("the MP3 encoder failed (" + std::to_string(bytes) + ")");
        mp3.insert(mp3.end(), out.begin(), out.begin() + bytes);
    }
    if (sf_error(sound.get()) != SF_ERR_NO_ERROR) throw fail(std::string("cannot be decoded: ") + sf_strerror(sound.get()));
    const int bytes = lame_encode_flush(lame.get(), out.data(), static_cast<int>(out.size()));
    if (bytes < 0) throw fail("the MP3 encoder failed (" + std::to_string(bytes) + ")");
    mp3.insert(mp3.end(), out.begin(), out.begin() + bytes);
    if (mp3.empty()) throw fail("holds no sound");
    return mp3;
}

}  // namespace zor::import
