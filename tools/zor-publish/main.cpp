// zor-publish: what the audience opens, from an author's play folder. One
// self-contained HTML file that plays from the disk (--html), a web site
// (--web, a folder or a .tar.gz or .zip of one), the Windows player with the
// demo beside it (--windows FILE.zip: an author's release with its README.txt,
// FILE_ID.DIZ and screenshot) and the party's capture (--video FILE.mp4),
// each built from the runtimes the build already makes (the page, the
// Windows player) and the folder's data: checked as zor-inspect --check
// checks it, packed into one zor.dat, with its music, a title, a description
// and a poster picture rendered as zor-render renders it.
//
// Exit status: 0 success, 1 failure (said on standard error), 2 usage error.

#include <algorithm>
#include <filesystem>
#include <iostream>
#include <optional>
#include <string>

#include "preview/capture_loop.h"
#include "preview/frame_plan.h"
#include "preview/render_run.h"
#include "preview/video_encoder.h"
#include "preview/video_recording.h"
#include "preview/tool_usage.h"
#include "archive_bytes.h"
#include "bundle_writer.h"
#include "demo_bundle.h"
#include "display/png_file.h"
#include "writers/jpeg_writer.h"
#include "pages.h"
#include "release_texts.h"
#include "system/process.h"
#include "system/stop_signals.h"
#include "system/text.h"
#include "scene/player_constants.h"
#include "scene/timeline.h"

namespace {

namespace fs = std::filesystem;
using zor::publish::DemoBundle;

// The size of a release's screenshot and video: what parties show.
constexpr std::uint32_t kCaptureWidth = 1920, kCaptureHeight = 1080;
// The video's rate, above the 8 Mbit/s that parties ask of a 1080p capture.
constexpr std::uint64_t kVideoBitRate = 12'000'000;

int fail(const std::string& message) {
    std::cerr << "zor-publish: " << message << '\n';
    return 1;
}

std::string sizeText(std::uint64_t bytes) {
    char text[32];
    if (bytes >= 1024 * 1024) std::snprintf(text, sizeof text, "%.1f MiB", bytes / (1024.0 * 1024.0));
    else std::snprintf(text, sizeof text, "%.1f KiB", bytes / 1024.0);
    return text;
}

// Frame `frame` of the scene (by default the middle of the frames the player
// shows) as zor-render renders it, at `width` x `height` with `bits` and
// `samples` (RenderOptions).
std::optional<zor::RgbPicture> renderPicture(const fs::path& folder, std::optional<std::int32_t> frame,
                                             std::uint32_t width, std::uint32_t height, std::uint32_t bits,
                                             std::uint32_t samples, std::string& why) {
    zor::RenderOptions options;
    options.stage.directory = folder;
    options.stage.width = width;
    options.stage.height = height;
    options.stage.bits = bits;
    options.stage.samples = samples;
    zor::RenderRun run(options);
    if (!run.start()) {
        why = run.error();
        return std::nullopt;
    }
    if (!frame) {
        const zor::ShownFrames shown = zor::shownFrames(run.firstFrame(), run.lastFrame());
        frame = shown.frame(shown.count / 2);
    }
    run.renderFrame(static_cast<float>(*frame));
    zor::RgbPicture picture;
    if (!run.capture(picture)) {
        why = "cannot read the picture back";
        return std::nullopt;
    }
    return picture;
}

// The poster: the picture at 640x480 as the player first shows it, a JPEG.
std::optional<zor::Bytes> renderPoster(const fs::path& folder, std::optional<std::int32_t> frame, std::string& why) {
    std::optional<zor::RgbPicture> picture = renderPicture(folder, frame, 640, 480, 16, 0, why);
    if (!picture) return std::nullopt;
    zor::write::RgbImage image(picture->width, picture->height);
    image.rgb = std::move(picture->pixels);
    try {
        return zor::write::encodeJpeg(image, {.quality = 85});
    } catch (const std::exception& e) {
        why = e.what();
        return std::nullopt;
    }
}

// A release's screenshot: the picture at 1920x1080, true colour, 4x
// multisampled, a PNG.
std::optional<zor::Bytes> renderScreenshot(const fs::path& folder, std::optional<std::int32_t> frame,
                                           std::string& why) {
    const std::optional<zor::RgbPicture> picture =
        renderPicture(folder, frame, kCaptureWidth, kCaptureHeight, 32, 4, why);
    if (!picture) return std::nullopt;
    std::vector<std::uint8_t> png;
    if (!zor::encodePng(*picture, png, why)) return std::nullopt;
    return zor::Bytes(png.begin(), png.end());
}

// The party's capture: what the player shows, at 1920x1080 and 60 passes a
// second in smooth motion, true colour and 4x multisampled, H.264 at
// kVideoBitRate with the music, the demo's title in the file. Ctrl-C ends it
// after the frame in hand with the frames so far in a file that plays.
int writeVideo(const fs::path& folder, const std::string& video, const zor::VideoFormat& format,
               const zor::DemoInfo& info, zor::Replace replace, bool quiet) {
    zor::RenderOptions options;
    options.stage.directory = folder;
    options.stage.width = kCaptureWidth;
    options.stage.height = kCaptureHeight;
    options.stage.bits = 32;
    options.stage.samples = 4;
    zor::RenderRun run(options);
    if (!run.start()) return fail(run.error());
    std::string why;
    const std::optional<zor::FramePlan> frames = zor::FramePlan::clock(run.firstFrame(), run.lastFrame(), 60, why);
    if (!frames) return fail("--video: the scene's frame range: " + why);
    if (frames->empty()) return fail("--video: the scene's frame range is empty: nothing to record");
    if (!quiet)
        std::cerr << "zor-publish: recording " << video << ": " << frames->count() << " passes at 60 a second, "
                  << kCaptureWidth << "x" << kCaptureHeight << '\n';
    zor::VideoRecording recording(zor::pathFromUtf8(video), replace);
    zor::VideoJob job{kCaptureWidth, kCaptureHeight, {60, 1}, {}, {}, info.title, kVideoBitRate};
    std::string warning, error;
    job.music = zor::videoMusic(folder, zor::utf8Of(folder), warning);
    if (!warning.empty()) std::cerr << "zor-publish: warning: " << warning << '\n';
    if (!recording.start(format, job, error)) return fail(error);
    zor::StopDeferral deferral;
    const zor::CaptureSettings settings{.smooth = true, .quiet = quiet};
    const zor::CaptureEnd end =
        zor::captureFrames(run, *frames, settings, [&](const zor::RgbPicture& picture, std::uint64_t, std::int32_t) {
            return recording.write(picture) ? std::string() : "ffmpeg stopped taking frames for " + video;
        });
    if (!end.error.empty()) {
        recording.abandon();
        return fail(end.error);
    }
    if (end.signal) {
        std::cerr << "zor-publish: stopped by a signal after " << end.done << " of " << frames->count() << " passes"
                  << recording.finishAfterStop() << '\n';
        zor::endByStopSignal(end.signal);
    }
    if (!recording.finish(error)) return fail(error);
    std::error_code ec;
    if (!quiet)
        std::cerr << "zor-publish: wrote " << video << " (" << sizeText(fs::file_size(zor::pathFromUtf8(video), ec))
                  << ")\n";
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    zor::ProgramArguments arguments = zor::startProgram(argc, argv);
    zor::installStopSignals();
    CLI::App app{"Writes what the audience opens from a play folder (a zor.dat or the loose files of one, with "
                 "mp3.mp3): a single HTML file that plays from the disk, a web site, a Windows zip, or the party's video."};
    app.set_version_flag("--version", "zor-publish " ZOR_VERSION);
    std::string folder, html, web, windows, video, url, webRuntime, windowsRuntime;
    zor::DemoInfo naming;
    std::optional<std::int32_t> posterFrame;
    bool noPoster = false, withTools = false, force = false, ignoreErrors = false, quiet = false;
    app.add_option("FOLDER", folder, "The play folder")->required();
    app.add_option("--html", html, "One self-contained HTML file that plays when opened from the disk");
    app.add_option("--web", web,
                   "A web site for any static host: a folder, or a .tar.gz or .zip holding one (README in it says "
                   "what the server must do)");
    app.add_option("--windows", windows,
                   "A .zip of the Windows player with the demo beside zor.exe, in one folder named after the demo, "
                   "with README.txt, FILE_ID.DIZ, a screenshot NAME.png (1920x1080) and LICENSE.txt");
    app.add_flag("--with-tools", withTools, "With --windows: the authoring programs too (zor-import.exe, ...)");
    app.add_option("--video", video,
                   "An .mp4 of the demo as a party shows it: 1920x1080 at 60 frames a second, H.264 at 12 Mbit/s "
                   "with AAC music, the title in its metadata (ffmpeg on PATH)");
    app.add_option("--title", naming.title,
                   "The demo's title: the page's tab, its link preview, its start and end panels");
    app.add_option("--author", naming.author, "Who made the demo, for the start and end panels");
    app.add_option("--description", naming.description,
                   "One or two sentences on the demo: the start panel and the link preview");
    auto* frameOption =
        app.add_option("--poster-frame", posterFrame,
                       "The frame shown as the preview picture and the screenshot (default: the middle)");
    app.add_flag("--no-poster", noPoster, "No preview picture and no screenshot")->excludes(frameOption);
    app.add_option("--url", url, "The address the site will be served from, for the link preview's picture");
    app.add_option("--web-runtime", webRuntime, "The page's runtime folder (default: the installed one, or the build's)");
    app.add_option("--windows-runtime", windowsRuntime,
                   "The Windows player's folder (default: the installed one, or the build's)");
    app.add_flag("--force", force, "Replace outputs that are already there");
    app.add_flag("--ignore-errors", ignoreErrors, "Publish although the check found errors");
    app.add_flag("--quiet,-q", quiet, "Print nothing but errors");
    app.footer("The folder is checked first as zor-inspect --check checks it: errors stop the publishing "
               "(--ignore-errors goes on), warnings are printed. Every file is written beside its place and renamed into it.\n\n"
               "The demo's title, author and description are those of the folder's demo-info.txt (on disk, else in "
               "its archive), each replaced by --title, --author or --description when given; the published "
               "archive's demo-info.txt holds them. A folder that says nothing of its demo (as the sample) gets "
               "the Windows player's own README.txt in its zip, without FILE_ID.DIZ and the screenshot.\n\n"
               "--web takes no other archive's ending (.rar, .7z, .tar, .tar.bz2, .tar.xz, .gz, .bz2, .xz, .zst).\n\n"
               "Exit status: 0 success, 1 failure, 2 usage error.");
    if (const std::optional<int> status = zor::parseToolArguments(app, arguments)) return *status;
    if (html.empty() && web.empty() && windows.empty() && video.empty())
        return zor::usageError("zor-publish", "say what to write: --html FILE, --web DIR|FILE.tar.gz|FILE.zip, "
                                              "--windows FILE.zip or --video FILE.mp4");
    const zor::VideoFormat* const videoFormat = zor::videoFormatFor(zor::pathFromUtf8(video));
    if (!video.empty() && (!videoFormat || videoFormat->extension != ".mp4"))
        return zor::usageError("zor-publish", "--video wants a .mp4 file: " + video);
    if (!windows.empty() && zor::publish::bundleKindOf(zor::pathFromUtf8(windows)) != zor::publish::BundleKind::Zip)
        return zor::usageError("zor-publish", "--windows wants a .zip file: " + windows);
    if (const std::string ending = zor::publish::unwrittenArchiveEnding(zor::pathFromUtf8(web)); !ending.empty())
        return zor::usageError("zor-publish", "--web writes a folder, a .tar.gz (or .tgz) or a .zip, not a " + ending +
                                                  ": " + web);
    const zor::Replace replace = force ? zor::Replace::Always : zor::Replace::Never;

    try {
        // The runtimes first: a missing one is known before any work.
        // The build's own runtimes only for the program of this build tree.
        std::error_code ec;
#ifdef ZOR_BUILD_DIR
        const bool fromBuild = zor::utf8Of(zor::programFolder()).starts_with(ZOR_BUILD_DIR "/");
        const fs::path buildWeb = fromBuild ? ZOR_BUILD_WEB_RUNTIME : "";
        const fs::path buildWindows = fromBuild ? ZOR_BUILD_WINDOWS_RUNTIME : "";
#else
        const fs::path buildWeb, buildWindows;
#endif
        fs::path webDir, windowsDir;
        if (!html.empty() || !web.empty())
            webDir = zor::publish::findRuntime("web", zor::pathFromUtf8(webRuntime), buildWeb);
        if (!windows.empty())
            windowsDir = zor::publish::findRuntime("windows", zor::pathFromUtf8(windowsRuntime), buildWindows);

        const fs::path playFolder = zor::pathFromUtf8(folder);
        const DemoBundle demo = zor::publish::bundleDemo(playFolder, naming);
        const std::size_t errors = zor::check::countErrors(demo.findings);
        for (const zor::check::Finding& f : demo.findings)
            if (!quiet || f.severity == zor::Severity::Error) std::cerr << f.format() << '\n';
        if (errors > 0 && !ignoreErrors)
            return fail(folder + ": the check found " + std::to_string(errors) + (errors == 1 ? " error" : " errors") +
                        "; nothing was written (--ignore-errors publishes anyway)");
        if (!quiet)
            std::cerr << "zor-publish: " << zor::kArchiveFileName << ": " << demo.entries << " entries ("
                      << demo.packedFromDisk << " from loose files), " << sizeText(demo.archive.size())
                      << (demo.music ? ", with " : ", without ") << zor::kMusicFileName << '\n';

        zor::publish::PageInfo info;
        info.url = url;
        if (!noPoster && (!html.empty() || !web.empty())) {
            std::string why;
            info.poster = renderPoster(playFolder, posterFrame, why);
            if (!info.poster) std::cerr << "zor-publish: warning: no poster: " << why << '\n';
        }

        if (!html.empty()) {
            const std::string page = zor::publish::singleFilePage(webDir, demo, info);
            zor::WriteFailure failure;
            if (!zor::writeFileByRename(zor::pathFromUtf8(html),
                                        std::span(reinterpret_cast<const std::uint8_t*>(page.data()), page.size()),
                                        replace, failure))
                return fail(failure.describe(zor::pathFromUtf8(html), "--force"));
            if (!quiet) {
                // Against what it carries: the demo's data and its poster as
                // they are, the runtime as a server would send it (gzipped).
                std::uint64_t data = demo.archive.size() + (demo.music ? demo.music->size() : 0), runtime = 0;
                for (const zor::write::DataFile& f : demo.diskOnly) data += f.bytes.size();
                const std::uint64_t poster = info.poster ? info.poster->size() : 0;
                for (const zor::web::WebFile& file : zor::web::kWebRuntimeFiles)
                    if (zor::publish::sentGzipped(file.role))
                        if (const auto bytes = zor::readWholeFile(webDir / file.name))
                            runtime += zor::publish::gzipped(*bytes).size();
                const std::uint64_t carried = data + poster + runtime;
                char share[16];
                std::snprintf(share, sizeof share, "%.1f%%", 100.0 * page.size() / std::max<std::uint64_t>(1, carried));
                std::cerr << "zor-publish: wrote " << html << " (" << sizeText(page.size()) << ": the data "
                          << sizeText(data) << (poster ? ", the poster " + sizeText(poster) : std::string())
                          << " and the runtime " << sizeText(runtime) << " gzipped make " << sizeText(carried)
                          << ", so " << share << " of that)\n";
            }
        }
        if (!web.empty()) {
            const std::vector<zor::write::DataFile> files = zor::publish::siteFiles(webDir, demo, info);
            const fs::path site = zor::pathFromUtf8(web);
            zor::publish::writeBundle(site, files, replace);
            std::uint64_t total = 0;
            for (const zor::write::DataFile& f : files) total += f.bytes.size();
            if (!quiet)
                std::cerr << "zor-publish: wrote " << web << " (" << files.size() << " files, " << sizeText(total)
                          << (fs::is_directory(site, ec) ? "" : ", " + sizeText(fs::file_size(site, ec)) + " packed")
                          << ")\n";
        }
        if (!windows.empty()) {
            const fs::path zip = zor::pathFromUtf8(windows);
            // An author's release when the demo says what it is called; the
            // sample's (no demo-info.txt) keeps the runtime's README.txt.
            zor::publish::WindowsRelease release;
            release.withTools = withTools;
            release.authors = !demo.info.empty();
            release.folderName = zor::publish::archiveFolderName(zip);
            if (release.authors) {
                release.folderName = zor::publish::safeFolderName(demo.info.title, release.folderName);
                if (!noPoster) {
                    std::string why;
                    release.screenshot = renderScreenshot(playFolder, posterFrame, why);
                    if (!release.screenshot) std::cerr << "zor-publish: warning: no screenshot: " << why << '\n';
                }
            }
            zor::publish::writeBundle(zip, zor::publish::windowsFiles(windowsDir, demo, release), replace,
                                      release.folderName);
            if (!quiet) std::cerr << "zor-publish: wrote " << windows << " (" << sizeText(fs::file_size(zip, ec)) << ")\n";
        }
        if (!video.empty()) return writeVideo(playFolder, video, *videoFormat, demo.info, replace, quiet);
    } catch (const std::exception& e) {
        return fail(e.what());
    }
    return 0;
}
