#include "preview/transport.h"

#include <algorithm>
#include <cmath>

#include "platform/window_system.h"

namespace zor {

namespace {
constexpr double kSkipSeconds = 10.0;
}

double Transport::clamp(double frame) const {
    if (!(frame >= first_)) return first_;  // NaN included
    return std::min(frame, static_cast<double>(last_));
}

void Transport::setRange(std::int32_t first, std::int32_t last, std::uint32_t now) {
    const double at = position(now);
    // The music's time counts from the first frame; a new first moves it.
    const bool moved = first != first_;
    first_ = first;
    last_ = std::max(first, last);
    anchorFrame_ = clamp(at);
    anchorTime_ = now;
    if (playing_ && anchorFrame_ >= last_) playing_ = false;
    followMusic(moved);
}

void Transport::anchor(std::uint32_t now) {
    anchorFrame_ = position(now);
    anchorTime_ = now;
}

double Transport::position(std::uint32_t now) {
    if (!playing_) return anchorFrame_;
    // Unsigned difference: right across a wrap of the counter.
    const double elapsed = static_cast<std::uint32_t>(now - anchorTime_) * 0.001;
    const double at = anchorFrame_ + elapsed * kClockFramesPerSecond * speed_;
    if (at >= last_) {
        playing_ = false;
        anchorFrame_ = last_;
        anchorTime_ = now;
        followMusic();
        return anchorFrame_;
    }
    return at;
}

std::int32_t Transport::frame(std::uint32_t now) { return static_cast<std::int32_t>(std::floor(position(now))); }

void Transport::play(std::uint32_t now) {
    anchor(now);
    if (playing_) return;
    if (anchorFrame_ >= last_) anchorFrame_ = first_;
    playing_ = first_ < last_;
    followMusic();
}

void Transport::pause(std::uint32_t now) {
    anchor(now);
    playing_ = false;
    followMusic();
}

void Transport::togglePlay(std::uint32_t now) {
    position(now);  // may stop at the end first
    if (playing_) pause(now);
    else play(now);
}

void Transport::seek(double frame, std::uint32_t now) {
    position(now);
    anchorFrame_ = clamp(frame);
    anchorTime_ = now;
    if (playing_ && anchorFrame_ >= last_) playing_ = false;
    followMusic(true);
}

void Transport::step(int direction, std::uint32_t now) {
    const double at = position(now);
    const double distance = playing_ ? kClockFramesPerSecond : 1.0;
    // Paused: to the neighbouring whole frame, even from a fractional one.
    const double target = playing_ ? at + direction * distance
                                   : (direction > 0 ? std::floor(at) + 1 : std::ceil(at) - 1);
    seek(target, now);
}

void Transport::skipSeconds(double seconds, std::uint32_t now) {
    seek(position(now) + seconds * kClockFramesPerSecond, now);
}

void Transport::setSpeed(double speed, std::uint32_t now) {
    anchor(now);
    speed_ = std::clamp(speed, kSlowestSpeed, kFastestSpeed);
    followMusic();
}

void Transport::followMusic(bool restart) {
    if (!music_) return;
    const bool wanted = playing_ && speed_ == 1.0;
    if (wanted && (restart || !musicPlaying_)) music_->playFrom(secondsAt(anchorFrame_));
    if (!wanted && musicPlaying_) music_->stop();
    musicPlaying_ = wanted;
}

ViewCommand viewCommandForKey(int key) {
    switch (key) {
    case kVirtualKeySpace: return ViewCommand::TogglePlay;
    case kVirtualKeyLeft: return ViewCommand::StepBack;
    case kVirtualKeyRight: return ViewCommand::StepForward;
    case kVirtualKeyPageUp: return ViewCommand::SkipBack;
    case kVirtualKeyPageDown: return ViewCommand::SkipForward;
    case kVirtualKeyHome: return ViewCommand::Home;
    case kVirtualKeyEnd: return ViewCommand::End;
    case kVirtualKeyMinus:
    case kVirtualKeySubtract: return ViewCommand::Slower;
    case kVirtualKeyPlus:
    case kVirtualKeyAdd: return ViewCommand::Faster;
    case 'R': return ViewCommand::Reload;
    case 'F': return ViewCommand::FullScreen;
    case 'S': return ViewCommand::SaveFrame;
    case 'W': return ViewCommand::ListWarnings;
    case 'B': return ViewCommand::BackFaces;
    case 'M': return ViewCommand::SmoothMotion;
    case kVirtualKeyEscape: return ViewCommand::Quit;
    default: return ViewCommand::None;
    }
}

bool applyTransportCommand(Transport& transport, ViewCommand command, std::uint32_t now) {
    switch (command) {
    case ViewCommand::TogglePlay: transport.togglePlay(now); return true;
    case ViewCommand::StepBack: transport.step(-1, now); return true;
    case ViewCommand::StepForward: transport.step(1, now); return true;
    case ViewCommand::SkipBack: transport.skipSeconds(-kSkipSeconds, now); return true;
    case ViewCommand::SkipForward: transport.skipSeconds(kSkipSeconds, now); return true;
    case ViewCommand::Home: transport.seek(transport.first(), now); return true;
    case ViewCommand::End: transport.seek(transport.last(), now); return true;
    case ViewCommand::Slower: transport.halveSpeed(now); return true;
    case ViewCommand::Faster: transport.doubleSpeed(now); return true;
    default: return false;
    }
}

// ---- music -----------------------------------------------------------------

PreviewMusic::PreviewMusic(GaudioApi* gaudio, std::string fileName) : fileName_(std::move(fileName)) {
    if (gaudio) steps_ = std::make_unique<GaudioSteps>(*gaudio);
}

bool PreviewMusic::open() {
    if (!steps_) return false;
    if (!steps_->bringUp() || !steps_->openStream(fileName_.c_str())) {
        error_ = steps_->error();
        release();
        return false;
    }
    opened_ = true;
    return true;
}

void PreviewMusic::playFrom(double seconds) {
    if (!opened_) return;
    if (!steps_->streamOpen() && !steps_->openStream(fileName_.c_str())) return;
    const double ms = std::clamp(seconds * 1000.0, 0.0, 2147483647.0);
    steps_->play(static_cast<std::int32_t>(std::lround(ms)));
}

void PreviewMusic::stop() {
    if (opened_) steps_->kill();
}

void PreviewMusic::release() {
    if (steps_) steps_->shutDown();
    opened_ = false;
}

}  // namespace zor
