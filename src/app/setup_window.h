#pragma once
// The set-up window's logic: two drop-down lists (display adapters, then the
// chosen adapter's 15- and 16-bit modes) and a button that confirms the
// choice. Modes narrower than 512 pixels are listed but refused when chosen.
// The window itself is any DialogWindow: drawn on SDL2 in the player, scripted
// in tests.

#include <cstdint>
#include <string>
#include <vector>

#include "platform/dialog.h"

namespace zor {

inline constexpr int kSetupButtonId = 1024;
inline constexpr int kAdapterListId = 2048;
inline constexpr int kModeListId = 2049;
inline constexpr std::uint32_t kMinimumModeWidth = 512;

struct SetupMode {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::uint32_t bitsPerPixel = 0;
    std::uint32_t samples = 0;  // multisampling; 0 or 1: none
};

struct SetupAdapter {
    std::string description;
    std::vector<SetupMode> modes;
};

// Positions in the two lists, which are indexes into the adapters and into
// that adapter's modes.
struct SetupChoice {
    int adapter = -1;
    int mode = -1;
};

// "%dx%dx%dBpp", with " (Not supported)" after it below 512 pixels wide.
std::string modeText(const SetupMode& mode);

// The window in steps, for hosts whose events arrive between calls (the
// browser); runSetupWindow is open(), then poll() until it is not Waiting.
class SetupWindow {
public:
    enum class State { Waiting, Accepted, Quit };

    SetupWindow(DialogWindow& dialog, const std::vector<SetupAdapter>& adapters)
        : dialog_(dialog), adapters_(adapters) {}

    // Builds the window and its lists. False when it cannot be made (the
    // dialog's error() says why).
    bool open();
    // Handles every waiting event. Accepted: the choice is taken and the
    // window destroyed. Quit: the program was asked to end (the window is
    // destroyed). Waiting: nothing decided yet.
    State poll();
    const SetupChoice& choice() const { return choice_; }

private:
    DialogWindow& dialog_;
    const std::vector<SetupAdapter>& adapters_;
    SetupChoice choice_;
};

// Builds the window, runs its loop until an acceptable choice is confirmed,
// destroys it. False when the program was asked to quit first, or the window
// cannot be made (the dialog's error() says why).
bool runSetupWindow(DialogWindow& dialog, const std::vector<SetupAdapter>& adapters, SetupChoice& choice);

// Empties nothing: adds the adapter's modes to the mode list and selects the
// last 480-line mode, or the first when none has 480 lines.
void fillModeList(DialogWindow& dialog, const SetupAdapter& adapter);

// The choice the window starts with: the second adapter when there are two or
// more, else the first; that adapter's last 480-line mode, else its first.
// -1 where there is nothing to choose.
int defaultAdapterPosition(const std::vector<SetupAdapter>& adapters);
int defaultModePosition(const SetupAdapter& adapter);
SetupChoice defaultSetupChoice(const std::vector<SetupAdapter>& adapters);
// Whether a choice may be taken; otherwise why not (the texts the window
// refuses it with).
bool acceptableChoice(const std::vector<SetupAdapter>& adapters, const SetupChoice& choice, std::string& refusal);

}  // namespace zor
