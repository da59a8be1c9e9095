#pragma once
// Music layers that only log their calls (with their arguments) into a list
// the test owns, and answer from a script, so call order and the reaction to
// each failure can be checked without a sound card; and a sound device that
// does the same, for the layers built on it (platform/device_music.h).

#include <string>
#include <vector>

#include "platform/music.h"
#include "platform/sound_device.h"

namespace zor {

using CallLog = std::vector<std::string>;

class RecordingBass final : public BassApi {
public:
    explicit RecordingBass(CallLog& log) : log_(log) {}

    std::uint32_t version = kBassVersion;
    int initResult = 1;
    StreamHandle createResult = 7;
    int playResult = 1;
    std::string silenceReason;  // non-empty: as a layer without a sound device

    std::uint32_t BASS_GetVersion() override;
    int BASS_Init(int device, std::uint32_t frequency, std::uint32_t flags, void* window) override;
    int BASS_Start() override;
    StreamHandle BASS_StreamCreateFile(int inMemory, const void* file, std::uint32_t offset,
                                       std::uint32_t length, std::uint32_t flags) override;
    int BASS_StreamPlay(StreamHandle handle, int flush, std::uint32_t flags) override;
    int BASS_Stop() override;
    void BASS_StreamFree(StreamHandle handle) override;
    void BASS_Free() override;
    std::string silence() const override { return silenceReason; }

private:
    CallLog& log_;
};

class RecordingGaudio final : public GaudioApi, GAUDIO1, Mp3StreamDriver {
public:
    explicit RecordingGaudio(CallLog& log) : log_(log) { stream_.driver = this; }

    bool giveInterface = true;
    std::int32_t initResult = 1;
    bool giveStream = true;
    std::int32_t initializeResult = 1;
    std::string silenceReason;  // non-empty: as a layer without a sound device

    GAUDIO1* GA_GetInterface(std::uint32_t version) override;
    std::string silence() const override { return silenceReason; }
    // The stream object handed out, for checking what the caller wrote in it.
    const MP3STREAM1& stream() const { return stream_; }

private:
    std::int32_t Init(std::uint32_t flags) override;
    MP3STREAM1* GetStreamInterface(std::uint32_t version) override;
    void ShutDown() override;
    std::int32_t initialize(MP3STREAM1& stream) override;
    void play(MP3STREAM1& stream) override;
    void setVolume(MP3STREAM1& stream, float volume) override;
    void kill(MP3STREAM1& stream) override;

    CallLog& log_;
    MP3STREAM1 stream_;
};

// Logs "open(44100)", "load("mp3.mp3")", "play(1, 0, 1)", "setVolume(1)",
// "stop", "release(1)" and "close"; pieces are numbered from 1.
class ScriptedSoundDevice final : public SoundDevice {
public:
    explicit ScriptedSoundDevice(CallLog& log) : log_(log) {}

    SoundOpening opening = SoundOpening::Opened;
    std::string reason = "scripted reason";  // error() after anything but Opened, or a failed load
    bool loadResult = true;
    SoundPiece shape{0, 32000, 64000};     // what a load gives (its id aside)
    bool playResult = true;
    std::uint64_t heard = 0;                 // position()'s answer

    SoundOpening open(int rate) override;
    SoundPiece load(const std::string& fileName) override;
    bool play(int piece, std::uint64_t startFrame, int playCount) override;
    void setVolume(float volume) override;
    void stop() override;
    std::uint64_t position() override { return heard; }
    void release(int piece) override;
    void close() override;
    const std::string& error() const override { return error_; }

private:
    CallLog& log_;
    int pieces_ = 0;
    std::string error_;
};

}  // namespace zor
