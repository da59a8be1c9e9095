#pragma once
// The one sound output of a platform, the seam every music layer plays
// through: device_music.h builds the BASS-like and gaudio-like layers on it
// once. Each platform gives only its device:
//   - SDL audio on Linux (sdl/sdl_sound_device.h): a callback pulls frames
//     from the piece that plays; MP3 files are decoded by libmpg123
//     (mp3_decoder.h) and converted to the device's rate when loaded;
//   - waveOut on Windows (win32/waveout_sound_device.h): a thread queues
//     buffers of the piece; MP3 files are decoded by Windows' own codec, and
//     waveOut is opened again at a piece's own rate when it differs;
//   - Web Audio in the page (browser/web_audio_device.h): the page has
//     decoded each music file into an AudioBuffer before the player starts,
//     and the device plays those buffers where they are;
//   - a scripted device for tests (tests/support/scripted_sound_device.h).
//
// open() tells "there is no sound device" (NoDevice: the machine has no
// output the device can use) from every other failure (Failed: an output is
// there but refuses); the layers play silently on the first and fail on the
// second. Files are read through system/disk_files.h, so a FIFO in a music
// file's place is refused, never waited on.
//
// Frames count one sample of every channel; positions and starts are frames
// of the piece at its own rate. Calls come from one thread; the devices play
// on threads (or in a page) of their own and are never waited for.

#include <cstdint>
#include <string>

namespace zor {

enum class SoundOpening : std::uint8_t { Opened, NoDevice, Failed };

// A music file made playable.
struct SoundPiece {
    int id = 0;                 // 0: none
    int rate = 0;               // frames a second
    std::uint64_t frames = 0;   // its length
};

class SoundDevice {
public:
    virtual ~SoundDevice() = default;

    // The output, for two channels at `rate` frames a second (the device
    // converts where its hardware differs). Anything but Opened leaves it
    // closed, with the reason in error().
    virtual SoundOpening open(int rate) = 0;
    // The music file `fileName` (relative to the current folder), made
    // playable: decoded where the device plays PCM. Id 0 and error() when it
    // cannot be, or the device is not open.
    virtual SoundPiece load(const std::string& fileName) = 0;
    // Plays a piece from `startFrame`, `playCount` times in all (each repeat
    // from its start), in place of whatever played. False with error().
    virtual bool play(int piece, std::uint64_t startFrame, int playCount) = 0;
    // 0 silent to 1 full; kept for what plays later.
    virtual void setVolume(float volume) = 0;
    virtual void stop() = 0;
    // The frame of the playing piece heard now, as near as the output tells;
    // after a stop where it stopped, after the end the piece's length.
    virtual std::uint64_t position() = 0;
    // Forgets a piece, stopping it when it plays.
    virtual void release(int piece) = 0;
    // Stops, forgets every piece and closes the output; open() may follow.
    virtual void close() = 0;
    // Why the last call failed, or why open() found no device.
    virtual const std::string& error() const = 0;
};

// The frame of a piece of `frames` frames heard `played` frames after it was
// started at `startFrame` to play `playCount` times: the repeats start again
// from 0, and after the last one it stays at the end.
inline std::uint64_t pieceFrameAt(std::uint64_t startFrame, std::uint64_t played, std::uint64_t frames,
                                  int playCount) {
    if (frames == 0) return 0;
    const std::uint64_t from = startFrame < frames ? startFrame : frames;
    const std::uint64_t total = from + played;
    const std::uint64_t rounds = static_cast<std::uint64_t>(playCount < 1 ? 1 : playCount);
    if (total / frames >= rounds) return frames;
    return total % frames;
}

}  // namespace zor
