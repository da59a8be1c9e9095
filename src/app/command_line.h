#pragma once
// The command line chooses the music back end. The whole text after the
// program name is compared as one string, case-sensitively, with three
// literals; anything else (the empty line included) chooses the first one.
// A leading "--dir DIR" (the folder to play in, as the tools take it), and
// the picture's switches "-smooth" and "--stretch" wherever they stand, are
// taken off before that comparison.

#include <optional>
#include <string>
#include <string_view>

namespace zor {

enum class MusicBackend { Bass, Gaudio, None };

// The arguments after the program name joined by single spaces.
std::string joinArguments(int argc, const char* const* argv);

// The player's arguments: an optional leading "--dir DIR", the picture's
// switches, and the rest.
struct PlayerArguments {
    std::optional<std::string> folder;  // DIR of a leading "--dir DIR"
    bool folderMissing = false;         // "--dir" came with no DIR after it
    bool smooth = false;                // "-smooth": fractional frames at the display's rate
    bool stretch = false;               // "--stretch": the view over the whole of a mode that is not 4:3
    std::string line;                   // the other arguments, joined
};
PlayerArguments parsePlayerArguments(int argc, const char* const* argv);

// "-bass" -> Bass, "-gaudio" -> Gaudio, "-nosound" -> None, else Bass.
MusicBackend musicBackendFor(std::string_view commandLine);

}  // namespace zor
