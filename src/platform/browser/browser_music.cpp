#include "platform/browser/browser_music.h"

#include <emscripten.h>

#include <cstdlib>

namespace zor {

namespace {

// Each answers 0 or a handle; a failure leaves its reason in audio.error.
EM_JS(int, audioReady, (), {
    const audio = Module.page && Module.page.audio;
    if (!audio || !audio.context || audio.context.state === "closed") {
        if (audio) audio.error = "the page has no audio output";
        return 0;
    }
    return 1;
});

EM_JS(void, audioResume, (), {
    const audio = Module.page.audio;
    if (audio.context.state !== "running") audio.context.resume();
});

EM_JS(int, audioCreateStream, (const char* file), {
    const audio = Module.page.audio;
    const name = UTF8ToString(file);
    const buffer = audio.buffers[name];
    if (!buffer) {
        audio.error = audio.errors[name] || ("\"" + name + "\" was not fetched");
        return 0;
    }
    audio.streams.push({ buffer: buffer, source: null });
    return audio.streams.length;
});

EM_JS(int, audioPlay, (int handle), {
    const audio = Module.page.audio;
    const stream = audio.streams[handle - 1];
    if (!stream) {
        audio.error = "no such stream";
        return 0;
    }
    try {
        const source = audio.context.createBufferSource();
        source.buffer = stream.buffer;
        source.connect(audio.context.destination);
        source.start();
        stream.source = source;
        return 1;
    } catch (e) {
        audio.error = String(e);
        return 0;
    }
});

EM_JS(void, audioStopAll, (), {
    const audio = Module.page.audio;
    for (const stream of audio.streams) {
        if (stream && stream.source) {
            try { stream.source.stop(); } catch (e) {}
            stream.source.disconnect();
            stream.source = null;
        }
    }
});

EM_JS(void, audioFree, (int handle), {
    const audio = Module.page.audio;
    const stream = audio.streams[handle - 1];
    if (!stream) return;
    if (stream.source) {
        try { stream.source.stop(); } catch (e) {}
        stream.source.disconnect();
    }
    audio.streams[handle - 1] = null;
});

EM_JS(char*, audioError, (), {
    const audio = Module.page && Module.page.audio;
    const text = (audio && audio.error) || "";
    const size = lengthBytesUTF8(text) + 1;
    const copy = _malloc(size);
    stringToUTF8(text, copy, size);
    return copy;
});

std::string takeAudioError() {
    char* why = audioError();
    std::string text = why;
    std::free(why);
    return text;
}

}  // namespace

BrowserBass::~BrowserBass() {
    if (ready_) BASS_Free();
}

int BrowserBass::BASS_Init(int, std::uint32_t, std::uint32_t, void*) {
    ready_ = audioReady() != 0;
    if (!ready_) error_ = takeAudioError();
    return ready_ ? 1 : 0;
}

int BrowserBass::BASS_Start() {
    if (!ready_) return 0;
    audioResume();
    return 1;
}

StreamHandle BrowserBass::BASS_StreamCreateFile(int inMemory, const void* file, std::uint32_t, std::uint32_t,
                                                std::uint32_t) {
    if (!ready_ || inMemory || !file) return 0;
    const int handle = audioCreateStream(static_cast<const char*>(file));
    if (handle == 0) error_ = takeAudioError();
    return static_cast<StreamHandle>(handle);
}

int BrowserBass::BASS_StreamPlay(StreamHandle handle, int, std::uint32_t) {
    if (!ready_) return 0;
    if (audioPlay(static_cast<int>(handle)) != 0) return 1;
    error_ = takeAudioError();
    return 0;
}

int BrowserBass::BASS_Stop() {
    if (!ready_) return 0;
    audioStopAll();
    return 1;
}

void BrowserBass::BASS_StreamFree(StreamHandle handle) {
    if (ready_) audioFree(static_cast<int>(handle));
}

void BrowserBass::BASS_Free() {
    if (ready_) audioStopAll();
    ready_ = false;
}

}  // namespace zor
