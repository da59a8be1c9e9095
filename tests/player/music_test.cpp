// The music steps: call order and arguments for each back end, the status
// and words of every failure, "-nosound" touching nothing, the stream
// object's members at their byte offsets; and real playback through
// SDL2_mixer with the dummy audio driver and a real MP3.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <SDL2/SDL.h>
#include <SDL2/SDL_mixer.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>

#include "app/music_player.h"
#include "preview/transport.h"
#include "platform/sdl/sdl_music.h"
#include "support/recording_music.h"
#include "test_support.h"

namespace zor {
namespace {

int fakeWindow;

TEST(MusicSteps, BassCallsInOrder) {
    CallLog log;
    RecordingBass bass(log);
    MusicPlayer music(MusicBackend::Bass, &bass, nullptr);
    ASSERT_TRUE(music.initialise(&fakeWindow).ok);
    ASSERT_TRUE(music.open().ok);
    ASSERT_TRUE(music.start().ok);
    music.release();
    EXPECT_EQ(log, (CallLog{"BASS_GetVersion", "BASS_Init(-1, 44100, 0, window)", "BASS_Start",
                            "BASS_StreamCreateFile(0, \"mp3.mp3\", 0, 0, 0)", "BASS_StreamPlay(7, 0, 0)",
                            "BASS_Stop", "BASS_StreamFree(7)", "BASS_Free"}));
}

TEST(MusicSteps, GaudioCallsInOrderAndTheStreamMembers) {
    CallLog log;
    RecordingGaudio gaudio(log);
    MusicPlayer music(MusicBackend::Gaudio, nullptr, &gaudio);
    ASSERT_TRUE(music.initialise(&fakeWindow).ok);
    ASSERT_TRUE(music.open().ok);

    // Read the members back by byte offset, as the library would.
    const auto* bytes = reinterpret_cast<const unsigned char*>(&gaudio.stream());
    std::int32_t at4 = 0, at8 = 0, at28 = 0;
    const char* at16 = nullptr;
    std::memcpy(&at4, bytes + 4, 4);
    std::memcpy(&at8, bytes + 8, 4);
    std::memcpy(&at16, bytes + 16, sizeof at16);
    std::memcpy(&at28, bytes + 28, 4);
    EXPECT_EQ(at4, 1);
    EXPECT_EQ(at8, 1);
    ASSERT_NE(at16, nullptr);
    EXPECT_STREQ(at16, "mp3.mp3");
    EXPECT_EQ(at28, 0);

    ASSERT_TRUE(music.start().ok);
    music.release();
    EXPECT_EQ(log, (CallLog{"GA_GetInterface(0x10100)", "GAUDIO1::Init(0)", "GAUDIO1::GetStreamInterface(0x10001)",
                            "MP3STREAM1::Initialize(1, 1, \"mp3.mp3\", 0)", "MP3STREAM1::Play",
                            "MP3STREAM1::SetVolume(1)", "MP3STREAM1::Kill", "GAUDIO1::ShutDown"}));
}

TEST(MusicSteps, NoSoundCallsNeitherLibrary) {
    CallLog log;
    RecordingBass bass(log);
    RecordingGaudio gaudio(log);
    MusicPlayer music(MusicBackend::None, &bass, &gaudio);
    EXPECT_TRUE(music.initialise(&fakeWindow).ok);
    EXPECT_TRUE(music.open().ok);
    EXPECT_TRUE(music.start().ok);
    music.release();
    EXPECT_TRUE(log.empty());
}

TEST(MusicSteps, BassFailuresEndWithStatusOneAndSayWhy) {
    {
        CallLog log;
        RecordingBass bass(log);
        bass.version = 0x00060000;
        MusicPlayer music(MusicBackend::Bass, &bass, nullptr);
        const MusicResult r = music.initialise(&fakeWindow);
        EXPECT_FALSE(r.ok);
        EXPECT_EQ(r.exitStatus, 1);
        EXPECT_EQ(r.caption, "Incorrect BASS.DLL");
        EXPECT_EQ(r.text, "BASS version 0.7 was not loaded");
        EXPECT_EQ(log, CallLog{"BASS_GetVersion"}) << "nothing else may be called after a wrong version";
    }
    {
        CallLog log;
        RecordingBass bass(log);
        bass.initResult = 0;
        MusicPlayer music(MusicBackend::Bass, &bass, nullptr);
        const MusicResult r = music.initialise(&fakeWindow);
        EXPECT_FALSE(r.ok);
        EXPECT_EQ(r.exitStatus, 1);
        EXPECT_NE(r.text.find("no audio device"), std::string::npos) << r.text;
        EXPECT_NE(r.text.find("-nosound"), std::string::npos) << r.text;
        music.release();
        EXPECT_EQ(log, (CallLog{"BASS_GetVersion", "BASS_Init(-1, 44100, 0, window)"}));
    }
    {
        CallLog log;
        RecordingBass bass(log);
        bass.createResult = 0;
        MusicPlayer music(MusicBackend::Bass, &bass, nullptr);
        ASSERT_TRUE(music.initialise(&fakeWindow).ok);
        const MusicResult r = music.open();
        EXPECT_FALSE(r.ok);
        EXPECT_EQ(r.exitStatus, 1);
        EXPECT_NE(r.text.find("\"mp3.mp3\""), std::string::npos) << r.text;
        music.release();
        // The device is released; no stream to free.
        EXPECT_EQ(log.back(), "BASS_Free");
        EXPECT_EQ(std::count(log.begin(), log.end(), "BASS_StreamFree(0)"), 0);
    }
    {
        CallLog log;
        RecordingBass bass(log);
        bass.playResult = 0;
        MusicPlayer music(MusicBackend::Bass, &bass, nullptr);
        ASSERT_TRUE(music.initialise(&fakeWindow).ok);
        ASSERT_TRUE(music.open().ok);
        const MusicResult r = music.start();
        EXPECT_FALSE(r.ok);
        EXPECT_EQ(r.exitStatus, 1);
    }
}

TEST(MusicSteps, AFifoInPlaceOfTheMusicIsRefusedBeforeTheLibraryOpensIt) {
    test::ScratchDir dir("music-fifo");
    test::CurrentDir cwd(dir.path());
    ASSERT_EQ(mkfifo("mp3.mp3", 0644), 0);
    CallLog log;
    RecordingBass bass(log);
    MusicPlayer music(MusicBackend::Bass, &bass, nullptr);
    ASSERT_TRUE(music.initialise(&fakeWindow).ok);
    const MusicResult r = music.open();
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.exitStatus, 1);
    EXPECT_NE(r.text.find("\"mp3.mp3\": is a FIFO, not a regular file"), std::string::npos) << r.text;
    EXPECT_EQ(std::count(log.begin(), log.end(), "BASS_StreamCreateFile(0, \"mp3.mp3\", 0, 0, 0)"), 0);
    music.release();

    // The preview's music too.
    RecordingGaudio gaudio(log);
    PreviewMusic preview(&gaudio, "mp3.mp3");
    EXPECT_FALSE(preview.open());
    EXPECT_NE(preview.error().find("\"mp3.mp3\": is a FIFO, not a regular file"), std::string::npos) << preview.error();
    EXPECT_FALSE(preview.isOpen());
}

TEST(MusicSteps, GaudioFailuresEndWithMinusOne) {
    struct Case {
        const char* name;
        void (*script)(RecordingGaudio&);
        bool failsAtInitialise;
        std::size_t calls;
    };
    const Case cases[] = {
        {"no interface", [](RecordingGaudio& g) { g.giveInterface = false; }, true, 1},
        {"Init not 1", [](RecordingGaudio& g) { g.initResult = 2; }, true, 2},
        {"no stream", [](RecordingGaudio& g) { g.giveStream = false; }, true, 3},
        {"Initialize 0", [](RecordingGaudio& g) { g.initializeResult = 0; }, false, 4},
    };
    for (const Case& c : cases) {
        CallLog log;
        RecordingGaudio gaudio(log);
        c.script(gaudio);
        MusicPlayer music(MusicBackend::Gaudio, nullptr, &gaudio);
        MusicResult r = music.initialise(&fakeWindow);
        if (!c.failsAtInitialise) {
            ASSERT_TRUE(r.ok) << c.name;
            r = music.open();
        }
        EXPECT_FALSE(r.ok) << c.name;
        EXPECT_EQ(r.exitStatus, 255) << c.name;
        EXPECT_FALSE(r.text.empty()) << c.name;
        EXPECT_EQ(log.size(), c.calls) << c.name;
    }
}

// ---- real playback ----------------------------------------------------------

// One second of a 440 Hz tone as a 16-bit mono WAV, then MP3 through lame.
void writeTestMp3(const std::filesystem::path& mp3) {
    const std::filesystem::path wav = mp3.parent_path() / "tone.wav";
    const std::uint32_t rate = 44100, samples = rate;
    std::ofstream out(wav, std::ios::binary);
    auto u32 = [&](std::uint32_t v) { out.write(reinterpret_cast<const char*>(&v), 4); };
    auto u16 = [&](std::uint16_t v) { out.write(reinterpret_cast<const char*>(&v), 2); };
    out.write("RIFF", 4);
    u32(36 + samples * 2);
    out.write("WAVEfmt ", 8);
    u32(16);
    u16(1);
    u16(1);
    u32(rate);
    u32(rate * 2);
    u16(2);
    u16(16);
    out.write("data", 4);
    u32(samples * 2);
    for (std::uint32_t i = 0; i < samples; ++i) {
        u16(static_cast<std::uint16_t>(static_cast<std::int16_t>(8000 * std::sin(i * 2 * M_PI * 440 / rate))));
    }
    out.close();
    const std::string command = "lame --quiet -b 64 '" + wav.string() + "' '" + mp3.string() + "'";
    ASSERT_EQ(std::system(command.c_str()), 0) << "lame is needed to make the test MP3";
}

TEST(SdlMusic, BassLayerPlaysARealMp3AndFailsWithoutIt) {
    test::useHeadlessSdl();
    test::ScratchDir dir("bass");
    writeTestMp3(dir.path() / "mp3.mp3");
    test::CurrentDir here(dir.path());

    SdlBass bass;
    EXPECT_EQ(bass.BASS_GetVersion(), 0x00070000u);
    ASSERT_EQ(bass.BASS_Init(-1, 44100, 0, nullptr), 1) << bass.lastError();
    EXPECT_EQ(bass.BASS_Init(-1, 44100, 0, nullptr), 0) << "a second start-up must fail";
    bass.BASS_Start();
    EXPECT_EQ(bass.BASS_StreamCreateFile(0, "missing.mp3", 0, 0, 0), 0u);
    EXPECT_NE(bass.lastError().find("missing.mp3"), std::string::npos) << bass.lastError();
    const StreamHandle handle = bass.BASS_StreamCreateFile(0, "mp3.mp3", 0, 0, 0);
    ASSERT_NE(handle, 0u) << bass.lastError();
    ASSERT_EQ(bass.BASS_StreamPlay(handle, 0, 0), 1) << bass.lastError();
    SDL_Delay(100);
    EXPECT_EQ(Mix_PlayingMusic(), 1);
    EXPECT_EQ(bass.BASS_StreamPlay(handle + 1, 0, 0), 0) << "an unknown handle must not play";
    bass.BASS_Stop();
    EXPECT_EQ(Mix_PlayingMusic(), 0);
    bass.BASS_StreamFree(handle);
    bass.BASS_Free();
    // Released completely: the device can be opened again.
    ASSERT_EQ(bass.BASS_Init(-1, 44100, 0, nullptr), 1) << bass.lastError();
    bass.BASS_Free();
}

TEST(SdlMusic, GaudioLayerPlaysARealMp3AndFailsWithoutIt) {
    test::useHeadlessSdl();
    test::ScratchDir dir("gaudio");
    writeTestMp3(dir.path() / "mp3.mp3");
    test::CurrentDir here(dir.path());

    SdlGaudio gaudio;
    EXPECT_EQ(gaudio.GA_GetInterface(0x10000), nullptr);
    GAUDIO1* audio = gaudio.GA_GetInterface(0x10100);
    ASSERT_NE(audio, nullptr);
    EXPECT_EQ(audio->GetStreamInterface(0x10001), nullptr) << "no stream before Init";
    ASSERT_EQ(audio->Init(0), 1) << gaudio.lastError();
    MP3STREAM1* stream = audio->GetStreamInterface(0x10001);
    ASSERT_NE(stream, nullptr);

    stream->sourceIsFile = 1;
    stream->playCount = 1;
    stream->fileName = "nothere.mp3";
    EXPECT_EQ(stream->Initialize(), 0);
    stream->fileName = "mp3.mp3";
    stream->sourceIsFile = 0;
    EXPECT_EQ(stream->Initialize(), 0) << "only files are supported";
    stream->sourceIsFile = 1;
    ASSERT_NE(stream->Initialize(), 0) << gaudio.lastError();
    stream->Play();
    stream->SetVolume(1.0f);
    SDL_Delay(100);
    EXPECT_EQ(Mix_PlayingMusic(), 1);
    EXPECT_EQ(Mix_VolumeMusic(-1), MIX_MAX_VOLUME);
    stream->Kill();
    EXPECT_EQ(Mix_PlayingMusic(), 0);
    audio->ShutDown();
}

}  // namespace
}  // namespace zor
