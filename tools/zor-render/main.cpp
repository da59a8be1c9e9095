// zor-render: the player's picture without a screen. Renders chosen frames of
// the scene (the player's whole pass, logo included) to PNG files, a run at a
// given pass rate to a video through ffmpeg, or measures frames per second.

#include <CLI/CLI.hpp>

#include <algorithm>
#include <charconv>
#include <csignal>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <optional>
#include <string>

#include "render_run.h"

namespace {

struct FrameRange {
    std::int32_t first = 0;
    std::int32_t last = 0;
    std::int32_t step = 1;
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

std::optional<FrameRange> parseRange(const std::string& text) {
    std::size_t pos = 0;
    std::int64_t first = 0, last = 0, step = 1;
    if (!readNumber(text, pos, first, true) || pos >= text.size() || text[pos++] != '-' ||
        !readNumber(text, pos, last, true))
        return std::nullopt;
    if (pos < text.size() && (text[pos++] != ':' || !readNumber(text, pos, step, false))) return std::nullopt;
    if (pos != text.size() || step <= 0 || last < first || first < INT32_MIN || last > INT32_MAX || step > INT32_MAX)
        return std::nullopt;
    return FrameRange{static_cast<std::int32_t>(first), static_cast<std::int32_t>(last), static_cast<std::int32_t>(step)};
}

bool parseSize(const std::string& text, std::uint32_t& width, std::uint32_t& height) {
    std::size_t pos = 0;
    std::int64_t w = 0, h = 0;
    if (!readNumber(text, pos, w, false) || pos >= text.size() || text[pos++] != 'x' ||
        !readNumber(text, pos, h, false) || pos != text.size())
        return false;
    if (w < 1 || h < 1 || w > 8192 || h > 8192) return false;
    width = static_cast<std::uint32_t>(w);
    height = static_cast<std::uint32_t>(h);
    return true;
}

int fail(const std::string& message) {
    std::cerr << "zor-render: " << message << '\n';
    return 1;
}

std::string shellQuote(const std::string& text) {
    std::string quoted = "'";
    for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

}  // namespace

// Frames side by side, shrunk so each is at most 160 pixels wide, four to a
// row, for a quick look at a run.
class ContactSheet {
public:
    ContactSheet(int width, int height, std::size_t count)
        : step_(std::max(1, (width + 159) / 160)), cellW_(width / step_), cellH_(height / step_) {
        const int n = static_cast<int>(std::max<std::size_t>(count, 1));
        sheet_.width = cellW_ * std::min(n, kColumns);
        sheet_.height = cellH_ * ((n + kColumns - 1) / kColumns);
        sheet_.pixels.assign(static_cast<std::size_t>(sheet_.width) * sheet_.height * 3, 0);
    }

    // Box-averages picture into cell `index`.
    void add(const zor::RgbPicture& picture, std::size_t index) {
        const int cx = static_cast<int>(index % kColumns) * cellW_, cy = static_cast<int>(index / kColumns) * cellH_;
        for (int y = 0; y < cellH_; ++y)
            for (int x = 0; x < cellW_; ++x)
                for (int c = 0; c < 3; ++c) {
                    int sum = 0;
                    for (int dy = 0; dy < step_; ++dy)
                        for (int dx = 0; dx < step_; ++dx)
                            sum += picture.pixels[(static_cast<std::size_t>(y * step_ + dy) * picture.width +
                                                   (x * step_ + dx)) * 3 + c];
                    sheet_.pixels[(static_cast<std::size_t>(cy + y) * sheet_.width + (cx + x)) * 3 + c] =
                        static_cast<std::uint8_t>(sum / (step_ * step_));
                }
    }

    const zor::RgbPicture& picture() const { return sheet_; }

private:
    static constexpr int kColumns = 4;
    int step_, cellW_, cellH_;
    zor::RgbPicture sheet_;
};

int main(int argc, char** argv) {
    CLI::App app{"Renders frames of the demo scene headless, as the player shows them, to PNG files or a video."};
    zor::RenderOptions options;
    std::string directory = ".";
    std::string size = "640x480";
    int bits = 16;
    std::string frames;
    std::optional<std::int32_t> single;
    std::string out;
    std::string video;
    std::string sheet;
    double fps = 30.0;
    bool bench = false;
    app.add_option("--dir", directory, "Folder holding zor.dat and the data files (default: current folder)");
    app.add_option("--scene", options.sceneName, "Scene file to render")->capture_default_str();
    app.add_option("--size", size, "Picture size WxH")->capture_default_str();
    app.add_option("--bpp", bits, "Colour depth: 16 (5-6-5) or 15 (5-5-5)")->check(CLI::IsMember({15, 16}))
        ->capture_default_str();
    auto* framesOption = app.add_option("--frames", frames, "Frames A-B or A-B:STEP (default: the scene's range)");
    app.add_option("--frame", single, "One frame")->excludes(framesOption);
    app.add_option("--out", out, "PNG file for one frame, else a folder for frame-NNNNN.png files");
    app.add_option("--sheet", sheet, "Also write a contact sheet of the rendered frames to this PNG file");
    auto* videoOption = app.add_option("--video", video, "Encode the run with the music through ffmpeg");
    app.add_option("--fps", fps, "Passes per second of the run for --video")
        ->needs(videoOption)
        ->check(CLI::Range(1.0, 1000.0))
        ->capture_default_str();
    app.add_flag("--bench", bench, "Render every frame of the scene without writing files; print frames/s");
    app.add_flag("--window", options.visible, "Show the picture in a window while rendering");
    CLI11_PARSE(app, argc, argv);

    options.directory = directory;
    options.bits = static_cast<std::uint32_t>(bits);
    if (!parseSize(size, options.width, options.height)) return fail("--size wants WxH, e.g. 640x480: " + size);
    std::optional<FrameRange> range;
    if (!frames.empty() && !(range = parseRange(frames))) return fail("--frames wants A-B or A-B:STEP: " + frames);
    if (single) range = FrameRange{*single, *single, 1};
    if (!bench && video.empty() && out.empty()) return fail("--out PATH is needed (or --bench, or --video FILE)");
    if (!video.empty() && std::system("command -v ffmpeg >/dev/null 2>&1") != 0)
        return fail("--video needs ffmpeg, which is not installed (install the Debian package ffmpeg)");
    if (!video.empty() && (options.width % 2 || options.height % 2))
        return fail("--video needs an even width and height (the encoder halves the colour planes): " + size);

    zor::RenderRun run(options);
    const bool started = run.start();
    run.diagnostics().print(std::cerr);
    if (!started) return fail(run.error());

    std::vector<std::int32_t> list;
    if (!video.empty()) {
        list = zor::clockFrames(run.firstFrame(), run.lastFrame(), fps);
    } else {
        const FrameRange r = range.value_or(FrameRange{run.firstFrame(), run.lastFrame(), 1});
        for (std::int64_t f = r.first; f <= r.last; f += r.step) list.push_back(static_cast<std::int32_t>(f));
    }

    // Where pictures go.
    std::filesystem::path folder, file;
    if (!bench && video.empty()) {
        const bool oneFile = list.size() == 1 && !out.ends_with('/') && !std::filesystem::is_directory(out);
        std::error_code ec;
        if (oneFile) {
            file = out;
            if (file.has_parent_path()) std::filesystem::create_directories(file.parent_path(), ec);
        } else {
            folder = out;
            std::filesystem::create_directories(folder, ec);
            if (ec) return fail(out + ": cannot create the folder: " + ec.message());
        }
    }

    std::FILE* encoder = nullptr;
    if (!video.empty()) {
        const auto music = std::filesystem::path(directory) / "mp3.mp3";
        std::string command = "ffmpeg -loglevel error -y -f rawvideo -pix_fmt rgb24 -s " +
                              std::to_string(options.width) + "x" + std::to_string(options.height) + " -r " +
                              std::to_string(fps) + " -i -";
        // The run decides the length: music that ends early leaves the rest
        // silent, longer music is cut where the pictures end.
        if (std::filesystem::exists(music)) command += " -i " + shellQuote(music.string());
        char duration[32];
        std::snprintf(duration, sizeof duration, "%.3f", double(list.size()) / fps);
        command += std::string(" -t ") + duration + " -c:v libx264 -pix_fmt yuv420p " + shellQuote(video);
        // If ffmpeg gives up (say, it cannot write the file) the next write
        // fails with a message here instead of the pipe killing us quietly.
        std::signal(SIGPIPE, SIG_IGN);
        encoder = popen(command.c_str(), "w");
        if (!encoder) return fail("cannot start ffmpeg");
    }

    zor::RgbPicture picture;
    ContactSheet contact(static_cast<int>(options.width), static_cast<int>(options.height), list.size());
    const auto start = std::chrono::steady_clock::now();
    auto lastProgress = start - std::chrono::seconds(1);
    // Ends the progress line first, so the message starts a line of its own.
    const auto failMidRun = [](const std::string& message) {
        std::cerr << '\n';
        return fail(message);
    };
    for (std::size_t i = 0; i < list.size(); ++i) {
        const std::int32_t f = list[i];
        run.renderFrame(f);
        if (!bench) {
            if (!run.capture(picture)) return failMidRun("cannot read the picture back");
            std::string error;
            if (encoder) {
                if (std::fwrite(picture.pixels.data(), 1, picture.pixels.size(), encoder) != picture.pixels.size()) {
                    pclose(encoder);
                    return failMidRun("ffmpeg stopped taking frames for " + video);
                }
            } else {
                char name[32];
                std::snprintf(name, sizeof name, "frame-%05d.png", f);
                const auto path = file.empty() ? folder / name : file;
                if (!zor::writePng(path, picture, error)) return failMidRun(error);
            }
            if (!sheet.empty()) contact.add(picture, i);
        }
        // At most ten progress updates a second, on one line.
        const auto now = std::chrono::steady_clock::now();
        if (i + 1 == list.size() || now - lastProgress > std::chrono::milliseconds(100)) {
            lastProgress = now;
            std::cerr << "\rframe " << f << " (" << (i + 1) << "/" << list.size() << ")" << std::flush;
        }
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::cerr << '\n';
    if (encoder && pclose(encoder) != 0) return fail("ffmpeg failed to encode " + video);
    if (!sheet.empty() && !bench) {
        std::string error;
        if (!zor::writePng(sheet, contact.picture(), error)) return fail(error);
        std::cerr << "contact sheet: " << sheet << '\n';
    }
    if (bench) {
        char text[64];
        std::snprintf(text, sizeof text, "%.1f frames/s", seconds > 0 ? double(list.size()) / seconds : 0.0);
        std::cout << text << '\n';
    }
    return 0;
}
