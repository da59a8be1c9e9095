#pragma once
// The soak run: the sample demo loaded once, then the frame pass over many
// frames, the way the player's main loop drives it, with resident memory
// measured after a warm-up and at the end. Shared by the short ctest case
// and the zor-soak command.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>

#include "archive/diagnostics.h"

namespace zor::soak {

enum class SoakRenderer {
    Null,  // a slot table that counts polygons and draws nothing
    Gl,    // the production renderer on OpenGL, headless (SDL's offscreen driver)
};

struct SoakOptions {
    std::filesystem::path folder;   // holds zor.dat (or the loose files)
    std::string scene = "glorp2.lws";
    std::int64_t frames = 100000;
    std::int64_t warmUpFrames = 1000;  // RSS is first taken after these
    // Scene frames played before wrapping to the first; 0: the preview range.
    // A short span lets a short run see every state twice.
    int frameSpan = 0;
    int width = 640;
    int height = 480;
    SoakRenderer renderer = SoakRenderer::Null;
    // Called every reportEvery frames (0: never) with the frames drawn so far
    // and the resident memory then, in KiB.
    std::int64_t reportEvery = 0;
    std::function<void(std::int64_t frames, long rssKiB)> progress;
};

struct SoakResult {
    bool loaded = false;            // the scene was found and has objects
    int objects = 0;
    int lights = 0;
    std::int64_t framesRun = 0;
    std::int64_t polygonsDrawn = 0;  // over the whole run
    long rssStartKiB = 0;           // after the warm-up
    long rssEndKiB = 0;
    long peakRssKiB = 0;
    double seconds = 0;             // frame loop only
    Diagnostics diagnostics;        // from loading (and bringing up the display)
};

// Resident set size of this process now, and its peak, in KiB (0 when the
// kernel does not say).
long residentKiB();
long peakResidentKiB();

// Writes the sample demo's archive (zor.dat) into folder.
void writeDemoArchive(const std::filesystem::path& folder);

SoakResult runSoak(const SoakOptions& options);

}  // namespace zor::soak
