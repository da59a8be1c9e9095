#include "platform/browser/web_audio_device.h"

#include <emscripten.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace zor {

namespace {

// The page's audio object: { context, buffers, errors, pieces, playing,
// gain, error }. Failures leave their reason in audio.error.

// 1: ready; 0: no audio output; 2: the output refuses.
EM_JS(int, webAudioOpen, (), {
    const audio = Module.page && Module.page.audio;
    if (!audio || !audio.context || audio.context.state === "closed") {
        if (audio && !audio.error) audio.error = "the page has no audio output";
        return 0;
    }
    try {
        if (audio.context.state !== "running") audio.context.resume();
        audio.gain = audio.context.createGain();
        audio.gain.connect(audio.context.destination);
        audio.pieces = [];
        audio.playing = null;
        return 1;
    } catch (e) {
        audio.error = String(e);
        return 2;
    }
});

// The piece's number (from 1), or 0.
EM_JS(int, webAudioLoad, (const char* file), {
    const audio = Module.page.audio;
    const name = UTF8ToString(file);
    const buffer = audio.buffers[name];
    if (!buffer) {
        audio.error = audio.errors[name] || ("\"" + name + "\" was not fetched");
        return 0;
    }
    audio.pieces.push({ buffer: buffer, source: null });
    return audio.pieces.length;
});

EM_JS(int, webAudioPieceRate, (int piece), { return Module.page.audio.pieces[piece - 1].buffer.sampleRate; });
EM_JS(double, webAudioPieceFrames, (int piece), { return Module.page.audio.pieces[piece - 1].buffer.length; });

EM_JS(void, webAudioStop, (), {
    const audio = Module.page.audio;
    const playing = audio.playing;
    audio.playing = null;
    if (!playing) return;
    try { playing.piece.source.stop(); } catch (e) {}
    playing.piece.source.disconnect();
    playing.piece.source = null;
});

// From `startFrame`, `playCount` times in all: a looping source stopped
// after its rounds. 1, or 0 with audio.error.
EM_JS(int, webAudioPlay, (int piece, double startFrame, int playCount, double volume), {
    const audio = Module.page.audio;
    const chosen = audio.pieces[piece - 1];
    if (!chosen) {
        audio.error = "no such piece of music";
        return 0;
    }
    try {
        const context = audio.context;
        const source = context.createBufferSource();
        source.buffer = chosen.buffer;
        source.connect(audio.gain);
        audio.gain.gain.value = volume;
        const offset = Math.min(startFrame / chosen.buffer.sampleRate, chosen.buffer.duration);
        const now = context.currentTime;
        if (playCount > 1) {
            source.loop = true;
            source.start(now, offset);
            source.stop(now + playCount * chosen.buffer.duration - offset);
        } else {
            source.start(now, offset);
        }
        chosen.source = source;
        audio.playing = { piece: chosen, startedAt: now };
        return 1;
    } catch (e) {
        audio.error = String(e);
        return 0;
    }
});

// Frames of the playing piece's rate since it started (the context's
// clock); -1 when nothing plays.
EM_JS(double, webAudioPlayed, (), {
    const audio = Module.page.audio;
    const playing = audio.playing;
    if (!playing) return -1;
    return Math.max(0, audio.context.currentTime - playing.startedAt) * playing.piece.buffer.sampleRate;
});

EM_JS(void, webAudioSetVolume, (double volume), {
    const audio = Module.page.audio;
    if (audio.gain) audio.gain.gain.value = volume;
});

EM_JS(void, webAudioRelease, (int piece), {
    const audio = Module.page.audio;
    if (audio.pieces[piece - 1]) audio.pieces[piece - 1] = null;
});

EM_JS(void, webAudioClose, (), {
    const audio = Module.page.audio;
    if (audio.gain) audio.gain.disconnect();
    audio.gain = null;
    audio.pieces = [];
});

EM_JS(char*, webAudioError, (), {
    const audio = Module.page && Module.page.audio;
    const text = (audio && audio.error) || "";
    const size = lengthBytesUTF8(text) + 1;
    const copy = _malloc(size);
    stringToUTF8(text, copy, size);
    return copy;
});

std::string takeError() {
    char* why = webAudioError();
    std::string text = why;
    std::free(why);
    return text;
}

}  // namespace

WebAudioSoundDevice::~WebAudioSoundDevice() { close(); }

SoundOpening WebAudioSoundDevice::open(int /*rate*/) {
    if (open_) {
        error_ = "the sound device is already open";
        return SoundOpening::Failed;
    }
    switch (webAudioOpen()) {
    case 1: break;
    case 0: error_ = takeError(); return SoundOpening::NoDevice;
    default: error_ = takeError(); return SoundOpening::Failed;
    }
    open_ = true;
    playing_ = Playing{};
    stoppedAt_ = 0;
    return SoundOpening::Opened;
}

void WebAudioSoundDevice::close() {
    if (!open_) return;
    stop();
    webAudioClose();
    pieces_.clear();
    open_ = false;
}

SoundPiece WebAudioSoundDevice::load(const std::string& fileName) {
    if (!open_) {
        error_ = "the sound device is not open";
        return {};
    }
    const int id = webAudioLoad(fileName.c_str());
    if (id == 0) {
        error_ = takeError();
        return {};
    }
    const SoundPiece piece{id, webAudioPieceRate(id), static_cast<std::uint64_t>(webAudioPieceFrames(id))};
    pieces_[id] = piece;
    return piece;
}

bool WebAudioSoundDevice::play(int piece, std::uint64_t startFrame, int playCount) {
    const auto found = pieces_.find(piece);
    if (!open_ || found == pieces_.end()) {
        error_ = !open_ ? "the sound device is not open" : "no such piece of music";
        return false;
    }
    stop();
    const std::uint64_t start = std::min(startFrame, found->second.frames);
    const int count = std::max(playCount, 1);
    if (!webAudioPlay(piece, static_cast<double>(start), count, volume_)) {
        error_ = takeError();
        return false;
    }
    playing_ = Playing{found->second, start, count};
    return true;
}

void WebAudioSoundDevice::setVolume(float volume) {
    volume_ = volume > 0 ? std::min(volume, 1.0f) : 0.0f;  // NaN counts as 0
    if (open_) webAudioSetVolume(volume_);
}

std::uint64_t WebAudioSoundDevice::position() {
    if (!open_ || playing_.piece.id == 0) return stoppedAt_;
    const double played = webAudioPlayed();
    if (played < 0) return stoppedAt_;
    return pieceFrameAt(playing_.startFrame, static_cast<std::uint64_t>(std::floor(played)), playing_.piece.frames,
                        playing_.playCount);
}

void WebAudioSoundDevice::stop() {
    if (!open_ || playing_.piece.id == 0) return;
    stoppedAt_ = position();
    webAudioStop();
    playing_ = Playing{};
}

void WebAudioSoundDevice::release(int piece) {
    if (pieces_.erase(piece) == 0) return;
    if (playing_.piece.id == piece) stop();
    webAudioRelease(piece);
}

}  // namespace zor
