// The importer's conversion on hostile source records: nodes with parents
// anywhere (cycles included), primitives with indices past their vertices,
// non-finite coordinates, images whose pixels do not fit their size,
// animations with falling times and values of the wrong count, morph
// targets and skin weights of any length, skins naming any node. The
// conversion must finish or refuse with ImportError, and whatever it writes
// must be files the player's formats hold.

#include <cstddef>
#include <cstdint>

#include <fuzzer/FuzzedDataProvider.h>

#include "import/convert.h"
#include "import/readers.h"
#include "scene/scene.h"
#include "scene/scene_reader.h"

namespace {

using namespace zor::import;

float anyFloat(FuzzedDataProvider& in) {
    switch (in.ConsumeIntegralInRange<int>(0, 7)) {
    case 0: return std::numeric_limits<float>::quiet_NaN();
    case 1: return std::numeric_limits<float>::infinity();
    case 2: return in.ConsumeFloatingPoint<float>();
    default: return in.ConsumeFloatingPointInRange<float>(-10.0f, 10.0f);
    }
}

template <std::size_t N>
std::array<float, N> anyArray(FuzzedDataProvider& in) {
    std::array<float, N> a{};
    for (float& v : a) v = anyFloat(in);
    return a;
}

SourceModel buildModel(FuzzedDataProvider& in) {
    SourceModel m;
    m.fileName = "fuzz.gltf";
    const int images = in.ConsumeIntegralInRange(0, 2);
    for (int i = 0; i < images; ++i) {
        SourceImage image;
        image.name = in.ConsumeRandomLengthString(40);
        image.width = in.ConsumeIntegralInRange(-2, 40);
        image.height = in.ConsumeIntegralInRange(-2, 40);
        image.rgba = in.ConsumeBytes<std::uint8_t>(in.ConsumeIntegralInRange(0, 40 * 40 * 4));
        image.hasAlpha = in.ConsumeBool();
        m.images.push_back(std::move(image));
    }
    const int materials = in.ConsumeIntegralInRange(0, 3);
    for (int i = 0; i < materials; ++i) {
        SourceMaterial mat;
        mat.name = in.ConsumeRandomLengthString(80);
        mat.baseColor = anyArray<4>(in);
        mat.baseColorImage = in.ConsumeIntegralInRange(-2, 3);
        mat.alpha = static_cast<AlphaMode>(in.ConsumeIntegralInRange(0, 2));
        mat.doubleSided = in.ConsumeBool();
        m.materials.push_back(mat);
    }
    const int meshes = in.ConsumeIntegralInRange(0, 3);
    for (int i = 0; i < meshes; ++i) {
        SourceMesh mesh;
        mesh.name = in.ConsumeRandomLengthString(40);
        const int primitives = in.ConsumeIntegralInRange(0, 3);
        for (int k = 0; k < primitives; ++k) {
            SourcePrimitive p;
            p.mode = static_cast<PrimitiveMode>(in.ConsumeIntegralInRange(0, 3));
            p.material = in.ConsumeIntegralInRange(-2, 4);
            const int vertices = in.ConsumeIntegralInRange(0, 64);
            for (int v = 0; v < vertices; ++v) p.positions.push_back(anyArray<3>(in));
            const int normals = in.ConsumeBool() ? vertices : in.ConsumeIntegralInRange(0, 8);
            for (int v = 0; v < normals; ++v) p.normals.push_back(anyArray<3>(in));
            const int uvs = in.ConsumeBool() ? vertices : in.ConsumeIntegralInRange(0, 8);
            for (int v = 0; v < uvs; ++v) p.uvs.push_back(anyArray<2>(in));
            const int indices = in.ConsumeIntegralInRange(0, 300);
            for (int v = 0; v < indices; ++v) p.indices.push_back(in.ConsumeIntegralInRange<std::uint32_t>(0, vertices + 2));
            const int sizes = in.ConsumeIntegralInRange(0, 20);
            for (int v = 0; v < sizes; ++v) p.polygonSizes.push_back(in.ConsumeIntegralInRange<std::uint32_t>(0, 300));
            const int targets = in.ConsumeIntegralInRange(0, 2);
            for (int t = 0; t < targets; ++t) {
                const int offsets = in.ConsumeBool() ? vertices : in.ConsumeIntegralInRange(0, 8);
                std::vector<Vec3>& target = p.targets.emplace_back();
                for (int v = 0; v < offsets; ++v) target.push_back(anyArray<3>(in));
            }
            if (in.ConsumeBool()) {
                p.influences = in.ConsumeIntegralInRange(0, 8);
                const int count = in.ConsumeBool() ? vertices * p.influences : in.ConsumeIntegralInRange(0, 16);
                for (int v = 0; v < count; ++v) {
                    p.joints.push_back(in.ConsumeIntegralInRange<std::uint32_t>(0, 5));
                    p.weights.push_back(anyFloat(in));
                }
            }
            mesh.primitives.push_back(std::move(p));
        }
        const int weights = in.ConsumeIntegralInRange(0, 2);
        for (int w = 0; w < weights; ++w) mesh.weights.push_back(anyFloat(in));
        m.meshes.push_back(std::move(mesh));
    }
    const int cameras = in.ConsumeIntegralInRange(0, 2);
    for (int i = 0; i < cameras; ++i) m.cameras.push_back({"", in.ConsumeBool(), anyFloat(in), anyFloat(in)});
    const int lights = in.ConsumeIntegralInRange(0, 2);
    for (int i = 0; i < lights; ++i) {
        SourceLight l;
        l.kind = static_cast<LightKind>(in.ConsumeIntegralInRange(0, 2));
        l.color = anyArray<3>(in);
        l.intensity = anyFloat(in);
        m.lights.push_back(l);
    }
    const int nodes = in.ConsumeIntegralInRange(0, 8);
    const int skins = in.ConsumeIntegralInRange(0, 2);
    for (int i = 0; i < skins; ++i) {
        SourceSkin skin;
        const int joints = in.ConsumeIntegralInRange(0, 4);
        for (int j = 0; j < joints; ++j) skin.joints.push_back(in.ConsumeIntegralInRange(-1, nodes));
        const int matrices = in.ConsumeBool() ? joints : in.ConsumeIntegralInRange(0, 4);
        for (int j = 0; j < matrices; ++j) skin.inverseBind.push_back(anyArray<16>(in));
        m.skins.push_back(std::move(skin));
    }
    for (int i = 0; i < nodes; ++i) {
        SourceNode n;
        n.name = in.ConsumeRandomLengthString(40);
        n.parent = in.ConsumeIntegralInRange(-1, nodes);
        n.mesh = in.ConsumeIntegralInRange(-1, meshes);
        n.camera = in.ConsumeIntegralInRange(-1, cameras);
        n.light = in.ConsumeIntegralInRange(-1, lights);
        n.skin = in.ConsumeIntegralInRange(-1, skins);
        const int weights = in.ConsumeIntegralInRange(0, 2);
        for (int w = 0; w < weights; ++w) n.weights.push_back(anyFloat(in));
        n.rest.translation = anyArray<3>(in);
        n.rest.rotation = anyArray<4>(in);
        n.rest.scale = anyArray<3>(in);
        m.nodes.push_back(std::move(n));
    }
    const int channels = in.ConsumeIntegralInRange(0, 4);
    for (int i = 0; i < channels; ++i) {
        SourceChannel c;
        c.node = in.ConsumeIntegralInRange(-1, nodes);
        c.path = static_cast<AnimatedPath>(in.ConsumeIntegralInRange(0, 3));
        c.width = in.ConsumeIntegralInRange(-1, 3);
        c.interpolation = static_cast<Interpolation>(in.ConsumeIntegralInRange(0, 2));
        const int times = in.ConsumeIntegralInRange(0, 6);
        for (int t = 0; t < times; ++t) c.times.push_back(in.ConsumeFloatingPointInRange<float>(-1.0f, 4.0f));
        const int values = in.ConsumeIntegralInRange(0, 80);
        for (int v = 0; v < values; ++v) c.values.push_back(anyFloat(in));
        m.channels.push_back(std::move(c));
    }
    return m;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    ConvertOptions options;
    options.scale = in.ConsumeBool() ? 1.0f : in.ConsumeFloatingPoint<float>();
    const SourceModel model = buildModel(in);
    Conversion conversion;
    try {
        conversion = convertModel(model, options);
    } catch (const ImportError&) {
        return 0;
    }
    if (conversion.files.empty() || conversion.files.front().name != options.sceneName) __builtin_trap();
    for (const OutputFile& f : conversion.files)
        if (f.name.empty() || f.name.size() > 31 || f.name.find_first_of("/\\ ") != std::string::npos) __builtin_trap();
    // The scene reads back with every object it names.
    zor::Scene scene;
    const std::string text(conversion.files.front().bytes.begin(), conversion.files.front().bytes.end());
    zor::parseScene(scene, text, "fuzz.lws", {}, nullptr);
    if (scene.objects.size() != static_cast<std::size_t>(conversion.objects + conversion.nullObjects)) __builtin_trap();
    return 0;
}
