// The zor-render program: files written, exit statuses, messages.

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "display/png_file.h"
#include "display_test_support.h"

namespace zor {
namespace {

const std::string kTool = std::string(ZOR_BINARY_DIR) + "/tools/zor-render/zor-render";
const std::string kCorpusScene = std::string(ZOR_CORPUS_DIR) + "/java3d";

struct Result {
    int status = -1;
    std::string output;
};

Result run(const std::string& arguments, const test::TempFolder& folder, const std::string& environment = "") {
    const auto log = folder / "log.txt";
    const std::string command = "SDL_VIDEODRIVER=offscreen " + environment + " " + kTool + " " + arguments + " > " +
                                log.string() + " 2>&1";
    Result r;
    const int raw = std::system(command.c_str());
    r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    std::ifstream in(log);
    std::stringstream text;
    text << in.rdbuf();
    r.output = text.str();
    return r;
}

TEST(RenderTool, WritesOnePicturePerFrame) {
    test::TempFolder folder("tool-frames");
    const auto out = folder / "frames";
    const Result r = run("--dir " + kCorpusScene + " --scene ballcone.lws --size 96x64 --frames 2-8:3 --out " +
                             out.string(), folder);
    ASSERT_EQ(r.status, 0) << r.output;
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
    EXPECT_NE(r.output.find("frame 8 (3/3)"), std::string::npos) << r.output;
}

TEST(RenderTool, ContactSheetShrinksFramesIntoAGrid) {
    test::TempFolder folder("tool-sheet");
    const auto out = folder / "frames";
    const auto sheetPath = folder / "sheet.png";
    const Result r = run("--dir " + kCorpusScene + " --scene ballcone.lws --size 320x240 --frames 0-40:8 --out " +
                             out.string() + " --sheet " + sheetPath.string(), folder);
    ASSERT_EQ(r.status, 0) << r.output;
    RgbPicture sheet, last;
    std::string error;
    ASSERT_TRUE(readPng(sheetPath, sheet, error)) << error;
    ASSERT_TRUE(readPng(out / "frame-00040.png", last, error)) << error;
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

TEST(RenderTool, OneFrameToOneFileInFifteenBits) {
    test::TempFolder folder("tool-one");
    const auto file = folder / "sub" / "one.png";
    const Result r = run("--dir " + kCorpusScene + " --scene ballcone.lws --size 64x48 --bpp 15 --frame 1 --out " +
                             file.string(), folder);
    ASSERT_EQ(r.status, 0) << r.output;
    RgbPicture p;
    std::string error;
    ASSERT_TRUE(readPng(file, p, error)) << error;
    EXPECT_EQ(p.width, 64);
}

TEST(RenderTool, BenchPrintsFramesPerSecond) {
    test::TempFolder folder("tool-bench");
    const Result r = run("--dir " + kCorpusScene + " --scene ballcone.lws --size 64x48 --frames 1-5 --bench", folder);
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_NE(r.output.find(" frames/s"), std::string::npos) << r.output;
}

// The sample demo, when the build made it (or ZOR_DEMO_DIR names it): a few
// frames against reference pictures, at most 0.5% of the pixels off by more
// than 8 levels. Regenerate with ZOR_UPDATE_REFERENCES=1 when the demo changes.
TEST(RenderTool, SampleDemoFramesMatchTheReferences) {
    const char* demoEnv = std::getenv("ZOR_DEMO_DIR");
    const std::filesystem::path demo = demoEnv ? demoEnv : std::filesystem::path(ZOR_BINARY_DIR) / "demo";
    if (!std::filesystem::exists(demo / "zor.dat")) GTEST_SKIP() << "no sample demo in " << demo;
    test::TempFolder folder("tool-demo");
    const auto out = folder / "frames";
    const Result r = run("--dir " + demo.string() + " --size 160x120 --frames 0-1600:400 --out " + out.string(), folder);
    ASSERT_EQ(r.status, 0) << r.output;
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

TEST(RenderTool, VideoWithoutFfmpegSaysSo) {
    test::TempFolder folder("tool-video");
    std::filesystem::create_directories(folder / "no-programs");
    const Result r = run("--dir " + kCorpusScene + " --scene ballcone.lws --video " + (folder / "v.mp4").string(),
                         folder, "PATH=" + (folder / "no-programs").string());
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.output.find("--video needs ffmpeg"), std::string::npos) << r.output;
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
void makeSceneWithMusic(const test::TempFolder& folder) {
    for (const char* name : {"ballcone.lws", "greenball.lwo", "redcone.lwo"})
        std::filesystem::copy_file(std::filesystem::path(kCorpusScene) / name, folder / name);
    const std::string make = "sox -q -n -r 22050 -c 1 '" + (folder / "tone.wav").string() +
                             "' synth 0.25 sine 440 && lame --quiet -b 64 '" + (folder / "tone.wav").string() + "' '" +
                             (folder / "mp3.mp3").string() + "'";
    ASSERT_EQ(std::system(make.c_str()), 0) << "sox and lame make the test music";
}

TEST(RenderTool, VideoHoldsEveryPassAndTheMusic) {
    if (!haveFfmpeg()) GTEST_SKIP() << "ffmpeg is not installed";
    test::TempFolder folder("tool-video-encode");
    makeSceneWithMusic(folder);
    const auto video = folder / "run.mp4";
    const Result r =
        run("--dir " + folder.root().string() + " --scene ballcone.lws --size 96x64 --fps 60 --video " + video.string(),
            folder);
    ASSERT_EQ(r.status, 0) << r.output;
    // Frames 1 to 60 at 30.3 frames a second of scene, 60 passes a second:
    // a pass every 0.505 frames, the last one past frame 60.
    EXPECT_NE(r.output.find("(118/118)"), std::string::npos) << r.output;
    const std::string pictures = commandOutput("ffprobe -v error -count_frames -select_streams v:0 -show_entries "
                                               "stream=codec_name,width,height,nb_read_frames -of csv=p=0 '" +
                                               video.string() + "'");
    EXPECT_EQ(pictures, "h264,96,64,118\n");
    // The short music does not shorten the run; it plays, then silence.
    const std::string sound = commandOutput("ffprobe -v error -select_streams a:0 -show_entries stream=codec_name "
                                            "-of csv=p=0 '" + video.string() + "'");
    EXPECT_FALSE(sound.empty()) << "no sound stream";
    const double length = std::atof(commandOutput("ffprobe -v error -show_entries format=duration -of csv=p=0 '" +
                                                  video.string() + "'").c_str());
    EXPECT_NEAR(length, 118 / 60.0, 0.1);
}

TEST(RenderTool, VideoEncoderFailureIsReported) {
    if (!haveFfmpeg()) GTEST_SKIP() << "ffmpeg is not installed";
    test::TempFolder folder("tool-video-fail");
    const Result r = run("--dir " + kCorpusScene + " --scene ballcone.lws --size 96x64 --video " +
                             (folder / "missing-folder" / "v.mp4").string(),
                         folder);
    EXPECT_EQ(r.status, 1) << r.output;
    EXPECT_NE(r.output.find("\nzor-render: ffmpeg"), std::string::npos) << r.output;
}

TEST(RenderTool, VideoWantsAnEvenSize) {
    if (!haveFfmpeg()) GTEST_SKIP() << "ffmpeg is not installed";
    test::TempFolder folder("tool-video-odd");
    const Result r = run("--dir " + kCorpusScene + " --scene ballcone.lws --size 97x64 --video " +
                             (folder / "v.mp4").string(), folder);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.output.find("even width and height"), std::string::npos) << r.output;
}

TEST(RenderTool, MissingSceneAndBadArgumentsFail) {
    test::TempFolder folder("tool-missing");
    Result r = run("--dir " + folder.root().string() + " --out " + (folder / "x.png").string(), folder);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.output.find("glorp2.lws"), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("not found"), std::string::npos) << r.output;
    EXPECT_FALSE(std::filesystem::exists(folder / "x.png"));
    r = run("--size 12 --bench", folder);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.output.find("--size"), std::string::npos);
    r = run("--frames 9-3 --bench", folder);
    EXPECT_EQ(r.status, 1);
    r = run("--dir " + kCorpusScene + " --scene ballcone.lws", folder);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.output.find("--out"), std::string::npos);
    r = run("--help", folder);
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.output.find("--frames"), std::string::npos);
}

}  // namespace
}  // namespace zor
