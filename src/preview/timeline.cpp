#include "preview/timeline.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "platform/mp3_decoder.h"
#include "scene/player_constants.h"
#include "scene/timeline.h"

namespace zor {

std::vector<float> musicPeaks(const Pcm& pcm) {
    std::vector<float> peaks;
    if (pcm.rate <= 0 || pcm.channels <= 0) return peaks;
    const double perFrame = pcm.rate / kFramesPerSecond;  // sample frames in a frame of the clock
    const std::uint64_t total = pcm.frames();
    const auto channels = static_cast<std::size_t>(pcm.channels);
    for (std::uint64_t frame = 0;; ++frame) {
        const auto from = static_cast<std::uint64_t>(std::llround(frame * perFrame));
        if (from >= total) break;
        const auto to = std::min(total, static_cast<std::uint64_t>(std::llround((frame + 1) * perFrame)));
        int loudest = 0;
        for (std::size_t i = from * channels; i < to * channels; ++i)
            loudest = std::max(loudest, std::abs(static_cast<int>(pcm.samples[i])));
        peaks.push_back(std::min(1.0f, static_cast<float>(loudest) / 32767.0f));
    }
    return peaks;
}

int timelineColumn(double frame, const TimelineMarks& marks, int width) {
    // Each frame of the range gets an equal share of the width.
    const double frames = static_cast<double>(marks.last) - marks.first + 1;
    return static_cast<int>(std::floor((frame - marks.first) * width / frames));
}

namespace {

void fill(std::vector<std::uint8_t>& rgb, int width, int x, int top, int bottom, const std::uint8_t (&colour)[3]) {
    for (int y = top; y < bottom; ++y) {
        std::uint8_t* pixel = &rgb[(static_cast<std::size_t>(y) * width + x) * 3];
        pixel[0] = colour[0];
        pixel[1] = colour[1];
        pixel[2] = colour[2];
    }
}

}  // namespace

void paintTimeline(std::vector<std::uint8_t>& rgb, int width, int height, const std::vector<float>& peaks,
                   const TimelineMarks& marks) {
    rgb.assign(static_cast<std::size_t>(std::max(0, width)) * std::max(0, height) * 3, 0);
    if (width <= 0 || height <= 0) return;
    for (int x = 0; x < width; ++x) fill(rgb, width, x, 0, height, TimelineColours::background);
    const double frames = static_cast<double>(marks.last) - marks.first + 1;

    // The waveform: a column's loudest frame, as a bar about the middle.
    if (!peaks.empty()) {
        for (int x = 0; x < width; ++x) {
            const auto from = static_cast<std::int64_t>(std::ceil(x * frames / width));
            const auto to = std::max(from + 1, static_cast<std::int64_t>(std::ceil((x + 1) * frames / width)));
            float loudest = 0;
            for (std::int64_t i = from; i < to && i < static_cast<std::int64_t>(peaks.size()); ++i)
                loudest = std::max(loudest, peaks[static_cast<std::size_t>(i)]);
            const int half = static_cast<int>(std::lround(loudest * (height - 2) / 2.0));
            if (half > 0) fill(rgb, width, x, height / 2 - half, height / 2 + half, TimelineColours::wave);
        }
    }

    // Beats and bars, when they lie far enough apart to be told apart.
    if (marks.bpm && *marks.bpm > 0) {
        const double pixelsPerBeat = width * (kFramesPerSecond * 60.0 / *marks.bpm) / frames;
        const bool beats = pixelsPerBeat >= kNarrowestMarks;
        const bool bars = pixelsPerBeat * kBeatsPerBar >= kNarrowestMarks;
        if (bars) {
            // From the first beat of the range on (beats count from frame 0).
            const double firstBeat = std::max(0.0, std::floor(marks.first / kFramesPerSecond * *marks.bpm / 60.0) - 1);
            for (double n = firstBeat;; ++n) {
                const std::int32_t frame = frameAtBeat(n, *marks.bpm);
                if (frame > marks.last || n > firstBeat + width * kBeatsPerBar) break;
                if (frame < marks.first) continue;
                const bool bar = std::fmod(n, kBeatsPerBar) == 0;
                if (!bar && !beats) continue;
                const int x = timelineColumn(frame, marks, width);
                if (x < 0 || x >= width) continue;
                if (bar) fill(rgb, width, x, 0, height, TimelineColours::bar);
                else fill(rgb, width, x, height / 4, height - height / 4, TimelineColours::beat);
            }
        }
    }

    // The frame shown, over everything.
    const int shown = std::clamp(timelineColumn(std::floor(marks.position), marks, width), 0, width - 1);
    fill(rgb, width, shown, 0, height, TimelineColours::shown);
    if (shown + 1 < width) fill(rgb, width, shown + 1, 0, height, TimelineColours::shown);
}

}  // namespace zor
