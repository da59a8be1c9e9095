#pragma once
// Renderer slot tables that draw nothing: one that records every call with
// its arguments (for tests of the frame pass and of anything drawing through
// the slots) and one that does nothing at all (for benchmarks).

#include <array>
#include <cstdint>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "frame/render_slots.h"

namespace zor {

enum class SlotCall {
    beginFrame,
    endFrame,
    beginScene,
    endScene,
    setTransparentPass,
    drawPolygon,
    loadTexture,
    drawSpotFlare,
    drawPointFlare,
    setDepthBias,
    setWorldTransform,
};

const char* slotCallName(SlotCall call);

struct RecordedCall {
    SlotCall call = SlotCall::beginFrame;
    const SceneObject* object = nullptr;      // drawPolygon
    const MeshPolygon* polygon = nullptr;     // drawPolygon
    std::uint8_t polygonFlags = 0;            // drawPolygon: flags at the moment of the call
    const Viewport* viewport = nullptr;       // drawPolygon, flares
    const Scene* scene = nullptr;             // drawPolygon
    std::uint16_t zero = 0;                   // drawPolygon's last argument
    float particleHalfSize = 0;               // drawPolygon: the size it would read
    std::array<float, 3> firstVertex = {};    // drawPolygon: camera-space position of vertex 0
    const SceneLight* light = nullptr;        // flares
    int value = 0;                            // setTransparentPass, setDepthBias, loadTexture result
    std::array<float, 16> matrix = {};        // setWorldTransform
    std::string text;                         // loadTexture's file name
};

class RecordingSlots : public RenderSlots {
public:
    void beginFrame() override;
    void endFrame() override;
    void beginScene() override;
    void endScene() override;
    void setTransparentPass(std::uint8_t on) override;
    void drawPolygon(SceneObject& object, MeshPolygon& polygon, const Viewport* viewport, Scene& scene,
                     std::uint16_t zero) override;
    // Same name, same index; names listed in failingTextures answer -1.
    int loadTexture(std::string_view fileName) override;
    void drawSpotFlare(SceneLight& light, const Viewport* viewport) override;
    void drawPointFlare(SceneLight& light, const Viewport* viewport) override;
    void setDepthBias(int bias) override;
    void setWorldTransform(const float matrix[16]) override;

    std::vector<RecordedCall> calls;
    std::vector<std::string> textureNames;   // loaded names, by index
    std::set<std::string, std::less<>> failingTextures;

    // Calls of one kind, in order.
    std::vector<RecordedCall> callsOf(SlotCall call) const;
    std::size_t count(SlotCall call) const;
    // One name per call, e.g. "beginScene setTransparentPass(0) drawPolygon ...",
    // for comparing whole sequences in tests.
    std::string sequence() const;
    void clear() { calls.clear(); }

private:
    RecordedCall& record(SlotCall call);
};

class NullSlots : public RenderSlots {
public:
    void beginFrame() override {}
    void endFrame() override {}
    void beginScene() override {}
    void endScene() override {}
    void setTransparentPass(std::uint8_t) override {}
    void drawPolygon(SceneObject&, MeshPolygon&, const Viewport*, Scene&, std::uint16_t) override {}
    int loadTexture(std::string_view) override { return -1; }
    void drawSpotFlare(SceneLight&, const Viewport*) override {}
    void drawPointFlare(SceneLight&, const Viewport*) override {}
    void setDepthBias(int) override {}
    void setWorldTransform(const float[16]) override {}
};

}  // namespace zor
