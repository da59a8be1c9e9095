#pragma once
// What the audience gets of a play folder: one archive holding every data
// file the player reads and what the demo is called (demo-info.txt), the
// music, and the files the player looks for on disk only (an image's "avi"
// companion). The folder is checked first as zor-inspect --check checks it,
// and read as the player reads it: the archive's entries, with every file
// the scene reads from the folder put in (a file on disk takes precedence
// over the archive's entry of its name, so the new archive holds what the
// player would have shown).

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "check/check.h"
#include "scene/demo_info.h"
#include "writers/play_folder.h"

namespace zor::publish {

struct DemoBundle {
    Bytes archive;                        // the new zor.dat
    std::optional<Bytes> music;           // mp3.mp3, when the folder has one
    std::vector<write::DataFile> diskOnly;  // beside the archive
    std::vector<check::Finding> findings;   // of the check
    DemoInfo info;                          // what the archive's demo-info.txt says
    int entries = 0;
    int packedFromDisk = 0;  // entries taken from loose files
};

// `naming`: values that replace the folder's own demo-info.txt's (empty ones
// keep them). Throws std::runtime_error naming the file and what is wrong (no
// scene, a name the archive cannot hold, an unreadable file).
DemoBundle bundleDemo(const std::filesystem::path& folder, const DemoInfo& naming = {});

}  // namespace zor::publish
