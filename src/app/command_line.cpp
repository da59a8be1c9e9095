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

PlayerArguments parsePlayerArguments(const std::vector<std::string>& words) {
    PlayerArguments arguments;
    std::vector<const char*> rest = {""};  // as if the program had been called without the options
    for (std::size_t i = 0; i < words.size(); ++i) {
        const std::string& word = words[i];
        if (word == "--dir") {
            if (i + 1 == words.size()) {
                arguments.folderMissing = true;
                return arguments;
            }
            arguments.folder = words[++i];
        } else if (word == "-smooth") {
            arguments.smooth = true;
        } else if (word == "--stretch") {
            arguments.stretch = true;
        } else if (word == "--help" || word == "-h" || word == "/?") {
            arguments.help = true;
        } else if (word == "--version") {
            arguments.version = true;
        } else {
            rest.push_back(word.c_str());
        }
    }
    arguments.line = joinArguments(static_cast<int>(rest.size()), rest.data());
    if (!arguments.line.empty() && arguments.line != "-bass" && arguments.line != "-gaudio" &&
        arguments.line != "-nosound")
        arguments.unknown = arguments.line;
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
