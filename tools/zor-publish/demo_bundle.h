#pragma once
// What the audience gets of a play folder: one archive holding every data
// file the player reads, the music, and the files the player looks for on
// disk only (an image's "avi" companion). The folder is checked first as
// zor-inspect --check checks it, and read as the player reads it: the
// archive's entries, with every file the scene reads from the folder put in
// (a file on disk takes precedence over the archive's entry of its name, so
// the new archive holds what the player would have shown).

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "check/check.h"
#include "writers/play_folder.h"

namespace zor::publish {

struct DemoBundle {
    Bytes archive;                        // the new zor.dat
    std::optional<Bytes> music;           // mp3.mp3, when the folder has one
    std::vector<write::DataFile> diskOnly;  // beside the archive
    std::vector<check::Finding> findings;   // of the check
    int entries = 0;
    int packedFromDisk = 0;  // entries taken from loose files
};

// Throws std::runtime_error naming the file and what is wrong (no scene, a
// name the archive cannot hold, an unreadable file).
DemoBundle bundleDemo(const std::filesystem::path& folder);

}  // namespace zor::publish
