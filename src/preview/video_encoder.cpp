#include "preview/video_encoder.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstring>
#include <numeric>

#include "system/text.h"

namespace zor {

namespace {

// H.264 and AAC where video sites and players take them; VP9 and Opus in
// WebM, which holds nothing else.
constexpr VideoFormat kFormats[] = {
    {".mp4", "mp4", "libx264", "aac", true},
    {".mov", "mov", "libx264", "aac", true},
    {".mkv", "matroska", "libx264", "aac", false},
    {".webm", "webm", "libvpx-vp9", "libopus", false},
};

// Digits only, as a whole number up to 10^9.
bool readDigits(std::string_view text, std::int64_t& value) {
    if (text.empty() || text.size() > 9 || !std::all_of(text.begin(), text.end(), [](char c) {
            return c >= '0' && c <= '9';
        }))
        return false;
    return std::from_chars(text.data(), text.data() + text.size(), value).ec == std::errc();
}

}  // namespace

std::optional<FrameRate> parseFrameRate(std::string_view text) {
    FrameRate rate;
    if (const auto slash = text.find('/'); slash != std::string_view::npos) {
        if (!readDigits(text.substr(0, slash), rate.numerator) || !readDigits(text.substr(slash + 1), rate.denominator))
            return std::nullopt;
    } else {
        const auto point = text.find('.');
        const std::string_view whole = text.substr(0, point);
        const std::string_view decimals = point == std::string_view::npos ? std::string_view() : text.substr(point + 1);
        std::int64_t integer = 0, fraction = 0;
        if (!readDigits(whole, integer) || (point != std::string_view::npos && decimals.size() > 6) ||
            (!decimals.empty() && !readDigits(decimals, fraction)) ||
            (point != std::string_view::npos && decimals.empty()))
            return std::nullopt;
        for (std::size_t i = 0; i < decimals.size(); ++i) rate.denominator *= 10;
        rate.numerator = integer * rate.denominator + fraction;
    }
    if (rate.numerator <= 0 || rate.denominator <= 0) return std::nullopt;
    const std::int64_t common = std::gcd(rate.numerator, rate.denominator);
    rate.numerator /= common;
    rate.denominator /= common;
    return rate;
}

const VideoFormat* videoFormatFor(const std::filesystem::path& file) {
    std::string extension = utf8Of(file.extension());
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    for (const VideoFormat& format : kFormats)
        if (format.extension == extension) return &format;
    return nullptr;
}

std::string videoExtensions() {
    std::string text;
    const std::size_t count = std::size(kFormats);
    for (std::size_t i = 0; i < count; ++i) {
        if (i > 0) text += i + 1 == count ? " or " : ", ";
        text += kFormats[i].extension;
    }
    return text;
}

std::vector<std::string> encoderArguments(const VideoFormat& format, const VideoJob& job) {
    const std::string rate = std::to_string(job.rate.numerator) + "/" + std::to_string(job.rate.denominator);
    std::vector<std::string> arguments = {
        "-loglevel", "error", "-y", "-f", "rawvideo", "-pix_fmt", "rgb24",
        "-video_size", std::to_string(job.width) + "x" + std::to_string(job.height), "-framerate", rate, "-i", "-"};
    const bool music = !job.music.empty();
    if (music) arguments.insert(arguments.end(), {"-i", utf8Of(job.music)});
    arguments.insert(arguments.end(), {"-map", "0:v"});
    if (music) arguments.insert(arguments.end(), {"-map", "1:a"});
    // The RGB pictures become limited-range BT.709 4:2:0 and are tagged so,
    // which every player reads the same way at every size.
    arguments.insert(arguments.end(), {"-vf", "scale=out_color_matrix=bt709:out_range=tv,format=yuv420p",
                                       "-colorspace", "bt709", "-color_primaries", "bt709", "-color_trc", "bt709",
                                       "-color_range", "tv", "-c:v", std::string(format.videoCodec)});
    if (format.videoCodec == "libx264" && job.constantBitRate > 0) {
        // A buffer of a quarter of a second, so that even a short video
        // keeps the rate; filler where the pictures need less.
        const std::string bits = std::to_string(job.constantBitRate);
        arguments.insert(arguments.end(), {"-preset", "slow", "-b:v", bits, "-minrate", bits, "-maxrate", bits,
                                           "-bufsize", std::to_string(job.constantBitRate / 4), "-x264-params",
                                           "nal-hrd=cbr:force-cfr=1", "-profile:v", "high", "-bf", "2"});
    } else if (format.videoCodec == "libx264") {
        arguments.insert(arguments.end(), {"-preset", "slow", "-crf", "18", "-profile:v", "high", "-bf", "2"});
    } else {
        arguments.insert(arguments.end(),
                         {"-crf", "24", "-b:v", "0", "-deadline", "good", "-cpu-used", "2", "-row-mt", "1"});
    }
    // A key frame every half second (closed groups), for seeking and for
    // the sites that ask for it.
    const auto group = std::max<long long>(1, std::llround(job.rate.value() / 2));
    arguments.insert(arguments.end(), {"-g", std::to_string(group)});
    if (music) {
        arguments.insert(arguments.end(), {"-af", "apad", "-shortest", "-c:a", std::string(format.audioCodec), "-b:a",
                                           format.audioCodec == "aac" ? "256k" : "192k", "-ar", "48000", "-ac", "2"});
    }
    if (!job.title.empty()) arguments.insert(arguments.end(), {"-metadata", "title=" + job.title});
    if (format.fastStart) arguments.insert(arguments.end(), {"-movflags", "+faststart"});
    arguments.insert(arguments.end(), {"-f", std::string(format.muxer), utf8Of(job.output)});
    return arguments;
}

VideoEncoder::~VideoEncoder() { finish(); }

bool VideoEncoder::start(const std::string& program, const std::vector<std::string>& arguments,
                         std::string& error) {
    return program_.start(program, arguments, error);
}

bool VideoEncoder::write(const std::uint8_t* data, std::size_t size) { return program_.write(data, size); }

bool VideoEncoder::finish() { return program_.finish(); }

}  // namespace zor
