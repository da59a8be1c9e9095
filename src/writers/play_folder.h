#pragma once
// A play folder, written: the data files (scene, objects, binary meshes,
// images) packed into one archive "zor.dat" or left as loose files, the files
// the player looks for on disk only (an image's "avi" companion), and the
// music "mp3.mp3". The sample generator, zor-import and zor-publish write
// their folders through this.
//
// Every file is written beside its place and renamed into it, so a failure
// (a full disk, say) leaves no partial file and names the file and the
// system's reason. The archive is built whole under a temporary name and
// renamed into place: an old "zor.dat" is replaced, never added to. What is
// already in the folder is refused before anything is written, unless
// `replace` is Replace::Always (and then only the files of this folder are
// replaced).

#include <filesystem>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "archive/pack_file.h"
#include "system/disk_files.h"

namespace zor::write {

// A file of a play folder: its name (in the folder, or in the archive) and
// its bytes.
using DataFile = NamedBytes;

struct PlayFolder {
    std::filesystem::path folder;
    std::vector<DataFile> files;         // the data files, in archive order
    bool pack = true;                    // into zor.dat; false: loose files
    std::vector<DataFile> diskOnly;      // beside the archive, never in it
    std::optional<Bytes> music;          // written as mp3.mp3; none: no music
    Replace replace = Replace::Never;
    std::function<void(const std::string&)> progress;  // one line per step; may be empty
};

// The names `folder` will hold once written, in the order they are written.
std::vector<std::string> plannedNames(const PlayFolder& folder);

// Throws std::runtime_error naming the file and what went wrong; a refusal
// to replace says "already holds NAME (--force replaces them)".
void writePlayFolder(const PlayFolder& folder);

// A fresh archive at `path` holding `files` in order (packArchive), written
// beside its place and renamed into it. False with `failure` set (the kind
// Exists when `replace` is Never and something is at `path`).
bool writeArchiveByRename(const std::filesystem::path& path, const std::vector<DataFile>& files, Replace replace,
                          WriteFailure& failure);

}  // namespace zor::write
