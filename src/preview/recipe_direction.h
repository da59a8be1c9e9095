#pragma once
// The preview's direction of an author's recipe (view_direction.h), for
// `zor-view demo.toml`.
//
// A build reads the recipe (loadRecipe) and, once it and every file it names
// (models, music, logo) are whole, builds it as zor-build does (buildDemo,
// loose files, the sources kept across builds in a SourceCache) into the
// stage's folder. Only files whose bytes changed are written (each beside its
// place and renamed into it, through writePlayFolder), so the stage keeps
// the textures of images that stayed the same; files the build no longer
// makes are removed. A recipe and files unchanged since the last good build
// are not built again. A bad recipe, or a build that fails, changes nothing
// in the folder: the last good build stays, and the error is one line,
// "demo.toml:LINE:COLUMN: what is wrong".
//
// A file still being written is waited for, not read: one that changes
// while the build reads it, or was written less than `settleMilliseconds`
// before, makes the build wait (DirectionBuild::unsettled) until it is still.
// The recipe as this direction last wrote it is taken at once.
//
// Writes read the recipe afresh and go through its writer (withCameraKey,
// withModelKey, withRange: only the lines of the key written change), then
// writeFileByRename; the text before each write is kept, and takeBack writes
// it again while the recipe is still as that write left it.

#include <cstdint>
#include <filesystem>
#include <iosfwd>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "import/demo_build.h"
#include "preview/view_direction.h"
#include "recipe/recipe.h"

namespace zor {

struct RecipeDirectionOptions {
    std::filesystem::path recipe;  // as the author gave it; messages name it so
    std::filesystem::path folder;  // the stage's folder, which the builds fill
    std::uint32_t settleMilliseconds = 0;
    std::ostream* log = nullptr;   // what each build made and warns of; none: nothing said
};

class RecipeDirection final : public ViewDirection {
public:
    explicit RecipeDirection(RecipeDirectionOptions options);

    DirectionBuild build() override;
    std::string name() const override;
    std::vector<std::string> models() const override;
    std::optional<double> beatsPerMinute() const override;
    DirectionWrite writeCameraKey(std::int32_t frame, const CameraPlacement& camera) override;
    DirectionWrite writeModelKey(const std::string& model, std::int32_t frame, const Vec3& position) override;
    DirectionWrite writeRange(std::optional<std::int32_t> first, std::optional<std::int32_t> last) override;
    DirectionWrite takeBack() override;

    // From now on (the first build of a program takes the files as they are).
    void setSettleMilliseconds(std::uint32_t milliseconds) { options_.settleMilliseconds = milliseconds; }
    // The recipe of the last good build; none before one.
    const std::optional<recipe::Recipe>& recipe() const { return built_; }
    // Builds that ran to the end (a recipe and files unchanged are not built again).
    std::uint64_t builds() const { return builds_; }

private:
    struct Fresh {
        std::string text;
        recipe::RecipeResult read;
        std::string error;  // the file cannot be read, or does not read as a recipe
    };
    // The recipe as it is on disk now, read.
    Fresh readNow() const;
    // Writes `text` as the recipe; `said` on success, else why not.
    DirectionWrite writeText(const std::string& before, const std::string& text, const std::string& said);
    // The build's files into the folder, those that changed only.
    void writeFolder(const import::DemoBuild& demo);

    RecipeDirectionOptions options_;
    import::SourceCache cache_;
    std::optional<recipe::Recipe> built_;
    std::uint64_t builtDigest_ = 0;  // of the recipe text built last
    FileStamps builtFrom_;           // the files it named, as they were then
    std::map<std::string, Bytes> kept_;  // the folder's files as the last good build wrote them, by name
    FileStamps ownWrite_;            // the recipe as this direction wrote it last
    struct Write {
        std::string before;  // the text the write replaced
        std::string after;   // the text it wrote
    };
    std::vector<Write> writes_;
    std::uint64_t builds_ = 0;
};

}  // namespace zor
