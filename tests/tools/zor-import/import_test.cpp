// zor-import as its users run it: sources written by an independent Python
// writer (make_sources.py) and a glTF file made by another tool, imported by
// the program, then read back by the player's own loaders and evaluated by
// its frame code.

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <algorithm>
#include <sstream>

#include <nlohmann/json.hpp>

#include "archive/data_source.h"
#include "check/check.h"
#include "frame/frame_pass.h"
#include "object/object.h"
#include "scene/scene.h"
#include "scene/scene_reader.h"
#include "child_process.h"
#include "system/process.h"

namespace fs = std::filesystem;
using zor::test::ChildProcess;

namespace {

const std::string kImporter = std::string(ZOR_BINARY_DIR) + "/tools/zor-import/zor-import";

// Sources are written once for the whole suite.
class ImportTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        root() = fs::temp_directory_path() / ("zor-import-test-" + std::to_string(zor::processId()));
        fs::remove_all(root());
        fs::create_directories(root() / "src");
        ChildProcess python({"/usr/bin/python3", std::string(ZOR_TEST_DATA_DIR) + "/make_sources.py",
                             (root() / "src").string()},
                            root(), "make_sources");
        ASSERT_TRUE(python.wait(std::chrono::seconds(120)));
        ASSERT_TRUE(python.exitedWith(0)) << python.errors();
    }
    static void TearDownTestSuite() { fs::remove_all(root()); }
    static fs::path& root() {
        static fs::path path;
        return path;
    }
    static fs::path source(const std::string& name) { return root() / "src" / name; }

    // Runs the importer; the child's output stays readable through it.
    static std::unique_ptr<ChildProcess> run(std::vector<std::string> arguments, const std::string& name = "import") {
        arguments.insert(arguments.begin(), kImporter);
        auto child = std::make_unique<ChildProcess>(arguments, root(), name);
        EXPECT_TRUE(child->wait(std::chrono::seconds(120)));
        return child;
    }
};

struct Loaded {
    zor::Scene scene;
    zor::Diagnostics diagnostics;
    std::vector<std::string> textures;
};

// The scene as the player loads it: disk first, then zor.dat.
std::unique_ptr<Loaded> load(const fs::path& folder, const std::string& sceneName = "glorp2.lws") {
    auto loaded = std::make_unique<Loaded>();
    zor::DataSource source;
    source.directory = folder;
    source.archiveName = "zor.dat";
    zor::ObjectLoader loader(
        source,
        [&](std::string_view name) {
            loaded->textures.emplace_back(name);
            return static_cast<int>(loaded->textures.size()) - 1;
        },
        &loaded->diagnostics);
    zor::SceneLoadContext context;
    context.source = source;
    context.loadObject = [&](std::string& name, zor::Mesh& mesh) { loader.loadObject(name, mesh); };
    context.diagnostics = &loaded->diagnostics;
    EXPECT_TRUE(zor::readScene(loaded->scene, sceneName, context));
    return loaded;
}

const zor::SceneObject* objectNamed(const zor::Scene& scene, const std::string& name) {
    for (const zor::SceneObject& o : scene.objects)
        if (o.name == name) return &o;
    return nullptr;
}

using zor::test::readText;

const std::string kCorpus = std::string(ZOR_CORPUS_DIR) + "/gltf-transform/";

// Every object's motion and envelopes, then each object's bones, morph and
// placement, as the frame pass does them.
void evaluate(zor::Scene& scene, float frame) {
    zor::FrameContext context;
    zor::evaluateSceneMotions(scene, frame, context);
    for (zor::SceneObject& object : scene.objects) zor::evaluateObject(object, scene, frame, context);
}

// Where the player's fixed view (45 x 34 degrees) shows a camera-space point,
// in -1..1 across and up.
std::array<double, 2> project(const float p[3]) {
    const double k = 0.01745328;
    return {p[0] / (p[2] * std::tan(22.5 * k)), p[1] / (p[2] * std::tan(17.0 * k))};
}

// The marked vertices of the animated source, on screen at three frames,
// against the reference make_sources.py computed from the glTF's own TRS
// animation (linear, stepped and cubic-spline keys, a hierarchy, a moving
// camera). Tolerance: 0.002 of the half-width, a third of a pixel at 640 x 480.
TEST_F(ImportTest, MarkedVerticesLandWhereTheSourceAnimationPutsThem) {
    const fs::path out = root() / "animated";
    auto child = run({source("animated.gltf").string(), "--out", out.string(), "--scale", "2.5"});
    ASSERT_TRUE(child->exitedWith(0)) << child->errors();
    auto loaded = load(out);
    ASSERT_FALSE(loaded->diagnostics.hasErrors());
    const nlohmann::json expected = nlohmann::json::parse(readText(source("expected.json")));
    const auto frames = expected["frames"].get<std::vector<int>>();
    constexpr double kTolerance = 0.002;
    double worst = 0;
    std::size_t checked = 0;
    for (std::size_t f = 0; f < frames.size(); ++f) {
        zor::FrameContext context;
        zor::Scene& scene = loaded->scene;
        zor::evaluateSceneMotions(scene, static_cast<float>(frames[f]), context);
        for (zor::SceneObject& object : scene.objects)
            zor::evaluateObject(object, scene, static_cast<float>(frames[f]), context);
        for (const auto& mark : expected["marks"]) {
            const std::string name = mark["object"].get<std::string>() + ".lwo";
            const zor::SceneObject* object = objectNamed(scene, name);
            ASSERT_NE(object, nullptr) << name;
            ASSERT_GT(object->pointCount, 0) << name;
            // The point at the mark's own position, in the player's space.
            const auto local = mark["local"].get<std::vector<double>>();
            const float want[3] = {static_cast<float>(local[0] * 2.5), static_cast<float>(local[1] * 2.5),
                                   static_cast<float>(-local[2] * 2.5)};
            const zor::MeshPoint* point = nullptr;
            for (const zor::MeshPoint& p : object->points)
                if (std::abs(p.position[0] - want[0]) < 1e-4 && std::abs(p.position[1] - want[1]) < 1e-4 &&
                    std::abs(p.position[2] - want[2]) < 1e-4)
                    point = &p;
            ASSERT_NE(point, nullptr) << name << " has no point at the mark";
            const auto screen = project(point->cameraSpacePosition);
            const auto reference = mark["screen"][f].get<std::vector<double>>();
            const double error = std::max(std::abs(screen[0] - reference[0]), std::abs(screen[1] - reference[1]));
            worst = std::max(worst, error);
            EXPECT_LT(error, kTolerance) << name << " at frame " << frames[f] << ": (" << screen[0] << ", "
                                         << screen[1] << ") against (" << reference[0] << ", " << reference[1] << ")";
            ++checked;
        }
    }
    EXPECT_EQ(checked, 3u * 14u);
    RecordProperty("worst_screen_error", std::to_string(worst));
    std::cout << "worst screen error of the marked vertices: " << worst << '\n';
}

// Faces the source shows from outside are the ones the player draws: front
// faces run clockwise on screen (it culls counter-clockwise ones).
TEST_F(ImportTest, FrontFacesStayFrontFaces) {
    const fs::path out = root() / "animated-faces";
    ASSERT_TRUE(run({source("animated.gltf").string(), "--out", out.string(), "--quiet"})->exitedWith(0));
    auto loaded = load(out);
    zor::FrameContext context;
    zor::evaluateSceneMotions(loaded->scene, 0.0f, context);
    for (zor::SceneObject& object : loaded->scene.objects) zor::evaluateObject(object, loaded->scene, 0.0f, context);
    // The box's face on the source's +z side looks at the camera (which
    // stands at +z); mirrored, its normal points along -z.
    const zor::SceneObject* box = objectNamed(loaded->scene, "Arm.lwo");
    ASSERT_NE(box, nullptr);
    int frontChecked = 0;
    for (const zor::MeshPolygon& polygon : box->polygons) {
        if (polygon.faceNormal[2] > -0.99f) continue;  // the source's +z face only
        const auto a = project(box->points[polygon.pointIndices[0]].cameraSpacePosition);
        const auto b = project(box->points[polygon.pointIndices[1]].cameraSpacePosition);
        const auto c = project(box->points[polygon.pointIndices[2]].cameraSpacePosition);
        EXPECT_LT((b[0] - a[0]) * (c[1] - a[1]) - (b[1] - a[1]) * (c[0] - a[0]), 0.0);
        ++frontChecked;
    }
    EXPECT_EQ(frontChecked, 2);
}

// Files written by another tool: a quad as a triangle list, a strip and a
// fan. Each becomes two triangles, facing the added default view (the
// source's front, +z, looks at it) and wholly inside the picture.
TEST_F(ImportTest, GltfFilesFromAnotherToolComeAcrossFacingTheView) {
    for (const char* name : {"Mesh_PrimitiveMode_13", "Mesh_PrimitiveMode_04", "Mesh_PrimitiveMode_12"}) {
        const fs::path out = root() / name;
        auto child = run({std::string(ZOR_TEST_DATA_DIR) + "/data/" + name + ".gltf", "--out", out.string()}, name);
        ASSERT_TRUE(child->exitedWith(0)) << child->errors();
        EXPECT_NE(child->output().find("no camera in the source: a view framing the model was added"),
                  std::string::npos);
        auto loaded = load(out);
        ASSERT_FALSE(loaded->diagnostics.hasErrors());
        zor::FrameContext context;
        zor::evaluateSceneMotions(loaded->scene, 0.0f, context);
        int triangles = 0;
        for (zor::SceneObject& object : loaded->scene.objects) {
            zor::evaluateObject(object, loaded->scene, 0.0f, context);
            for (const zor::MeshPolygon& polygon : object.polygons) {
                ASSERT_EQ(polygon.vertexCount, 3);
                std::array<std::array<double, 2>, 3> s;
                for (int k = 0; k < 3; ++k) {
                    s[k] = project(object.points[polygon.pointIndices[k]].cameraSpacePosition);
                    EXPECT_LT(std::max(std::abs(s[k][0]), std::abs(s[k][1])), 1.0) << name;
                }
                const double cross = (s[1][0] - s[0][0]) * (s[2][1] - s[0][1]) - (s[1][1] - s[0][1]) * (s[2][0] - s[0][0]);
                EXPECT_LT(cross, 0.0) << name << ": a front face would be culled";
                ++triangles;
            }
        }
        EXPECT_EQ(triangles, 2) << name;
    }
}

// A mesh of more points and polygons than an object holds becomes several
// objects below the first, every polygon kept.
TEST_F(ImportTest, LargeMeshesAreSplitIntoObjects) {
    const fs::path out = root() / "grid";
    auto child = run({source("grid.gltf").string(), "--out", out.string(), "--scale", "0.2"});
    ASSERT_TRUE(child->exitedWith(0)) << child->errors();
    EXPECT_NE(child->output().find("renamed"), std::string::npos);
    auto loaded = load(out);
    int objects = 0, polygons = 0;
    const zor::SceneObject* first = nullptr;
    for (const zor::SceneObject& o : loaded->scene.objects) {
        if (o.polygonCount == 0) continue;
        ++objects;
        polygons += o.polygonCount;
        if (objects > 1) EXPECT_EQ(o.parent, first);
        else first = &o;
    }
    EXPECT_EQ(objects, 3);  // 134162 triangles: three objects of at most 65535
    EXPECT_EQ(polygons, 2 * 259 * 259);
}

// OBJ: texture coordinates that a planar projection gives travel as that
// projection in a LightWave object, and come back as the same coordinates.
// The sources lie in a folder whose name holds a colon, which the MTL's
// search path must not split.
TEST_F(ImportTest, ObjTexturesFollowingAPlaneBecomeAPlanarMap) {
    const fs::path out = root() / "quad";
    const fs::path from = root() / "src" / "quad:folder";
    fs::create_directories(from);
    for (const char* name : {"quad.obj", "quad.mtl", "quad.png"}) fs::copy_file(source(name), from / name);
    auto child = run({(from / "quad.obj").string(), "--out", out.string()});
    ASSERT_TRUE(child->exitedWith(0)) << child->errors();
    EXPECT_TRUE(fs::exists(out / "Quad.lwo"));
    EXPECT_FALSE(fs::exists(out / "Quad.3d"));
    EXPECT_TRUE(fs::exists(out / "quad.jpg"));
    auto loaded = load(out);
    ASSERT_EQ(loaded->textures, std::vector<std::string>{"quad.jpg"});
    const zor::SceneObject* quad = objectNamed(loaded->scene, "Quad.lwo");
    ASSERT_NE(quad, nullptr);
    ASSERT_EQ(quad->polygonCount, 2);
    const zor::MeshPolygon& tiles = quad->polygons[0];
    ASSERT_TRUE(tiles.flags & zor::textured);
    // OBJ's v runs up the image as the player's does: (-2,-1) is (0,0), (2,1) is (1,1).
    for (int k = 0; k < tiles.vertexCount; ++k) {
        const float* p = quad->points[tiles.pointIndices[k]].position;
        EXPECT_NEAR(tiles.u[k], (p[0] + 2) / 4, 1e-4);
        EXPECT_NEAR(tiles.v[k], (p[1] + 1) / 2, 1e-4);
    }
    // The painted face: its colour, untextured (MTL Kd 0.2 0.4 0.8 at half intensity).
    const zor::MeshPolygon& paint = quad->polygons[1];
    EXPECT_FALSE(paint.flags & zor::textured);
    EXPECT_EQ(paint.colorRed, 51 >> 1);
    EXPECT_EQ(paint.colorGreen, 102 >> 1);
    EXPECT_EQ(paint.colorBlue, 204 >> 1);
}

// The command line as a user meets it.
TEST_F(ImportTest, RefusesToReplaceFilesWithoutForce) {
    const fs::path out = root() / "guarded";
    ASSERT_TRUE(run({source("quad.obj").string(), "--out", out.string(), "-q"})->exitedWith(0));
    const std::string before = readText(out / "glorp2.lws");
    std::ofstream(out / "glorp2.lws") << "mine";
    auto again = run({source("animated.gltf").string(), "--out", out.string()}, "again");
    EXPECT_TRUE(again->exitedWith(1));
    EXPECT_NE(again->errors().find("glorp2.lws"), std::string::npos) << again->errors();
    EXPECT_EQ(readText(out / "glorp2.lws"), "mine");
    EXPECT_FALSE(fs::exists(out / "Arm.3d")) << "nothing is written when something is refused";
    auto forced = run({source("animated.gltf").string(), "--out", out.string(), "--force", "-q"}, "forced");
    EXPECT_TRUE(forced->exitedWith(0)) << forced->errors();
    EXPECT_NE(readText(out / "glorp2.lws"), "mine");
    (void)before;
}

TEST_F(ImportTest, UsageAndFileErrorsHaveTheirStatus) {
    EXPECT_TRUE(run({source("quad.obj").string()}, "no-out")->exitedWith(2));
    EXPECT_TRUE(run({source("quad.obj").string(), "--out", "x", "--scale", "-1"}, "scale")->exitedWith(2));
    EXPECT_TRUE(run({source("quad.obj").string(), "--out", "x", "--scene", "a/b.lws"}, "scene")->exitedWith(2));
    auto missing = run({(root() / "nothing.gltf").string(), "--out", (root() / "x").string()}, "missing");
    EXPECT_TRUE(missing->exitedWith(1));
    EXPECT_NE(missing->errors().find("nothing.gltf: no such file"), std::string::npos) << missing->errors();
    auto notMp3 = run({source("quad.obj").string(), "--out", (root() / "y").string(), "--music",
                       source("quad.png").string()},
                      "music");
    EXPECT_TRUE(notMp3->exitedWith(1));
    EXPECT_NE(notMp3->errors().find("quad.png: is not an MP3 file"), std::string::npos) << notMp3->errors();
    EXPECT_FALSE(fs::exists(root() / "y" / "glorp2.lws"));
    auto version = run({"--version"}, "version");
    EXPECT_TRUE(version->exitedWith(0));
    EXPECT_EQ(version->output().rfind("zor-import ", 0), 0u);
}

// --pack: one archive the player reads the whole scene from, and the music.
TEST_F(ImportTest, PackedFolderPlaysFromTheArchive) {
    const fs::path out = root() / "packed";
    const fs::path mp3 = root() / "song.mp3";
    std::ofstream(mp3, std::ios::binary) << "ID3\x03\x00 not really music";
    auto child = run({source("animated.gltf").string(), "--out", out.string(), "--pack", "--music", mp3.string(),
                      "--scene", "other.lws"});
    ASSERT_TRUE(child->exitedWith(0)) << child->errors();
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(out)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{".zor-files", "mp3.mp3", "zor.dat"}));
    EXPECT_EQ(readText(out / ".zor-files"), "zor.dat\nmp3.mp3\n") << "what a later build may replace";
    auto loaded = load(out, "other.lws");
    EXPECT_FALSE(loaded->diagnostics.hasErrors());
    EXPECT_GT(objectNamed(loaded->scene, "Arm.lwo")->polygonCount, 0);
    EXPECT_GT(objectNamed(loaded->scene, "Gem.lwo")->polygonCount, 0);
}

// An untouched import checks clean and shows its images near their own
// colours: what the importer writes is all read by the player (no skipped
// keywords, a logo), and the default light brings a face turned to the view
// to 255, where a textured polygon shows its image as it is. The count of
// frames is the player's own.
TEST_F(ImportTest, FreshImportChecksCleanAndShowsItsImagesAtTheirOwnColours) {
    const fs::path out = root() / "clean";
    auto child = run({source("quad.obj").string(), "--out", out.string()});
    ASSERT_TRUE(child->exitedWith(0)) << child->errors();
    EXPECT_NE(child->output().find("the scene's range 0 to 303: the player shows 304 frames"), std::string::npos)
        << child->output();
    zor::DataSource data;
    data.directory = out;
    data.archiveName = "zor.dat";
    for (const zor::check::Finding& f : zor::check::checkScene(data, "glorp2.lws")) ADD_FAILURE() << f.format();

    auto loaded = load(out);
    evaluate(loaded->scene, 0.0f);
    const zor::SceneObject* quad = objectNamed(loaded->scene, "Quad.lwo");
    ASSERT_NE(quad, nullptr);
    const zor::MeshPolygon& tiles = quad->polygons[0];
    ASSERT_TRUE(tiles.flags & zor::textured);
    EXPECT_FALSE(tiles.flags & zor::doubleSided);
    for (int k = 0; k < tiles.vertexCount; ++k)
        EXPECT_GE(quad->points[tiles.pointIndices[k]].lightRed, 250u) << "corner " << k;
}

// OBJ cannot say a surface is double-sided; --double-sided says it for it.
TEST_F(ImportTest, DoubleSidedIsGivenWhereTheSourceCannotSayIt) {
    const fs::path out = root() / "double-sided";
    ASSERT_TRUE(run({source("quad.obj").string(), "--out", out.string(), "--double-sided", "-q"})->exitedWith(0));
    auto loaded = load(out);
    const zor::SceneObject* quad = objectNamed(loaded->scene, "Quad.lwo");
    ASSERT_NE(quad, nullptr);
    for (const zor::MeshPolygon& polygon : quad->polygons) EXPECT_TRUE(polygon.flags & zor::doubleSided);
}

// A model in millimetres with its own camera 1500 units away lies beyond the
// view's far end, where the player shows nothing: it is scaled, camera and
// all, and shows as its camera framed it, well within the view.
TEST_F(ImportTest, ABigModelWithItsOwnCameraIsScaledIntoTheView) {
    const fs::path out = root() / "big";
    auto child = run({source("big.gltf").string(), "--out", out.string()});
    ASSERT_TRUE(child->exitedWith(0)) << child->errors();
    EXPECT_NE(child->output().find("big.gltf scaled by 0.05, camera and all"), std::string::npos) << child->output();
    EXPECT_EQ(child->errors().find("warning"), std::string::npos) << child->errors();
    auto loaded = load(out);
    evaluate(loaded->scene, 0.0f);
    const zor::SceneObject* block = objectNamed(loaded->scene, "Block.lwo");
    ASSERT_NE(block, nullptr);
    double top = 0;
    for (const zor::MeshPoint& p : block->points) {
        EXPECT_GT(p.cameraSpacePosition[2], 1.0f);
        EXPECT_LT(p.cameraSpacePosition[2], 98.0f);
        top = std::max(top, project(p.cameraSpacePosition)[1]);
    }
    // The front face's top edge, 200 above the middle and 1300 ahead in the source.
    EXPECT_NEAR(top, 200 / (1300 * std::tan(17.0 * 0.01745328)), 1e-3);
}

// A cube with one morph target, written by another glTF writer: the target
// becomes a hidden twin object the cube morphs towards, its keyed weight the
// morph envelope.
TEST_F(ImportTest, MorphTargetBecomesThePlayersMorph) {
    const fs::path out = root() / "morph";
    auto child = run({kCorpus + "morph_cube.gltf", "--out", out.string()});
    ASSERT_TRUE(child->exitedWith(0)) << child->errors();
    EXPECT_EQ(child->output().find("did not come across"), std::string::npos) << child->output();
    auto loaded = load(out);
    zor::SceneObject* cube = nullptr;
    for (zor::SceneObject& o : loaded->scene.objects)
        if (o.name == "Cube.lwo") cube = &o;
    ASSERT_NE(cube, nullptr);
    ASSERT_EQ(cube->hasMorph, 1);
    const zor::SceneObject* twin = objectNamed(loaded->scene, "Cube_morph.lwo");
    ASSERT_NE(twin, nullptr);
    EXPECT_EQ(twin->hasDissolve, 1);
    // The top (y = 1) rises by the weight: 30 / 30.3 at frame 30, on its way to 1 at 1 s.
    for (const auto& [frame, lift] : {std::pair{0.0f, 0.0f}, std::pair{30.0f, 30.0f / 30.3f}}) {
        evaluate(loaded->scene, frame);
        float top = -1e9f;
        for (const zor::MeshPoint& p : cube->points) top = std::max(top, p.position[1]);
        EXPECT_NEAR(top, 1.0f + lift, 1e-3) << "frame " << frame;
    }
}

// A two-joint arm skinned by another glTF writer: it comes across as rigid
// pieces, each on its strongest joint, so the elbow's keys bend it; the note
// gives the share of vertices weighted to more than one joint.
TEST_F(ImportTest, SkinnedArmBendsWithItsJoint) {
    const fs::path out = root() / "arm";
    auto child = run({kCorpus + "arm.glb", "--out", out.string()});
    ASSERT_TRUE(child->exitedWith(0)) << child->errors();
    EXPECT_NE(child->output().find("skinned mesh Arm split into 2 rigid pieces by each vertex's strongest joint, each "
                                   "hung on its joint (Upper and Lower) so the skeleton's animation moves it; 60% of "
                                   "its vertices (12 of 20) have a strongest weight below 1"),
              std::string::npos)
        << child->output();
    EXPECT_EQ(child->output().find("skins"), std::string::npos) << child->output();
    auto loaded = load(out);
    // At frame 60 (1.98 s) the elbow has turned 45 degrees a second about
    // the source's +z; the tip's corner (2, 0.15, 0.15) turns about (1, 0, 0).
    evaluate(loaded->scene, 60.0f);
    const double a = 45.0 * 60.0 / 30.3 * 3.14159265358979 / 180;
    const double want[3] = {1 + std::cos(a) - 0.15 * std::sin(a), std::sin(a) + 0.15 * std::cos(a), -0.15};
    const zor::SceneObject* lower = objectNamed(loaded->scene, "Arm_Lower.lwo");
    ASSERT_NE(lower, nullptr);
    const float* eye = loaded->scene.camera.motion.value;  // the framing view: not turned
    double nearest = 1e9;
    for (const zor::MeshPoint& p : lower->points) {
        double d = 0;
        for (int c = 0; c < 3; ++c) d += std::pow(p.cameraSpacePosition[c] + eye[c] - want[c], 2);
        nearest = std::min(nearest, std::sqrt(d));
    }
    EXPECT_LT(nearest, 1e-3);
}

// The artist's way: two models into one scene, a third added to it; each
// below the null named after its file, the scene read back whole.
TEST_F(ImportTest, ThreeSourcesMakeOneSceneThatPlays) {
    const fs::path out = root() / "three";
    ASSERT_TRUE(run({source("quad.obj").string(), kCorpus + "arm.glb", "--out", out.string(), "--at", "0,0,0", "--at",
                     "3,0,0", "-q"})
                    ->exitedWith(0));
    auto child = run({kCorpus + "morph_cube.gltf", "--add-to", out.string(), "--at", "-3,0,0"}, "third");
    ASSERT_TRUE(child->exitedWith(0)) << child->errors();
    auto loaded = load(out);
    ASSERT_FALSE(loaded->diagnostics.hasErrors());
    zor::SceneSourceLines lines;
    zor::Scene scene;
    zor::parseScene(scene, readText(out / "glorp2.lws"), "glorp2.lws", {}, nullptr, &lines);
    std::vector<std::string> roots;
    for (std::size_t i = 0; i < scene.objects.size(); ++i)
        if (!scene.objects[i].parent && !lines.nullNames[i].empty()) roots.push_back(lines.nullNames[i]);
    EXPECT_EQ(roots, (std::vector<std::string>{"quad_obj", "arm_glb", "morph_cube_gltf"}));
    for (const char* name : {"Quad.lwo", "Arm_Upper.lwo", "Arm_Lower.lwo", "Cube.lwo"}) {
        const zor::SceneObject* object = objectNamed(loaded->scene, name);
        ASSERT_NE(object, nullptr) << name;
        EXPECT_GT(object->polygonCount, 0) << name;
    }
}

// --add-to on a packed folder: the new files and the longer scene go into
// zor.dat, the old scene's text stays at its start, and no loose file or
// lock is left beside it.
TEST_F(ImportTest, AddingToAPackedFolderWritesIntoItsArchive) {
    const fs::path out = root() / "added";
    ASSERT_TRUE(run({source("quad.obj").string(), "--out", out.string(), "--pack", "-q"})->exitedWith(0));
    std::string before;
    {
        zor::PackFile pack((out / "zor.dat").string());
        const auto scene = pack.readEntry("glorp2.lws");
        ASSERT_TRUE(scene);
        before.assign(scene->begin(), scene->end());
    }
    auto child = run({kCorpus + "morph_cube.gltf", "--add-to", out.string(), "--at", "4,0,0"}, "add");
    ASSERT_TRUE(child->exitedWith(0)) << child->errors();
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(out)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{".zor-files", "zor.dat"}));
    zor::PackFile pack((out / "zor.dat").string());
    const auto scene = pack.readEntry("glorp2.lws");
    ASSERT_TRUE(scene);
    EXPECT_EQ(std::string(scene->begin(), scene->end()).substr(0, before.size()), before);
    auto loaded = load(out);
    const zor::SceneObject* cube = objectNamed(loaded->scene, "Cube.lwo");
    ASSERT_NE(cube, nullptr);
    ASSERT_NE(cube->parent, nullptr);
    EXPECT_FLOAT_EQ(cube->parent->motion.keys[0].value[0], 4.0f) << "the cube's root stands at --at";
    // Two of the quad (its root and itself), three of the cube (its root, itself and its twin).
    EXPECT_NE(child->output().find("glorp2.lws holds 5 objects"), std::string::npos) << child->output();
}

}  // namespace
