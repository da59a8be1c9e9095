// The conversion on models built in memory, for what a file would only hide:
// angles across whole turns, names the formats cannot hold, sampled keys.

#include <gtest/gtest.h>

#include <cmath>

#include "convert.h"
#include "motion_math.h"
#include "scene/scene.h"
#include "scene/scene_reader.h"

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
    ASSERT_EQ(scene.objects.size(), 1u);
    const zor::Motion& motion = scene.objects[0].motion;
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
    ASSERT_EQ(scene.objects.size(), 5u);
    EXPECT_EQ(scene.objects.back().name, "NULL");
    std::set<std::string> lower;
    for (const zor::SceneObject& o : scene.objects) {
        EXPECT_LE(o.name.size(), zor::kMaxStoredObjectName) << o.name;
        std::string l = o.name;
        for (char& ch : l) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
        lower.insert(l);
    }
    EXPECT_EQ(lower.size(), 5u) << "object names must differ regardless of letter case";
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
    const zor::Motion& motion = scene.objects[0].motion;
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
