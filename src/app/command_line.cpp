#include "app/command_line.h"

#include <vector>

namespace zor {

std::string joinArguments(int argc, const char* const* argv) {
    std::string line;
    for (int i = 1; i < argc; ++i) {
        if (i > 1) line += ' ';
        if (argv[i]) line += argv[i];
    }
    return line;
}

PlayerArguments parsePlayerArguments(int argc, const char* const* argv) {
    PlayerArguments arguments;
    int first = 1;
    if (argc >= 2 && argv[1] && std::string_view(argv[1]) == "--dir") {
        if (argc < 3 || !argv[2]) {
            arguments.folderMissing = true;
            return arguments;
        }
        arguments.folder = argv[2];
        first = 3;
    }
    // The rest as if the program had been called without the switches.
    std::vector<const char*> rest = {argc > 0 ? argv[0] : ""};
    for (int i = first; i < argc; ++i) {
        const std::string_view argument = argv[i] ? argv[i] : "";
        if (argument == "-smooth") arguments.smooth = true;
        else if (argument == "--stretch") arguments.stretch = true;
        else rest.push_back(argv[i]);
    }
    arguments.line = joinArguments(static_cast<int>(rest.size()), rest.data());
    return arguments;
}

MusicBackend musicBackendFor(std::string_view commandLine) {
    // Two flags, as the choice was first written: BASS set, gaudio clear.
    bool bass = true;
    bool gaudio = false;
    if (commandLine == "-bass") {
        bass = true;
        gaudio = false;
    }
    if (commandLine == "-gaudio") {
        bass = false;
        gaudio = true;
    }
    if (commandLine == "-nosound") {
        bass = false;
        gaudio = false;
    }
    if (gaudio) return MusicBackend::Gaudio;
    return bass ? MusicBackend::Bass : MusicBackend::None;
}

}  // namespace zor
