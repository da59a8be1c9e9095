#include "writers/wav_writer.h"

#include <limits>
#include <stdexcept>

#include "writers/byte_writer.h"

namespace zor::write {

Bytes writeWav(const std::vector<std::int16_t>& samples, int channels, int sampleRate) {
    if (channels < 1 || channels > 8 || sampleRate <= 0) throw std::invalid_argument("wav: bad format");
    if (samples.size() % static_cast<std::size_t>(channels) != 0)
        throw std::invalid_argument("wav: sample count is not a whole number of frames");
    std::uint64_t dataBytes = samples.size() * 2;
    if (dataBytes > std::numeric_limits<std::uint32_t>::max() - 36) throw std::invalid_argument("wav: too long");
    ByteWriter out(ByteWriter::Order::Little);
    out.tag("RIFF");
    out.u32(static_cast<std::uint32_t>(36 + dataBytes));
    out.tag("WAVE");
    out.tag("fmt ");
    out.u32(16);
    out.u16(1);  // PCM
    out.u16(static_cast<std::uint16_t>(channels));
    out.u32(static_cast<std::uint32_t>(sampleRate));
    out.u32(static_cast<std::uint32_t>(sampleRate * channels * 2));
    out.u16(static_cast<std::uint16_t>(channels * 2));
    out.u16(16);
    out.tag("data");
    out.u32(static_cast<std::uint32_t>(dataBytes));
    for (std::int16_t s : samples) out.i16(s);
    return out.take();
}

}  // namespace zor::write
