#pragma once
// Writes a conversion into a play folder: the loose files (or, with pack,
// one archive "zor.dat" holding them) and a copy of the music as "mp3.mp3".
// Every file is written beside its place and renamed into it; nothing that
// is already there is replaced unless force is set, and then only the files
// of this import. Throws ImportError naming the file on failure.

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "convert.h"

namespace zor::import {

struct FolderOptions {
    std::filesystem::path folder;
    bool pack = false;
    std::filesystem::path music;  // empty: no music
    bool force = false;
    std::function<void(const std::string&)> progress;  // may be empty
};

// The names this import would write into the folder, in order.
std::vector<std::string> plannedNames(const Conversion& conversion, const FolderOptions& options);

void writePlayFolder(const Conversion& conversion, const FolderOptions& options);

}  // namespace zor::import
