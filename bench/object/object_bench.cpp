// Object reading throughput on a large generated object: a grid of about
// 60 000 points and 60 000 polygons (quads and triangles) over three surfaces,
// one of them texture-mapped so that projections are part of the work.

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <string>

#include "object/object.h"
#include "scratch_dir.h"
#include "writers/lwob_writer.h"

namespace {

using zor::Bytes;

// side x side points; (side - 1)^2 cells, each a quad except every 32nd,
// which is split into two triangles.
Bytes gridObject(int side) {
    zor::write::LwObject grid;
    for (int z = 0; z < side; ++z)
        for (int x = 0; x < side; ++x)
            grid.points.push_back(
                {static_cast<float>(x), static_cast<float>((x * 7 + z * 3) % 5) * 0.1f, static_cast<float>(z)});
    for (int z = 0; z + 1 < side; ++z)
        for (int x = 0; x + 1 < side; ++x) {
            const auto at = [&](int dx, int dz) { return static_cast<std::uint16_t>((z + dz) * side + x + dx); };
            const std::uint16_t surface = static_cast<std::uint16_t>(1 + (x + z) % 3);
            if ((x + z) % 32 == 0) {
                grid.polygons.push_back({{at(0, 0), at(1, 0), at(1, 1)}, surface});
                grid.polygons.push_back({{at(0, 0), at(1, 1), at(0, 1)}, surface});
            } else {
                grid.polygons.push_back({{at(0, 0), at(1, 0), at(1, 1), at(0, 1)}, surface});
            }
        }
    const auto surface = [](const char* name, std::array<std::uint8_t, 3> color, std::uint16_t flags) {
        zor::write::LwSurface s;
        s.name = name;
        s.color = color;
        s.flags = flags;
        return s;
    };
    zor::write::LwSurface grass = surface("Grass", {40, 200, 40}, zor::write::lwSmoothing);
    zor::write::LwSurface stone = surface("Stone", {128, 128, 128}, zor::write::lwSmoothing);
    stone.texture = zor::write::LwTextureMap{};
    stone.texture->mapping = "Planar Image Map";
    stone.texture->image = "C:\\textures\\stone.jpg";
    stone.texture->size = {16, 16, 16};
    zor::write::LwSurface water = surface("Water", {20, 40, 200}, zor::write::lwDoubleSided);
    water.transparency = 0.75f;
    grid.surfaces = {grass, stone, water};
    return zor::write::writeLwob(grid);
}

// 245 x 245 = 60 025 points; 59 536 cells, about 61 400 polygons.
constexpr int kSide = 245;

void BM_ParseObject(benchmark::State& state) {
    const Bytes file = gridObject(kSide);
    zor::Diagnostics diags;
    zor::ObjectLoader loader({}, [](std::string_view) { return 1; }, &diags);
    zor::Mesh mesh;
    for (auto _ : state) {
        if (state.range(0) == 0) {
            // A real scene never frees a mesh: each load starts on a heap that
            // is not full of the previous mesh's freed pieces.
            state.PauseTiming();
            mesh = zor::Mesh{};
            std::free(std::malloc(1 << 20));  // lets the allocator tidy up now
            state.ResumeTiming();
        }
        if (!loader.parseObject("grid.lwo", file, mesh)) state.SkipWithError("grid object refused");
        benchmark::DoNotOptimize(mesh.polygons.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(file.size()));
    state.counters["points"] = mesh.pointCount;
    state.counters["polygons"] = mesh.polygonCount;
    state.counters["fileBytes"] = static_cast<double>(file.size());
}
// Argument 0: the previous mesh is freed outside the timing; 1: inside it.
BENCHMARK(BM_ParseObject)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// The same object read through loadObject from a file on disk, on a tidy heap.
void BM_LoadObjectFromDisk(benchmark::State& state) {
    const Bytes file = gridObject(kSide);
    const zor::test::ScratchDir dir("object-bench");
    dir.write("grid.lwo", file);
    zor::DataSource source;
    source.directory = dir.path();
    source.archiveName = "none.dat";
    zor::ObjectLoader loader(source, [](std::string_view) { return 1; }, nullptr);
    zor::Mesh mesh;
    for (auto _ : state) {
        state.PauseTiming();
        mesh = zor::Mesh{};
        std::free(std::malloc(1 << 20));
        state.ResumeTiming();
        std::string name = "grid.lwo";
        loader.loadObject(name, mesh);
        if (mesh.polygonCount == 0) state.SkipWithError("grid object not loaded");
        benchmark::DoNotOptimize(mesh.polygons.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(file.size()));
}
BENCHMARK(BM_LoadObjectFromDisk)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
