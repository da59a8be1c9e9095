#pragma once
// 16-bit PCM WAV ("RIFF"/"WAVE", one "fmt " and one "data" chunk).

#include <cstdint>
#include <vector>

#include "system/disk_files.h"

namespace zor::write {

// samples are interleaved by channel. Throws std::invalid_argument when the
// sample count is not a whole number of frames or the data exceeds 4 GB.
Bytes writeWav(const std::vector<std::int16_t>& samples, int channels, int sampleRate);

}  // namespace zor::write
