// The demo's file writers: exact bytes for small cases worked out by hand,
// and round trips through the project's own readers and libjpeg.

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "jpeg_decode.h"
#include "object/object.h"
#include "scene/scene_reader.h"
#include "writers/jpeg_writer.h"
#include "writers/lwob_writer.h"
#include "writers/mesh3d_writer.h"
#include "writers/scene_writer.h"
#include "writers/wav_writer.h"

namespace zor::write {
namespace {

std::uint32_t be32(const Bytes& b, std::size_t at) {
    return std::uint32_t{b[at]} << 24 | std::uint32_t{b[at + 1]} << 16 | std::uint32_t{b[at + 2]} << 8 | b[at + 3];
}
std::uint16_t be16(const Bytes& b, std::size_t at) { return static_cast<std::uint16_t>(b[at] << 8 | b[at + 1]); }
std::uint32_t le32(const Bytes& b, std::size_t at) {
    return std::uint32_t{b[at]} | std::uint32_t{b[at + 1]} << 8 | std::uint32_t{b[at + 2]} << 16 |
           std::uint32_t{b[at + 3]} << 24;
}
std::string id(const Bytes& b, std::size_t at) { return std::string(reinterpret_cast<const char*>(&b[at]), 4); }

LwObject triangle(const std::string& surfaceName) {
    LwObject o;
    o.points = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
    o.polygons = {{{0, 1, 2}, 1}};
    LwSurface s;
    s.name = surfaceName;
    s.color = {255, 128, 3};
    s.flags = lwSmoothing;
    o.surfaces = {s};
    return o;
}

// Recording texture loader: answers 10, 11, ... in order of first request.
struct TextureRecorder {
    std::vector<std::string> names;
    TextureLoader loader() {
        return [this](std::string_view name) {
            names.emplace_back(name);
            return static_cast<int>(9 + names.size());
        };
    }
};

TEST(LwobWriter, SmallObjectHasTheHandCountedLayout) {
    Bytes b = writeLwob(triangle("Tri"));
    // 12 header + PNTS 8+36 + SRFS 8+4 + POLS 8+10 + SURF 8+4+10+8.
    ASSERT_EQ(b.size(), 116u);
    EXPECT_EQ(id(b, 0), "FORM");
    EXPECT_EQ(be32(b, 4), 108u);
    EXPECT_EQ(id(b, 8), "LWOB");
    EXPECT_EQ(id(b, 12), "PNTS");
    EXPECT_EQ(be32(b, 16), 36u);
    EXPECT_EQ(be32(b, 32), 0x3F800000u);  // second point's x = 1.0
    EXPECT_EQ(id(b, 56), "SRFS");
    EXPECT_EQ(be32(b, 60), 4u);
    EXPECT_EQ(std::memcmp(&b[64], "Tri\0", 4), 0);
    EXPECT_EQ(id(b, 68), "POLS");
    EXPECT_EQ(be32(b, 72), 10u);
    const std::uint8_t pols[] = {0, 3, 0, 0, 0, 1, 0, 2, 0, 1};
    EXPECT_EQ(std::memcmp(&b[76], pols, sizeof pols), 0);
    EXPECT_EQ(id(b, 86), "SURF");
    EXPECT_EQ(be32(b, 90), 22u);
    const std::uint8_t surf[] = {'T', 'r', 'i', 0, 'C', 'O', 'L', 'R', 0, 4, 255, 128, 3, 0, 'F', 'L', 'A', 'G', 0, 2, 0, 4};
    EXPECT_EQ(std::memcmp(&b[94], surf, sizeof surf), 0);
}

TEST(LwobWriter, NamesArePaddedToEvenSizes) {
    // k characters take k + 1 bytes when k is odd, k + 2 when it is even.
    EXPECT_EQ(be32(writeLwob(triangle("Ab")), 60), 4u);
    EXPECT_EQ(be32(writeLwob(triangle("Abc")), 60), 4u);
    EXPECT_EQ(be32(writeLwob(triangle("Abcd")), 60), 6u);
}

// Walks chunks and sub-chunks without any padding: every size must be even
// and the sub-chunks must fill their SURF exactly.
TEST(LwobWriter, EveryChunkAndSubChunkIsEvenSized) {
    LwObject o = triangle("Textured");
    LwSurface& s = o.surfaces[0];
    s.transparency = 0.75f;
    s.texture = LwTextureMap{"Cylindrical Image Map", "Images\\odd.jpg", 0x4, {1, 2, 3}, {0, 0, 1}, 2, 1};
    s.reflectionImage = "C:\\env.jpg";
    o.surfaces.push_back(triangle("S").surfaces[0]);
    Bytes b = writeLwob(o);
    std::size_t at = 12;
    int surfs = 0;
    while (at < b.size()) {
        ASSERT_LE(at + 8, b.size());
        std::uint32_t size = be32(b, at + 4);
        EXPECT_EQ(size % 2, 0u) << id(b, at);
        ASSERT_LE(at + 8 + size, b.size());
        if (id(b, at) == "SURF") {
            ++surfs;
            std::size_t p = at + 8;
            while (b[p] != 0) ++p;
            p += (p - at - 8) % 2 == 0 ? 2 : 1;  // the name's zero and its pad
            while (p < at + 8 + size) {
                std::uint16_t sub = be16(b, p + 4);
                EXPECT_EQ(sub % 2, 0u) << id(b, p);
                p += 6 + sub;
            }
            EXPECT_EQ(p, at + 8 + size);
        }
        at += 8 + size;
    }
    EXPECT_EQ(at, b.size());
    EXPECT_EQ(surfs, 2);
}

TEST(LwobWriter, ReadsBackThroughTheObjectLoader) {
    LwObject o;
    o.points = {{-1, -1, 0}, {1, -1, 0}, {1, 1, 5}, {0, 0, 0}};
    o.polygons = {{{0, 1, 2}, 1}, {{3}, 2}};
    LwSurface t;
    t.name = "Wood";
    t.color = {200, 100, 51};
    t.flags = lwDoubleSided | lwOutline;
    t.transparency = 0.8f;
    t.texture = LwTextureMap{"Planar Image Map", "Images\\Wood\\oak.jpg", 0x4, {2, 2, 2}, {0, 0, 0}, 1, 1};
    t.reflectionImage = "env.jpg";
    LwSurface p;
    p.name = "Dot";
    p.flags = lwSmoothing;
    o.surfaces = {t, p};

    TextureRecorder textures;
    Diagnostics diags;
    ObjectLoader loader(DataSource{}, textures.loader(), &diags);
    Mesh mesh;
    Bytes b = writeLwob(o);
    ASSERT_TRUE(loader.parseObject("Wood.lwo", b, mesh));
    EXPECT_TRUE(diags.empty());
    ASSERT_EQ(mesh.pointCount, 4);
    ASSERT_EQ(mesh.polygonCount, 2);
    EXPECT_FLOAT_EQ(mesh.points[2].position[2], 5.0f);
    EXPECT_EQ(textures.names, (std::vector<std::string>{"oak.jpg", "env.jpg"}));

    const MeshPolygon& tri = mesh.polygons[0];
    // flat (no smoothing) + outline + double-sided + textured + reflection + transparent
    EXPECT_EQ(tri.flags, 0x01 | 0x20 | 0x08 | 0x02 | 0x40 | 0x10);
    EXPECT_EQ(tri.colorRed, 100);
    EXPECT_EQ(tri.colorGreen, 50);
    EXPECT_EQ(tri.colorBlue, 25);
    EXPECT_EQ(tri.textureIndex, 10);
    EXPECT_EQ(tri.reflectionTextureIndex, 11);
    // Planar on Z, size 2, centre 0: u = x / 2 + 0.5, v = y / 2 + 0.5.
    EXPECT_FLOAT_EQ(tri.u[0], 0.0f);
    EXPECT_FLOAT_EQ(tri.v[0], 0.0f);
    EXPECT_FLOAT_EQ(tri.u[1], 1.0f);
    EXPECT_FLOAT_EQ(tri.v[1], 0.0f);
    EXPECT_FLOAT_EQ(tri.u[2], 1.0f);
    EXPECT_FLOAT_EQ(tri.v[2], 1.0f);

    const MeshPolygon& dot = mesh.polygons[1];
    EXPECT_EQ(dot.vertexCount, 1);
    EXPECT_EQ(dot.flags, 0x04);
}

TEST(LwobWriter, RefusesWhatTheFormatCannotHold) {
    LwObject o = triangle("S");
    o.polygons[0].points = {0, 1, 3};
    EXPECT_THROW(writeLwob(o), std::invalid_argument);
    o = triangle("S");
    o.polygons[0].surface = 2;
    EXPECT_THROW(writeLwob(o), std::invalid_argument);
    o = triangle("S");
    o.polygons[0].points.clear();
    EXPECT_THROW(writeLwob(o), std::invalid_argument);
}

BinaryMesh smallBinaryMesh() {
    BinaryMesh m;
    m.surfaces = {{binTextured | binSmooth, {1, 1, 1}, "marble"}, {binFlat | binOutline, {0.5f, 1.0f, 3.0f}, ""}};
    m.points = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
    m.polygons = {{1, {0, 1, 2}, {{0.25f, 0.25f}, {1, 0}, {0, 1}}}, {2, {2, 1}, {{0, 0}, {0, 0}}}};
    return m;
}

TEST(BinaryMeshWriter, HeaderAndSurfaceRecordsAreLittleEndian) {
    Bytes b = writeBinaryMesh(smallBinaryMesh());
    EXPECT_EQ(le32(b, 0), 2u);
    EXPECT_EQ(le32(b, 4), 3u);
    EXPECT_EQ(le32(b, 8), 2u);
    EXPECT_EQ(b[12], 0x06);
    EXPECT_EQ(le32(b, 13), 0x3F800000u);
    EXPECT_EQ(std::memcmp(&b[25], "marble\0", 7), 0);
    EXPECT_EQ(b[32], 0x21);                // untextured: no name follows
    EXPECT_EQ(le32(b, 33), 0x3F000000u);   // 0.5
    // 12 + (1 + 12 + 7) + (1 + 12) + 3 points * 12 + polygon (4 + 6 + 24) + (4 + 4 + 16).
    EXPECT_EQ(b.size(), 12u + 20 + 13 + 36 + 34 + 24);
    std::size_t poly = 12 + 20 + 13 + 36;
    EXPECT_EQ(b[poly], 3);
    EXPECT_EQ(b[poly + 1], 0);
    EXPECT_EQ(b[poly + 2], 1);
    EXPECT_EQ(b[poly + 3], 0);
}

TEST(BinaryMeshWriter, ReadsBackThroughTheBinaryMeshReader) {
    TextureRecorder textures;
    Diagnostics diags;
    ObjectLoader loader(DataSource{}, textures.loader(), &diags);
    Mesh mesh;
    Bytes b = writeBinaryMesh(smallBinaryMesh());
    ASSERT_TRUE(loader.parseBinaryMesh("Small.3d", b, mesh));
    EXPECT_TRUE(diags.empty());
    EXPECT_EQ(textures.names, (std::vector<std::string>{"marble.jpg"}));
    ASSERT_EQ(mesh.polygonCount, 2);
    const MeshPolygon& a = mesh.polygons[0];
    EXPECT_EQ(a.flags, 0x06);
    EXPECT_EQ(a.colorRed, 255);  // textured surfaces are drawn white
    EXPECT_EQ(a.textureIndex, 10);
    EXPECT_FLOAT_EQ(a.u[0], 0.25f);
    EXPECT_FLOAT_EQ(a.v[0], 0.75f);  // the reader flips v
    const MeshPolygon& line = mesh.polygons[1];
    EXPECT_EQ(line.vertexCount, 2);
    EXPECT_EQ(line.flags, 0x01 | 0x20);
    EXPECT_EQ(line.colorRed, 64);
    EXPECT_EQ(line.colorGreen, 128);
    EXPECT_EQ(line.colorBlue, 255);
}

TEST(BinaryMeshWriter, RefusesMismatchedUvsAndBadSurfaces) {
    BinaryMesh m = smallBinaryMesh();
    m.polygons[0].uv.pop_back();
    EXPECT_THROW(writeBinaryMesh(m), std::invalid_argument);
    m = smallBinaryMesh();
    m.polygons[1].surface = 3;
    EXPECT_THROW(writeBinaryMesh(m), std::invalid_argument);
    m = smallBinaryMesh();
    m.surfaces[0].texture.clear();
    EXPECT_THROW(writeBinaryMesh(m), std::invalid_argument);
}

LwsKey k9(int frame, std::array<float, 9> v, bool linear = false) {
    LwsKey k;
    k.frame = frame;
    k.values = v;
    k.linear = linear;
    return k;
}

LwsScene smallScene() {
    LwsScene s;
    s.firstFrame = 5;
    s.lastFrame = 95;
    s.framesPerSecond = 30.3f;
    LwsObject root;
    root.nullName = "Root";
    root.pivot = {1, 2, 3};
    root.motion = LwsMotion{9, {k9(0, {0, 0, 0, 0, 0, 0, 1, 1, 1}), k9(60, {0, 0, 0, 360, 0, 0, 2, 2, 2}, true)},
                            EndBehavior::Repeat};
    LwsObject thing;
    thing.file = "Objects\\Thing.old.lwo";
    thing.parent = 1;
    thing.motion = LwsMotion{9, {k9(0, {1, 2, 3, 0, 0, 0, 1, 1, 1})}, EndBehavior::Stop};
    LwsEnvelope fade;
    fade.curve = LwsMotion{1, {k9(0, {1}), k9(30, {0})}, EndBehavior::Reset};
    fade.curve.keys[1].tension = 0.5f;
    fade.curve.keys[1].continuity = -0.25f;
    fade.curve.keys[1].bias = 0.125f;
    thing.dissolve = fade;
    thing.boneFalloff = 3;
    thing.shadowOptions = 2;
    for (int i = 0; i < 2; ++i) {
        LwsBone b;
        b.name = "B" + std::to_string(i);
        b.restPosition = {0, 0, i * 1.5f};
        b.restLength = 1.5f;
        b.strength = 2;
        b.scaleStrength = i == 1;
        b.limitedRange = i == 1;
        b.minRange = 0.25f;
        b.maxRange = 4;
        b.parent = i;
        b.motion = LwsMotion{9, {k9(0, {0, 0, i * 1.5f, 0, 0, 0, 1, 1, 1})}, EndBehavior::Stop};
        thing.bones.push_back(b);
    }
    LwsObject target;
    target.file = "Target.lwo";
    target.motion = thing.motion;
    target.dissolve = LwsEnvelope::fixed(1);
    thing.metamorph = LwsEnvelope::fixed(0.5f);
    thing.morphTarget = 3;
    s.objects = {root, thing, target};
    LwsLight l;
    l.name = "Lamp";
    l.type = LightType::Point;
    l.color = {255, 128, 3};
    l.parent = 2;
    l.lensFlare = true;
    l.motion = LwsMotion{9, {k9(0, {0, 1, 0, 0, 0, 0, 1, 1, 1})}, EndBehavior::Stop};
    l.intensity.curve = LwsMotion{1, {k9(0, {0}), k9(30, {2})}, EndBehavior::Stop};
    s.lights = {l};
    s.camera = LwsMotion{9, {k9(0, {0, 0, -10, 0, 0, 0, 1, 1, 1}), k9(90, {5, 0, -10, 10, 0, 0, 1, 1, 1})},
                         EndBehavior::Stop};
    s.zoom = LwsEnvelope::fixed(3.2f);
    return s;
}

TEST(SceneWriter, ReadsBackThroughTheSceneReader) {
    std::string text = writeScene(smallScene());
    ASSERT_EQ(text.rfind("LWSC\n1\n", 0), 0u);
    std::vector<std::string> loaded;
    auto load = [&](std::string& name, Mesh& mesh) {
        loaded.push_back(name);
        allocateMesh(mesh, 2, 0);
        mesh.points[1].position[2] = 2;
    };
    Scene scene;
    Diagnostics diags;
    parseScene(scene, text, "small.lws", load, &diags);
    for (const auto& d : diags.items()) ADD_FAILURE() << d.text();
    EXPECT_EQ(scene.firstFrame, 5);
    EXPECT_EQ(scene.lastFrame, 95);
    EXPECT_EQ(scene.frameStep, 1);
    EXPECT_NEAR(scene.framesPerSecond, 30.3f, 1e-5);
    EXPECT_EQ(loaded, (std::vector<std::string>{"Thing.lwo", "Target.lwo"}));
    ASSERT_EQ(scene.objectCount(), 3);
    ASSERT_EQ(scene.lightCount(), 1);

    const SceneObject& root = scene.objects[0];
    EXPECT_EQ(root.name, "NULL");
    EXPECT_FLOAT_EQ(root.pivot[2], 3.0f);
    ASSERT_EQ(root.motion.keyCount, 2);
    EXPECT_EQ(root.motion.endBehavior, 2);
    EXPECT_EQ(root.motion.keys[1].linear, 1);
    EXPECT_FLOAT_EQ(root.motion.keys[1].value[3], 360.0f);
    EXPECT_FLOAT_EQ(root.motion.keys[1].value[8], 2.0f);

    const SceneObject& thing = scene.objects[1];
    EXPECT_EQ(thing.name, "Thing.lwo");
    EXPECT_EQ(thing.parent, &scene.objects[0]);
    EXPECT_EQ(thing.hasDissolve, 1);
    ASSERT_EQ(thing.dissolve.keyCount, 2);
    EXPECT_EQ(thing.dissolve.endBehavior, 0);
    EXPECT_FLOAT_EQ(thing.dissolve.keys[1].tension, 0.5f);
    EXPECT_FLOAT_EQ(thing.dissolve.keys[1].continuity, -0.25f);
    EXPECT_FLOAT_EQ(thing.dissolve.keys[1].bias, 0.125f);
    EXPECT_EQ(thing.hasMorph, 1);
    EXPECT_FLOAT_EQ(thing.morphAmount.keys[0].value[0], 0.5f);
    EXPECT_EQ(thing.morphDeltas.size(), 2u);
    EXPECT_EQ(thing.boneFalloffType, 3);
    EXPECT_EQ(thing.shadowOptions, 2);
    ASSERT_EQ(thing.boneCount, 2);
    EXPECT_EQ(thing.bones[0].parent, nullptr);
    EXPECT_EQ(thing.bones[1].parent, &thing.bones[0]);
    EXPECT_EQ(thing.bones[1].limitedRange, 1);
    EXPECT_FLOAT_EQ(thing.bones[1].maxRange, 4.0f);
    EXPECT_FLOAT_EQ(thing.bones[1].strength, 3.0f);  // scaled by the rest length once prepared
    EXPECT_FLOAT_EQ(thing.bones[0].strength, 2.0f);
    EXPECT_FLOAT_EQ(thing.bones[1].restPosition[2], 1.5f);

    const SceneObject& target = scene.objects[2];
    EXPECT_EQ(target.hasDissolve, 1);
    EXPECT_EQ(target.dissolve.keyCount, 1);
    EXPECT_FLOAT_EQ(target.dissolve.keys[0].value[0], 1.0f);

    const SceneLight& lamp = scene.lights[0];
    EXPECT_EQ(lamp.lightType, 1);
    EXPECT_EQ(lamp.lensFlare, 1);
    EXPECT_EQ(lamp.color[0], 63);
    EXPECT_EQ(lamp.color[1], 32);
    EXPECT_EQ(lamp.color[2], 0);
    EXPECT_EQ(lamp.parent, &scene.objects[1]);
    ASSERT_EQ(lamp.intensity.keyCount, 2);
    EXPECT_FLOAT_EQ(lamp.intensity.keys[1].value[0], 2.0f);

    ASSERT_EQ(scene.camera.motion.keyCount, 2);
    EXPECT_FLOAT_EQ(scene.camera.motion.keys[1].value[0], 5.0f);
    EXPECT_EQ(scene.camera.motion.lastKeyFrame, 90);
    EXPECT_FLOAT_EQ(scene.camera.zoomFactor.keys[0].value[0], 3.2f);
}

TEST(SceneWriter, RefusesWhatTheReaderWouldMisread) {
    LwsScene s = smallScene();
    s.objects[0].nullName = "LoadObject";  // would be read as a keyword
    EXPECT_THROW(writeScene(s), std::invalid_argument);
    s = smallScene();
    s.objects[0].nullName = "Two words";
    EXPECT_THROW(writeScene(s), std::invalid_argument);
    s = smallScene();
    s.objects[0].motion.keys[1].frame = 0;  // keys must rise
    EXPECT_THROW(writeScene(s), std::invalid_argument);
    s = smallScene();
    s.objects[0].parent = 2;  // 1 -> 2 -> 1
    EXPECT_THROW(writeScene(s), std::invalid_argument);
    s = smallScene();
    s.objects[1].bones[0].parent = 2;  // a bone may only hang from an earlier one
    EXPECT_THROW(writeScene(s), std::invalid_argument);
    s = smallScene();
    s.lights[0].motion.keys.clear();
    EXPECT_THROW(writeScene(s), std::invalid_argument);
}

TEST(WavWriter, HeaderFieldsAndSamples) {
    Bytes b = writeWav({1, -2, 3, -4}, 2, 8000);
    ASSERT_EQ(b.size(), 44u + 8);
    EXPECT_EQ(id(b, 0), "RIFF");
    EXPECT_EQ(le32(b, 4), 36u + 8);
    EXPECT_EQ(id(b, 8), "WAVE");
    EXPECT_EQ(id(b, 12), "fmt ");
    EXPECT_EQ(le32(b, 16), 16u);
    EXPECT_EQ(b[20], 1);   // PCM
    EXPECT_EQ(b[22], 2);   // channels
    EXPECT_EQ(le32(b, 24), 8000u);
    EXPECT_EQ(le32(b, 28), 32000u);  // bytes per second: 8000 * 2 channels * 2 bytes
    EXPECT_EQ(b[32], 4);   // block align
    EXPECT_EQ(b[34], 16);  // bits
    EXPECT_EQ(id(b, 36), "data");
    EXPECT_EQ(le32(b, 40), 8u);
    EXPECT_EQ(b[46], 0xFE);  // -2 little-endian
    EXPECT_EQ(b[47], 0xFF);
    EXPECT_THROW(writeWav({1, 2, 3}, 2, 8000), std::invalid_argument);
}

TEST(JpegWriter, RoundTripKeepsSizeAndColours) {
    RgbImage img(64, 32);
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 64; ++x) {
            std::uint8_t* p = img.at(x, y);
            p[0] = static_cast<std::uint8_t>(x * 4);
            p[1] = static_cast<std::uint8_t>(y * 8);
            p[2] = 128;
        }
    Bytes jpeg = encodeJpeg(img, {95, false});
    ASSERT_GE(jpeg.size(), 4u);
    EXPECT_EQ(jpeg[0], 0xFF);
    EXPECT_EQ(jpeg[1], 0xD8);
    auto d = demo::test::decodeJpeg(jpeg);
    ASSERT_TRUE(d);
    ASSERT_EQ(d->width, 64);
    ASSERT_EQ(d->height, 32);
    ASSERT_EQ(d->components, 3);
    double err = 0;
    for (std::size_t i = 0; i < d->pixels.size(); ++i) err += std::abs(int(d->pixels[i]) - int(img.rgb[i]));
    EXPECT_LT(err / d->pixels.size(), 3.0);
    // The top-left pixel stays dark red-free, the bottom-right bright.
    EXPECT_LT(d->at(0, 0)[0], 12);
    EXPECT_GT(d->at(63, 31)[1], 230);
}

TEST(JpegWriter, FullChromaKeepsHardMagentaEdges) {
    // Magenta and white squares of 8 pixels: with full-resolution colour
    // every magenta pixel still passes the colour-key test after decoding.
    RgbImage img(64, 64);
    int magenta = 0;
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x) {
            bool key = ((x / 8) + (y / 8)) % 2 == 0;
            std::uint8_t* p = img.at(x, y);
            p[0] = 255;
            p[1] = key ? 0 : 255;
            p[2] = 255;
            magenta += key;
        }
    auto d = demo::test::decodeJpeg(encodeJpeg(img, {95, true}));
    ASSERT_TRUE(d);
    int kept = 0;
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x) {
            const std::uint8_t* p = d->at(x, y);
            bool key = ((x / 8) + (y / 8)) % 2 == 0;
            bool near = p[2] > 240 && p[1] < 20 && p[0] > 240;
            if (key && near) ++kept;
            EXPECT_FALSE(!key && near) << x << "," << y;
        }
    EXPECT_EQ(kept, magenta);
}

TEST(JpegWriter, RefusesInconsistentImages) {
    RgbImage img(4, 4);
    img.rgb.pop_back();
    EXPECT_THROW(encodeJpeg(img), std::invalid_argument);
    EXPECT_THROW(encodeJpeg(RgbImage{}), std::invalid_argument);
}

}  // namespace
}  // namespace zor::write
