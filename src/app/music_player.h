#pragma once
// Start-up, opening, starting and release of the music through the back end
// the command line chose, in the library's own order of calls. "-nosound"
// calls neither library at any step. A failed step is returned with the exit
// status and the words the player reports; nothing here ends the process.

#include <string>

#include "app/command_line.h"
#include "platform/music.h"
#include "scene/player_constants.h"

namespace zor {

// The gaudio back end's failures end the program with -1.
inline constexpr int kGaudioFailureStatus = 255;
inline constexpr int kFailureStatus = 1;

struct MusicResult {
    bool ok = true;
    int exitStatus = 0;
    std::string caption;  // non-empty: shown as a message box
    std::string text;

    static MusicResult success() { return {}; }
};

class MusicPlayer {
public:
    // The library of the chosen back end must be given; the other may be null.
    MusicPlayer(MusicBackend backend, BassApi* bass, GaudioApi* gaudio)
        : backend_(backend), bass_(bass), gaudio_(gaudio) {}

    MusicBackend backend() const { return backend_; }

    // Before the display: gaudio's interface and stream object, or BASS's
    // version check, initialisation (on the main window) and output start.
    MusicResult initialise(void* window);
    // After display and renderer: the stream on "mp3.mp3".
    MusicResult open();
    // Right after the scene clock has started.
    MusicResult start();
    // At shutdown; only what was brought up is released.
    void release();

private:
    MusicResult bassFailure(std::string text) const;
    MusicResult gaudioFailure(std::string text) const;

    MusicBackend backend_;
    BassApi* bass_;
    GaudioApi* gaudio_;
    GAUDIO1* audio_ = nullptr;
    MP3STREAM1* stream_ = nullptr;
    StreamHandle handle_ = 0;
    bool bassReady_ = false;
};

}  // namespace zor
