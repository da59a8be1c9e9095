#pragma once
// The gaudio-like library's steps in the order its callers take them,
// written once for the player (app/music_player.h) and the preview
// (preview/transport.h): bring-up (the interface, Init, the stream object),
// the stream on a file (its leading members, Initialize), play (the start,
// Play, SetVolume 1.0), kill, and shutdown (Kill, ShutDown). Each failure is
// told in words the player and the preview both print; neither ends anything.

#include <cstdint>
#include <string>

#include "platform/music.h"

namespace zor {

// "the sound device cannot be opened (REASON); start with -nosound to play
// without music": a sound device that is there but refuses.
std::string soundDeviceRefused(const std::string& reason);
// "cannot open the music "NAME"", with " (REASON)" when there is one.
std::string cannotOpenMusic(const std::string& fileName, const std::string& reason);

class GaudioSteps {
public:
    explicit GaudioSteps(GaudioApi& api) : api_(api) {}
    GaudioSteps(const GaudioSteps&) = delete;
    GaudioSteps& operator=(const GaudioSteps&) = delete;

    // GA_GetInterface(0x10100), Init(0), GetStreamInterface(0x10001). False
    // with error() set; an interface whose Init failed is not used again.
    bool bringUp();
    // The stream's members (a file, played once, from its start), then
    // Initialize. False with error() set. `fileName` must outlive the stream.
    bool openStream(const char* fileName);
    // The start (milliseconds into the music), Play, SetVolume(1.0).
    void play(std::int32_t startMilliseconds = 0);
    // Kill, when the stream was opened and not killed since; openStream
    // again before the next play.
    void kill();
    // Kill as above, then ShutDown; nothing when it was never brought up.
    void shutDown();

    bool broughtUp() const { return audio_ != nullptr; }
    bool streamOpen() const { return open_; }
    // Why nothing is heard though it all succeeds (no sound device).
    std::string silence() const { return audio_ ? api_.silence() : std::string(); }
    const std::string& error() const { return error_; }

private:
    GaudioApi& api_;
    GAUDIO1* audio_ = nullptr;
    MP3STREAM1* stream_ = nullptr;
    bool open_ = false;
    std::string error_;
};

}  // namespace zor
