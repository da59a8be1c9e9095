// Scene texts that are wrong on purpose: sizes beyond the old fixed tables,
// indexes that name nothing, cycles, impossible motion blocks, truncated and
// damaged files. The reader must stay inside its records and say what it did.
#include <cmath>
#include <random>
#include <string>

#include <gtest/gtest.h>

#include "scene/motion.h"
#include "scene_test_util.h"

namespace zor {
namespace {

using testing::Parsed;

const std::string kKey9 = " 0 0 0 0 0 0 1 1 1\n 0 0 0 0 0\n";

template <class Item>
int chainLength(const Item* item, int limit) {
    int n = 0;
    for (const Item* p = item; p && n <= limit; p = p->parent) ++n;
    return n;
}

TEST(HostileScene, TablesGrowWithTheScene) {
    std::string text;
    for (int i = 1; i <= 300; ++i) {
        text += "LoadObject O\n";
        if (i > 1) text += "ParentObject " + std::to_string(i - 1) + "\n";
        if (i == 200) {
            for (int b = 1; b <= 150; ++b) {
                text += "AddBone\nBoneStrength 1\n";
                if (b > 1) text += "ParentObject " + std::to_string(b - 1) + "\n";
            }
        }
    }
    for (int i = 1; i <= 300; ++i) text += "AddLight\nParentObject " + std::to_string(i) + "\n";
    Parsed p(text, {{"O.lwo", 1}});
    ASSERT_EQ(p.scene.objectCount(), 300);
    ASSERT_EQ(p.scene.lightCount(), 300);
    EXPECT_EQ(p.scene.objects[299].parent, &p.scene.objects[298]);
    EXPECT_EQ(chainLength(&p.scene.objects[299], 1000), 300);
    EXPECT_EQ(p.scene.lights[299].parent, &p.scene.objects[299]);
    const SceneObject& boned = p.scene.objects[199];
    ASSERT_EQ(boned.boneCount, 150);
    EXPECT_EQ(boned.bones[149].parent, &boned.bones[148]);
    EXPECT_EQ(chainLength(&boned.bones[149], 1000), 150);
    EXPECT_TRUE(p.diagnostics.empty()) << p.report();
}

TEST(HostileScene, LongChainsLinkAndPrepare) {
    // 60000 objects each parented to the one before, and one object whose
    // 60000 bones form a single chain.
    std::string text = "LoadObject Boned\n";
    for (int b = 1; b <= 60000; ++b) {
        text += "AddBone\nBoneStrength 1\nBoneRestPosition 0 0 1\n";
        if (b > 1) text += "ParentObject " + std::to_string(b - 1) + "\n";
    }
    for (int i = 2; i <= 60000; ++i) text += "AddNullObject N ParentObject " + std::to_string(i - 1) + "\n";
    Parsed p(text, {{"Boned.lwo", 1}});
    ASSERT_EQ(p.scene.objectCount(), 60000);
    EXPECT_EQ(p.scene.objects[59999].parent, &p.scene.objects[59998]);
    const SceneObject& boned = p.scene.objects[0];
    ASSERT_EQ(boned.boneCount, 60000);
    EXPECT_EQ(boned.bones[59999].worldRestPosition[2], 60000.0f);
    EXPECT_TRUE(p.diagnostics.empty()) << p.report();
}

TEST(HostileScene, AddBoneBeforeAnyObjectIsIgnored) {
    Parsed p("AddBone\nBoneRestPosition 1 2 3\nShadowOptions 2\nLoadObject A\nShadowOptions 4\n");
    ASSERT_EQ(p.scene.objectCount(), 1);
    EXPECT_EQ(p.scene.objects[0].boneCount, 0);
    EXPECT_EQ(p.scene.objects[0].shadowOptions, 4);
    EXPECT_TRUE(p.diagnostics.contains("AddBone before any object")) << p.report();
}

TEST(HostileScene, IndexesThatNameNothingAreDroppedWithWarnings) {
    Parsed p("LoadObject A\nParentObject -1\nMorphTarget 99\nAddBone\nBoneStrength 1\nParentObject 5\n"
             "LoadObject B\nParentObject 3\nAddLight\nParentObject 99\n",
             {{"A.lwo", 2}});
    const Scene& s = p.scene;
    ASSERT_EQ(s.objectCount(), 2);
    EXPECT_EQ(s.objects[0].parent, nullptr);
    EXPECT_EQ(s.objects[1].parent, nullptr);
    EXPECT_TRUE(s.objects[0].morphDeltas.empty());
    EXPECT_EQ(s.objects[0].bones[0].parent, nullptr);
    EXPECT_EQ(s.lights[0].parent, nullptr);
    EXPECT_EQ(p.diagnostics.count(Severity::Warning), 5u) << p.report();
    EXPECT_TRUE(p.diagnostics.contains("ParentObject -1 names no object (the scene has 2)"));
    EXPECT_TRUE(p.diagnostics.contains("MorphTarget 99 names no object"));
    EXPECT_TRUE(p.diagnostics.contains("bone ParentObject 5 names no bone of object 1 (it has 1)"));
    EXPECT_TRUE(p.diagnostics.contains("light ParentObject 99 names no object"));
}

TEST(HostileScene, ParentCyclesAreNotMade) {
    Parsed p("LoadObject A\nParentObject 2\nAddBone\nBoneStrength 1\nParentObject 2\nAddBone\nBoneStrength 1\n"
             "ParentObject 1\nAddBone\nBoneStrength 1\nParentObject 3\n"
             "LoadObject B\nParentObject 1\nLoadObject C\nParentObject 3\n",
             {{"A.lwo", 3}});
    const Scene& s = p.scene;
    ASSERT_EQ(s.objectCount(), 3);
    // Object 1 is linked first; object 2's link back would close the loop.
    EXPECT_EQ(s.objects[0].parent, &s.objects[1]);
    EXPECT_EQ(s.objects[1].parent, nullptr);
    EXPECT_EQ(s.objects[2].parent, nullptr);
    const SceneObject& a = s.objects[0];
    EXPECT_EQ(a.bones[0].parent, &a.bones[1]);
    EXPECT_EQ(a.bones[1].parent, nullptr);
    EXPECT_EQ(a.bones[2].parent, nullptr);
    EXPECT_EQ(p.diagnostics.count(Severity::Warning), 4u) << p.report();
    EXPECT_TRUE(p.diagnostics.contains("would make object 2 its own ancestor"));
    EXPECT_TRUE(p.diagnostics.contains("would make bone 3 of object 1 its own ancestor"));
}

TEST(HostileScene, ImpossibleMotionBlocksKeepNoKeys) {
    const char* blocks[] = {"0\n 1\n", "10\n 1\n", "-1\n 1\n", "9\n -3\n", "9\n 1000000000\n", "9\n 2147483647\n",
                            "nine\n 1\n", "9\n many\n"};
    for (const char* block : blocks) {
        Parsed p("LoadObject A\nObjectMotion (unnamed)\n " + std::string(block) + kKey9 +
                 "EndBehavior 1\nShadowOptions 3\n");
        ASSERT_EQ(p.scene.objectCount(), 1);
        const Motion& m = p.scene.objects[0].motion;
        EXPECT_EQ(m.keyCount, 0) << block;
        EXPECT_TRUE(m.keys.empty()) << block;
        EXPECT_EQ(m.lastKeyFrame, 0);
        // Reading picks up again after the block's EndBehavior.
        EXPECT_EQ(p.scene.objects[0].shadowOptions, 3) << block;
        EXPECT_TRUE(p.diagnostics.contains("it keeps no keys")) << block << p.report();
        EXPECT_EQ(p.diagnostics.items()[0].line, 9) << block;  // the line after the keyword
        Motion copy = m;
        evaluateMotion(copy, 3);
        EXPECT_EQ(copy.value[6], 1.0f);
    }
}

TEST(HostileScene, ShortKeysStayInsideTheirRecords) {
    // Three keys promised, two given: the reads stop at EndBehavior.
    Parsed p("LoadObject A\nObjectMotion (unnamed)\n 2\n 3\n 1 2\n 0 0 0 0 0\n 3 4\n 10 0 0 0 0\n"
             "EndBehavior 1\nShadowOptions 3\n" + std::string(200, ' '));
    const Motion& m = p.scene.objects[0].motion;
    ASSERT_EQ(m.keyCount, 3);
    EXPECT_EQ(m.keys[1].value[1], 4.0f);
    EXPECT_EQ(m.keys[2].value[0], 0.0f);
    EXPECT_EQ(m.endBehavior, 1);
    EXPECT_EQ(p.scene.objects[0].shadowOptions, 3);
    EXPECT_TRUE(p.diagnostics.contains("key 3 of a motion block: expected a number, found 'EndBehavior'"))
        << p.report();
}

TEST(HostileScene, KeylessAndOddMotionsEvaluateToDefinedValues) {
    Parsed p("LoadObject A\nObjectMotion (unnamed)\n 9\n 0\nEndBehavior 1\nObjDissolve (envelope)\n 1\n 0\n"
             "EndBehavior 2\nAddLight\nLightMotion (unnamed)\n 1\n 2\n 5\n 10 0 0 0 0\n 6\n 10 0 0 0 0\nEndBehavior 7\n");
    SceneObject& o = p.scene.objects[0];
    evaluateMotion(o.motion, 4);
    const float neutral[9] = {0, 0, 0, 0, 0, 0, 1, 1, 1};
    for (int c = 0; c < 9; ++c) EXPECT_EQ(o.motion.value[c], neutral[c]);
    evaluateMotion(o.dissolve, 4);
    EXPECT_EQ(o.dissolve.value[0], 0.0f);
    Motion& l = p.scene.lights[0].motion;
    for (float f : {0.0f, 10.0f, 11.0f}) {
        evaluateMotion(l, f);
        EXPECT_TRUE(std::isfinite(l.value[0])) << f;
    }
    EXPECT_TRUE(p.diagnostics.contains("not after the key before it"));
    EXPECT_TRUE(p.diagnostics.contains("EndBehavior 7 is not 0, 1 or 2"));
}

TEST(HostileScene, TooManyBonesForOneObjectAreRefused) {
    std::string text = "LoadObject A\n";
    for (int i = 0; i < 65536; ++i) text += "AddBone\n";
    text += "BoneRestPosition 1 1 1\nShadowOptions 2\n";
    Parsed p(text);
    EXPECT_EQ(p.scene.objects[0].boneCount, 65535);
    EXPECT_EQ(p.scene.objects[0].bones.size(), 65535u);
    EXPECT_EQ(p.scene.objects[0].bones.back().restPosition[0], 0.0f);
    EXPECT_TRUE(p.diagnostics.contains("cannot take another bone"));
}

TEST(HostileScene, InconsistentMeshFromTheLoaderIsDropped) {
    Scene scene;
    Diagnostics d;
    parseScene(scene, "LoadObject A\n", "x.lws",
               [](std::string&, Mesh& mesh) {
                   mesh.pointCount = 2;
                   mesh.points.resize(2);
                   mesh.polygonCount = 1;
                   mesh.polygons.resize(1);
                   mesh.polygons[0].vertexCount = 3;
                   mesh.polygons[0].pointIndices = {0, 1, 2};
                   mesh.polygons[0].u.resize(3);
                   mesh.polygons[0].v.resize(3);
               },
               &d);
    EXPECT_EQ(scene.objects[0].pointCount, 0);
    EXPECT_TRUE(scene.objects[0].points.empty());
    EXPECT_TRUE(scene.objects[0].polygons.empty());
    EXPECT_TRUE(d.contains("inconsistent mesh"));
}

TEST(HostileScene, EmptyAndMissingScenes) {
    Parsed empty("");
    EXPECT_TRUE(empty.diagnostics.contains("no objects and no lights"));

    const test::ScratchDir scratch;
    const std::filesystem::path& dir = scratch.path();
    Scene scene;
    scene.firstFrame = 12;
    scene.objects.emplace_back();
    Diagnostics d;
    SceneLoadContext context{{dir, "zor.dat"}, {}, &d};
    EXPECT_FALSE(readScene(scene, "glorp2.lws", context));
    EXPECT_TRUE(d.hasErrors());
    ASSERT_EQ(d.items().size(), 1u);
    EXPECT_EQ(d.items()[0].file, "glorp2.lws");
    EXPECT_EQ(scene.objectCount(), 0);
    EXPECT_EQ(scene.firstFrame, 12);
}

// Every prefix of a real scene, and copies with random bytes damaged, read
// into records that keep their own invariants.
void expectConsistent(const Scene& s) {
    auto motionOk = [](const Motion& m) {
        EXPECT_EQ(static_cast<std::size_t>(m.keyCount), m.keys.size());
        EXPECT_GE(m.channelCount, 0);
        EXPECT_LE(m.channelCount, 9);
    };
    for (const SceneObject& o : s.objects) {
        motionOk(o.motion);
        motionOk(o.dissolve);
        motionOk(o.morphAmount);
        EXPECT_LE(chainLength(&o, s.objectCount() + 1), s.objectCount());
        EXPECT_EQ(o.bones.size(), o.boneCount);
        for (const SceneBone& b : o.bones) {
            motionOk(b.motion);
            EXPECT_EQ(b.weights.size(), o.points.size());
        }
        if (o.hasMorph) {
            EXPECT_EQ(o.morphDeltas.size(), o.points.size());
        }
    }
    for (const SceneLight& l : s.lights) {
        motionOk(l.motion);
        motionOk(l.intensity);
    }
    motionOk(s.camera.motion);
}

TEST(HostileScene, TruncatedAndDamagedRealScene) {
    const std::optional<Bytes> bytes = readWholeFile(std::filesystem::path(ZOR_CORPUS_DIR) / "aminet/newtons_scene.1");
    ASSERT_TRUE(bytes);
    const std::string text(bytes->begin(), bytes->end());
    for (std::size_t cut = 0; cut <= text.size(); cut += 7) {
        Parsed p(std::string_view(text).substr(0, cut), {{"3D:Objects/newtons/ball.lwo", 4}});
        expectConsistent(p.scene);
    }
    std::mt19937 random(1234);
    const char replacements[] = {'-', '9', ' ', '\n', 'x', '.', '0', 'e'};
    for (int round = 0; round < 200; ++round) {
        std::string damaged = text;
        for (int k = 0; k < 8; ++k) {
            damaged[random() % damaged.size()] = replacements[random() % sizeof(replacements)];
        }
        Parsed p(damaged, {{"3D:Objects/newtons/ball.lwo", 4}});
        expectConsistent(p.scene);
    }
}

}  // namespace
}  // namespace zor
