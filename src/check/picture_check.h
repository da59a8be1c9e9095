#pragma once
// What the frame pass puts on the screen, counted instead of drawn. Slots
// that stand in for the renderer take every polygon the pass draws, clip
// each triangle of its fan to the near and far planes, project it with the
// player's fixed view, cull it as the renderer does (the front of a polygon
// is the side from which its points run clockwise on the screen; the back
// is culled unless the surface is double-sided) and mark the cells of a
// coarse grid over the screen whose centres it covers, keeping per cell the
// object nearest the camera there as the depth test would (the nearer
// triangle wins; of equals, the first drawn). Only the opaque pass covers:
// additive polygons and particles add to whatever is already there.
// Polygons of double-sided surfaces face the camera from either side.

#include <array>
#include <cstdint>
#include <vector>

#include "frame/render_slots.h"

namespace zor::check {

inline constexpr int kGridColumns = 64;
inline constexpr int kGridRows = 48;

class CoverageSlots final : public RenderSlots {
public:
    // Per object (by position in the scene): fan triangles within the view
    // that face the camera, and those that turn their back to it (culled).
    struct Facing {
        std::uint64_t front = 0;
        std::uint64_t back = 0;
    };

    explicit CoverageSlots(const Scene& scene);

    // Forgets the cells covered and who covers them; the facing counts add
    // up over frames.
    void clearCells();
    // Marks the logo's corner (256 x 256 pixels of a 640 x 480 screen).
    void coverLogo();
    const std::vector<bool>& cells() const { return cells_; }
    const std::vector<Facing>& facing() const { return facing_; }
    // Per cell, the object (by position in the scene) nearest the camera
    // there in this frame, or -1 for none.
    const std::vector<int>& owners() const { return owners_; }
    // Per object, the cells it drew in this frame, nearest there or not.
    const std::vector<std::vector<std::uint16_t>>& drawnCells() const { return drawnCells_; }

    void beginFrame() override {}
    void endFrame() override {}
    void beginScene() override {}
    void endScene() override {}
    void setTransparentPass(std::uint8_t on) override { additive_ = on == 1; }
    void drawPolygon(SceneObject& object, MeshPolygon& polygon, const Viewport* viewport, Scene& scene,
                     std::uint16_t zero) override;
    int loadTexture(std::string_view) override { return -1; }
    void drawSpotFlare(SceneLight&, const Viewport*) override {}
    void drawPointFlare(SceneLight&, const Viewport*) override {}
    void setDepthBias(int) override {}
    // The shadow pass flattens polygons with a world transform; they are not
    // counted (they fall on floors that are drawn anyway).
    void setWorldTransform(const float matrix[16]) override;

private:
    // A triangle in camera space: counted, and its cells marked unless culled.
    void triangle(std::size_t object, bool doubleSided, const std::array<float, 3>& a,
                  const std::array<float, 3>& b, const std::array<float, 3>& c);

    const Scene& scene_;
    std::vector<bool> cells_;
    std::vector<float> depths_;  // per cell, the owner's depth
    std::vector<int> owners_;
    std::vector<std::vector<std::uint16_t>> drawnCells_;
    std::vector<Facing> facing_;
    bool additive_ = false;
    bool transformed_ = false;
};

}  // namespace zor::check
