#pragma once
// The tools' run over a plan of frames (zor-render's pictures, videos and
// benchmarks, zor-publish's video): each pass draws its frame through the
// player's pass, reads the picture back and hands it on, with a progress
// line on standard error. A stop signal ends the run after the frame in
// hand; the caller holds the StopDeferral (system/stop_signals.h) that lets
// it finish what it writes, and ends the process by the signal afterwards.

#include <cstdint>
#include <functional>
#include <string>

#include "display/png_file.h"
#include "preview/frame_plan.h"
#include "preview/render_run.h"

namespace zor {

struct CaptureSettings {
    std::uint64_t repeat = 1;  // the plan over this many times (a benchmark's long measure)
    bool smooth = false;       // each pass shows its own moment (FramePlan::smoothFrame)
    bool readBack = true;      // false: draw only, for a benchmark
    bool quiet = false;        // no progress line
};

struct CaptureEnd {
    std::uint64_t done = 0;  // passes drawn and handed on
    double seconds = 0;      // the run's time
    int signal = 0;          // the stop signal that ended the run, or 0
    std::string error;       // why the run failed, or empty
};

// Takes each picture read back with its pass (from 0) and frame; returns
// empty to go on, else why the run fails. A failure that comes after a stop
// signal (a piped encoder stopped with us) ends the run as stopped.
using PictureSink = std::function<std::string(const RgbPicture& picture, std::uint64_t pass, std::int32_t frame)>;

// `frames` must not be empty. The progress line is ended before it returns.
CaptureEnd captureFrames(RenderRun& run, const FramePlan& frames, const CaptureSettings& settings,
                         const PictureSink& sink);

}  // namespace zor
