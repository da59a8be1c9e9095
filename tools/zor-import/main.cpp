// zor-import: turns what modelling tools export (glTF 2.0, Wavefront OBJ)
// into a play folder the player reads: LightWave objects or binary meshes,
// the scene, JPEG images, optionally zor.dat and the music. Several sources
// make one scene (--out), or join a scene already there (--add-to).
//
// Exit status: 0 success, 1 failure (the message names the file), 2 usage
// error.

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <iostream>
#include <sstream>

#include <CLI/CLI.hpp>

#include "import/add_to.h"
#include "import/import_recipe.h"
#include "import/music.h"
#include "preview/tool_usage.h"
#include "archive/data_source.h"
#include "import/convert.h"
#include "object/object.h"
#include "import/readers.h"
#include "scene/scene.h"
#include "scene/scene_reader.h"
#include "scene/timeline.h"
#include "system/text.h"
#include "writers/folder_record.h"

namespace {

namespace fs = std::filesystem;

const char* const kDescription =
    "Imports glTF 2.0 (.gltf, .glb) and Wavefront OBJ (.obj with its .mtl) models into a play folder: one\n"
    "source or several into a new scene (--out), or into the scene of a folder that is already there\n"
    "(--add-to; its text stays as it is and the new objects follow it).\n\n"
    "Each source hangs below a null object named after its file, which carries its place (--at) and\n"
    "nothing else: give that null a new motion to move the model without resizing it.\n\n"
    "Space: the source is taken as right-handed with +Y up and one unit a metre (OBJ alike); the player's\n"
    "space is left-handed with +Y up, +X right and +Z away from the viewer, so z is turned around. One\n"
    "player unit is one source unit times --scale. The player's view is fixed (45 x 34 degrees, 1 to 100\n"
    "units ahead): without --scale, sources that do not fit the view are scaled to fit it, unless the\n"
    "scene's camera is a source's own.\n\n"
    "Meshes become LightWave objects (NAME.lwo), or binary meshes (NAME.3d) where texture coordinates\n"
    "follow no planar projection; meshes beyond 65535 points or polygons (or too many surfaces) are split.\n"
    "Images become JPEGs with sides of powers of two from 8 to 256. Node animations become motion keys at\n"
    "30.3 frames per second: linear keys stay linear keys, stepped and cubic-spline ones are sampled once\n"
    "a frame. A morph target becomes the player's morph (its weights the morph envelope); a skinned mesh\n"
    "becomes rigid pieces, each on its strongest joint. Without a camera or a light in the sources, a view\n"
    "framing the scene and a distant light are added.";

const char* const kFooter =
    "Nothing already in FOLDER is replaced without --force; every file is written beside its place and renamed "
    "into it.\n\n"
    "The guide to what comes across and how to work with it: docs/authoring.md (installed in /usr/share/doc/zor/); "
    "a worked example: examples/import/ (installed in /usr/share/doc/zor/examples/).\n\n"
    "Exit status: 0 success, 1 failure, 2 usage error.";

// The music, read before anything is written: a bad file stops the import
// first. An MP3 stream starts with an ID3 tag or an MPEG audio frame header.
zor::Bytes readMusic(const std::string& path) {
    zor::ReadFailure failure;
    std::optional<zor::Bytes> bytes = zor::readWholeFile(zor::pathFromUtf8(path), &failure);
    if (!bytes) throw zor::import::ImportError(path + ": cannot be read: " + failure.reason);
    if (!zor::import::looksLikeMp3(*bytes)) throw zor::import::ImportError(path + ": is not an MP3 file");
    return std::move(*bytes);
}

// "X,Y,Z": three finite numbers.
std::optional<std::array<float, 3>> parsePlace(const std::string& text) {
    std::array<float, 3> at{};
    std::size_t start = 0;
    for (int c = 0; c < 3; ++c) {
        const std::size_t end = c < 2 ? text.find(',', start) : text.size();
        if (end == std::string::npos) return std::nullopt;
        const std::string number = text.substr(start, end - start);
        char* stop = nullptr;
        const float v = std::strtof(number.c_str(), &stop);
        if (number.empty() || stop != number.c_str() + number.size() || !std::isfinite(v)) return std::nullopt;
        at[c] = v;
        start = end + 1;
    }
    return at;
}

void printList(const char* title, const std::vector<std::string>& lines) {
    if (lines.empty()) return;
    std::cout << "zor-import: " << title << ":\n";
    for (const std::string& l : lines) std::cout << "  " << l << '\n';
}

std::string plural(std::size_t n, const char* one, const char* many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

// What the folder's scene holds, read back as the player reads it (and
// counted as zor-inspect counts it).
std::string describeFolder(const fs::path& folder, const std::string& sceneName) {
    zor::DataSource source;
    source.directory = folder;
    source.archiveName = zor::kArchiveFileName;
    const zor::ArchiveCache::Hold oneArchive = source.holdArchive();
    std::vector<std::string> textures;
    zor::Diagnostics diagnostics;
    zor::ObjectLoader loader(
        source,
        [&](std::string_view name) {
            auto found = std::find(textures.begin(), textures.end(), name);
            if (found == textures.end()) found = textures.insert(textures.end(), std::string(name));
            return static_cast<int>(found - textures.begin());
        },
        &diagnostics);
    zor::SceneLoadContext context;
    context.source = source;
    context.loadObject = [&](std::string& name, zor::Mesh& mesh) { loader.loadObject(name, mesh); };
    context.diagnostics = &diagnostics;
    zor::Scene scene;
    if (!zor::readScene(scene, sceneName, context)) return sceneName + " cannot be read back";
    std::size_t points = 0, polygons = 0, bones = 0, nulls = 0;
    for (const zor::SceneObject& o : scene.objects) {
        points += o.pointCount;
        polygons += o.polygonCount;
        bones += o.boneCount;
        nulls += o.name == "NULL";
    }
    std::ostringstream text;
    text << sceneName << " holds " << plural(scene.objects.size(), "object", "objects") << " (" << points
         << " points, " << polygons << " polygons, " << bones << " bones; " << nulls << " of them null), "
         << plural(scene.lights.size(), "light", "lights") << ", " << plural(textures.size(), "texture", "textures")
         << "; " << zor::shownFrames(scene.firstFrame, scene.lastFrame).describe("the scene's range");
    return text.str();
}

}  // namespace

int main(int argc, char** argv) {
    zor::ProgramArguments arguments = zor::startProgram(argc, argv);
    CLI::App app{kDescription};
    app.set_version_flag("--version", std::string("zor-import ") + ZOR_VERSION);
    app.footer(kFooter);
    std::vector<std::string> sources, places;
    std::vector<float> scales;
    std::string out, addTo, sceneName = zor::kSceneFileName, music;
    bool pack = false, force = false, quiet = false, doubleSided = false;
    app.add_option("SOURCE", sources, "Models to import (.gltf, .glb or .obj), one or more")->required();
    auto* outOption = app.add_option("--out", out, "Play folder to write a new scene into (created if missing)");
    auto* addOption = app.add_option("--add-to", addTo, "Play folder whose scene the sources are added to");
    outOption->excludes(addOption);
    app.add_option("--scene", sceneName, "Name of the scene file")->capture_default_str();
    app.add_flag("--pack", pack, "Pack the scene, objects and images into zor.dat instead of loose files");
    app.add_option("--music", music, "MP3 file to copy into the folder as mp3.mp3");
    app.add_option("--scale", scales,
                   "Player units per source unit: once for every source, or once per source in order "
                   "(default: 1, or what fits the view)");
    app.add_option("--at", places, "Where a source's root null stands, X,Y,Z in player units: once for every "
                                   "source, or once per source in order (default: 0,0,0)");
    app.add_flag("--double-sided", doubleSided,
                 "Draw every surface from both sides (for sources that cannot say so, such as OBJ)");
    app.add_flag("--force", force, "Replace files of the same names in FOLDER");
    app.add_flag("--quiet,-q", quiet, "Print nothing but errors");
    if (const std::optional<int> status = zor::parseToolArguments(app, arguments)) return *status;
    auto usage = [](const std::string& what) { return zor::usageError("zor-import", what); };
    if (out.empty() && addTo.empty()) return usage("--out FOLDER or --add-to FOLDER is required");
    const std::size_t count = sources.size();
    if (scales.size() > 1 && scales.size() != count)
        return usage("--scale is given " + std::to_string(scales.size()) + " times for " + std::to_string(count) +
                     " sources: give it once, or once per source");
    for (float s : scales)
        if (!(s > 0) || !std::isfinite(s)) return usage("--scale wants a positive number");
    if (places.size() > 1 && places.size() != count)
        return usage("--at is given " + std::to_string(places.size()) + " times for " + std::to_string(count) +
                     " sources: give it once, or once per source");
    std::vector<std::array<float, 3>> at;
    for (const std::string& p : places) {
        const auto place = parsePlace(p);
        if (!place) return usage("--at wants X,Y,Z (three numbers), not '" + p + "'");
        at.push_back(*place);
    }
    if (sceneName.empty() || sceneName.size() > static_cast<std::size_t>(zor::kMaxEntryNameLength) ||
        sceneName.find_first_of("/\\ \t\n") != std::string::npos || sceneName == "." || sceneName == "..")
        return usage("--scene wants a plain file name of at most 31 characters");

    const auto start = std::chrono::steady_clock::now();
    auto progress = [&](const std::string& line) {
        if (!quiet) std::cout << "zor-import: " << line << '\n' << std::flush;
    };
    const fs::path folder = zor::pathFromUtf8(addTo.empty() ? out : addTo);
    try {
        std::optional<zor::Bytes> mp3;
        if (!music.empty()) mp3 = readMusic(music);
        // A folder added to is read (and, when packed, locked) first.
        std::unique_ptr<zor::import::FolderAddition> addition;
        if (!addTo.empty()) {
            addition = std::make_unique<zor::import::FolderAddition>(folder, sceneName);
            if (pack && !addition->packed())
                throw zor::import::ImportError(zor::utf8Of(folder) + " keeps its scene as a loose file, and --add-to adds "
                                               "loose files beside it: leave out --pack (zorpack add packs them later)");
        }

        std::vector<zor::import::SourceModel> models;
        models.reserve(count);
        for (const std::string& path : sources) {
            progress("reading " + path);
            models.push_back(zor::import::readSource(zor::pathFromUtf8(path)));
            const auto& m = models.back();
            progress(path + ": " + std::to_string(m.nodes.size()) + " nodes, " + std::to_string(m.meshes.size()) +
                     " meshes, " + std::to_string(m.images.size()) + " images");
        }
        std::vector<zor::import::SourceInput> inputs(count);
        for (std::size_t i = 0; i < count; ++i) {
            inputs[i].model = &models[i];
            inputs[i].name = zor::utf8Of(zor::pathFromUtf8(sources[i]).filename());
            if (!scales.empty()) inputs[i].scale = scales.size() == 1 ? scales[0] : scales[i];
            if (!at.empty()) inputs[i].at = at.size() == 1 ? at[0] : at[i];
        }
        zor::import::ConvertOptions options;
        options.sceneName = sceneName;
        options.doubleSided = doubleSided;
        std::error_code ec;
        options.logo = !addition && !fs::exists(fs::symlink_status(folder / zor::kLogoFileName, ec));
        progress("converting");
        zor::import::Conversion conversion =
            zor::import::composeScene(inputs, options, addition ? &addition->scene() : nullptr);

        const zor::Replace replace = force ? zor::Replace::Always : zor::Replace::Never;
        if (addition) {
            addition->write(conversion, mp3, replace, progress);
        } else {
            zor::write::PlayFolder play;
            play.folder = folder;
            play.pack = pack;
            play.music = std::move(mp3);
            play.replace = replace;
            play.progress = progress;
            play.files = conversion.files;
            zor::write::writePlayFolder(play);
            // What was written, for a later zor-build of the folder's recipe
            // to replace, and the recipe itself, once: it directs the demo
            // from now on.
            zor::write::recordWrittenNames(play);
            zor::import::ImportRecipe recipe;
            recipe.recipe = zor::import::recipeBeside(folder);
            recipe.folder = folder;
            for (const std::string& s : sources) recipe.sources.push_back(zor::pathFromUtf8(s));
            recipe.inputs = inputs;
            recipe.doubleSided = doubleSided;
            if (!music.empty()) recipe.music = zor::pathFromUtf8(music);
            const std::string text = zor::import::importRecipeText(recipe, conversion);
            zor::WriteFailure failure;
            if (zor::writeFileByRename(recipe.recipe,
                                       std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()),
                                       zor::Replace::Never, failure))
                conversion.notes.push_back("the recipe " + zor::utf8Of(recipe.recipe) + " says what was imported: edit "
                                           "it and run zor-build " + zor::utf8Of(recipe.recipe) +
                                           " to direct the demo");
            else if (failure.kind == zor::WriteFailure::Kind::Exists)
                conversion.notes.push_back("the recipe " + zor::utf8Of(recipe.recipe) +
                                           " is there already and stays as it is (it directs the demo): zor-build " +
                                           zor::utf8Of(recipe.recipe) + " builds the folder from it");
            else
                conversion.warnings.push_back(failure.describe(recipe.recipe, "--force"));
        }

        if (!quiet) {
            const auto ms =
                std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
            std::cout << "zor-import: " << describeFolder(folder, sceneName) << '\n';
            std::cout << "zor-import: this import added "
                      << plural(static_cast<std::size_t>(conversion.objects + conversion.nullObjects), "object",
                                "objects")
                      << " (" << conversion.nullObjects << " of them null; " << conversion.points << " points, "
                      << conversion.polygons << " polygons), " << plural(conversion.images, "image", "images") << ", "
                      << plural(conversion.lights, "light", "lights") << ", " << plural(conversion.keys, "key", "keys")
                      << " (" << ms.count() << " ms)\n";
            printList("renamed", conversion.renamed);
            printList("did not come across", conversion.notCarried);
            printList("notes", conversion.notes);
            std::cout.flush();
            for (const std::string& w : conversion.warnings) std::cerr << "zor-import: warning: " << w << '\n';
        }
    } catch (const std::exception& e) {
        std::cerr << "zor-import: error: " << e.what() << '\n';
        return 1;
    }
    return 0;
}
