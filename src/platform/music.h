#pragma once
// The two music libraries the player can use, as small layers with the same
// calls, arguments and answers as the closed libraries they stand in for:
// a BASS-like flat API and a gaudio-like pair of objects (an audio object and
// an MP3 stream object whose leading members the caller fills in before
// initialising it). The real layers are built once, over the platform's one
// sound device (device_music.h over sound_device.h: SDL audio, waveOut or
// Web Audio); the recording ones log every call for order tests and answer
// from a script (tests/support/recording_music.h).
//
// Where the machine has no sound device the real layers succeed at every
// call and play nothing; silence() then says why, and the caller decides
// what to tell. Nothing here writes to a stream.

#include <cstddef>
#include <cstdint>
#include <string>

namespace zor {

// ---- BASS-like -------------------------------------------------------------

using StreamHandle = std::uint32_t;  // 0 = none

inline constexpr std::uint32_t kBassVersion = 0x00070000;  // version 0.7

class BassApi {
public:
    virtual ~BassApi() = default;

    virtual std::uint32_t BASS_GetVersion() = 0;
    // device -1 is the default device; non-zero on success.
    virtual int BASS_Init(int device, std::uint32_t frequency, std::uint32_t flags, void* window) = 0;
    virtual int BASS_Start() = 0;
    // With inMemory false, `file` is a zero-terminated file name.
    virtual StreamHandle BASS_StreamCreateFile(int inMemory, const void* file, std::uint32_t offset,
                                               std::uint32_t length, std::uint32_t flags) = 0;
    virtual int BASS_StreamPlay(StreamHandle handle, int flush, std::uint32_t flags) = 0;
    virtual int BASS_Stop() = 0;
    virtual void BASS_StreamFree(StreamHandle handle) = 0;
    virtual void BASS_Free() = 0;
    // Why the last call failed, for messages; empty when not known.
    virtual std::string lastError() const { return {}; }
    // After BASS_Init: why nothing will be heard though every call succeeds
    // (there is no sound device); empty when the music plays.
    virtual std::string silence() const { return {}; }
};

// ---- gaudio-like -----------------------------------------------------------

class Mp3StreamDriver;

// The stream object. Its leading members sit at the byte offsets the caller
// writes them at (4, 8, 16 and 28); what follows belongs to the library.
struct MP3STREAM1 {
    std::uint32_t reserved0 = 0;
    std::int32_t sourceIsFile = 0;       // 4: 1 = fileName names a file on disk
    std::int32_t playCount = 0;          // 8: times to play; 1 = once
    std::uint32_t reserved12 = 0;
    const char* fileName = nullptr;      // 16
    // Up to offset 28 whatever the size of a pointer (4 or 8 bytes).
    std::uint8_t reservedAfterName[28 - 16 - sizeof(const char*)] = {};
    std::int32_t startMilliseconds = 0;  // 28: where playing starts
    Mp3StreamDriver* driver = nullptr;   // the library's own

    // Non-zero on success.
    std::int32_t Initialize();
    void Play();
    void SetVolume(float volume);
    void Kill();
};

static_assert(offsetof(MP3STREAM1, sourceIsFile) == 4);
static_assert(offsetof(MP3STREAM1, playCount) == 8);
static_assert(offsetof(MP3STREAM1, fileName) == 16);
static_assert(offsetof(MP3STREAM1, startMilliseconds) == 28);

class Mp3StreamDriver {
public:
    virtual ~Mp3StreamDriver() = default;
    virtual std::int32_t initialize(MP3STREAM1& stream) = 0;
    virtual void play(MP3STREAM1& stream) = 0;
    virtual void setVolume(MP3STREAM1& stream, float volume) = 0;
    virtual void kill(MP3STREAM1& stream) = 0;
};

inline constexpr std::uint32_t kGaudioInterfaceVersion = 0x10100;
inline constexpr std::uint32_t kGaudioStreamVersion = 0x10001;

class GAUDIO1 {
public:
    virtual ~GAUDIO1() = default;
    // 1 on success.
    virtual std::int32_t Init(std::uint32_t flags) = 0;
    // Null when no stream object can be had.
    virtual MP3STREAM1* GetStreamInterface(std::uint32_t version) = 0;
    virtual void ShutDown() = 0;
};

class GaudioApi {
public:
    virtual ~GaudioApi() = default;
    // Null when the library cannot give that interface.
    virtual GAUDIO1* GA_GetInterface(std::uint32_t version) = 0;
    // Why the last call failed, for messages; empty when not known.
    virtual std::string lastError() const { return {}; }
    // After GAUDIO1::Init: why nothing will be heard though every call
    // succeeds (there is no sound device); empty when the music plays.
    virtual std::string silence() const { return {}; }
};

}  // namespace zor
