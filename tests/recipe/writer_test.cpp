// The key writer: a key added or replaced changes only its own lines, every
// other byte stays, and the new text reads back as the recipe with the key.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "recipe/recipe.h"
#include "scene/timeline.h"

namespace zor::recipe {
namespace {

std::string noProblem(const std::filesystem::path&) { return {}; }

CameraKey cameraKey(std::int32_t frame, Vec3 position, std::optional<Vec3> lookAt = {}) {
    CameraKey key;
    key.frame = frame;
    key.position = position;
    key.lookAt = lookAt;
    return key;
}
ModelKey modelKey(std::int32_t frame, std::optional<Vec3> rotation, std::optional<Vec3> scale) {
    ModelKey key;
    key.frame = frame;
    key.rotation = rotation;
    key.scale = scale;
    return key;
}

Recipe readOk(std::string_view text) {
    RecipeResult result = readRecipe(text, "/demos/demo.toml", noProblem);
    EXPECT_TRUE(result.ok()) << result.error->message();
    return result.recipe;
}

// The lines of a text, each with its own line end.
std::vector<std::string> linesOf(std::string_view text) {
    std::vector<std::string> lines;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        lines.emplace_back(text.substr(0, end == std::string_view::npos ? text.size() : end + 1));
        text.remove_prefix(lines.back().size());
    }
    return lines;
}

// What an edit did, line by line: from line `at` on, `removed` lines of the
// old text became `added` lines; everything before and after is the same.
struct LineChange {
    int at = 0;
    std::vector<std::string> removed, added;
};
LineChange changeOf(std::string_view before, std::string_view after) {
    const std::vector<std::string> a = linesOf(before), b = linesOf(after);
    std::size_t head = 0, tail = 0;
    while (head < a.size() && head < b.size() && a[head] == b[head]) ++head;
    while (tail < a.size() - head && tail < b.size() - head && a[a.size() - 1 - tail] == b[b.size() - 1 - tail]) ++tail;
    return {static_cast<int>(head) + 1, {a.begin() + head, a.end() - tail}, {b.begin() + head, b.end() - tail}};
}

// With a byte-order mark, comments, CRLF, odd spacing, a value over two
// lines, and no final newline.
const std::string kRecipe =
    "\xEF\xBB\xBF# Cubes in a room\r\n"      // 1
    "title  =  \"Cubes\"   # the name\r\n"   // 2
    "bpm = 120\r\n"                          // 3
    "length = \"16s\"\r\n"                   // 4
    "\r\n"                                   // 5
    "[camera]   # the path\r\n"              // 6
    "[[camera.key]]\r\n"                     // 7
    "time = \"0s\"\r\n"                      // 8
    "position = [0, 2, -10]   # wide\r\n"    // 9
    "look_at = [0, 0, 0]\r\n"                // 10
    "\r\n"                                   // 11
    "# the close-up\r\n"                     // 12
    "[[camera.key]]\r\n"                     // 13
    "  time = \"8b\"\r\n"                    // 14
    "  position = [ 5, 2,\r\n"               // 15
    "    -8 ]\r\n"                           // 16
    "  rotation = [0, 10, 0]\r\n"            // 17
    "\r\n"                                   // 18
    "[[model]]\r\n"                          // 19
    "file = \"models/box.gltf\"\r\n"         // 20
    "name = \"Box\"\r\n"                     // 21
    "[[model.key]]\r\n"                      // 22
    "time = \"2s\"\r\n"                      // 23
    "position = [1, 0, 0]";                  // 24

// The edit reads back as the recipe with the key, and changed what `change` says.
void expectEdit(const RecipeEdit& edit, const Recipe& expected, const LineChange& change) {
    ASSERT_TRUE(edit.ok()) << edit.error;
    const RecipeResult back = readRecipe(edit.text, "/demos/demo.toml", noProblem);
    ASSERT_TRUE(back.ok()) << back.error->message();
    EXPECT_TRUE(sameDirection(back.recipe, expected));
    const LineChange made = changeOf(kRecipe, edit.text);
    EXPECT_EQ(made.at, change.at);
    EXPECT_EQ(made.removed, change.removed);
    EXPECT_EQ(made.added, change.added);
}

TEST(RecipeWriter, NewCameraKeyGoesInTimeOrderAsItsOwnLines) {
    const Recipe recipe = readOk(kRecipe);
    // Frame 60 is beat 4 at 120 a minute (2 s); between the keys at 0 and 121.
    CameraKey key = cameraKey(60, {-0.0001, 2.5, -3.25}, Vec3{0, 1.23456, 0});
    const RecipeEdit edit = withCameraKey(kRecipe, recipe, key);
    Recipe expected = recipe;
    key.position[0] = 0;
    key.lookAt = Vec3{0, 1.235, 0};
    expected.camera.keys.insert(expected.camera.keys.begin() + 1, key);
    expectEdit(edit, expected,
               {11,
                {},
                {"[[camera.key]]\r\n", "time = \"4b\"\r\n", "position = [0, 2.5, -3.25]\r\n",
                 "look_at = [0, 1.235, 0]\r\n"}});
    EXPECT_EQ(edit.line, 11);

    // Off the beat, a frame.
    const RecipeEdit late = withCameraKey(kRecipe, recipe, cameraKey(400, {1, 1, 1}));
    ASSERT_TRUE(late.ok()) << late.error;
    EXPECT_EQ(changeOf(kRecipe, late.text).added.at(1), "time = \"400f\"\r\n");
    EXPECT_EQ(changeOf(kRecipe, late.text).at, 18);
}

TEST(RecipeWriter, CameraKeyAtAKeysFrameReplacesOnlyItsValues) {
    const Recipe recipe = readOk(kRecipe);
    // The key at "8b" (frame 121): its rotation becomes a look_at in its place.
    Recipe expected = recipe;
    CameraKey key = cameraKey(121, {6, 2, -8}, Vec3{0, 1, 0});
    expected.camera.keys[1] = key;
    expectEdit(withCameraKey(kRecipe, recipe, key), expected,
               {15, {"  position = [ 5, 2,\r\n", "    -8 ]\r\n", "  rotation = [0, 10, 0]\r\n"},
                {"  position = [6, 2, -8]\r\n", "  look_at = [0, 1, 0]\r\n"}});

    // The comment after a value stays.
    key = cameraKey(0, {0, 3, -10}, Vec3{0, 0, 0});
    expected = recipe;
    expected.camera.keys[0] = key;
    expectEdit(withCameraKey(kRecipe, recipe, key), expected,
               {9, {"position = [0, 2, -10]   # wide\r\n"}, {"position = [0, 3, -10]   # wide\r\n"}});
}

TEST(RecipeWriter, ModelKeysFollowTheModelsKeysAndKeepTheMissingFinalNewline) {
    const Recipe recipe = readOk(kRecipe);
    ModelKey key = modelKey(120, {}, Vec3{2, 2, 2});
    Recipe expected = recipe;
    expected.models[0].keys.push_back(key);
    const RecipeEdit added = withModelKey(kRecipe, recipe, "Box", key);
    expectEdit(added, expected,
               {24,
                {"position = [1, 0, 0]"},
                {"position = [1, 0, 0]\r\n", "[[model.key]]\r\n", "time = \"120f\"\r\n", "scale = 2"}});
    EXPECT_EQ(added.line, 25);

    // Replaced at its frame: what the new key leaves out goes, the rest is set.
    key = modelKey(60, Vec3{0, 90, 0}, Vec3{1, 2, 3});
    expected = recipe;
    expected.models[0].keys[0] = key;
    expectEdit(withModelKey(kRecipe, recipe, "Box", key), expected,
               {24, {"position = [1, 0, 0]"}, {"rotation = [0, 90, 0]\r\n", "scale = [1, 2, 3]"}});
}

TEST(RecipeWriter, RangeKeysAreSetOrAddedBeforeTheFirstTable) {
    const Recipe recipe = readOk(kRecipe);
    Recipe expected = recipe;
    expected.length = 242;  // beat 16
    expectEdit(withRange(kRecipe, recipe, 0, 242), expected, {4, {"length = \"16s\"\r\n"}, {"length = \"16b\"\r\n"}});

    // No top-level key yet: after the comment, before the first header; a
    // byte-order mark before a first line that is replaced.
    const std::string bare = "# a demo\n[[model]]\nfile = \"a.obj\"\n";
    const RecipeEdit edit = withRange(bare, readOk(bare), 30, 100);
    ASSERT_TRUE(edit.ok()) << edit.error;
    EXPECT_EQ(edit.text, "# a demo\nstart = \"30f\"\nlength = \"100f\"\n[[model]]\nfile = \"a.obj\"\n");
    const std::string marked = "\xEF\xBB\xBFlength = \"5f\"";
    const RecipeEdit remarked = withRange(marked, readOk(marked), 0, 7);
    EXPECT_EQ(remarked.text, "\xEF\xBB\xBFlength = \"7f\"");

    // A start alone: the length stays as written (its frame unchanged) or
    // unwritten (the builder's).
    const std::string seconds = "length = \"4s\"\n[[model]]\nfile = \"a.obj\"\n";
    EXPECT_EQ(withRange(seconds, readOk(seconds), 30, frameAtSeconds(4)).text,
              "length = \"4s\"\nstart = \"30f\"\n[[model]]\nfile = \"a.obj\"\n");
    EXPECT_EQ(withRange(bare, readOk(bare), 30, std::nullopt).text,
              "# a demo\nstart = \"30f\"\n[[model]]\nfile = \"a.obj\"\n");
}

TEST(RecipeWriter, CameraKeysWithoutACameraHeader) {
    // No camera at all: a [camera] table at the end.
    const std::string text = "title = \"x\"\n[[model]]\nfile = \"a.obj\"";
    const RecipeEdit edit = withCameraKey(text, readOk(text), cameraKey(0, {1, 2, 3}));
    ASSERT_TRUE(edit.ok()) << edit.error;
    EXPECT_EQ(edit.text, text + "\n\n[camera]\n[[camera.key]]\ntime = \"0f\"\nposition = [1, 2, 3]");

    // Keys without a [camera] header: the first key goes before them.
    const std::string keys = "# path\n[[camera.key]]\ntime = \"2s\"\nposition = [0, 0, 0]\n";
    const RecipeEdit first = withCameraKey(keys, readOk(keys), cameraKey(0, {1, 2, 3}));
    ASSERT_TRUE(first.ok()) << first.error;
    EXPECT_EQ(first.text, "# path\n[[camera.key]]\ntime = \"0f\"\nposition = [1, 2, 3]\n" + keys.substr(7));
}

TEST(RecipeWriter, WhatCannotBeEditedSafelyIsRefusedWithTheReason) {
    const Recipe recipe = readOk(kRecipe);
    EXPECT_EQ(withCameraKey(kRecipe + " ", recipe, cameraKey(0, {1, 1, 1})).error,
              "the recipe was read from another text; read it again");
    EXPECT_EQ(withCameraKey(kRecipe, recipe, cameraKey(500, {1, 1, 1})).error,
              "frame 500 is past the length (frame 484)");
    EXPECT_EQ(withModelKey(kRecipe, recipe, "Crate", modelKey(0, {}, Vec3{1, 1, 1})).error,
              "no model is named \"Crate\"");
    EXPECT_EQ(withRange(kRecipe, recipe, 30, 400).error,
              "the camera key at frame 0 (line 7) lies outside the new range");

    const std::string inlineKeys = "camera.key = [{ time = 1, position = [0, 0, 0] }]\n";
    EXPECT_EQ(withCameraKey(inlineKeys, readOk(inlineKeys), cameraKey(0, {1, 1, 1})).error,
              "the camera keys are written inline (\"key = [...]\"); write them as [[camera.key]] tables");
    const std::string inlineModel = "model = [{ file = \"a.obj\" }]\n";
    EXPECT_EQ(withModelKey(inlineModel, readOk(inlineModel), "a", modelKey(0, {}, Vec3{1, 1, 1})).error,
              "model \"a\" is not under a [[model]] header of its own");
    const std::string from = "[camera]\nfrom = \"a\"\n[[model]]\nfile = \"a.obj\"\n";
    EXPECT_EQ(withCameraKey(from, readOk(from), cameraKey(0, {1, 1, 1})).error,
              "the camera follows the camera of \"a\" (\"from\"); remove \"from\" to set keys");
}

}  // namespace
}  // namespace zor::recipe
