// Import of a 100 000-triangle glTF model: a textured sphere (smooth
// normals, texture coordinates no projection gives, so it travels as binary
// meshes and is split at the formats' 65535 polygons) turning with linear
// rotation keys, read, converted and written into a play folder. Peak
// memory is the process's resident peak (getrusage), reported as a counter.
//
//   zor_import_bench                        the benchmark
//   zor_import_bench --model-out FILE.glb   only writes the model, for timing
//                                           the command itself

#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>
#include <stb_image_write.h>

#include "import/convert.h"
#include "writers/play_folder.h"
#include "import/readers.h"
#include "system/process.h"

namespace {

namespace fs = std::filesystem;
constexpr int kRings = 200, kSegments = 250;  // 2 * 200 * 250 = 100 000 triangles

template <class T>
std::size_t append(std::vector<std::uint8_t>& bin, const std::vector<T>& values) {
    while (bin.size() % 4) bin.push_back(0);
    const std::size_t at = bin.size();
    bin.resize(at + values.size() * sizeof(T));
    std::memcpy(bin.data() + at, values.data(), values.size() * sizeof(T));
    return at;
}

void writeModel(const fs::path& path) {
    std::vector<float> positions, normals, uvs;
    for (int r = 0; r <= kRings; ++r)
        for (int s = 0; s <= kSegments; ++s) {
            const double theta = M_PI * r / kRings, phi = 2 * M_PI * s / kSegments;
            const float n[3] = {static_cast<float>(std::sin(theta) * std::cos(phi)), static_cast<float>(std::cos(theta)),
                                static_cast<float>(std::sin(theta) * std::sin(phi))};
            for (float c : n) positions.push_back(c * 2), normals.push_back(c);
            uvs.push_back(static_cast<float>(s) / kSegments);
            uvs.push_back(static_cast<float>(r) / kRings);
        }
    std::vector<std::uint32_t> indices;
    for (int r = 0; r < kRings; ++r)
        for (int s = 0; s < kSegments; ++s) {
            const std::uint32_t a = r * (kSegments + 1) + s, b = a + kSegments + 1;
            indices.insert(indices.end(), {a, a + 1, b, a + 1, b + 1, b});
        }
    std::vector<std::uint8_t> pixels(512 * 512 * 3);
    for (int y = 0; y < 512; ++y)
        for (int x = 0; x < 512; ++x) {
            std::uint8_t* p = &pixels[(y * 512 + x) * 3];
            p[0] = static_cast<std::uint8_t>(x / 2), p[1] = static_cast<std::uint8_t>(y / 2);
            p[2] = ((x / 32 + y / 32) % 2) ? 255 : 60;
        }
    std::vector<std::uint8_t> png;
    stbi_write_png_to_func(
        [](void* context, void* data, int size) {
            auto* out = static_cast<std::vector<std::uint8_t>*>(context);
            out->insert(out->end(), static_cast<std::uint8_t*>(data), static_cast<std::uint8_t*>(data) + size);
        },
        &png, 512, 512, 3, pixels.data(), 512 * 3);
    const std::vector<float> times{0, 2, 4}, turns{0, 0, 0, 1, 0, 1, 0, 0, 0, 0, 0, -1};

    std::vector<std::uint8_t> bin;
    nlohmann::json views = nlohmann::json::array(), accessors = nlohmann::json::array();
    auto view = [&](std::size_t at, std::size_t length) {
        views.push_back({{"buffer", 0}, {"byteOffset", at}, {"byteLength", length}});
        return views.size() - 1;
    };
    auto accessor = [&](std::size_t v, int component, std::size_t count, const char* type) {
        accessors.push_back({{"bufferView", v}, {"componentType", component}, {"count", count}, {"type", type}});
        return accessors.size() - 1;
    };
    const auto pos = accessor(view(append(bin, positions), positions.size() * 4), 5126, positions.size() / 3, "VEC3");
    accessors[pos]["min"] = {-2, -2, -2};
    accessors[pos]["max"] = {2, 2, 2};
    const auto nor = accessor(view(append(bin, normals), normals.size() * 4), 5126, normals.size() / 3, "VEC3");
    const auto uv = accessor(view(append(bin, uvs), uvs.size() * 4), 5126, uvs.size() / 2, "VEC2");
    const auto idx = accessor(view(append(bin, indices), indices.size() * 4), 5125, indices.size(), "SCALAR");
    const auto image = view(append(bin, png), png.size());
    const auto in = accessor(view(append(bin, times), times.size() * 4), 5126, times.size(), "SCALAR");
    const auto out = accessor(view(append(bin, turns), turns.size() * 4), 5126, times.size(), "VEC4");
    while (bin.size() % 4) bin.push_back(0);
    using nlohmann::json;
    json doc;
    doc["asset"]["version"] = "2.0";
    doc["scene"] = 0;
    doc["scenes"] = json::array({json{{"nodes", json::array({0})}}});
    doc["nodes"] = json::array({json{{"name", "Sphere"}, {"mesh", 0}}});
    json primitive;
    primitive["attributes"] = json{{"POSITION", pos}, {"NORMAL", nor}, {"TEXCOORD_0", uv}};
    primitive["indices"] = idx;
    primitive["material"] = 0;
    doc["meshes"] = json::array({json{{"primitives", json::array({primitive})}}});
    json material;
    material["pbrMetallicRoughness"]["baseColorTexture"]["index"] = 0;
    doc["materials"] = json::array({material});
    doc["textures"] = json::array({json{{"source", 0}}});
    doc["images"] = json::array({json{{"bufferView", image}, {"mimeType", "image/png"}, {"name", "bands"}}});
    json animation;
    animation["samplers"] = json::array({json{{"input", in}, {"output", out}}});
    json channel;
    channel["sampler"] = 0;
    channel["target"]["node"] = 0;
    channel["target"]["path"] = "rotation";
    animation["channels"] = json::array({channel});
    doc["animations"] = json::array({animation});
    doc["buffers"] = json::array({json{{"byteLength", bin.size()}}});
    doc["bufferViews"] = views;
    doc["accessors"] = accessors;
    std::string text = doc.dump();
    while (text.size() % 4) text.push_back(' ');
    std::ofstream file(path, std::ios::binary);
    auto u32 = [&](std::uint32_t v) { file.write(reinterpret_cast<const char*>(&v), 4); };
    file.write("glTF", 4);
    u32(2);
    u32(static_cast<std::uint32_t>(12 + 8 + text.size() + 8 + bin.size()));
    u32(static_cast<std::uint32_t>(text.size()));
    file.write("JSON", 4);
    file.write(text.data(), static_cast<std::streamsize>(text.size()));
    u32(static_cast<std::uint32_t>(bin.size()));
    file.write("BIN\0", 4);
    file.write(reinterpret_cast<const char*>(bin.data()), static_cast<std::streamsize>(bin.size()));
}

void BM_Import100kTriangles(benchmark::State& state) {
    const fs::path folder = fs::temp_directory_path() / ("zor-import-bench-" + std::to_string(zor::processId()));
    fs::create_directories(folder);
    const fs::path model = folder / "sphere.glb";
    writeModel(model);
    zor::import::Conversion last;
    for (auto _ : state) {
        const zor::import::SourceModel source = zor::import::readGltf(model);
        last = zor::import::convertModel(source, {});
        zor::write::PlayFolder play;
        play.folder = folder / "play";
        play.pack = false;
        play.replace = zor::Replace::Always;
        play.files = last.files;
        zor::write::writePlayFolder(play);
    }
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    state.counters["triangles"] = last.polygons;
    state.counters["objects"] = last.objects;
    state.counters["peak_MiB"] = usage.ru_maxrss / 1024.0;
    fs::remove_all(folder);
}
BENCHMARK(BM_Import100kTriangles)->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::string(argv[1]) == "--model-out") {
        writeModel(argv[2]);
        return 0;
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
