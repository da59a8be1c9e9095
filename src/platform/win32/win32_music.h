#pragma once
// Both music layers on Windows' own audio. The MP3 file is opened by its
// name, relative to the current folder, and decoded by Windows' MP3 codec
// (acm_mp3_decoder.h); the BASS-like layer plays it through waveOut, the
// gaudio-like one through DirectSound, each fed by a thread of its own.
//
// A machine with no sound device (or one that refuses the stream) plays
// silently: the calls succeed, and standard error says that there is no
// music and why. A file that cannot be played (missing, not MP3, held by
// another program) fails as the layers' calls say it does.

#include <memory>
#include <string>

#include "platform/music.h"

namespace zor {

namespace win32 {
class PcmPlayer;
}

class Win32Bass final : public BassApi {
public:
    Win32Bass();
    ~Win32Bass() override;
    std::uint32_t BASS_GetVersion() override { return kBassVersion; }
    int BASS_Init(int device, std::uint32_t frequency, std::uint32_t flags, void* window) override;
    int BASS_Start() override;
    StreamHandle BASS_StreamCreateFile(int inMemory, const void* file, std::uint32_t offset, std::uint32_t length,
                                       std::uint32_t flags) override;
    int BASS_StreamPlay(StreamHandle handle, int flush, std::uint32_t flags) override;
    int BASS_Stop() override;
    void BASS_StreamFree(StreamHandle handle) override;
    void BASS_Free() override;
    std::string lastError() const override { return error_; }

private:
    std::unique_ptr<win32::PcmPlayer> player_;
    bool ready_ = false;
    bool streamOpen_ = false;
    std::string error_;
};

class Win32Gaudio final : public GaudioApi {
public:
    Win32Gaudio();
    ~Win32Gaudio() override;
    GAUDIO1* GA_GetInterface(std::uint32_t version) override;
    std::string lastError() const override;

private:
    class Audio;
    std::unique_ptr<Audio> audio_;
};

}  // namespace zor
