// The renderer slots on the scripted layer: the states each entry sets, the
// colours, primitives and cases of drawPolygon, particles and the reflection
// pass.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "display_test_support.h"
#include "frame/frame_pass.h"
#include "frame/render_slots.h"
#include "scene/scene.h"

namespace zor {
namespace {

using ::testing::ElementsAre;
using test::RecordedDisplay;

struct SlotRig {
    RecordedDisplay display;
    std::unique_ptr<RenderSlots> slots = initRenderer(2, display.context);
    Scene scene;
    SceneObject object;

    SlotRig() {
        // Two textures so indexes 0 and 1 bind real surfaces.
        for (int i = 0; i < 2; ++i) {
            Texture t;
            t.name = "t" + std::to_string(i);
            createTextureSurface(display.context, t, 8, 8, false);
            display.context.textures.push_back(t);
        }
        object.points.resize(4);
        object.pointCount = 4;
        const float positions[4][3] = {{-1, -1, 5}, {1, -1, 5}, {1, 1, 5}, {-1, 1, 5}};
        for (int i = 0; i < 4; ++i) {
            for (int k = 0; k < 3; ++k) object.points[i].cameraSpacePosition[k] = positions[i][k];
            object.points[i].cameraSpaceNormal[0] = 0.5f * static_cast<float>(i) - 1.0f;
            object.points[i].cameraSpaceNormal[1] = 0.25f * static_cast<float>(i);
        }
        display.layer.clearRecord();
    }
    MeshPolygon polygon(std::uint8_t flags, int vertices) {
        MeshPolygon p;
        p.flags = flags;
        p.vertexCount = static_cast<std::uint8_t>(vertices);
        for (int i = 0; i < vertices; ++i) {
            p.pointIndices.push_back(static_cast<std::uint16_t>(i));
            p.u.push_back(0.1f * static_cast<float>(i));
            p.v.push_back(0.2f * static_cast<float>(i));
        }
        return p;
    }
    void light(std::uint32_t r, std::uint32_t g, std::uint32_t b) {
        for (auto& p : object.points) {
            p.lightRed = r;
            p.lightGreen = g;
            p.lightBlue = b;
        }
    }
    void draw(MeshPolygon& p) { slots->drawPolygon(object, p, nullptr, scene, 0); }
    SurfaceId texture(int i) const { return display.context.textures[static_cast<std::size_t>(i)].surface; }
    std::vector<std::string>& calls() { return display.layer.calls; }
    std::vector<RecordedDraw>& draws() { return display.layer.draws; }
};

TEST(Slots, OnlyModeTwoExists) {
    RecordedDisplay display;
    EXPECT_EQ(initRenderer(1, display.context), nullptr);
    EXPECT_EQ(initRenderer(3, display.context), nullptr);
    EXPECT_NE(initRenderer(2, display.context), nullptr);
}

TEST(Slots, FrameAndSceneEntries) {
    SlotRig rig;
    rig.slots->beginFrame();
    rig.slots->beginScene();
    rig.slots->endScene();
    rig.slots->endFrame();
    SceneLight light;
    rig.slots->drawSpotFlare(light, nullptr);
    rig.slots->drawPointFlare(light, nullptr);
    EXPECT_THAT(rig.calls(), ElementsAre("clear 2 0x00000000 1 0", "beginScene", "endScene", "flip 0x1"));
}

TEST(Slots, TransparentPassStatesInOrder) {
    SlotRig rig;
    rig.slots->setTransparentPass(1);
    EXPECT_THAT(rig.calls(), ElementsAre("setRenderState SRCBLEND 2", "setRenderState DESTBLEND 2",
                                         "setRenderState ALPHABLENDENABLE 1", "setRenderState ZWRITEENABLE 0"));
    for (std::uint8_t off : {0, 2, 255}) {
        rig.calls().clear();
        rig.slots->setTransparentPass(off);
        EXPECT_THAT(rig.calls(), ElementsAre("setRenderState SRCBLEND 2", "setRenderState DESTBLEND 1",
                                             "setRenderState ALPHABLENDENABLE 0", "setRenderState ZWRITEENABLE 1"));
    }
}

TEST(Slots, ColoursOfTexturedAndPlainPolygons) {
    SlotRig rig;
    rig.light(300, 128, 0);
    auto lit = rig.polygon(textured | smoothShaded, 3);
    rig.draw(lit);
    ASSERT_EQ(rig.draws().size(), 1u);
    for (const auto& v : rig.draws()[0].vertices) EXPECT_EQ(v.diffuse, 0x10FF8000u);

    rig.draws().clear();
    auto plain = rig.polygon(flatShaded, 3);
    plain.colorRed = plain.colorGreen = plain.colorBlue = 100;
    rig.draw(plain);
    ASSERT_EQ(rig.draws().size(), 1u);
    // (100 + 300) / 2 = 200 = 0xC8, (100 + 128) / 2 = 114 = 0x72, 100 / 2 = 50 = 0x32.
    EXPECT_EQ(rig.draws()[0].vertices[0].diffuse, 0x10C87232u);

    // The halved sum is capped after halving: (255 + 600) / 2 = 427 -> 255.
    rig.draws().clear();
    rig.light(600, 0, 1);
    plain.colorRed = 255;
    plain.colorBlue = 0;
    rig.draw(plain);
    EXPECT_EQ(rig.draws()[0].vertices[0].diffuse, 0x10FF3200u);
    // Positions and texture coordinates are copied as they are; reserved and specular stay 0.
    const LVertex& v = rig.draws()[0].vertices[2];
    EXPECT_EQ(v.x, 1.0f);
    EXPECT_EQ(v.y, 1.0f);
    EXPECT_EQ(v.z, 5.0f);
    EXPECT_FLOAT_EQ(v.tu, 0.2f);
    EXPECT_FLOAT_EQ(v.tv, 0.4f);
    EXPECT_EQ(v.reserved, 0u);
    EXPECT_EQ(v.specular, 0u);
}

TEST(Slots, PrimitiveChoiceAndCulling) {
    SlotRig rig;
    struct Case {
        std::uint8_t flags;
        int vertices;
        PrimitiveType type;
        std::uint32_t cull;
    };
    const std::vector<Case> cases = {
        {flatShaded, 1, PrimitiveType::POINTLIST, D3DCULL_CCW},
        {flatShaded, 2, PrimitiveType::LINELIST, D3DCULL_CCW},
        {flatShaded | outline, 3, PrimitiveType::LINESTRIP, D3DCULL_CCW},
        {flatShaded, 3, PrimitiveType::TRIANGLEFAN, D3DCULL_CCW},
        {flatShaded | doubleSided, 4, PrimitiveType::TRIANGLEFAN, D3DCULL_NONE},
        {textured | outline, 4, PrimitiveType::LINESTRIP, D3DCULL_CCW},
        {textured, 1, PrimitiveType::POINTLIST, D3DCULL_CCW},  // flat textured particle: one point
    };
    for (const auto& c : cases) {
        rig.draws().clear();
        auto p = rig.polygon(c.flags, c.vertices);
        rig.draw(p);
        ASSERT_EQ(rig.draws().size(), 1u) << int(c.flags);
        EXPECT_EQ(rig.draws()[0].type, c.type) << int(c.flags);
        EXPECT_EQ(rig.draws()[0].cullMode, c.cull) << int(c.flags);
        EXPECT_EQ(rig.draws()[0].vertices.size(), std::size_t(c.vertices));
        EXPECT_EQ(rig.draws()[0].flags, D3DDP_DONOTLIGHT);
        EXPECT_EQ(rig.draws()[0].vertexFormat, 0x1E2u);
    }
}

TEST(Slots, CasesInOrder) {
    SlotRig rig;
    rig.light(50, 60, 70);
    // 1: black wins over everything, draws flat and untextured with colour 0.
    auto shadow = rig.polygon(black | doubleSided | textured | reflectionMapped, 3);
    rig.draw(shadow);
    EXPECT_THAT(rig.calls(), ElementsAre("setRenderState CULLMODE 1", "setTexture 0 0", "setRenderState SHADEMODE 1",
                                         "drawPrimitive 6 3 0x10"));
    EXPECT_EQ(rig.draws()[0].vertices[1].diffuse, 0u);

    // 2: exactly doubleSided: grey 0x10101010 with the polygon's texture, flat.
    rig.calls().clear();
    rig.draws().clear();
    auto onlyDouble = rig.polygon(doubleSided, 3);
    onlyDouble.textureIndex = 1;
    rig.draw(onlyDouble);
    EXPECT_EQ(rig.draws().size(), 1u);
    EXPECT_EQ(rig.draws()[0].vertices[0].diffuse, 0x10101010u);
    EXPECT_EQ(rig.draws()[0].texture, rig.texture(1));
    EXPECT_EQ(rig.draws()[0].shadeMode, D3DSHADE_FLAT);

    // 3: textured smooth and flat.
    rig.draws().clear();
    auto smooth = rig.polygon(textured | smoothShaded, 4);
    rig.draw(smooth);
    auto flat = rig.polygon(textured, 4);
    flat.textureIndex = 1;
    rig.draw(flat);
    ASSERT_EQ(rig.draws().size(), 2u);
    EXPECT_EQ(rig.draws()[0].shadeMode, D3DSHADE_GOURAUD);
    EXPECT_EQ(rig.draws()[0].texture, rig.texture(0));
    EXPECT_EQ(rig.draws()[1].shadeMode, D3DSHADE_FLAT);
    EXPECT_EQ(rig.draws()[1].texture, rig.texture(1));

    // 4: untextured: both bits draw twice (smooth first), neither draws nothing.
    rig.draws().clear();
    auto both = rig.polygon(flatShaded | smoothShaded, 3);
    rig.draw(both);
    ASSERT_EQ(rig.draws().size(), 2u);
    EXPECT_EQ(rig.draws()[0].shadeMode, D3DSHADE_GOURAUD);
    EXPECT_EQ(rig.draws()[1].shadeMode, D3DSHADE_FLAT);
    EXPECT_EQ(rig.draws()[1].texture, SurfaceId::none);
    rig.draws().clear();
    auto neither = rig.polygon(0, 3);
    rig.draw(neither);
    EXPECT_TRUE(rig.draws().empty());
}

TEST(Slots, TextureIndexOutsideTheTableBindsNothing) {
    SlotRig rig;
    auto p = rig.polygon(textured | smoothShaded, 3);
    p.textureIndex = 65535;  // a failed load stored in 16 bits
    rig.draw(p);
    ASSERT_EQ(rig.draws().size(), 1u);
    EXPECT_EQ(rig.draws()[0].texture, SurfaceId::none);
    p.textureIndex = 2;
    rig.draw(p);
    EXPECT_EQ(rig.draws()[1].texture, SurfaceId::none);
}

TEST(Slots, BrokenPolygonIsNotDrawn) {
    SlotRig rig;
    auto p = rig.polygon(flatShaded, 3);
    p.pointIndices[2] = 4;  // the object has 4 points
    rig.draw(p);
    auto q = rig.polygon(flatShaded, 3);
    q.u.pop_back();
    rig.draw(q);
    EXPECT_TRUE(rig.draws().empty());
}

TEST(Slots, ParticleSquareUsesTheHalfSize) {
    SlotRig rig;
    auto particle = rig.polygon(textured | smoothShaded, 1);
    particle.pointIndices[0] = 2;  // centre (1, 1, 5)
    rig.slots->particleHalfSize = 0.25f;
    rig.draw(particle);
    ASSERT_EQ(rig.draws().size(), 1u);
    const auto& d = rig.draws()[0];
    EXPECT_EQ(d.type, PrimitiveType::TRIANGLEFAN);
    EXPECT_EQ(d.shadeMode, D3DSHADE_GOURAUD);
    ASSERT_EQ(d.vertices.size(), 4u);
    const float expected[4][5] = {{0.75f, 1.25f, 5, 0, 1}, {1.25f, 1.25f, 5, 1, 1}, {1.25f, 0.75f, 5, 1, 0},
                                  {0.75f, 0.75f, 5, 0, 0}};
    for (int i = 0; i < 4; ++i) {
        EXPECT_FLOAT_EQ(d.vertices[i].x, expected[i][0]) << i;
        EXPECT_FLOAT_EQ(d.vertices[i].y, expected[i][1]) << i;
        EXPECT_FLOAT_EQ(d.vertices[i].z, expected[i][2]) << i;
        EXPECT_EQ(d.vertices[i].tu, expected[i][3]) << i;
        EXPECT_EQ(d.vertices[i].tv, expected[i][4]) << i;
        EXPECT_EQ(d.vertices[i].diffuse, 0x008F8F8Fu) << i;
    }
    rig.slots->particleHalfSize = 0.1f;
    rig.draw(particle);
    EXPECT_FLOAT_EQ(rig.draws()[1].vertices[1].x - rig.draws()[1].vertices[0].x, 0.2f);
}

TEST(Slots, ReflectionPassAfterThePolygonEndsOpaque) {
    SlotRig rig;
    rig.light(10, 20, 30);
    auto p = rig.polygon(textured | smoothShaded | outline | reflectionMapped, 3);
    p.reflectionTextureIndex = 1;
    rig.draw(p);
    const std::vector<std::string> expected = {
        "setRenderState CULLMODE 3",
        "setTexture 0 " + std::to_string(static_cast<int>(rig.texture(0))),
        "setRenderState SHADEMODE 2",
        "drawPrimitive 3 3 0x10",
        "setRenderState SRCBLEND 2",
        "setRenderState DESTBLEND 2",
        "setRenderState ALPHABLENDENABLE 1",
        "setRenderState ZWRITEENABLE 0",
        "setRenderState ZBIAS 1",
        "setTexture 0 " + std::to_string(static_cast<int>(rig.texture(1))),
        "drawPrimitive 6 3 0x11",
        "setRenderState SRCBLEND 2",
        "setRenderState DESTBLEND 1",
        "setRenderState ALPHABLENDENABLE 0",
        "setRenderState ZWRITEENABLE 1",
        "setRenderState ZBIAS 0",
    };
    EXPECT_EQ(rig.calls(), expected);
    ASSERT_EQ(rig.draws().size(), 2u);
    const auto& reflection = rig.draws()[1];
    EXPECT_TRUE(reflection.alphaBlend);
    EXPECT_EQ(reflection.zBias, 1u);
    for (int i = 0; i < 3; ++i) {
        // Normal x = 0.5 i - 1, y = 0.25 i, mapped to (n + 1) / 2.
        EXPECT_FLOAT_EQ(reflection.vertices[i].tu, (0.5f * i) * 0.5f) << i;
        EXPECT_FLOAT_EQ(reflection.vertices[i].tv, (0.25f * i + 1.0f) * 0.5f) << i;
        EXPECT_EQ(reflection.vertices[i].diffuse, rig.draws()[0].vertices[i].diffuse);
        EXPECT_EQ(reflection.vertices[i].x, rig.draws()[0].vertices[i].x);
    }

    // An untextured polygon with no shading bit still gets its reflection pass.
    rig.draws().clear();
    auto bare = rig.polygon(reflectionMapped, 3);
    rig.draw(bare);
    ASSERT_EQ(rig.draws().size(), 1u);
    EXPECT_EQ(rig.draws()[0].flags, 0x11u);
    // Black and exactly-doubleSided polygons never get one.
    rig.draws().clear();
    auto blackReflecting = rig.polygon(black | reflectionMapped, 3);
    rig.draw(blackReflecting);
    EXPECT_EQ(rig.draws().size(), 1u);
}

TEST(Slots, DeviceStatesForTheShadowPass) {
    SlotRig rig;
    rig.slots->setDepthBias(1);
    float m[16] = {};
    for (int i = 0; i < 16; ++i) m[i] = static_cast<float>(i);
    rig.slots->setWorldTransform(m);
    EXPECT_THAT(rig.calls(), ElementsAre("setRenderState ZBIAS 1", "setTransform WORLD"));
    EXPECT_EQ(rig.display.layer.transforms[TransformState::WORLD][7], 7.0f);
}

TEST(Slots, ShadowPassDrawsBlackOnBothPlanesAndRestoresFlags) {
    SlotRig rig;
    rig.scene.lights.resize(1);
    rig.scene.lights[0].viewPosition[1] = 10;
    rig.object.shadowOptions = 2;
    rig.object.polygons.push_back(rig.polygon(textured | smoothShaded, 3));
    rig.object.polygons.push_back(rig.polygon(flatShaded | transparent, 3));
    rig.object.polygonCount = 2;
    CameraView view;
    view.viewRotation = kIdentity3;
    drawShadow(rig.object, rig.scene, view, *rig.slots);
    // One black polygon per plane; the transparent one casts nothing.
    ASSERT_EQ(rig.draws().size(), 2u);
    for (const auto& d : rig.draws()) {
        EXPECT_EQ(d.vertices[0].diffuse, 0u);
        EXPECT_EQ(d.cullMode, D3DCULL_NONE);
        EXPECT_EQ(d.texture, SurfaceId::none);
        EXPECT_EQ(d.zBias, 1u);
    }
    EXPECT_EQ(rig.object.polygons[0].flags, textured | smoothShaded);
    EXPECT_EQ(rig.object.polygons[1].flags, flatShaded | transparent);
    EXPECT_EQ(rig.display.layer.renderStates[RenderState::ZBIAS], 0u);
    EXPECT_EQ(rig.display.layer.transforms[TransformState::WORLD], identityMatrix());
}

}  // namespace
}  // namespace zor
