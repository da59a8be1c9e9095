// zor-render: the player's picture without a screen. Renders chosen frames of
// the scene (the player's whole pass, logo included) to PNG files, a run at a
// given pass rate to a video through ffmpeg, or measures frames per second.
//
// Exit status: 0 success, 1 failure (said on standard error), 2 usage error;
// on SIGINT or SIGTERM the frame being drawn is finished, a video is closed
// so that it plays, and the process ends by that signal.

#include <CLI/CLI.hpp>
#include <unistd.h>

#include <charconv>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <limits>
#include <optional>
#include <string>

#include "app/scene_stage.h"
#include "archive/file_problem.h"
#include "archive/system_files.h"
#include "contact_sheet.h"
#include "frame_plan.h"
#include "scene/timeline.h"
#include "platform/piped_program.h"
#include "platform/progress.h"
#include "platform/stop_signals.h"
#include "render_run.h"
#include "scene/player_constants.h"
#include "video_encoder.h"

namespace {

namespace fs = std::filesystem;

struct FrameRange {
    std::int32_t first = 0;
    std::int32_t last = 0;
    std::int32_t step = 1;
    bool stepGiven = false;
};

// Reads a whole-string integer starting at text[pos], leaving pos after it.
bool readNumber(const std::string& text, std::size_t& pos, std::int64_t& value, bool allowSign) {
    const char* begin = text.data() + pos;
    const char* end = text.data() + text.size();
    if (!allowSign && begin < end && *begin == '-') return false;
    const auto [next, error] = std::from_chars(begin, end, value);
    if (error != std::errc() || next == begin) return false;
    pos = static_cast<std::size_t>(next - text.data());
    return true;
}

// "A-B" or "A-B:STEP"; B before A is an empty range, not a syntax error.
std::optional<FrameRange> parseRange(const std::string& text) {
    std::size_t pos = 0;
    std::int64_t first = 0, last = 0, step = 1;
    if (!readNumber(text, pos, first, true) || pos >= text.size() || text[pos++] != '-' ||
        !readNumber(text, pos, last, true))
        return std::nullopt;
    const bool stepGiven = pos < text.size();
    if (stepGiven && (text[pos++] != ':' || !readNumber(text, pos, step, false))) return std::nullopt;
    if (pos != text.size() || step <= 0 || first < INT32_MIN || first > INT32_MAX || last < INT32_MIN ||
        last > INT32_MAX || step > INT32_MAX)
        return std::nullopt;
    return FrameRange{static_cast<std::int32_t>(first), static_cast<std::int32_t>(last),
                      static_cast<std::int32_t>(step), stepGiven};
}

int fail(const std::string& message) {
    std::cerr << "zor-render: " << message << '\n';
    return 1;
}

int usage(const std::string& message) {
    std::cerr << "zor-render: " << message << "\nRun with --help for more information.\n";
    return 2;
}

// Why a file cannot be written at `path`, or empty: checked before any
// rendering, so a long run does not end in a file that cannot be made.
std::string outputProblem(const fs::path& path) {
    std::error_code ec;
    if (fs::is_directory(path, ec)) return "is a folder";
    const fs::path folder = path.has_parent_path() ? path.parent_path() : fs::path(".");
    if (!fs::exists(folder, ec)) return "the folder " + folder.string() + " does not exist";
    if (!fs::is_directory(folder, ec)) return folder.string() + " is not a folder";
    if (!zor::system_files::folderTakesNewFiles(folder)) return "the folder " + folder.string() + " is not writable";
    return {};
}

#ifdef _WIN32
constexpr const char* kInstallFfmpeg = "put ffmpeg.exe in a folder on PATH";
#else
constexpr const char* kInstallFfmpeg = "install the Debian package ffmpeg";
#endif

std::string rangeText(std::int32_t first, std::int32_t last) {
    return std::to_string(first) + " to " + std::to_string(last);
}

}  // namespace

int main(int argc, char** argv) {
    zor::installStopSignals();
    CLI::App app{"Renders frames of the demo scene headless, as the player shows them, to PNG files or a video."};
    app.set_version_flag("--version", "zor-render " ZOR_VERSION);
    zor::RenderOptions options;
    std::string directory = ".";
    std::string size = "640x480";
    int bits = 16;
    std::string frames;
    std::optional<std::int32_t> single;
    std::string out;
    std::string video;
    std::string sheet;
    std::string fpsText = "30";
    bool bench = false;
    bool quiet = false;
    bool smooth = false;
    bool trueColour = false;
    std::uint32_t msaa = 0;
    app.add_option("--dir", directory, "Folder holding zor.dat and the data files (default: current folder)");
    app.add_option("--scene", options.sceneName, "Scene file to render")->capture_default_str();
    app.add_option("--size", size, "Picture size WxH")->capture_default_str();
    auto* bppOption = app.add_option("--bpp", bits, "Colour depth: 16 (5-6-5) or 15 (5-5-5)")
                          ->check(CLI::IsMember({15, 16}))
                          ->capture_default_str();
    app.add_flag("--true-colour,--true-color", trueColour,
                 "8 bits a colour channel (32-bit) instead of the original 5-6-5, textures too")
        ->excludes(bppOption);
    app.add_option("--msaa", msaa, "Multisample each pixel N times (2, 4, 8...: as many as the device offers up to N)")
        ->check(CLI::Range(1u, 64u));
    app.add_flag("--stretch", options.stretch,
                 "Spread the view over the whole of a --size that is not 4:3 (by default it keeps its shape in a "
                 "centred 4:3 area between black bars)");
    auto* framesOption = app.add_option(
        "--frames", frames, "Frames A-B or A-B:STEP, as written (default: the frames the player shows for the "
                            "scene's range, by its end rule); with --video, the player's clock runs from A past B");
    app.add_option("--frame", single, "One frame")->excludes(framesOption);
    auto* outOption =
        app.add_option("--out", out, "PNG file for one frame, else a folder for frame-NNNNN.png files");
    auto* sheetOption = app.add_option(
        "--sheet", sheet, "Also write a contact sheet of the rendered frames to this PNG file (at most 64 frames, "
                          "sampled evenly over a longer run)");
    auto* videoOption = app.add_option("--video", video, "Encode the run with the music through ffmpeg")
                            ->excludes(outOption);
    auto* fpsOption = app.add_option("--fps", fpsText,
                                     "Passes per second of the player's clock for --video (and --bench --smooth), 1 "
                                     "to 1000: a decimal number (60, 30.3) or a fraction (30000/1001)")
                          ->capture_default_str();
    app.add_flag("--bench", bench, "Render the frames without writing files; print frames/s")
        ->excludes(outOption)
        ->excludes(videoOption)
        ->excludes(sheetOption);
    app.add_flag("--smooth", smooth,
                 "Smooth motion: each pass of the clock (--video, --bench) shows its own moment, not the whole "
                 "frame it falls in");
    std::uint64_t repeat = 1;
    app.add_option("--repeat", repeat, "With --bench, run the frames this many times over (a longer measure, a soak)")
        ->needs("--bench")
        ->check(CLI::Range(std::uint64_t{1}, std::uint64_t{1} << 32))
        ->capture_default_str();
    app.add_flag("--window", options.visible, "Show the picture in a window while rendering");
    app.add_flag("--quiet,-q", quiet,
                 "No progress (otherwise one line rewritten on a terminal, else a line a second on standard error)");
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        return app.exit(error) == 0 ? 0 : 2;
    }

    options.directory = directory;
    options.bits = trueColour ? 32u : static_cast<std::uint32_t>(bits);
    options.samples = msaa;
    if (smooth && video.empty() && !bench)
        return usage("--smooth runs the player's clock: it needs --video or --bench");
    if (fpsOption->count() && video.empty() && !(bench && smooth))
        return usage("--fps sets the pace of the player's clock: it needs --video, or --bench with --smooth");
    if (!zor::parsePictureSize(size, options.width, options.height)) return usage("--size wants WxH, e.g. 640x480: " + size);
    std::optional<FrameRange> range;
    if (!frames.empty() && !(range = parseRange(frames))) return usage("--frames wants A-B or A-B:STEP: " + frames);
    if (single) range = FrameRange{*single, *single, 1, false};
    if (!bench && video.empty() && out.empty()) return usage("--out PATH is needed (or --bench, or --video FILE)");
    if (!video.empty() && range && range->stepGiven)
        return usage("--video runs at the player's pace; --frames takes no STEP with it");
    // Smooth benchmarks run the clock at 60 passes a second unless told.
    if (bench && smooth && !fpsOption->count()) fpsText = "60";
    const std::optional<zor::FrameRate> fps = zor::parseFrameRate(fpsText);
    if (!fps || fps->value() < 1.0 || fps->value() > 1000.0)
        return usage("--fps wants a rate from 1 to 1000, e.g. 60, 30.3 or 30000/1001: " + fpsText);
    const zor::VideoFormat* format = video.empty() ? nullptr : zor::videoFormatFor(video);
    if (!video.empty() && !format)
        return usage("--video " + video + ": zor-render writes " + zor::videoExtensions() +
                     " files (H.264 and AAC; VP9 and Opus in .webm)");

    std::error_code ec;
    if (!fs::is_directory(directory, ec))
        return fail("--dir " + directory + ": " + (fs::exists(directory, ec) ? "is not a folder" : "no such folder"));
    for (const auto& [option, path] : {std::pair{"--sheet", &sheet}, std::pair{"--video", &video}}) {
        if (path->empty()) continue;
        if (const std::string problem = outputProblem(*path); !problem.empty())
            return fail(std::string(option) + " " + *path + ": " + problem);
    }
    if (!video.empty() && !zor::programOnPath("ffmpeg"))
        return fail(std::string("--video needs ffmpeg, which is not installed (") + kInstallFfmpeg + ")");
    if (!video.empty() && (options.width % 2 || options.height % 2))
        return fail("--video needs an even width and height (the encoder halves the colour planes): " + size);

    zor::RenderRun run(options);
    const bool started = run.start();
    run.diagnostics().print(std::cerr);
    if (!started) return fail(run.error());

    // The frames, from --frames or --frame, else those the player shows for
    // the scene's own range. One line says what the player's end rule gives
    // and, for frames asked for, how they differ from it.
    const std::int32_t first = range ? range->first : run.firstFrame();
    const std::int32_t last = range ? range->last : run.lastFrame();
    const std::string whose = range ? "frames " + rangeText(first, last)
                                    : "the scene's frame range " + rangeText(first, last);
    const zor::ShownFrames shown = zor::shownFrames(first, last);
    std::string rule = shown.describe(range ? "the range" : "the scene's range");
    zor::FramePlan plan = range ? zor::FramePlan::range(first, last, range->step) : zor::FramePlan::player(shown);
    if (!video.empty() || smooth) {
        std::string whyNot;
        const auto clock = zor::FramePlan::clock(first, last, fps->value(), whyNot);
        if (!clock) return fail(std::string(video.empty() ? "--smooth" : "--video") + ": " + whose + ": " + whyNot);
        plan = *clock;
        rule += std::string(video.empty() ? "; smooth motion runs" : "; the video runs") + " the player's clock at " + fpsText +
                " passes a second: " + std::to_string(plan.count()) + (plan.count() == 1 ? " pass" : " passes");
    } else if (range && !single) {
        const bool same = plan.count() == shown.count && !shown.neverEnds && plan.frame(0) == shown.frame(0);
        if (!same)
            rule += "; rendering the " + std::to_string(plan.count()) + (plan.count() == 1 ? " frame" : " frames") +
                    " asked for" + (range->step > 1 ? " (every " + std::to_string(range->step) + ")" : "");
    }
    if (msaa > 1 && run.sampleCount() < static_cast<int>(msaa))
        std::cerr << "zor-render: --msaa " << msaa << ": the device offers "
                  << (run.sampleCount() > 1 ? "at most " + std::to_string(run.sampleCount()) + " samples a pixel"
                                            : "no multisampling")
                  << " for this picture; using " << run.sampleCount() << "\n";
    if (!single) std::cerr << "zor-render: " << rule << '\n';
    if (plan.empty()) return fail(whose + " is empty (the last frame comes before the first): nothing to render");
    if (plan.count() > std::numeric_limits<std::uint64_t>::max() / repeat)
        return usage("--repeat " + std::to_string(repeat) + " times " + std::to_string(plan.count()) +
                     " frames is more than can be counted");
    const std::uint64_t count = plan.count() * repeat;

    // Where pictures go.
    fs::path folder, file;
    if (!bench && video.empty()) {
        const bool oneFile = count == 1 && !out.ends_with('/') && !fs::is_directory(out, ec);
        if (oneFile) {
            file = out;
            if (file.has_parent_path()) fs::create_directories(file.parent_path(), ec);
        } else {
            folder = out;
            fs::create_directories(folder, ec);
            if (ec) return fail(out + ": cannot create the folder: " + ec.message());
        }
    }

    // The video is written beside its place and renamed into it once
    // finished, so a failed run leaves an earlier file of that name alone.
    zor::VideoEncoder encoder;
    const fs::path partial = video.empty() ? fs::path() : fs::path(video + "." + std::to_string(getpid()) + ".part");
    if (!video.empty()) {
        zor::VideoJob job{options.width, options.height, *fps, {}, partial};
        const fs::path music = fs::path(directory) / zor::kMusicFileName;
        if (fs::is_regular_file(music, ec)) {
            job.music = music;
        } else if (const std::string problem = zor::diskFileProblem(music); !problem.empty()) {
            std::cerr << "zor-render: " << music.string() << " " << problem << ": the video will be silent\n";
        } else {
            std::cerr << "zor-render: no " << zor::kMusicFileName << " in " << directory << ": the video will be silent\n";
        }
        std::string error;
        if (!encoder.start("ffmpeg", zor::encoderArguments(*format, job), error)) return fail(error);
    }
    // Ends the encoder and puts the finished file in its place; false (and
    // the unfinished file removed) when either fails.
    const auto finishVideo = [&](std::string& error) {
        if (!encoder.finish()) {
            error = "ffmpeg failed to encode " + video;
        } else if (fs::rename(partial, video, ec); ec) {
            error = "cannot put the video in place as " + video + ": " + ec.message();
        } else {
            return true;
        }
        fs::remove(partial, ec);
        return false;
    };

    zor::RgbPicture picture;
    std::optional<zor::ContactSheet> contact;
    if (!sheet.empty()) contact.emplace(static_cast<int>(options.width), static_cast<int>(options.height), count);
    const auto start = std::chrono::steady_clock::now();
    zor::Progress progress(std::cerr, zor::Progress::modeForStandardError(quiet));
    // Ends the progress line first, so the message starts a line of its own;
    // an unfinished video goes.
    const auto failMidRun = [&](const std::string& message) {
        progress.endLine();
        if (!video.empty()) {
            encoder.finish();
            fs::remove(partial, ec);
        }
        return fail(message);
    };
    // Signals wait for the frame in hand; a second one ends at once.
    zor::StopDeferral deferral;
    std::uint64_t done = 0;
    for (; done < count && !zor::stopSignal(); ++done) {
        const std::int32_t f = plan.frame(done % plan.count());
        run.renderFrame(smooth ? plan.smoothFrame(done % plan.count()) : static_cast<float>(f));
        if (!bench) {
            if (!run.capture(picture)) return failMidRun("cannot read the picture back");
            std::string error;
            if (!video.empty()) {
                if (!encoder.write(picture.pixels.data(), picture.pixels.size())) {
                    if (zor::stopSignal()) break;  // ffmpeg was stopped with us
                    return failMidRun("ffmpeg stopped taking frames for " + video);
                }
            } else {
                char name[32];
                std::snprintf(name, sizeof name, "frame-%05d.png", f);
                const auto path = file.empty() ? folder / name : file;
                if (!zor::writePng(path, picture, error)) return failMidRun(error);
            }
            if (contact && contact->wants(done)) contact->add(picture, done);
        }
        const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        progress.update("frame " + std::to_string(f) + " (" + zor::countText(done + 1, count, elapsed, "frames") + ")",
                        done + 1 == count);
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    progress.endLine();
    if (const int signal = zor::stopSignal()) {
        std::cerr << "zor-render: stopped by a signal after " << done << " of " << count << " frames";
        if (!video.empty()) {
            std::string error;
            if (finishVideo(error))
                std::cerr << "; " << video << " holds the frames so far";
            else
                std::cerr << "; " << error << ", the unfinished video was removed";
        }
        std::cerr << '\n';
        zor::endByStopSignal(signal);
    }
    if (!video.empty()) {
        std::string error;
        if (!finishVideo(error)) return fail(error);
    }
    if (contact) {
        std::string error;
        if (!zor::writePng(sheet, contact->picture(), error)) return fail(error);
        std::cerr << "contact sheet: " << sheet << '\n';
    }
    if (bench) {
        char text[64];
        std::snprintf(text, sizeof text, "%.1f frames/s", seconds > 0 ? double(count) / seconds : 0.0);
        std::cout << text << '\n';
    }
    // A signal that came while the sheet was written still ends the run by it.
    if (const int signal = zor::stopSignal()) zor::endByStopSignal(signal);
    return 0;
}
