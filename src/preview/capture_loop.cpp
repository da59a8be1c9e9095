#include "preview/capture_loop.h"

#include <chrono>
#include <iostream>

#include "system/progress.h"
#include "system/stop_signals.h"

namespace zor {

CaptureEnd captureFrames(RenderRun& run, const FramePlan& frames, const CaptureSettings& settings,
                         const PictureSink& sink) {
    CaptureEnd end;
    const std::uint64_t count = frames.count() * settings.repeat;
    RgbPicture picture;
    const auto start = std::chrono::steady_clock::now();
    Progress progress(std::cerr, Progress::modeForStandardError(settings.quiet));
    for (; end.done < count && !stopSignal(); ++end.done) {
        const std::uint64_t index = end.done % frames.count();
        const std::int32_t f = frames.frame(index);
        run.renderFrame(settings.smooth ? frames.smoothFrame(index) : static_cast<float>(f));
        if (settings.readBack) {
            if (!run.capture(picture)) {
                end.error = "cannot read the picture back";
                break;
            }
            if (std::string why = sink(picture, end.done, f); !why.empty()) {
                if (!stopSignal()) end.error = std::move(why);
                break;
            }
        }
        const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        progress.update("frame " + std::to_string(f) + " (" + countText(end.done + 1, count, elapsed, "frames") + ")",
                        end.done + 1 == count);
    }
    end.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    progress.endLine();
    if (end.error.empty()) end.signal = stopSignal();
    return end;
}

}  // namespace zor
