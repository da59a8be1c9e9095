// The preview on the sample demo, headless (offscreen video, Mesa's
// software rasteriser, 640 x 480 x 16): how long from a file changed on disk
// to the new picture presented, with the view's own polling, and what a seek
// to an arbitrary frame costs. Then the preview of a recipe of six models
// from other programs (the corpus's): the rebuild after an edit of the
// recipe, alone and from the save to the new picture.

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <unistd.h>

#include "preview/recipe_direction.h"
#include "preview/scene_stage.h"
#include "preview/scene_view.h"
#include "headless_player.h"
#include "platform/sdl/sdl_gl_host.h"
#include "render/gl_display_layer.h"
#include "wall_clock_system.h"
#include "system/process.h"

namespace zor {
namespace {

using Clock = std::chrono::steady_clock;

// The demo's archive and music in a fresh folder, its scene beside them.
struct DemoView {
    std::filesystem::path dir;
    std::string scene;
    WallClockSystem system;
    std::ostringstream log;
    std::unique_ptr<GlDisplayLayer> layer;
    std::unique_ptr<SceneStage> stage;
    std::unique_ptr<SceneView> view;

    DemoView() {
        ::setenv("SDL_VIDEODRIVER", "offscreen", 0);
        ::setenv("SDL_AUDIODRIVER", "dummy", 0);
        const std::filesystem::path demo = ZOR_DEMO_DIR;
        dir = std::filesystem::temp_directory_path() / ("zor-bench-view-" + std::to_string(zor::processId()));
        std::filesystem::remove_all(dir);
        std::filesystem::create_directories(dir);
        std::filesystem::copy_file(demo / "zor.dat", dir / "zor.dat");
        scene = test::sceneText(demo);
        writeScene(0);
        const GlDisplayOptions hidden{false, false};
        layer = std::make_unique<GlDisplayLayer>(std::make_unique<SdlGlHost>(hidden), hidden);
        StageOptions options;
        options.directory = dir;
        stage = std::make_unique<SceneStage>(*layer, options);
        std::string error;
        if (!stage->start(nullptr, error)) std::abort();
        view = std::make_unique<SceneView>(ViewServices{system, *stage, log}, ViewOptions{600, WatchTiming{}});
        view->begin();
        view->turn();
    }
    ~DemoView() {
        view.reset();
        stage.reset();
        layer.reset();
        std::filesystem::remove_all(dir);
    }

    // The scene with a different comment at its end: a real edit.
    void writeScene(int edit) {
        std::ofstream(dir / "glorp2.lws", std::ios::binary) << scene << "\n; edit " << edit << "\n";
    }
    // Turns of the loop until the reload's picture has been presented.
    void turnUntilReloaded() {
        const std::uint64_t before = view->reloads();
        while (view->reloads() == before) view->turn();
        view->turn();
    }
};

// Scene file rewritten -> new picture: polling, settling, reading the scene
// and its objects (textures unchanged are kept), one pass.
void BM_ReloadAfterSceneEdit(benchmark::State& state) {
    DemoView demo;
    int edit = 0;
    for (auto _ : state) {
        const auto written = Clock::now();
        demo.writeScene(++edit);
        demo.turnUntilReloaded();
        state.SetIterationTime(std::chrono::duration<double>(Clock::now() - written).count());
    }
}
BENCHMARK(BM_ReloadAfterSceneEdit)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(10);

// Archive replaced (as zorpack does) -> new picture: everything in it, the
// textures and the logo included, is read and decoded again.
void BM_ReloadAfterArchiveRewrite(benchmark::State& state) {
    DemoView demo;
    for (auto _ : state) {
        const auto fresh = demo.dir / "zor.dat.new";
        std::filesystem::copy_file(demo.dir / "zor.dat", fresh, std::filesystem::copy_options::overwrite_existing);
        const auto written = Clock::now();
        std::filesystem::rename(fresh, demo.dir / "zor.dat");
        demo.turnUntilReloaded();
        state.SetIterationTime(std::chrono::duration<double>(Clock::now() - written).count());
    }
}
BENCHMARK(BM_ReloadAfterArchiveRewrite)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(10);

// A seek anywhere in the range, shown: one frame pass, whatever the distance.
void BM_SeekAndShow(benchmark::State& state) {
    DemoView demo;
    std::int32_t frame = 0;
    for (auto _ : state) {
        frame = (frame + 797) % 1921;  // strides across the whole range
        demo.view->transport().seek(frame, demo.system.milliseconds());
        demo.stage->drawFrame(demo.view->transport().frame(demo.system.milliseconds()));
        demo.stage->present();
    }
}
BENCHMARK(BM_SeekAndShow)->Unit(benchmark::kMillisecond)->Iterations(50);

// Six models written by other programs, placed apart, before a backdrop.
std::string sixModels(double boxX) {
    const std::string corpus = ZOR_CORPUS_DIR;
    char box[32];
    std::snprintf(box, sizeof box, "%g", boxX);
    return "length = \"12s\"\nbpm = 120\nbackdrop = \"#203040\"\n\n"
           "[camera]\n[[camera.key]]\ntime = \"0s\"\nposition = [0, 3, -20]\nlook_at = [0, 0, 0]\n\n"
           "[[model]]\nfile = \"" + corpus + "/assimp-models/BoxTextured.glb\"\nposition = [" + box +
           ", 0, 0]\nspin = [0, 90, 0]\n\n"
           "[[model]]\nfile = \"" + corpus + "/assimp-models/2CylinderEngine.glb\"\nposition = [4, 0, 0]\nscale = 0.005\n\n"
           "[[model]]\nfile = \"" + corpus + "/assimp-models/spider.obj\"\nposition = [0, 0, 4]\nscale = 0.02\n\n"
           "[[model]]\nfile = \"" + corpus + "/assimp-models/WusonOBJ.obj\"\nposition = [0, 0, -4]\n\n"
           "[[model]]\nfile = \"" + corpus + "/gltf-transform/morph_cube.gltf\"\nposition = [0, 3, 0]\nloop = true\n\n"
           "[[model]]\nfile = \"" + corpus + "/gltf-transform/arm.glb\"\nposition = [0, -3, 0]\nloop = true\n";
}

// zor-view demo.toml on the six models, paused on frame 120, as the program
// sets it up: files watched with the default timing, a file taken once it
// has been still for two polls.
struct RecipeDemoView {
    std::filesystem::path dir;
    WallClockSystem system;
    std::ostringstream log;
    std::unique_ptr<GlDisplayLayer> layer;
    std::unique_ptr<SceneStage> stage;
    std::unique_ptr<RecipeDirection> direction;
    std::unique_ptr<SceneView> view;
    int edit = 0;

    RecipeDemoView() {
        ::setenv("SDL_VIDEODRIVER", "offscreen", 0);
        ::setenv("SDL_AUDIODRIVER", "dummy", 0);
        dir = std::filesystem::temp_directory_path() / ("zor-bench-recipe-" + std::to_string(::getpid()));
        std::filesystem::remove_all(dir);
        std::filesystem::create_directories(dir / "built");
        writeRecipe();
        const GlDisplayOptions hidden{false, false};
        layer = std::make_unique<GlDisplayLayer>(std::make_unique<SdlGlHost>(hidden), hidden);
        StageOptions options;
        options.directory = dir / "built";
        stage = std::make_unique<SceneStage>(*layer, options);
        std::string error;
        if (!stage->start(nullptr, error)) std::abort();
        direction = std::make_unique<RecipeDirection>(RecipeDirectionOptions{dir / "demo.toml", dir / "built", 0, &log});
        if (!direction->build().ok()) std::abort();
        direction->setSettleMilliseconds(2 * WatchTiming{}.pollInterval);
        ViewServices services{system, *stage, log};
        services.direction = direction.get();
        view = std::make_unique<SceneView>(services, ViewOptions{120, WatchTiming{}});
        view->begin();
        view->turn();
    }
    ~RecipeDemoView() {
        view.reset();
        stage.reset();
        direction.reset();
        layer.reset();
        std::filesystem::remove_all(dir);
    }
    // The box moved: every model is converted again (their sources stay read).
    void writeRecipe() {
        std::ofstream(dir / "demo.toml", std::ios::binary) << sixModels(-4 + 0.25 * (edit++ % 2));
    }
};

// The recipe edited -> the folder rebuilt (the sources cached, only the
// files that changed written): RecipeDirection::build alone.
void BM_RebuildAfterRecipeEdit(benchmark::State& state) {
    RecipeDemoView demo;
    demo.direction->setSettleMilliseconds(0);
    for (auto _ : state) {
        state.PauseTiming();
        demo.writeRecipe();
        state.ResumeTiming();
        if (!demo.direction->build().ok()) std::abort();
    }
}
BENCHMARK(BM_RebuildAfterRecipeEdit)->Unit(benchmark::kMillisecond)->Iterations(10);

// The recipe saved -> the new picture presented, by the view's own loop:
// polls, the wait for a file to be still (two polls), the rebuild, the
// load, one pass.
void BM_ReloadAfterRecipeEdit(benchmark::State& state) {
    RecipeDemoView demo;
    for (auto _ : state) {
        const auto written = Clock::now();
        demo.writeRecipe();
        const std::uint64_t builds = demo.direction->builds();
        while (demo.direction->builds() == builds) demo.view->turn();
        demo.view->turn();
        state.SetIterationTime(std::chrono::duration<double>(Clock::now() - written).count());
    }
}
BENCHMARK(BM_ReloadAfterRecipeEdit)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(10);

}  // namespace
}  // namespace zor

BENCHMARK_MAIN();
