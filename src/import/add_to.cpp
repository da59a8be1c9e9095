#include "import/add_to.h"

#include <algorithm>
#include <cstring>
#include <system_error>

#include "import/readers.h"
#include "scene/player_constants.h"
#include "scene/scene.h"
#include "scene/scene_reader.h"
#include "system/text.h"
#include "writers/play_folder.h"

namespace zor::import {

namespace fs = std::filesystem;

FolderAddition::FolderAddition(const fs::path& folder, const std::string& sceneName)
    : folder_(folder), sceneName_(sceneName) {
    std::error_code ec;
    if (!fs::is_directory(folder, ec)) throw ImportError(utf8Of(folder) + ": no such folder to add to");
    const fs::path archive = folder / kArchiveFileName;
    const fs::path loose = folder / pathFromUtf8(sceneName);

    // The names the folder holds: its files and the archive's entries.
    for (const fs::directory_entry& entry : fs::directory_iterator(folder, ec))
        scene_.names.push_back(utf8Of(entry.path().filename()));
    if (ec) throw ImportError(utf8Of(folder) + ": cannot list the folder: " + ec.message());

    std::optional<Bytes> text;
    if (fs::exists(fs::symlink_status(loose, ec))) {
        ReadFailure failure;
        text = readWholeFile(loose, &failure);
        if (!text) throw ImportError(utf8Of(loose) + ": cannot be read: " + failure.reason);
    }
    if (fs::exists(fs::symlink_status(archive, ec))) {
        // Held from here to the rename, when the new files go into it.
        if (!text) {
            if (!lock_.acquire(archive, true)) throw ImportError(utf8Of(archive) + ": " + lock_.error());
            lock_.removeStaleTemporaries();
        }
        PackFile pack(utf8Of(archive));
        if (pack.isCorrupt()) throw ImportError(utf8Of(archive) + ": " + pack.error());
        for (int i = 0; i < pack.entryCount(); ++i) {
            const PackEntry& entry = pack.entry(i);
            scene_.names.emplace_back(entry.name, strnlen(entry.name, sizeof entry.name));
        }
        if (!text) {
            text = pack.readEntry(sceneName);
            if (!text && pack.findEntry(sceneName) >= 0) throw ImportError(utf8Of(archive) + ": " + pack.error());
            packed_ = text.has_value();
        }
    }
    if (!text)
        throw ImportError(utf8Of(folder) + ": holds no " + sceneName + " to add to, neither as a file nor in " +
                          kArchiveFileName + " (--out makes a new scene)");
    scene_.text.assign(text->begin(), text->end());

    Scene scene;
    SceneSourceLines lines;
    parseScene(scene, scene_.text, sceneName, {}, nullptr, &lines);
    scene_.objects = static_cast<int>(scene.objects.size());
    scene_.lights = static_cast<int>(scene.lights.size());
    scene_.firstFrame = scene.firstFrame;
    scene_.lastFrame = scene.lastFrame;
    for (const SceneObject& o : scene.objects)
        if (o.name != "NULL") scene_.names.push_back(o.name);
    for (const std::string& n : lines.nullNames)
        if (!n.empty()) scene_.names.push_back(n);
}

FolderAddition::~FolderAddition() = default;

void FolderAddition::write(const Conversion& conversion, const std::optional<Bytes>& music, Replace replaceMusic,
                           const std::function<void(const std::string&)>& progress) {
    auto say = [&](const std::string& line) {
        if (progress) progress(line);
    };
    if (conversion.files.empty() || conversion.files.front().name != sceneName_)
        throw std::runtime_error("the import made no scene to write");
    const write::DataFile& sceneFile = conversion.files.front();
    WriteFailure written;
    if (music) {
        const fs::path path = folder_ / kMusicFileName;
        if (!writeFileByRename(path, *music, replaceMusic, written))
            throw std::runtime_error(written.describe(path, "--force"));
    }
    if (packed_) {
        const fs::path archive = folder_ / kArchiveFileName;
        PackFile pack(utf8Of(archive));
        if (pack.isCorrupt()) throw std::runtime_error(utf8Of(archive) + ": " + pack.error());
        // The old scene's entry goes; the new one (the old text and the new
        // items) and the new files come after the other entries.
        for (int at; (at = pack.findEntry(sceneName_)) >= 0;)
            if (!pack.dropEntry(at)) {
                const std::string error = pack.error();
                pack.discardChanges();
                throw std::runtime_error(utf8Of(archive) + ": " + error + "; nothing was added");
            }
        for (const write::DataFile& f : conversion.files)
            if (!pack.addData(f.bytes, f.name)) {
                const std::string error = pack.error();
                pack.discardChanges();
                throw std::runtime_error(utf8Of(archive) + ": cannot add " + f.name + ": " + error + "; nothing was added");
            }
        if (!pack.flush()) {
            const std::string error = pack.error();
            pack.discardChanges();
            throw std::runtime_error(utf8Of(archive) + ": " + error + "; nothing was added");
        }
        say("added " + std::to_string(conversion.files.size() - 1) + " files and the longer " + sceneName_ + " to " +
            kArchiveFileName);
        return;
    }
    // Loose: refuse before writing anything when a new name is taken (the
    // names were chosen clear of the folder's, so only a file made meanwhile
    // can be in the way).
    std::error_code ec;
    for (std::size_t i = 1; i < conversion.files.size(); ++i)
        if (fs::exists(fs::symlink_status(folder_ / pathFromUtf8(conversion.files[i].name), ec)))
            throw std::runtime_error(utf8Of(folder_ / pathFromUtf8(conversion.files[i].name)) +
                                     ": appeared while importing; nothing was added");
    for (std::size_t i = 1; i < conversion.files.size(); ++i) {
        const fs::path path = folder_ / pathFromUtf8(conversion.files[i].name);
        if (!writeFileByRename(path, conversion.files[i].bytes, Replace::Never, written))
            throw std::runtime_error(written.describe(path, "--force"));
    }
    // The scene last, and only when it is still the one the import read.
    const fs::path loose = folder_ / pathFromUtf8(sceneName_);
    ReadFailure failure;
    const std::optional<Bytes> now = readWholeFile(loose, &failure);
    if (!now || !std::equal(now->begin(), now->end(), scene_.text.begin(), scene_.text.end()))
        throw std::runtime_error(utf8Of(loose) + ": changed while importing; it was not replaced (the new files are "
                                                  "in the folder, named by nothing yet)");
    if (!writeFileByRename(loose, sceneFile.bytes, Replace::Always, written))
        throw std::runtime_error(written.describe(loose, "--force"));
    say("wrote " + std::to_string(conversion.files.size() - 1) + " files and the longer " + sceneName_);
}

}  // namespace zor::import
