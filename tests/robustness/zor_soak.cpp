// zor-soak: plays the sample demo's scene headless for many frames and
// prints resident memory after the warm-up and at the end.

#include <CLI/CLI.hpp>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <unistd.h>

#include "soak.h"
#include "system/process.h"

int main(int argc, char** argv) {
    CLI::App app{"Plays a scene headless through the frame pass for many frames and reports resident memory."};
    zor::soak::SoakOptions options;
    std::string folder;
    long maxGrowthKiB = 256;
    app.add_option("--data", folder,
                   "Folder holding zor.dat; without it the sample demo's archive is written to a temporary folder");
    app.add_option("--scene", options.scene, "Scene file to play")->capture_default_str();
    app.add_option("--frames", options.frames, "Frames to draw")->capture_default_str()->check(CLI::PositiveNumber);
    app.add_option("--warm-up", options.warmUpFrames, "Frames before the first memory reading")
        ->capture_default_str()
        ->check(CLI::NonNegativeNumber);
    app.add_option("--max-growth", maxGrowthKiB, "Largest allowed growth of resident memory, KiB")
        ->capture_default_str();
    app.add_option("--span", options.frameSpan,
                   "Scene frames to play before wrapping to the first (0: the whole preview range)")
        ->capture_default_str()
        ->check(CLI::NonNegativeNumber);
    app.add_option("--report-every", options.reportEvery, "Print resident memory every N frames (0: only at the end)")
        ->capture_default_str()
        ->check(CLI::NonNegativeNumber);
    bool useGl = false;
    app.add_flag("--gl", useGl,
                 "Draw through the production renderer on OpenGL, headless (SDL's offscreen driver), "
                 "instead of a slot table that only counts");
    app.add_option("--width", options.width, "Screen width")->capture_default_str()->check(CLI::Range(16, 4096));
    app.add_option("--height", options.height, "Screen height")->capture_default_str()->check(CLI::Range(16, 4096));
    CLI11_PARSE(app, argc, argv);
    if (useGl) {
        options.renderer = zor::soak::SoakRenderer::Gl;
        // Headless unless the caller chose a video driver.
        setenv("SDL_VIDEODRIVER", "offscreen", 0);
    }

    std::filesystem::path temporary;
    try {
        if (folder.empty()) {
            temporary = std::filesystem::temp_directory_path() / ("zor-soak-" + std::to_string(zor::processId()));
            zor::soak::writeDemoArchive(temporary);
            options.folder = temporary;
        } else {
            options.folder = folder;
        }
    } catch (const std::exception& e) {
        std::cerr << "zor-soak: cannot write the sample archive: " << e.what() << "\n";
        return 1;
    }

    options.progress = [](std::int64_t frames, long rss) {
        std::printf("frame %lld: rss %ld KiB\n", static_cast<long long>(frames), rss);
        std::fflush(stdout);
    };
    zor::soak::SoakResult r = zor::soak::runSoak(options);
    if (!temporary.empty()) std::filesystem::remove_all(temporary);
    r.diagnostics.print(std::cerr);
    if (!r.loaded) {
        std::cerr << "zor-soak: " << (options.folder / options.scene).string()
                  << ": scene not found or without objects\n";
        return 1;
    }
    const long growth = r.rssEndKiB - r.rssStartKiB;
    std::printf("scene %s: %d objects, %d lights; renderer %s %dx%d\n", options.scene.c_str(), r.objects, r.lights,
                useGl ? "OpenGL (headless)" : "counting only", options.width, options.height);
    std::printf("frames %lld in %.1f s (%.1f us per frame), polygons drawn %lld\n",
                static_cast<long long>(r.framesRun), r.seconds, r.seconds * 1e6 / static_cast<double>(r.framesRun),
                static_cast<long long>(r.polygonsDrawn));
    std::printf("rss after warm-up %ld KiB, at end %ld KiB, growth %ld KiB, peak %ld KiB\n", r.rssStartKiB,
                r.rssEndKiB, growth, r.peakRssKiB);
    if (growth > maxGrowthKiB) {
        std::cerr << "zor-soak: resident memory grew by " << growth << " KiB (allowed " << maxGrowthKiB << ")\n";
        return 1;
    }
    return 0;
}
