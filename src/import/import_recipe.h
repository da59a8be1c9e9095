#pragma once
// The recipe of an import: what zor-import --out FOLDER writes beside the
// folder as FOLDER.toml, so that the demo can be directed from there
// (zor-build FOLDER.toml builds the same scene from it). It names each
// source with the place zor-import gave it (its root null's name, its
// position, the scale when one was given; a fitted scale is left to the
// build, which fits the same way), the camera it used and why (a source's
// own as "from", else the framing view, as comments with a key to start
// from), the range and the music; comments show the keys an author adds
// next. Numbers are written so that they read back as the same floats.

#include <array>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "import/convert.h"

namespace zor::import {

struct ImportRecipe {
    std::filesystem::path recipe;                // where the text goes: paths are written relative to its folder
    std::filesystem::path folder;                // the play folder imported into
    std::vector<std::filesystem::path> sources;  // the source files, as given
    std::vector<SourceInput> inputs;             // their places and given scales, in the same order
    bool doubleSided = false;
    std::optional<std::filesystem::path> music;
};

// The recipe's text for an import and what its conversion made.
std::string importRecipeText(const ImportRecipe& import, const Conversion& conversion);

// Where zor-import puts the recipe of FOLDER: "FOLDER.toml" beside it.
std::filesystem::path recipeBeside(const std::filesystem::path& folder);

}  // namespace zor::import
