// Object reading throughput on a large generated object: a grid of about
// 60 000 points and 60 000 polygons (quads and triangles) over three surfaces,
// one of them texture-mapped so that projections are part of the work.

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

#include "object/object.h"

namespace {

using zor::Bytes;

class BigEndian {
public:
    void u16(std::uint16_t v) { put(v, 2); }
    void i32(std::int32_t v) { put(static_cast<std::uint32_t>(v), 4); }
    void f32(float v) {
        std::uint32_t bits;
        std::memcpy(&bits, &v, 4);
        put(bits, 4);
    }
    void text(std::string_view s) {
        bytes.insert(bytes.end(), s.begin(), s.end());
        bytes.push_back(0);
        if (s.size() % 2 == 0) bytes.push_back(0);
    }
    void id(std::string_view s) { bytes.insert(bytes.end(), s.begin(), s.end()); }
    void raw(const Bytes& b) { bytes.insert(bytes.end(), b.begin(), b.end()); }
    void chunk(std::string_view name, const Bytes& data) {
        id(name);
        i32(static_cast<std::int32_t>(data.size()));
        raw(data);
    }
    Bytes bytes;

private:
    void put(std::uint32_t v, int size) {
        for (int i = size - 1; i >= 0; --i) bytes.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
    }
};

Bytes subChunk(std::string_view id, const Bytes& data) {
    BigEndian w;
    w.id(id);
    w.u16(static_cast<std::uint16_t>(data.size()));
    w.raw(data);
    return w.bytes;
}

// side x side points; (side - 1)^2 cells, each a quad except every 32nd,
// which is split into two triangles.
Bytes gridObject(int side) {
    BigEndian points;
    for (int z = 0; z < side; ++z)
        for (int x = 0; x < side; ++x) {
            points.f32(static_cast<float>(x));
            points.f32(static_cast<float>((x * 7 + z * 3) % 5) * 0.1f);
            points.f32(static_cast<float>(z));
        }
    BigEndian polygons;
    int polygonCount = 0;
    for (int z = 0; z + 1 < side; ++z)
        for (int x = 0; x + 1 < side; ++x) {
            const auto at = [&](int dx, int dz) { return static_cast<std::uint16_t>((z + dz) * side + x + dx); };
            const std::uint16_t surface = static_cast<std::uint16_t>(1 + (x + z) % 3);
            if ((x + z) % 32 == 0) {
                for (const auto& tri : {std::array{at(0, 0), at(1, 0), at(1, 1)}, std::array{at(0, 0), at(1, 1), at(0, 1)}}) {
                    polygons.u16(3);
                    for (std::uint16_t i : tri) polygons.u16(i);
                    polygons.u16(surface);
                    ++polygonCount;
                }
            } else {
                polygons.u16(4);
                for (std::uint16_t i : {at(0, 0), at(1, 0), at(1, 1), at(0, 1)}) polygons.u16(i);
                polygons.u16(surface);
                ++polygonCount;
            }
        }
    BigEndian names;
    names.text("Grass");
    names.text("Stone");
    names.text("Water");

    BigEndian grass;
    grass.text("Grass");
    grass.raw(subChunk("COLR", {40, 200, 40, 0}));
    grass.raw(subChunk("FLAG", {0, 4}));
    BigEndian stoneText;
    stoneText.text("Planar Image Map");
    BigEndian stoneImage;
    stoneImage.text("C:\\textures\\stone.jpg");
    BigEndian stoneSize;
    stoneSize.f32(16);
    stoneSize.f32(16);
    stoneSize.f32(16);
    BigEndian stone;
    stone.text("Stone");
    stone.raw(subChunk("COLR", {128, 128, 128, 0}));
    stone.raw(subChunk("FLAG", {0, 4}));
    stone.raw(subChunk("CTEX", stoneText.bytes));
    stone.raw(subChunk("TIMG", stoneImage.bytes));
    stone.raw(subChunk("TFLG", {0, 2}));
    stone.raw(subChunk("TSIZ", stoneSize.bytes));
    BigEndian water;
    water.text("Water");
    water.raw(subChunk("COLR", {20, 40, 200, 0}));
    water.raw(subChunk("FLAG", {1, 0}));
    water.raw(subChunk("VTRN", {0x3F, 0x40, 0, 0}));  // 0.75

    BigEndian body;
    body.id("LWOB");
    body.chunk("SRFS", names.bytes);
    body.chunk("PNTS", points.bytes);
    body.chunk("POLS", polygons.bytes);
    body.chunk("SURF", grass.bytes);
    body.chunk("SURF", stone.bytes);
    body.chunk("SURF", water.bytes);
    BigEndian file;
    file.id("FORM");
    file.i32(static_cast<std::int32_t>(body.bytes.size()));
    file.raw(body.bytes);
    return file.bytes;
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
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("zor-object-bench-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    {
        std::ofstream out(dir / "grid.lwo", std::ios::binary);
        out.write(reinterpret_cast<const char*>(file.data()), static_cast<std::streamsize>(file.size()));
    }
    zor::DataSource source;
    source.directory = dir;
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
    std::filesystem::remove_all(dir);
}
BENCHMARK(BM_LoadObjectFromDisk)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
