#include "support/recording_slots.h"

#include <algorithm>
#include <iterator>

#include "scene/scene.h"

namespace zor {

const char* slotCallName(SlotCall call) {
    switch (call) {
        case SlotCall::beginFrame: return "beginFrame";
        case SlotCall::endFrame: return "endFrame";
        case SlotCall::beginScene: return "beginScene";
        case SlotCall::endScene: return "endScene";
        case SlotCall::setTransparentPass: return "setTransparentPass";
        case SlotCall::drawPolygon: return "drawPolygon";
        case SlotCall::loadTexture: return "loadTexture";
        case SlotCall::drawSpotFlare: return "drawSpotFlare";
        case SlotCall::drawPointFlare: return "drawPointFlare";
        case SlotCall::setDepthBias: return "setDepthBias";
        case SlotCall::setWorldTransform: return "setWorldTransform";
    }
    return "?";
}

RecordedCall& RecordingSlots::record(SlotCall call) {
    RecordedCall& entry = calls.emplace_back();
    entry.call = call;
    return entry;
}

void RecordingSlots::beginFrame() { record(SlotCall::beginFrame); }
void RecordingSlots::endFrame() { record(SlotCall::endFrame); }
void RecordingSlots::beginScene() { record(SlotCall::beginScene); }
void RecordingSlots::endScene() { record(SlotCall::endScene); }

void RecordingSlots::setTransparentPass(std::uint8_t on) { record(SlotCall::setTransparentPass).value = on; }

void RecordingSlots::drawPolygon(SceneObject& object, MeshPolygon& polygon, const Viewport* viewport, Scene& scene,
                                 std::uint16_t zero) {
    RecordedCall& entry = record(SlotCall::drawPolygon);
    entry.object = &object;
    entry.polygon = &polygon;
    entry.polygonFlags = polygon.flags;
    entry.viewport = viewport;
    entry.scene = &scene;
    entry.zero = zero;
    entry.particleHalfSize = particleHalfSize;
    if (!polygon.pointIndices.empty() && polygon.pointIndices[0] < object.points.size()) {
        const MeshPoint& point = object.points[polygon.pointIndices[0]];
        std::copy_n(point.cameraSpacePosition, 3, entry.firstVertex.begin());
    }
}

int RecordingSlots::loadTexture(std::string_view fileName) {
    RecordedCall& entry = record(SlotCall::loadTexture);
    entry.text = std::string(fileName);
    if (failingTextures.contains(fileName)) {
        entry.value = -1;
        return -1;
    }
    auto found = std::find(textureNames.begin(), textureNames.end(), fileName);
    if (found == textureNames.end()) found = textureNames.insert(textureNames.end(), std::string(fileName));
    entry.value = static_cast<int>(found - textureNames.begin());
    return entry.value;
}

void RecordingSlots::drawSpotFlare(SceneLight& light, const Viewport* viewport) {
    RecordedCall& entry = record(SlotCall::drawSpotFlare);
    entry.light = &light;
    entry.viewport = viewport;
}

void RecordingSlots::drawPointFlare(SceneLight& light, const Viewport* viewport) {
    RecordedCall& entry = record(SlotCall::drawPointFlare);
    entry.light = &light;
    entry.viewport = viewport;
}

void RecordingSlots::setDepthBias(int bias) { record(SlotCall::setDepthBias).value = bias; }

void RecordingSlots::setWorldTransform(const float matrix[16]) {
    std::copy_n(matrix, 16, record(SlotCall::setWorldTransform).matrix.begin());
}

std::vector<RecordedCall> RecordingSlots::callsOf(SlotCall call) const {
    std::vector<RecordedCall> out;
    std::copy_if(calls.begin(), calls.end(), std::back_inserter(out),
                 [call](const RecordedCall& c) { return c.call == call; });
    return out;
}

std::size_t RecordingSlots::count(SlotCall call) const {
    return static_cast<std::size_t>(
        std::count_if(calls.begin(), calls.end(), [call](const RecordedCall& c) { return c.call == call; }));
}

std::string RecordingSlots::sequence() const {
    std::string out;
    for (const RecordedCall& c : calls) {
        if (!out.empty()) out += ' ';
        out += slotCallName(c.call);
        if (c.call == SlotCall::setTransparentPass || c.call == SlotCall::setDepthBias)
            out += "(" + std::to_string(c.value) + ")";
    }
    return out;
}

}  // namespace zor
