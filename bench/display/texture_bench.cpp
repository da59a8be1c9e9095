// Texture loading of a whole demo set: decode, convert, box-filter the mip
// levels and upload, for every image. With ZOR_DEMO_DIR pointing at a folder
// holding the sample demo's zor.dat, its images are used; otherwise a set of
// the same sizes is made up front.

#include <benchmark/benchmark.h>

#include <cstdlib>

#include "display_test_support.h"
#include "platform/sdl/sdl_gl_host.h"
#include "render/gl_display_layer.h"

namespace zor {
namespace {

struct ImageSet {
    std::filesystem::path folder;
    std::vector<std::string> names;
};

ImageSet& imageSet() {
    static test::ScratchDir made("bench-textures");
    static ImageSet set = [] {
        ImageSet s;
        if (const char* demo = std::getenv("ZOR_DEMO_DIR")) {
            s.folder = demo;
            PackFile pack((s.folder / "zor.dat").string());
            for (int i = 0; i < pack.entryCount(); ++i) {
                const std::string name = pack.entry(i).name;
                if (name.ends_with(".jpg") && name != "skane.jpg") s.names.push_back(name);
            }
            return s;
        }
        s.folder = made.path();
        const int sizes[][2] = {{128, 128}, {256, 128}, {256, 128}, {128, 128}, {128, 128}, {128, 128},
                                {128, 128}, {128, 64},  {128, 128}, {256, 256}, {128, 128}};
        int n = 0;
        for (const auto& size : sizes) {
            const std::string name = "image" + std::to_string(n++) + ".jpg";
            test::writeFile(s.folder / name, test::encodeJpeg(size[0], size[1], 3, [](int x, int y) {
                                return std::array<std::uint8_t, 4>{std::uint8_t(x * 3), std::uint8_t(y * 5),
                                                                   std::uint8_t((x ^ y) * 7), 0};
                            }));
            s.names.push_back(name);
        }
        return s;
    }();
    return set;
}

void loadAll(DisplayContext& context, const ImageSet& set, benchmark::State& state) {
    context.textures.clear();
    for (const auto& name : set.names)
        if (loadTextureFile(context, name) < 0) state.SkipWithError(("cannot load " + name).c_str());
}

void BM_LoadDemoTexturesOpenGl(benchmark::State& state) {
    const ImageSet& set = imageSet();
    const GlDisplayOptions options{false, false};
    GlDisplayLayer layer(std::make_unique<SdlGlHost>(options), options);
    DisplayContext context(layer);
    context.source.directory = set.folder;
    context.source.archiveName = "zor.dat";
    if (!initDisplay(context, nullptr, 0x13, [](const std::vector<DisplayAdapter>& adapters, DisplaySelection& s) {
            if (adapters.empty()) return false;
            s.selectedGuid = adapters[0].guid;
            s.selectedMode = makeDisplayMode(640, 480, 16);
            return true;
        })) {
        state.SkipWithError("no OpenGL display");
        return;
    }
    for (auto _ : state) loadAll(context, set, state);
    state.counters["images"] = static_cast<double>(set.names.size());
}
BENCHMARK(BM_LoadDemoTexturesOpenGl)->Unit(benchmark::kMillisecond)->Iterations(10);

void BM_LoadDemoTexturesCpuOnly(benchmark::State& state) {
    const ImageSet& set = imageSet();
    test::RecordedDisplay display;
    display.context.source.directory = set.folder;
    display.context.source.archiveName = "zor.dat";
    for (auto _ : state) {
        loadAll(display.context, set, state);
        display.layer.clearRecord();
    }
}
BENCHMARK(BM_LoadDemoTexturesCpuOnly)->Unit(benchmark::kMillisecond)->Iterations(10);

}  // namespace
}  // namespace zor

BENCHMARK_MAIN();
