#include "app/command_line.h"

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
    if (argc >= 2 && argv[1] && std::string_view(argv[1]) == "--dir") {
        if (argc < 3 || !argv[2]) {
            arguments.folderMissing = true;
            return arguments;
        }
        arguments.folder = argv[2];
        // The rest as if the program had been called without the two.
        arguments.line = joinArguments(argc - 2, argv + 2);
        return arguments;
    }
    arguments.line = joinArguments(argc, argv);
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
