// The generated sample demo, loaded the way the player loads it: through the
// archive, the scene reader and the object loader. Checks that it loads
// cleanly, that every feature it is meant to show is really in the loaded
// records. The generator program's own tests are in tests/tools/zor-demo-gen.

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "archive/data_source.h"
#include "demo_set.h"
#include "jpeg_decode.h"
#include "object/object.h"
#include "scene/motion.h"
#include "scene/scene_reader.h"

namespace zor {
namespace {
namespace fs = std::filesystem;

const fs::path kDemoDir = ZOR_DEMO_DIR;
constexpr float kPlayerFps = 30.3f;

struct LoadedDemo {
    DataSource source{kDemoDir, "zor.dat"};
    Diagnostics diags;
    std::vector<std::string> textures;      // every name requested, in order
    std::set<std::string> mappings;         // projections of textured LWOB polygons
    std::vector<std::string> loadedNames;   // names after loading (binary meshes renamed)
    Scene scene;
    bool ok = false;

    LoadedDemo() {
        ObjectLoader loader(
            source,
            [this](std::string_view name) {
                textures.emplace_back(name);
                return static_cast<int>(textures.size() - 1);
            },
            &diags);
        SceneLoadContext context{source,
                                 [&](std::string& name, Mesh& mesh) {
                                     loader.loadObject(name, mesh);
                                     loadedNames.push_back(name);
                                     if (!name.ends_with(".lwo")) return;
                                     for (const MeshPolygon& p : mesh.polygons)
                                         if (p.flags & textured)
                                             mappings.insert(loader.surfaces()[p.surfaceIndex].mapping);
                                 },
                                 &diags};
        ok = readScene(scene, "glorp2.lws", context);
    }

    const SceneObject* named(std::string_view name) const {
        for (const SceneObject& o : scene.objects)
            if (o.name == name) return &o;
        return nullptr;
    }
};

int ancestors(const SceneObject& o) {
    int n = 0;
    for (const SceneObject* p = o.parent; p; p = p->parent) ++n;
    return n;
}

bool isSpecial(const SceneObject& o) { return o.name == "mball.lwo" || o.name == "mcube.lwo"; }

bool movesOverTime(Motion m, int first, int last) {
    evaluateMotion(m, static_cast<float>(first));
    std::array<float, 9> start;
    std::copy(std::begin(m.value), std::end(m.value), start.begin());
    for (int f = first; f <= last; f += 7) {
        evaluateMotion(m, static_cast<float>(f));
        for (int c = 0; c < m.channelCount; ++c)
            if (std::fabs(m.value[c] - start[c]) > 1e-3f) return true;
    }
    return false;
}

bool isPowerOfTwo(int v) { return v > 0 && (v & (v - 1)) == 0; }

TEST(DemoSet, PlayFolderHoldsArchiveMusicAndCompanionUnderTwoMegabytes) {
    std::set<std::string> names;
    std::uintmax_t total = 0;
    for (const auto& e : fs::directory_iterator(kDemoDir)) {
        names.insert(e.path().filename().string());
        total += e.file_size();
    }
    EXPECT_EQ(names, (std::set<std::string>{"zor.dat", "mp3.mp3", "water.avi"}));
    EXPECT_LT(total, 2u * 1024 * 1024);

    // The data comes out of the archive, not from loose files.
    std::string origin;
    Diagnostics diags;
    ASSERT_TRUE(readDataFile(DataSource{kDemoDir, "zor.dat"}, "glorp2.lws", &diags, &origin));
    EXPECT_EQ(origin, "archive");
}

TEST(DemoSet, LoadsThroughTheRealReadersWithoutWarnings) {
    LoadedDemo demo;
    ASSERT_TRUE(demo.ok);
    for (const auto& d : demo.diags.items()) ADD_FAILURE() << d.text();
    // Counts as the text states them, counted here token by token.
    auto text = readDataFile(demo.source, "glorp2.lws");
    ASSERT_TRUE(text);
    std::istringstream tokens(std::string(text->begin(), text->end()));
    std::map<std::string, int> count;
    for (std::string t; tokens >> t;) ++count[t];
    EXPECT_EQ(demo.scene.objectCount(), count["LoadObject"] + count["AddNullObject"]);
    EXPECT_EQ(demo.scene.lightCount(), count["AddLight"]);
    EXPECT_EQ(demo.scene.objectCount(), 19);  // 14 LightWave files, 1 binary mesh, 2 special names, 2 nulls
    EXPECT_EQ(demo.scene.lightCount(), 5);
    int bones = 0;
    for (const SceneObject& o : demo.scene.objects) bones += o.boneCount;
    EXPECT_EQ(bones, count["AddBone"]);
    for (const SceneObject& o : demo.scene.objects) {
        if (o.name == "NULL" || isSpecial(o)) {
            EXPECT_EQ(o.pointCount, 0) << o.name;
            continue;
        }
        EXPECT_GT(o.pointCount, 0) << o.name;
        EXPECT_GT(o.polygonCount, 0) << o.name;
    }
    // The pedestal exists only as a binary mesh.
    EXPECT_NE(std::find(demo.loadedNames.begin(), demo.loadedNames.end(), "Something.3d"), demo.loadedNames.end());
    const SceneObject* pedestal = demo.named("Something.lwo");
    ASSERT_NE(pedestal, nullptr);
    EXPECT_GT(pedestal->polygonCount, 0);
    PackFile pack((kDemoDir / "zor.dat").string());
    EXPECT_EQ(pack.findEntry("Something.lwo"), -1);
    EXPECT_GE(pack.findEntry("Something.3d"), 0);
}

TEST(DemoSet, EveryRequestedTextureIsAPowerOfTwoJpegInTheArchive) {
    LoadedDemo demo;
    ASSERT_FALSE(demo.textures.empty());
    std::set<std::string> unique(demo.textures.begin(), demo.textures.end());
    for (const std::string& name : unique) {
        Diagnostics diags;
        auto bytes = readDataFile(demo.source, name, &diags);
        ASSERT_TRUE(bytes) << name;
        auto image = demo::test::decodeJpeg(*bytes);
        ASSERT_TRUE(image) << name;
        EXPECT_EQ(image->components, 3) << name;
        EXPECT_TRUE(isPowerOfTwo(image->width) && isPowerOfTwo(image->height)) << name;
        EXPECT_GE(std::min(image->width, image->height), 64) << name;
        EXPECT_LE(std::max(image->width, image->height), 256) << name;
    }
    // One image has its mip levels turned off by a companion file on disk.
    EXPECT_TRUE(unique.count("water.jpg"));
    EXPECT_TRUE(fs::exists(kDemoDir / "water.avi"));
    // Colour and reflection images both come through surface paths.
    EXPECT_TRUE(unique.count("chrome.jpg"));
    EXPECT_TRUE(unique.count("marble.jpg"));  // asked for by the binary mesh
}

TEST(DemoSet, LogoIsMostlySeeThroughMagentaWithAnEmblem) {
    auto bytes = readDataFile(DataSource{kDemoDir, "zor.dat"}, "skane.jpg");
    ASSERT_TRUE(bytes);
    auto logo = demo::test::decodeJpeg(*bytes);
    ASSERT_TRUE(logo);
    ASSERT_EQ(logo->width, 256);
    ASSERT_EQ(logo->height, 256);
    int key = 0, opaque = 0;
    for (int y = 0; y < 256; ++y)
        for (int x = 0; x < 256; ++x) {
            const std::uint8_t* p = logo->at(x, y);
            // The player snaps blue > 240, green < 20, red > 240 to the key.
            if (p[2] > 240 && p[1] < 20 && p[0] > 240) ++key;
            else ++opaque;
        }
    EXPECT_GT(key, 256 * 256 * 6 / 10);
    EXPECT_GT(opaque, 3000);
    // The far corner is see-through, the emblem's centre is not.
    const std::uint8_t* corner = logo->at(250, 250);
    EXPECT_TRUE(corner[0] > 240 && corner[1] < 20 && corner[2] > 240);
    const std::uint8_t* centre = logo->at(64, 64);
    EXPECT_FALSE(centre[0] > 240 && centre[1] < 20 && centre[2] > 240);
}

TEST(DemoSet, FrameRangeLastsAboutAMinuteAndTheMusicCoversIt) {
    LoadedDemo demo;
    EXPECT_EQ(demo.scene.firstFrame, 0);
    EXPECT_EQ(demo.scene.lastFrame, 1920);
    EXPECT_EQ(demo.scene.frameStep, 1);
    double seconds = (demo.scene.lastFrame - demo.scene.firstFrame) / static_cast<double>(kPlayerFps);
    EXPECT_GE(seconds, 45.0);
    EXPECT_LE(seconds, 75.0);

    fs::path mp3 = kDemoDir / "mp3.mp3";
    std::ifstream in(mp3, std::ios::binary);
    unsigned char head[2] = {};
    in.read(reinterpret_cast<char*>(head), 2);
    EXPECT_EQ(head[0], 0xFF);           // an MPEG frame right away, no tag
    EXPECT_EQ(head[1] & 0xE0, 0xE0);
    double musicSeconds = static_cast<double>(fs::file_size(mp3)) * 8 / 96000;  // constant 96 kbit/s
    EXPECT_GE(musicSeconds, seconds);
}

TEST(DemoSet, HierarchyHasNullParentsWithPivotsScalesAndDepth) {
    LoadedDemo demo;
    int deepest = 0;
    bool nullParentWithPivotAndScale = false;
    std::set<const SceneObject*> parents;
    for (const SceneObject& o : demo.scene.objects) {
        deepest = std::max(deepest, ancestors(o));
        if (o.parent) parents.insert(o.parent);
    }
    for (const SceneObject* p : parents) {
        bool pivot = p->pivot[0] != 0 || p->pivot[1] != 0 || p->pivot[2] != 0;
        bool scaled = false;
        for (const MotionKey& k : p->motion.keys)
            scaled |= std::fabs(k.value[6] - 1) > 0.01f || std::fabs(k.value[7] - 1) > 0.01f;
        if (p->name == "NULL" && pivot && scaled) nullParentWithPivotAndScale = true;
    }
    EXPECT_GE(deepest, 3);
    EXPECT_TRUE(nullParentWithPivotAndScale);
    // The special names are present and used as parents.
    for (const char* special : {"mball.lwo", "mcube.lwo"}) {
        const SceneObject* o = demo.named(special);
        ASSERT_NE(o, nullptr) << special;
        EXPECT_EQ(o->unlit, 1);
        EXPECT_TRUE(parents.count(o)) << special;
    }
}

TEST(DemoSet, BonesFormAChainWithLimitedRangeAndReachEveryPoint) {
    LoadedDemo demo;
    const SceneObject* boned = nullptr;
    for (const SceneObject& o : demo.scene.objects)
        if (o.boneCount >= 3) boned = &o;
    ASSERT_NE(boned, nullptr);
    EXPECT_NE(boned->boneFalloffType, 0);
    int chain = 0;
    bool limited = false, moving = false;
    for (const SceneBone& b : boned->bones) {
        int depth = 0;
        for (const SceneBone* p = b.parent; p; p = p->parent) ++depth;
        chain = std::max(chain, depth);
        limited |= b.limitedRange != 0;
        moving |= movesOverTime(b.motion, 0, 240);
    }
    EXPECT_GE(chain, 2);
    EXPECT_TRUE(limited);
    EXPECT_TRUE(moving);
    // Normalised weights sum to one at every point: no point is left outside
    // every bone's range.
    for (int i = 0; i < boned->pointCount; ++i) {
        double sum = 0;
        for (const SceneBone& b : boned->bones) sum += b.weights[i];
        ASSERT_NEAR(sum, 1.0, 1e-3) << "point " << i;
    }
}

TEST(DemoSet, MorphTargetIsHiddenAndTheAmountSweepsFully) {
    LoadedDemo demo;
    const SceneObject* morphing = nullptr;
    for (const SceneObject& o : demo.scene.objects)
        if (o.hasMorph) morphing = &o;
    ASSERT_NE(morphing, nullptr);
    ASSERT_EQ(morphing->morphDeltas.size(), morphing->pointCount);
    float largest = 0;
    for (const auto& d : morphing->morphDeltas) largest = std::max({largest, std::fabs(d[0]), std::fabs(d[1]), std::fabs(d[2])});
    EXPECT_GT(largest, 0.5f);
    Motion amount = morphing->morphAmount;
    float lo = 1, hi = 0;
    for (int f = 0; f <= demo.scene.lastFrame; f += 3) {
        evaluateMotion(amount, static_cast<float>(f));
        lo = std::min(lo, amount.value[0]);
        hi = std::max(hi, amount.value[0]);
    }
    EXPECT_LT(lo, 0.05f);
    EXPECT_GT(hi, 0.95f);
    // The target: same point count, hidden for good by a constant dissolve.
    bool hiddenTarget = false;
    for (const SceneObject& o : demo.scene.objects)
        if (&o != morphing && o.pointCount == morphing->pointCount && o.hasDissolve && o.dissolve.keyCount == 1 &&
            o.dissolve.keys[0].value[0] >= 0.5f)
            hiddenTarget = true;
    EXPECT_TRUE(hiddenTarget);
}

TEST(DemoSet, SomethingDissolvesInAndOut) {
    LoadedDemo demo;
    bool inAndOut = false;
    for (const SceneObject& o : demo.scene.objects) {
        if (!o.hasDissolve) continue;
        Motion d = o.dissolve;
        bool appeared = false, vanished = false;
        bool hidden = true;
        for (int f = 0; f <= demo.scene.lastFrame; ++f) {
            evaluateMotion(d, static_cast<float>(f));
            bool now = d.value[0] >= 0.5f;
            if (hidden && !now) appeared = true;
            if (!hidden && now) vanished = true;
            hidden = now;
        }
        inAndOut |= appeared && vanished;
    }
    EXPECT_TRUE(inAndOut);
}

TEST(DemoSet, LightsOfEveryTypeWithFlaresEnvelopesAndAMovingParent) {
    LoadedDemo demo;
    ASSERT_GE(demo.scene.lightCount(), 3);
    std::set<int> types;
    bool pointFlare = false, spotFlare = false, envelope = false, movingParent = false;
    for (const SceneLight& l : demo.scene.lights) {
        types.insert(l.lightType);
        pointFlare |= l.lightType == 1 && l.lensFlare;
        spotFlare |= l.lightType == 2 && l.lensFlare;
        envelope |= l.intensity.keyCount > 1 && movesOverTime(l.intensity, 0, demo.scene.lastFrame);
        for (const SceneObject* p = l.parent; p; p = p->parent) movingParent |= movesOverTime(p->motion, 0, 480);
    }
    EXPECT_EQ(types, (std::set<int>{0, 1, 2}));
    EXPECT_TRUE(pointFlare);
    EXPECT_TRUE(spotFlare);
    EXPECT_TRUE(envelope);
    EXPECT_TRUE(movingParent);
    // The first light casts the shadows: it stands high above the floor.
    Motion first = demo.scene.lights[0].motion;
    evaluateMotion(first, 0);
    EXPECT_GE(first.value[1], 20.0f);
    EXPECT_EQ(demo.scene.lights[0].parent, nullptr);
}

TEST(DemoSet, PolygonsShowEveryDrawingFlagAndProjection) {
    LoadedDemo demo;
    std::map<int, int> perFlag;
    std::set<std::string> withLines;  // objects with two-vertex polygons, drawn as line lists
    for (const SceneObject& o : demo.scene.objects)
        for (const MeshPolygon& p : o.polygons) {
            for (int bit = 0; bit < 7; ++bit)
                if (p.flags & (1 << bit)) ++perFlag[1 << bit];
            if (p.vertexCount == 2) withLines.insert(o.name);
        }
    for (int bit : {flatShaded, textured, smoothShaded, doubleSided, transparent, outline, reflectionMapped})
        EXPECT_GT(perFlag[bit], 0) << "flag 0x" << std::hex << bit;
    EXPECT_EQ(withLines, (std::set<std::string>{"Banner.lwo", "Tentacle.lwo"}));
    EXPECT_EQ(demo.mappings,
              (std::set<std::string>{"Planar Image Map", "Cylindrical Image Map", "Spherical Image Map"}));
}

TEST(DemoSet, MovingParticlesAndShadowCastersOverTheFloor) {
    LoadedDemo demo;
    int particleObjects = 0, casters = 0;
    for (const SceneObject& o : demo.scene.objects) {
        if (o.shadowOptions & 2) ++casters;
        int particles = 0;
        for (const MeshPolygon& p : o.polygons)
            if (p.vertexCount == 1 && (p.flags & textured) && (p.flags & smoothShaded)) ++particles;
        if (particles >= 20 && movesOverTime(o.motion, 0, demo.scene.lastFrame)) ++particleObjects;
    }
    EXPECT_GE(particleObjects, 2);
    EXPECT_GE(casters, 4);
    // A floor at y = 0 facing up, which the shadows fall on; and it does not
    // cast shadows onto itself.
    bool floor = false;
    for (const SceneObject& o : demo.scene.objects) {
        if (o.parent || (o.shadowOptions & 2)) continue;
        for (const MeshPolygon& p : o.polygons) {
            bool flat = p.vertexCount >= 3 && p.faceNormal[1] > 0.99f;
            for (std::uint16_t i : p.pointIndices) flat &= o.points[i].position[1] == 0.0f;
            floor |= flat;
        }
    }
    EXPECT_TRUE(floor);
}

TEST(DemoSet, KeysUseLinearAndSplineSpansAndEveryEndBehaviour) {
    LoadedDemo demo;
    std::set<int> ends;
    bool linear = false, tcb = false;
    auto look = [&](const Motion& m) {
        if (m.keyCount > 1) ends.insert(m.endBehavior);
        for (const MotionKey& k : m.keys) {
            linear |= k.linear != 0;
            tcb |= k.tension != 0 || k.continuity != 0 || k.bias != 0;
        }
    };
    for (const SceneObject& o : demo.scene.objects) {
        look(o.motion);
        look(o.dissolve);
        look(o.morphAmount);
        for (const SceneBone& b : o.bones) look(b.motion);
    }
    for (const SceneLight& l : demo.scene.lights) {
        look(l.motion);
        look(l.intensity);
    }
    look(demo.scene.camera.motion);
    EXPECT_EQ(ends, (std::set<int>{0, 1, 2}));
    EXPECT_TRUE(linear);
    EXPECT_TRUE(tcb);
}

// Back faces are culled, so every face must turn its front (the side its
// normal points to, as the loader computes it) toward where it is seen from:
// away from the centre of round objects, into the room for the room.
TEST(DemoSet, FacesTurnTheirFrontTowardTheViewer) {
    LoadedDemo demo;
    auto centroid = [](const SceneObject& o, const MeshPolygon& p) {
        std::array<float, 3> c{0, 0, 0};
        for (std::uint16_t i : p.pointIndices)
            for (int k = 0; k < 3; ++k) c[k] += o.points[i].position[k] / p.vertexCount;
        return c;
    };
    auto check = [&](const char* name, std::array<float, 3> inside, bool seenFromInside) {
        const SceneObject* o = demo.named(name);
        ASSERT_NE(o, nullptr) << name;
        int faces = 0;
        for (const MeshPolygon& p : o->polygons) {
            if (p.vertexCount < 3) continue;
            auto c = centroid(*o, p);
            float d = 0;
            for (int k = 0; k < 3; ++k) d += p.faceNormal[k] * (c[k] - inside[k]);
            EXPECT_TRUE(seenFromInside ? d < 0 : d > 0) << name << " face " << faces;
            ++faces;
        }
        EXPECT_GT(faces, 0) << name;
    };
    check("Planet.lwo", {0, 0, 0}, false);
    check("Moon.lwo", {0, 0, 0}, false);
    check("Blob.lwo", {0, 0, 0}, false);
    check("Room.lwo", {0, 20, -30}, true);
}

// The player's projection is fixed (near 1, far 100): the camera stays inside
// the room, and the whole room stays within reach of the far plane.
TEST(DemoSet, CameraMovesInsideTheRoomWithinViewingDistance) {
    LoadedDemo demo;
    const SceneObject* room = demo.named("Room.lwo");
    ASSERT_NE(room, nullptr);
    Motion cam = demo.scene.camera.motion;
    EXPECT_GE(cam.keyCount, 8);
    EXPECT_TRUE(movesOverTime(cam, 0, demo.scene.lastFrame));
    float farthest = 0;
    for (int f = 0; f <= demo.scene.lastFrame; f += 4) {
        evaluateMotion(cam, static_cast<float>(f));
        float x = cam.value[0], y = cam.value[1], z = cam.value[2];
        EXPECT_TRUE(x > -34 && x < 34 && y > 1 && y < 39 && z > -59 && z < -1) << "frame " << f;
        for (const MeshPoint& p : room->points) {
            float dx = p.position[0] - x, dy = p.position[1] - y, dz = p.position[2] - z;
            farthest = std::max(farthest, std::sqrt(dx * dx + dy * dy + dz * dz));
        }
    }
    EXPECT_LT(farthest, 92.0f);
}

}  // namespace
}  // namespace zor
