#pragma once
// The preview's timeline: a strip across the picture's bottom showing the
// scene's range from its first frame (left edge) to its last (right edge):
// the music's waveform, the beats and bars of a recipe's bpm over it (bars
// stronger), and the frame shown. Pure painting into RGB; the view puts it
// on the picture through the display layer, as it does the status line.
//
// The music starts with the range's first frame (the transport plays it so),
// so its frame i lies at frame first + i; beats count from frame 0, as a
// recipe's beat times do (frameAtBeat).

#include <cstdint>
#include <optional>
#include <vector>

namespace zor {

struct Pcm;

// The music's loudness once a frame of the player's clock: the largest
// sample (of any channel) of each frame's span, 0 to 1, from the music's
// first sample on.
std::vector<float> musicPeaks(const Pcm& pcm);

struct TimelineMarks {
    std::int32_t first = 0, last = 0;  // the range shown across the strip
    double position = 0;               // the frame shown
    std::optional<double> bpm;         // beats and bars marked when given
};

// The strip's colours.
struct TimelineColours {
    static constexpr std::uint8_t background[3] = {20, 22, 30};
    static constexpr std::uint8_t wave[3] = {70, 120, 170};
    static constexpr std::uint8_t beat[3] = {110, 110, 110};
    static constexpr std::uint8_t bar[3] = {235, 235, 235};
    static constexpr std::uint8_t shown[3] = {255, 200, 0};
};

// Beat marks closer than this many pixels are left out (then bars too).
inline constexpr int kNarrowestMarks = 3;

// The column of the strip where a frame lies; frames outside the range give
// columns outside 0..width-1.
int timelineColumn(double frame, const TimelineMarks& marks, int width);

// Paints the strip into `rgb` (width x height, top row first, 3 bytes a
// pixel): the background, the waveform (each column's loudest frame, as a
// bar about the middle row), the beats (a dim line each, when they lie at
// least kNarrowestMarks pixels apart) and bars (every kBeatsPerBar-th beat,
// bright), and the frame shown (two columns, on top).
void paintTimeline(std::vector<std::uint8_t>& rgb, int width, int height, const std::vector<float>& peaks,
                   const TimelineMarks& marks);

}  // namespace zor
