// zor-build and the build it runs (import/demo_build.h), on sources written
// by the importer's independent test writer (make_sources.py): every recipe
// key changes the scene as it says, read back by the player's own loaders
// and evaluated by its frame code; the same recipe gives the same bytes; a
// changed model keeps the direction; an import's recipe builds its scene
// again; a bad recipe writes nothing.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <functional>

#include "archive/data_source.h"
#include "archive/pack_file.h"
#include "child_process.h"
#include "frame/frame_pass.h"
#include "import/demo_build.h"
#include "import/music.h"
#include "jpeg_decode.h"
#include "object/object.h"
#include "recipe/recipe.h"
#include "scene/demo_info.h"
#include "scene/motion.h"
#include "scene/scene.h"
#include "scene/scene_reader.h"
#include "writers/wav_writer.h"

namespace fs = std::filesystem;
using zor::test::ChildProcess;
using zor::test::readText;

namespace {

const std::string kBuilder = std::string(ZOR_BINARY_DIR) + "/tools/zor-build/zor-build";
const std::string kImporter = std::string(ZOR_BINARY_DIR) + "/tools/zor-import/zor-import";

// A scene as the player loads it, with the names of its nulls.
struct Loaded {
    zor::Scene scene;
    zor::SceneSourceLines lines;
    zor::Diagnostics diagnostics;

    const zor::SceneObject* object(const std::string& name) const {
        for (std::size_t i = 0; i < scene.objects.size(); ++i)
            if (scene.objects[i].name == name || (i < lines.nullNames.size() && lines.nullNames[i] == name))
                return &scene.objects[i];
        return nullptr;
    }
    // The values of an object's motion at a frame.
    std::array<float, 9> at(const std::string& name, float frame) const {
        std::array<float, 9> v{};
        const zor::SceneObject* o = object(name);
        if (!o) return v;
        zor::Motion m = o->motion;
        zor::evaluateMotion(m, frame);
        std::copy(std::begin(m.value), std::end(m.value), v.begin());
        return v;
    }
};

std::unique_ptr<Loaded> load(const fs::path& folder) {
    auto loaded = std::make_unique<Loaded>();
    zor::DataSource source;
    source.directory = folder;
    source.archiveName = "zor.dat";
    zor::ObjectLoader loader(source, [](std::string_view) { return 0; }, &loaded->diagnostics);
    zor::SceneLoadContext context;
    context.source = source;
    context.loadObject = [&](std::string& name, zor::Mesh& mesh) { loader.loadObject(name, mesh); };
    context.diagnostics = &loaded->diagnostics;
    context.lines = &loaded->lines;
    EXPECT_TRUE(zor::readScene(loaded->scene, "glorp2.lws", context));
    return loaded;
}

class BuildTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        root() = fs::temp_directory_path() / ("zor-build-test-" + std::to_string(::getpid()));
        fs::remove_all(root());
        fs::create_directories(root() / "src");
        ChildProcess python({"/usr/bin/python3", std::string(ZOR_TEST_DATA_DIR) + "/../zor-import/make_sources.py",
                             (root() / "src").string()},
                            root(), "make_sources");
        ASSERT_TRUE(python.wait(std::chrono::seconds(120)));
        ASSERT_TRUE(python.exitedWith(0)) << python.errors();
        // A second of a 440 Hz tone, and an "MP3" the build copies as it is.
        std::vector<std::int16_t> tone;
        for (int i = 0; i < 44100; ++i)
            for (int c = 0; c < 2; ++c) tone.push_back(static_cast<std::int16_t>(8000 * std::sin(i * 0.0627)));
        const zor::Bytes wav = zor::write::writeWav(tone, 2, 44100);
        std::ofstream(root() / "src" / "tune.wav", std::ios::binary)
            .write(reinterpret_cast<const char*>(wav.data()), static_cast<std::streamsize>(wav.size()));
        std::ofstream(root() / "src" / "tune.mp3", std::ios::binary) << "ID3\x03 not really music";
    }
    static void TearDownTestSuite() { fs::remove_all(root()); }
    static fs::path& root() {
        static fs::path path;
        return path;
    }

    // The recipe built by the library and written as loose files, then
    // loaded as the player loads it.
    static std::unique_ptr<Loaded> build(const std::string& text, zor::import::DemoBuild* keep = nullptr,
                                         const std::string& name = "case") {
        const zor::recipe::RecipeResult read = zor::recipe::readRecipe(text, root() / (name + ".toml"));
        EXPECT_TRUE(read.ok()) << read.error->message();
        if (!read.ok()) return std::make_unique<Loaded>();
        zor::import::DemoBuildOptions options;
        options.pack = false;
        const zor::import::DemoBuild demo = zor::import::buildDemo(read.recipe, options);
        fs::remove_all(root() / name);
        zor::write::PlayFolder play = demo.playFolder(root() / name);
        play.replace = zor::Replace::Always;
        zor::write::writePlayFolder(play);
        if (keep) *keep = demo;
        return load(root() / name);
    }

    static std::unique_ptr<ChildProcess> run(const std::string& program, std::vector<std::string> arguments,
                                             const std::string& name) {
        arguments.insert(arguments.begin(), program);
        auto child = std::make_unique<ChildProcess>(arguments, root(), name);
        EXPECT_TRUE(child->wait(std::chrono::seconds(120)));
        return child;
    }
};

const zor::write::DataFile* fileNamed(const zor::import::DemoBuild& demo, const std::string& name) {
    for (const zor::write::DataFile& f : demo.files)
        if (f.name == name) return &f;
    return nullptr;
}

const std::string kQuad = "[[model]]\nfile = \"src/quad.obj\"\nname = \"Q\"\n";

struct KeyCase {
    const char* key;
    std::string recipe;
    std::function<void(Loaded&, const zor::import::DemoBuild&)> holds;
};

// Each case fails when its key is ignored: every value differs from what the
// build does without it.
TEST_F(BuildTest, EveryRecipeKeyShapesTheScene) {
    const auto near = [](float a, float b) { return std::abs(a - b) < 1e-3f; };
    const std::vector<KeyCase> cases = {
        {"title, author, description", "title = \"Cubes\"\nauthor = \"me\"\ndescription = \"A test.\"\n" + kQuad,
         [](Loaded&, const zor::import::DemoBuild& d) {
             const zor::write::DataFile* info = fileNamed(d, "demo-info.txt");
             ASSERT_NE(info, nullptr);
             EXPECT_EQ(zor::parseDemoInfo(info->bytes), (zor::DemoInfo{"Cubes", "me", "A test."}));
         }},
        {"start", "start = \"1s\"\n" + kQuad, [](Loaded& l, auto&) { EXPECT_EQ(l.scene.firstFrame, 30); }},
        {"length", "length = \"50f\"\n" + kQuad, [](Loaded& l, auto&) { EXPECT_EQ(l.scene.lastFrame, 50); }},
        {"music (MP3)", "music = \"src/tune.mp3\"\n" + kQuad,
         [&](Loaded&, const zor::import::DemoBuild& d) {
             ASSERT_TRUE(d.music);
             EXPECT_EQ(std::string(d.music->begin(), d.music->end()), readText(root() / "src/tune.mp3"));
         }},
        {"music (WAV)", "music = \"src/tune.wav\"\n" + kQuad,
         [](Loaded&, const zor::import::DemoBuild& d) {
             ASSERT_TRUE(d.music);
             EXPECT_TRUE(zor::import::looksLikeMp3(*d.music));
             // A second at 192 kbit/s.
             EXPECT_NEAR(static_cast<double>(d.music->size()), 24000.0, 3000.0);
         }},
        {"logo", "logo = \"src/logo.png\"\n" + kQuad,
         [](Loaded&, const zor::import::DemoBuild& d) {
             const zor::write::DataFile* logo = fileNamed(d, "skane.jpg");
             ASSERT_NE(logo, nullptr);
             const auto image = zor::demo::test::decodeJpeg(logo->bytes);
             ASSERT_TRUE(image);
             ASSERT_EQ(image->width, 256);
             ASSERT_EQ(image->height, 256);
             // 64 x 32 fitted: 256 x 128 in the middle, its left half magenta, its right half green.
             for (const auto& [x, y] : {std::pair{10, 10}, std::pair{60, 128}, std::pair{200, 240}}) {
                 const std::uint8_t* p = image->at(x, y);
                 EXPECT_TRUE(p[0] > 240 && p[1] < 20 && p[2] > 240) << x << "," << y;
             }
             const std::uint8_t* green = image->at(200, 128);
             EXPECT_NEAR(green[0], 30, 4);
             EXPECT_NEAR(green[1], 200, 4);
             EXPECT_NEAR(green[2], 60, 4);
         }},
        {"backdrop", "backdrop = \"#203040\"\n" + kQuad,
         [](Loaded& l, const zor::import::DemoBuild& d) {
             zor::evaluateAt(l.scene, 0);
             const zor::SceneObject* room = l.object("backdrop.lwo");
             ASSERT_NE(room, nullptr);
             ASSERT_EQ(room->pointCount, 8);
             const zor::write::DataFile* image = fileNamed(d, "backdrop.jpg");
             ASSERT_NE(image, nullptr);
             const auto decoded = zor::demo::test::decodeJpeg(image->bytes);
             ASSERT_TRUE(decoded);
             // Every corner gets the same light, and light x image / 255 is the colour.
             const int want[3] = {0x20, 0x30, 0x40};
             for (const zor::MeshPoint& p : room->points) {
                 const std::uint32_t light[3] = {p.lightRed, p.lightGreen, p.lightBlue};
                 for (int c = 0; c < 3; ++c) EXPECT_NEAR(light[c] * decoded->at(0, 0)[c] / 255.0, want[c], 1.5);
             }
         }},
        {"camera.from",
         "[camera]\nfrom = \"B\"\n[[model]]\nfile = \"src/animated.gltf\"\nname = \"A\"\n"
         "[[model]]\nfile = \"src/big.gltf\"\nname = \"B\"\n",
         [&](Loaded& l, auto&) {
             // big.gltf's camera, 1500 in front, scaled with its model by 0.05.
             const float* key = l.scene.camera.motion.keys.at(0).value;
             EXPECT_TRUE(near(key[2], -75.0f)) << key[2];
         }},
        {"camera key (look_at)",
         kQuad + "[[camera.key]]\ntime = \"0s\"\nposition = [3, 4, -10]\nlook_at = [1, 1, 1]\n",
         [&](Loaded& l, auto&) {
             const zor::Evaluation e = zor::evaluateAt(l.scene, 0);
             const auto& p = e.view.cameraPosition;
             EXPECT_TRUE(near(p[0], 3) && near(p[1], 4) && near(p[2], -10));
             const float d[3] = {1 - p[0], 1 - p[1], 1 - p[2]};
             const auto& r = e.view.viewRotation;
             // The target in camera space: straight ahead.
             EXPECT_NEAR(r[0] * d[0] + r[1] * d[1] + r[2] * d[2], 0, 1e-3);
             EXPECT_NEAR(r[3] * d[0] + r[4] * d[1] + r[5] * d[2], 0, 1e-3);
             EXPECT_GT(r[6] * d[0] + r[7] * d[1] + r[8] * d[2], 0);
         }},
        {"camera keys (rotation, in time)",
         kQuad + "[[camera.key]]\ntime = \"1s\"\nposition = [0, 0, -10]\nrotation = [30, 10, 5]\n"
                 "[[camera.key]]\ntime = \"2s\"\nposition = [2, 0, -10]\n",
         [&](Loaded& l, auto&) {
             zor::Motion m = l.scene.camera.motion;
             zor::evaluateMotion(m, 0);  // before the first key: held, not run on backwards
             EXPECT_TRUE(near(m.value[0], 0) && near(m.value[3], 30) && near(m.value[4], 10) && near(m.value[5], 5));
             zor::evaluateMotion(m, 61);
             EXPECT_TRUE(near(m.value[0], 2) && near(m.value[3], 0));
         }},
        {"name", kQuad, [](Loaded& l, auto&) { EXPECT_NE(l.object("Q"), nullptr); }},
        {"position", kQuad + "position = [1, 2, 3]\n",
         [&](Loaded& l, auto&) {
             const auto v = l.at("Q", 0);
             EXPECT_TRUE(near(v[0], 1) && near(v[1], 2) && near(v[2], 3));
         }},
        {"rotation", kQuad + "rotation = [10, 20, 30]\n",
         [&](Loaded& l, auto&) {
             const auto v = l.at("Q", 0);
             EXPECT_TRUE(near(v[3], 10) && near(v[4], 20) && near(v[5], 30));
         }},
        {"scale (a number)", kQuad + "scale = 2\n",
         [&](Loaded& l, auto&) {
             float wide = 0;
             for (const zor::MeshPoint& p : l.object("Quad.lwo")->points) wide = std::max(wide, p.position[0]);
             EXPECT_TRUE(near(wide, 4)) << wide;  // the quad's x runs to 2
             EXPECT_TRUE(near(l.at("Q", 0)[6], 1));
         }},
        {"scale (x, y, z)", kQuad + "scale = [1, 2, 4]\n",
         [&](Loaded& l, auto&) {
             // Converted at the cube root of 8, the rest on the root.
             float wide = 0;
             for (const zor::MeshPoint& p : l.object("Quad.lwo")->points) wide = std::max(wide, p.position[0]);
             EXPECT_TRUE(near(wide, 4)) << wide;
             const auto v = l.at("Q", 0);
             EXPECT_TRUE(near(v[6], 0.5f) && near(v[7], 1) && near(v[8], 2));
         }},
        {"double_sided", kQuad + "double_sided = true\n",
         [](Loaded& l, auto&) {
             for (const zor::MeshPolygon& p : l.object("Quad.lwo")->polygons) EXPECT_TRUE(p.flags & zor::doubleSided);
         }},
        {"loop", "[[model]]\nfile = \"src/animated.gltf\"\nname = \"A\"\nloop = true\n",
         [](Loaded& l, auto&) {
             int looped = 0;
             for (const zor::SceneObject& o : l.scene.objects) {
                 if (o.motion.keyCount < 2) continue;
                 EXPECT_EQ(o.motion.endBehavior, 2) << o.name;
                 EXPECT_EQ(o.motion.lastKeyFrame, 61) << o.name << ": all repeat together";
                 ++looped;
             }
             EXPECT_GE(looped, 3);
         }},
        {"spin", kQuad + "spin = [0, 90, 0]\n",
         [&](Loaded& l, auto&) { EXPECT_NEAR(l.at("Q", 30)[3], 90 * 30 / 30.3, 0.02); }},
        {"model key", kQuad + "rotation = [0, 45, 0]\n[[model.key]]\ntime = \"1s\"\nposition = [5, 0, 0]\n",
         [&](Loaded& l, auto&) {
             const auto v = l.at("Q", 30);
             EXPECT_TRUE(near(v[0], 5) && near(v[4], 45)) << "the rotation it leaves out holds";
         }},
        {"model key scale (a factor on the fitted size)",
         kQuad + "[[model.key]]\ntime = \"1s\"\nscale = 2\n",
         [&](Loaded& l, auto&) { EXPECT_TRUE(near(l.at("Q", 30)[6], 2)); }},
    };
    for (std::size_t i = 0; i < cases.size(); ++i) {
        SCOPED_TRACE(cases[i].key);
        zor::import::DemoBuild demo;
        const auto loaded = build(cases[i].recipe, &demo, "key" + std::to_string(i));
        EXPECT_FALSE(loaded->diagnostics.hasErrors());
        cases[i].holds(*loaded, demo);
    }
}

// The whole of a demo, built twice: the same bytes.
TEST_F(BuildTest, TheSameRecipeGivesTheSameBytes) {
    const std::string text = "title = \"Twice\"\nmusic = \"src/tune.wav\"\nlogo = \"src/logo.png\"\nbackdrop = \"#112233\"\n"
                             "[[camera.key]]\ntime = 0\nposition = [0, 1, -20]\nlook_at = [0, 0, 0]\n"
                             "[[model]]\nfile = \"src/animated.gltf\"\nloop = true\nspin = [10, 20, 30]\n"
                             "[[model.key]]\ntime = \"1s\"\nposition = [1, 0, 0]\n" + kQuad;
    zor::import::DemoBuild first, second;
    build(text, &first, "twice1");
    build(text, &second, "twice2");
    ASSERT_EQ(first.files.size(), second.files.size());
    for (std::size_t i = 0; i < first.files.size(); ++i) {
        EXPECT_EQ(first.files[i].name, second.files[i].name);
        EXPECT_TRUE(first.files[i].bytes == second.files[i].bytes) << first.files[i].name;
    }
    EXPECT_TRUE(first.music == second.music);
}

// The preview's rebuilds read a source again only when its file changed.
TEST_F(BuildTest, TheCacheReadsASourceAgainOnlyWhenItChanged) {
    const fs::path file = root() / "src/cached.obj";
    fs::copy_file(root() / "src/quad.obj", file, fs::copy_options::overwrite_existing);
    zor::import::SourceCache cache;
    const auto first = cache.read(file);
    EXPECT_EQ(cache.read(file), first);
    std::ofstream(file, std::ios::app) << "v 9 9 9\n";
    const auto changed = cache.read(file);
    EXPECT_NE(changed, first);
    EXPECT_EQ(cache.size(), 1u);
}

// The recipe is the one source of direction: a model file changed and built
// again comes across new, and every key, loop and the length stay.
TEST_F(BuildTest, AChangedModelKeepsTheDirection) {
    fs::copy_file(root() / "src/quad.obj", root() / "src/box.obj", fs::copy_options::overwrite_existing);
    fs::copy_file(root() / "src/quad.mtl", root() / "src/box.mtl", fs::copy_options::overwrite_existing);
    std::ofstream(root() / "directed.toml")
        << "length = \"3s\"\n[[camera.key]]\ntime = 0\nposition = [0, 1, -20]\nlook_at = [0, 0, 0]\n"
           "[[camera.key]]\ntime = \"2s\"\nposition = [4, 1, -18]\nlook_at = [0, 1, 0]\n"
           "[[model]]\nfile = \"src/box.obj\"\nname = \"Box\"\nspin = [0, 45, 0]\n"
           "[[model.key]]\ntime = \"1s\"\nposition = [2, 0, 0]\n"
           "[[model]]\nfile = \"src/animated.gltf\"\nname = \"Arm\"\nloop = true\n";
    ASSERT_TRUE(run(kBuilder, {"directed.toml", "-q"}, "first")->exitedWith(0));
    const auto before = load(root() / "directed");
    std::string obj = readText(root() / "src/box.obj");
    obj.replace(obj.find("v 2 1 0"), 7, "v 3 2 0");
    std::ofstream(root() / "src/box.obj") << obj;
    auto again = run(kBuilder, {"directed.toml", "-q"}, "again");
    ASSERT_TRUE(again->exitedWith(0)) << again->errors();
    const auto after = load(root() / "directed");

    const auto keys = [](const zor::Motion& m) {
        std::vector<std::array<float, 10>> out;
        for (const zor::MotionKey& k : m.keys)
            out.push_back({static_cast<float>(k.frame), k.value[0], k.value[1], k.value[2], k.value[3], k.value[4],
                           k.value[5], k.value[6], k.value[7], k.value[8]});
        return out;
    };
    EXPECT_EQ(keys(before->scene.camera.motion), keys(after->scene.camera.motion));
    EXPECT_EQ(before->scene.lastFrame, after->scene.lastFrame);
    ASSERT_EQ(before->scene.objects.size(), after->scene.objects.size());
    for (std::size_t i = 0; i < before->scene.objects.size(); ++i) {
        EXPECT_EQ(keys(before->scene.objects[i].motion), keys(after->scene.objects[i].motion)) << i;
        EXPECT_EQ(before->scene.objects[i].motion.endBehavior, after->scene.objects[i].motion.endBehavior) << i;
    }
    float wideBefore = 0, wideAfter = 0;
    for (const zor::MeshPoint& p : before->object("Quad.lwo")->points) wideBefore = std::max(wideBefore, p.position[1]);
    for (const zor::MeshPoint& p : after->object("Quad.lwo")->points) wideAfter = std::max(wideAfter, p.position[1]);
    EXPECT_EQ(wideBefore, 1.0f);
    EXPECT_EQ(wideAfter, 2.0f) << "the model itself is the new one";
}

// What zor-import --out wrote is directed from its recipe: built from it,
// the scene is the import's byte for byte; the import's loose files give
// way to the build's, and a file of the author's stays.
TEST_F(BuildTest, AnImportsRecipeBuildsTheSameScene) {
    auto import = run(kImporter, {"src/animated.gltf", "src/quad.obj", "--out", "imported", "--at", "0,0,0", "--at",
                                  "4,0,1.5", "--double-sided", "-q"},
                      "import");
    ASSERT_TRUE(import->exitedWith(0)) << import->errors();
    const std::string scene = readText(root() / "imported/glorp2.lws");
    const std::string recipe = readText(root() / "imported.toml");
    EXPECT_NE(recipe.find("from = \"animated_gltf\""), std::string::npos) << recipe;
    std::ofstream(root() / "imported/notes.txt") << "mine";
    auto built = run(kBuilder, {"imported.toml"}, "build");
    ASSERT_TRUE(built->exitedWith(0)) << built->errors();
    zor::PackFile pack((root() / "imported/zor.dat").string());
    const auto packed = pack.readEntry("glorp2.lws");
    ASSERT_TRUE(packed);
    EXPECT_EQ(std::string(packed->begin(), packed->end()), scene);
    EXPECT_FALSE(fs::exists(root() / "imported/glorp2.lws")) << "the import's loose scene would hide the archive's";
    EXPECT_EQ(readText(root() / "imported/notes.txt"), "mine");
    // Imported again, the recipe that directs the demo stays as it is.
    std::ofstream(root() / "imported.toml", std::ios::app) << "# directed\n";
    ASSERT_TRUE(run(kImporter, {"src/quad.obj", "--out", "imported", "--force", "-q"}, "again")->exitedWith(0));
    EXPECT_EQ(readText(root() / "imported.toml"), recipe + "# directed\n");
}

// A bad recipe: its one line, status 1, nothing written; so too a model that
// cannot be read, said at the key that names it.
TEST_F(BuildTest, ABadRecipeWritesNothingAndSaysWhere) {
    std::ofstream(root() / "bad.toml") << "title = \"x\"\n[[model]]\nfile = \"src/quad.obj\"\npositon = [1, 2, 3]\n";
    auto bad = run(kBuilder, {"bad.toml"}, "bad");
    EXPECT_TRUE(bad->exitedWith(1));
    EXPECT_EQ(bad->errors(), "bad.toml:4:1: unknown key \"positon\" (did you mean \"position\"?)\n");
    EXPECT_FALSE(fs::exists(root() / "bad"));
    std::ofstream(root() / "src/broken.gltf") << "{ not glTF";
    std::ofstream(root() / "broken.toml") << "[[model]]\nfile = \"src/broken.gltf\"\n";
    auto broken = run(kBuilder, {"broken.toml"}, "broken");
    EXPECT_TRUE(broken->exitedWith(1));
    EXPECT_NE(broken->errors().find("\nbroken.toml:2:8: " + (root() / "src/broken.gltf").string() +
                                    ": not a readable glTF 2.0 file"),
              std::string::npos)
        << broken->errors();
    EXPECT_FALSE(fs::exists(root() / "broken"));
}

TEST_F(BuildTest, UsageAndStatuses) {
    EXPECT_TRUE(run(kBuilder, {}, "none")->exitedWith(2));
    EXPECT_TRUE(run(kBuilder, {"a.toml", "--bogus"}, "bogus")->exitedWith(2));
    auto version = run(kBuilder, {"--version"}, "version");
    EXPECT_TRUE(version->exitedWith(0));
    EXPECT_EQ(version->output(), "zor-build " ZOR_VERSION "\n");
    EXPECT_TRUE(run(kBuilder, {"--help"}, "help")->exitedWith(0));
    EXPECT_TRUE(run(kBuilder, {"missing.toml"}, "missing")->exitedWith(1));
    // A file in the way that no build wrote is refused, and replaced with --force.
    std::ofstream(root() / "guarded.toml") << kQuad;
    fs::create_directories(root() / "guarded");
    std::ofstream(root() / "guarded/zor.dat") << "mine";
    auto guarded = run(kBuilder, {"guarded.toml", "-q"}, "guarded");
    EXPECT_TRUE(guarded->exitedWith(1));
    EXPECT_NE(guarded->errors().find("already holds zor.dat, which no earlier build wrote (--force replaces it)"),
              std::string::npos)
        << guarded->errors();
    EXPECT_EQ(readText(root() / "guarded/zor.dat"), "mine");
    auto forced = run(kBuilder, {"guarded.toml", "--force", "--out", "guarded"}, "forced");
    EXPECT_TRUE(forced->exitedWith(0)) << forced->errors();
    EXPECT_NE(forced->errors().find("the check of guarded: 0 errors"), std::string::npos) << forced->errors();
}

}  // namespace
