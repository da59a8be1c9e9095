#pragma once
// The player's command line. The player's own options are taken off wherever
// they stand: "--dir DIR" (the folder to play in, as the tools take it), the
// picture's switches "-smooth" and "--stretch", and "--help" ("-h", "/?") and
// "--version". What is left chooses the music back end: it is compared as one
// string, case-sensitively, with three literals; anything else (the empty
// line included) chooses the first one. Words that are none of these are
// kept in `unknown`, so that the player can name them.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zor {

enum class MusicBackend { Bass, Gaudio, None };

// The arguments after the program name joined by single spaces.
std::string joinArguments(int argc, const char* const* argv);

struct PlayerArguments {
    std::optional<std::string> folder;  // DIR of "--dir DIR"
    bool folderMissing = false;         // "--dir" came with no DIR after it
    bool smooth = false;                // "-smooth": fractional frames at the display's rate
    bool stretch = false;               // "--stretch": the view over the whole of a mode that is not 4:3
    bool help = false;                  // "--help", "-h" or "/?"
    bool version = false;               // "--version"
    std::string line;                   // the other arguments, joined: the music's words
    // The line when it is not empty and not one of the music's three words:
    // what the player does not understand (the music then takes the first
    // back end, as for any other text).
    std::string unknown;
};
// `words` are the arguments after the program name.
PlayerArguments parsePlayerArguments(const std::vector<std::string>& words);

// "-bass" -> Bass, "-gaudio" -> Gaudio, "-nosound" -> None, else Bass.
MusicBackend musicBackendFor(std::string_view commandLine);

}  // namespace zor
