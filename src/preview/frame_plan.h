#pragma once
// The frames a tool's run shows (zor-render's, zor-publish's video), produced
// by index and never stored, so a range of any length costs no memory and its
// length is known before the first frame is drawn.

#include <cstdint>
#include <optional>
#include <string>

#include "scene/timeline.h"

namespace zor {

class FramePlan {
public:
    // first, first + step, ... up to last, as signed frame numbers; empty
    // when last comes before first.
    static FramePlan range(std::int32_t first, std::int32_t last, std::int32_t step);

    // The frames the player shows for a scene's range (shownFrames).
    static FramePlan player(const ShownFrames& shown);

    // The player's clock at `fps` passes a second starting at `first`: pass k
    // shows the frame the player's rules give at k / fps seconds, and the
    // pass in which the scene ends after `last` is the final one (the first,
    // when the end rule ends the range at once). A range whose end the
    // millisecond clock never reaches is refused with the reason in `whyNot`.
    static std::optional<FramePlan> clock(std::int32_t first, std::int32_t last, double fps, std::string& whyNot);

    std::uint64_t count() const { return count_; }
    bool empty() const { return count_ == 0; }
    std::int32_t frame(std::uint64_t index) const;
    // The frame pass `index` shows in smooth motion: a clock plan's
    // fractional frame (the same as frame() for a range).
    float smoothFrame(std::uint64_t index) const;

private:
    enum class Kind { Range, Player, Clock };
    Kind kind_ = Kind::Range;
    std::int32_t first_ = 0;
    std::int32_t step_ = 1;
    double fps_ = 0;
    std::uint64_t count_ = 0;
};

}  // namespace zor
