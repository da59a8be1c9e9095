// The player on the sample demo, headless: how long from the set-up choice
// (the set-up window's default, as no window can be shown) to the first
// presented frame, and what one pass of the main
// loop costs in processor time (all threads: decoding music, Mesa's
// rasteriser) and wall time while the demo plays with its music.

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <functional>
#include <iostream>
#include <sstream>
#include <unistd.h>

#include "app/device_display.h"
#include "app/player.h"
#include "frame/render_slots.h"
#include "headless_player.h"
#include "platform/sdl/sdl_dialog.h"
#include "platform/device_music.h"
#include "platform/sdl/sdl_sound_device.h"

namespace zor {
namespace {

using Clock = std::chrono::steady_clock;

double processSeconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + t.tv_nsec * 1e-9;
}

// Forwards every slot and notes when frames are presented.
class TimingSlots final : public RenderSlots {
public:
    RenderSlots* inner = nullptr;
    std::function<void()> onEndFrame;

    void beginFrame() override { inner->beginFrame(); }
    void endFrame() override {
        inner->endFrame();
        if (onEndFrame) onEndFrame();
    }
    void beginScene() override { inner->beginScene(); }
    void endScene() override { inner->endScene(); }
    void setTransparentPass(std::uint8_t on) override { inner->setTransparentPass(on); }
    void drawPolygon(SceneObject& o, MeshPolygon& p, const Viewport* v, Scene& s, std::uint16_t z) override {
        inner->particleHalfSize = particleHalfSize;
        inner->drawPolygon(o, p, v, s, z);
    }
    int loadTexture(std::string_view name) override { return inner->loadTexture(name); }
    void drawSpotFlare(SceneLight& l, const Viewport* v) override { inner->drawSpotFlare(l, v); }
    void drawPointFlare(SceneLight& l, const Viewport* v) override { inner->drawPointFlare(l, v); }
    void setDepthBias(int bias) override { inner->setDepthBias(bias); }
    void setWorldTransform(const float m[16]) override { inner->setWorldTransform(m); }
};

class TimingDisplay final : public PlayerDisplay {
public:
    explicit TimingDisplay(DevicePlayerDisplay& inner) : inner_(inner) {}
    bool initDisplay(void* window) override {
        const bool ok = inner_.initDisplay(window);
        confirmed = Clock::now();
        return ok;
    }
    void loadLogo(std::string_view name) override { inner_.loadLogo(name); }
    RenderSlots* initRenderer(int mode) override {
        slots.inner = inner_.initRenderer(mode);
        return slots.inner ? &slots : nullptr;
    }
    void clearTarget() override { inner_.clearTarget(); }
    void blitLogo() override { inner_.blitLogo(); }
    std::string failure() const override { return inner_.failure(); }

    TimingSlots slots;
    Clock::time_point confirmed;

private:
    DevicePlayerDisplay& inner_;
};

struct RunFigures {
    double startUpSeconds = 0;  // set-up confirmed -> first presented frame
    double cpuPerPass = 0;
    double wallPerPass = 0;
    int passes = 0;
};

// Runs the player in a fresh folder with the demo's files; the scene gets the
// frame range given, and the run is ended by Escape after `passes` passes.
RunFigures runDemo(int first, int last, int passes, const char* commandLine) {
    const std::filesystem::path demo = ZOR_DEMO_DIR;
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("zor-bench-player-" + std::to_string(::getpid()));
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    std::filesystem::copy_file(demo / "zor.dat", dir / "zor.dat");
    std::filesystem::copy_file(demo / "mp3.mp3", dir / "mp3.mp3");
    std::ofstream(dir / "glorp2.lws", std::ios::binary)
        << test::withFrameRange(test::sceneText(demo), first, last);
    const std::filesystem::path old = std::filesystem::current_path();
    std::filesystem::current_path(dir);

    RunFigures figures;
    {
        SDL_InitSubSystem(SDL_INIT_VIDEO);
        SDL_FlushEvents(SDL_FIRSTEVENT, SDL_LASTEVENT);

        test::InjectingWindowSystem system;
        SDL_Event escape{};
        escape.type = SDL_KEYDOWN;
        escape.key.keysym.sym = SDLK_ESCAPE;
        system.injectAtReading(passes + 1, escape);  // reading 1 starts the clock
        SdlSoundDevice sound;
        DeviceBass bass(sound);
        DeviceGaudio gaudio(sound);
        SdlDialog dialog;
        test::OffscreenModesLayer layer;
        std::ostringstream notes;  // no screen: the set-up window's default is taken
        DevicePlayerDisplay device(layer, system, makeSetupWindowFunction(dialog, notes));
        TimingDisplay display(device);
        int presented = 0;
        Clock::time_point firstFrame, lastFrame;
        double cpuAtFirst = 0, cpuAtLast = 0;
        display.slots.onEndFrame = [&] {
            ++presented;
            // Two black frames at start-up, then the passes.
            if (presented == 3) {
                firstFrame = Clock::now();
                cpuAtFirst = processSeconds();
            }
            lastFrame = Clock::now();
            cpuAtLast = processSeconds();
        };
        std::ostringstream errors;
        PlayerParts parts{system, &bass, &gaudio, display, errors};
        if (runPlayer(parts, commandLine) != 0) std::cerr << errors.str();
        figures.startUpSeconds = std::chrono::duration<double>(firstFrame - display.confirmed).count();
        figures.passes = presented - 3;
        if (figures.passes > 0) {
            figures.cpuPerPass = (cpuAtLast - cpuAtFirst) / figures.passes;
            figures.wallPerPass = std::chrono::duration<double>(lastFrame - firstFrame).count() / figures.passes;
        }
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
    }
    std::filesystem::current_path(old);
    std::filesystem::remove_all(dir);
    return figures;
}

void headless() {
    ::setenv("SDL_VIDEODRIVER", "offscreen", 0);
    ::setenv("SDL_AUDIODRIVER", "dummy", 0);
}

// Launch (set-up confirmed) to the first frame of the scene on the screen.
void BM_StartUpToFirstFrame(benchmark::State& state) {
    headless();
    for (auto _ : state) {
        const RunFigures f = runDemo(0, 100000, 1, "");
        state.SetIterationTime(f.startUpSeconds);
    }
}
BENCHMARK(BM_StartUpToFirstFrame)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);

// Passes of the main loop through the demo's opening seconds with its music.
void BM_PlayingPass(benchmark::State& state) {
    headless();
    const int passes = static_cast<int>(state.range(0));
    double cpu = 0, wall = 0;
    for (auto _ : state) {
        const RunFigures f = runDemo(0, 100000, passes, "");
        state.SetIterationTime(f.wallPerPass);
        cpu = f.cpuPerPass;
        wall = f.wallPerPass;
    }
    state.counters["cpu_ms_per_pass"] = cpu * 1000.0;
    state.counters["wall_ms_per_pass"] = wall * 1000.0;
    state.counters["passes_per_s"] = wall > 0 ? 1.0 / wall : 0;
}
BENCHMARK(BM_PlayingPass)->Arg(150)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace
}  // namespace zor

BENCHMARK_MAIN();
