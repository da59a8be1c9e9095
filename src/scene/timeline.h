#pragma once
// The scene's timeline as the player runs it: the wall clock in milliseconds
// becomes scene time in frames (30.3 a second from the scene's first frame),
// scene time becomes the frame drawn, and the range ends by the player's own
// rule. Every tool that walks a scene's range uses these, so it shows what
// the player shows.

#include <cstdint>
#include <string>

namespace zor {

// Elapsed scene time in frames for a clock reading: (now - start) x 0.001 x
// 15.15 from the exact reading and the float start, stored as a float, then
// doubled as a float.
float sceneTime(std::uint32_t now, float start);
// trunc(first + t), first taken as unsigned; a sum outside the 32-bit range
// gives INT32_MIN, as the processor's conversion does.
std::int32_t frameNumber(std::int32_t first, float t);
// first + t without truncation, first taken as unsigned: the frame of smooth
// motion, which moves at the display's rate instead of in whole frames. A sum
// outside the 32-bit range gives INT32_MIN, as frameNumber does.
float smoothFrameNumber(std::int32_t first, float t);
// last < first + t, both frame bounds taken as unsigned, t before truncation.
bool sceneEnded(std::int32_t first, std::int32_t last, float t);

// The frame the player shows `seconds` into a scene that starts at frame 0:
// the clock reading of that many milliseconds (rounded to the nearest) through
// sceneTime and frameNumber. Times an author writes in seconds or beats become
// frames here. Readings outside the clock's range (below 0, NaN, or past its
// 32-bit milliseconds) are taken at its ends.
std::int32_t frameAtSeconds(double seconds);

// Beats in a bar, for bar:beat times and the bars a timeline marks.
inline constexpr int kBeatsPerBar = 4;

// The frame of beat `beats` (from 0; fractions allowed) at `bpm` beats a
// minute: frameAtSeconds of beats x 60 / bpm.
std::int32_t frameAtBeat(double beats, double bpm);
// The frame of the nearest whole beat after `frame` (direction above 0) or
// before it (direction 0 or below) at `bpm` above 0; `frame` itself when no
// beat lies that way (before beat 0, or past the clock's end).
std::int32_t beatFrameBeside(std::int32_t frame, double bpm, int direction);

// The frames the player shows for a scene's range when its passes come
// faster than the frames: one pass for every whole frame from the first to
// the pass in which the range ends. The bounds are unsigned for the end test
// (so a negative first frame lies after every last frame and the range ends
// in the first pass) and the frame drawn is frameNumber's (a first frame read
// as 2^31 or more is drawn as -2147483648). Tools that walk a scene's range
// walk these, so they show what the player shows.
struct ShownFrames {
    std::int32_t first = 0;  // the scene's bounds, as written
    std::int32_t last = 0;
    std::uint64_t count = 1;  // passes with a frame of their own, at least 1
    // The range ends in the first pass: last < first as unsigned values.
    bool endsAtOnce = false;
    // The millisecond clock wraps (after 49.7 days) before the scene time
    // passes the last frame: the player never ends by itself.
    bool neverEnds = false;

    // The frame of the index-th pass (index below count): frameNumber at
    // scene time index.
    std::int32_t frame(std::uint64_t index) const;
    // One line on what the rule gives for `what` (say, "the scene's range"):
    // "the scene's range 0 to 1800: the player shows 1801 frames", with the
    // reason whenever the rule gives what the two numbers do not suggest:
    // "the scene's range -10 to 100 ends at once for the player (the first
    // frame is read as 4294967286, after the last): it shows 1 frame, drawn
    // as frame -2147483648".
    std::string describe(const std::string& what) const;
};

ShownFrames shownFrames(std::int32_t first, std::int32_t last);

}  // namespace zor
