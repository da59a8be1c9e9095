// The player on a real X server: Xvfb, started here on a free display, with
// no window manager; llvmpipe through GLX. The set-up window is answered
// with xdotool keys, the screen is read back through Xlib and compared with
// zor-render's picture of the same still scene in the same mode, size and
// frame: at most 0.5% of the pixels may be off by more than 2 levels (the
// copy into the 24-bit window may round where zor-render repeats bits; a
// 5-6-5 picture against a 5-5-5 one is off in most pixels). Escape must then
// end the run with status 0.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <thread>

#include "child_process.h"
#include "png_compare.h"
#include "still_scene.h"
#include "test_support.h"
#include "x_server.h"

namespace zor {
namespace {

using namespace std::chrono_literals;

const std::filesystem::path kBuild = ZOR_BINARY_DIR;
constexpr int kWidth = 640;
constexpr int kHeight = 480;

using test::readText;

struct PlayerOnXServer : testing::TestWithParam<int> {
    std::unique_ptr<test::ScratchDir> dir;

    void SetUp() override {
        ASSERT_TRUE(std::filesystem::exists(kBuild / "demo" / "zor.dat")) << "build the zor_demo target first";
        dir = std::make_unique<test::ScratchDir>("desktop-" + std::to_string(GetParam()));
        std::filesystem::copy_file(kBuild / "demo" / "zor.dat", dir->path() / "zor.dat");
        std::ofstream(dir->path() / "glorp2.lws", std::ios::binary) << test::kStillScene;
        std::ofstream(dir->path() / "demo-info.txt") << "title: Cubes in a room\nauthor: someone\n";
    }
};

TEST_P(PlayerOnXServer, ShowsZorRendersPictureInTheChosenModeAndEscapeEndsIt) {
    const int bits = GetParam();
    const std::filesystem::path& folder = dir->path();

    // What zor-render draws of frame 0 in this mode.
    const std::string render = "cd '" + folder.string() + "' && SDL_VIDEODRIVER=offscreen " +
                               "ASAN_OPTIONS=detect_leaks=0 '" + (kBuild / "tools/zor-render/zor-render").string() +
                               "' --size 640x480 --bpp " + std::to_string(bits) +
                               " --frame 0 --out expected.png > render.log 2>&1";
    ASSERT_EQ(std::system(render.c_str()), 0) << readText(folder / "render.log");
    test::RgbImage expected;
    ASSERT_TRUE(test::readPng(folder / "expected.png", expected));

    test::XServer x(folder);
    ASSERT_FALSE(x.display().empty()) << "Xvfb did not start: " << readText(folder / "xvfb.err");
    test::ChildProcess player({(kBuild / "src/app/zor").string(), "-nosound"}, folder, "player",
                              {"DISPLAY=" + x.display(), "SDL_VIDEODRIVER=x11", "SDL_AUDIODRIVER=dummy",
                               "ASAN_OPTIONS=detect_leaks=0"});
    ASSERT_TRUE(player.started());

    // The set-up window under the pointer takes the keys; its default is
    // 640x480x16, the entry above it 640x480x15.
    const auto deadline = std::chrono::steady_clock::now() + 60s;
    while (x.xdotool("search --onlyvisible --name '^Setup$'") != 0 &&
           std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(100ms);
    if (bits == 15) x.xdotool("key Up");
    x.xdotool("key Return");

    // The still scene looks the same in every frame; wait until it is shown.
    test::RgbImage screen;
    long different = -1;
    const long allowed = long(kWidth) * kHeight / 200;
    do {
        std::this_thread::sleep_for(250ms);
        screen = x.grab(0, kWidth, kHeight);
        different = test::countDifferentPixels(screen, expected, 2);
    } while ((different < 0 || different > allowed) && std::chrono::steady_clock::now() < deadline);
    const std::filesystem::path shown = kBuild / ("actual-desktop-" + std::to_string(bits) + ".png");
    if (different < 0 || different > allowed) test::writePng(shown, screen);
    EXPECT_TRUE(different >= 0 && different <= allowed)
        << different << " pixels differ from zor-render's picture; the screen is in " << shown << "\n"
        << player.errors();

    // The window carries the demo's own name.
    EXPECT_EQ(x.xdotool("search --onlyvisible --name '^Cubes in a room$'"), 0);

    // No pointer over the picture while the demo plays full screen; the
    // screen's own again once it has ended.
    x.xdotool("mousemove 320 240");
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(x.opaqueCursorPixels(), 0);

    // Without a window manager the player's window must hold the keyboard.
    x.xdotool("key Escape");
    EXPECT_TRUE(player.wait(30s) && player.exitedWith(0))
        << "after Escape: " << test::describeEnd(player) << "\n" << player.errors();
    EXPECT_GT(x.opaqueCursorPixels(), 0);
}

INSTANTIATE_TEST_SUITE_P(Modes, PlayerOnXServer, testing::Values(16, 15),
                         [](const testing::TestParamInfo<int>& info) { return std::to_string(info.param) + "Bit"; });

}  // namespace
}  // namespace zor
