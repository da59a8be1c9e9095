#pragma once
// The preview's transport: where in the scene the picture is, whether it
// moves, how fast, and the music kept in step with it. Pure logic over clock
// readings in milliseconds (the window system's counter), so it runs with a
// scripted clock in tests.
//
// The position is a frame number with a fraction. Playing advances it at the
// player's 30.3 frames per second of wall time times the speed; it never
// leaves the scene's range: playing stops on the last frame, seeks are
// clamped to the first and last. Any frame can be shown at once, since the
// frame pass keeps nothing between frames.
//
// The music plays only while the picture plays at speed 1 (the sound device
// plays it at its own rate only); whenever it (re)starts, it starts at the picture's time
// from the first frame, so a seek, a pause or a change of speed always
// brings it back in step.

#include <cstdint>
#include <memory>
#include <string>

#include "platform/music.h"
#include "platform/music_steps.h"
#include "scene/player_constants.h"

namespace zor {

// Wall-clock frames per second of the player's clock (15.15, doubled).
inline constexpr double kClockFramesPerSecond = 2 * kHalfFramesPerSecond;
inline constexpr double kSlowestSpeed = 1.0 / 8;
inline constexpr double kFastestSpeed = 8.0;

// What the transport asks of the music.
class TransportMusic {
public:
    virtual ~TransportMusic() = default;
    virtual void playFrom(double seconds) = 0;
    virtual void stop() = 0;
};

class Transport {
public:
    explicit Transport(TransportMusic* music = nullptr) : music_(music) {}

    // The scene's range. The position stays where it is when it still lies
    // inside (a reload keeps the frame), else it is clamped.
    void setRange(std::int32_t first, std::int32_t last, std::uint32_t now);
    std::int32_t first() const { return first_; }
    std::int32_t last() const { return last_; }

    // Starting on the last frame starts again from the first.
    void play(std::uint32_t now);
    void pause(std::uint32_t now);
    void togglePlay(std::uint32_t now);
    // To `frame`, clamped to the range; playing goes on from there.
    void seek(double frame, std::uint32_t now);
    // One frame when paused, one second of the clock when playing.
    void step(int direction, std::uint32_t now);
    // By seconds of the clock (at speed 1), either way.
    void skipSeconds(double seconds, std::uint32_t now);
    void halveSpeed(std::uint32_t now) { setSpeed(speed_ / 2, now); }
    void doubleSpeed(std::uint32_t now) { setSpeed(speed_ * 2, now); }
    void setSpeed(double speed, std::uint32_t now);

    // The position at a clock reading; reaching the last frame while playing
    // stops there.
    double position(std::uint32_t now);
    // The whole frame shown at a reading.
    std::int32_t frame(std::uint32_t now);
    // Clock seconds from the first frame to a position.
    double secondsAt(double position) const { return (position - first_) / kClockFramesPerSecond; }

    bool playing() const { return playing_; }
    double speed() const { return speed_; }

private:
    double clamp(double frame) const;
    // Fixes the position at `now` as the new starting point of the motion.
    void anchor(std::uint32_t now);
    // Starts or stops the music to match; `restart` starts it again at the
    // current time even when it is already playing (after a seek).
    void followMusic(bool restart = false);

    TransportMusic* music_;
    std::int32_t first_ = 0;
    std::int32_t last_ = 0;
    double anchorFrame_ = 0;
    std::uint32_t anchorTime_ = 0;
    bool playing_ = false;
    double speed_ = 1;
    bool musicPlaying_ = false;
};

// What a key means to the preview.
enum class ViewCommand {
    None,
    TogglePlay,
    StepBack,
    StepForward,
    SkipBack,     // ten seconds
    SkipForward,
    Home,
    End,
    Slower,
    Faster,
    Reload,
    FullScreen,
    SaveFrame,
    ListWarnings,
    BackFaces,    // show culled faces in magenta, or not
    SmoothMotion, // the frame's fraction shown, or whole frames as the player
    Quit,
};

// The command of a virtual key code (window_system.h).
ViewCommand viewCommandForKey(int key);
// Carries out the transport's own commands; false for the others.
bool applyTransportCommand(Transport& transport, ViewCommand command, std::uint32_t now);

// The music on the gaudio-like layer, whose stream starts at a chosen
// millisecond, through the player's own steps (platform/music_steps.h): a
// start at a time is a Play with that start, a stop ends the stream (Kill)
// and the next start initialises it again. Without a sound device it opens
// and plays silently, and silence() says why.
class PreviewMusic final : public TransportMusic {
public:
    // gaudio null: no music at all (-nosound).
    PreviewMusic(GaudioApi* gaudio, std::string fileName);
    ~PreviewMusic() override { release(); }
    PreviewMusic(const PreviewMusic&) = delete;
    PreviewMusic& operator=(const PreviewMusic&) = delete;

    // Brings up the library and opens the file; false with error() set when
    // there is no music (the preview goes on without).
    bool open();
    void playFrom(double seconds) override;
    void stop() override;
    void release();

    bool isOpen() const { return opened_; }
    const std::string& error() const { return error_; }
    std::string silence() const { return steps_ ? steps_->silence() : std::string(); }

private:
    std::unique_ptr<GaudioSteps> steps_;
    std::string fileName_;
    bool opened_ = false;  // open() succeeded and release() not called since
    std::string error_;
};

}  // namespace zor
