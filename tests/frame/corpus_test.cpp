// The frame pass over real scenes of the shared corpus, loaded as the player
// loads them.

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "frame/frame_pass.h"
#include "object/object.h"
#include "scene/scene_reader.h"
#include "support/recording_slots.h"

namespace zor {
namespace {

bool loadCorpusScene(Scene& scene, const std::string& folder, const std::string& file, Diagnostics& diags) {
    DataSource source;
    source.directory = std::string(ZOR_CORPUS_DIR) + "/" + folder;
    source.archiveName = "zor.dat";  // none there: disk only
    ObjectLoader loader(source, [](std::string_view) { return -1; }, &diags);
    SceneLoadContext context;
    context.source = source;
    context.loadObject = [&](std::string& name, Mesh& mesh) { loader.loadObject(name, mesh); };
    context.diagnostics = &diags;
    return readScene(scene, file, context);
}

std::size_t expectedDraws(const Scene& scene) {
    std::size_t n = 0;
    for (const SceneObject& o : scene.objects) {
        if (!isVisible(o)) continue;
        for (const MeshPolygon& p : o.polygons) {
            n += 1;  // opaque pass or transparent pass, once each
            if ((o.shadowOptions & 2) && !(p.flags & transparent) && !scene.lights.empty()) n += 2;
        }
    }
    return n;
}

TEST(FrameCorpus, BallAndConeThroughTheWholeRange) {
    Scene scene;
    Diagnostics diags;
    ASSERT_TRUE(loadCorpusScene(scene, "java3d", "ballcone.lws", diags));
    ASSERT_EQ(scene.objectCount(), 2);
    ASSERT_EQ(scene.objects[0].pointCount, 266);
    Viewport viewport;
    setupViewport(viewport, 0, 0);
    FrameContext context;
    RecordingSlots slots;
    for (int frame = scene.firstFrame; frame <= scene.lastFrame; ++frame) {
        SCOPED_TRACE(frame);
        slots.clear();
        drawSceneFrame(scene, static_cast<float>(frame), viewport, context, slots);
        EXPECT_EQ(slots.count(SlotCall::drawPolygon), expectedDraws(scene));
        for (const SceneObject& o : scene.objects) {
            for (const MeshPoint& p : o.points) {
                ASSERT_TRUE(std::isfinite(p.cameraSpacePosition[0]) && std::isfinite(p.cameraSpacePosition[2]));
                ASSERT_LE(p.lightRed, 255u);
            }
        }
    }
    // The scene's camera looks at its objects: they end up in front of it.
    for (const SceneObject& o : scene.objects) EXPECT_GT(o.points[0].cameraSpacePosition[2], 0);
}

TEST(FrameCorpus, ManyParentedLightsEvaluate) {
    Scene scene;
    Diagnostics diags;
    loadCorpusScene(scene, "aminet", "Raider_Mutterschiff", diags);
    ASSERT_EQ(scene.lightCount(), 61);
    Viewport viewport;
    FrameContext context;
    NullSlots slots;
    drawSceneFrame(scene, 10, viewport, context, slots);
    int parented = 0;
    for (const SceneLight& l : scene.lights) {
        parented += l.parent != nullptr;
        EXPECT_TRUE(std::isfinite(l.viewPosition[0]) && std::isfinite(l.viewPosition[1]) &&
                    std::isfinite(l.viewPosition[2]));
        EXPECT_NEAR(std::hypot(l.viewDirection[0], l.viewDirection[1], l.viewDirection[2]), 1.0, 1e-4);
    }
    EXPECT_GT(parented, 0);
}

}  // namespace
}  // namespace zor
