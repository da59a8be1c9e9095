// The recipe reader and key writer on hostile text. Reading gives a recipe
// or one error of one line. On a recipe read, every edit either refuses or
// gives a text that reads back, with the key written at its frame.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "recipe/recipe.h"

namespace {

using namespace zor::recipe;

std::string anyFile(const std::filesystem::path&) { return {}; }

RecipeResult readBack(const RecipeEdit& edit) {
    RecipeResult back = readRecipe(edit.text, "fuzz.toml", anyFile);
    if (!back.ok()) __builtin_trap();
    return back;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const RecipeResult result = readRecipe(text, "fuzz.toml", anyFile);
    if (!result.ok()) {
        if (result.error->message().find('\n') != std::string::npos) __builtin_trap();
        return 0;
    }
    const Recipe& recipe = result.recipe;
    const std::int32_t last = recipe.length.value_or(recipe.start + 100);

    // A camera key at the range's end, and one replacing the first key.
    CameraKey camera;
    camera.frame = last;
    camera.position = {1, 2.5, -3};
    camera.lookAt = Vec3{0, 0, 0};
    if (const RecipeEdit edit = withCameraKey(text, recipe, camera); edit.ok()) {
        const std::vector<CameraKey>& keys = readBack(edit).recipe.camera.keys;
        if (std::none_of(keys.begin(), keys.end(), [&](const CameraKey& k) { return k.frame == last; }))
            __builtin_trap();
    }
    if (!recipe.camera.keys.empty()) {
        camera.frame = recipe.camera.keys.front().frame;
        camera.lookAt.reset();
        camera.rotation = Vec3{0, -0.0001, 90};
        if (const RecipeEdit edit = withCameraKey(text, recipe, camera); edit.ok()) readBack(edit);
    }

    // A key of the first model between its first key and the range's end,
    // and one replacing its first key.
    if (!recipe.models.empty()) {
        const RecipeModel& model = recipe.models.front();
        ModelKey key;
        key.frame = model.keys.empty() ? recipe.start : model.keys.front().frame + 1;
        key.position = Vec3{1, 2, 3};
        key.scale = Vec3{2, 2, 2};
        if (const RecipeEdit edit = withModelKey(text, recipe, model.name, key); edit.ok()) readBack(edit);
        if (!model.keys.empty()) {
            key.frame = model.keys.front().frame;
            key.position.reset();
            key.rotation = Vec3{0, 45, 0};
            if (const RecipeEdit edit = withModelKey(text, recipe, model.name, key); edit.ok()) readBack(edit);
        }
    }

    if (const RecipeEdit edit = withRange(text, recipe, recipe.start, last); edit.ok()) {
        const RecipeResult back = readBack(edit);
        if (back.recipe.length != last) __builtin_trap();
    }
    return 0;
}
