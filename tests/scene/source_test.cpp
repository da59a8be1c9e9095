// Where the scene text comes from (disk first, then the archive) and the real
// scene files of the corpus.
#include <fstream>
#include <sstream>

#include <gtest/gtest.h>

#include "scene/motion.h"
#include "scene_test_util.h"

namespace zor {
namespace {

std::string lightsScene(int count) {
    std::string text(testing::kHeader);
    for (int i = 0; i < count; ++i) text += "AddLight\n";
    return text;
}

Bytes bytesOf(const std::string& text) { return Bytes(text.begin(), text.end()); }

TEST(SceneSource, DiskFirstThenArchive) {
    const test::ScratchDir scratch;
    const std::filesystem::path& dir = scratch.path();
    {
        PackFile pack((dir / "zor.dat").string());
        ASSERT_TRUE(pack.addData(bytesOf(lightsScene(2)), "s.lws")) << pack.error();
        ASSERT_TRUE(pack.addData(bytesOf(lightsScene(3) + "LoadObject Objects\\Ship.lwo\n"), "only.lws"))
            << pack.error();
        ASSERT_TRUE(pack.flush()) << pack.error();
    }
    testing::writeFile(dir / "s.lws", lightsScene(1));

    Diagnostics d;
    std::vector<std::string> loaded;
    SceneLoadContext context{{dir, "zor.dat"},
                             [&loaded](std::string& name, Mesh&) { loaded.push_back(name); },
                             &d};
    Scene scene;
    ASSERT_TRUE(readScene(scene, "s.lws", context));
    EXPECT_EQ(scene.lightCount(), 1);  // the file on disk wins
    ASSERT_TRUE(readScene(scene, "only.lws", context));
    EXPECT_EQ(scene.lightCount(), 3);
    EXPECT_EQ(scene.objectCount(), 1);
    EXPECT_EQ(scene.lastFrame, 60);
    EXPECT_EQ(loaded, std::vector<std::string>{"Ship.lwo"});
    EXPECT_TRUE(d.empty());

    std::filesystem::remove(dir / "s.lws");
    ASSERT_TRUE(readScene(scene, "s.lws", context));
    EXPECT_EQ(scene.lightCount(), 2);

    EXPECT_FALSE(readScene(scene, "absent.lws", context));
    EXPECT_EQ(scene.lightCount(), 0);
    EXPECT_TRUE(d.contains("scene not found"));
    std::filesystem::remove_all(dir);
}

struct CorpusScene {
    std::string file;
    int objects = 0;
    int lights = 0;
    std::string firstFrame;
    std::string lastFrame;
};

std::vector<CorpusScene> corpusScenes() {
    std::ifstream in(std::filesystem::path(ZOR_CORPUS_DIR) / "scenes.tsv");
    std::vector<CorpusScene> scenes;
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        std::istringstream fields(line);
        CorpusScene s;
        std::string objects, lights;
        std::getline(fields, s.file, '\t');
        std::getline(fields, objects, '\t');
        std::getline(fields, lights, '\t');
        std::getline(fields, s.firstFrame, '\t');
        std::getline(fields, s.lastFrame, '\t');
        s.objects = std::stoi(objects);
        s.lights = std::stoi(lights);
        scenes.push_back(s);
    }
    return scenes;
}

TEST(CorpusScenes, LoadWithoutErrorsAndWithTheListedCounts) {
    const std::vector<CorpusScene> scenes = corpusScenes();
    ASSERT_EQ(scenes.size(), 4u);
    for (const CorpusScene& expected : scenes) {
        const std::filesystem::path path = std::filesystem::path(ZOR_CORPUS_DIR) / expected.file;
        Diagnostics d;
        SceneLoadContext context{{path.parent_path(), "no-such-archive.dat"}, {}, &d};
        Scene scene;
        ASSERT_TRUE(readScene(scene, path.filename().string(), context)) << expected.file;
        EXPECT_FALSE(d.hasErrors()) << expected.file;
        EXPECT_EQ(scene.objectCount(), expected.objects) << expected.file;
        EXPECT_EQ(scene.lightCount(), expected.lights) << expected.file;
        if (expected.firstFrame == "none") {
            EXPECT_TRUE(d.contains("PreviewFirstFrame not found")) << expected.file;
            EXPECT_EQ(scene.firstFrame, 0);
        } else {
            EXPECT_EQ(scene.firstFrame, std::stoi(expected.firstFrame)) << expected.file;
            EXPECT_EQ(scene.lastFrame, std::stoi(expected.lastFrame)) << expected.file;
        }
        // Every motion block of these files is complete: no other warnings.
        const std::size_t headerWarnings = expected.firstFrame == "none" ? 1 : 0;
        std::ostringstream report;
        d.print(report);
        EXPECT_EQ(d.items().size(), headerWarnings) << report.str();
    }
}

// Reads scenes of one corpus folder, recording the object names it loads.
struct CorpusFolder {
    Diagnostics diagnostics;
    std::vector<std::string> loaded;
    SceneLoadContext context;

    explicit CorpusFolder(const char* name)
        : context{{std::filesystem::path(ZOR_CORPUS_DIR) / name, "none.dat"},
                  [this](std::string& object, Mesh&) { loaded.push_back(object); },
                  &diagnostics} {}
    CorpusFolder(const CorpusFolder&) = delete;
    CorpusFolder& operator=(const CorpusFolder&) = delete;
};

TEST(CorpusScenes, BallConeDetails) {
    CorpusFolder folder("java3d");
    Scene scene;
    ASSERT_TRUE(readScene(scene, "ballcone.lws", folder.context));
    EXPECT_EQ(folder.loaded, (std::vector<std::string>{"greenball.lwo", "redcone.lwo"}));
    EXPECT_FLOAT_EQ(scene.framesPerSecond, 30.0f);
    const Motion& cone = scene.objects[1].motion;
    ASSERT_EQ(cone.keyCount, 3);
    EXPECT_EQ(cone.lastKeyFrame, 59);
    EXPECT_FLOAT_EQ(cone.keys[1].value[4], 78.10001f);
    EXPECT_EQ(scene.objects[1].shadowOptions, 7);
    ASSERT_EQ(scene.camera.motion.keyCount, 3);
    EXPECT_EQ(scene.camera.motion.lastKeyFrame, 60);
    EXPECT_FLOAT_EQ(scene.camera.zoomFactor.keys[0].value[0], 3.2f);
    EXPECT_EQ(scene.lights[0].color[0], 63);
    EXPECT_FLOAT_EQ(scene.lights[0].intensity.keys[0].value[0], 1.0f);
    // At frame 30 the camera sits on its middle key.
    Motion camera = scene.camera.motion;
    evaluateMotion(camera, 30);
    EXPECT_FLOAT_EQ(camera.value[0], 138.9237f);
    EXPECT_FLOAT_EQ(camera.value[3], -48.0f);
}

TEST(CorpusScenes, HierarchiesAndEnvelopesOfTheAminetScenes) {
    CorpusFolder folder("aminet");
    const SceneLoadContext& context = folder.context;
    const std::vector<std::string>& loaded = folder.loaded;
    Scene truck;
    ASSERT_TRUE(readScene(truck, "truck.sc", context));
    // No backslash: everything up to the first full stop is the base name.
    ASSERT_EQ(loaded.size(), 2u);
    EXPECT_EQ(loaded[0], "3D:Projects/Truck2/Objects/Truck_cab.lwo");
    EXPECT_EQ(truck.objects[0].name, "3D:Projects/Truck2/Objects/");  // 27 characters

    Scene newtons;
    ASSERT_TRUE(readScene(newtons, "newtons_scene.1", context));
    EXPECT_EQ(newtons.objects[1].parent, &newtons.objects[0]);
    EXPECT_EQ(newtons.objects[2].parent, &newtons.objects[1]);
    const Motion& string = newtons.objects[1].motion;
    ASSERT_EQ(string.keyCount, 4);
    EXPECT_EQ(string.keys[3].linear, 1);
    EXPECT_FLOAT_EQ(string.keys[2].bias, 0.4f);

    Scene raider;
    ASSERT_TRUE(readScene(raider, "Raider_Mutterschiff", context));
    // Counted in the file by hand: 59 ParentObject lines in light blocks;
    // FlareIntensity envelopes: 16 of 5 keys repeating, 42 of 4 keys stopping.
    int parented = 0;
    int repeating = 0;
    int stopping = 0;
    for (const SceneLight& l : raider.lights) {
        if (l.parent) ++parented;
        if (l.flareIntensity.keyCount == 5 && l.flareIntensity.endBehavior == 2) ++repeating;
        if (l.flareIntensity.keyCount == 4 && l.flareIntensity.endBehavior == 1) ++stopping;
    }
    EXPECT_EQ(parented, 59);
    EXPECT_EQ(repeating, 16);
    EXPECT_EQ(stopping, 42);
    EXPECT_EQ(raider.objects[23].name, "NULL");
    EXPECT_FALSE(folder.diagnostics.hasErrors());
}

}  // namespace
}  // namespace zor
