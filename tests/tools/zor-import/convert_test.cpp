// The conversion on models built in memory, for what a file would only hide:
// angles across whole turns, names the formats cannot hold, sampled keys,
// models too big for the view, several sources in one scene.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "import/convert.h"
#include "import/motion_math.h"
#include "import/readers.h"
#include "scene/scene.h"
#include "scene/scene_reader.h"
#include "scratch_dir.h"

namespace {

using namespace zor::import;

SourceModel triangleModel(const std::vector<std::string>& names) {
    SourceModel model;
    model.fileName = "memory.gltf";
    SourceMesh mesh;
    SourcePrimitive p;
    p.positions = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
    p.indices = {0, 1, 2};
    mesh.primitives.push_back(p);
    model.meshes.push_back(mesh);
    for (const std::string& name : names) {
        SourceNode node;
        node.name = name;
        node.mesh = 0;
        model.nodes.push_back(node);
    }
    return model;
}

zor::Scene parse(const Conversion& c) {
    zor::Scene scene;
    const std::string text(c.files.front().bytes.begin(), c.files.front().bytes.end());
    zor::parseScene(scene, text, c.files.front().name, {}, nullptr);
    return scene;
}

TEST(ImportConvert, HeadingRunsOnAcrossWholeTurns) {
    SourceModel model = triangleModel({"Spinner"});
    SourceChannel spin;
    spin.node = 0;
    spin.path = AnimatedPath::Rotation;
    for (int k = 0; k <= 8; ++k) {
        spin.times.push_back(static_cast<float>(k));
        const double half = k * 45.0 * 3.14159265358979 / 180.0;  // 90 degrees a key about +y
        for (float v : {0.0f, static_cast<float>(std::sin(half)), 0.0f, static_cast<float>(std::cos(half))})
            spin.values.push_back(v);
    }
    model.channels.push_back(spin);
    const Conversion c = convertModel(model, {});
    const zor::Scene scene = parse(c);
    ASSERT_EQ(scene.objects.size(), 2u);  // the file's root null, then the node
    const zor::Motion& motion = scene.objects[1].motion;
    ASSERT_GE(motion.keys.size(), 9u);
    for (std::size_t k = 1; k < motion.keys.size(); ++k)
        EXPECT_LT(std::abs(motion.keys[k].value[3] - motion.keys[k - 1].value[3]), 90.5f) << "key " << k;
    // Turning about +y in the source turns the other way in the mirrored space.
    EXPECT_NEAR(motion.keys.back().value[3], -720.0f, 0.05f);
    EXPECT_EQ(scene.lastFrame, 243);  // 8 s at 30.3 frames a second, rounded up
}

TEST(ImportConvert, NamesTheFormatsCannotHoldAreRenamedAndSaid) {
    SourceModel model =
        triangleModel({"Wheel", "wheel", "A wheel with a name far too long for the scene", "Wheel.old"});
    SourceNode keyword;  // a null whose name the scene would read as a keyword
    keyword.name = "ZoomFactor";
    model.nodes.push_back(keyword);
    const Conversion c = convertModel(model, {});
    const zor::Scene scene = parse(c);
    ASSERT_EQ(scene.objects.size(), 6u);
    EXPECT_EQ(scene.objects.back().name, "NULL");
    std::set<std::string> lower;
    for (const zor::SceneObject& o : scene.objects) {
        if (&o == &scene.objects.front()) continue;
        EXPECT_LE(o.name.size(), zor::kMaxStoredObjectName) << o.name;
        std::string l = o.name;
        for (char& ch : l) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
        lower.insert(l);
    }
    EXPECT_EQ(lower.size(), 5u) << "object names must differ regardless of letter case (the root null aside)";
    EXPECT_EQ(c.renamed.size(), 4u);
    EXPECT_EQ(c.renamed.back(), "object \"ZoomFactor\" -> ZoomFactor_2");
    for (const OutputFile& f : c.files) EXPECT_LE(f.name.size(), 31u) << f.name;
}

TEST(ImportConvert, SteppedKeysAreSampledOnceAFrame) {
    SourceModel model = triangleModel({"Jumper"});
    SourceChannel step;
    step.node = 0;
    step.path = AnimatedPath::Translation;
    step.interpolation = Interpolation::Step;
    step.times = {0, 1};
    step.values = {0, 0, 0, 0, 5, 0};
    model.channels.push_back(step);
    const zor::Scene scene = parse(convertModel(model, {}));
    const zor::Motion& motion = scene.objects[1].motion;
    // Held until the last whole frame before 1 s, there from the first after.
    bool held = false, jumped = false;
    for (const zor::MotionKey& k : motion.keys) {
        if (k.frame == 30) held = k.value[1] == 0.0f;
        if (k.frame == 31) jumped = k.value[1] == 5.0f;
        EXPECT_EQ(k.linear, 1);
    }
    EXPECT_TRUE(held);
    EXPECT_TRUE(jumped);
    EXPECT_LE(motion.keys.size(), 5u) << "keys on a straight run are dropped";
}

bool says(const std::vector<std::string>& lines, const std::string& text) {
    return std::any_of(lines.begin(), lines.end(), [&](const std::string& l) { return l.find(text) != std::string::npos; });
}

// A model in millimetres or centimetres: hundreds of units across, far past
// the 100 units the view reaches.
SourceModel hallModel() {
    SourceModel model = triangleModel({"Hall"});
    model.meshes[0].primitives[0].positions = {{-300, 0, 0}, {300, 0, 0}, {0, 1, 0}};
    return model;
}

TEST(ImportConvert, BigModelsAreFittedIntoTheViewUnlessAScaleIsGiven) {
    const Conversion fitted = convertModel(hallModel(), {});
    EXPECT_TRUE(says(fitted.notes, "scaled by 0.02 to fit the view (600 units across); --scale to choose"));
    // The framing view then stands within reach: 12 units across, about 22 away.
    const zor::Scene scene = parse(fitted);
    EXPECT_GT(scene.camera.motion.keys[0].value[2], -30.0f);
    ConvertOptions given;
    given.scale = 1.0f;
    const Conversion asGiven = convertModel(hallModel(), given);
    EXPECT_FALSE(says(asGiven.notes, "scaled by"));
    EXPECT_LT(parse(asGiven).camera.motion.keys[0].value[2], -1000.0f);
}

// A model whose own camera sees it only beyond the view's far end (which
// the player shows black) is scaled camera and all: the same picture in
// smaller numbers. With a scale of its own it keeps that scale, and hears
// which one would bring it within reach.
TEST(ImportConvert, AModelWithItsOwnCameraBeyondTheViewIsScaledCameraAndAll) {
    SourceModel model = hallModel();
    model.cameras.emplace_back();
    model.cameras[0].yfov = 34 * 3.14159265f / 180;
    SourceNode camera;
    camera.name = "Camera";
    camera.camera = 0;
    camera.rest.translation = {0, 0, 1000};  // looking along -z at the hall, 1000 units away
    model.nodes.push_back(camera);
    const Conversion c = convertModel(model, {});
    EXPECT_TRUE(says(c.notes, "the camera of memory.gltf sees its model only 1000 units ahead, beyond the view's 100: "
                              "memory.gltf scaled by 0.05, camera and all"));
    EXPECT_TRUE(c.warnings.empty()) << c.warnings.front();
    EXPECT_NEAR(parse(c).camera.motion.keys[0].value[2], -50.0f, 1e-3f);
    ConvertOptions given;
    given.scale = 1.0f;
    const Conversion kept = convertModel(model, given);
    EXPECT_FALSE(says(kept.notes, "scaled by"));
    ASSERT_EQ(kept.warnings.size(), 1u);
    EXPECT_EQ(kept.warnings[0], "the camera of memory.gltf cannot see the model at frame 0: it lies 1000 to 1044 units "
                                "away, beyond the view's 100 (--scale 0.05 brings it within reach)");
}

// Two sources in one scene, then a third added to it: each hangs below its
// root null, which stands where --at puts it; the new objects follow the
// old scene's text and their parents count its objects first.
TEST(ImportConvert, SourcesHangBelowTheirRootsAndJoinASceneAlreadyThere) {
    const SourceModel a = triangleModel({"Wheel"}), b = triangleModel({"Wheel"});
    std::vector<SourceInput> inputs(2);
    inputs[0] = {&a, "a.glb", {0, 0, 0}, std::nullopt};
    inputs[1] = {&b, "b.obj", {5, 0, 2}, std::nullopt};
    const Conversion both = composeScene(inputs, {});
    const zor::Scene scene = parse(both);
    ASSERT_EQ(scene.objects.size(), 4u);
    EXPECT_EQ(scene.objects[1].parent, &scene.objects[0]);
    EXPECT_EQ(scene.objects[3].parent, &scene.objects[2]);
    EXPECT_EQ(scene.objects[3].name, "Wheel_2.lwo");
    const zor::MotionKey& root = scene.objects[2].motion.keys[0];
    EXPECT_EQ((std::array<float, 9>{root.value[0], root.value[1], root.value[2], root.value[3], root.value[4],
                                    root.value[5], root.value[6], root.value[7], root.value[8]}),
              (std::array<float, 9>{5, 0, 2, 0, 0, 0, 1, 1, 1}));

    ExistingScene existing;
    existing.text.assign(both.files.front().bytes.begin(), both.files.front().bytes.end());
    existing.objects = 4;
    existing.lights = 1;
    existing.lastFrame = kStillSceneFrames;
    existing.names = {"Wheel.lwo", "Wheel_2.lwo", "a_glb", "b_obj"};
    const SourceModel c = triangleModel({"Wheel"});
    const Conversion added = composeScene({{&c, "c.glb", {0, 3, 0}, std::nullopt}}, {}, &existing);
    const std::string text(added.files.front().bytes.begin(), added.files.front().bytes.end());
    EXPECT_EQ(text.substr(0, existing.text.size()), existing.text);
    const zor::Scene joined = parse(added);
    ASSERT_EQ(joined.objects.size(), 6u);
    EXPECT_EQ(joined.objects[5].parent, &joined.objects[4]);
    EXPECT_EQ(joined.objects[5].name, "Wheel_3.lwo");
    EXPECT_EQ(joined.lights.size(), 1u) << "a scene with a light gets no second default light";
    EXPECT_EQ(added.files.size(), 2u) << "the scene and one object: no logo, no other files";
}

// A scene whose text ends inside a block would read the new objects as
// numbers of that block: refused, not appended.
TEST(ImportConvert, ASceneThatEndsInsideABlockIsNotAddedTo) {
    ExistingScene existing;
    existing.text = "LWSC\n1\nPreviewFirstFrame 0\nPreviewLastFrame 60\nAddNullObject open\nObjectMotion (unnamed)\n9\n2\n";
    existing.objects = 1;
    const SourceModel model = triangleModel({"Wheel"});
    EXPECT_THROW(composeScene({{&model, "w.glb", {0, 0, 0}, std::nullopt}}, {}, &existing), ImportError);
}

// glTF 1.0, text with and without its "asset" or binary, is named as such,
// not taken for a broken 2.0 file.
TEST(ImportConvert, GltfOneIsToldApart) {
    zor::test::ScratchDir dir;
    dir.write("asset.gltf", R"({"asset": {"version": "1.0"}, "meshes": {"box": {"primitives": []}}})");
    dir.write("bare.gltf", R"({"scene": "main", "nodes": {"box": {"meshes": ["box"]}}})");
    dir.write("binary.glb", zor::Bytes{'g', 'l', 'T', 'F', 1, 0, 0, 0, 20, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0});
    for (const char* name : {"asset.gltf", "bare.gltf", "binary.glb"}) {
        try {
            readGltf(dir / name);
            ADD_FAILURE() << name << " was read";
        } catch (const ImportError& e) {
            EXPECT_EQ(std::string(e.what()), (dir / name).string() + ": glTF 1.0 is not read; save it as glTF 2.0");
        }
    }
}

TEST(ImportConvert, AnglesGiveBackTheRotation) {
    // Straight down and a turn: the case where heading and bank share an axis.
    for (const Quat& q : {Quat{-0.7071068f, 0, 0, 0.7071068f}, Quat{0.3f, -0.5f, 0.2f, 0.787f},
                          Quat{0.5f, 0.5f, -0.5f, 0.5f}}) {
        const Mat3d r = mirrored(matrixOf(q));
        const auto hpb = anglesOf(r, {0, 0, 0});
        EXPECT_LT(angleBetween(rotationOfAngles(hpb), r), 1e-3);
    }
}

}  // namespace
