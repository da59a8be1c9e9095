#pragma once
// Start-up, opening, starting and release of the music through the back end
// the command line chose, in the library's own order of calls (the gaudio
// steps are platform/music_steps.h's, shared with the preview). "-nosound"
// calls neither library at any step. A failed step is returned with the exit
// status and the words the player reports; nothing here ends the process.
//
// Where there is no sound device the layers succeed silently: silence() says
// why after initialise(), the player says so once and plays on, and the
// music file is neither needed nor read.

#include <memory>
#include <string>

#include "app/command_line.h"
#include "platform/music.h"
#include "platform/music_steps.h"
#include "scene/player_constants.h"

namespace zor {

// Every music failure ends the player with 1, whichever the back end.
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
    MusicPlayer(MusicBackend backend, BassApi* bass, GaudioApi* gaudio);

    MusicBackend backend() const { return backend_; }

    // Before the display: gaudio's interface and stream object, or BASS's
    // version check, initialisation (on the main window) and output start.
    MusicResult initialise(void* window);
    // After initialise: why the music will not be heard though every step
    // succeeds (no sound device); empty when it will be.
    std::string silence() const;
    // After display and renderer: the stream on "mp3.mp3".
    MusicResult open();
    // Right after the scene clock has started.
    MusicResult start();
    // At shutdown; only what was brought up is released.
    void release();

private:
    MusicResult failure(std::string text) const;

    MusicBackend backend_;
    BassApi* bass_;
    std::unique_ptr<GaudioSteps> gaudio_;
    StreamHandle handle_ = 0;
    bool bassReady_ = false;
};

}  // namespace zor
