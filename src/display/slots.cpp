// The production renderer slot table: every entry is a few display-layer
// calls on the one device. Vertices are built in one fixed array, one draw per
// polygon (two with a reflection pass); nothing allocates per frame.

#include <algorithm>
#include <array>

#include "display/display.h"
#include "frame/render_slots.h"
#include "scene/scene.h"

namespace zor {

namespace {

constexpr std::uint32_t kAlpha = 0x10000000;
constexpr std::uint32_t kParticleColor = 0x008F8F8F;
constexpr std::uint32_t kDoubleSidedColor = 0x10101010;
constexpr std::uint32_t kBackFaceColor = kAlpha + 0x00FF00FF;  // magenta

std::uint32_t capped(std::uint32_t value) { return std::min<std::uint32_t>(value, 255); }

class DisplaySlots final : public RenderSlots {
public:
    explicit DisplaySlots(DisplayContext& context) : context_(context), layer_(context.layer) {}

    void beginFrame() override { layer_.clear(device(), D3DCLEAR_ZBUFFER, 0, 1.0f, 0); }
    void endFrame() override { layer_.flip(context_.state.primary, DDFLIP_WAIT); }
    void beginScene() override { layer_.beginScene(device()); }
    void endScene() override { layer_.endScene(device()); }

    void setTransparentPass(std::uint8_t on) override {
        const bool additive = on == 1;
        layer_.setRenderState(device(), RenderState::SRCBLEND, D3DBLEND_ONE);
        layer_.setRenderState(device(), RenderState::DESTBLEND, additive ? D3DBLEND_ONE : D3DBLEND_ZERO);
        layer_.setRenderState(device(), RenderState::ALPHABLENDENABLE, additive ? 1 : 0);
        layer_.setRenderState(device(), RenderState::ZWRITEENABLE, additive ? 0 : 1);
    }

    void drawPolygon(SceneObject& object, MeshPolygon& polygon, const Viewport*, Scene&, std::uint16_t) override;
    // The polygon's culled side in magenta (showBackFaces).
    void drawBackFace(std::uint32_t count, PrimitiveType type);

    int loadTexture(std::string_view fileName) override { return loadTextureFile(context_, fileName); }
    void drawSpotFlare(SceneLight&, const Viewport*) override {}
    void drawPointFlare(SceneLight&, const Viewport*) override {}

    void setDepthBias(int bias) override {
        layer_.setRenderState(device(), RenderState::ZBIAS, static_cast<std::uint32_t>(bias));
    }
    void setWorldTransform(const float matrix[16]) override {
        Matrix m;
        std::copy(matrix, matrix + 16, m.begin());
        layer_.setTransform(device(), TransformState::WORLD, m);
    }

private:
    DeviceId device() const { return context_.state.device; }
    // The surface of a texture index; none for an index outside the table.
    SurfaceId textureSurface(std::uint16_t index) const {
        return index < context_.textures.size() ? context_.textures[index].surface : SurfaceId::none;
    }
    void draw(PrimitiveType type, std::uint32_t count, std::uint32_t flags = D3DDP_DONOTLIGHT) {
        layer_.drawPrimitive(device(), type, D3DFVF_LVERTEX, vertices_.data(), count, flags);
    }
    void shade(std::uint32_t mode) { layer_.setRenderState(device(), RenderState::SHADEMODE, mode); }

    DisplayContext& context_;
    DisplayLayer& layer_;
    std::array<LVertex, 256> vertices_{};
};

void DisplaySlots::drawBackFace(std::uint32_t count, PrimitiveType type) {
    layer_.setRenderState(device(), RenderState::CULLMODE, D3DCULL_CW);
    for (std::uint32_t i = 0; i < count; ++i) vertices_[i].diffuse = kBackFaceColor;
    layer_.setTexture(device(), 0, SurfaceId::none);
    shade(D3DSHADE_FLAT);
    draw(type, count);
}

void DisplaySlots::drawPolygon(SceneObject& object, MeshPolygon& polygon, const Viewport*, Scene&, std::uint16_t) {
    const std::uint32_t count = polygon.vertexCount;
    const std::uint8_t flags = polygon.flags;
    // A polygon that names points the mesh does not have is not drawn.
    if (polygon.pointIndices.size() < count || polygon.u.size() < count || polygon.v.size() < count) return;
    for (std::uint32_t i = 0; i < count; ++i)
        if (polygon.pointIndices[i] >= object.points.size()) return;

    layer_.setRenderState(device(), RenderState::CULLMODE, (flags & doubleSided) ? D3DCULL_NONE : D3DCULL_CCW);

    for (std::uint32_t i = 0; i < count; ++i) {
        const MeshPoint& p = object.points[polygon.pointIndices[i]];
        LVertex& v = vertices_[i];
        v.x = p.cameraSpacePosition[0];
        v.y = p.cameraSpacePosition[1];
        v.z = p.cameraSpacePosition[2];
        v.tu = polygon.u[i];
        v.tv = polygon.v[i];
        std::uint32_t r, g, b;
        if (flags & textured) {
            r = capped(p.lightRed);
            g = capped(p.lightGreen);
            b = capped(p.lightBlue);
        } else {
            r = capped((polygon.colorRed + p.lightRed) / 2);
            g = capped((polygon.colorGreen + p.lightGreen) / 2);
            b = capped((polygon.colorBlue + p.lightBlue) / 2);
        }
        v.diffuse = kAlpha + r * 65536 + g * 256 + b;
    }

    PrimitiveType type = PrimitiveType::TRIANGLEFAN;
    if (count == 1) type = PrimitiveType::POINTLIST;
    else if (count == 2) type = PrimitiveType::LINELIST;
    else if (flags & outline) type = PrimitiveType::LINESTRIP;

    if (flags & black) {
        for (std::uint32_t i = 0; i < count; ++i) vertices_[i].diffuse = 0;
        layer_.setTexture(device(), 0, SurfaceId::none);
        shade(D3DSHADE_FLAT);
        draw(type, count);
        return;
    }
    if (flags == doubleSided) {
        for (std::uint32_t i = 0; i < count; ++i) vertices_[i].diffuse = kDoubleSidedColor;
        layer_.setTexture(device(), 0, textureSurface(polygon.textureIndex));
        shade(D3DSHADE_FLAT);
        draw(type, count);
        return;
    }
    if (flags & textured) {
        layer_.setTexture(device(), 0, textureSurface(polygon.textureIndex));
        if (flags & smoothShaded) {
            if (count == 1) {
                // A particle: a square facing the eye.
                const float h = particleHalfSize;
                const LVertex c = vertices_[0];
                const float xs[4] = {c.x - h, c.x + h, c.x + h, c.x - h};
                const float ys[4] = {c.y + h, c.y + h, c.y - h, c.y - h};
                const float us[4] = {0, 1, 1, 0};
                const float vs[4] = {1, 1, 0, 0};
                for (int i = 0; i < 4; ++i) {
                    LVertex& v = vertices_[i];
                    v.x = xs[i];
                    v.y = ys[i];
                    v.z = c.z;
                    v.tu = us[i];
                    v.tv = vs[i];
                    v.diffuse = kParticleColor;
                }
                shade(D3DSHADE_GOURAUD);
                draw(PrimitiveType::TRIANGLEFAN, 4);
            } else {
                shade(D3DSHADE_GOURAUD);
                draw(type, count);
            }
        } else {
            shade(D3DSHADE_FLAT);
            draw(type, count);
        }
    } else {
        layer_.setTexture(device(), 0, SurfaceId::none);
        if (flags & smoothShaded) {
            shade(D3DSHADE_GOURAUD);
            draw(type, count);
        }
        if (flags & flatShaded) {
            shade(D3DSHADE_FLAT);
            draw(type, count);
        }
    }

    if (flags & reflectionMapped) {
        setTransparentPass(1);
        layer_.setRenderState(device(), RenderState::ZBIAS, 1);
        layer_.setTexture(device(), 0, textureSurface(polygon.reflectionTextureIndex));
        for (std::uint32_t i = 0; i < count; ++i) {
            const MeshPoint& p = object.points[polygon.pointIndices[i]];
            vertices_[i].tu = (p.cameraSpaceNormal[0] + 1.0f) * 0.5f;
            vertices_[i].tv = (p.cameraSpaceNormal[1] + 1.0f) * 0.5f;
        }
        draw(PrimitiveType::TRIANGLEFAN, count, D3DDP_WAIT | D3DDP_DONOTLIGHT);
        setTransparentPass(0);
        layer_.setRenderState(device(), RenderState::ZBIAS, 0);
    }
    // Shadows returned above; double-sided polygons show both sides anyway.
    if (context_.showBackFaces && count >= 3 && !(flags & doubleSided)) drawBackFace(count, type);
}

}  // namespace

std::unique_ptr<RenderSlots> initRenderer(int mode, DisplayContext& context) {
    if (mode != 2) return nullptr;
    return std::make_unique<DisplaySlots>(context);
}

}  // namespace zor
