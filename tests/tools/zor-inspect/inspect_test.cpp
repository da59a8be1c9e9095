// zor-inspect run as a program over a scene written to a temporary folder:
// hierarchy, bones, a morph, lights, a textured surface, a hidden object, and
// one object that only the archive holds.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <vector>

#include "archive/pack_file.h"
#include "child_process.h"
#include "scratch_dir.h"
#include "writers/jpeg_writer.h"
#include "writers/lwob_writer.h"

namespace zor {
namespace {

namespace fs = std::filesystem;
using Json = nlohmann::json;

using write::LwObject;
using write::LwSurface;
using write::LwTextureMap;

// An LWOB file: points, one polygon per entry of `polygons` (all of surface 1).
Bytes lwob(const std::vector<std::array<float, 3>>& points, const std::vector<std::vector<std::uint16_t>>& polygons,
           const LwSurface& surface) {
    LwObject object{points, {}, {surface}};
    for (const auto& polygon : polygons) object.polygons.push_back({polygon, 1});
    return write::writeLwob(object);
}

LwSurface surface(const std::string& name, std::array<std::uint8_t, 3> color) {
    LwSurface s;
    s.name = name;
    s.color = color;
    return s;
}

// A planar image map along y, of size 1.
LwSurface imageSurface(const std::string& name, const std::string& image) {
    LwSurface s = surface(name, {200, 200, 200});
    s.texture = LwTextureMap{};
    s.texture->mapping = "Planar Image Map";
    s.texture->image = image;
    return s;
}

// Smooth, planar z map of size 2.
LwSurface woodSurface() {
    LwSurface s = imageSurface("Wood", "C:\\tex\\wood.jpg");
    s.color = {200, 100, 50};
    s.flags = write::lwSmoothing;
    s.texture->axisFlags = 0x4;
    s.texture->size = {2, 2, 2};
    return s;
}

LwSurface redSurface() { return surface("Red", {255, 0, 0}); }

std::string constantMotion(const std::string& keyword, const std::string& values) {
    return keyword + " (unnamed)\n  9\n  1\n  " + values + "\n  0 0 0.0 0.0 0.0\nEndBehavior 1\n";
}

const char* kScene = R"(LWSC
1

FirstFrame 1
LastFrame 60
FrameStep 1
PreviewFirstFrame 0
PreviewLastFrame 60
PreviewFrameStep 2
FramesPerSecond 30

LoadObject Objects\base.lwo
@BASE@ShadowOptions 2

AddNullObject Pivot
ObjectMotion (unnamed)
  9
  2
  0 0 0 0 0 0 1 1 1
  0 1 0.0 0.0 0.0
  10 0 0 0 0 0 1 1 1
  10 1 0.0 0.0 0.0
EndBehavior 1
ParentObject 1

LoadObject Objects\box.lwo
@ZERO@ParentObject 2
Metamorph 0.5
MorphTarget 4

LoadObject target.lwo
@ZERO@ObjDissolve 1.0

LoadObject boned.lwo
@ZERO@AddBone
BoneName Bone
@BONE@BoneRestPosition 0 0 0
BoneRestDirection 0 0 0
BoneRestLength 1
BoneStrength 1
ScaleBoneStrength 1

AddLight
LightName Lamp
@LAMP@LightColor 255 128 3
LightType 1
LgtIntensity 0.8
LensFlare 1
ParentObject 2

AddLight
LightName Sun
@ZERO@LightColor 252 252 252
LightType 0
LgtIntensity 1

@CAMERA@ZoomFactor 3.2
)";

std::string sceneText() {
    std::string text = kScene;
    auto put = [&](const std::string& key, const std::string& value) {
        for (std::size_t at; (at = text.find(key)) != std::string::npos;) text.replace(at, key.size(), value);
    };
    put("@BASE@", constantMotion("ObjectMotion", "0 0 0 0 0 0 1 1 1"));
    put("@ZERO@", constantMotion("ObjectMotion", "0 0 0 0 0 0 1 1 1"));
    put("@BONE@", constantMotion("BoneMotion", "0 0 0 0 0 0 1 1 1"));
    put("@LAMP@", constantMotion("LightMotion", "0 3 0 0 0 0 1 1 1"));
    put("@CAMERA@", constantMotion("CameraMotion", "0 0 -10 0 0 0 1 1 1"));
    return text;
}

class InspectTest : public testing::Test {
protected:
    test::ScratchDir scratch;
    const fs::path& dir = scratch.path();

    void SetUp() override {
        const std::vector<std::array<float, 3>> quad = {{0, 0, 0}, {0, 1, 0}, {1, 1, 0}, {1, 0, 0}};
        const std::vector<std::array<float, 3>> raised = {{0, 2, 0}, {0, 3, 0}, {1, 3, 0}, {1, 2, 0}};
        write("base.lwo", lwob({{0, 0, 0}, {0, 1, 0}, {1, 0, 0}}, {{0, 1, 2}}, woodSurface()));
        write("box.lwo", lwob(quad, {{0, 1, 2, 3}}, redSurface()));
        write("boned.lwo", lwob({{0, 0, 0.5f}, {0, 0.2f, 0.5f}, {0.2f, 0, 0.5f}}, {{0, 1, 2}}, redSurface()));
        std::ofstream(dir / "scene.lws") << sceneText();
        // The morph target is only in the archive.
        PackFile pack((dir / "zor.dat").string());
        ASSERT_TRUE(pack.addData(lwob(raised, {{0, 1, 2, 3}}, redSurface()), "target.lwo")) << pack.error();
        ASSERT_TRUE(pack.flush()) << pack.error();
    }
    void write(const std::string& name, const Bytes& data) { scratch.write(name, data); }

    test::ShellRun run(const std::string& arguments) {
        // Bounds on CPU seconds and output size turn a runaway into a failure.
        return test::runShell(std::string("ulimit -t 30; ulimit -f 400000; '") + ZOR_INSPECT_PATH + "' " + arguments,
                              dir, test::Streams::Separate, "inspect");
    }

    Json runJson(const std::string& arguments) {
        test::ShellRun r = run(arguments);
        EXPECT_EQ(r.status, 0) << r.err;
        return Json::parse(r.out);
    }

    std::string dirArg() const { return "--dir '" + dir.string() + "'"; }
};

void expectNumbers(const Json& values, std::initializer_list<double> expected, double tol = 1e-5) {
    ASSERT_TRUE(values.is_array()) << values.dump();
    ASSERT_EQ(values.size(), expected.size()) << values.dump();
    std::size_t i = 0;
    for (double e : expected) EXPECT_NEAR(values[i++].get<double>(), e, tol) << values.dump();
}

TEST_F(InspectTest, JsonAtAFrame) {
    const Json doc = runJson(dirArg() + " --frame 5 --json scene.lws");
    EXPECT_EQ(doc["scene"], Json::parse(R"({"firstFrame":0,"lastFrame":60,"frameStep":2,"framesPerSecond":30.0})"));
    EXPECT_EQ(doc["frame"], 5.0);
    expectNumbers(doc["camera"]["viewRotation"], {1, 0, 0, 0, 1, 0, 0, 0, 1});
    expectNumbers(doc["camera"]["cameraPosition"], {0, 0, -10});
    EXPECT_EQ(doc["textures"], Json::parse(R"(["wood.jpg"])"));

    const Json& objects = doc["objects"];
    ASSERT_EQ(objects.size(), 5u);
    const char* names[] = {"base.lwo", "NULL", "box.lwo", "target.lwo", "boned.lwo"};
    const Json parents[] = {nullptr, 0, 1, nullptr, nullptr};
    for (std::size_t i = 0; i < 5; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(objects[i]["name"], names[i]);
        EXPECT_EQ(objects[i]["parent"], parents[i]);
        EXPECT_EQ(objects[i]["visible"], i != 3);
        EXPECT_EQ(objects[i]["points"].size(), objects[i]["pointCount"].get<std::size_t>());
        EXPECT_EQ(objects[i]["polygons"].size(), objects[i]["polygonCount"].get<std::size_t>());
    }

    // The textured triangle, facing the camera: planar z map of size 2.
    const Json& base = objects[0];
    EXPECT_EQ(base["shadowOptions"], 2);
    const Json& wood = base["polygons"][0];
    EXPECT_EQ(wood["flags"], 0x06);
    EXPECT_EQ(wood["color"], Json::parse("[100,50,25]"));
    EXPECT_EQ(wood["textureIndex"], 0);
    EXPECT_EQ(wood["pointIndices"], Json::parse("[0,1,2]"));
    expectNumbers(wood["u"], {0.5, 0.5, 1});
    expectNumbers(wood["v"], {0.5, 1, 0.5});
    expectNumbers(wood["faceNormal"], {0, 0, -1});
    const Json& corner = base["points"][2];
    expectNumbers(corner["position"], {1, 0, 0});
    expectNumbers(corner["cameraSpacePosition"], {1, 0, 10});
    expectNumbers(corner["cameraSpaceNormal"], {0, 0, -1});
    // The sun straight on gives 2 * 63; the lamp lies in the triangle's plane and adds nothing.
    EXPECT_EQ(corner["light"], Json::parse("[126,126,126]"));

    // The null moves linearly to x = 5 at frame 5; the box follows it and is
    // morphed halfway to the raised target.
    expectNumbers(objects[1]["motion"], {5, 0, 0, 0, 0, 0, 1, 1, 1});
    EXPECT_EQ(objects[1]["nullName"], "Pivot");
    EXPECT_EQ(objects[1]["number"], 2);
    EXPECT_EQ(objects[0]["nullName"], nullptr);
    const Json& box = objects[2];
    EXPECT_EQ(box["hasMorph"], true);
    EXPECT_EQ(box["polygons"][0]["flags"], 0x01);
    EXPECT_EQ(box["polygons"][0]["color"], Json::parse("[127,0,0]"));
    expectNumbers(box["points"][2]["position"], {1, 2, 0});
    expectNumbers(box["points"][2]["cameraSpacePosition"], {6, 2, 10});

    // Hidden by its dissolve: nothing evaluated for its points.
    const Json& target = objects[3];
    EXPECT_EQ(target["hasDissolve"], true);
    EXPECT_TRUE(target["points"][0]["cameraSpacePosition"].is_null());
    EXPECT_TRUE(target["points"][0]["light"].is_null());
    expectNumbers(target["points"][0]["position"], {0, 2, 0});

    // One bone at its rest pose keeps the points where they were loaded.
    const Json& boned = objects[4];
    EXPECT_EQ(boned["boneCount"], 1);
    expectNumbers(boned["points"][1]["position"], {0, 0.2, 0.5}, 1e-4);
    expectNumbers(boned["points"][1]["cameraSpacePosition"], {0, 0.2, 10.5}, 1e-4);

    const Json& lights = doc["lights"];
    ASSERT_EQ(lights.size(), 2u);
    EXPECT_EQ(lights[0]["lightType"], 1);
    EXPECT_EQ(lights[0]["parent"], 1);
    EXPECT_EQ(lights[0]["color"], Json::parse("[63,32,0]"));
    EXPECT_EQ(lights[0]["lensFlare"], 1);
    EXPECT_NEAR(lights[0]["intensity"].get<double>(), 0.8, 1e-7);
    expectNumbers(lights[0]["viewPosition"], {5, 3, 10});
    expectNumbers(lights[0]["viewDirection"], {0, 0, 1});
    EXPECT_EQ(lights[1]["parent"], nullptr);
    EXPECT_EQ(lights[1]["color"], Json::parse("[63,63,63]"));
}

TEST_F(InspectTest, JsonWithoutAFrameHasNoEvaluatedFields) {
    const Json doc = runJson(dirArg() + " --json scene.lws");
    EXPECT_TRUE(doc["frame"].is_null());
    EXPECT_TRUE(doc["camera"]["viewRotation"].is_null());
    EXPECT_TRUE(doc["camera"]["cameraPosition"].is_null());
    for (const Json& light : doc["lights"]) {
        EXPECT_TRUE(light["intensity"].is_null());
        EXPECT_TRUE(light["viewPosition"].is_null());
        EXPECT_TRUE(light["viewDirection"].is_null());
    }
    for (const Json& object : doc["objects"]) {
        EXPECT_TRUE(object["motion"].is_null());
        for (const Json& point : object["points"]) {
            EXPECT_TRUE(point["cameraSpacePosition"].is_null());
            EXPECT_TRUE(point["cameraSpaceNormal"].is_null());
            EXPECT_TRUE(point["light"].is_null());
        }
    }
    // As loaded: the box is not yet morphed.
    expectNumbers(doc["objects"][2]["points"][2]["position"], {1, 1, 0});
}

TEST_F(InspectTest, FloatsHaveNineSignificantDigits) {
    const test::ShellRun r = run(dirArg() + " --frame 5 --json scene.lws");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("\"intensity\": 0.800000012"), std::string::npos) << r.out.substr(0, 2000);
}

TEST_F(InspectTest, SummaryShowsTheTree) {
    const test::ShellRun r = run(dirArg() + " scene.lws");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("frames 0 to 60"), std::string::npos) << r.out;
    // Numbered from 1 as the scene counts (ParentObject 2 is the null), the
    // null by its name.
    EXPECT_NE(r.out.find("  [1] base.lwo: 3 points, 1 polygons"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("    [2] Pivot (null): 0 points"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("      [3] box.lwo: 4 points, 1 polygons, morph"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("1 bones"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("[1] point, colour (63, 32, 0), parent [2] Pivot (null), lens flare"), std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("[0] wood.jpg"), std::string::npos) << r.out;
}

// A chain of 50 000 objects whose last one carries a chain of 65 000 bones.
// Every object and bone is placed once per frame (it used to be placed again
// for each item below it), the tree is printed without recursion and with
// bounded indentation. The 30 s CPU limit of run() is over ten times what
// this takes under the sanitizers; the old quadratic evaluation needed
// minutes.
TEST_F(InspectTest, DeepHierarchiesCostOneStepPerItem) {
    constexpr int kObjects = 50000, kBones = 65000;
    {
        std::ofstream text(dir / "deep.lws");
        text << "LWSC\n1\n\nPreviewFirstFrame 0\nPreviewLastFrame 60\nPreviewFrameStep 1\nFramesPerSecond 30\n";
        const std::string move = constantMotion("ObjectMotion", "1 0 0 0 0 0 1 1 1");
        for (int i = 0; i < kObjects; ++i) {
            text << "AddNullObject N\n" << move;
            if (i > 0) text << "ParentObject " << i << '\n';
        }
        const std::string bone = constantMotion("BoneMotion", "0 0 1 0 0 0 1 1 1");
        for (int i = 0; i < kBones; ++i) {
            text << "AddBone\n" << bone << "BoneRestLength 1\nBoneStrength 1\n";
            if (i > 0) text << "ParentObject " << i << '\n';
        }
    }
    const test::ShellRun r = run("--dir '" + dir.string() + "' --frame 1 deep.lws");
    ASSERT_EQ(r.status, 0) << "ended by the CPU limit or a crash; " << r.err.substr(0, 500);
    EXPECT_NE(r.out.find("(level 49999) [50000] N (null): 0 points, 0 polygons, 65000 bones at (1, 0, 0)\n"),
              std::string::npos);
    std::size_t longest = 0;
    for (std::size_t at = 0, end; (end = r.out.find('\n', at)) != std::string::npos; at = end + 1)
        longest = std::max(longest, end - at);
    EXPECT_LT(longest, 200u);
}

TEST_F(InspectTest, WarningsGoToStandardError) {
    std::ofstream(dir / "scene.lws", std::ios::app) << "LoadObject missing.lwo\n";
    const test::ShellRun r = run(dirArg() + " --json scene.lws");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("missing"), std::string::npos) << r.err;
    EXPECT_EQ(Json::parse(r.out)["objects"].size(), 6u);  // stdout is still pure JSON
}

TEST_F(InspectTest, FailuresAndUsage) {
    test::ShellRun r = run(dirArg() + " nothing.lws");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("nothing.lws"), std::string::npos) << r.err;
    EXPECT_TRUE(r.out.empty());
    fs::create_directories(dir / "folder.lws");
    r = run(dirArg() + " folder.lws");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("folder.lws: is a folder"), std::string::npos) << r.err;
    r = run("--dir '" + (dir / "nowhere").string() + "' scene.lws");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("nowhere: no such folder"), std::string::npos) << r.err;
    for (const char* arguments : {"--frame abc scene.lws", "--bogus scene.lws", "--frame nan scene.lws",
                                  "--frame inf scene.lws", "--frame -inf scene.lws", "a.lws b.lws"})
        EXPECT_EQ(run(arguments).status, 2) << arguments;
    // Without a scene named, the player's own: "zor-inspect --dir FOLDER --check".
    fs::copy_file(dir / "scene.lws", dir / "glorp2.lws");
    r = run(dirArg() + " --check");
    EXPECT_NE(r.err.find("zor-inspect: glorp2.lws: "), std::string::npos) << r.err;
    EXPECT_EQ(run(dirArg()).status, 0);
    r = run("--help");
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("--frame"), std::string::npos);
    r = run("--version");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "zor-inspect " ZOR_VERSION "\n");
}

// The morph target lives only in the archive; an archive that cannot be
// used is an error, and the run fails though the rest is printed.
TEST_F(InspectTest, LoadingErrorsFailTheRun) {
    fs::remove(dir / "zor.dat");
    std::ofstream(dir / "zor.dat", std::ios::binary) << "short:-)";
    const test::ShellRun r = run(dirArg() + " scene.lws");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("zor.dat: damaged archive: trailer is truncated"), std::string::npos) << r.err;
    EXPECT_NE(r.out.find("5 objects"), std::string::npos) << r.out;
}

// Names from older systems are often Latin-1: they reach the JSON as
// Latin-1 characters instead of aborting the program.
TEST_F(InspectTest, NamesThatAreNotUtf8AreReadAsLatin1) {
    write("bo\xEEte.lwo", lwob({{0, 0, 0}, {0, 1, 0}, {1, 0, 0}}, {{0, 1, 2}}, imageSurface("Caf\xE9", "caf\xE9.jpg")));
    std::ofstream(dir / "scene.lws", std::ios::app) << "LoadObject bo\xEEte.lwo\n";
    const Json doc = runJson(dirArg() + " --json scene.lws");
    EXPECT_EQ(doc["objects"][5]["name"], "bo\u00EEte.lwo");
    EXPECT_EQ(doc["textures"][1], "caf\u00E9.jpg");
}

TEST_F(InspectTest, ArchiveNameIsAnOption) {
    fs::rename(dir / "zor.dat", dir / "other.dat");
    test::ShellRun r = run(dirArg() + " --json scene.lws");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(Json::parse(r.out)["objects"][3]["pointCount"], 0);  // target not found
    r = run(dirArg() + " --archive other.dat --json scene.lws");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(Json::parse(r.out)["objects"][3]["pointCount"], 4);
}

}  // namespace
}  // namespace zor

namespace zor {
namespace {

// --check on small scenes that each hold one fault: the finding's file, line
// and severity, and the exit status. Every scene starts with the four header
// lines, so its body starts on line 5, and ends with a camera at z = -10
// looking along +z.
struct CheckCase {
    const char* what;
    std::string body;
    const char* finding;  // expected in standard output
    int status;
};

TEST_F(InspectTest, CheckFindsEachFaultOnItsLine) {
    const std::vector<std::array<float, 3>> quad = {{0, 0, 0}, {0, 1, 0}, {1, 1, 0}, {1, 0, 0}};
    write("quad.lwo", lwob(quad, {{0, 1, 2, 3}}, redSurface()));
    write("AnObjectNameTooLongForTheArchive.lwo", lwob(quad, {{0, 1, 2, 3}}, redSurface()));
    write("missing.lwo", lwob(quad, {{0, 1, 2, 3}}, imageSurface("Picture", "Images\\nowhere.jpg")));
    write("png.lwo", lwob(quad, {{0, 1, 2, 3}}, imageSurface("Picture", "grain.jpg")));
    write("grain.jpg", {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n', 0, 0, 0, 13});
    write("broken.lwo", lwob(quad, {{0, 1, 2, 3}}, imageSurface("Picture", "broken.jpg")));
    write("broken.jpg", {0xFF, 0xD8, 0xFF, 0xE0, 0, 2, 0xFF, 0xD9});
    const std::string light = "AddLight\nLightType 0\nLgtIntensity 1\n";
    const std::vector<CheckCase> cases = {
        {"MissingObject", "LoadObject Objects\\gone.lwo\n",
         "check.lws:5: error: gone.lwo: object file not found on disk or in the archive, nor its binary mesh gone.3d "
         "(looked in ",
         1},
        {"MissingImage", "LoadObject missing.lwo\n", "check.lws:5: error: image nowhere.jpg (named by missing.lwo) not found (looked in ", 1},
        {"NotAJpeg", "LoadObject png.lwo\n",
         "check.lws:5: error: image grain.jpg (named by png.lwo) is a PNG image, not a JPEG", 1},
        {"DecoderRefuses", "LoadObject broken.lwo\n", "check.lws:5: error: image broken.jpg (named by broken.lwo): cannot decode JPEG", 1},
        {"NameTooLongForTheArchive", "\nLoadObject AnObjectNameTooLongForTheArchive.lwo\n",
         "check.lws:6: error: the name \"AnObjectNameTooLongForTheArchive.lwo\" is 36 bytes long", 1},
        {"ReadButUnused", "LoadObject quad.lwo\nZoomFactor 3.2\n", "check.lws:6: warning: ZoomFactor is read but has no effect", 0},
        {"Skipped", "LoadObject quad.lwo\nTargetObject 1\n",
         "check.lws:6: warning: TargetObject is skipped by the player; the camera is not aimed at targets", 0},
        {"BeyondTheFarPlane", "LoadObject quad.lwo\n" + constantMotion("ObjectMotion", "0 0 500 0 0 0 1 1 1"),
         "check.lws:5: warning: object 1 (quad.lwo) never comes within the view at the 61 frames checked from 0 to 60: its "
         "points lie 510.0 to 510.0 units ahead of the camera, beyond the far end",
         0},
        {"DarkLight", "LoadObject quad.lwo\n\nAddLight\nLgtIntensity 0\n",
         "check.lws:7: warning: light 1 has intensity 0 at the 61 frames checked from 0 to 60 and at its keys", 0},
        {"OtherFrameRate", "FramesPerSecond 25\nLoadObject quad.lwo\n",
         "check.lws:4: warning: FramesPerSecond 25.0 is read but has no effect: the player plays 30.3 frames a second", 0},
    };
    for (const CheckCase& c : cases) {
        const bool ownRate = c.body.starts_with("FramesPerSecond");
        std::ofstream(dir / "check.lws") << "PreviewFirstFrame 0\nPreviewLastFrame 60\nPreviewFrameStep 1\n"
                                         << (ownRate ? "" : "FramesPerSecond 30.3\n") << c.body << light
                                         << constantMotion("CameraMotion", "0 0 -10 0 0 0 1 1 1");
        const test::ShellRun r = run(dirArg() + " --check check.lws");
        EXPECT_EQ(r.status, c.status) << c.what << "\n" << r.out << r.err;
        EXPECT_NE(r.out.find(c.finding), std::string::npos) << c.what << "\n" << r.out;
    }

    // An empty range: its last frame comes before its first.
    std::ofstream(dir / "check.lws") << "PreviewFirstFrame 50\nPreviewLastFrame 10\n" << light;
    test::ShellRun r = run(dirArg() + " --check check.lws");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("check.lws:2: error: the frame range 50 to 10 is empty"), std::string::npos) << r.out;
    EXPECT_EQ(run(dirArg() + " --check --json check.lws").status, 2);
}

// The traps an author meets without a word from the player, one small scene
// each, as --check now names them.
TEST_F(InspectTest, CheckNamesTheSilentTraps) {
    const std::vector<std::array<float, 3>> quad = {{0, 0, 0}, {0, 1, 0}, {1, 1, 0}, {1, 0, 0}};
    write("quad.lwo", lwob(quad, {{0, 1, 2, 3}}, redSurface()));   // clockwise from the camera: its front
    write("back.lwo", lwob(quad, {{0, 3, 2, 1}}, redSurface()));   // the same quad turned round
    const std::string header = "PreviewFirstFrame 0\nPreviewLastFrame 60\nPreviewFrameStep 1\nFramesPerSecond 30.3\n";
    const std::string camera = "AddLight\nLightType 0\nLgtIntensity 1\n" + constantMotion("CameraMotion", "0 0 -10 0 0 0 1 1 1");
    const std::string sweep = "ObjectMotion (unnamed)\n  9\n  2\n  -8 -2 0 0 0 0 4 4 4\n  0 0 0.0 0.0 0.0\n"
                              "  8 -2 0 0 0 0 4 4 4\n  60 0 0.0 0.0 0.0\nEndBehavior 1\n";
    const std::vector<CheckCase> cases = {
        {"BackOnly", "LoadObject back.lwo\n",
         "check.lws:5: warning: object 1 (back.lwo) is seen only from the back at the 61 frames checked from 0 to 60: "
         "the player draws a polygon from its front only, the side from which its points run clockwise",
         0},
        {"Hidden", "LoadObject quad.lwo\nLoadObject quad.lwo\n" + constantMotion("ObjectMotion", "-1 -1 -2 0 0 0 4 4 4"),
         "check.lws:5: warning: object 1 (quad.lwo) is hidden behind object 2 (quad.lwo) at the 61 frames checked from 0 "
         "to 60: nothing of it reaches the screen",
         0},
        {"OpenSky", "LoadObject quad.lwo\n" + sweep,
         "is drawn over by nothing after earlier frames drew there: the player does not clear the screen between "
         "frames, so older pictures show through",
         0},
        {"KeyOfEightValues",
         "AddNullObject Spinner\nObjectMotion (unnamed)\n  9\n  2\n  0 0 0 0 0 0 1 1\n  0 0 0.0 0.0 0.0\n"
         "  0 0 0 360 0 0 1 1 1\n  60 0 0.0 0.0 0.0\nEndBehavior 1\nLoadObject quad.lwo\n",
         "check.lws:9: warning: motion key 1 of 2 (block on line 7) has 8 values on its line where the block has 9 "
         "channels: the player reads 9 numbers across the lines, so this key's frame and spline values and every key "
         "after it are shifted",
         0},
        {"GarbledNumber", "LoadObject quad.lwo\nAddLight\nLgtIntensity 1.5.0\n",
         "check.lws:7: warning: LgtIntensity 1.5.0: read as 1.5; the rest (\".0\") is ignored", 0},
        {"EnvelopeOfWrongShape",
         "LoadObject quad.lwo\nObjDissolve (envelope)\n  1\n  2\n  0.0\n  0 0 0.0 0.0\n  0.0\n  30 0 0.0 0.0 0.0\n"
         "EndBehavior 1\n",
         "check.lws:9: warning: envelope key 1 of 2 (block on line 7): its frame line 10 has 4 numbers where 5 belong",
         0},
        {"NoLogo", "LoadObject quad.lwo\n",
         "skane.jpg: warning: image not found on disk or in the archive (looked in ", 0},
        {"NothingFromHere", "LoadObject Objects\\gone.lwo\n",
         "check.lws: error: not one of its objects was found; scenes, objects and images are looked for in the "
         "data folder (", 1},
    };
    for (const CheckCase& c : cases) {
        std::ofstream(dir / "check.lws") << header << c.body << camera;
        const test::ShellRun r = run(dirArg() + " --check check.lws");
        EXPECT_EQ(r.status, c.status) << c.what << "\n" << r.out << r.err;
        EXPECT_NE(r.out.find(c.finding), std::string::npos) << c.what << "\n" << r.out;
    }
    // A logo smaller than the corner the player blits does not show.
    write("skane.jpg", write::encodeJpeg(write::RgbImage(64, 48)));
    std::ofstream(dir / "check.lws") << header << "LoadObject quad.lwo\n" << camera;
    EXPECT_NE(run(dirArg() + " --check check.lws")
                  .out.find("skane.jpg: warning: is 64 x 48 pixels; the player blits a 256 x 256 corner of it"),
              std::string::npos);
    // The front of the same quad, and a still one, warn of neither.
    std::ofstream(dir / "check.lws") << header << "LoadObject quad.lwo\n" << camera;
    const test::ShellRun r = run(dirArg() + " --check check.lws");
    EXPECT_EQ(r.out.find("seen only from the back"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("drawn over by nothing"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("hidden behind"), std::string::npos) << r.out;
    // Turned round on a double-sided surface, it is drawn from behind.
    LwSurface both = redSurface();
    both.flags = write::lwDoubleSided;
    write("both.lwo", lwob(quad, {{0, 3, 2, 1}}, both));
    std::ofstream(dir / "check.lws") << header << "LoadObject both.lwo\n" << camera;
    const test::ShellRun twoSided = run(dirArg() + " --check check.lws");
    EXPECT_EQ(twoSided.out.find("seen only from the back"), std::string::npos) << twoSided.out;
}

// A scene named with its folder, read from outside it: the scene is found,
// its objects are not (they are looked for in --dir).
TEST_F(InspectTest, NothingFoundFailsWithAHint) {
    fs::create_directories(dir / "sub");
    fs::rename(dir / "scene.lws", dir / "sub" / "scene.lws");
    for (const char* name : {"base.lwo", "box.lwo", "boned.lwo", "zor.dat"}) fs::rename(dir / name, dir / "sub" / name);
    for (const std::string mode : {"", "--json ", "--check "}) {
        const test::ShellRun r = run(dirArg() + " " + mode + "sub/scene.lws");
        EXPECT_EQ(r.status, 1) << mode << r.err;
        EXPECT_NE((r.out + r.err).find("use --dir FOLDER"), std::string::npos) << mode << r.out << r.err;
    }
    EXPECT_EQ(run("--dir '" + (dir / "sub").string() + "' scene.lws").status, 0);
}

// The sample demo, when the build made it: warnings at most.
TEST_F(InspectTest, CheckFindsNoErrorInTheSampleDemo) {
    const fs::path demo = fs::path(ZOR_BINARY_DIR) / "demo";
    if (!fs::exists(demo / "zor.dat")) GTEST_SKIP() << "no sample demo in " << demo;
    const test::ShellRun r = run("--dir '" + demo.string() + "' --check glorp2.lws");
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(r.out.find(": error: "), std::string::npos) << r.out;
    EXPECT_NE(r.err.find("glorp2.lws: 0 errors"), std::string::npos) << r.err;
}

}  // namespace
}  // namespace zor
