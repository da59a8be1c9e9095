#pragma once
// Starting SDL's video subsystem with a driver that fits where the program
// runs. SDL_VIDEODRIVER, when set, is SDL's to follow. Otherwise, with no
// screen at all (neither DISPLAY nor WAYLAND_DISPLAY set), a program that
// draws hidden gets the off-screen driver at once, and one that must show a
// window tries every driver SDL has but Wayland's: without a Wayland server
// that one only prints "XDG_RUNTIME_DIR is invalid or not set" on standard
// error and gives up.

#include <string>

namespace zor {

// Like SDL_InitSubSystem(SDL_INIT_VIDEO): each success is matched by one
// SDL_QuitSubSystem(SDL_INIT_VIDEO). False with SDL's reason in `error`.
bool startSdlVideo(bool hidden, std::string& error);

}  // namespace zor
