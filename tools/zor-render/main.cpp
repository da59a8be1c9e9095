// zor-render: the player's picture without a screen. Renders chosen frames of
// the scene (the player's whole pass, logo included) to PNG files, a run at a
// given pass rate to a video through ffmpeg, or measures frames per second.
//
// Exit status: 0 success, 1 failure (said on standard error), 2 usage error;
// on SIGINT or SIGTERM the frame being drawn is finished, a video is closed
// so that it plays, and the process ends by that signal.

#include <CLI/CLI.hpp>

#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <limits>
#include <optional>
#include <string>

#include "preview/tool_usage.h"
#include "preview/scene_stage.h"
#include "display/display.h"
#include "render/picture_area.h"
#include "system/files.h"
#include "system/text.h"
#include "contact_sheet.h"
#include "preview/frame_plan.h"
#include "scene/timeline.h"
#include "system/piped_program.h"
#include "system/process.h"
#include "system/stop_signals.h"
#include "system/text.h"
#include "preview/render_run.h"
#include "scene/player_constants.h"
#include "preview/video_encoder.h"
#include "preview/video_recording.h"
#include "preview/capture_loop.h"

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

int usage(const std::string& message) { return zor::usageError("zor-render", message); }

// Why a file cannot be written at `path`, or empty: checked before any
// rendering, so a long run does not end in a file that cannot be made.
std::string outputProblem(const fs::path& path) {
    std::error_code ec;
    if (fs::is_directory(path, ec)) return "is a folder";
    const fs::path folder = path.has_parent_path() ? path.parent_path() : fs::path(".");
    if (!fs::exists(folder, ec)) return "the folder " + zor::utf8Of(folder) + " does not exist";
    if (!fs::is_directory(folder, ec)) return zor::utf8Of(folder) + " is not a folder";
    if (!zor::system_files::folderTakesNewFiles(folder)) return "the folder " + zor::utf8Of(folder) + " is not writable";
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


// What the command line asks for, checked.
struct Request {
    zor::RenderOptions options;
    std::string directory = ".";
    std::string size = "640x480";
    std::optional<FrameRange> range;
    bool single = false;  // --frame: one frame, no line on the range
    std::string out, video, sheet;
    std::string fpsText = "30";
    std::optional<zor::FrameRate> fps;
    const zor::VideoFormat* format = nullptr;
    bool bench = false, quiet = false, smooth = false;
    std::uint32_t msaa = 0;
    std::uint64_t repeat = 1;
};

// The frames to render and where their pictures go.
struct Plan {
    zor::FramePlan frames;
    std::uint64_t count = 0;  // frames x repeat
    fs::path folder, file;    // frame-NNNNN.png files in folder, or the one file
};

// Options, then the checks that need no scene. Nothing when the run goes on,
// else the status to end with.
std::optional<int> parse(zor::ProgramArguments& arguments, Request& r) {
    CLI::App app{"Renders frames of the demo scene headless, as the player shows them, to PNG files or a video."};
    app.set_version_flag("--version", "zor-render " ZOR_VERSION);
    int bits = 16;
    std::string frames;
    std::optional<std::int32_t> single;
    bool trueColour = false;
    app.add_option("--dir", r.directory, "Folder holding zor.dat and the data files (default: current folder)");
    app.add_option("--scene", r.options.stage.sceneName, "Scene file to render")->capture_default_str();
    app.add_option("--size", r.size, "Picture size WxH")->capture_default_str();
    auto* bppOption = app.add_option("--bpp", bits, "Colour depth: 16 (5-6-5) or 15 (5-5-5)")
                          ->check(CLI::IsMember({15, 16}))
                          ->capture_default_str();
    app.add_flag("--true-colour,--true-color", trueColour,
                 "8 bits a colour channel (32-bit) instead of the original 5-6-5, textures too")
        ->excludes(bppOption);
    app.add_option("--msaa", r.msaa, "Multisample each pixel N times (2, 4, 8...: as many as the device offers up to N)")
        ->check(CLI::Range(1u, 64u));
    app.add_flag("--stretch", r.options.stretch,
                 "Spread the view over the whole of a --size that is not 4:3 (by default it keeps its shape in a "
                 "centred 4:3 area between black bars)");
    auto* framesOption = app.add_option(
        "--frames", frames, "Frames A-B or A-B:STEP, as written (default: the frames the player shows for the "
                            "scene's range, by its end rule); with --video, the player's clock runs from A past B");
    app.add_option("--frame", single, "One frame")->excludes(framesOption);
    auto* outOption =
        app.add_option("--out", r.out, "PNG file for one frame, else a folder for frame-NNNNN.png files");
    auto* sheetOption = app.add_option(
        "--sheet", r.sheet, "Also write a contact sheet of the rendered frames to this PNG file (at most 64 frames, "
                            "sampled evenly over a longer run)");
    auto* videoOption = app.add_option("--video", r.video, "Encode the run with the music through ffmpeg")
                            ->excludes(outOption);
    auto* fpsOption = app.add_option("--fps", r.fpsText,
                                     "Passes per second of the player's clock for --video (and --bench --smooth), 1 "
                                     "to 1000: a decimal number (60, 30.3) or a fraction (30000/1001)")
                          ->capture_default_str();
    app.add_flag("--bench", r.bench, "Render the frames without writing files; print frames/s")
        ->excludes(outOption)
        ->excludes(videoOption)
        ->excludes(sheetOption);
    app.add_flag("--smooth", r.smooth,
                 "Smooth motion: each pass of the clock (--video, --bench) shows its own moment, not the whole "
                 "frame it falls in");
    app.add_option("--repeat", r.repeat, "With --bench, run the frames this many times over (a longer measure, a soak)")
        ->needs("--bench")
        ->check(CLI::Range(std::uint64_t{1}, std::uint64_t{1} << 32))
        ->capture_default_str();
    app.add_flag("--window", r.options.visible, "Show the picture in a window while rendering");
    app.add_flag("--quiet,-q", r.quiet,
                 "Print nothing but warnings and errors (otherwise progress: one line rewritten on a terminal, else "
                 "a line a second on standard error)");
    if (const std::optional<int> status = zor::parseToolArguments(app, arguments)) return status;

    r.options.stage.directory = zor::pathFromUtf8(r.directory);
    r.options.stage.bits = trueColour ? 32u : static_cast<std::uint32_t>(bits);
    r.options.stage.samples = r.msaa;
    if (r.smooth && r.video.empty() && !r.bench)
        return usage("--smooth runs the player's clock: it needs --video or --bench");
    if (fpsOption->count() && r.video.empty() && !(r.bench && r.smooth))
        return usage("--fps sets the pace of the player's clock: it needs --video, or --bench with --smooth");
    if (!zor::parsePictureSize(r.size, r.options.stage.width, r.options.stage.height))
        return usage("--size wants WxH, e.g. 640x480: " + r.size);
    if (!frames.empty() && !(r.range = parseRange(frames))) return usage("--frames wants A-B or A-B:STEP: " + frames);
    if (single) r.range = FrameRange{*single, *single, 1, false};
    r.single = single.has_value();
    if (!r.bench && r.video.empty() && r.out.empty()) return usage("--out PATH is needed (or --bench, or --video FILE)");
    if (!r.video.empty() && r.range && r.range->stepGiven)
        return usage("--video runs at the player's pace; --frames takes no STEP with it");
    // Smooth benchmarks run the clock at 60 passes a second unless told.
    if (r.bench && r.smooth && !fpsOption->count()) r.fpsText = "60";
    r.fps = zor::parseFrameRate(r.fpsText);
    if (!r.fps || r.fps->value() < 1.0 || r.fps->value() > 1000.0)
        return usage("--fps wants a rate from 1 to 1000, e.g. 60, 30.3 or 30000/1001: " + r.fpsText);
    r.format = r.video.empty() ? nullptr : zor::videoFormatFor(zor::pathFromUtf8(r.video));
    if (!r.video.empty() && !r.format)
        return usage("--video " + r.video + ": zor-render writes " + zor::videoExtensions() +
                     " files (H.264 and AAC; VP9 and Opus in .webm)");

    std::error_code ec;
    if (!fs::is_directory(r.options.stage.directory, ec))
        return fail("--dir " + r.directory + ": " +
                    (fs::exists(r.options.stage.directory, ec) ? "is not a folder" : "no such folder"));
    for (const auto& [option, path] : {std::pair{"--sheet", &r.sheet}, std::pair{"--video", &r.video}}) {
        if (path->empty()) continue;
        if (const std::string problem = outputProblem(zor::pathFromUtf8(*path)); !problem.empty())
            return fail(std::string(option) + " " + *path + ": " + problem);
    }
    if (!r.video.empty() && !zor::programOnPath("ffmpeg"))
        return fail(std::string("--video needs ffmpeg, which is not installed (") + kInstallFfmpeg + ")");
    if (!r.video.empty() && (r.options.stage.width % 2 || r.options.stage.height % 2))
        return fail("--video needs an even width and height (the encoder halves the colour planes): " + r.size);
    return std::nullopt;
}

// The frames, from --frames or --frame, else those the player shows for the
// scene's own range, and the folder or file for the pictures. One line says
// what the player's end rule gives and, for frames asked for, how they differ
// from it. Nothing when the run goes on, else the status to end with.
std::optional<int> plan(const Request& r, zor::RenderRun& run, Plan& p) {
    const std::int32_t first = r.range ? r.range->first : run.firstFrame();
    const std::int32_t last = r.range ? r.range->last : run.lastFrame();
    const std::string whose = r.range ? "frames " + rangeText(first, last)
                                      : "the scene's frame range " + rangeText(first, last);
    const zor::ShownFrames shown = zor::shownFrames(first, last);
    std::string rule = shown.describe(r.range ? "the range" : "the scene's range");
    p.frames = r.range ? zor::FramePlan::range(first, last, r.range->step) : zor::FramePlan::player(shown);
    if (!r.video.empty() || r.smooth) {
        std::string whyNot;
        const auto clock = zor::FramePlan::clock(first, last, r.fps->value(), whyNot);
        if (!clock) return fail(std::string(r.video.empty() ? "--smooth" : "--video") + ": " + whose + ": " + whyNot);
        p.frames = *clock;
        rule += std::string(r.video.empty() ? "; smooth motion runs" : "; the video runs") + " the player's clock at " +
                r.fpsText + " passes a second: " + std::to_string(p.frames.count()) +
                (p.frames.count() == 1 ? " pass" : " passes");
    } else if (r.range && !r.single) {
        const bool same =
            p.frames.count() == shown.count && !shown.neverEnds && p.frames.frame(0) == shown.frame(0);
        if (!same)
            rule += "; rendering the " + std::to_string(p.frames.count()) +
                    (p.frames.count() == 1 ? " frame" : " frames") + " asked for" +
                    (r.range->step > 1 ? " (every " + std::to_string(r.range->step) + ")" : "");
    }
    if (r.msaa > 1 && run.sampleCount() < static_cast<int>(r.msaa))
        std::cerr << "zor-render: warning: --msaa " << r.msaa << ": the device offers "
                  << (run.sampleCount() > 1 ? "at most " + std::to_string(run.sampleCount()) + " samples a pixel"
                                            : "no multisampling")
                  << " for this picture; using " << run.sampleCount() << "\n";
    if (!r.single && !r.quiet) std::cerr << "zor-render: " << rule << '\n';
    if (p.frames.empty()) return fail(whose + " is empty (the last frame comes before the first): nothing to render");
    if (p.frames.count() > std::numeric_limits<std::uint64_t>::max() / r.repeat)
        return usage("--repeat " + std::to_string(r.repeat) + " times " + std::to_string(p.frames.count()) +
                     " frames is more than can be counted");
    p.count = p.frames.count() * r.repeat;

    if (!r.bench && r.video.empty()) {
        std::error_code ec;
        const fs::path out = zor::pathFromUtf8(r.out);
        const bool oneFile = p.count == 1 && !r.out.ends_with('/') && !fs::is_directory(out, ec);
        if (oneFile) {
            p.file = out;
            if (p.file.has_parent_path()) fs::create_directories(p.file.parent_path(), ec);
        } else {
            p.folder = out;
            fs::create_directories(p.folder, ec);
            if (ec) return fail(r.out + ": cannot create the folder: " + ec.message());
        }
    }
    return std::nullopt;
}

// Draws the planned frames and writes each where it goes; prints frames/s for
// --bench. Ctrl-C ends the run after the frame in hand (a video is closed so
// that it plays), and the process then ends by that signal.
int render(const Request& r, zor::RenderRun& run, const Plan& p) {
    zor::VideoRecording video(r.video.empty() ? fs::path() : zor::pathFromUtf8(r.video), zor::Replace::Always);
    if (!r.video.empty()) {
        zor::VideoJob job{r.options.stage.width, r.options.stage.height, *r.fps, {}, {}, {}, 0};
        std::string warning, error;
        job.music = zor::videoMusic(r.options.stage.directory, r.directory, warning);
        if (!warning.empty()) std::cerr << "zor-render: warning: " << warning << '\n';
        if (!video.start(*r.format, job, error)) return fail(error);
    }
    std::optional<zor::ContactSheet> contact;
    if (!r.sheet.empty())
        contact.emplace(static_cast<int>(r.options.stage.width), static_cast<int>(r.options.stage.height), p.count);
    // Signals wait for the frame in hand; a second one ends at once.
    zor::StopDeferral deferral;
    const zor::CaptureSettings settings{.repeat = r.repeat, .smooth = r.smooth, .readBack = !r.bench, .quiet = r.quiet};
    const zor::CaptureEnd end = zor::captureFrames(
        run, p.frames, settings, [&](const zor::RgbPicture& picture, std::uint64_t pass, std::int32_t f) {
            if (video.started()) {
                if (!video.write(picture)) return "ffmpeg stopped taking frames for " + r.video;
            } else {
                char name[32];
                std::snprintf(name, sizeof name, "frame-%05d.png", f);
                std::string error;
                if (!zor::writePng(p.file.empty() ? p.folder / zor::pathFromUtf8(name) : p.file, picture, error))
                    return error;
            }
            if (contact && contact->wants(pass)) contact->add(picture, pass);
            return std::string();
        });
    if (!end.error.empty()) {
        video.abandon();
        return fail(end.error);
    }
    if (end.signal) {
        std::cerr << "zor-render: stopped by a signal after " << end.done << " of " << p.count << " frames"
                  << (video.started() ? video.finishAfterStop() : std::string()) << '\n';
        zor::endByStopSignal(end.signal);
    }
    if (video.started()) {
        std::string error;
        if (!video.finish(error)) return fail(error);
    }
    if (contact) {
        std::string error;
        if (!zor::writePng(zor::pathFromUtf8(r.sheet), contact->picture(), error)) return fail(error);
        if (!r.quiet) std::cerr << "contact sheet: " << r.sheet << '\n';
    }
    if (r.bench) {
        char text[64];
        std::snprintf(text, sizeof text, "%.1f frames/s", end.seconds > 0 ? double(p.count) / end.seconds : 0.0);
        std::cout << text << '\n';
    }
    // A signal that came while the sheet was written still ends the run by it.
    if (const int signal = zor::stopSignal()) zor::endByStopSignal(signal);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    zor::ProgramArguments arguments = zor::startProgram(argc, argv);
    zor::installStopSignals();
    Request request;
    if (const std::optional<int> status = parse(arguments, request)) return *status;
    zor::RenderRun run(request.options);
    const bool started = run.start();
    // --quiet keeps the errors only.
    for (const zor::Diagnostic& d : run.diagnostics().items())
        if (!request.quiet || d.severity == zor::Severity::Error)
            std::cerr << (d.severity == zor::Severity::Error ? "error: " : "warning: ") << d.text() << '\n';
    if (!started) return fail(run.error());
    const zor::PictureArea area =
        zor::pictureArea(request.options.stage.width, request.options.stage.height, request.options.stretch);
    if (!request.quiet && (area.width < zor::kLogoSide || area.height < zor::kLogoSide))
        std::cerr << "zor-render: warning: the picture (" << area.width << " x " << area.height
                  << ") is smaller than the logo's " << zor::kLogoSide << " x " << zor::kLogoSide
                  << " corner: the player shows no logo at this size\n";
    Plan frames;
    if (const std::optional<int> status = plan(request, run, frames)) return *status;
    return render(request, run, frames);
}
