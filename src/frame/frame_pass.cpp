#include "frame/frame_pass.h"

#include "frame/deform.h"
#include "frame/lights.h"
#include "frame/placement_chain.h"
#include "frame/render_slots.h"
#include "scene/motion.h"
#include "scene/scene.h"

namespace zor {

namespace {

bool isParticle(const MeshPolygon& polygon) { return polygon.vertexCount == 1; }
bool isOpaque(const MeshPolygon& polygon) { return !(polygon.flags & transparent) && !isParticle(polygon); }

// The trail: the object's particles drawn again at earlier frames, each copy
// smaller. Parents are not re-evaluated, so the copies follow the object's own
// motion, bones and morph back in time against its parents' current values.
void drawTrail(SceneObject& object, Scene& scene, float frame, const Viewport& viewport, FrameContext& context,
               RenderSlots& slots) {
    const float savedSize = slots.particleHalfSize;
    const std::size_t index = static_cast<std::size_t>(&object - scene.objects.data());
    bool moved = false;
    for (int sample = 0; sample < kTrailSamples; ++sample) {
        const float g = frame - static_cast<float>(sample) * kTrailStep;
        if (!(g > 0)) continue;
        if (object.hasMorph == 1) evaluateMotion(object.morphAmount, g);
        evaluateMotion(object.motion, g);
        context.objects.forget(index);
        moved = true;
        deformBones(object, g, context);
        if (object.hasMorph == 1) applyMorph(object);
        transformObject(object, scene, context);
        slots.particleHalfSize *= kTrailShrink;
        for (MeshPolygon& polygon : object.polygons)
            if (isParticle(polygon)) slots.drawPolygon(object, polygon, &viewport, scene, 0);
    }
    slots.particleHalfSize = savedSize;
    // The object stays where its last sample left it; whatever hangs below it
    // is placed again from there when next asked for.
    if (moved && context.objects.entries[index].hasChildren) context.objects.invalidate();
}

}  // namespace

bool isVisible(const SceneObject& object) {
    return !(object.hasDissolve == 1 && object.dissolve.value[0] >= kHiddenDissolve);
}

void evaluateSceneMotions(Scene& scene, float frame, FrameContext& context) {
    const FrameOverrides& overrides = context.overrides;
    evaluateMotion(scene.camera.motion, frame);
    if (overrides.camera) updateCamera(context.view, *overrides.camera);
    else updateCamera(context.view, scene.camera.motion);
    for (SceneObject& object : scene.objects) {
        if (object.hasDissolve == 1) evaluateMotion(object.dissolve, frame);
        if (object.hasMorph == 1) evaluateMotion(object.morphAmount, frame);
        evaluateMotion(object.motion, frame);
    }
    if (overrides.movedObject && *overrides.movedObject < scene.objects.size())
        for (int i = 0; i < 3; ++i) scene.objects[*overrides.movedObject].motion.value[i] += overrides.offset[i];
    // From here on each object is placed once, however many hang below it.
    PlacementCache& placements = context.objects;
    placements.begin(scene.objects.data(), scene.objects.size());
    const std::span<const SceneObject> objects(scene.objects);
    for (std::size_t i = 0; i < objects.size(); ++i) placements.entries[i].hasChildren = false;
    for (const SceneObject& object : objects)
        if (const std::size_t parent = indexIn(object.parent, objects); parent < objects.size())
            placements.entries[parent].hasChildren = true;
    for (SceneLight& light : scene.lights) {
        evaluateMotion(light.motion, frame);
        evaluateMotion(light.intensity, frame);
        updateLight(light, scene, context);
    }
}

Evaluation evaluateAt(Scene& scene, float frame) {
    Evaluation evaluation;
    evaluation.frame = frame;
    FrameContext context;
    evaluateSceneMotions(scene, frame, context);
    evaluation.visible.reserve(scene.objects.size());
    for (SceneObject& object : scene.objects) {
        const bool visible = isVisible(object);
        evaluation.visible.push_back(visible);
        if (visible) evaluateObject(object, scene, frame, context);
    }
    evaluation.view = context.view;
    return evaluation;
}

void evaluateObject(SceneObject& object, const Scene& scene, float frame, FrameContext& context) {
    deformBones(object, frame, context);
    if (object.hasMorph == 1) applyMorph(object);
    transformObject(object, scene, context);
}

void drawSceneFrame(Scene& scene, float frame, const Viewport& viewport, FrameContext& context,
                    RenderSlots& slots) {
    evaluateSceneMotions(scene, frame, context);

    slots.beginScene();
    slots.setTransparentPass(0);
    for (SceneObject& object : scene.objects) {
        if (!isVisible(object)) continue;
        evaluateObject(object, scene, frame, context);
        for (MeshPolygon& polygon : object.polygons)
            if (isOpaque(polygon)) slots.drawPolygon(object, polygon, &viewport, scene, 0);
    }

    for (SceneObject& object : scene.objects)
        if (isVisible(object)) drawShadow(object, scene, context.view, slots);

    slots.setTransparentPass(1);
    for (SceneObject& object : scene.objects) {
        if (!isVisible(object) || object.polygons.empty()) continue;
        bool hasParticles = false;
        for (MeshPolygon& polygon : object.polygons) {
            if (isOpaque(polygon)) continue;
            hasParticles = hasParticles || isParticle(polygon);
            slots.drawPolygon(object, polygon, &viewport, scene, 0);
        }
        if (hasParticles) drawTrail(object, scene, frame, viewport, context, slots);
    }
    slots.setTransparentPass(0);
    slots.endScene();

    context.objects.end();

    for (SceneLight& light : scene.lights) {
        if (light.lensFlare == 0) continue;
        if (light.lightType == spotLight) slots.drawSpotFlare(light, &viewport);
        if (light.lightType == pointLight) slots.drawPointFlare(light, &viewport);
    }
}

}  // namespace zor
