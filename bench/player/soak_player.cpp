// soak-player: the player's own session with its real SDL parts (window,
// set-up window, OpenGL display, music through SDL audio) on an X server,
// for many passes, the demo looping: when the scene ends, the soak starts
// the scene clock again instead of ending, as if the demo were played again
// in the same process. Prints resident memory over the run and judges its
// trend (memory_watch.h): PASS, exit status 0; 1 on FAIL or when the player
// cannot run.
//
// Without DISPLAY it starts Xvfb itself, and it answers the set-up window
// with Return (its default mode) through xdotool, as a person would.

#include <CLI/CLI.hpp>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <memory>
#include <thread>

#include "app/device_display.h"
#include "app/main_loop.h"
#include "app/player.h"
#include "memory_watch.h"
#include "platform/sdl/sdl_dialog.h"
#include "platform/sdl/sdl_gl_host.h"
#include "platform/device_music.h"
#include "platform/sdl/sdl_sound_device.h"
#include "platform/sdl/sdl_window_system.h"
#include "render/gl_display_layer.h"

namespace {

// Xvfb on the first free display (it writes the number it took into a pipe);
// its pid and display, or -1 when it did not start.
pid_t startXvfb(const std::string& screen, std::string& display) {
    int fds[2];
    if (::pipe(fds) != 0) return -1;
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(fds[0]);
        const std::string fd = std::to_string(fds[1]);
        ::execl("/usr/bin/Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", screen.c_str(), "-nolisten", "tcp",
                static_cast<char*>(nullptr));
        _exit(127);
    }
    ::close(fds[1]);
    std::string number;
    pollfd p{fds[0], POLLIN, 0};
    char c = 0;
    while (pid > 0 && ::poll(&p, 1, 20000) == 1 && ::read(fds[0], &c, 1) == 1 && c != '\n') number += c;
    ::close(fds[0]);
    if (pid > 0 && number.empty()) {
        ::kill(pid, SIGTERM);
        ::waitpid(pid, nullptr, 0);
        return -1;
    }
    display = ":" + number;
    return pid;
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{"Plays the demo with the player's real SDL parts on an X server for many passes, looping, and "
                 "reports resident memory."};
    long long passes = 100000;
    std::string demo = ZOR_DEMO_DIR;
    int settle = 60;
    std::string screen = "640x480x24";
    std::string commandLine;
    app.add_option("--passes", passes, "Passes of the main loop")->capture_default_str()->check(CLI::PositiveNumber);
    app.add_option("--dir", demo, "Folder holding zor.dat")->capture_default_str();
    app.add_option("--settle", settle, "Seconds before the reading the end is held against")
        ->capture_default_str()
        ->check(CLI::PositiveNumber);
    app.add_option("--screen", screen, "Screen of the Xvfb started when DISPLAY is not set")->capture_default_str();
    app.add_option("--command-line", commandLine, "The player's command line (default: none, music through BASS)");
    CLI11_PARSE(app, argc, argv);

    pid_t xvfb = -1;
    if (!std::getenv("DISPLAY") || !*std::getenv("DISPLAY")) {
        std::string display;
        xvfb = startXvfb(screen, display);
        if (xvfb < 0) {
            std::cerr << "soak-player: Xvfb did not start\n";
            return 1;
        }
        ::setenv("DISPLAY", display.c_str(), 1);
    }
    const auto stopXvfb = [&] {
        if (xvfb > 0) {
            ::kill(xvfb, SIGTERM);
            ::waitpid(xvfb, nullptr, 0);
        }
    };
    ::setenv("SDL_VIDEODRIVER", "x11", 1);
    ::setenv("SDL_AUDIODRIVER", "dummy", 0);
    if (::chdir(demo.c_str()) != 0) {
        std::cerr << "soak-player: --dir " << demo << ": cannot enter it\n";
        stopXvfb();
        return 1;
    }

    // A person at the set-up window: Return takes its default mode.
    std::atomic<bool> answered = false;
    std::thread person([&] {
        const std::string find = "DISPLAY=" + std::string(std::getenv("DISPLAY")) +
                                 " timeout 5 xdotool search --onlyvisible --name '^Setup$' >/dev/null 2>&1";
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (std::chrono::steady_clock::now() < deadline && std::system(find.c_str()) != 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        const std::string key = "DISPLAY=" + std::string(std::getenv("DISPLAY")) + " xdotool key Return";
        answered = std::system(key.c_str()) == 0;
    });

    int status = 1;
    {
        zor::SdlWindowSystem system;
        zor::SdlSoundDevice sound;
        zor::DeviceBass bass(sound);
        zor::DeviceGaudio gaudio(sound);
        zor::SdlDialog dialog;
        zor::GlDisplayLayer layer(std::make_unique<zor::SdlGlHost>(zor::GlDisplayOptions{}), {});
        zor::DevicePlayerDisplay display(layer, system, zor::makeSetupWindowFunction(dialog, std::cerr));
        zor::PlayerParts parts{system, &bass, &gaudio, display, std::cerr};
        zor::PlayerSession session(parts);
        const bool started = session.start(commandLine);
        person.join();
        if (!started) {
            std::cerr << "soak-player: the player did not start (status " << session.status() << ")"
                      << (answered ? "" : "; the set-up window was not answered") << "\n";
            stopXvfb();
            return 1;
        }
        zor::soak::MemoryWatch memory("soak-player", "passes", passes, std::chrono::seconds(settle));
        long long done = 0, loops = 0;
        while (done < passes) {
            if (!session.pass()) {
                // The scene's end posts the quit message: start the clock again.
                if (session.loop().sceneIndex() != 1) break;
                session.loop().startClock();
                ++loops;
                continue;
            }
            ++done;
            memory.poll(done);
        }
        std::printf("soak-player: %lld passes, the demo played %lld times to its end, last frame %d\n", done, loops,
                    session.loop().lastFrameDrawn());
        const bool pass = memory.finish(done);
        session.finish();
        status = done == passes && pass ? 0 : 1;
        if (done != passes) std::cerr << "soak-player: the player ended after " << done << " passes\n";
    }
    stopXvfb();
    return status;
}
