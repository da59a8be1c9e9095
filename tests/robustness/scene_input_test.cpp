// Bad scene texts, one class of damage per test, and absurd numbers carried
// on through the frame pass. Every decision is reported with the file name
// and the line.

#include <cmath>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "frame/camera.h"
#include "frame/frame_pass.h"
#include "robustness_util.h"
#include "scene/scene_reader.h"
#include "support/recording_slots.h"

namespace zor::robust {
namespace {

const std::string kHeader =
    "LWSC\n1\n\nPreviewFirstFrame 1\nPreviewLastFrame 60\nPreviewFrameStep 1\nFramesPerSecond 30\n\n";

// Objects named in the scene get a unit quad of four points; the names asked
// for are kept.
struct Read {
    Scene scene;
    Diagnostics diags;
    std::vector<std::string> asked;

    explicit Read(std::string_view text) {
        parseScene(
            scene, text, "demo.lws",
            [this](std::string& name, Mesh& mesh) {
                asked.push_back(name);
                allocateMesh(mesh, 4, 1);
                const float corners[4][3] = {{-1, -1, 0}, {1, -1, 0}, {1, 1, 0}, {-1, 1, 0}};
                for (int i = 0; i < 4; ++i)
                    for (int c = 0; c < 3; ++c) mesh.points[i].position[c] = corners[i][c];
                MeshPolygon& q = mesh.polygons[0];
                q.vertexCount = 4;
                q.pointIndices = {0, 1, 2, 3};
                q.u.assign(4, 0.0f);
                q.v.assign(4, 0.0f);
                q.flags = smoothShaded;
                computeNormals(mesh);
            },
            &diags);
    }
    bool says(std::string_view text) const { return diags.contains(text); }
    // The line of the first message containing text, or -1.
    int lineOf(std::string_view text) const {
        for (const Diagnostic& d : diags.items())
            if (d.message.find(text) != std::string::npos) return d.line;
        return -1;
    }
};

std::string motionBlock(const std::string& keyword, const std::vector<std::string>& keys) {
    std::string out = keyword + " (unnamed)\n 9\n " + std::to_string(keys.size()) + "\n";
    for (const std::string& k : keys) out += " " + k + "\n";
    return out + "EndBehavior 1\n";
}

TEST(BadScene, EmptyTextHasNothingAndSaysSo) {
    Read r("");
    EXPECT_EQ(r.scene.objectCount(), 0);
    EXPECT_EQ(r.scene.lightCount(), 0);
    EXPECT_TRUE(r.says("header keyword PreviewFirstFrame not found")) << report(r.diags);
    EXPECT_TRUE(r.says("the scene holds no objects and no lights")) << report(r.diags);
    for (const Diagnostic& d : r.diags.items()) EXPECT_EQ(d.file, "demo.lws");
}

TEST(BadScene, WrongMagicIsNotRequired) {
    // The reader searches keywords; a different first line changes nothing.
    Read r("PNG\n" + kHeader.substr(7) + "LoadObject Ship.lwo\n");
    EXPECT_EQ(r.scene.firstFrame, 1);
    EXPECT_EQ(r.scene.lastFrame, 60);
    EXPECT_EQ(r.scene.objectCount(), 1);
}

TEST(BadScene, TruncatedMotionBlocksKeepWhatTheyHold) {
    const std::string full = kHeader + "LoadObject Ship.lwo\n" +
                             motionBlock("ObjectMotion", {"0 0 0 0 0 0 1 1 1 0 0 0 0 0", "5 0 0 0 0 0 1 1 1 30 0 0 0 0"});
    for (std::size_t cut = kHeader.size(); cut <= full.size(); ++cut) {
        Read r(std::string_view(full).substr(0, cut));
        const Motion& m = r.scene.objects.empty() ? r.scene.camera.motion : r.scene.objects[0].motion;
        ASSERT_LE(static_cast<std::size_t>(m.keyCount), m.keys.size()) << cut;
        for (const MotionKey& k : m.keys) {
            ASSERT_GE(k.prev, -1);
            ASSERT_LT(k.next, m.keyCount);
        }
    }
}

TEST(BadScene, LyingKeyCountsAreRefusedBeforeAllocation) {
    Read r(kHeader + "LoadObject Ship.lwo\nObjectMotion (unnamed)\n 9\n 2000000000\n 0 0 0 0 0 0 1 1 1 0 0 0 0 0\n"
                     "EndBehavior 1\n");
    ASSERT_EQ(r.scene.objectCount(), 1);
    EXPECT_EQ(r.scene.objects[0].motion.keyCount, 0);
    EXPECT_TRUE(r.scene.objects[0].motion.keys.size() <= 1);
    EXPECT_TRUE(r.says("motion block claims 2000000000 keys, more than the rest of the file can hold; it keeps no keys"))
        << report(r.diags);
    EXPECT_EQ(r.lineOf("claims 2000000000 keys"), 11);

    Read channels(kHeader + "LoadObject Ship.lwo\nObjectMotion (unnamed)\n 12\n 1\n 0 0 0\nEndBehavior 1\n");
    EXPECT_TRUE(channels.says("motion block has 12 channels (1 to 9 allowed); it keeps no keys")) << report(channels.diags);
    Read negative(kHeader + "LoadObject Ship.lwo\nObjectMotion (unnamed)\n 9\n -4\nEndBehavior 1\n");
    EXPECT_TRUE(negative.says("motion block has -4 keys; it keeps no keys")) << report(negative.diags);
}

// Each LoadObject line loads its file anew and every bone holds a weight per
// point of its object: the scene as a whole keeps to 2^20 points and 2^23
// weights, so a few hundred bytes of text cannot ask for gigabytes.
TEST(BadScene, RepeatedObjectsAndBonesKeepToTheSceneBudget) {
    std::string text = kHeader + "LoadObject Big.lwo\n";
    for (int i = 0; i < 130; ++i) text += "AddBone\n";
    for (int i = 0; i < 20; ++i) text += "LoadObject Big.lwo\n";
    Scene scene;
    Diagnostics diags;
    parseScene(scene, text, "demo.lws", [](std::string&, Mesh& mesh) { allocateMesh(mesh, 65535, 0); }, &diags);
    ASSERT_EQ(scene.objectCount(), 21);
    EXPECT_EQ(scene.objects[0].boneCount, 128);  // 128 x 65535 weights fit in 2^23
    EXPECT_EQ(scene.objects[15].pointCount, 65535);
    EXPECT_EQ(scene.objects[16].pointCount, 0);  // 16 x 65535 points fit in 2^20
    EXPECT_EQ(scene.objects[20].pointCount, 0);
    EXPECT_TRUE(diags.contains("object 1 cannot take another bone")) << report(diags);
    EXPECT_TRUE(diags.contains("object Big.lwo would take the scene past 1048576 points")) << report(diags);
}

TEST(BadScene, IndexesOutOfRangeAreDropped) {
    Read r(kHeader +
           "LoadObject A.lwo\nParentObject 0\nLoadObject B.lwo\nParentObject 7\nMorphTarget -3\n"
           "AddBone\nParentObject 4\nAddLight\nParentObject 2147483647\n");
    ASSERT_EQ(r.scene.objectCount(), 2);
    EXPECT_EQ(r.scene.objects[1].parent, nullptr);
    EXPECT_EQ(r.scene.objects[1].bones[0].parent, nullptr);
    EXPECT_EQ(r.scene.lights[0].parent, nullptr);
    EXPECT_TRUE(r.says("ParentObject 7 names no object (the scene has 2)")) << report(r.diags);
    EXPECT_EQ(r.lineOf("ParentObject 7"), 12);
    EXPECT_TRUE(r.says("MorphTarget -3 names no object")) << report(r.diags);
    EXPECT_TRUE(r.says("bone ParentObject 4 names no bone of object 2 (it has 1)")) << report(r.diags);
    EXPECT_TRUE(r.says("light ParentObject 2147483647 names no object")) << report(r.diags);
}

TEST(BadScene, CyclesAreBrokenWhereTheyWouldClose) {
    Read r(kHeader + "LoadObject A.lwo\nParentObject 3\nLoadObject B.lwo\nParentObject 1\nLoadObject C.lwo\n"
                     "ParentObject 2\nLoadObject D.lwo\nParentObject 4\n");
    ASSERT_EQ(r.scene.objectCount(), 4);
    for (const SceneObject& o : r.scene.objects) {
        int steps = 0;
        for (const SceneObject* p = o.parent; p; p = p->parent) ASSERT_LT(++steps, 4);
    }
    EXPECT_TRUE(r.says("ParentObject 2 would make object 3 its own ancestor")) << report(r.diags);
    EXPECT_TRUE(r.says("ParentObject 4 would make object 4 its own ancestor")) << report(r.diags);
}

TEST(BadScene, AbsurdNumbersAreClampedOrRead) {
    Read r(kHeader.substr(0, 8) + "PreviewFirstFrame -99999999999\nPreviewLastFrame 99999999999\n"
                                  "PreviewFrameStep 0\nFramesPerSecond 1e39\nLoadObject A.lwo\nShadowOptions 2\n");
    EXPECT_EQ(r.scene.firstFrame, -2147483647 - 1);
    EXPECT_EQ(r.scene.lastFrame, 2147483647);
    EXPECT_TRUE(r.says("integer -99999999999 is out of range")) << report(r.diags);
    EXPECT_TRUE(r.says("integer 99999999999 is out of range")) << report(r.diags);
    EXPECT_TRUE(std::isinf(r.scene.framesPerSecond) || r.scene.framesPerSecond > 1e38f);
}

TEST(BadScene, AbsurdNumbersPassThroughTheFramePassWithoutHarm) {
    // Positions, angles, scales and intensities at the ends of the float
    // range, a zero scale and keys at the ends of the integer range.
    std::string text = kHeader.substr(0, 8) +
                       "PreviewFirstFrame -2147483648\nPreviewLastFrame 2147483647\nPreviewFrameStep 1\n"
                       "FramesPerSecond 30\n";
    text += "LoadObject A.lwo\n" +
            motionBlock("ObjectMotion", {"3e38 -3e38 3e38 1e30 -1e30 1e30 3e38 3e38 3e38 -2147483648 0 1e30 -1e30 1e30",
                                         "-3e38 3e38 0 0 0 0 0 0 0 2147483647 1 0 0 0"}) +
            "ShadowOptions 2\nObjDissolve (envelope)\n 1\n 2\n 1e38 0 0 0 0 0\n -1e38 10 0 0 0 0\nEndBehavior 2\n";
    text += "LoadObject B.lwo\nParentObject 1\nPivotPoint 1e38 -1e38 1e38\n" +
            motionBlock("ObjectMotion", {"1 2 3 45 45 45 1e-38 1e-38 1e-38 0 0 0 0 0"}) +
            "AddBone\nBoneRestPosition 1e38 1e38 1e38\nBoneRestDirection 1e30 1e30 1e30\nBoneRestLength 0\n"
            "BoneStrength 3e38\nBoneActive 1\nBoneLimitedRange 1\nBoneMinRange 0\nBoneMaxRange 0\n";
    text += "AddLight\n" + motionBlock("LightMotion", {"0 1e38 0 0 90 0 1 1 1 0 0 0 0 0"}) +
            "LightColor 255 255 255\nLgtIntensity 1e38\nLightType 1\nLensFlare 1\n";
    text += "AddLight\nLightColor 999999999 -5 255\nLgtIntensity -1e38\nLightType 2\nParentObject 2\n";
    text += "CameraMotion (unnamed)\n 9\n 1\n 0 0 -1e38 1e30 1e30 1e30 1 1 1 0 0 0 0 0\nEndBehavior 2\n";
    Read r(text);
    ASSERT_EQ(r.scene.objectCount(), 2) << report(r.diags);
    ASSERT_EQ(r.scene.lightCount(), 2) << report(r.diags);

    Viewport viewport;
    setupViewport(viewport, 640, 480);
    FrameContext context;
    RecordingSlots slots;
    for (float frame : {-2147483648.0f, -1.0f, 0.0f, 0.5f, 5.0f, 17.25f, 1e9f, 2147483647.0f}) {
        slots.clear();
        drawSceneFrame(r.scene, frame, viewport, context, slots);
        EXPECT_EQ(slots.count(SlotCall::beginScene), slots.count(SlotCall::endScene)) << frame;
        for (const SceneObject& o : r.scene.objects) {
            for (const MeshPoint& p : o.points) {
                EXPECT_LE(p.lightRed, 255u);
                EXPECT_LE(p.lightGreen, 255u);
                EXPECT_LE(p.lightBlue, 255u);
            }
        }
    }
}

TEST(BadScene, ObjectNamesWithSeparatorsAndDots) {
    // Backslashes are folders and are dropped; the name ends at its first
    // full stop, so no ".." survives; forward slashes stay in the name.
    Read r(kHeader + "LoadObject C:\\..\\..\\Objects\\Ship.old.lwo\nLoadObject ../../etc/passwd\n"
                     "LoadObject /absolute/Thing.lwo\nLoadObject ..\\\n");
    ASSERT_EQ(r.scene.objectCount(), 4);
    EXPECT_EQ(r.asked, (std::vector<std::string>{"Ship.lwo", ".lwo", "/absolute/Thing.lwo", ".lwo"}));
}

TEST(BadScene, BinaryGarbageIsReadAsUnknownTokens) {
    std::string garbage;
    for (int i = 0; i < 4096; ++i) garbage.push_back(static_cast<char>((i * 131 + 7) & 0xFF));
    Read r(kHeader + garbage + "\nLoadObject Ship.lwo\n");
    EXPECT_GE(r.scene.objectCount(), 1);
}

}  // namespace
}  // namespace zor::robust
