// The player's start-up order, its shutdown and every way it ends, with a
// scripted window system, recording music libraries and a logging display.

#include <gtest/gtest.h>

#include <sstream>

#include "app/player.h"
#include "support/scripted_window_system.h"
#include "test_support.h"

namespace zor {
namespace {

using test::LoggingDisplay;

struct PlayerFixture : testing::Test {
    CallLog log;
    ScriptedWindowSystem system;
    RecordingBass bass{log};
    RecordingGaudio gaudio{log};
    LoggingDisplay display{log};
    std::ostringstream errors;
    PlayerParts parts{system, &bass, &gaudio, display, errors};
    bool sceneFound = true;

    PlayerFixture() {
        parts.loadScene = [this](Scene& scene, RenderSlots& slots, const DataSource& source,
                                 Diagnostics& diagnostics) {
            log.push_back("readScene with archive " + source.archiveName);
            slots.loadTexture("wood.jpg");
            if (!sceneFound) {
                diagnostics.error("glorp2.lws", 0, "found neither on disk nor in the archive");
                return false;
            }
            scene.firstFrame = 0;
            scene.lastFrame = 3;  // ends after 3 / 30.3 s, about 99 ms
            log.push_back("clock read next");
            return true;
        };
        system.setStepPerReading(10);
    }

    std::size_t indexOf(const std::string& entry) const {
        return static_cast<std::size_t>(std::find(log.begin(), log.end(), entry) - log.begin());
    }
};

TEST_F(PlayerFixture, StartsUpInOrderPlaysToTheEndAndReleasesTheMusic) {
    EXPECT_EQ(runPlayer(parts, ""), 0) << errors.str();
    EXPECT_EQ(system.windowTitle(), "ZOR @ QUENT7");

    const CallLog startUp{"BASS_GetVersion",
                          "BASS_Init(-1, 44100, 0, null)",
                          "BASS_Start",
                          "initDisplay(null)",
                          "loadLogo(skane.jpg)",
                          "initRenderer(2)",
                          "clearTarget",
                          "endFrame",
                          "clearTarget",
                          "endFrame",
                          "BASS_StreamCreateFile(0, \"mp3.mp3\", 0, 0, 0)",
                          "readScene with archive zor.dat",
                          "loadTexture(wood.jpg)",
                          "clock read next",
                          "BASS_StreamPlay(7, 0, 0)"};
    ASSERT_GE(log.size(), startUp.size());
    EXPECT_EQ(CallLog(log.begin(), log.begin() + static_cast<long>(startUp.size())), startUp);

    // Passes, then only the music is released.
    const CallLog pass{"beginFrame", "blitLogo", "endFrame"};
    const CallLog shutdown{"BASS_Stop", "BASS_StreamFree(7)", "BASS_Free"};
    const CallLog tail(log.begin() + static_cast<long>(startUp.size()), log.end());
    ASSERT_EQ(tail.size() % 3, 0u);
    const std::size_t passes = tail.size() / 3 - 1;
    // Clock read at t0 for the start; passes read t0 + 10, + 20, ...; 3 frames
    // end past 99.0 ms: the pass reading t0 + 100 is the last.
    EXPECT_EQ(passes, 10u);
    for (std::size_t p = 0; p < passes; ++p) {
        EXPECT_EQ(CallLog(tail.begin() + static_cast<long>(3 * p), tail.begin() + static_cast<long>(3 * p + 3)), pass)
            << "pass " << p;
    }
    EXPECT_EQ(CallLog(tail.end() - 3, tail.end()), shutdown);
    EXPECT_TRUE(errors.str().empty()) << errors.str();
}

TEST_F(PlayerFixture, GaudioBackEndInItsPlaces) {
    EXPECT_EQ(runPlayer(parts, "-gaudio"), 0);
    EXPECT_LT(indexOf("GAUDIO1::GetStreamInterface(0x10001)"), indexOf("initDisplay(null)"));
    EXPECT_GT(indexOf("MP3STREAM1::Initialize(1, 1, \"mp3.mp3\", 0)"), indexOf("endFrame"));
    EXPECT_LT(indexOf("MP3STREAM1::Initialize(1, 1, \"mp3.mp3\", 0)"), indexOf("readScene with archive zor.dat"));
    EXPECT_GT(indexOf("MP3STREAM1::Play"), indexOf("clock read next"));
    EXPECT_EQ(indexOf("MP3STREAM1::SetVolume(1)"), indexOf("MP3STREAM1::Play") + 1);
    EXPECT_EQ(CallLog(log.end() - 2, log.end()), (CallLog{"MP3STREAM1::Kill", "GAUDIO1::ShutDown"}));
    EXPECT_EQ(std::count_if(log.begin(), log.end(), [](const std::string& s) { return s.rfind("BASS", 0) == 0; }), 0);
}

TEST_F(PlayerFixture, NoSoundTouchesNoLibrary) {
    EXPECT_EQ(runPlayer(parts, "-nosound"), 0);
    for (const std::string& call : log) {
        EXPECT_EQ(call.find("BASS"), std::string::npos) << call;
        EXPECT_EQ(call.find("GA"), std::string::npos) << call;
        EXPECT_EQ(call.find("MP3STREAM1"), std::string::npos) << call;
    }
}

TEST_F(PlayerFixture, EscapeEndsItBeforeTheLastFrame) {
    // The scene would run ~99 ms; Escape at 45 ms ends it first.
    system.scheduleMessage(45, {MessageKind::KeyDown, 27});
    EXPECT_EQ(runPlayer(parts, "-nosound"), 0);
    EXPECT_LT(std::count(log.begin(), log.end(), "blitLogo"), 10);
    EXPECT_EQ(log.back(), "endFrame");
}

TEST_F(PlayerFixture, FailedDisplayShowsItsBoxSaysWhatFailedAndFails) {
    display.initResult = false;
    display.failureText = "cannot switch to the display mode 640x480x16";
    EXPECT_EQ(runPlayer(parts, ""), 1);
    ASSERT_EQ(system.boxes().size(), 1u);
    EXPECT_EQ(system.boxes()[0].caption, "brul");
    EXPECT_EQ(system.boxes()[0].text, "Sket sig :(");
    EXPECT_EQ(errors.str(), "zor: the display could not be set up: cannot switch to the display mode 640x480x16\n");
    EXPECT_EQ(indexOf("loadLogo(skane.jpg)"), log.size()) << "nothing may follow a failed display";
    EXPECT_EQ(log.back(), "BASS_Free");

    // The set-up window closed by the user (its close box, Alt+F4, Escape):
    // the one box, and a clean end.
    display.cancelled = true;
    errors.str("");
    EXPECT_EQ(runPlayer(parts, ""), 0);
    EXPECT_EQ(system.boxes().size(), 2u);
    EXPECT_EQ(errors.str(), "");
}

TEST_F(PlayerFixture, MissingMusicEndsWithStatusOneWithEitherBackEnd) {
    bass.createResult = 0;
    EXPECT_EQ(runPlayer(parts, "-bass"), 1);
    EXPECT_NE(errors.str().find("\"mp3.mp3\""), std::string::npos) << errors.str();
    EXPECT_EQ(indexOf("readScene with archive zor.dat"), log.size()) << "the scene was read after the failure";

    log.clear();
    errors.str("");
    gaudio.initializeResult = 0;
    EXPECT_EQ(runPlayer(parts, "-gaudio"), 1);
    EXPECT_NE(errors.str().find("\"mp3.mp3\""), std::string::npos) << errors.str();
}

// Without a sound device the layers succeed silently; the player says so in
// one line and plays to the end, its music steps in their places.
TEST_F(PlayerFixture, WithoutASoundDeviceItSaysSoOnceAndPlays) {
    for (const char* line : {"-bass", "-gaudio"}) {
        log.clear();
        errors.str("");
        bass.silenceReason = gaudio.silenceReason = "no output here";
        EXPECT_EQ(runPlayer(parts, line), 0) << line;
        EXPECT_EQ(errors.str(), "zor: no sound device (no output here); playing without music\n") << line;
        EXPECT_EQ(std::count(log.begin(), log.end(), "blitLogo"), 10) << line;
    }
}

TEST_F(PlayerFixture, WrongBassVersionShowsItsBoxBeforeTheDisplay) {
    bass.version = 0x00080000;
    EXPECT_EQ(runPlayer(parts, ""), 1);
    ASSERT_EQ(system.boxes().size(), 1u);
    EXPECT_EQ(system.boxes()[0].caption, "Incorrect BASS.DLL");
    EXPECT_EQ(system.boxes()[0].text, "BASS version 0.7 was not loaded");
    EXPECT_EQ(indexOf("initDisplay(null)"), log.size());
}

TEST_F(PlayerFixture, NoAudioDeviceSuggestsNoSound) {
    bass.initResult = 0;
    EXPECT_EQ(runPlayer(parts, ""), 1);
    EXPECT_NE(errors.str().find("-nosound"), std::string::npos) << errors.str();
}

TEST_F(PlayerFixture, MissingSceneNamesSceneAndArchive) {
    sceneFound = false;
    EXPECT_EQ(runPlayer(parts, "-nosound"), 1);
    EXPECT_NE(errors.str().find("glorp2.lws"), std::string::npos) << errors.str();
    EXPECT_NE(errors.str().find("zor.dat"), std::string::npos) << errors.str();
    EXPECT_EQ(std::count(log.begin(), log.end(), "beginFrame"), 0);
}

TEST_F(PlayerFixture, NoWindowNoRun) {
    system.failWindowCreation("no display");
    EXPECT_EQ(runPlayer(parts, ""), 1);
    EXPECT_TRUE(log.empty());
    EXPECT_NE(errors.str().find("no display"), std::string::npos);
}

}  // namespace
}  // namespace zor
