// Frame numbers follow a clock that does not divide the frame range evenly,
// so the run visits fractional frames, both ends of the range and the wrap,
// as a real play does.

#include "soak.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>

#include "demo_set.h"
#include "frame/camera.h"
#include "frame/frame_pass.h"
#include "frame/recording_slots.h"
#include "object/object.h"
#include "scene/scene_reader.h"

namespace zor::soak {

namespace {

long statusField(const char* field) {
    std::ifstream in("/proc/self/status");
    std::string line;
    const std::size_t n = std::strlen(field);
    while (std::getline(in, line)) {
        if (line.compare(0, n, field) == 0) return std::strtol(line.c_str() + n, nullptr, 10);
    }
    return 0;
}

// Counts polygons and otherwise draws nothing.
class CountingSlots : public NullSlots {
public:
    void drawPolygon(SceneObject&, MeshPolygon&, const Viewport*, Scene&, std::uint16_t) override { ++polygons; }
    std::int64_t polygons = 0;
};

}  // namespace

long residentKiB() { return statusField("VmRSS:"); }
long peakResidentKiB() { return statusField("VmHWM:"); }

void writeDemoArchive(const std::filesystem::path& folder) {
    std::filesystem::create_directories(folder);
    const std::filesystem::path archive = folder / "zor.dat";
    std::filesystem::remove(archive);
    PackFile pack(archive.string());
    for (const demo::DataFile& file : demo::demoDataFiles()) {
        if (!pack.addData(file.bytes, file.name)) throw std::runtime_error(pack.error());
    }
    if (!pack.flush()) throw std::runtime_error(pack.error());
}

SoakResult runSoak(const SoakOptions& options) {
    SoakResult result;
    CountingSlots slots;
    const DataSource source{options.folder, "zor.dat"};
    ObjectLoader objects(source, [&slots](std::string_view name) { return slots.loadTexture(name); },
                         &result.diagnostics);
    SceneLoadContext context{source, [&objects](std::string& name, Mesh& mesh) { objects.loadObject(name, mesh); },
                             &result.diagnostics};
    Scene scene;
    if (!readScene(scene, options.scene, context) || scene.objects.empty()) return result;
    result.loaded = true;
    result.objects = scene.objectCount();
    result.lights = scene.lightCount();

    Viewport viewport;
    setupViewport(viewport, options.width, options.height);
    FrameContext frameContext;
    const float first = static_cast<float>(scene.firstFrame);
    const float span = static_cast<float>(scene.lastFrame - scene.firstFrame) + 1.0f;
    // 60 player frames per second against the scene's rate.
    const double step = (scene.framesPerSecond > 0 ? scene.framesPerSecond : 30.0f) / 60.0 * 1.0137;

    const auto start = std::chrono::steady_clock::now();
    double clock = 0;
    for (std::int64_t i = 0; i < options.frames; ++i) {
        if (i == options.warmUpFrames) result.rssStartKiB = residentKiB();
        const float frame = span > 0 ? first + static_cast<float>(std::fmod(clock, static_cast<double>(span))) : first;
        drawSceneFrame(scene, frame, viewport, frameContext, slots);
        clock += step;
        ++result.framesRun;
    }
    result.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (result.rssStartKiB == 0) result.rssStartKiB = residentKiB();
    result.rssEndKiB = residentKiB();
    result.peakRssKiB = peakResidentKiB();
    result.polygonsDrawn = slots.polygons;
    return result;
}

}  // namespace zor::soak
