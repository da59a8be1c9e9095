#pragma once
// The first music layer in a web page (Emscripten builds only), on the
// browser's Web Audio. The browser decodes the MP3: the page fetches each
// music file and decodes it into Module.page.audio.buffers under its file
// name before the player starts, and creates the audio context on the click
// that starts the demo (browsers only allow sound after one). A stream is
// that decoded buffer, played once from its start.

#include <string>

#include "platform/music.h"

namespace zor {

class BrowserBass final : public BassApi {
public:
    ~BrowserBass() override;
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
    bool ready_ = false;
    std::string error_;
};

}  // namespace zor
