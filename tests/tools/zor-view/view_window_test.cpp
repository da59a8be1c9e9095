// zor-view on a real X server: Xvfb started here on a free display, no
// window manager, keys sent with xdotool, the window read back with Xlib.
// The window opens, keys move the frame, Home shows the frame-0 picture of
// zor-render, S writes a PNG beside the scene, Escape ends with status 0,
// SIGTERM ends it by the signal (as the shell's 143 says). Given a recipe,
// a drag turns the free look and K writes its camera key at the frame shown
// into the recipe, every other byte as it was.

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <functional>
#include <thread>

#include "child_process.h"
#include "png_compare.h"
#include "recipe/recipe.h"
#include "test_support.h"
#include "x_server.h"

namespace zor {
namespace {

using namespace std::chrono_literals;
using test::RgbImage;

const std::filesystem::path kBuild(ZOR_BINARY_DIR);
constexpr int kWidth = 320, kHeight = 240;
// The status line covers the bottom rows of the window.
constexpr int kStatusRows = 24;

// Mesa's and Xlib's own allocations kept until exit, for a sanitizer build.
constexpr const char* kLeakSuppressions =
    "leak:libEGL_mesa.so\nleak:libGLX_mesa.so\nleak:swrast_dri.so\nleak:libglapi.so\nleak:libLLVM\n"
    "leak:libdrm\nleak:libX11.so\nleak:libxcb\nleak:libdbus-1\nleak:libfontconfig\nleak:libfreetype\n";

using test::readText;

struct ViewWindow : testing::Test {
    std::unique_ptr<test::ScratchDir> dir;
    std::unique_ptr<test::XServer> server;
    std::unique_ptr<test::ChildProcess> view;

    void SetUp() override {
        ASSERT_TRUE(std::filesystem::exists(kBuild / "demo" / "zor.dat")) << "build the zor_demo target first";
        dir = std::make_unique<test::ScratchDir>("view-window");
        std::filesystem::copy_file(kBuild / "demo" / "zor.dat", dir->path() / "zor.dat");
        std::ofstream(dir->path() / "lsan.txt") << kLeakSuppressions;
        server = std::make_unique<test::XServer>(dir->path());
        ASSERT_FALSE(server->display().empty()) << "Xvfb did not start";
    }

    void startView(const std::vector<std::string>& arguments) {
        std::vector<std::string> all{"--dir", dir->path().string()};
        all.insert(all.end(), arguments.begin(), arguments.end());
        startProgram(all);
    }
    // zor-view with these arguments alone, in the scratch folder (its
    // temporary files in tmp/ there).
    void startProgram(const std::vector<std::string>& arguments) {
        std::vector<std::string> all{(kBuild / "tools/zor-view/zor-view").string()};
        all.insert(all.end(), arguments.begin(), arguments.end());
        std::filesystem::create_directories(dir->path() / "tmp");
        view = std::make_unique<test::ChildProcess>(
            all, dir->path(), "view",
            std::vector<std::string>{"DISPLAY=" + server->display(), "SDL_VIDEODRIVER=x11", "SDL_AUDIODRIVER=dummy",
                                     "TMPDIR=" + (dir->path() / "tmp").string(),
                                     "LSAN_OPTIONS=suppressions=" + (dir->path() / "lsan.txt").string()});
    }
    // The window's id once it is mapped, or 0.
    unsigned long windowNamed(const std::string& pattern) const {
        std::string found;
        server->xdotool("search --sync --name '" + pattern + "'", &found);
        return std::strtoul(found.c_str(), nullptr, 10);
    }
    void key(const std::string& name) const { server->xdotool("key --delay 0 " + name); }

    // The window once `accept` takes it (or the last grab after 20 s).
    RgbImage grabWhen(unsigned long window, const std::function<bool(const RgbImage&)>& accept) const {
        RgbImage image;
        for (auto end = std::chrono::steady_clock::now() + 20s; std::chrono::steady_clock::now() < end;) {
            image = server->grab(window, kWidth, kHeight);
            if (accept(image)) break;
            std::this_thread::sleep_for(100ms);
        }
        return image;
    }
};

// The picture without the status line's rows.
RgbImage above(const RgbImage& image) {
    RgbImage cut = image;
    cut.height = std::max(0, image.height - kStatusRows);
    cut.pixels.resize(std::size_t(cut.width) * cut.height * 3);
    return cut;
}

// The reference tolerance of the picture tests: at most 0.5% of the pixels
// differ by more than 8 levels.
bool matches(const RgbImage& a, const RgbImage& b) {
    const long differing = test::countDifferentPixels(a, b, 8);
    return differing >= 0 && differing <= static_cast<long>(a.width) * a.height / 200;
}

TEST_F(ViewWindow, KeysMoveTheFrameHomeShowsFrameZeroSSavesAndEscapeQuits) {
    // The player's picture of frame 0, headless.
    const auto reference = dir->path() / "reference.png";
    const std::string render = "SDL_VIDEODRIVER=offscreen " + (kBuild / "tools/zor-render/zor-render").string() +
                               " --dir " + dir->path().string() + " --size 320x240 --frame 0 --out " +
                               reference.string() + " > " + (dir->path() / "render.txt").string() + " 2>&1";
    ASSERT_EQ(std::system(render.c_str()), 0) << readText(dir->path() / "render.txt");
    RgbImage frame0;
    ASSERT_TRUE(test::readPng(reference, frame0));

    startView({"--size", "320x240", "--frame", "400", "-nosound"});
    const unsigned long window = windowNamed("^zor-view: glorp2.lws$");
    ASSERT_NE(window, 0u) << view->errors();
    server->xdotool("windowfocus --sync " + std::to_string(window));

    const auto lit = [](const RgbImage& image) {
        return std::count_if(image.pixels.begin(), image.pixels.end(), [](std::uint8_t v) { return v > 16; }) >
               static_cast<long>(image.pixels.size() / 10);
    };
    const RgbImage first = grabWhen(window, lit);
    ASSERT_TRUE(lit(first)) << "frame 400 never showed\n" << view->errors();

    key("End");
    const RgbImage last = grabWhen(
        window, [&](const RgbImage& image) { return test::countDifferentPixels(above(image), above(first), 8) > 0; });
    EXPECT_FALSE(matches(above(last), above(first))) << "End did not move the frame\n" << view->errors();

    key("Home");
    const RgbImage home =
        grabWhen(window, [&](const RgbImage& image) { return matches(above(image), above(frame0)); });
    EXPECT_TRUE(matches(above(home), above(frame0)))
        << test::countDifferentPixels(above(home), above(frame0), 8) << " pixels differ\n" << view->errors();

    key("s");
    const auto saved = dir->path() / "glorp2-00000.png";
    for (auto end = std::chrono::steady_clock::now() + 20s;
         !std::filesystem::exists(saved) && std::chrono::steady_clock::now() < end;)
        std::this_thread::sleep_for(100ms);
    RgbImage picture;
    ASSERT_TRUE(test::readPng(saved, picture)) << view->errors();
    EXPECT_TRUE(matches(picture, frame0)) << "the saved frame has no status line";

    key("Escape");
    EXPECT_TRUE(view->wait(20s) && view->exitedWith(0))
        << "after Escape: " << test::describeEnd(*view) << "\n" << view->errors();
    for (const auto& entry : std::filesystem::directory_iterator(dir->path()))
        EXPECT_NE(entry.path().extension(), ".tmp") << "left behind: " << entry.path();
}

// F twice: full screen and back to the window's own picture, status line
// and all (no window manager here, as on a bare X server).
TEST_F(ViewWindow, FullScreenAndBackRestoresThePicture) {
    startView({"--size", "320x240", "--frame", "400", "-nosound"});
    const unsigned long window = windowNamed("^zor-view: glorp2.lws$");
    ASSERT_NE(window, 0u) << view->errors();
    server->xdotool("windowfocus --sync " + std::to_string(window));
    const auto lit = [](const RgbImage& image) {
        return std::count_if(image.pixels.begin(), image.pixels.end(), [](std::uint8_t v) { return v > 16; }) >
               static_cast<long>(image.pixels.size() / 10);
    };
    // The check runs beside the loop and its count then changes the status
    // line: the picture to hold is the one after it, once it stands still.
    ASSERT_TRUE(view->waitForError(
        [](const std::string& log) { return log.find("zor-view: the check of") != std::string::npos; }, 120s))
        << view->errors();
    RgbImage previous;
    const RgbImage before = grabWhen(window, [&](const RgbImage& image) {
        const bool still = lit(image) && test::countDifferentPixels(image, previous, 0) == 0;
        previous = image;
        return still;
    });
    ASSERT_TRUE(lit(before)) << view->errors();
    key("f");
    std::this_thread::sleep_for(1s);
    key("f");
    const RgbImage after = grabWhen(window, [&](const RgbImage& image) { return matches(image, before); });
    EXPECT_TRUE(matches(after, before)) << test::countDifferentPixels(after, before, 8) << " pixels differ\n"
                                        << view->errors();
}

TEST_F(ViewWindow, SigtermEndsItByTheSignal) {
    startView({"-nosound"});
    ASSERT_NE(windowNamed("^zor-view: "), 0u) << view->errors();
    view->signal(SIGTERM);
    ASSERT_TRUE(view->wait(20s));
    EXPECT_TRUE(view->killedBy(SIGTERM)) << test::describeEnd(*view);
}

// The recipe's text without lines first..last (1-based).
std::string withoutLines(const std::string& text, int first, int last) {
    std::string kept;
    int line = 1;
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t end = std::min(text.find('\n', at), text.size() - 1) + 1;
        if (line < first || line > last) kept += text.substr(at, end - at);
        at = end;
        ++line;
    }
    return kept;
}

TEST_F(ViewWindow, KWritesACameraKeyAtTheShownFrameAndNothingElse) {
    const std::string recipe = "# the camera turns at frame 40\n"
                               "length = \"3s\"\n"
                               "\n"
                               "[camera]\n"
                               "[[camera.key]]\n"
                               "time = \"0s\"\n"
                               "position = [0, 2, -8]\n"
                               "look_at = [0, 0, 0]\n"
                               "\n"
                               "[[model]]  # the box\n"
                               "file = \"" + std::string(ZOR_CORPUS_DIR) + "/assimp-models/BoxTextured.glb\"\n"
                               "scale = 2\n";
    dir->write("demo.toml", recipe);
    startProgram({"demo.toml", "--size", "320x240", "--frame", "40", "-nosound"});
    const unsigned long window = windowNamed("^zor-view: demo.toml$");
    ASSERT_NE(window, 0u) << view->errors();
    server->xdotool("windowfocus --sync " + std::to_string(window));
    const auto lit = [](const RgbImage& image) {
        return std::count_if(image.pixels.begin(), image.pixels.end(), [](std::uint8_t v) { return v > 16; }) >
               static_cast<long>(image.pixels.size() / 50);
    };
    const RgbImage before = grabWhen(window, lit);
    ASSERT_TRUE(lit(before)) << "the box never showed\n" << view->errors();

    // A drag 40 pixels to the right: the free look turns 10 degrees right.
    const std::string id = std::to_string(window);
    server->xdotool("mousemove --window " + id + " 100 120 mousedown 1 mousemove --window " + id +
                    " 120 120 mousemove --window " + id + " 140 120 mouseup 1");
    const RgbImage turned = grabWhen(
        window, [&](const RgbImage& image) { return !matches(above(image), above(before)); });
    ASSERT_FALSE(matches(above(turned), above(before))) << "the drag did not turn the view\n" << view->errors();
    key("k");
    std::string written = recipe;
    for (auto end = std::chrono::steady_clock::now() + 20s;
         written == recipe && std::chrono::steady_clock::now() < end;) {
        std::this_thread::sleep_for(100ms);
        written = readText(dir->path() / "demo.toml");
    }
    ASSERT_NE(written, recipe) << "K wrote nothing\n" << view->errors();

    const recipe::RecipeResult read = recipe::readRecipe(written, dir->path() / "demo.toml");
    ASSERT_TRUE(read.ok()) << read.error->message();
    const auto& keys = read.recipe.camera.keys;
    ASSERT_EQ(keys.size(), 2u) << written;
    const recipe::CameraKey& added = keys[1];
    EXPECT_EQ(added.frame, 40) << written;
    EXPECT_EQ(added.position, (recipe::Vec3{0, 2, -8})) << "the free look starts at the demo's camera\n" << written;
    ASSERT_TRUE(added.rotation) << written;
    EXPECT_NEAR((*added.rotation)[0], 10, 0.01) << written;
    EXPECT_NEAR((*added.rotation)[1], std::atan2(2.0, 8.0) * 180 / M_PI, 0.01) << "the pitch that looks at the box";
    EXPECT_EQ(withoutLines(written, added.source.at.line, added.source.lastLine), recipe)
        << "every other byte stays\n" << written;

    key("Escape");
    EXPECT_TRUE(view->wait(30s) && view->exitedWith(0))
        << "after Escape: " << test::describeEnd(*view) << "\n" << view->errors();
    EXPECT_TRUE(std::filesystem::is_empty(dir->path() / "tmp")) << "the folder the recipe was built into stays";
}

TEST(ViewProgram, PrintsItsVersionAndUsageErrorsEndWith2) {
    const std::string view = (kBuild / "tools/zor-view/zor-view").string();
    std::FILE* out = popen((view + " --version").c_str(), "r");
    ASSERT_NE(out, nullptr);
    char line[64] = {};
    const bool read = std::fgets(line, sizeof line, out) != nullptr;
    EXPECT_EQ(pclose(out), 0);
    EXPECT_TRUE(read);
    EXPECT_STREQ(line, "zor-view " ZOR_VERSION "\n");
    EXPECT_EQ(WEXITSTATUS(std::system((view + " --size 0x0 2>/dev/null").c_str())), 2);
}

// Nothing to show ends it at start-up, before any window, with a hint: a
// scene that is nowhere, and one read from outside its folder, whose
// objects are looked for in --dir; a recipe that does not read, with its
// line.
TEST(ViewProgram, NothingToShowEndsWithStatus1AndAHint) {
    const test::ScratchDir dir;
    std::filesystem::create_directories(dir / "sub");
    dir.write("sub/s.lws", std::string_view("PreviewFirstFrame 0\nPreviewLastFrame 9\nLoadObject Room.lwo\n"));
    std::filesystem::copy_file(kBuild / "demo" / "zor.dat", dir / "sub" / "zor.dat");
    for (const char* scene : {"nowhere.lws", "sub/s.lws"}) {
        const std::string command = (kBuild / "tools/zor-view/zor-view").string() + " -nosound --dir " +
                                    dir.path().string() + " --scene " + scene + " > " + (dir / "out.txt").string() +
                                    " 2>&1";
        EXPECT_EQ(WEXITSTATUS(std::system(command.c_str())), 1) << scene;
        const std::string said = readText(dir / "out.txt");
        EXPECT_NE(said.find(std::string(scene) + ": "), std::string::npos) << said;
        EXPECT_NE(said.find("use --dir FOLDER"), std::string::npos) << said;
    }
    // A recipe that does not read: its line, and nothing left behind.
    dir.write("bad.toml", std::string_view("length = \"2s\"\npositon = [0, 0, 0]\n"));
    std::filesystem::create_directories(dir / "tmp");
    const std::string command = "cd " + dir.path().string() + " && TMPDIR=" + (dir / "tmp").string() + " " +
                                (kBuild / "tools/zor-view/zor-view").string() + " -nosound bad.toml > out.txt 2>&1";
    EXPECT_EQ(WEXITSTATUS(std::system(command.c_str())), 1);
    const std::string said = readText(dir / "out.txt");
    EXPECT_EQ(said.rfind("bad.toml:2:1: unknown key \"positon\"", 0), 0u) << said;
    EXPECT_TRUE(std::filesystem::is_empty(dir / "tmp"));
}

}  // namespace
}  // namespace zor
