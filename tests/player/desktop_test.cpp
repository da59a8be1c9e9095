// The player on a real X server: Xvfb, started here on a free display, with
// no window manager; llvmpipe through GLX. The set-up window is answered
// with xdotool keys, the screen is read back through Xlib and compared with
// zor-render's picture of the same still scene in the same mode, size and
// frame: at most 0.5% of the pixels may be off by more than 2 levels (the
// copy into the 24-bit window may round where zor-render repeats bits; a
// 5-6-5 picture against a 5-5-5 one is off in most pixels). Escape must then
// end the run with status 0.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <thread>

#include "png_compare.h"
#include "test_support.h"

// Last: Xlib's macros (None, Bool, Status) would clash with the names above.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#undef None
#undef Bool
#undef Status

extern char** environ;

namespace zor {
namespace {

using namespace std::chrono_literals;

const std::filesystem::path kBuild = ZOR_BINARY_DIR;
constexpr int kWidth = 640;
constexpr int kHeight = 480;

// A room with its checker-textured floor and a column lit by one light,
// nothing moving: every frame is frame 0.
constexpr const char* kStillScene = R"(LWSC
1

FirstFrame 0
LastFrame 1000000
FrameStep 1
PreviewFirstFrame 0
PreviewLastFrame 1000000
PreviewFrameStep 1
FramesPerSecond 30.3

LoadObject Objects\Room.lwo
ShowObject 6 7
ObjectMotion (unnamed)
  9
  1
  0 0 0 0 0 0 1 1 1
  0 0 0 0 0
EndBehavior 1
ShadowOptions 0

LoadObject Objects\Column.lwo
ShowObject 6 7
ObjectMotion (unnamed)
  9
  1
  0 0 -20 0 0 0 1 1 1
  0 0 0 0 0
EndBehavior 1
ShadowOptions 2

AddLight
LightName Sun
ShowLight 1 7
LightMotion (unnamed)
  9
  1
  -6 30 -45 11.3 44.4 0 1 1 1
  0 0 0 0 0
EndBehavior 1
LightColor 255 244 224
LgtIntensity 1.3
LightType 0
ShadowType 1

ShowCamera 1 7
CameraMotion (unnamed)
  9
  1
  0 12 -45 0 15 0 1 1 1
  0 0 0 0 0
EndBehavior 1
ZoomFactor 3.2
)";

// The environment of this process with some variables replaced or removed
// (an empty value removes).
std::vector<std::string> environment(const std::vector<std::pair<std::string, std::string>>& changes) {
    std::vector<std::string> list;
    for (char** e = environ; *e; ++e) {
        const std::string entry = *e;
        bool changed = false;
        for (const auto& [name, value] : changes) changed = changed || entry.rfind(name + "=", 0) == 0;
        if (!changed) list.push_back(entry);
    }
    for (const auto& [name, value] : changes)
        if (!value.empty()) list.push_back(name + "=" + value);
    return list;
}

// Starts a program (searched on PATH) in `folder` with its output in `log`.
pid_t start(const std::vector<std::string>& arguments, const std::vector<std::string>& env,
            const std::filesystem::path& folder, const std::filesystem::path& log, int keepOpen = -1) {
    std::vector<char*> argv, envp;
    for (const auto& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
    for (const auto& e : env) envp.push_back(const_cast<char*>(e.c_str()));
    argv.push_back(nullptr);
    envp.push_back(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        const int out = open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (out >= 0) {
            dup2(out, 1);
            dup2(out, 2);
        }
        for (int fd = 3; fd < 256; ++fd)
            if (fd != keepOpen) close(fd);
        if (chdir(folder.c_str()) != 0) _exit(126);
        execvpe(argv[0], argv.data(), envp.data());
        _exit(127);
    }
    return pid;
}

// The exit status, or -1 when the process is still running after `limit`.
int waitFor(pid_t pid, std::chrono::milliseconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    do {
        int status = 0;
        if (waitpid(pid, &status, WNOHANG) == pid) return WIFEXITED(status) ? WEXITSTATUS(status) : 128;
        std::this_thread::sleep_for(20ms);
    } while (std::chrono::steady_clock::now() < end);
    return -1;
}

void stop(pid_t pid) {
    if (pid <= 0) return;
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
}

std::string readFile(const std::filesystem::path& path) {
    std::ifstream in(path);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// Xvfb on the first free display, 640 x 480 in 24 bits, no window manager.
class XServer {
public:
    explicit XServer(const std::filesystem::path& folder) {
        int fds[2];
        if (pipe(fds) != 0) return;
        pid_ = start({"Xvfb", "-displayfd", std::to_string(fds[1]), "-screen", "0", "640x480x24", "-nolisten", "tcp"},
                     environment({}), folder, folder / "xvfb.log", fds[1]);
        close(fds[1]);
        pollfd p{fds[0], POLLIN, 0};
        std::string number;
        char c = 0;
        while (poll(&p, 1, 20000) == 1 && read(fds[0], &c, 1) == 1 && c != '\n') number += c;
        close(fds[0]);
        if (!number.empty()) display_ = ":" + number;
    }
    ~XServer() { stop(pid_); }
    const std::string& display() const { return display_; }

private:
    pid_t pid_ = -1;
    std::string display_;
};

// The whole screen as RGB.
bool grabScreen(const std::string& display, test::RgbImage& image) {
    Display* x = XOpenDisplay(display.c_str());
    if (!x) return false;
    XImage* shot = XGetImage(x, DefaultRootWindow(x), 0, 0, kWidth, kHeight, AllPlanes, ZPixmap);
    if (shot) {
        image.width = kWidth;
        image.height = kHeight;
        image.pixels.resize(std::size_t(kWidth) * kHeight * 3);
        for (int y = 0; y < kHeight; ++y)
            for (int x0 = 0; x0 < kWidth; ++x0) {
                // A 24-bit TrueColor screen: 8 bits per channel.
                const unsigned long p = XGetPixel(shot, x0, y);
                std::uint8_t* out = image.pixels.data() + (std::size_t(y) * kWidth + x0) * 3;
                out[0] = static_cast<std::uint8_t>((p & shot->red_mask) >> 16);
                out[1] = static_cast<std::uint8_t>((p & shot->green_mask) >> 8);
                out[2] = static_cast<std::uint8_t>(p & shot->blue_mask);
            }
        XDestroyImage(shot);
    }
    XCloseDisplay(x);
    return shot != nullptr;
}

struct PlayerOnXServer : testing::TestWithParam<int> {
    std::unique_ptr<test::TempDir> dir;

    void SetUp() override {
        ASSERT_TRUE(std::filesystem::exists(kBuild / "demo" / "zor.dat")) << "build the zor_demo target first";
        dir = std::make_unique<test::TempDir>("desktop-" + std::to_string(GetParam()));
        std::filesystem::copy_file(kBuild / "demo" / "zor.dat", dir->path() / "zor.dat");
        std::ofstream(dir->path() / "glorp2.lws", std::ios::binary) << kStillScene;
    }

    int xdotool(const std::string& display, const std::string& arguments) {
        const std::string command = "DISPLAY=" + display + " xdotool " + arguments + " >/dev/null 2>&1";
        const int raw = std::system(command.c_str());
        return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
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
    ASSERT_EQ(std::system(render.c_str()), 0) << readFile(folder / "render.log");
    test::RgbImage expected;
    ASSERT_TRUE(test::readPng(folder / "expected.png", expected));

    XServer x(folder);
    ASSERT_FALSE(x.display().empty()) << "Xvfb did not start: " << readFile(folder / "xvfb.log");
    const pid_t player = start({(kBuild / "src/app/zor").string(), "-nosound"},
                               environment({{"DISPLAY", x.display()},
                                            {"SDL_VIDEODRIVER", ""},
                                            {"SDL_AUDIODRIVER", "dummy"},
                                            {"ASAN_OPTIONS", "detect_leaks=0"}}),
                               folder, folder / "player.log");
    ASSERT_GT(player, 0);

    // The set-up window under the pointer takes the keys; its default is
    // 640x480x16, the entry above it 640x480x15.
    const auto deadline = std::chrono::steady_clock::now() + 60s;
    while (xdotool(x.display(), "search --onlyvisible --name '^Setup$'") != 0 &&
           std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(100ms);
    if (bits == 15) xdotool(x.display(), "key Up");
    xdotool(x.display(), "key Return");

    // The still scene looks the same in every frame; wait until it is shown.
    test::RgbImage screen;
    long different = -1;
    const long allowed = long(kWidth) * kHeight / 200;
    do {
        std::this_thread::sleep_for(250ms);
        if (grabScreen(x.display(), screen)) different = test::countDifferentPixels(screen, expected, 2);
    } while ((different < 0 || different > allowed) && std::chrono::steady_clock::now() < deadline);
    const std::filesystem::path shown = kBuild / ("actual-desktop-" + std::to_string(bits) + ".png");
    if (different < 0 || different > allowed) test::writePng(shown, screen);
    EXPECT_TRUE(different >= 0 && different <= allowed)
        << different << " pixels differ from zor-render's picture; the screen is in " << shown << "\n"
        << readFile(folder / "player.log");

    // Without a window manager the player's window must hold the keyboard.
    xdotool(x.display(), "key Escape");
    const int status = waitFor(player, 30s);
    if (status < 0) stop(player);
    EXPECT_EQ(status, 0) << (status < 0 ? "Escape did not end the player\n" : "") << readFile(folder / "player.log");
}

INSTANTIATE_TEST_SUITE_P(Modes, PlayerOnXServer, testing::Values(16, 15),
                         [](const testing::TestParamInfo<int>& info) { return std::to_string(info.param) + "Bit"; });

}  // namespace
}  // namespace zor
