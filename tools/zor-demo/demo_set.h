#pragma once
// Writes the playable sample demo into one folder: "zor.dat" (scene, objects,
// binary mesh, images), "mp3.mp3" (encoded by the lame program) and the
// "avi" companion file that turns off one image's mip levels, which the
// player looks for on disk only. Optionally the loose data files as well.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "system/disk_files.h"
#include "writers/play_folder.h"

namespace zor::demo {

using DataFile = write::DataFile;

// Every file that goes into the archive, in archive order.
std::vector<DataFile> demoDataFiles();

struct DemoSetOptions {
    std::filesystem::path out;      // the play folder
    std::filesystem::path sources;  // loose copies of the archived files; empty: none
    std::string lame = "lame";      // encoder program, looked up on PATH
    int bitrate = 96;               // kbit/s
    std::function<void(const std::string&)> progress;  // one line per step; may be empty
};

// Fixed encoder arguments: constant bit rate, no replay-gain analysis, no
// tags, so the same input always gives the same bytes.
std::vector<std::string> lameArguments(const DemoSetOptions& options, const std::string& wav,
                                       const std::string& mp3);

// Throws std::runtime_error naming the file and what went wrong.
void writeDemoSet(const DemoSetOptions& options);

}  // namespace zor::demo
