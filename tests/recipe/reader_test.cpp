// The recipe reader: every key read, every bad input one message with its
// line and column, files looked for beside the recipe.

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>

#include "recipe/recipe.h"
#include "scratch_dir.h"

namespace zor::recipe {
namespace {

const std::filesystem::path kRecipe = "/demos/demo.toml";

// Files whose name holds "missing" are not there; every other one is.
std::string someMissing(const std::filesystem::path& file) {
    return file.string().find("missing") != std::string::npos ? "no such file" : "";
}

RecipeResult read(std::string_view text, const std::filesystem::path& path = kRecipe) {
    return readRecipe(text, path, someMissing);
}

struct KeyCase {
    const char* text;
    std::function<bool(const Recipe&)> holds;
};

// Each case fails when its key is ignored: every value differs from the default.
TEST(RecipeKeys, EveryKeyIsRead) {
    const Vec3 v123{1, 2, 3};
    const KeyCase cases[] = {
        {"title = \"Cubes\"", [](const Recipe& r) { return r.title == "Cubes"; }},
        {"author = \"someone\"", [](const Recipe& r) { return r.author == "someone"; }},
        {"description = \"A demo.\"", [](const Recipe& r) { return r.description == "A demo."; }},
        {"start = \"2s\"", [](const Recipe& r) { return r.start == 60; }},
        {"length = \"15s\"", [](const Recipe& r) { return r.length == 454; }},
        {"length = \"454f\"", [](const Recipe& r) { return r.length == 454; }},
        {"length = 2.5", [](const Recipe& r) { return r.length == 75; }},
        // 32 beats at 120 a minute: 16 s, frame 484; bar 3 beat 2: beat 9, 4.5 s.
        {"bpm = 120\nlength = \"32b\"", [](const Recipe& r) { return r.bpm == 120.0 && r.length == 484; }},
        {"bpm = 120\nlength = \"3:2\"", [](const Recipe& r) { return r.length == 136; }},
        {"music = \"tune.mp3\"", [](const Recipe& r) { return r.music == "/demos/tune.mp3"; }},
        {"logo = \"art/logo.PNG\"", [](const Recipe& r) { return r.logo == "/demos/art/logo.PNG"; }},
        {"backdrop = \"#203040\"", [](const Recipe& r) { return r.backdrop == Rgb{0x20, 0x30, 0x40}; }},
        {"backdrop = \"#fA0\"", [](const Recipe& r) { return r.backdrop == Rgb{255, 170, 0}; }},
        {"backdrop = [1, 2, 3]", [](const Recipe& r) { return r.backdrop == Rgb{1, 2, 3}; }},
        {"[camera]\nfrom = \"e.glb\"\n[[model]]\nfile = \"e.glb\"",
         [](const Recipe& r) { return r.camera.from == "e.glb"; }},
        {"[[camera.key]]\ntime = \"1s\"\nposition = [1, 2, 3]\nlook_at = [0, 0, 1]",
         [&](const Recipe& r) {
             return r.camera.keys.size() == 1 && r.camera.keys[0].frame == 30 && r.camera.keys[0].position == v123 &&
                    r.camera.keys[0].lookAt == Vec3{0, 0, 1} && !r.camera.keys[0].rotation;
         }},
        {"[[camera.key]]\ntime = 1\nposition = [1, 2, 3]\nrotation = [10, 20, 30]",
         [](const Recipe& r) { return r.camera.keys[0].rotation == Vec3{10, 20, 30}; }},
        {"[[model]]\nfile = \"models/my box.v2.gltf\"",
         [](const Recipe& r) {
             return r.models[0].file == "/demos/models/my box.v2.gltf" && r.models[0].name == "my_box_v2";
         }},
        {"[[model]]\nfile = \"a.obj\"\nname = \"Box\"", [](const Recipe& r) { return r.models[0].name == "Box"; }},
        {"[[model]]\nfile = \"a.obj\"\nposition = [1, 2, 3]",
         [&](const Recipe& r) { return r.models[0].position == v123; }},
        {"[[model]]\nfile = \"a.obj\"\nrotation = [1, 2, 3]",
         [&](const Recipe& r) { return r.models[0].rotation == v123; }},
        {"[[model]]\nfile = \"a.obj\"\nscale = 1.5",
         [](const Recipe& r) { return r.models[0].scale == Vec3{1.5, 1.5, 1.5}; }},
        {"[[model]]\nfile = \"a.obj\"\nscale = [1, 2, 3]", [&](const Recipe& r) { return r.models[0].scale == v123; }},
        {"[[model]]\nfile = \"a.obj\"\ndouble_sided = true", [](const Recipe& r) { return r.models[0].doubleSided; }},
        {"[[model]]\nfile = \"a.obj\"\nloop = true", [](const Recipe& r) { return r.models[0].loop; }},
        {"[[model]]\nfile = \"a.obj\"\nspin = [1, 2, 3]", [&](const Recipe& r) { return r.models[0].spin == v123; }},
        {"[[model]]\nfile = \"a.obj\"\n[[model.key]]\n"
         "time = \"2s\"\nposition = [1, 2, 3]\nrotation = [0, 90, 0]\nscale = 2",
         [&](const Recipe& r) {
             const ModelKey& k = r.models[0].keys.at(0);
             return k.frame == 60 && k.position == v123 && k.rotation == Vec3{0, 90, 0} && k.scale == Vec3{2, 2, 2};
         }},
    };
    for (const KeyCase& c : cases) {
        const RecipeResult result = read(c.text);
        ASSERT_TRUE(result.ok()) << c.text << "\n" << result.error->message();
        EXPECT_TRUE(c.holds(result.recipe)) << c.text;
    }
}

TEST(RecipeKeys, KeysAreInTimeOrderAndPositionsKept) {
    const RecipeResult result = read("[camera]\n[[camera.key]]\ntime = \"2s\"\nposition = [0, 0, 0]\n"
                                     "[[camera.key]]\ntime = \"1s\"\nposition = [1, 0, 0]\n");
    ASSERT_TRUE(result.ok());
    const RecipeCamera& camera = result.recipe.camera;
    ASSERT_EQ(camera.keys.size(), 2u);
    EXPECT_EQ(camera.keys[0].frame, 30);
    EXPECT_EQ(camera.keys[0].source.at, (SourcePosition{5, 1}));
    EXPECT_TRUE(camera.keys[0].source.header);
    EXPECT_EQ(camera.keys[0].source.lastLine, 7);
    EXPECT_EQ(camera.source.lastLine, 1);
}

struct ErrorCase {
    const char* text;
    const char* message;
};

TEST(RecipeErrors, EachBadInputIsOneLineWithItsPosition) {
    const ErrorCase cases[] = {
        {"[[model]]\nfile = \"a.obj\"\npositon = [0, 0, 0]",
         "demo.toml:3:1: unknown key \"positon\" (did you mean \"position\"?)"},
        {"bmp = 120", "demo.toml:1:1: unknown key \"bmp\" (did you mean \"bpm\"?)"},
        {"colour = 1", "demo.toml:1:1: unknown key \"colour\""},
        {"[[model]]\nfile = \"a.obj\"\nscale = \"big\"", "demo.toml:3:9: \"scale\" wants a number or [x, y, z]"},
        {"[[model]]\nfile = \"a.obj\"\nscale = [1, 0, 1]", "demo.toml:3:9: \"scale\" wants factors above 0"},
        {"[[model]]\nfile = \"a.obj\"\nposition = [1, 2]", "demo.toml:3:12: \"position\" wants [x, y, z]"},
        {"title = 3", "demo.toml:1:9: \"title\" wants a string"},
        {"[[model]]\nfile = \"a.obj\"\nloop = 1", "demo.toml:3:8: \"loop\" wants true or false"},
        {"camera = 1", "demo.toml:1:10: \"camera\" wants a table"},
        {"[model]\nfile = \"a.obj\"", "demo.toml:1:1: \"model\" wants [[model]] tables"},
        {"backdrop = \"#12345\"", "demo.toml:1:12: \"backdrop\" wants \"#RRGGBB\", \"#RGB\" or [r, g, b] of 0 to 255"},
        {"backdrop = [0, 256, 0]", "demo.toml:1:12: \"backdrop\" wants \"#RRGGBB\", \"#RGB\" or [r, g, b] of 0 to 255"},
        {"length = \"2 s\"", "demo.toml:1:10: \"length\" wants a time: \"15s\", \"454f\", \"32b\" or \"3:2\""},
        {"bpm = 60\nlength = \"3:5\"", "demo.toml:2:10: length \"3:5\": a bar has beats 1 to 4"},
        {"length = \"2s\"\n[[camera.key]]\ntime = \"3s\"\nposition = [0, 0, 0]",
         "demo.toml:3:8: time \"3s\" (frame 90) is past the length (frame 60)"},
        {"[[camera.key]]\ntime = \"-1s\"\nposition = [0, 0, 0]", "demo.toml:2:8: time \"-1s\" is before 0"},
        {"start = 2\n[[model]]\nfile = \"a.obj\"\n[[model.key]]\ntime = \"1s\"\nscale = 2",
         "demo.toml:5:8: time \"1s\" (frame 30) is before the start (frame 60)"},
        {"start = 2\nlength = \"30f\"", "demo.toml:2:10: length \"30f\" (frame 30) is before the start (frame 60)"},
        {"[[camera.key]]\ntime = \"1s\"\nposition = [0, 0, 0]\n[[camera.key]]\ntime = \"30f\"\nposition = [1, 0, 0]",
         "demo.toml:5:8: a second camera key at frame 30 (the other is at line 1)"},
        {"[[model]]\nfile = \"a/box.obj\"\n[[model]]\nfile = \"b/box.glb\"",
         "demo.toml:3:1: a second model named \"box\" (the first is at line 1); give it a \"name\" of its own"},
        {"[[model]]\nfile = \"a.obj\"\nname = \"my box\"",
         "demo.toml:3:8: \"name\" wants letters, digits and \"_\" (\"Box_2\")"},
        {"[[model]]\nfile = \"models/missing.gltf\"", "demo.toml:2:8: models/missing.gltf: no such file"},
        {"logo = \"missing.png\"", "demo.toml:1:8: missing.png: no such file"},
        {"[[model]]\nfile = \"box.fbx\"", "demo.toml:2:8: box.fbx: a model is a .gltf, .glb or .obj file"},
        {"music = \"tune.ogg\"", "demo.toml:1:9: tune.ogg: the music is an .mp3, .wav or .flac file"},
        {"logo = \"logo.gif\"", "demo.toml:1:8: logo.gif: the logo is a .jpg, .jpeg or .png file"},
        {"length = \"8b\"", "demo.toml:1:10: length \"8b\" is in beats, which need \"bpm\""},
        {"bpm = 0", "demo.toml:1:7: \"bpm\" wants a number above 0"},
        {"title = \"x\"\n[[model]]\nfile = \"a.obj\"\nspin = [0, nan, 0]",
         "demo.toml:4:12: a number must be finite, not nan"},
        // Not TOML: toml++'s own words and position.
        {"title = \"x\nauthor = 1",
         "demo.toml:1:11: Error while parsing string: unescaped control characters other than TAB (U+0009) are "
         "explicitly prohibited"},
        {"te = n\n", "demo.toml:1:7: Error while parsing floating-point: expected 'nan', saw 'n\\n'"},
        {"title = \"\xff\"", "demo.toml:1:9: Encountered invalid utf-8 sequence"},
        // A letter from U+00A1 on where whitespace may stand: toml++ 3.3 met
        // undefined behaviour there (the sanitizer build stops on it).
        {"position \xce\xb6 = 1", "demo.toml:1:10: Error while parsing key-value pair: expected '=', saw '\xce\xb6'"},
        {"[camera]\nfrom = \"a.obj\"\n[[camera.key]]\ntime = 0\nposition = [0, 0, 0]\n[[model]]\nfile = \"a.obj\"",
         "demo.toml:2:8: \"from\" and camera keys do not go together: the camera follows a model's own camera or "
         "its keys"},
        {"[camera]\nfrom = \"b.obj\"\n[[model]]\nfile = \"a.obj\"",
         "demo.toml:2:8: \"from\" names no model's name or file: \"b.obj\""},
        {"[[camera.key]]\ntime = 0\nposition = [0, 0, 0]\nlook_at = [1, 0, 0]\nrotation = [0, 0, 0]",
         "demo.toml:5:12: a camera key takes \"look_at\" or \"rotation\", not both"},
        {"[[camera.key]]\ntime = 0\nposition = [1, 2, 3]\nlook_at = [1, 2, 3]",
         "demo.toml:4:11: \"look_at\" is the key's \"position\": the camera would look nowhere"},
        {"[[camera.key]]\nposition = [0, 0, 0]", "demo.toml:1:1: a camera key needs \"time\""},
        {"[[camera.key]]\ntime = 0", "demo.toml:1:1: a camera key needs \"position\""},
        {"[[model]]\nname = \"a\"", "demo.toml:1:1: a model needs \"file\""},
        {"[[model]]\nfile = \"a.obj\"\n[[model.key]]\nscale = 2", "demo.toml:3:1: a model key needs \"time\""},
        {"[[model]]\nfile = \"a.obj\"\n[[model.key]]\ntime = 2",
         "demo.toml:3:1: a model key needs \"position\", \"rotation\" or \"scale\""},
    };
    for (const ErrorCase& c : cases) {
        const RecipeResult result = read(c.text, "demo.toml");
        ASSERT_FALSE(result.ok()) << c.text;
        EXPECT_EQ(result.error->message(), c.message) << c.text;
    }
}

TEST(RecipeFiles, NamedFilesAreFoundBesideTheRecipe) {
    test::ScratchDir dir;
    dir.write("models/box.gltf", "{}");
    dir.write("tune.mp3", "x");
    std::filesystem::create_directories(dir / "logo.png");
    dir.write("demo.toml", "music = \"tune.mp3\"\n[[model]]\nfile = \"models/box.gltf\"\n");
    const RecipeResult good = loadRecipe(dir / "demo.toml");
    ASSERT_TRUE(good.ok()) << good.error->message();
    EXPECT_EQ(good.recipe.music, dir / "tune.mp3");
    EXPECT_EQ(good.recipe.models.at(0).file, dir / "models/box.gltf");

    dir.write("demo.toml", "logo = \"logo.png\"");
    EXPECT_EQ(loadRecipe(dir / "demo.toml").error->message(),
              (dir / "demo.toml").string() + ":1:8: logo.png: is a folder");
    dir.write("demo.toml", "[[model]]\nfile = \"models/gone.glb\"");
    EXPECT_EQ(loadRecipe(dir / "demo.toml").error->what, "models/gone.glb: no such file");
    EXPECT_EQ(loadRecipe(dir / "none.toml").error->message(), (dir / "none.toml").string() + ": no such file");

    // One byte too many: refused where the limit is passed.
    const std::string first = "title = \"x\"\n# ";
    dir.write("demo.toml", first + std::string(kMaxRecipeSize - first.size(), 'x') + "y\n");
    const RecipeResult big = loadRecipe(dir / "demo.toml");
    ASSERT_FALSE(big.ok());
    EXPECT_EQ(big.error->at, (SourcePosition{2, static_cast<int>(kMaxRecipeSize - 12 + 1)}));
    EXPECT_EQ(big.error->what, "a recipe holds at most 1 MiB; this one goes on past it here");
}

}  // namespace
}  // namespace zor::recipe
