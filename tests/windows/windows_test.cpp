// The Windows downloads under Wine, each case on an Xvfb of its own with the
// run's Wine prefix (tests/windows/CMakeLists.txt makes both). The player is
// worked by zor-win-probe.exe from inside Wine: it starts zor.exe, reads the
// Setup window's lists, presses Return and Escape as key messages and
// reports the display's mode; the screen is read back through X.

#include <gtest/gtest.h>
#include <pwd.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <thread>

#include "child_process.h"
#include "png_compare.h"
#include "scratch_dir.h"
#include "still_scene.h"
#include "x_server.h"

namespace zor {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

const fs::path kBuild = ZOR_BINARY_DIR;
const fs::path kWindowsBuild = ZOR_WINDOWS_BUILD_DIR;
const fs::path kRuntime = kWindowsBuild / "runtime";
const fs::path kProbe = kWindowsBuild / "tests/windows/probe/zor-win-probe.exe";
const fs::path kDist = ZOR_WINDOWS_DIST_DIR;
const fs::path kPrefix = ZOR_WINE_PREFIX;
const std::string kVersion = ZOR_VERSION_TEXT;
const std::string kWine = ZOR_WINE_PROGRAM;
const std::string kWineserver = ZOR_WINESERVER_PROGRAM;

std::string readText(const fs::path& path) {
    std::stringstream text;
    text << std::ifstream(path, std::ios::binary).rdbuf();
    std::string s = text.str();
    s.erase(std::remove(s.begin(), s.end(), '\r'), s.end());
    return s;
}

// The Windows programs as the build lists them (windows-programs.txt): the
// kind ("player" or "tool") and the program's file name, the player first.
std::vector<std::pair<std::string, std::string>> windowsPrograms() {
    std::vector<std::pair<std::string, std::string>> programs;
    std::istringstream list(readText(kWindowsBuild / "windows-programs.txt"));
    for (std::string kind, path; list >> kind >> path;) programs.emplace_back(kind, fs::path(path).filename());
    return programs;
}

// Wine's name of a Linux path (its drive Z: is the root).
std::string windowsPath(const fs::path& path) {
    std::string name = "Z:" + path.string();
    std::replace(name.begin(), name.end(), '/', '\\');
    return name;
}

// "name: value" lines, as zor-win-probe reports them (with Windows' line
// ends).
std::multimap<std::string, std::string> reportOf(const std::string& text) {
    std::multimap<std::string, std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        const auto colon = line.find(": ");
        if (colon != std::string::npos) lines.emplace(line.substr(0, colon), line.substr(colon + 2));
    }
    return lines;
}

std::string first(const std::multimap<std::string, std::string>& report, const std::string& name) {
    const auto it = report.find(name);
    return it == report.end() ? std::string("(none)") : it->second;
}

std::vector<std::string> all(const std::multimap<std::string, std::string>& report, const std::string& name) {
    std::vector<std::string> values;
    for (auto [it, end] = report.equal_range(name); it != end; ++it) values.push_back(it->second);
    return values;
}

// An Xvfb and the run's Wine prefix; the prefix's wineserver (and with it
// every Windows program of the case) is ended when the case ends.
class Wine {
public:
    Wine(const fs::path& folder, const std::string& screen) : folder_(folder), x_(folder, screen) {}
    ~Wine() {
        test::ChildProcess end({kWineserver, "-k"}, folder_, "wineserver-end", environment());
        end.wait(30s);
        test::ChildProcess done({kWineserver, "-w"}, folder_, "wineserver-wait", environment());
        done.wait(30s);
    }

    bool ready() const { return !x_.display().empty() && fs::exists(kPrefix / "system.reg"); }
    test::XServer& x() { return x_; }

    // A sound device for Wine: ALSA's null output, which takes the samples
    // and plays them nowhere. Without it there is none.
    std::string nullSoundDevice() const {
        const fs::path config = folder_ / "alsa-null.conf";
        std::ofstream(config) << "</usr/share/alsa/alsa.conf>\npcm.!default { type null }\n";
        return "ALSA_CONFIG_PATH=" + config.string();
    }

    std::vector<std::string> environment(std::vector<std::string> extra = {}) const {
        for (const char* entry : {"WINEDEBUG=-all", "WINEDLLOVERRIDES=mscoree,mshtml=", "LANG=C.UTF-8", "LC_ALL=C.UTF-8"})
            extra.emplace_back(entry);
        extra.push_back("WINEPREFIX=" + kPrefix.string());
        extra.push_back("DISPLAY=" + x_.display());
        return extra;
    }

    // `wine ARGUMENTS` in `folder`, its output in folder/NAME.out and .err.
    std::unique_ptr<test::ChildProcess> start(std::vector<std::string> arguments, const fs::path& folder,
                                              const std::string& name, std::vector<std::string> extra = {}) {
        arguments.insert(arguments.begin(), kWine);
        return std::make_unique<test::ChildProcess>(arguments, folder, name, environment(std::move(extra)));
    }

    // The same, to its end; false when it outlived `limit`.
    bool run(std::vector<std::string> arguments, const fs::path& folder, const std::string& name, int& status,
             std::chrono::seconds limit = 120s) {
        auto child = start(std::move(arguments), folder, name);
        if (!child->wait(limit)) return false;
        status = child->exitedWith(0) ? 0 : WIFEXITED(child->status()) ? WEXITSTATUS(child->status()) : -1;
        return true;
    }

private:
    fs::path folder_;
    test::XServer x_;
};

bool waitForOutput(test::ChildProcess& child, const std::string& wanted, std::chrono::seconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < end) {
        if (child.output().find(wanted) != std::string::npos) return true;
        if (!child.running()) return false;
        std::this_thread::sleep_for(100ms);
    }
    return false;
}

void copyInto(const fs::path& folder, std::initializer_list<fs::path> files) {
    fs::create_directories(folder);
    for (const fs::path& file : files) fs::copy_file(file, folder / file.filename(), fs::copy_options::overwrite_existing);
}

// The subsystem a program's PE header names (2: windows, 3: console); 0 for
// a file that is no PE program.
int peSubsystem(const fs::path& program) {
    std::ifstream in(program, std::ios::binary);
    const auto read = [&](std::streamoff offset, int size) {
        std::uint32_t value = 0;
        in.seekg(offset);
        for (int i = 0; i < size; ++i) value |= static_cast<std::uint32_t>(in.get() & 0xFF) << (8 * i);
        return value;
    };
    const std::uint32_t header = read(0x3C, 4);  // where the "PE\0\0" signature is
    if (read(header, 4) != 0x4550 || !in) return 0;
    // The optional header follows the signature and the 20-byte file header.
    const int subsystem = static_cast<int>(read(header + 4 + 20 + 68, 2));
    return in ? subsystem : 0;
}

#define ZOR_REQUIRE_WINE(wine)                                                                     \
    ASSERT_TRUE(fs::exists(kRuntime / "zor.exe") && fs::exists(kProbe)) << "run win_build first";  \
    ASSERT_TRUE((wine).ready()) << "no Xvfb, or no Wine prefix at " << kPrefix << " (run win_prefix first)"

// The zip unpacks into one folder, and its zor.exe, started there with no
// arguments as a double-click starts it, plays the demo beside it, with its
// music (through waveOut).
TEST(Windows, Demo) {
    test::ScratchDir dir;
    const fs::path zip = kDist / ("zor-" + kVersion + "-win64.zip");
    ASSERT_EQ(std::system(("unzip -q '" + zip.string() + "' -d '" + (dir / "unpacked").string() + "'").c_str()), 0);
    std::vector<std::string> top;
    for (const auto& entry : fs::directory_iterator(dir / "unpacked")) top.push_back(entry.path().filename());
    ASSERT_EQ(top, std::vector<std::string>{"zor-" + kVersion + "-win64"});
    const fs::path folder = dir / "unpacked" / top[0];
    const auto programs = windowsPrograms();
    ASSERT_FALSE(programs.empty()) << "no " << kWindowsBuild / "windows-programs.txt";
    EXPECT_EQ(programs.front(), (std::pair<std::string, std::string>{"player", "zor.exe"}));
    EXPECT_EQ(std::count_if(programs.begin(), programs.end(), [](const auto& p) { return p.first == "player"; }), 1);
    for (const auto& [kind, program] : programs) EXPECT_TRUE(fs::is_regular_file(folder / program)) << program;
    for (const char* file : {"README.txt", "LICENSE.txt", "zor.dat", "mp3.mp3", "water.avi"})
        EXPECT_TRUE(fs::is_regular_file(folder / file)) << file;

    Wine wine(dir.path(), "640x480x24");
    ZOR_REQUIRE_WINE(wine);
    auto drive = wine.start({kProbe.string(), "drive", "--hold", "go", "--", "zor.exe"}, folder, "drive",
                            {wine.nullSoundDevice()});
    ASSERT_TRUE(waitForOutput(*drive, "shown: yes", 120s)) << drive->output() << drive->errors();
    std::this_thread::sleep_for(3s);
    const test::RgbImage screen = wine.x().grab(0, 640, 480);
    std::ofstream(folder / "go").close();
    ASSERT_TRUE(drive->wait(60s)) << drive->output();
    test::writePng(kBuild / "actual-windows-demo.png", screen);
    // The demo's room, not an empty screen: most pixels lit.
    long lit = 0;
    for (std::size_t i = 0; i + 2 < screen.pixels.size(); i += 3)
        lit += screen.pixels[i] + screen.pixels[i + 1] + screen.pixels[i + 2] > 60;
    EXPECT_GT(lit, 640L * 480 / 2) << "the screen is in " << kBuild / "actual-windows-demo.png";
    const auto report = reportOf(drive->output());
    EXPECT_EQ(first(report, "window"), "640x480");
    EXPECT_EQ(first(report, "exit"), "0") << drive->output() << drive->errors();
    EXPECT_EQ(drive->errors().find("no sound device"), std::string::npos) << drive->errors();
}

// The prefix's registry (user.reg and system.reg) once Wine has settled
// (after `wine cmd /c exit`), without Wine's own times and without the
// keys of the sound devices, which Wine registers the first time one is
// opened (Windows has them from its installation).
std::string registryOf(Wine& wine, const fs::path& folder) {
    int status = -1;
    EXPECT_TRUE(wine.run({"cmd", "/c", "exit"}, folder, "settle", status));
    // The wineserver writes the registry out when it ends.
    test::ChildProcess saved({kWineserver, "-w"}, folder, "settle-saved", wine.environment());
    EXPECT_TRUE(saved.wait(60s));
    std::string registry;
    for (const char* file : {"user.reg", "system.reg"}) {
        std::istringstream in(readText(kPrefix / file));
        bool sound = false;
        for (std::string line; std::getline(in, line);) {
            // Wine's own times: a key's, and the display driver's date it
            // writes each time it starts.
            if (line.starts_with("#time=") || line.starts_with("\"DriverDateData\"=")) continue;
            if (line.starts_with("[")) {
                line = line.substr(0, line.rfind(']') + 1);  // "[KEY] SECONDS"
                sound = line.find("\\\\winealsa.drv\\\\") != std::string::npos ||
                        line.find("\\\\MMDevices\\\\Audio\\\\") != std::string::npos;
            }
            if (!sound) registry += line + "\n";
        }
    }
    return registry;
}

// The screen once it is `expected` (at most 3% of its pixels off by more
// than 8 levels), or the last one after a minute.
struct ScreenMatch {
    test::RgbImage screen;
    long different = -1;
    bool matches() const { return different >= 0 && different <= 640L * 480 * 3 / 100; }
};
ScreenMatch waitForPicture(Wine& wine, const test::RgbImage& expected) {
    ScreenMatch match;
    const auto end = std::chrono::steady_clock::now() + 60s;
    do {
        std::this_thread::sleep_for(500ms);
        match.screen = wine.x().grab(0, 640, 480);
        match.different = test::countDifferentPixels(match.screen, expected, 8);
    } while (!match.matches() && std::chrono::steady_clock::now() < end);
    return match;
}
// Fails the case unless `match` matches, leaving the screen in `shown`.
void expectPicture(const ScreenMatch& match, const fs::path& shown) {
    if (match.matches()) return;
    test::writePng(shown, match.screen);
    ADD_FAILURE() << match.different << " pixels differ from zor-render's picture; the screen is in " << shown;
}

// Every file under `folder` with its size and time.
std::string filesUnder(const fs::path& folder) {
    std::string list;
    for (const fs::directory_entry& e : fs::recursive_directory_iterator(folder))
        list += e.path().string() + " " + (e.is_regular_file() ? std::to_string(e.file_size()) : "-") + " " +
                std::to_string(e.last_write_time().time_since_epoch().count()) + "\n";
    return list;
}

// An author's release of an imported model (made long enough that only a
// key ends it), as zor-publish --windows makes it, unpacked into a read-only
// folder: zor.exe plays the model under the
// demo's title, writes nothing there and leaves the registry
// as it was; Escape ends it with status 0, and so does Alt+F4.
TEST(Windows, ReadOnlyRelease) {
    test::ScratchDir dir;
    const test::ShellRun made = test::runShell(
        "python3 '" + std::string(ZOR_IMPORT_SOURCES) + "' src && '" + (kBuild / "tools/zor-import/zor-import").string() +
            "' src/quad.obj --out play -q && sed -i 's/^PreviewLastFrame .*/PreviewLastFrame 30000/' play/glorp2.lws && sox -q -n -r 22050 -c 1 tone.wav synth 0.25 sine 440 && "
            "lame --quiet -b 64 tone.wav play/mp3.mp3 && '" + (kBuild / "tools/zor-publish/zor-publish").string() +
            "' play --windows release.zip --title 'A quad' --author Someone --no-poster -q --windows-runtime '" +
            kRuntime.string() + "' && unzip -q release.zip -d unpacked && chmod -R a-w unpacked",
        dir.path());
    ASSERT_EQ(made.status, 0) << made.out;
    const fs::path folder = dir / "unpacked/A quad";
    ASSERT_TRUE(fs::is_regular_file(folder / "zor.exe"));
    const std::string files = filesUnder(dir / "unpacked");

    // The model as zor-render draws it on Linux, to hold the player's picture to.
    const test::ShellRun rendered =
        test::runShell("cd play && SDL_VIDEODRIVER=offscreen '" + (kBuild / "tools/zor-render/zor-render").string() +
                           "' --size 640x480 --bpp 16 --frame 0 --out ../expected.png",
                       dir.path());
    ASSERT_EQ(rendered.status, 0) << rendered.out;
    test::RgbImage expected;
    ASSERT_TRUE(test::readPng(dir / "expected.png", expected));

    Wine wine(dir.path(), "640x480x24");
    ZOR_REQUIRE_WINE(wine);
    const std::string registry = registryOf(wine, dir.path());
    for (const std::string end : {"escape", "close"}) {
        SCOPED_TRACE(end);
        fs::remove(dir / "go");
        // Started from elsewhere (the probe's logs go there), it plays the
        // demo beside it.
        auto drive = wine.start({kProbe.string(), "drive", "--hold", "go", "--end", end, "--",
                                 windowsPath(folder / "zor.exe")},
                                dir.path(), "drive-" + end, {wine.nullSoundDevice()});
        ASSERT_TRUE(waitForOutput(*drive, "shown: yes", 120s)) << drive->output() << drive->errors();
        // It plays the model: the screen is zor-render's picture (the
        // scene stands still).
        const ScreenMatch shown = waitForPicture(wine, expected);
        std::ofstream(dir / "go").close();
        expectPicture(shown, kBuild / ("actual-windows-release-" + end + ".png"));
        ASSERT_TRUE(drive->wait(60s)) << drive->output();
        const auto report = reportOf(drive->output());
        EXPECT_EQ(first(report, "title"), "A quad");
        EXPECT_EQ(first(report, "exit"), "0") << drive->output() << drive->errors();
    }
    EXPECT_EQ(filesUnder(dir / "unpacked"), files);
    EXPECT_EQ(registryOf(wine, dir.path()), registry);
    test::runShell("chmod -R u+w '" + (dir / "unpacked").string() + "'");
}

// The player's picture of a still scene is zor-render's on Linux (at most 3%
// of the pixels off by more than 8 levels), through an OpenGL ES context
// and through the core 3.3 path, with no mouse pointer over it.
TEST(Windows, Picture) {
    test::ScratchDir dir;
    copyInto(dir.path(), {kBuild / "demo/zor.dat", kRuntime / "zor.exe"});
    std::ofstream(dir / "glorp2.lws", std::ios::binary) << test::kStillScene;
    const std::string render = "cd '" + dir.path().string() + "' && SDL_VIDEODRIVER=offscreen '" +
                               (kBuild / "tools/zor-render/zor-render").string() +
                               "' --size 640x480 --bpp 16 --frame 0 --out expected.png > render.log 2>&1";
    ASSERT_EQ(std::system(render.c_str()), 0) << readText(dir / "render.log");
    test::RgbImage expected;
    ASSERT_TRUE(test::readPng(dir / "expected.png", expected));

    Wine wine(dir.path(), "640x480x24");
    ZOR_REQUIRE_WINE(wine);
    for (const std::string context : {"", "core33"}) {
        SCOPED_TRACE("ZOR_GL_CONTEXT=" + context);
        fs::remove(dir / "go");
        auto drive = wine.start({kProbe.string(), "drive", "--hold", "go", "--", "zor.exe", "-nosound"}, dir.path(),
                                "drive" + context, {"ZOR_GL_CONTEXT=" + context});
        ASSERT_TRUE(waitForOutput(*drive, "shown: yes", 120s)) << drive->output() << drive->errors();
        const ScreenMatch shown = waitForPicture(wine, expected);
        // No pointer over the picture while the demo plays full screen.
        wine.x().xdotool("mousemove 320 240");
        std::this_thread::sleep_for(500ms);
        EXPECT_EQ(wine.x().opaqueCursorPixels(), 0);
        std::ofstream(dir / "go").close();
        expectPicture(shown, kBuild / ("actual-windows-picture" + context + ".png"));
        ASSERT_TRUE(drive->wait(60s)) << drive->output();
        EXPECT_EQ(first(reportOf(drive->output()), "exit"), "0") << drive->output() << drive->errors();
        EXPECT_GT(wine.x().opaqueCursorPixels(), 0) << "the pointer is still hidden after the end";
    }
}

// In a Wine desktop of its own (1024x768, with the usual modes), the Setup
// window lists every size Windows offers in every colour depth, starts on
// Return with 640x480x16; the display takes 640x480 while the demo plays
// (its music through the second music layer) and is 1024x768 again after
// Escape.
TEST(Windows, SetupAndModes) {
    test::ScratchDir dir;
    copyInto(dir.path(), {kBuild / "demo/zor.dat", kBuild / "demo/mp3.mp3", kRuntime / "zor.exe"});
    Wine wine(dir.path(), "1280x1024x24");
    ZOR_REQUIRE_WINE(wine);
    auto drive = wine.start({"explorer", "/desktop=zor-test,1024x768", kProbe.string(), "drive", "--", "zor.exe",
                             "-gaudio"},
                            dir.path(), "drive", {wine.nullSoundDevice()});
    ASSERT_TRUE(drive->wait(180s)) << drive->output();
    const auto report = reportOf(drive->output());
    EXPECT_EQ(first(report, "mode before"), "1024x768");
    EXPECT_EQ(all(report, "adapter").size(), 1u);
    EXPECT_EQ(first(report, "adapter selected"), first(report, "adapter"));
    EXPECT_EQ(first(report, "mode selected"), "640x480x16Bpp");
    const std::vector<std::string> modes = all(report, "mode");
    const std::vector<std::string> offered = all(report, "offered");
    EXPECT_GT(offered.size(), 3u);
    for (const std::string& size : offered) {
        const bool narrow = std::stoi(size) < 512;
        for (const std::string bits : {"x15Bpp", "x16Bpp", "x32Bpp"}) {
            const std::string text = size + bits + (narrow ? " (Not supported)" : "");
            EXPECT_TRUE(std::find(modes.begin(), modes.end(), text) != modes.end()) << text;
        }
        const std::string sharp = size + "x32Bpp" + (narrow ? " (Not supported)" : "") + " 4x multisampled";
        EXPECT_TRUE(std::find(modes.begin(), modes.end(), sharp) != modes.end()) << sharp;
    }
    EXPECT_EQ(first(report, "window"), "640x480");
    EXPECT_EQ(first(report, "mode during"), "640x480");
    EXPECT_EQ(first(report, "exit"), "0") << drive->output() << drive->errors();
    EXPECT_EQ(first(report, "mode after"), "1024x768");
    EXPECT_EQ(drive->errors().find("no sound device"), std::string::npos) << drive->errors();
}

// The Setup window at the display's scale: at 150% (the prefix's LogPixels)
// its client area is at least 1.4 times as wide and as high as at 100%, with
// every control inside it. Escape, and its close box (Alt+F4), leave it with
// the one box the player has for a display that was not set up, and a clean
// end.
TEST(Windows, SetupScalesAndLeavesCleanly) {
    test::ScratchDir dir;
    copyInto(dir.path(), {kBuild / "demo/zor.dat", kRuntime / "zor.exe"});
    Wine wine(dir.path(), "1280x1024x24");
    ZOR_REQUIRE_WINE(wine);
    const auto scale = [&](int dpi) {
        int status = -1;
        return wine.run({"reg", "add", "HKCU\\Control Panel\\Desktop", "/v", "LogPixels", "/t", "REG_DWORD", "/d",
                         std::to_string(dpi), "/f"},
                        dir.path(), "reg", status) &&
               status == 0;
    };
    std::map<int, std::pair<int, int>> client;
    for (const auto& [dpi, how] : {std::pair<int, std::string>{96, "escape"}, {144, "close"}}) {
        SCOPED_TRACE(std::to_string(dpi) + " dpi, " + how);
        ASSERT_TRUE(scale(dpi));
        auto drive = wine.start({kProbe.string(), "drive", "--cancel", how, "--", "zor.exe", "-nosound"}, dir.path(),
                                "drive" + std::to_string(dpi));
        ASSERT_TRUE(drive->wait(180s)) << drive->output();
        const auto report = reportOf(drive->output());
        const std::string size = first(report, "setup client");
        ASSERT_NE(size.find('x'), std::string::npos) << drive->output();
        client[dpi] = {std::stoi(size), std::stoi(size.substr(size.find('x') + 1))};
        if (dpi != 96) {
            EXPECT_EQ(first(report, "setup controls inside"), "yes") << drive->output();
        }
        EXPECT_EQ(all(report, "box"), std::vector<std::string>{"brul: Sket sig :("}) << drive->output();
        EXPECT_EQ(first(report, "exit"), "0") << drive->output() << drive->errors();
    }
    ASSERT_TRUE(scale(96));
    EXPECT_GE(client[144].first, 1.4 * client[96].first);
    EXPECT_GE(client[144].second, 1.4 * client[96].second);
}

// Without zor.dat, a message box says there is nothing to play, and the
// player ends with status 1.
TEST(Windows, NoData) {
    test::ScratchDir dir;
    copyInto(dir.path(), {kRuntime / "zor.exe"});
    Wine wine(dir.path(), "640x480x24");
    ZOR_REQUIRE_WINE(wine);
    auto drive = wine.start({kProbe.string(), "drive", "--box", "ERROR!", "--", "zor.exe"}, dir.path(), "drive");
    ASSERT_TRUE(drive->wait(120s)) << drive->output();
    const auto report = reportOf(drive->output());
    const std::string box = first(report, "box");
    EXPECT_NE(box.find("nothing to play"), std::string::npos) << box;
    EXPECT_NE(box.find("no zor.dat (and no glorp2.lws)"), std::string::npos) << box;
    EXPECT_EQ(first(report, "exit"), "1");
}

std::vector<std::int16_t> readSamples(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::vector<std::int16_t> samples;
    for (std::int16_t s; in.read(reinterpret_cast<char*>(&s), 2);) samples.push_back(s);
    return samples;
}

// Correlation of the left channels of a and b (stereo) over `frames` frames,
// b shifted by `lag` frames.
double correlation(const std::vector<std::int16_t>& a, const std::vector<std::int16_t>& b, long lag, long frames) {
    double ab = 0, aa = 0, bb = 0;
    for (long i = 0; i < frames; ++i) {
        const long j = i + lag;
        if (j < 0 || static_cast<std::size_t>(2 * j) >= b.size() || static_cast<std::size_t>(2 * i) >= a.size())
            continue;
        const double x = a[static_cast<std::size_t>(2 * i)], y = b[static_cast<std::size_t>(2 * j)];
        ab += x * y;
        aa += x * x;
        bb += y * y;
    }
    return aa > 0 && bb > 0 ? ab / std::sqrt(aa * bb) : 0;
}

// Windows' MP3 codec, through the player's decoder, gives the demo's music
// as ffmpeg does on Linux: the first ten seconds correlate at 0.99 or more
// (at the best shift of up to 4096 samples: decoders differ in the delay
// they drop).
TEST(Windows, Mp3) {
    test::ScratchDir dir;
    copyInto(dir.path(), {kBuild / "demo/mp3.mp3"});
    Wine wine(dir.path(), "640x480x24");
    ZOR_REQUIRE_WINE(wine);
    int status = -1;
    ASSERT_TRUE(wine.run({kProbe.string(), "decode", "mp3.mp3", "windows.pcm"}, dir.path(), "decode", status));
    ASSERT_EQ(status, 0) << readText(dir / "decode.err");
    std::istringstream format(readText(dir / "decode.out"));
    int rate = 0, channels = 0;
    format >> rate >> channels;
    ASSERT_EQ(channels, 2);
    const std::string linux = "cd '" + dir.path().string() + "' && ffmpeg -v error -i mp3.mp3 -f s16le -ac 2 -ar " +
                              std::to_string(rate) + " linux.pcm";
    ASSERT_EQ(std::system(linux.c_str()), 0);
    const std::vector<std::int16_t> windows = readSamples(dir / "windows.pcm");
    const std::vector<std::int16_t> reference = readSamples(dir / "linux.pcm");
    const long tenSeconds = 10L * rate;
    ASSERT_GE(windows.size(), static_cast<std::size_t>(2 * tenSeconds));
    ASSERT_GE(reference.size(), static_cast<std::size_t>(2 * tenSeconds));
    // The shift from one second (a second into the music), then all ten.
    long best = 0;
    double bestValue = -2;
    for (long lag = -4096; lag <= 4096; ++lag) {
        const double c = correlation(reference, windows, lag, rate);
        if (c > bestValue) {
            bestValue = c;
            best = lag;
        }
    }
    EXPECT_GE(correlation(reference, windows, best, tenSeconds), 0.99) << "at a shift of " << best << " samples";
}

// zorpack.exe and zor-inspect.exe print what the Linux programs print for
// the demo (line ends aside), with the same status; a path that begins with
// "/" is a path, not an option. zor-publish.exe makes the Windows zip of a
// play folder from the runtime it stands in, as the Linux program makes it
// from that runtime. zor-view.exe is a windows-subsystem program (no console
// window when double-clicked) that still prints to the console it was
// started from. An archive another program holds open, sharing it with no
// one, is refused with a message that says so.
TEST(Windows, Tools) {
    test::ScratchDir dir;
    copyInto(dir.path(), {kBuild / "demo/zor.dat"});
    Wine wine(dir.path(), "640x480x24");
    ZOR_REQUIRE_WINE(wine);
    const std::vector<std::pair<std::string, std::vector<std::string>>> runs = {
        {"zorpack", {"list", "zor.dat"}},
        {"zorpack", {"list", (dir / "zor.dat").string()}},
        {"zorpack", {"verify", "zor.dat"}},
        {"zor-inspect", {"glorp2.lws"}},
        {"zor-inspect", {"--check", "glorp2.lws"}},
        {"zor-inspect", {"--json", "--frame", "250.5", "glorp2.lws"}},
        {"zor-view", {"--version"}},
    };
    int n = 0;
    for (const auto& [program, arguments] : runs) {
        const std::string name = program + "-" + std::to_string(n++);
        std::vector<std::string> linux = {(kBuild / "tools" / program / program).string()};
        linux.insert(linux.end(), arguments.begin(), arguments.end());
        test::ChildProcess native(linux, dir.path(), name + "-linux");
        ASSERT_TRUE(native.wait(60s));
        std::vector<std::string> windows = {(kRuntime / (program + ".exe")).string()};
        windows.insert(windows.end(), arguments.begin(), arguments.end());
        int status = -1;
        ASSERT_TRUE(wine.run(windows, dir.path(), name + "-windows", status));
        EXPECT_TRUE(native.exitedWith(status)) << program << ": " << test::describeEnd(native) << " on Linux, "
                                               << status << " on Windows";
        EXPECT_EQ(readText(dir / (name + "-windows.out")), native.output()) << program;
        EXPECT_FALSE(native.output().empty()) << program;
    }

    copyInto(dir / "play", {kBuild / "demo/zor.dat", kBuild / "demo/mp3.mp3"});
    const std::string epoch = "SOURCE_DATE_EPOCH=1700000000";
    fs::create_directories(dir / "linux");
    fs::create_directories(dir / "windows");
    test::ChildProcess linuxPublish({(kBuild / "tools/zor-publish/zor-publish").string(), "play", "--windows",
                                     "linux/demo.zip", "--windows-runtime", kRuntime.string(), "-q"},
                                    dir.path(), "publish-linux", {epoch});
    ASSERT_TRUE(linuxPublish.wait(120s) && linuxPublish.exitedWith(0)) << linuxPublish.errors();
    auto windowsPublish = wine.start({(kRuntime / "zor-publish.exe").string(), "play", "--windows", "windows/demo.zip",
                                      "-q"},
                                     dir.path(), "publish-windows", {epoch});
    ASSERT_TRUE(windowsPublish->wait(300s));
    EXPECT_TRUE(windowsPublish->exitedWith(0)) << windowsPublish->errors();
    const auto listing = [&](const std::string& folder) {
        return test::runShell("unzip -tq demo.zip && unzip -l demo.zip | tail -n +2", dir / folder).out;
    };
    EXPECT_EQ(listing("windows"), listing("linux"));

    int status = -1;
    EXPECT_EQ(peSubsystem(kRuntime / "zor-view.exe"), 2);
    ASSERT_TRUE(wine.run({"cmd", "/c", windowsPath(kRuntime / "zor-view.exe"), "--version"}, dir.path(),
                         "view-console", status));
    EXPECT_EQ(readText(dir / "view-console.out"), "zor-view " + kVersion + "\n");

    auto holder = wine.start({kProbe.string(), "hold", "zor.dat", "60"}, dir.path(), "hold");
    ASSERT_TRUE(waitForOutput(*holder, "held: zor.dat", 60s)) << holder->errors();
    ASSERT_TRUE(wine.run({(kRuntime / "zorpack.exe").string(), "list", "zor.dat"}, dir.path(), "list-held", status));
    EXPECT_EQ(status, 1);
    EXPECT_NE(readText(dir / "list-held.err").find("another program has it open and lets no one else read it"),
              std::string::npos)
        << readText(dir / "list-held.err");
}

// A folder with non-ASCII letters, and one whose path is longer than 260
// characters: zorpack.exe lists the archive there, and the player plays
// from there (the first as its working folder, the second through --dir).
// There is no sound device: the player plays silently, says so, and needs no
// mp3.mp3 (the first folder has none). Names with a character outside the
// Basic Multilingual Plane (two UTF-16 units): zor-import.exe reads a model,
// its MTL and its texture so named into such a folder, zorpack.exe and
// zor-inspect.exe read what it wrote as the Linux programs do, and the player
// plays it.
TEST(Windows, UnicodeAndLongPaths) {
    test::ScratchDir dir;
    const fs::path accented = dir / "D\xC3\xA9mos" / "\xC3\x89t\xC3\xA9 1999";
    fs::path deep = accented;
    while (deep.string().size() < 300) deep /= "a-folder-whose-name-is-rather-long-\xC3\xA9t\xC3\xA9";
    copyInto(accented, {kBuild / "demo/zor.dat", kRuntime / "zor.exe"});
    copyInto(deep, {kBuild / "demo/zor.dat", kBuild / "demo/mp3.mp3"});
    test::ChildProcess native({(kBuild / "tools/zorpack/zorpack").string(), "list", "zor.dat"}, accented, "linux");
    ASSERT_TRUE(native.wait(60s) && native.exitedWith(0));

    Wine wine(dir.path(), "640x480x24");
    ZOR_REQUIRE_WINE(wine);
    int n = 0;
    for (const fs::path& folder : {accented, deep}) {
        SCOPED_TRACE(folder.string());
        const std::string name = "list-" + std::to_string(n++);
        int status = -1;
        ASSERT_TRUE(wine.run({(kRuntime / "zorpack.exe").string(), "list", windowsPath(folder / "zor.dat")}, dir.path(),
                             name, status));
        EXPECT_EQ(status, 0) << readText(dir / (name + ".err"));
        EXPECT_EQ(readText(dir / (name + ".out")), native.output());
    }
    auto here = wine.start({kProbe.string(), "drive", "--", "zor.exe"}, accented, "drive-here");
    ASSERT_TRUE(here->wait(120s)) << here->output();
    EXPECT_EQ(first(reportOf(here->output()), "exit"), "0") << here->output() << here->errors();
    EXPECT_NE(here->errors().find("zor: no sound device"), std::string::npos) << here->errors();
    auto there = wine.start({kProbe.string(), "drive", "--", windowsPath(accented / "zor.exe"), "--dir",
                             windowsPath(deep), "-nosound"},
                            dir.path(), "drive-there");
    ASSERT_TRUE(there->wait(120s)) << there->output();
    EXPECT_EQ(first(reportOf(there->output()), "exit"), "0") << there->output() << there->errors();

    const std::string smile = "\xF0\x9F\x98\x80", model = "k\xC3\xBC" "be" + smile, folder = smile + " demo";
    const std::string texture = "t\xC3\xABx" + smile + ".png";
    ASSERT_TRUE(test::writePng(dir / texture, {8, 8, std::vector<std::uint8_t>(8 * 8 * 3, 200)}));
    dir.write(model + ".mtl", "newmtl orange\nKd 1 0.5 0\nmap_Kd " + texture + "\n");
    dir.write(model + ".obj", "mtllib " + model + ".mtl\no cube\nv -1 -1 0\nv 1 -1 0\nv 1 1 0\nv -1 1 0\n"
                              "vt 0 0\nvt 1 0\nvt 1 1\nvt 0 1\nusemtl orange\nf 1/1 2/2 3/3 4/4\n");
    int status = -1;
    ASSERT_TRUE(wine.run({(kRuntime / "zor-import.exe").string(), model + ".obj", "--out", folder, "--pack"},
                         dir.path(), "import", status));
    EXPECT_EQ(status, 0) << readText(dir / "import.err");
    EXPECT_EQ(readText(dir / "import.out").find("cannot be read"), std::string::npos) << readText(dir / "import.out");
    for (const std::vector<std::string>& run : {std::vector<std::string>{"zorpack", "list", folder + "/zor.dat"},
                                                 std::vector<std::string>{"zor-inspect", "--dir", folder, "glorp2.lws"}}) {
        std::vector<std::string> linux = run, windows = run;
        linux[0] = (kBuild / "tools" / run[0] / run[0]).string();
        windows[0] = (kRuntime / (run[0] + ".exe")).string();
        test::ChildProcess native(linux, dir.path(), run[0] + "-linux");
        ASSERT_TRUE(native.wait(60s) && native.exitedWith(0)) << native.errors();
        ASSERT_TRUE(wine.run(windows, dir.path(), run[0] + "-windows", status));
        EXPECT_EQ(readText(dir / (run[0] + "-windows.out")), native.output()) << readText(dir / (run[0] + "-windows.err"));
    }
    auto play = wine.start({kProbe.string(), "drive", "--", windowsPath(accented / "zor.exe"), "-nosound", "--dir",
                            folder},
                           dir.path(), "drive-smile");
    ASSERT_TRUE(play->wait(120s)) << play->output();
    EXPECT_EQ(first(reportOf(play->output()), "exit"), "0") << play->output() << play->errors();
}

// The installer installs for the user without asking (/S): the programs and
// the demo, a Start-menu entry and an entry in the installed programs; the
// uninstaller (/S) takes all of it away again.
TEST(Windows, Installer) {
    test::ScratchDir dir;
    Wine wine(dir.path(), "640x480x24");
    ZOR_REQUIRE_WINE(wine);
    const passwd* user = getpwuid(getuid());
    ASSERT_NE(user, nullptr);
    const fs::path home = kPrefix / "drive_c/users" / user->pw_name;
    const fs::path installed = home / "AppData/Local/Programs/zor";
    const fs::path shortcut = home / "AppData/Roaming/Microsoft/Windows/Start Menu/Programs/zor.lnk";
    const std::string key = "HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\zor";

    int status = -1;
    ASSERT_TRUE(wine.run({(kDist / ("zor-" + kVersion + "-setup.exe")).string(), "/S"}, dir.path(), "setup", status));
    EXPECT_EQ(status, 0);
    for (const char* file : {"zor.exe", "zorpack.exe", "zor-render.exe", "zor.dat", "mp3.mp3", "README.txt",
                             "LICENSE.txt", "uninstall.exe"})
        EXPECT_TRUE(fs::is_regular_file(installed / file)) << file;
    EXPECT_TRUE(fs::is_regular_file(shortcut));
    ASSERT_TRUE(wine.run({"reg", "query", key}, dir.path(), "query-installed", status));
    EXPECT_EQ(status, 0);
    EXPECT_NE(readText(dir / "query-installed.out").find("zor " + kVersion), std::string::npos);

    // The uninstaller copies itself elsewhere and returns at once; the copy
    // does the work.
    ASSERT_TRUE(wine.run({windowsPath(installed / "uninstall.exe"), "/S"}, dir.path(), "uninstall", status));
    const auto end = std::chrono::steady_clock::now() + 60s;
    while (fs::exists(installed) && std::chrono::steady_clock::now() < end) std::this_thread::sleep_for(200ms);
    EXPECT_FALSE(fs::exists(installed));
    EXPECT_FALSE(fs::exists(shortcut));
    ASSERT_TRUE(wine.run({"reg", "query", key}, dir.path(), "query-removed", status));
    EXPECT_NE(status, 0);
}

}  // namespace
}  // namespace zor
