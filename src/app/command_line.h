#pragma once
// The command line chooses the music back end. The whole text after the
// program name is compared as one string, case-sensitively, with three
// literals; anything else (the empty line included) chooses the first one.
// A leading "--dir DIR" (the folder to play in, as the tools take it) is
// taken off before that comparison.

#include <optional>
#include <string>
#include <string_view>

namespace zor {

enum class MusicBackend { Bass, Gaudio, None };

// The arguments after the program name joined by single spaces.
std::string joinArguments(int argc, const char* const* argv);

// The player's arguments: an optional leading "--dir DIR", and the rest.
struct PlayerArguments {
    std::optional<std::string> folder;  // DIR of a leading "--dir DIR"
    bool folderMissing = false;         // "--dir" came with no DIR after it
    std::string line;                   // the other arguments, joined
};
PlayerArguments parsePlayerArguments(int argc, const char* const* argv);

// "-bass" -> Bass, "-gaudio" -> Gaudio, "-nosound" -> None, else Bass.
MusicBackend musicBackendFor(std::string_view commandLine);

}  // namespace zor
