#include "import/import_recipe.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <system_error>

#include "system/text.h"

namespace zor::import {
namespace {

namespace fs = std::filesystem;

// A TOML basic string.
std::string quoted(const std::string& text) {
    std::string out = "\"";
    for (const char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') out += std::string("\\") + c;
        else if (u < 0x20 || u == 0x7f) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", u);
            out += escape;
        } else out += c;
    }
    return out + "\"";
}

// The shortest decimal that reads back as the same float: as a plain
// number where a few decimals do it, else with an exponent.
std::string number(float value) {
    if (!std::isfinite(value) || value == 0) return "0";
    char text[64];
    if (std::abs(value) < 1e9f)
        for (int decimals = 0; decimals <= 9; ++decimals) {
            std::snprintf(text, sizeof text, "%.*f", decimals, static_cast<double>(value));
            if (std::strtof(text, nullptr) == value) return text;
        }
    for (int digits = 1; digits <= 9; ++digits) {
        std::snprintf(text, sizeof text, "%.*g", digits, static_cast<double>(value));
        if (std::strtof(text, nullptr) == value) break;
    }
    return text;
}

std::string vector(const std::array<float, 3>& v) {
    return "[" + number(v[0]) + ", " + number(v[1]) + ", " + number(v[2]) + "]";
}

// At most 3 decimals, for the keys of comments.
std::string rounded(const std::array<float, 3>& v) {
    std::array<float, 3> r;
    for (int i = 0; i < 3; ++i) r[i] = static_cast<float>(std::round(v[i] * 1000.0) / 1000.0);
    return vector(r);
}

// A path as the recipe writes it: relative to the recipe's folder, with
// forward slashes; absolute where no relative path leads there.
std::string pathText(const fs::path& file, const fs::path& recipe) {
    std::error_code ec;
    const fs::path absolute = fs::absolute(file, ec);
    const fs::path base = fs::absolute(recipe, ec).parent_path();
    fs::path relative = absolute.lexically_relative(base);
    if (relative.empty() || ec) relative = absolute;
    return genericUtf8Of(relative);
}

// A root null's name as a recipe's name: letters, digits and "_".
std::string recipeName(std::string name) {
    for (char& c : name)
        if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_')) c = '_';
    return name;
}

}  // namespace

fs::path recipeBeside(const fs::path& folder) {
    fs::path f = folder;
    if (!f.has_filename()) f = f.parent_path();
    f += ".toml";
    return f;
}

std::string importRecipeText(const ImportRecipe& import, const Conversion& c) {
    const std::string folder = utf8Of(import.folder.filename().empty() ? import.folder.parent_path().filename()
                                                                      : import.folder.filename());
    const std::string recipe = utf8Of(import.recipe.filename());
    std::string t;
    t += "# The recipe of what zor-import imported into " + folder + ": the models, where each\n";
    t += "# stands and the camera it used. The demo is directed here: edit this file and\n";
    t += "# run \"zor-build " + recipe + "\", which builds " + folder + " again from it (the scene\n";
    t += "# is an output, never edited by hand). docs/authoring.md, \"Directing a demo\",\n";
    t += "# lists every key; zor-import leaves this file alone once it is here.\n\n";
    t += "# title = \"My demo\"\n# author = \"\"\n# description = \"\"\n";
    t += "# The range runs from frame " + std::to_string(c.firstFrame) + " to " + std::to_string(c.lastFrame) +
         ", the sources' animation; a length\n# (\"15s\", \"454f\", or beats with a bpm) chooses another:\n";
    t += "# length = \"15s\"\n";
    if (import.music) t += "music = " + quoted(pathText(*import.music, import.recipe)) + "\n";
    else t += "# music = \"tune.mp3\"                # MP3, WAV or FLAC\n";
    t += "# logo = \"logo.png\"                 # JPEG or PNG, fitted into 256 x 256 on see-through magenta\n";
    t += "# backdrop = \"#203040\"              # a room of that colour around the scene\n\n";

    t += "[camera]\n";
    if (c.cameraSource >= 0 && static_cast<std::size_t>(c.cameraSource) < c.roots.size()) {
        const std::string label = utf8Of(import.sources[c.cameraSource].filename());
        t += "# The camera is " + label + "'s own: the first source with a camera of its own";
        t += import.sources.size() > 1 ? " (of " + std::to_string(import.sources.size()) + " sources).\n" : ".\n";
        t += "# Without \"from\", camera keys direct it instead (see below).\n";
        t += "from = " + quoted(recipeName(c.roots[c.cameraSource])) + "\n\n";
    } else {
        t += "# No source has a camera of its own: zor-import added a view from the front\n";
        t += "# framing every model. Keys direct the camera instead; this one is that view:\n";
    }
    const std::array<float, 3> at{c.cameraStart[0], c.cameraStart[1], c.cameraStart[2]};
    const std::array<float, 3> turn{c.cameraStart[3], c.cameraStart[4], c.cameraStart[5]};
    t += "# [[camera.key]]\n# time = \"0s\"\n# position = " + rounded(at) + "\n# rotation = " + rounded(turn) +
         "            # heading, pitch, bank; or look_at = [x, y, z]\n\n";

    for (std::size_t i = 0; i < import.inputs.size() && i < c.roots.size(); ++i) {
        const SourceInput& in = import.inputs[i];
        t += "[[model]]\n";
        t += "file = " + quoted(pathText(import.sources[i], import.recipe)) + "\n";
        t += "name = " + quoted(recipeName(c.roots[i])) + "\n";
        t += "position = " + vector(in.at) + "\n";
        if (in.scale) t += "scale = " + number(*in.scale) + "\n";
        else if (i < c.scales.size() && c.scales[i] != 1.0f)
            t += "# scale: fitted (" + number(c.scales[i]) + "), as the build fits it again; a scale chooses\n";
        if (import.doubleSided) t += "double_sided = true\n";
        t += "# rotation = [0, 0, 0]                # heading, pitch, bank in degrees\n";
        t += "# loop = true                         # its own animation repeats over the length\n";
        t += "# spin = [0, 90, 0]                   # degrees a second about x, y, z\n";
        t += "# [[model.key]]\n# time = \"2s\"\n# position = " + vector(in.at) + "\n\n";
    }
    return t;
}

}  // namespace zor::import
