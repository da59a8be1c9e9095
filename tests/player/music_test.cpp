// The music steps: call order and arguments for each back end, the status
// and words of every failure, "-nosound" touching nothing, the stream
// object's members at their byte offsets; the layers built once over a
// scripted sound device (its calls, the silent answer without a device);
// MP3 decoding; and real playback through SDL audio with the dummy driver.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <SDL2/SDL.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <thread>

#include "app/music_player.h"
#include "platform/device_music.h"
#include "platform/mp3_decoder.h"
#include "platform/sdl/sdl_sound_device.h"
#include "preview/transport.h"
#include "support/recording_music.h"
#include "system/disk_files.h"
#include "test_support.h"

namespace zor {
namespace {

int fakeWindow;
const std::filesystem::path kDemoMusic = std::filesystem::path(ZOR_BINARY_DIR) / "demo" / "mp3.mp3";

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
        EXPECT_NE(r.text.find("the sound device cannot be opened"), std::string::npos) << r.text;
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

// The layers read the file through the system's reads, which refuse a FIFO
// at once instead of waiting for a writer.
TEST(MusicSteps, AFifoInPlaceOfTheMusicIsRefusedNotWaitedOn) {
    test::useHeadlessSdl();
    test::ScratchDir dir("music-fifo");
    test::CurrentDir cwd(dir.path());
    ASSERT_EQ(mkfifo("mp3.mp3", 0644), 0);
    SdlSoundDevice device;
    DeviceBass bass(device);
    MusicPlayer music(MusicBackend::Bass, &bass, nullptr);
    ASSERT_TRUE(music.initialise(&fakeWindow).ok) << bass.lastError();
    ASSERT_TRUE(music.silence().empty()) << music.silence();
    const MusicResult r = music.open();
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.exitStatus, 1);
    EXPECT_NE(r.text.find("\"mp3.mp3\": is a FIFO, not a regular file"), std::string::npos) << r.text;
    music.release();

    // The preview's music too.
    DeviceGaudio gaudio(device);
    PreviewMusic preview(&gaudio, "mp3.mp3");
    EXPECT_FALSE(preview.open());
    EXPECT_NE(preview.error().find("\"mp3.mp3\": is a FIFO, not a regular file"), std::string::npos) << preview.error();
    EXPECT_FALSE(preview.isOpen());
}

TEST(MusicSteps, GaudioFailuresEndWithStatusOne) {
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
        EXPECT_EQ(r.exitStatus, 1) << c.name;
        EXPECT_FALSE(r.text.empty()) << c.name;
        EXPECT_EQ(log.size(), c.calls) << c.name;
    }
}

// ---- the layers over a sound device ----------------------------------------

// Both back ends through the player's steps reach the device in this order.
TEST(DeviceLayers, CallTheDeviceInThePlayersOrder) {
    CallLog log;
    ScriptedSoundDevice device(log);
    {
        DeviceBass bass(device);
        MusicPlayer music(MusicBackend::Bass, &bass, nullptr);
        ASSERT_TRUE(music.initialise(&fakeWindow).ok);
        EXPECT_TRUE(music.silence().empty());
        ASSERT_TRUE(music.open().ok);
        ASSERT_TRUE(music.start().ok);
        music.release();
    }
    EXPECT_EQ(log, (CallLog{"open(44100)", "load(\"mp3.mp3\")", "play(1, 0, 1)", "stop", "release(1)", "close"}));
    log.clear();
    {
        DeviceGaudio gaudio(device);
        MusicPlayer music(MusicBackend::Gaudio, nullptr, &gaudio);
        ASSERT_TRUE(music.initialise(&fakeWindow).ok);
        ASSERT_TRUE(music.open().ok);
        ASSERT_TRUE(music.start().ok);
        music.release();
    }
    EXPECT_EQ(log, (CallLog{"open(44100)", "load(\"mp3.mp3\")", "play(2, 0, 1)", "setVolume(1)", "stop",
                            "release(2)", "close"}));
}

// No sound device: every step succeeds, the reason is told, and neither the
// file nor anything but the opening is asked of the device.
TEST(DeviceLayers, WithoutASoundDeviceTheyPlaySilentlyAndNeedNoFile) {
    for (const MusicBackend backend : {MusicBackend::Bass, MusicBackend::Gaudio}) {
        CallLog log;
        ScriptedSoundDevice device(log);
        device.opening = SoundOpening::NoDevice;
        device.reason = "no output here";
        DeviceBass bass(device);
        DeviceGaudio gaudio(device);
        MusicPlayer music(backend, &bass, &gaudio);
        ASSERT_TRUE(music.initialise(&fakeWindow).ok);
        EXPECT_EQ(music.silence(), "no output here");
        EXPECT_TRUE(music.open().ok);
        EXPECT_TRUE(music.start().ok);
        music.release();
        EXPECT_EQ(log, CallLog{"open(44100)"});
    }
}

// A device that is there but refuses, and a file it cannot play, end the
// player with 1 and the device's reason, whichever the back end.
TEST(DeviceLayers, ARefusingDeviceOrABadFileEndsWithStatusOne) {
    for (const MusicBackend backend : {MusicBackend::Bass, MusicBackend::Gaudio}) {
        CallLog log;
        ScriptedSoundDevice device(log);
        device.opening = SoundOpening::Failed;
        device.reason = "busy";
        DeviceBass bass(device);
        DeviceGaudio gaudio(device);
        MusicPlayer refused(backend, &bass, &gaudio);
        const MusicResult r = refused.initialise(&fakeWindow);
        EXPECT_FALSE(r.ok);
        EXPECT_EQ(r.exitStatus, 1);
        EXPECT_EQ(r.text, "the sound device cannot be opened (busy); start with -nosound to play without music");
        refused.release();

        device.opening = SoundOpening::Opened;
        device.loadResult = false;
        device.reason = "cannot read \"mp3.mp3\": no such file";
        MusicPlayer missing(backend, &bass, &gaudio);
        ASSERT_TRUE(missing.initialise(&fakeWindow).ok);
        const MusicResult m = missing.open();
        EXPECT_FALSE(m.ok);
        EXPECT_EQ(m.exitStatus, 1);
        EXPECT_EQ(m.text, "cannot open the music \"mp3.mp3\" (cannot read \"mp3.mp3\": no such file)");
        missing.release();
    }
}

// The preview's starts become frames of the piece at its own rate; a seek
// (Kill, then Initialize on the unchanged file) plays the piece already
// loaded, and a changed file is loaded again.
TEST(DeviceLayers, PreviewStartsAreFramesAndAnUnchangedFileIsNotLoadedAgain) {
    test::ScratchDir dir;
    test::CurrentDir cwd(dir.path());
    dir.write("mp3.mp3", "first");
    CallLog log;
    ScriptedSoundDevice device(log);  // pieces of 32000 frames a second
    DeviceGaudio gaudio(device);
    PreviewMusic music(&gaudio, "mp3.mp3");
    ASSERT_TRUE(music.open()) << music.error();
    music.playFrom(1.5);
    music.stop();
    music.playFrom(2.0);
    EXPECT_EQ(log, (CallLog{"open(44100)", "load(\"mp3.mp3\")", "play(1, 48000, 1)", "setVolume(1)", "stop",
                            "play(1, 64000, 1)", "setVolume(1)"}));
    music.stop();
    dir.write("mp3.mp3", "second, longer");
    log.clear();
    music.playFrom(0);
    EXPECT_EQ(log, (CallLog{"release(1)", "load(\"mp3.mp3\")", "play(2, 0, 1)", "setVolume(1)"}));
}

TEST(DeviceLayers, APieceRepeatsFromItsStartAndStaysAtItsEnd) {
    EXPECT_EQ(pieceFrameAt(30, 50, 100, 1), 80u);
    EXPECT_EQ(pieceFrameAt(30, 70, 100, 1), 100u) << "after the end";
    EXPECT_EQ(pieceFrameAt(30, 75, 100, 2), 5u) << "the second round from 0";
    EXPECT_EQ(pieceFrameAt(30, 170, 100, 2), 100u);
    EXPECT_EQ(pieceFrameAt(500, 0, 100, 1), 100u) << "a start past the end";
}

// ---- real decoding and playback ---------------------------------------------

// One second of a 440 Hz tone at `rate` as a 16-bit WAV of `channels`
// channels, then MP3 through lame.
void writeTestMp3(const std::filesystem::path& mp3, std::uint32_t rate = 44100, std::uint16_t channels = 1) {
    const std::filesystem::path wav = mp3.parent_path() / "tone.wav";
    const std::uint32_t frames = rate, bytes = frames * 2 * channels;
    std::ofstream out(wav, std::ios::binary);
    auto u32 = [&](std::uint32_t v) { out.write(reinterpret_cast<const char*>(&v), 4); };
    auto u16 = [&](std::uint16_t v) { out.write(reinterpret_cast<const char*>(&v), 2); };
    out.write("RIFF", 4);
    u32(36 + bytes);
    out.write("WAVEfmt ", 8);
    u32(16);
    u16(1);
    u16(channels);
    u32(rate);
    u32(rate * 2 * channels);
    u16(static_cast<std::uint16_t>(2 * channels));
    u16(16);
    out.write("data", 4);
    u32(bytes);
    for (std::uint32_t i = 0; i < frames; ++i) {
        for (std::uint16_t c = 0; c < channels; ++c)
            u16(static_cast<std::uint16_t>(static_cast<std::int16_t>(8000 * std::sin(i * 2 * M_PI * 440 / rate))));
    }
    out.close();
    const std::string command = "lame --quiet -b 128 '" + wav.string() + "' '" + mp3.string() + "'";
    ASSERT_EQ(std::system(command.c_str()), 0) << "lame is needed to make the test MP3";
}

// Decoded without a device: the stream's rate and channels, and exactly the
// frames that were encoded (the encoder's delay and padding dropped); the
// first frame's header says the same. Bytes that hold no MP3 are named so.
TEST(Mp3Decoding, GivesTheEncodedRateChannelsAndLength) {
    test::ScratchDir dir;
    struct Case {
        std::uint32_t rate;
        std::uint16_t channels;
    };
    for (const Case c : {Case{44100, 1}, Case{32000, 2}}) {
        SCOPED_TRACE(std::to_string(c.rate) + " Hz, " + std::to_string(c.channels) + " channels");
        const std::filesystem::path mp3 = dir / "tone.mp3";
        writeTestMp3(mp3, c.rate, c.channels);
        const std::optional<Bytes> bytes = readWholeFile(mp3);
        ASSERT_TRUE(bytes);
        Pcm pcm;
        std::string error;
        ASSERT_TRUE(decodeMp3(*bytes, pcm, error)) << error;
        EXPECT_EQ(pcm.rate, static_cast<int>(c.rate));
        EXPECT_EQ(pcm.channels, c.channels);
        EXPECT_EQ(pcm.frames(), c.rate);
        Mp3Format format;
        ASSERT_TRUE(findMp3Format(*bytes, format));
        EXPECT_EQ(format.sampleRate, pcm.rate);
        EXPECT_EQ(format.channels, pcm.channels);
    }
    Pcm pcm;
    std::string error;
    const Bytes noise(20000, 0x5A);
    EXPECT_FALSE(decodeMp3(noise, pcm, error));
    EXPECT_EQ(error, "holds no MPEG Layer III audio");
    EXPECT_FALSE(readMp3File((dir / "none.mp3").string(), pcm, error));
    EXPECT_NE(error.find("none.mp3\": no such file"), std::string::npos) << error;
}

// The frame the device reports, once it has moved past `past` (the dummy
// driver pulls in real time); the last reading when it does not within 10 s.
std::uint64_t positionPast(SoundDevice& device, std::uint64_t past) {
    std::uint64_t at = device.position();
    for (int i = 0; i < 1000 && at <= past; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        at = device.position();
    }
    return at;
}

// The sample demo's music (32 kHz, converted to the device's 44.1 kHz) plays
// from where it is started, its position moves in its own frames, stays put
// once stopped, and stays at the end once played out.
TEST(SdlMusic, TheDevicePlaysTheDemosMusicAndItsPositionMoves) {
    test::useHeadlessSdl();
    ASSERT_TRUE(std::filesystem::exists(kDemoMusic)) << "build the zor_demo target first";
    test::ScratchDir dir;
    std::filesystem::copy_file(kDemoMusic, dir / "mp3.mp3");
    test::CurrentDir here(dir.path());

    SdlSoundDevice device;
    ASSERT_EQ(device.open(44100), SoundOpening::Opened) << device.error();
    EXPECT_EQ(device.open(44100), SoundOpening::Failed) << "a second opening must fail";
    EXPECT_EQ(device.load("missing.mp3").id, 0);
    EXPECT_NE(device.error().find("missing.mp3"), std::string::npos) << device.error();
    const SoundPiece piece = device.load("mp3.mp3");
    ASSERT_NE(piece.id, 0) << device.error();
    EXPECT_EQ(piece.rate, 32000);
    EXPECT_GT(piece.frames, 60u * 32000);

    const std::uint64_t start = 10 * 32000;
    ASSERT_TRUE(device.play(piece.id, start, 1)) << device.error();
    const std::uint64_t moved = positionPast(device, start);
    EXPECT_GT(moved, start);
    // Read within moments of its first move, and counted at 32 kHz: the
    // device's own 44.1 kHz would put it 3.8 s further already.
    EXPECT_LT(moved, start + 2 * 32000);
    device.stop();
    const std::uint64_t stopped = device.position();
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(device.position(), stopped);

    ASSERT_TRUE(device.play(piece.id, piece.frames - 100, 1));
    EXPECT_EQ(positionPast(device, piece.frames - 1), piece.frames) << "played out, it stays at its end";
    EXPECT_FALSE(device.play(piece.id + 1, 0, 1)) << "an unknown piece must not play";
    device.close();
    // Closed completely: it opens again.
    ASSERT_EQ(device.open(44100), SoundOpening::Opened) << device.error();
}

// SDL's audio cannot start with a driver that is not there: that is no
// sound device, and both layers play silently over it, without a music file.
TEST(SdlMusic, ADriverThatIsNotThereIsNoSoundDevice) {
    test::useHeadlessSdl();
    ::setenv("SDL_AUDIODRIVER", "no-such-driver", 1);
    test::ScratchDir dir;
    test::CurrentDir here(dir.path());
    SdlSoundDevice device;
    EXPECT_EQ(device.open(44100), SoundOpening::NoDevice);
    EXPECT_NE(device.error().find("no-such-driver"), std::string::npos) << device.error();
    DeviceBass bass(device);
    ASSERT_EQ(bass.BASS_Init(-1, 44100, 0, nullptr), 1);
    EXPECT_EQ(bass.silence(), device.error());
    const StreamHandle handle = bass.BASS_StreamCreateFile(0, "mp3.mp3", 0, 0, 0);
    EXPECT_NE(handle, 0u);
    EXPECT_EQ(bass.BASS_StreamPlay(handle, 0, 0), 1);
    bass.BASS_Free();
    test::useHeadlessSdl();
}

TEST(SdlMusic, BassLayerPlaysARealMp3AndFailsWithoutIt) {
    test::useHeadlessSdl();
    test::ScratchDir dir("bass");
    writeTestMp3(dir.path() / "mp3.mp3");
    test::CurrentDir here(dir.path());

    SdlSoundDevice device;
    DeviceBass bass(device);
    EXPECT_EQ(bass.BASS_GetVersion(), 0x00070000u);
    ASSERT_EQ(bass.BASS_Init(-1, 44100, 0, nullptr), 1) << bass.lastError();
    EXPECT_TRUE(bass.silence().empty()) << bass.silence();
    EXPECT_EQ(bass.BASS_Init(-1, 44100, 0, nullptr), 0) << "a second start-up must fail";
    bass.BASS_Start();
    EXPECT_EQ(bass.BASS_StreamCreateFile(0, "missing.mp3", 0, 0, 0), 0u);
    EXPECT_NE(bass.lastError().find("missing.mp3"), std::string::npos) << bass.lastError();
    const StreamHandle handle = bass.BASS_StreamCreateFile(0, "mp3.mp3", 0, 0, 0);
    ASSERT_NE(handle, 0u) << bass.lastError();
    ASSERT_EQ(bass.BASS_StreamPlay(handle, 0, 0), 1) << bass.lastError();
    EXPECT_GT(positionPast(device, 0), 0u);
    EXPECT_EQ(bass.BASS_StreamPlay(handle + 1, 0, 0), 0) << "an unknown handle must not play";
    bass.BASS_Stop();
    const std::uint64_t stopped = device.position();
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(device.position(), stopped);
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

    SdlSoundDevice device;
    DeviceGaudio gaudio(device);
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
    stream->startMilliseconds = 500;
    stream->Play();
    stream->SetVolume(1.0f);
    EXPECT_GT(positionPast(device, 22050), 22050u) << "started half a second in";
    stream->Kill();
    const std::uint64_t stopped = device.position();
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(device.position(), stopped);
    audio->ShutDown();
}

}  // namespace
}  // namespace zor
