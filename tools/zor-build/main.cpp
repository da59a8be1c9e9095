// zor-build: an author's recipe (demo.toml) into a play folder. The recipe
// is read (recipe/recipe.h), the demo built through the importer's one
// conversion (import/demo_build.h) and written through writePlayFolder over
// what an earlier build wrote (writers/folder_record.h); then the folder is
// checked as zor-inspect --check checks it.
//
// Exit status: 0 success, 1 a bad recipe (its one line, nothing written), a
// failed build or write, or errors in the check (unless --keep-going), 2
// usage error.

#include <chrono>
#include <filesystem>
#include <iostream>
#include <string>

#include <CLI/CLI.hpp>

#include "archive/data_source.h"
#include "check/check.h"
#include "import/demo_build.h"
#include "preview/tool_usage.h"
#include "recipe/recipe.h"
#include "scene/player_constants.h"
#include "system/text.h"
#include "writers/folder_record.h"

namespace {

namespace fs = std::filesystem;

const char* const kDescription =
    "Builds the play folder an author's recipe (a TOML file, demo.toml) directs: the models it names, each\n"
    "placed, keyed, spun and looped as it says, the camera (a model's own, its keys, or the importer's\n"
    "choice), the range, a backdrop room, the logo, the music (MP3; WAV and FLAC are encoded) and the\n"
    "demo's title, author and description; all through zor-import's conversion, into zor.dat and\n"
    "mp3.mp3. The scene is an output: edit the recipe and build again. The same recipe and files give the\n"
    "same bytes.\n\n"
    "FOLDER (default: the recipe's path without .toml) is written over what an earlier build of it (or\n"
    "zor-import --out) wrote, as its .zor-files records: those files are replaced, the ones no longer\n"
    "written removed, and no other file is touched; a file in the way that no build wrote is refused\n"
    "unless --force. Then the folder is checked as zor-inspect --check checks it.";

const char* const kFooter =
    "A bad recipe gets one line, RECIPE:LINE:COLUMN: what is wrong, and nothing is written.\n\n"
    "The recipe's keys and a worked example: docs/authoring.md, \"Directing a demo\" (installed in "
    "/usr/share/doc/zor/).\n\n"
    "Exit status: 0 success, 1 a bad recipe, a failed build, or errors in the check (unless --keep-going), "
    "2 usage error.";

std::string plural(std::size_t n, const char* one, const char* many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

}  // namespace

int main(int argc, char** argv) {
    zor::ProgramArguments arguments = zor::startProgram(argc, argv);
    CLI::App app{kDescription};
    app.set_version_flag("--version", std::string("zor-build ") + ZOR_VERSION);
    app.footer(kFooter);
    std::string recipePath, out;
    bool keepGoing = false, force = false, quiet = false;
    app.add_option("RECIPE", recipePath, "The recipe, a TOML file (demo.toml)")->required();
    app.add_option("--out", out, "The play folder to write (default: the recipe's path without .toml)");
    app.add_flag("--keep-going", keepGoing, "End with status 0 although the check found errors");
    app.add_flag("--force", force, "Replace files in FOLDER that no earlier build wrote");
    app.add_flag("--quiet,-q", quiet, "Print nothing but errors and the check's errors");
    if (const std::optional<int> status = zor::parseToolArguments(app, arguments)) return *status;

    const auto start = std::chrono::steady_clock::now();
    const fs::path recipeFile = zor::pathFromUtf8(recipePath);
    const zor::recipe::RecipeResult read = zor::recipe::loadRecipe(recipeFile);
    if (!read.ok()) {
        std::cerr << read.error->message() << '\n';
        return 1;
    }
    const fs::path folder = out.empty() ? zor::import::defaultFolderOf(recipeFile) : zor::pathFromUtf8(out);
    auto progress = [&](const std::string& line) {
        if (!quiet) std::cerr << "zor-build: " << line << '\n';
    };

    zor::import::DemoBuild demo;
    try {
        zor::import::DemoBuildOptions options;
        options.progress = progress;
        demo = zor::import::buildDemo(read.recipe, options);
        zor::write::PlayFolder play = demo.playFolder(folder);
        play.progress = progress;
        for (const std::string& name : zor::write::rewritePlayFolder(play, force))
            progress("removed " + name + ": an earlier build or import wrote it, and this build does not");
    } catch (const zor::import::BuildError& e) {
        std::cerr << e.what() << '\n';
        return 1;
    } catch (const std::exception& e) {
        std::cerr << "zor-build: error: " << e.what() << '\n';
        return 1;
    }

    if (!quiet) {
        const auto ms =
            std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
        std::cout << "zor-build: built " << zor::utf8Of(folder) << " from " << recipePath << ": "
                  << plural(read.recipe.models.size(), "model", "models") << ", "
                  << plural(static_cast<std::size_t>(demo.objects + demo.nullObjects), "object", "objects") << " ("
                  << demo.nullObjects << " of them null; " << demo.points << " points, " << demo.polygons
                  << " polygons), " << plural(demo.images, "image", "images") << ", "
                  << plural(demo.lights, "light", "lights") << ", " << plural(demo.keys, "key", "keys") << "; "
                  << (demo.pack ? zor::kArchiveFileName : "loose files")
                  << (demo.music ? std::string(" and ") + zor::kMusicFileName : std::string()) << " (" << ms.count()
                  << " ms)\n";
        for (const std::string& n : demo.notes) std::cout << "  " << n << '\n';
        std::cout.flush();
    }
    for (const std::string& w : demo.warnings) std::cerr << "zor-build: warning: " << w << '\n';

    // The folder as the player finds it, checked.
    zor::DataSource source;
    source.directory = folder;
    source.archiveName = zor::kArchiveFileName;
    const zor::ArchiveCache::Hold oneArchive = source.holdArchive();
    const std::vector<zor::check::Finding> findings = zor::check::checkScene(source, zor::kSceneFileName);
    for (const zor::check::Finding& f : findings)
        if (!quiet || f.severity == zor::Severity::Error) std::cout << f.format() << '\n';
    std::cout.flush();
    const std::size_t errors = zor::check::countErrors(findings), warnings = findings.size() - errors;
    if (!quiet || errors > 0)
        std::cerr << "zor-build: the check of " << zor::utf8Of(folder) << ": " << plural(errors, "error", "errors")
                  << ", " << plural(warnings, "warning", "warnings")
                  << (errors > 0 && keepGoing ? " (--keep-going)" : "") << '\n';
    return errors > 0 && !keepGoing ? 1 : 0;
}
