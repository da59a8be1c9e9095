// The zor-render program: files written, exit statuses, messages.

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>

#include "child_process.h"
#include "small_disk.h"
#include "display/png_file.h"
#include "display_test_support.h"

namespace zor {
namespace {

const std::string kTool = std::string(ZOR_BINARY_DIR) + "/tools/zor-render/zor-render";
const std::string kCorpusScene = std::string(ZOR_CORPUS_DIR) + "/java3d";

using Result = test::ShellRun;

// The tool with `arguments`, standard output and error together in .out.
Result run(const std::string& arguments, const test::ScratchDir& folder, const std::string& environment = "") {
    return test::runShell("SDL_VIDEODRIVER=offscreen " + environment + " " + kTool + " " + arguments, folder.path(),
                          test::Streams::Merged, "log");
}

// Pictures done so far, from the last progress line "frame F (N/TOTAL, ...)".
std::uint64_t framesDone(const std::string& errors) {
    const std::size_t line = errors.rfind("frame ");
    const std::size_t at = line == std::string::npos ? line : errors.find(" (", line);
    return at == std::string::npos ? 0 : std::strtoull(errors.c_str() + at + 2, nullptr, 10);
}

std::vector<std::string> tool(std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), kTool);
    return arguments;
}

const std::vector<std::string> kOffscreen = {"SDL_VIDEODRIVER=offscreen"};

// The ballcone scene with its preview range replaced.
void copyBallcone(const test::ScratchDir& folder, const std::string& first = "1", const std::string& last = "60") {
    for (const char* name : {"greenball.lwo", "redcone.lwo"})
        std::filesystem::copy_file(std::filesystem::path(kCorpusScene) / name, folder / name);
    std::string scene = test::readText(std::filesystem::path(kCorpusScene) / "ballcone.lws");
    scene.replace(scene.find("PreviewFirstFrame 1"), 19, "PreviewFirstFrame " + first);
    scene.replace(scene.find("PreviewLastFrame 60"), 19, "PreviewLastFrame " + last);
    std::ofstream(folder / "ballcone.lws") << scene;
}

TEST(RenderTool, WritesOnePicturePerFrame) {
    test::ScratchDir folder("tool-frames");
    const auto out = folder / "frames";
    const Result r = run("--dir " + kCorpusScene + " --scene ballcone.lws --size 96x64 --frames 2-8:3 --out " +
                             out.string(), folder);
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("warning: the picture (85 x 64) is smaller than the logo's 256 x 256 corner"),
              std::string::npos)
        << r.out;
    for (int f : {2, 5, 8}) {
        char name[32];
        std::snprintf(name, sizeof name, "frame-%05d.png", f);
        RgbPicture p;
        std::string error;
        ASSERT_TRUE(readPng(out / name, p, error)) << error;
        EXPECT_EQ(p.width, 96);
        EXPECT_EQ(p.height, 64);
    }
    EXPECT_FALSE(std::filesystem::exists(out / "frame-00003.png"));
    // Into a file, progress comes as whole lines: the first and the last.
    EXPECT_EQ(r.out.find('\r'), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("frame 2 (1/3, 33%"), std::string::npos) << r.out;
    EXPECT_TRUE(std::regex_search(r.out, std::regex("\nframe 8 \\(3/3, 100%, [0-9]+\\.[0-9] frames/s in 0:0[0-9]\\)\n$")))
        << r.out;
    // --quiet: not a word on success, neither the range nor the sheet; and
    // run as a user runs it (no SDL_VIDEODRIVER, no screen, no
    // XDG_RUNTIME_DIR), no complaint from a video driver either.
    const Result quiet = run("--dir " + kCorpusScene + " --scene ballcone.lws --size 96x64 --frames 2-8:3 --quiet --out " +
                                 out.string() + " --sheet " + (folder / "quiet.png").string(),
                             folder, "env -u SDL_VIDEODRIVER -u DISPLAY -u WAYLAND_DISPLAY -u XDG_RUNTIME_DIR");
    ASSERT_EQ(quiet.status, 0) << quiet.out;
    EXPECT_EQ(quiet.out, "");
}

// Renders `frames` of ballcone at `size` to folder/frames with a contact
// sheet, which is read back.
Result renderWithSheet(const test::ScratchDir& folder, const std::string& size, const std::string& frames,
                       RgbPicture& sheet) {
    const Result r = run("--dir " + kCorpusScene + " --scene ballcone.lws --size " + size + " --frames " + frames +
                             " --out " + (folder / "frames").string() + " --sheet " + (folder / "sheet.png").string(),
                         folder);
    std::string error;
    EXPECT_TRUE(readPng(folder / "sheet.png", sheet, error)) << error;
    return r;
}

// The picture written for frame f.
RgbPicture framePicture(const test::ScratchDir& folder, int f) {
    char name[32];
    std::snprintf(name, sizeof name, "frame-%05d.png", f);
    RgbPicture picture;
    std::string error;
    EXPECT_TRUE(readPng(folder / "frames" / name, picture, error)) << error;
    return picture;
}

TEST(RenderTool, ContactSheetShrinksFramesIntoAGrid) {
    test::ScratchDir folder("tool-sheet");
    RgbPicture sheet;
    const Result r = renderWithSheet(folder, "320x240", "0-40:8", sheet);
    ASSERT_EQ(r.status, 0) << r.out;
    const RgbPicture last = framePicture(folder, 40);
    // Six frames halved to 160x120, four to a row: two rows.
    ASSERT_EQ(sheet.width, 640);
    ASSERT_EQ(sheet.height, 240);
    // The sixth cell (row 1, column 1) is the 2x2 average of the last frame.
    for (int y : {0, 57, 119})
        for (int x : {0, 80, 159})
            for (int c = 0; c < 3; ++c) {
                int sum = 0;
                for (int dy = 0; dy < 2; ++dy)
                    for (int dx = 0; dx < 2; ++dx)
                        sum += last.pixels[((2 * y + dy) * last.width + (2 * x + dx)) * 3 + c];
                EXPECT_EQ(sheet.pixels[((120 + y) * sheet.width + (160 + x)) * 3 + c], sum / 4) << x << "," << y;
            }
}

TEST(RenderTool, ContactSheetOfALongRunSamplesItEvenly) {
    test::ScratchDir folder("tool-sheet-long");
    RgbPicture sheet;
    const Result r = renderWithSheet(folder, "32x24", "0-99", sheet);
    ASSERT_EQ(r.status, 0) << r.out;
    // 100 frames, 64 cells: four to a row, cell k showing frame k * 99 / 63.
    ASSERT_EQ(sheet.width, 4 * 32);
    ASSERT_EQ(sheet.height, 16 * 24);
    for (int cell : {0, 1, 32, 63}) {
        const RgbPicture frame = framePicture(folder, cell * 99 / 63);
        const int cx = (cell % 4) * 32, cy = (cell / 4) * 24;
        for (int y = 0; y < 24; ++y)
            for (int x = 0; x < 32 * 3; ++x)
                ASSERT_EQ(sheet.pixels[(std::size_t(cy + y) * sheet.width + cx) * 3 + x], frame.pixels[y * 32 * 3 + x])
                    << "cell " << cell;
    }
}

// The contact sheet used to be made for every run, sized by the number of
// frames. Two runs of the sample demo, one over a range 200 times longer,
// are stopped after the same number of frames: their peaks stay together.
// The driver draws on the calling thread (LP_NUM_THREADS=0): its rasteriser
// threads alone make the peak of identical runs vary by tens of MiB. Under
// AddressSanitizer identical runs differ by up to 45 MiB either way, so the
// longer run may peak at most 128 MiB above the shorter; a sheet sized by the
// range would add about 530 MiB here.
TEST(RenderTool, PeakMemoryDoesNotGrowWithTheRange) {
    const std::filesystem::path demo = std::filesystem::path(ZOR_BINARY_DIR) / "demo";
    if (!std::filesystem::exists(demo / "zor.dat")) GTEST_SKIP() << "no sample demo in " << demo;
    test::ScratchDir folder("tool-memory");
    long peak[2] = {0, 0};
    const char* ranges[2] = {"0-300", "0-60000"};
    for (int k = 0; k < 2; ++k) {
        test::ChildProcess render(tool({"--dir", demo.string(), "--size", "64x48", "--frames", ranges[k], "--bench"}),
                                  folder.path(), "run" + std::to_string(k),
                                  {"SDL_VIDEODRIVER=offscreen", "LP_NUM_THREADS=0"});
        ASSERT_TRUE(render.waitForError([](const std::string& e) { return framesDone(e) >= 5; },
                                        std::chrono::seconds(120)))
            << render.errors();
        render.signal(SIGKILL);
        ASSERT_TRUE(render.wait(std::chrono::seconds(30)));
        peak[k] = render.peakKiB();
    }
    EXPECT_LE(peak[1] - peak[0], 128 * 1024) << "peak " << peak[0] << " KiB for frames 0-300, " << peak[1]
                                                      << " KiB for frames 0-60000";
}

TEST(RenderTool, FrameRangesAreWalkedNotStored) {
    test::ScratchDir folder("tool-ranges");
    // A hundred million frames: walked one by one (and stopped here).
    test::ChildProcess render(tool({"--dir", kCorpusScene, "--scene", "ballcone.lws", "--size", "32x24", "--frames",
                                    "0-100000000", "--bench"}),
                              folder.path(), "long", kOffscreen);
    EXPECT_TRUE(render.waitForError([](const std::string& e) { return framesDone(e) >= 10; },
                                    std::chrono::seconds(60)))
        << render.errors();
    EXPECT_NE(render.errors().find("/100000001, 0%, "), std::string::npos);
    render.signal(SIGTERM);
    EXPECT_TRUE(render.wait(std::chrono::seconds(30)));

    // The player's end rule takes the preview range as unsigned numbers: a
    // negative start lies after any end, so the player shows one frame and
    // the scene's range is walked so; a negative end would run for years, so
    // a video of it is refused before any work.
    {
        test::ScratchDir scene("tool-ranges-scene");
        copyBallcone(scene, "-100", "60");
        const Result r = run("--dir " + scene.path().string() + " --scene ballcone.lws --size 32x24 --bench", scene);
        EXPECT_EQ(r.status, 0) << r.out;
        EXPECT_NE(r.out.find("zor-render: the scene's range -100 to 60 ends at once for the player (the first "
                                "frame is read as 4294967196, after the last): it shows 1 frame"),
                  std::string::npos)
            << r.out;
        EXPECT_NE(r.out.find("(1/1"), std::string::npos) << r.out;
    }
    {
        test::ScratchDir scene("tool-ranges-scene");
        copyBallcone(scene, "0", "-1");
        const Result r = run("--dir " + scene.path().string() + " --scene ballcone.lws --size 32x24 --video " +
                                 (scene / "v.mp4").string(),
                             scene);
        EXPECT_EQ(r.status, 1) << r.out;
        EXPECT_NE(r.out.find("would wrap (after 49.7 days)"), std::string::npos) << r.out;
        EXPECT_FALSE(std::filesystem::exists(scene / "v.mp4"));
    }
}

TEST(RenderTool, OneFrameToOneFileInFifteenBits) {
    test::ScratchDir folder("tool-one");
    const auto file = folder / "sub" / "one.png";
    const Result r = run("--dir " + kCorpusScene + " --scene ballcone.lws --size 64x48 --bpp 15 --frame 1 --out " +
                             file.string(), folder);
    ASSERT_EQ(r.status, 0) << r.out;
    RgbPicture p;
    std::string error;
    ASSERT_TRUE(readPng(file, p, error)) << error;
    EXPECT_EQ(p.width, 64);
}

TEST(RenderTool, WindowedRunWritesTheSamePicture) {
    test::ScratchDir folder("tool-window");
    const std::string common = "--dir " + kCorpusScene + " --scene ballcone.lws --size 64x48 --frame 3 --out ";
    Result r = run(common + (folder / "window.png").string() + " --window", folder);
    ASSERT_EQ(r.status, 0) << r.out;
    r = run(common + (folder / "hidden.png").string(), folder);
    ASSERT_EQ(r.status, 0) << r.out;
    RgbPicture shown, hidden;
    std::string error;
    ASSERT_TRUE(readPng(folder / "window.png", shown, error)) << error;
    ASSERT_TRUE(readPng(folder / "hidden.png", hidden, error)) << error;
    EXPECT_EQ(shown.pixels, hidden.pixels);
}

TEST(RenderTool, OutputPathsAreCheckedBeforeRendering) {
    test::ScratchDir folder("tool-paths");
    const auto out = folder / "frames";
    const std::string common = "--dir " + kCorpusScene + " --scene ballcone.lws --size 32x24 --frames 1-30 ";
    Result r = run(common + "--out " + out.string() + " --sheet " + folder.path().string(), folder);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("--sheet " + folder.path().string() + ": is a folder"), std::string::npos) << r.out;
    EXPECT_FALSE(std::filesystem::exists(out)) << "frames were rendered first";
    r = run(common + "--video " + (folder / "missing" / "v.mp4").string(), folder);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("the folder " + (folder / "missing").string() + " does not exist"), std::string::npos)
        << r.out;
    EXPECT_EQ(r.out.find("frame 1 "), std::string::npos) << r.out;
}

// A disk that fills up midway: the frames written whole stay, the one that
// did not fit leaves nothing, and the message says why.
TEST(RenderTool, AFullDiskLeavesNoTornFrame) {
    test::ScratchDir folder("tool-full-disk");
    const test::SmallDisk disk(folder / "disk", 64);
    if (!disk.mounted()) GTEST_SKIP() << "mounting a small tmpfs needs root";
    const Result r = run("--dir " + kCorpusScene + " --scene ballcone.lws --size 160x120 --frames 0-100 --out " +
                             disk.path().string(),
                         folder);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find(".png: cannot write: no space left on device"), std::string::npos) << r.out;
    int whole = 0;
    for (const auto& file : std::filesystem::directory_iterator(disk.path())) {
        RgbPicture picture;
        std::string error;
        EXPECT_TRUE(readPng(file.path(), picture, error)) << error;
        ++whole;
    }
    EXPECT_GT(whole, 0);
    EXPECT_LT(whole, 101);
}

TEST(RenderTool, BenchPrintsFramesPerSecond) {
    test::ScratchDir folder("tool-bench");
    const Result r = run("--dir " + kCorpusScene + " --scene ballcone.lws --size 64x48 --frames 1-5 --bench", folder);
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find(" frames/s"), std::string::npos) << r.out;
}

// The sample demo, when the build made it (or ZOR_DEMO_DIR names it): a few
// frames against reference pictures, at most 0.5% of the pixels off by more
// than 8 levels. Regenerate with ZOR_UPDATE_REFERENCES=1 when the demo changes.
TEST(RenderTool, SampleDemoFramesMatchTheReferences) {
    const char* demoEnv = std::getenv("ZOR_DEMO_DIR");
    const std::filesystem::path demo = demoEnv ? demoEnv : std::filesystem::path(ZOR_BINARY_DIR) / "demo";
    if (!std::filesystem::exists(demo / "zor.dat")) GTEST_SKIP() << "no sample demo in " << demo;
    test::ScratchDir folder("tool-demo");
    const auto out = folder / "frames";
    const Result r = run("--dir " + demo.string() + " --size 160x120 --frames 0-1600:400 --out " + out.string(), folder);
    ASSERT_EQ(r.status, 0) << r.out;
    const bool update = std::getenv("ZOR_UPDATE_REFERENCES") && std::string(std::getenv("ZOR_UPDATE_REFERENCES")) == "1";
    for (int f = 0; f <= 1600; f += 400) {
        char name[32];
        std::snprintf(name, sizeof name, "frame-%05d.png", f);
        const auto reference = std::filesystem::path(ZOR_TEST_DATA_DIR) / "reference" / ("demo-" + std::string(name));
        if (update) {
            std::filesystem::copy_file(out / name, reference, std::filesystem::copy_options::overwrite_existing);
            continue;
        }
        RgbPicture got, expected;
        std::string error;
        ASSERT_TRUE(readPng(out / name, got, error)) << error;
        ASSERT_TRUE(readPng(reference, expected, error)) << error;
        ASSERT_EQ(got.pixels.size(), expected.pixels.size());
        std::size_t different = 0;
        for (std::size_t i = 0; i < got.pixels.size(); i += 3)
            for (int k = 0; k < 3; ++k)
                if (std::abs(int(got.pixels[i + k]) - int(expected.pixels[i + k])) > 8) {
                    ++different;
                    break;
                }
        EXPECT_LE(double(different), 0.005 * got.width * got.height) << name << ": " << different
                                                                      << " pixels differ (if the sample demo changed on purpose, rerun with "
                                                                         "ZOR_UPDATE_REFERENCES=1)";
    }
}

// Pixels off by more than `levels` in any channel.
std::size_t pixelsOff(const RgbPicture& a, const RgbPicture& b, int levels) {
    std::size_t off = 0;
    for (std::size_t i = 0; i + 2 < a.pixels.size() && i + 2 < b.pixels.size(); i += 3)
        for (int k = 0; k < 3; ++k)
            if (std::abs(int(a.pixels[i + k]) - int(b.pixels[i + k])) > levels) {
                ++off;
                break;
            }
    return off;
}

// Frame 1500 of the sample demo in each of `sizes` (with `extra` options),
// read back.
std::vector<RgbPicture> demoFrames(const test::ScratchDir& folder, const std::vector<std::string>& runs) {
    const char* demoEnv = std::getenv("ZOR_DEMO_DIR");
    const std::filesystem::path demo = demoEnv ? demoEnv : std::filesystem::path(ZOR_BINARY_DIR) / "demo";
    std::vector<RgbPicture> pictures;
    if (!std::filesystem::exists(demo / "zor.dat")) return pictures;
    for (std::size_t i = 0; i < runs.size(); ++i) {
        const auto out = folder / ("run" + std::to_string(i) + ".png");
        const Result r = run("--dir " + demo.string() + " --frame 1500 -q " + runs[i] + " --out " + out.string(), folder);
        EXPECT_EQ(r.status, 0) << runs[i] << ": " << r.out;
        std::string error;
        RgbPicture& picture = pictures.emplace_back();
        EXPECT_TRUE(readPng(out, picture, error)) << error;
    }
    return pictures;
}

// A size that is not 4:3 keeps the view's shape: the picture of the 4:3
// area between black bars, unless --stretch asks for the old spread.
TEST(RenderTool, WideAndTallSizesKeepTheViewsShapeBetweenBlackBars) {
    test::ScratchDir folder("tool-shape");
    const std::vector<RgbPicture> p =
        demoFrames(folder, {"--size 240x180", "--size 400x180", "--size 240x300", "--size 400x180 --stretch"});
    if (p.empty()) GTEST_SKIP() << "no sample demo";
    const RgbPicture& square = p[0];
    const auto area = [](const RgbPicture& from, int x, int y, int w, int h) {
        RgbPicture cut;
        cut.width = w;
        cut.height = h;
        for (int row = 0; row < h; ++row) {
            const auto at = from.pixels.begin() + (std::ptrdiff_t(row + y) * from.width + x) * 3;
            cut.pixels.insert(cut.pixels.end(), at, at + w * 3);
        }
        return cut;
    };
    const auto black = [](const RgbPicture& cut) {
        return std::all_of(cut.pixels.begin(), cut.pixels.end(), [](std::uint8_t v) { return v == 0; });
    };
    // Wide: 80 columns of bars each side; tall: 60 rows above and below.
    EXPECT_TRUE(black(area(p[1], 0, 0, 80, 180)) && black(area(p[1], 320, 0, 80, 180)));
    EXPECT_LE(pixelsOff(area(p[1], 80, 0, 240, 180), square, 2), 240u * 180 / 200);
    EXPECT_TRUE(black(area(p[2], 0, 0, 240, 60)) && black(area(p[2], 0, 240, 240, 60)));
    EXPECT_LE(pixelsOff(area(p[2], 0, 60, 240, 180), square, 2), 240u * 180 / 200);
    // Stretched, the room reaches the edges.
    EXPECT_FALSE(black(area(p[3], 0, 0, 80, 180)));
}

// --msaa smooths edges; --true-colour keeps 8 bits a channel, where 5-6-5
// leaves red at most 32 levels.
TEST(RenderTool, SharpPicturesMultisampleAndKeepEightBitsAChannel) {
    test::ScratchDir folder("tool-sharp");
    const std::vector<RgbPicture> p =
        demoFrames(folder, {"--size 320x240", "--size 320x240 --msaa 4", "--true-colour"});
    if (p.empty()) GTEST_SKIP() << "no sample demo";
    const std::size_t edges = pixelsOff(p[0], p[1], 8);
    EXPECT_GT(edges, 320u * 240 / 100) << "multisampling changed too few pixels";
    EXPECT_LT(edges, 320u * 240 / 4) << "multisampling changed more than edges";
    const auto redLevels = [](const RgbPicture& picture) {
        std::set<std::uint8_t> levels;
        for (std::size_t i = 0; i < picture.pixels.size(); i += 3) levels.insert(picture.pixels[i]);
        return levels.size();
    };
    EXPECT_LE(redLevels(p[0]), 32u);
    EXPECT_GT(redLevels(p[2]), 64u);
    // Finer levels, the same picture: the logo (shown at 640x480) keeps its
    // magenta keyed out.
    std::size_t magenta = 0;
    for (std::size_t i = 0; i < p[2].pixels.size(); i += 3)
        magenta += p[2].pixels[i] > 240 && p[2].pixels[i + 1] < 16 && p[2].pixels[i + 2] > 240;
    EXPECT_EQ(magenta, 0u);
}

TEST(RenderTool, VideoWithoutFfmpegSaysSo) {
    test::ScratchDir folder("tool-video");
    std::filesystem::create_directories(folder / "no-programs");
    const Result r = run("--dir " + kCorpusScene + " --scene ballcone.lws --video " + (folder / "v.mp4").string(),
                         folder, "PATH=" + (folder / "no-programs").string());
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("--video needs ffmpeg"), std::string::npos) << r.out;
    EXPECT_FALSE(std::filesystem::exists(folder / "v.mp4"));
}

bool haveFfmpeg() { return std::system("command -v ffmpeg >/dev/null && command -v ffprobe >/dev/null") == 0; }

std::string commandOutput(const std::string& command) {
    std::string text;
    if (std::FILE* pipe = popen(command.c_str(), "r")) {
        char buffer[256];
        while (std::fgets(buffer, sizeof buffer, pipe)) text += buffer;
        pclose(pipe);
    }
    return text;
}

// The ballcone scene with a quarter of a second of music beside it.
void makeSceneWithMusic(const test::ScratchDir& folder) {
    for (const char* name : {"ballcone.lws", "greenball.lwo", "redcone.lwo"})
        std::filesystem::copy_file(std::filesystem::path(kCorpusScene) / name, folder / name);
    const std::string make = "sox -q -n -r 22050 -c 1 '" + (folder / "tone.wav").string() +
                             "' synth 0.25 sine 440 && lame --quiet -b 64 '" + (folder / "tone.wav").string() + "' '" +
                             (folder / "mp3.mp3").string() + "'";
    ASSERT_EQ(std::system(make.c_str()), 0) << "sox and lame make the test music";
}

// The top-level boxes of an MP4 file, in order.
std::string mp4Boxes(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::string boxes;
    unsigned char head[8];
    while (in.read(reinterpret_cast<char*>(head), 8)) {
        const std::uint32_t size = (std::uint32_t(head[0]) << 24) | (head[1] << 16) | (head[2] << 8) | head[3];
        boxes += std::string(reinterpret_cast<char*>(head + 4), 4) + " ";
        if (size < 8) break;
        in.seekg(size - 8, std::ios::cur);
    }
    return boxes;
}

// A capture for a video site: H.264 in 4:2:0, AAC, the rate as the exact
// fraction given, the index at the front, the length of the passes.
TEST(RenderTool, VideoHoldsEveryPassAndTheMusic) {
    if (!haveFfmpeg()) GTEST_SKIP() << "ffmpeg is not installed";
    test::ScratchDir folder("tool-video-encode");
    makeSceneWithMusic(folder);
    const auto video = folder / "run.mp4";
    const Result r = run("--dir " + folder.path().string() + " --scene ballcone.lws --size 96x64 --fps 60 --video " +
                             video.string(), folder);
    ASSERT_EQ(r.status, 0) << r.out;
    // Frames 1 to 60 at 30.3 frames a second of scene, 60 passes a second:
    // a pass every 0.505 frames, the last one past frame 60.
    EXPECT_NE(r.out.find("(118/118, 100%, "), std::string::npos) << r.out;
    // The first line already has a rate and the time left at that rate.
    std::smatch first;
    ASSERT_TRUE(std::regex_search(r.out, first, std::regex("(^|\n)frame 1 \\(1/118, 0%, ([0-9.]+) frames/s, "
                                                              "([0-9]+):([0-9]{2}) left\\)\n")))
        << r.out;
    EXPECT_NEAR(std::stoi(first[3]) * 60 + std::stoi(first[4]), 117 / std::stod(first[2]), 1.0) << first[0];
    EXPECT_EQ(commandOutput("ffprobe -v error -count_frames -select_streams v:0 -show_entries "
                            "stream=codec_name,pix_fmt,width,height,r_frame_rate,nb_read_frames -of csv=p=0 '" +
                            video.string() + "'"),
              "h264,96,64,yuv420p,60/1,118\n");
    // The short music does not shorten the run; it plays, then silence.
    EXPECT_EQ(commandOutput("ffprobe -v error -select_streams a:0 -show_entries stream=codec_name,sample_rate,channels "
                            "-of csv=p=0 '" + video.string() + "'"),
              "aac,48000,2\n");
    const double length = std::atof(commandOutput("ffprobe -v error -show_entries format=duration -of csv=p=0 '" +
                                                  video.string() + "'").c_str());
    EXPECT_NEAR(length, 118 / 60.0, 0.05);
    EXPECT_TRUE(mp4Boxes(video).starts_with("ftyp moov ")) << mp4Boxes(video);

    // The player's own rate, 30.3, is written as 303/10, not rounded.
    const auto player = folder / "player.mp4";
    ASSERT_EQ(run("--dir " + folder.path().string() + " --scene ballcone.lws --size 32x24 --frames 1-10 --fps 30.3 "
                  "--video " + player.string(), folder).status, 0);
    EXPECT_EQ(commandOutput("ffprobe -v error -select_streams v:0 -show_entries stream=r_frame_rate -of csv=p=0 '" +
                            player.string() + "'"),
              "303/10\n");
}

TEST(RenderTool, VideoFollowsTheFramesAskedAndSaysWhenItIsSilent) {
    if (!haveFfmpeg()) GTEST_SKIP() << "ffmpeg is not installed";
    test::ScratchDir folder("tool-video-frames");
    const auto video = folder / "clip.mp4";
    const Result r = run("--dir " + kCorpusScene + " --scene ballcone.lws --size 32x24 --fps 60 --frames 10-20 --video " +
                             video.string(), folder);
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("warning: no mp3.mp3 in " + kCorpusScene + ": the video will be silent"), std::string::npos)
        << r.out;
    // From frame 10 a pass every 0.505 frames; pass 20 is the first past 20.
    EXPECT_EQ(commandOutput("ffprobe -v error -count_frames -select_streams v:0 -show_entries stream=nb_read_frames "
                            "-of csv=p=0 '" + video.string() + "'"),
              "21\n");
}

// SIGINT and SIGTERM end a run promptly, by that signal; a video being
// written is closed so that it plays with every frame drawn.
TEST(RenderTool, SignalsEndTheRunAndLeaveAPlayableVideo) {
    if (!haveFfmpeg()) GTEST_SKIP() << "ffmpeg is not installed";
    test::ScratchDir folder("tool-signals");
    const auto video = folder / "run.mp4";
    test::ChildProcess render(tool({"--dir", kCorpusScene, "--scene", "ballcone.lws", "--size", "32x24", "--frames",
                                    "0-1000000", "--video", video.string()}),
                              folder.path(), "video", kOffscreen);
    ASSERT_TRUE(render.waitForError([](const std::string& e) { return framesDone(e) >= 20; },
                                    std::chrono::seconds(60)))
        << render.errors();
    render.signal(SIGINT);
    ASSERT_TRUE(render.wait(std::chrono::seconds(30))) << "still running after SIGINT";
    EXPECT_TRUE(render.killedBy(SIGINT)) << test::describeEnd(render);
    std::smatch stopped;
    const std::string errors = render.errors();
    ASSERT_TRUE(std::regex_search(errors, stopped, std::regex("stopped by a signal after ([0-9]+) of"))) << errors;
    EXPECT_EQ(commandOutput("ffprobe -v error -count_frames -select_streams v:0 -show_entries stream=nb_read_frames "
                            "-of csv=p=0 '" + video.string() + "'"),
              stopped[1].str() + "\n");

    test::ChildProcess bench(tool({"--dir", kCorpusScene, "--scene", "ballcone.lws", "--size", "32x24", "--frames",
                                   "0-1000000", "--bench"}),
                             folder.path(), "bench", kOffscreen);
    ASSERT_TRUE(bench.waitForError([](const std::string& e) { return framesDone(e) >= 20; }, std::chrono::seconds(60)))
        << bench.errors();
    bench.signal(SIGTERM);
    ASSERT_TRUE(bench.wait(std::chrono::seconds(30))) << "still running after SIGTERM";
    EXPECT_TRUE(bench.killedBy(SIGTERM)) << test::describeEnd(bench);
}

// Music ffmpeg cannot read makes it fail: said, and an earlier video of the
// same name is left as it was.
TEST(RenderTool, VideoEncoderFailureIsReported) {
    if (!haveFfmpeg()) GTEST_SKIP() << "ffmpeg is not installed";
    test::ScratchDir folder("tool-video-fail");
    for (const char* name : {"ballcone.lws", "greenball.lwo", "redcone.lwo"})
        std::filesystem::copy_file(std::filesystem::path(kCorpusScene) / name, folder / name);
    std::ofstream(folder / "mp3.mp3") << "no music in here";
    std::ofstream(folder / "v.mp4") << "an earlier video";
    const Result r = run("--dir " + folder.path().string() + " --scene ballcone.lws --size 96x64 --video " +
                             (folder / "v.mp4").string(), folder);
    EXPECT_EQ(r.status, 1) << r.out;
    EXPECT_NE(r.out.find("\nzor-render: ffmpeg"), std::string::npos) << r.out;
    EXPECT_EQ(test::readText(folder / "v.mp4"), "an earlier video");
    for (const auto& entry : std::filesystem::directory_iterator(folder.path()))
        EXPECT_FALSE(entry.path().string().ends_with(".part")) << entry.path() << " left behind";
}

// WebM holds VP9 and Opus, Matroska the same H.264 and AAC as MP4; other
// containers are refused before any work. A rate given as a fraction is
// written as that fraction.
TEST(RenderTool, VideoContainersGetTheirCodecs) {
    if (!haveFfmpeg()) GTEST_SKIP() << "ffmpeg is not installed";
    test::ScratchDir folder("tool-video-containers");
    makeSceneWithMusic(folder);
    for (const auto& [name, codecs] : {std::pair{"v.webm", "vp9,30000/1001\nopus,0/0\n"}, std::pair{"v.MKV", "h264,30000/1001\naac,0/0\n"}}) {
        const Result r = run("--dir " + folder.path().string() + " --scene ballcone.lws --size 32x24 --frames 1-5 "
                             "--fps 30000/1001 --video " + (folder / name).string(), folder);
        ASSERT_EQ(r.status, 0) << r.out;
        EXPECT_EQ(commandOutput("ffprobe -v error -show_entries stream=codec_name,r_frame_rate -of csv=p=0 '" +
                                (folder / name).string() + "'"),
                  codecs) << name;
    }
    const Result r = run("--dir " + folder.path().string() + " --scene ballcone.lws --video " +
                             (folder / "v.avi").string(), folder);
    EXPECT_EQ(r.status, 2) << r.out;
    EXPECT_NE(r.out.find("v.avi: zor-render writes .mp4, .mov, .mkv or .webm files"), std::string::npos)
        << r.out;
    EXPECT_FALSE(std::filesystem::exists(folder / "v.avi"));
}

TEST(RenderTool, VideoWantsAnEvenSize) {
    if (!haveFfmpeg()) GTEST_SKIP() << "ffmpeg is not installed";
    test::ScratchDir folder("tool-video-odd");
    const Result r = run("--dir " + kCorpusScene + " --scene ballcone.lws --size 97x64 --video " +
                             (folder / "v.mp4").string(), folder);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("even width and height"), std::string::npos) << r.out;
}

TEST(RenderTool, MissingSceneAndBadArgumentsFail) {
    test::ScratchDir folder("tool-missing");
    Result r = run("--dir " + folder.path().string() + " --out " + (folder / "x.png").string(), folder);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("glorp2.lws"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("not found"), std::string::npos) << r.out;
    EXPECT_FALSE(std::filesystem::exists(folder / "x.png"));
    // A damaged archive is named as damaged, not as a scene not found.
    std::ofstream(folder / "zor.dat", std::ios::binary) << "random bytes, not an archive";
    r = run("--dir " + folder.path().string() + " --bench", folder);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("zor-render: zor.dat: damaged archive: no trailer"), std::string::npos) << r.out;
    std::filesystem::remove(folder / "zor.dat");
    // A scene that is there but cannot be read says why.
    std::filesystem::create_directories(folder / "glorp2.lws");
    r = run("--dir " + folder.path().string() + " --bench", folder);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("glorp2.lws: cannot read the scene: is a folder"), std::string::npos) << r.out;
    r = run("--dir " + (folder / "nowhere").string() + " --bench", folder);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("nowhere: no such folder"), std::string::npos) << r.out;
    // A scene named with its folder is read, but its objects are looked for
    // in --dir: no black picture and status 0, but a hint.
    std::filesystem::create_directories(folder / "sub");
    for (const char* name : {"ballcone.lws", "greenball.lwo", "redcone.lwo"})
        std::filesystem::copy_file(std::filesystem::path(kCorpusScene) / name, folder / "sub" / name);
    r = run("--dir " + folder.path().string() + " --scene sub/ballcone.lws --frame 1 --out " + (folder / "x.png").string(),
            folder);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("sub/ballcone.lws: not one of its objects was found;"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("use --dir FOLDER"), std::string::npos) << r.out;
    EXPECT_FALSE(std::filesystem::exists(folder / "x.png"));
    // Objects that are there but refused are no reason to look elsewhere.
    for (const char* name : {"greenball.lwo", "redcone.lwo"})
        std::ofstream(folder / "sub" / name) << std::string("FORM\0\0\0\x10LWOBPNTS\xff\xff\xff\xff", 20);
    r = run("--dir " + (folder / "sub").string() + " --scene ballcone.lws --frame 1 --out " +
                (folder / "x.png").string(),
            folder);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("ballcone.lws: not one of its objects could be used: 2 were refused (the first: "),
              std::string::npos)
        << r.out;
    EXPECT_EQ(r.out.find("--dir FOLDER"), std::string::npos) << r.out;
    r = run("--dir " + kCorpusScene + " --scene ballcone.lws --frames 9-3 --bench", folder);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("frames 9 to 3 is empty"), std::string::npos) << r.out;
    // Usage errors, whoever finds them, end with status 2.
    for (const char* arguments : {"--size 12 --bench", "--bogus", "--fps 0 --video v.mp4", "--fps 30,3 --video v.mp4",
                                  "--fps 1e2 --video v.mp4", "--frame abc --bench",
                                  "--bench --sheet s.png", "--frames 1-9:2 --video v.mp4"})
        EXPECT_EQ(run(arguments, folder).status, 2) << arguments;
    r = run("--dir " + kCorpusScene + " --scene ballcone.lws", folder);
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.out.find("--out"), std::string::npos);
    r = run("--help", folder);
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("--frames"), std::string::npos);
    r = run("--version", folder);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "zor-render " ZOR_VERSION "\n");
}

}  // namespace
}  // namespace zor
