// zor-inspect: loads a scene as the player does (files on disk first, then in
// the archive) and prints what was loaded, optionally evaluated at a frame.
//
// Exit status: 0 success, 1 the scene cannot be read, not one of its objects
// was found, or loading reported errors (what was loaded is still printed),
// 2 usage error.
// Standard output carries only the summary or the JSON; warnings go to
// standard error.

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cmath>
#include <filesystem>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "preview/tool_usage.h"
#include "archive/file_problem.h"
#include "check/check.h"
#include "inspect.h"
#include "object/object.h"
#include "scene/player_constants.h"
#include "scene/scene_reader.h"
#include "system/text.h"

namespace {

// Stands in for the renderer's texture loading: remembers each requested
// image name once and answers its position in the list.
class TextureNames {
public:
    int load(std::string_view name) {
        if (name.empty()) return -1;  // a path ending in a separator names no image
        auto found = std::find(names_.begin(), names_.end(), name);
        if (found == names_.end()) found = names_.insert(names_.end(), std::string(name));
        return static_cast<int>(found - names_.begin());
    }
    const std::vector<std::string>& names() const { return names_; }

private:
    std::vector<std::string> names_;
};

}  // namespace

int main(int argc, char** argv) {
    zor::ProgramArguments arguments = zor::startProgram(argc, argv);
    CLI::App app{"Loads a scene (disk first, then the archive) and prints its contents; with --frame, "
                 "evaluates it at that frame as the frame pass does, without drawing."};
    app.set_version_flag("--version", "zor-inspect " ZOR_VERSION);
    std::string directory = ".";
    std::string archive = zor::kArchiveFileName;
    std::optional<float> frame;
    bool json = false;
    std::string sceneName = zor::kSceneFileName;
    app.add_option("--dir", directory, "Folder of the data files and the archive")->capture_default_str();
    app.add_option("--archive", archive, "Archive searched after the folder")->capture_default_str();
    app.add_option("--frame", frame, "Evaluate the scene at this frame");
    app.add_flag("--json", json, "Print JSON instead of the summary");
    bool check = false;
    app.add_flag("--check", check,
                 "Report what will go wrong or be ignored when the player plays the scene, one "
                 "'FILE:LINE: error|warning: text' line each on standard output; exit status 1 when there are errors");
    app.add_option("SCENE", sceneName, "Scene file name (default: the player's)")->capture_default_str();
    if (const std::optional<int> status = zor::parseToolArguments(app, arguments)) return *status;
    if (frame && !std::isfinite(*frame)) return zor::usageError("zor-inspect", "--frame wants a finite number");
    const std::filesystem::path folder = zor::pathFromUtf8(directory);
    std::error_code ec;
    if (!std::filesystem::is_directory(folder, ec)) {
        std::cerr << "zor-inspect: --dir " << directory << ": "
                  << (std::filesystem::exists(folder, ec) ? "is not a folder" : "no such folder") << '\n';
        return 1;
    }

    zor::DataSource source;
    source.directory = folder;
    source.archiveName = archive;
    // Every name of the scene from one archive, even when it is replaced meanwhile.
    const zor::ArchiveCache::Hold oneArchive = source.holdArchive();
    if (check) {
        if (frame || json) return zor::usageError("zor-inspect", "--check takes neither --frame nor --json");
        std::string playerFrames;
        const auto findings = zor::check::checkScene(source, sceneName, &playerFrames);
        if (!playerFrames.empty()) std::cerr << "zor-inspect: " << playerFrames << '\n';
        for (const zor::check::Finding& f : findings) std::cout << f.format() << '\n';
        std::cout.flush();
        const std::size_t errors = zor::check::countErrors(findings), warnings = findings.size() - errors;
        std::cerr << "zor-inspect: " << sceneName << ": " << errors << (errors == 1 ? " error, " : " errors, ")
                  << warnings << (warnings == 1 ? " warning\n" : " warnings\n");
        return errors > 0 || !std::cout.good() ? 1 : 0;
    }
    zor::Diagnostics diagnostics;
    TextureNames textures;
    zor::ObjectLoader loader(source, [&](std::string_view name) { return textures.load(name); }, &diagnostics);
    zor::SceneLoadContext context;
    context.source = source;
    context.loadObject = [&](std::string& name, zor::Mesh& mesh) { loader.loadObject(name, mesh); };
    context.diagnostics = &diagnostics;
    zor::SceneSourceLines lines;
    context.lines = &lines;

    zor::Scene scene;
    const bool read = zor::readScene(scene, sceneName, context);
    diagnostics.print(std::cerr);
    if (!read) {
        const std::filesystem::path onDisk = folder / zor::pathFromUtf8(sceneName);
        if (const std::string problem = zor::diskFileProblem(onDisk); !problem.empty())
            std::cerr << "zor-inspect: " << zor::utf8Of(onDisk) << ": " << problem << '\n';
        else if (!diagnostics.hasErrors())  // the reader has said why, unless it did not
            std::cerr << "zor-inspect: " << sceneName << ": cannot read the scene\n";
        // A damaged archive has been named; the hint is for what is not there.
        if (zor::archiveDamage(source).empty()) std::cerr << "zor-inspect: " << zor::nothingFoundHint(folder) << '\n';
        return 1;
    }

    std::optional<zor::Evaluation> evaluation;
    if (frame) evaluation = zor::evaluateAt(scene, *frame);
    if (json)
        std::cout << zor::inspect::dumpJson(zor::inspect::toJson(scene, textures.names(), evaluation, lines.nullNames))
                  << '\n';
    else
        zor::inspect::printSummary(std::cout, scene, textures.names(), evaluation, lines.nullNames);
    std::cout.flush();
    if (zor::loadedNoObject(scene)) {
        std::cerr << "zor-inspect: " << sceneName << ": " << zor::describeNoObject(loader.loads(), folder) << '\n';
        return 1;
    }
    // Errors while loading (an unusable archive, an entry that does not
    // inflate) fail the run even though what loaded was printed.
    return std::cout.good() && !diagnostics.hasErrors() ? 0 : 1;
}
