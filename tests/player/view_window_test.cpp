// zor-view on a real X server: Xvfb started here on a free display, no
// window manager, keys sent with xdotool, the window read back with Xlib.
// The window opens, keys move the frame, Home shows the frame-0 picture of
// zor-render, S writes a PNG beside the scene, Escape ends with status 0,
// SIGTERM ends it by the signal (as the shell's 143 says).

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <functional>
#include <thread>

#include "png_compare.h"
#include "test_support.h"

// Last: Xlib's macros (None, Status, ...) would clash with the names above.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

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

// Runs a program with extra environment, its output into a file.
pid_t spawn(const std::vector<std::string>& arguments, const std::vector<std::pair<std::string, std::string>>& env,
            const std::filesystem::path& output) {
    const pid_t pid = ::fork();
    if (pid != 0) return pid;
    for (const auto& [name, value] : env) ::setenv(name.c_str(), value.c_str(), 1);
    const int out = ::open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ::dup2(out, 1);
    ::dup2(out, 2);
    std::vector<char*> argv;
    for (const auto& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    ::execvp(argv[0], argv.data());
    ::_exit(127);
}

// Waits for a child; its exit status, or -1 on a timeout or a signal.
int waitFor(pid_t pid, std::chrono::milliseconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    int status = 0;
    while (std::chrono::steady_clock::now() < end) {
        if (::waitpid(pid, &status, WNOHANG) == pid) return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        std::this_thread::sleep_for(50ms);
    }
    return -1;
}

std::string readText(const std::filesystem::path& path) {
    std::ifstream in(path);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

class XServer {
public:
    XServer() {
        int fds[2];
        if (::pipe(fds) != 0) return;
        pid_ = ::fork();
        if (pid_ == 0) {
            ::close(fds[0]);
            const int null = ::open("/dev/null", O_WRONLY);
            ::dup2(null, 1);
            ::dup2(null, 2);
            const std::string fd = std::to_string(fds[1]);
            ::execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "640x480x24", "-nolisten", "tcp",
                     static_cast<char*>(nullptr));
            ::_exit(127);
        }
        ::close(fds[1]);
        std::string number;
        pollfd p{fds[0], POLLIN, 0};
        while (::poll(&p, 1, 20000) > 0) {
            char c = 0;
            if (::read(fds[0], &c, 1) != 1 || c == '\n') break;
            number += c;
        }
        ::close(fds[0]);
        if (!number.empty()) name_ = ":" + number;
    }
    ~XServer() {
        if (pid_ > 0) {
            ::kill(pid_, SIGTERM);
            ::waitpid(pid_, nullptr, 0);
        }
    }
    const std::string& name() const { return name_; }

private:
    pid_t pid_ = -1;
    std::string name_;
};

struct ViewWindow : testing::Test {
    std::unique_ptr<XServer> server;
    std::unique_ptr<test::TempDir> dir;
    Display* display = nullptr;
    pid_t view = -1;
    Window window = 0;

    void SetUp() override {
        ASSERT_TRUE(std::filesystem::exists(kBuild / "demo" / "zor.dat")) << "build the zor_demo target first";
        dir = std::make_unique<test::TempDir>("view-window");
        std::filesystem::copy_file(kBuild / "demo" / "zor.dat", dir->path() / "zor.dat");
        std::ofstream(dir->path() / "lsan.txt") << kLeakSuppressions;
        server = std::make_unique<XServer>();
        ASSERT_FALSE(server->name().empty()) << "Xvfb did not start";
        display = XOpenDisplay(server->name().c_str());
        ASSERT_NE(display, nullptr);
    }
    void TearDown() override {
        if (view > 0 && waitFor(view, 0ms) == -1) {
            ::kill(view, SIGKILL);
            ::waitpid(view, nullptr, 0);
        }
        if (display) XCloseDisplay(display);
        server.reset();
    }

    std::string x(const std::string& command) const {
        std::string text;
        const std::string line = "DISPLAY=" + server->name() + " timeout 30 " + command + " 2>&1";
        if (FILE* pipe = ::popen(line.c_str(), "r")) {
            char buffer[256];
            while (std::fgets(buffer, sizeof buffer, pipe)) text += buffer;
            ::pclose(pipe);
        }
        return text;
    }
    void key(const std::string& name) const { x("xdotool key --delay 0 " + name); }

    RgbImage grab() const {
        RgbImage image;
        XImage* shot = XGetImage(display, window, 0, 0, kWidth, kHeight, AllPlanes, ZPixmap);
        if (!shot) return image;
        image.width = kWidth;
        image.height = kHeight;
        image.pixels.resize(std::size_t(kWidth) * kHeight * 3);
        for (int y = 0; y < kHeight; ++y)
            for (int px = 0; px < kWidth; ++px) {
                const unsigned long v = XGetPixel(shot, px, y);
                std::uint8_t* out = &image.pixels[(std::size_t(y) * kWidth + px) * 3];
                out[0] = static_cast<std::uint8_t>((v & shot->red_mask) >> 16);
                out[1] = static_cast<std::uint8_t>((v & shot->green_mask) >> 8);
                out[2] = static_cast<std::uint8_t>(v & shot->blue_mask);
            }
        XDestroyImage(shot);
        return image;
    }
    // The grab once `accept` takes it (or the last one after 20 s).
    RgbImage grabWhen(const std::function<bool(const RgbImage&)>& accept) const {
        RgbImage image;
        for (auto end = std::chrono::steady_clock::now() + 20s; std::chrono::steady_clock::now() < end;) {
            image = grab();
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

    const auto output = dir->path() / "view.txt";
    view = spawn({(kBuild / "tools/zor-view/zor-view").string(), "--dir", dir->path().string(), "--size", "320x240",
                  "--frame", "400", "-nosound"},
                 {{"DISPLAY", server->name()},
                  {"SDL_VIDEODRIVER", "x11"},
                  {"SDL_AUDIODRIVER", "dummy"},
                  {"LSAN_OPTIONS", "suppressions=" + (dir->path() / "lsan.txt").string()}},
                 output);
    const std::string found = x("xdotool search --sync --name '^zor-view: glorp2.lws$'");
    window = std::strtoul(found.c_str(), nullptr, 10);
    ASSERT_NE(window, 0u) << found << readText(output);
    x("xdotool windowfocus --sync " + std::to_string(window));

    const auto lit = [](const RgbImage& image) {
        return std::count_if(image.pixels.begin(), image.pixels.end(), [](std::uint8_t v) { return v > 16; }) >
               static_cast<long>(image.pixels.size() / 10);
    };
    const RgbImage first = grabWhen(lit);
    ASSERT_TRUE(lit(first)) << "frame 400 never showed\n" << readText(output);

    key("End");
    const RgbImage last =
        grabWhen([&](const RgbImage& image) { return test::countDifferentPixels(above(image), above(first), 8) > 0; });
    EXPECT_FALSE(matches(above(last), above(first))) << "End did not move the frame\n" << readText(output);

    key("Home");
    const RgbImage home = grabWhen([&](const RgbImage& image) { return matches(above(image), above(frame0)); });
    EXPECT_TRUE(matches(above(home), above(frame0)))
        << test::countDifferentPixels(above(home), above(frame0), 8) << " pixels differ\n" << readText(output);

    key("s");
    const auto saved = dir->path() / "glorp2-00000.png";
    for (auto end = std::chrono::steady_clock::now() + 20s;
         !std::filesystem::exists(saved) && std::chrono::steady_clock::now() < end;)
        std::this_thread::sleep_for(100ms);
    RgbImage picture;
    ASSERT_TRUE(test::readPng(saved, picture)) << readText(output);
    EXPECT_TRUE(matches(picture, frame0)) << "the saved frame has no status line";

    key("Escape");
    EXPECT_EQ(waitFor(view, 20s), 0) << readText(output);
    view = -1;
    for (const auto& entry : std::filesystem::directory_iterator(dir->path()))
        EXPECT_NE(entry.path().extension(), ".tmp") << "left behind: " << entry.path();
}

TEST_F(ViewWindow, SigtermEndsItByTheSignal) {
    view = spawn({(kBuild / "tools/zor-view/zor-view").string(), "--dir", dir->path().string(), "-nosound"},
                 {{"DISPLAY", server->name()}, {"SDL_VIDEODRIVER", "x11"}, {"SDL_AUDIODRIVER", "dummy"}},
                 dir->path() / "view.txt");
    ASSERT_NE(x("xdotool search --sync --name '^zor-view: '"), "");
    ::kill(view, SIGTERM);
    int status = 0;
    ASSERT_EQ(::waitpid(view, &status, 0), view);
    view = -1;
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM) << "status " << status;
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

}  // namespace
}  // namespace zor
