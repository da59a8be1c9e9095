#pragma once
// The sample demo's music, synthesised: pad chords, bass, drums, an arpeggio
// and a lead line, arranged in 8-bar sections that follow the scene's acts.
// One beat lasts 15 scene frames at 30.3 frames per second.

#include <cstdint>
#include <vector>

#include "scene/player_constants.h"

namespace zor::demo {

struct MusicPlan {
    int sampleRate = 44100;
    int bars = 33;              // 32 bars of scene and one to ring out
    double beatSeconds = 15.0 / kFramesPerSecond;
};

// Interleaved stereo 16-bit samples.
std::vector<std::int16_t> synthesiseMusic(const MusicPlan& plan = {});

}  // namespace zor::demo
