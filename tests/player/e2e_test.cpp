// The whole player, headless: SDL's offscreen video driver, OpenGL on Mesa,
// the dummy audio driver, the sample demo's archive and music with a
// shortened copy of its scene beside them (a file on disk takes precedence
// over the archive entry). Without a screen the set-up window's default
// choice is taken; Escape and clicks arrive as real SDL events.

#include <gtest/gtest.h>

#include <csignal>
#include <fstream>
#include <sstream>

#include "app/device_display.h"
#include "app/player.h"
#include "child_process.h"
#include "headless_player.h"
#include "platform/sdl/sdl_dialog.h"
#include "platform/device_music.h"
#include "platform/sdl/sdl_sound_device.h"
#include "png_compare.h"
#include "test_support.h"

namespace zor {
namespace {

const std::filesystem::path kDemoDir = std::filesystem::path(ZOR_BINARY_DIR) / "demo";

using test::InjectingWindowSystem;
using test::OffscreenModesLayer;

struct PlayerRun : testing::Test {
    std::unique_ptr<test::ScratchDir> dir;
    std::unique_ptr<test::CurrentDir> here;
    std::string scene;
    std::ostringstream errors;
    std::ostringstream notes;  // what the set-up window says when it cannot be shown
    InjectingWindowSystem system;
    SdlSoundDevice sound;
    DeviceBass bass{sound};
    DeviceGaudio gaudio{sound};
    SdlDialog dialog;
    OffscreenModesLayer layer;  // the default choice is 640 x 480 x 16
    DevicePlayerDisplay display{layer, system, makeSetupWindowFunction(dialog, notes)};
    PlayerParts parts{system, &bass, &gaudio, display, errors};

    void SetUp() override {
        test::useHeadlessSdl();
        ASSERT_TRUE(std::filesystem::exists(kDemoDir / "zor.dat")) << "build the zor_demo target first";
        dir = std::make_unique<test::ScratchDir>();
        std::filesystem::copy_file(kDemoDir / "zor.dat", dir->path() / "zor.dat");
        std::filesystem::copy_file(kDemoDir / "mp3.mp3", dir->path() / "mp3.mp3");
        scene = test::sceneText(kDemoDir);
        ASSERT_FALSE(scene.empty());
        here = std::make_unique<test::CurrentDir>(dir->path());
        ASSERT_EQ(SDL_InitSubSystem(SDL_INIT_VIDEO), 0) << SDL_GetError();
        SDL_FlushEvents(SDL_FIRSTEVENT, SDL_LASTEVENT);
    }
    void TearDown() override {
        here.reset();
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
    }

    void writeScene(int first, int last) {
        std::ofstream(dir->path() / "glorp2.lws", std::ios::binary) << test::withFrameRange(scene, first, last);
    }
};

TEST_F(PlayerRun, PlaysAShortSceneToItsEndWithMusic) {
    writeScene(0, 15);  // about half a second
    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(runPlayer(parts, ""), 0) << errors.str();
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    EXPECT_LT(seconds, 10.0);
    // The scene clock runs 15 frames / 30.3 per second: at least 0.49 s of passes.
    EXPECT_GE(system.readings(), 3);
    EXPECT_TRUE(system.boxes.empty());
    EXPECT_EQ(errors.str(), "") << "loading the sample demo should report nothing";
}

TEST_F(PlayerRun, GaudioAndNoSoundPlayToTheEndToo) {
    writeScene(0, 6);
    EXPECT_EQ(runPlayer(parts, "-gaudio"), 0) << errors.str();
}

TEST_F(PlayerRun, EscapeEndsItEarly) {
    writeScene(0, 100000);  // would run for an hour
    SDL_Event key{};
    key.type = SDL_KEYDOWN;
    key.key.keysym.sym = SDLK_ESCAPE;
    system.injectAtReading(4, key);
    EXPECT_EQ(runPlayer(parts, "-nosound"), 0) << errors.str();
    EXPECT_EQ(system.readings(), 4) << "the pass that read the clock when Escape came should be the last";
}

TEST_F(PlayerRun, AClickEndsItEarly) {
    writeScene(0, 100000);
    SDL_Event click{};
    click.type = SDL_MOUSEBUTTONDOWN;
    click.button.button = SDL_BUTTON_LEFT;
    system.injectAtReading(3, click);
    EXPECT_EQ(runPlayer(parts, "-nosound"), 0) << errors.str();
    EXPECT_EQ(system.readings(), 3);
}

TEST_F(PlayerRun, MissingMusicEndsBeforeTheSceneWithAReason) {
    writeScene(0, 15);
    std::filesystem::remove(dir->path() / "mp3.mp3");
    EXPECT_EQ(runPlayer(parts, "-bass"), 1);
    EXPECT_NE(errors.str().find("cannot open the music \"mp3.mp3\""), std::string::npos) << errors.str();
    EXPECT_EQ(system.readings(), 0) << "the scene clock must not have started";
}

TEST_F(PlayerRun, MissingMusicWithTheSecondLayerEndsWithStatusOne) {
    writeScene(0, 15);
    std::filesystem::remove(dir->path() / "mp3.mp3");
    EXPECT_EQ(runPlayer(parts, "-gaudio"), 1);
    EXPECT_NE(errors.str().find("\"mp3.mp3\""), std::string::npos) << errors.str();
}

// SDL's audio with a driver that is not there: no sound device. The player
// plays the scene to its end without the music file, and says why once.
TEST_F(PlayerRun, WithoutASoundDeviceItPlaysWithoutTheMusicFile) {
    writeScene(0, 6);
    std::filesystem::remove(dir->path() / "mp3.mp3");
    ::setenv("SDL_AUDIODRIVER", "no-such-driver", 1);
    EXPECT_EQ(runPlayer(parts, ""), 0) << errors.str();
    test::useHeadlessSdl();
    EXPECT_EQ(errors.str(), "zor: no sound device (Audio target 'no-such-driver' not available); playing without music\n");
    EXPECT_GE(system.readings(), 1);
}

TEST_F(PlayerRun, MissingSceneIsAnErrorNamingSceneAndArchive) {
    // An archive without the scene (an empty one), and in the folder a
    // folder of the scene's name, which is no scene and is said to be one.
    std::filesystem::remove(dir->path() / "zor.dat");
    { PackFile empty("zor.dat"); }
    std::filesystem::create_directories(dir->path() / "glorp2.lws");
    EXPECT_EQ(runPlayer(parts, "-nosound"), 1);
    EXPECT_NE(errors.str().find("\"glorp2.lws\": it is a folder"), std::string::npos) << errors.str();
    EXPECT_NE(errors.str().find("zor.dat"), std::string::npos) << errors.str();
}

TEST_F(PlayerRun, WithoutAScreenTheSetUpWindowsDefaultIsTakenAndSaid) {
    // A window shown anyway would take this quit (failing the display) instead
    // of waiting for a user forever; the player's own window ends with it.
    SDL_Event quit{};
    quit.type = SDL_QUIT;
    SDL_PushEvent(&quit);
    writeScene(0, 15);
    EXPECT_EQ(runPlayer(parts, "-nosound"), 0) << errors.str();
    EXPECT_TRUE(system.boxes.empty());
    EXPECT_NE(notes.str().find("zor: the set-up window cannot be shown (SDL's \"offscreen\" video driver has no "
                               "screen); taking its default choice: adapter \""),
              std::string::npos)
        << notes.str();
    EXPECT_NE(notes.str().find("\", 640x480x16Bpp\n"), std::string::npos) << notes.str();
    std::vector<std::uint8_t> rgb;
    int width = 0, height = 0;
    layer.readFrontBuffer(rgb, width, height);
    EXPECT_EQ(width, 640);
}

// One frame, drawn as the player draws it (with the logo), compared with a
// reference picture.
TEST_F(PlayerRun, CapturedFrameMatchesTheReference) {
    constexpr int kFrame = 600;
    // The clock starts at 1000; the first pass reads 1001: t = 0.0303 frames,
    // frame 600 is drawn and the scene has ended (600 < 600.0303).
    writeScene(kFrame, kFrame);
    system.useSteppingClock();
    EXPECT_EQ(runPlayer(parts, "-nosound"), 0) << errors.str();
    std::vector<std::uint8_t> rgb;
    int width = 0, height = 0;
    // The pixels are read even when an earlier drawing call left a GL error
    // pending (the answer is then false); the picture decides.
    layer.readFrontBuffer(rgb, width, height);
    ASSERT_GT(width, 0);
    ASSERT_EQ(rgb.size(), static_cast<std::size_t>(width) * height * 3);
    test::expectMatchesReference(test::RgbImage{width, height, rgb}, "demo_frame_600.png");
}

// The player as a program. SDL used to turn SIGTERM into a quit event that
// only the main loop reads (the set-up window took it as a refusal); now it
// ends the player at once, wherever it is, by that signal.
TEST(PlayerProgram, SigtermEndsItPromptly) {
    test::ScratchDir dir("signal");
    std::ofstream(dir.path() / "glorp2.lws") << "LWSC\n1\n\nPreviewFirstFrame 0\nPreviewLastFrame 100000\n"
                                                "PreviewFrameStep 1\nFramesPerSecond 30\n";
    test::ChildProcess zor({ZOR_PLAYER_PATH, "-nosound"}, dir.path(), "zor",
                           {"SDL_VIDEODRIVER=offscreen", "SDL_AUDIODRIVER=dummy"});
    ASSERT_TRUE(zor.started());
    ASSERT_FALSE(zor.wait(std::chrono::seconds(2))) << "ended by itself: " << zor.errors();
    zor.signal(SIGTERM);
    ASSERT_TRUE(zor.wait(std::chrono::seconds(10))) << "still running after SIGTERM";
    EXPECT_TRUE(zor.killedBy(SIGTERM)) << test::describeEnd(zor) << "\n" << zor.errors();
}

// --dir names the folder to play in; a folder with nothing to play says
// where the sample demo is instead of opening the set-up window.
TEST(PlayerProgram, PlaysTheFolderOfDirOrSaysWhereTheDemoIs) {
    test::ScratchDir empty("dir-empty"), scene("dir-scene");
    std::ofstream(scene.path() / "glorp2.lws") << "LWSC\n1\n\nPreviewFirstFrame 0\nPreviewLastFrame 1\n"
                                                  "PreviewFrameStep 1\nFramesPerSecond 30\n";
    const std::vector<std::string> env = {"SDL_VIDEODRIVER=offscreen", "SDL_AUDIODRIVER=dummy"};
    // The player's options wherever they stand; the music's words are what is left.
    test::ChildProcess plays({ZOR_PLAYER_PATH, "-nosound", "--dir", scene.path().string()}, empty.path(), "plays", env);
    ASSERT_TRUE(plays.wait(std::chrono::seconds(30))) << plays.errors();
    EXPECT_TRUE(plays.exitedWith(0)) << test::describeEnd(plays) << "\n" << plays.errors();
    test::ChildProcess unknown({ZOR_PLAYER_PATH, "--dir", scene.path().string(), "-nosund"}, empty.path(), "unknown",
                               env);
    ASSERT_TRUE(unknown.wait(std::chrono::seconds(30))) << unknown.errors();
    EXPECT_NE(unknown.errors().find("zor: \"-nosund\" is not understood"), std::string::npos) << unknown.errors();

    // A damaged archive is named as such before the set-up window.
    std::ofstream(scene.path() / "zor.dat", std::ios::binary) << "not an archive at all";
    test::ChildProcess damaged({ZOR_PLAYER_PATH, "-nosound"}, scene.path(), "damaged", env);
    ASSERT_TRUE(damaged.wait(std::chrono::seconds(10)));
    EXPECT_TRUE(damaged.exitedWith(1)) << test::describeEnd(damaged);
    EXPECT_EQ(damaged.errors(), "zor: zor.dat: damaged archive: no trailer\n");

    test::ChildProcess nothing({ZOR_PLAYER_PATH, "-nosound"}, empty.path(), "nothing", env);
    ASSERT_TRUE(nothing.wait(std::chrono::seconds(10)));
    EXPECT_TRUE(nothing.exitedWith(1)) << test::describeEnd(nothing);
    EXPECT_NE(nothing.errors().find("nothing to play in the current folder: no zor.dat"), std::string::npos)
        << nothing.errors();
    EXPECT_NE(nothing.errors().find("zor --dir "), std::string::npos) << nothing.errors();
    EXPECT_FALSE(std::filesystem::exists(empty.path() / "zor.dat")) << "the player left an archive behind";

    test::ChildProcess missing({ZOR_PLAYER_PATH, "--dir", (empty.path() / "nowhere").string()}, empty.path(),
                               "missing", env);
    ASSERT_TRUE(missing.wait(std::chrono::seconds(10)));
    EXPECT_TRUE(missing.exitedWith(1)) << test::describeEnd(missing);
    EXPECT_NE(missing.errors().find("nowhere: No such file or directory"), std::string::npos) << missing.errors();
    test::ChildProcess bare({ZOR_PLAYER_PATH, "--dir"}, empty.path(), "bare", env);
    ASSERT_TRUE(bare.wait(std::chrono::seconds(10)));
    EXPECT_TRUE(bare.exitedWith(2)) << test::describeEnd(bare);
}

TEST(PlayerProgram, PrintsItsVersion) {
    test::ScratchDir dir("version");
    test::ChildProcess zor({ZOR_PLAYER_PATH, "--version"}, dir.path(), "zor");
    ASSERT_TRUE(zor.wait(std::chrono::seconds(10)));
    EXPECT_TRUE(zor.exitedWith(0)) << test::describeEnd(zor);
    EXPECT_EQ(zor.output(), "zor " ZOR_VERSION "\n");
}

}  // namespace
}  // namespace zor
