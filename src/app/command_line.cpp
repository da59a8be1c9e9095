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
