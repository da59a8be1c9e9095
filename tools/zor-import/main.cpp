// zor-import: turns what modelling tools export (glTF 2.0, Wavefront OBJ)
// into a play folder the player reads: LightWave objects or binary meshes,
// the scene, JPEG images, optionally zor.dat and the music.
//
// Exit status: 0 success, 1 failure (the message names the file), 2 usage
// error.

#include <chrono>
#include <cmath>
#include <exception>
#include <iostream>

#include <CLI/CLI.hpp>

#include "app/tool_usage.h"
#include "archive/archive.h"
#include "convert.h"
#include "readers.h"

namespace {

const char* const kDescription =
    "Imports a glTF 2.0 (.gltf, .glb) or Wavefront OBJ (.obj with its .mtl) model into a play folder.\n\n"
    "Space: the source is taken as right-handed with +Y up and one unit a metre (OBJ alike); the player's\n"
    "space is left-handed with +Y up, +X right and +Z away from the viewer, so z is turned around. One\n"
    "player unit is one source unit times --scale. The player's view is fixed (45 x 34 degrees, 1 to 100\n"
    "units ahead): scale the model to fit.\n\n"
    "Meshes become LightWave objects (NAME.lwo), or binary meshes (NAME.3d) where texture coordinates\n"
    "follow no planar projection; meshes beyond 65535 points or polygons (or too many surfaces) are split.\n"
    "Images become JPEGs with sides of powers of two from 8 to 256. Node animations become motion keys at\n"
    "30.3 frames per second: linear keys stay linear keys, stepped and cubic-spline ones are sampled once\n"
    "a frame. Without a camera or a light in the source, a view framing the model and a distant light are\n"
    "added.";

// The music, read before anything is written: a bad file stops the import
// first. An MP3 stream starts with an ID3 tag or an MPEG audio frame header.
zor::Bytes readMusic(const std::string& path) {
    zor::ReadFailure failure;
    std::optional<zor::Bytes> bytes = zor::readWholeFile(path, &failure);
    if (!bytes) throw zor::import::ImportError(path + ": cannot be read: " + failure.reason);
    const zor::Bytes& b = *bytes;
    const bool id3 = b.size() >= 3 && b[0] == 'I' && b[1] == 'D' && b[2] == '3';
    const bool frame = b.size() >= 4 && b[0] == 0xFF && (b[1] & 0xE0) == 0xE0 && (b[1] & 0x06) != 0;
    if (!id3 && !frame) throw zor::import::ImportError(path + ": is not an MP3 file");
    return std::move(*bytes);
}

void printList(const char* title, const std::vector<std::string>& lines) {
    if (lines.empty()) return;
    std::cout << "zor-import: " << title << ":\n";
    for (const std::string& l : lines) std::cout << "  " << l << '\n';
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{kDescription};
    app.set_version_flag("--version", std::string("zor-import ") + ZOR_VERSION);
    app.footer("Nothing already in FOLDER is replaced without --force; every file is written beside its place and "
               "renamed into it.\n\nExit status: 0 success, 1 failure, 2 usage error.");
    std::string source, out, sceneName = zor::kSceneFileName, music;
    float scale = 1.0f;
    bool pack = false, force = false, quiet = false;
    app.add_option("SOURCE", source, "Model to import (.gltf, .glb or .obj)")->required();
    app.add_option("--out", out, "Play folder to write (created if missing)")->required();
    app.add_option("--scene", sceneName, "Name of the scene file")->capture_default_str();
    app.add_flag("--pack", pack, "Pack the scene, objects and images into zor.dat instead of loose files");
    app.add_option("--music", music, "MP3 file to copy into the folder as mp3.mp3");
    app.add_option("--scale", scale, "Player units per source unit")->capture_default_str();
    app.add_flag("--force", force, "Replace files of the same names in FOLDER");
    app.add_flag("--quiet,-q", quiet, "Print nothing but errors");
    if (const std::optional<int> status = zor::parseToolArguments(app, argc, argv)) return *status;
    auto usage = [](const std::string& what) { return zor::usageError("zor-import", what); };
    if (!(scale > 0) || !std::isfinite(scale)) return usage("--scale wants a positive number");
    if (sceneName.empty() || sceneName.size() > static_cast<std::size_t>(zor::kMaxEntryNameLength) ||
        sceneName.find_first_of("/\\ \t\n") != std::string::npos || sceneName == "." || sceneName == "..")
        return usage("--scene wants a plain file name of at most 31 characters");

    const auto start = std::chrono::steady_clock::now();
    auto progress = [&](const std::string& line) {
        if (!quiet) std::cout << "zor-import: " << line << '\n' << std::flush;
    };
    try {
        progress("reading " + source);
        zor::import::SourceModel model = zor::import::readSource(source);
        progress("converting " + std::to_string(model.nodes.size()) + " nodes, " + std::to_string(model.meshes.size()) +
                 " meshes, " + std::to_string(model.images.size()) + " images");
        zor::import::ConvertOptions options;
        options.scale = scale;
        options.sceneName = sceneName;
        zor::import::Conversion conversion = zor::import::convertModel(model, options);

        zor::write::PlayFolder folder;
        folder.folder = out;
        folder.pack = pack;
        if (!music.empty()) folder.music = readMusic(music);
        folder.replace = force ? zor::Replace::Always : zor::Replace::Never;
        folder.progress = progress;
        folder.files = std::move(conversion.files);
        zor::write::writePlayFolder(folder);

        if (!quiet) {
            const auto ms =
                std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
            std::cout << "zor-import: " << conversion.objects << " objects (" << conversion.nullObjects
                      << " nulls), " << conversion.polygons << " polygons, " << conversion.points << " points, "
                      << conversion.images << " images, " << conversion.lights << " lights, " << conversion.keys
                      << " keys, frames " << conversion.firstFrame << " to " << conversion.lastFrame << " ("
                      << ms.count() << " ms)\n";
            printList("renamed", conversion.renamed);
            printList("did not come across", conversion.notCarried);
            printList("notes", conversion.notes);
        }
    } catch (const std::exception& e) {
        std::cerr << "zor-import: error: " << e.what() << '\n';
        return 1;
    }
    return 0;
}
