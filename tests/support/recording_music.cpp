#include "support/recording_music.h"

#include <cstdio>
#include <string_view>

namespace zor {

namespace {

std::string hex(std::uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%X", value);
    return text;
}

std::string fileText(const void* file) {
    return file ? "\"" + std::string(static_cast<const char*>(file)) + "\"" : "null";
}

}  // namespace

std::uint32_t RecordingBass::BASS_GetVersion() {
    log_.push_back("BASS_GetVersion");
    return version;
}

int RecordingBass::BASS_Init(int device, std::uint32_t frequency, std::uint32_t flags, void* window) {
    log_.push_back("BASS_Init(" + std::to_string(device) + ", " + std::to_string(frequency) + ", " +
                   std::to_string(flags) + ", " + (window ? "window" : "null") + ")");
    return initResult;
}

int RecordingBass::BASS_Start() {
    log_.push_back("BASS_Start");
    return 1;
}

StreamHandle RecordingBass::BASS_StreamCreateFile(int inMemory, const void* file, std::uint32_t offset,
                                                  std::uint32_t length, std::uint32_t flags) {
    log_.push_back("BASS_StreamCreateFile(" + std::to_string(inMemory) + ", " + fileText(file) + ", " +
                   std::to_string(offset) + ", " + std::to_string(length) + ", " +
                   std::to_string(flags) + ")");
    return createResult;
}

int RecordingBass::BASS_StreamPlay(StreamHandle handle, int flush, std::uint32_t flags) {
    log_.push_back("BASS_StreamPlay(" + std::to_string(handle) + ", " + std::to_string(flush) + ", " +
                   std::to_string(flags) + ")");
    return playResult;
}

int RecordingBass::BASS_Stop() {
    log_.push_back("BASS_Stop");
    return 1;
}

void RecordingBass::BASS_StreamFree(StreamHandle handle) {
    log_.push_back("BASS_StreamFree(" + std::to_string(handle) + ")");
}

void RecordingBass::BASS_Free() { log_.push_back("BASS_Free"); }

GAUDIO1* RecordingGaudio::GA_GetInterface(std::uint32_t version) {
    log_.push_back("GA_GetInterface(" + hex(version) + ")");
    return giveInterface ? static_cast<GAUDIO1*>(this) : nullptr;
}

std::int32_t RecordingGaudio::Init(std::uint32_t flags) {
    log_.push_back("GAUDIO1::Init(" + std::to_string(flags) + ")");
    return initResult;
}

MP3STREAM1* RecordingGaudio::GetStreamInterface(std::uint32_t version) {
    log_.push_back("GAUDIO1::GetStreamInterface(" + hex(version) + ")");
    return giveStream ? &stream_ : nullptr;
}

void RecordingGaudio::ShutDown() { log_.push_back("GAUDIO1::ShutDown"); }

std::int32_t RecordingGaudio::initialize(MP3STREAM1& stream) {
    log_.push_back("MP3STREAM1::Initialize(" + std::to_string(stream.sourceIsFile) + ", " +
                   std::to_string(stream.playCount) + ", " + fileText(stream.fileName) + ", " +
                   std::to_string(stream.startMilliseconds) + ")");
    return initializeResult;
}

void RecordingGaudio::play(MP3STREAM1&) { log_.push_back("MP3STREAM1::Play"); }

void RecordingGaudio::setVolume(MP3STREAM1&, float volume) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", static_cast<double>(volume));
    log_.push_back(std::string("MP3STREAM1::SetVolume(") + text + ")");
}

void RecordingGaudio::kill(MP3STREAM1&) { log_.push_back("MP3STREAM1::Kill"); }

SoundOpening ScriptedSoundDevice::open(int rate) {
    log_.push_back("open(" + std::to_string(rate) + ")");
    error_ = opening == SoundOpening::Opened ? std::string() : reason;
    return opening;
}

SoundPiece ScriptedSoundDevice::load(const std::string& fileName) {
    log_.push_back("load(\"" + fileName + "\")");
    if (!loadResult) {
        error_ = reason;
        return {};
    }
    SoundPiece piece = shape;
    piece.id = ++pieces_;
    return piece;
}

bool ScriptedSoundDevice::play(int piece, std::uint64_t startFrame, int playCount) {
    log_.push_back("play(" + std::to_string(piece) + ", " + std::to_string(startFrame) + ", " +
                   std::to_string(playCount) + ")");
    if (!playResult) error_ = reason;
    return playResult;
}

void ScriptedSoundDevice::setVolume(float volume) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", static_cast<double>(volume));
    log_.push_back(std::string("setVolume(") + text + ")");
}

void ScriptedSoundDevice::stop() { log_.push_back("stop"); }

void ScriptedSoundDevice::release(int piece) { log_.push_back("release(" + std::to_string(piece) + ")"); }

void ScriptedSoundDevice::close() { log_.push_back("close"); }

}  // namespace zor
