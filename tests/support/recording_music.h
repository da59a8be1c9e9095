#pragma once
// Music layers that only log their calls (with their arguments) into a list
// the test owns, and answer from a script, so call order and the reaction to
// each failure can be checked without a sound card.

#include <string>
#include <vector>

#include "platform/music.h"

namespace zor {

using CallLog = std::vector<std::string>;

class RecordingBass final : public BassApi {
public:
    explicit RecordingBass(CallLog& log) : log_(log) {}

    std::uint32_t version = kBassVersion;
    int initResult = 1;
    StreamHandle createResult = 7;
    int playResult = 1;

    std::uint32_t BASS_GetVersion() override;
    int BASS_Init(int device, std::uint32_t frequency, std::uint32_t flags, void* window) override;
    int BASS_Start() override;
    StreamHandle BASS_StreamCreateFile(int inMemory, const void* file, std::uint32_t offset,
                                       std::uint32_t length, std::uint32_t flags) override;
    int BASS_StreamPlay(StreamHandle handle, int flush, std::uint32_t flags) override;
    int BASS_Stop() override;
    void BASS_StreamFree(StreamHandle handle) override;
    void BASS_Free() override;

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

    GAUDIO1* GA_GetInterface(std::uint32_t version) override;
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

}  // namespace zor
