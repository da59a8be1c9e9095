#pragma once
// Adding sources to a play folder that is already there (--add-to). The
// folder's scene is read as the player finds it, disk first, then zor.dat,
// and stays byte for byte: the new objects and lights follow its text. The
// new files go where the scene is: beside it when it is a loose file, into
// zor.dat when it is packed there. Everything is written beside its place and
// renamed into it; the scene last, so a failure midway leaves the scene as
// it was (and at most some new files it does not name yet).
//
// A packed folder is held under the archive's writers' lock from reading the
// scene to the rename of the new archive, as zorpack holds it. A loose scene
// that changes meanwhile is not replaced.

#include <filesystem>
#include <functional>
#include <optional>
#include <string>

#include "archive/archive_lock.h"
#include "import/convert.h"

namespace zor::import {

class FolderAddition {
public:
    // Reads the scene `sceneName` of `folder` and the names the folder
    // holds. Throws ImportError naming the folder when there is no scene to
    // add to, or the archive cannot be read or locked.
    FolderAddition(const std::filesystem::path& folder, const std::string& sceneName);
    ~FolderAddition();
    FolderAddition(const FolderAddition&) = delete;
    FolderAddition& operator=(const FolderAddition&) = delete;

    const ExistingScene& scene() const { return scene_; }
    // The scene lives in zor.dat.
    bool packed() const { return packed_; }

    // Writes the conversion's files (its first, the scene, replacing the old
    // one) and the music when given. Throws std::runtime_error naming the
    // file and the reason.
    void write(const Conversion& conversion, const std::optional<Bytes>& music, Replace replaceMusic,
               const std::function<void(const std::string&)>& progress);

private:
    std::filesystem::path folder_;
    std::string sceneName_;
    ExistingScene scene_;
    bool packed_ = false;
    ArchiveLock lock_;
};

}  // namespace zor::import
