// The preview's transport: the clock, the ends of the range, steps, speed,
// and the music kept in step (through the recording gaudio-like layer: a
// start is Initialize + Play at the stream's start member, a stop is Kill);
// keys arrive as messages of the scripted window. Also the reload watch on
// real files: a change is read once the files settle, a storm at most once a
// second. And the timeline strip under the transport.

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>

#include "preview/file_watch.h"
#include "preview/timeline.h"
#include "preview/transport.h"
#include "scene/timeline.h"
#include "support/recording_music.h"
#include "support/scripted_window_system.h"
#include "test_support.h"

namespace zor {
namespace {

struct TransportRun : testing::Test {
    CallLog log;
    RecordingGaudio gaudio{log};
    PreviewMusic music{&gaudio, "mp3.mp3"};
    Transport transport{&music};
    ScriptedWindowSystem system;

    void SetUp() override {
        ASSERT_TRUE(music.open());
        log.clear();
        transport.setRange(0, 300, 0);
    }
    // The keys of the messages waiting, each at the clock's current reading.
    void press(std::initializer_list<int> keys) {
        for (int key : keys) system.postMessage({MessageKind::KeyDown, key});
        WindowMessage message;
        while (system.peekMessage(message))
            applyTransportCommand(transport, viewCommandForKey(message.key), system.time());
    }
    std::int32_t frameAt(std::uint32_t ms) {
        system.setTime(ms);
        return transport.frame(ms);
    }
    std::int32_t musicStart() const { return gaudio.stream().startMilliseconds; }
};

TEST_F(TransportRun, PlaysOnTheClockWithTheMusicAndStopsOnTheLastFrame) {
    system.setTime(1000);
    press({kVirtualKeySpace});
    EXPECT_TRUE(transport.playing());
    EXPECT_EQ(log, (CallLog{"MP3STREAM1::Play", "MP3STREAM1::SetVolume(1)"}));
    EXPECT_EQ(musicStart(), 0);
    EXPECT_EQ(frameAt(2000), 30);  // 30.3 frames a second
    EXPECT_EQ(frameAt(11000), 300);
    EXPECT_FALSE(transport.playing());
    EXPECT_EQ(log.back(), "MP3STREAM1::Kill");
    // Play on the last frame starts again from the first, music from 0 s.
    log.clear();
    press({kVirtualKeySpace});
    EXPECT_EQ(frameAt(11000), 0);
    EXPECT_EQ(log.front(), "MP3STREAM1::Initialize(1, 1, \"mp3.mp3\", 0)");
    EXPECT_EQ(musicStart(), 0);
}

TEST_F(TransportRun, StepsAndSkipsStayInsideTheRange) {
    system.setTime(500);
    press({kVirtualKeyLeft});
    EXPECT_EQ(frameAt(500), 0);
    press({kVirtualKeyRight, kVirtualKeyRight});
    EXPECT_EQ(frameAt(500), 2);
    press({kVirtualKeyPageDown});  // ten seconds: 303 frames, past the end
    EXPECT_EQ(frameAt(500), 300);
    press({kVirtualKeyRight});
    EXPECT_EQ(frameAt(500), 300);
    press({kVirtualKeyPageUp, kVirtualKeyPageUp});
    EXPECT_EQ(frameAt(500), 0);
    press({kVirtualKeyEnd, kVirtualKeyLeft});
    EXPECT_EQ(frameAt(500), 299);
    press({kVirtualKeyHome});
    EXPECT_EQ(frameAt(500), 0);
    // Playing, Right is one second of the clock.
    press({kVirtualKeySpace, kVirtualKeyRight});
    EXPECT_EQ(frameAt(500), 30);
    EXPECT_EQ(musicStart(), 1000);
    // Nothing played while paused.
    EXPECT_EQ(std::count(log.begin(), log.end(), "MP3STREAM1::Play"), 2);
}

TEST_F(TransportRun, SpeedChangesTheRateAndTheMusicFollowsOnlyAtSpeedOne) {
    system.setTime(0);
    press({kVirtualKeySpace});
    EXPECT_EQ(frameAt(2000), 60);
    press({kVirtualKeyPlus});  // double: the music stops
    EXPECT_EQ(log.back(), "MP3STREAM1::Kill");
    EXPECT_EQ(transport.speed(), 2.0);
    EXPECT_EQ(frameAt(3000), 121);  // 60.6 + 60.6
    press({kVirtualKeyMinus});  // back to 1: the music restarts where the picture is
    EXPECT_EQ(log.back(), "MP3STREAM1::SetVolume(1)");
    EXPECT_EQ(musicStart(), 4000);
    press({kVirtualKeyEnd});  // a seek to the end stops both
    EXPECT_FALSE(transport.playing());
    EXPECT_EQ(log.back(), "MP3STREAM1::Kill");
    for (int i = 0; i < 10; ++i) press({kVirtualKeySubtract});
    EXPECT_EQ(transport.speed(), kSlowestSpeed);
}

TEST_F(TransportRun, ANewRangeKeepsTheFrameOrClampsIt) {
    transport.seek(120, 0);
    transport.setRange(0, 200, 10);
    EXPECT_EQ(transport.frame(10), 120);
    transport.setRange(0, 100, 20);
    EXPECT_EQ(transport.frame(20), 100);
}

TEST(ReloadWatch, ReadsAChangeOnceItSettlesAndAStormAtMostOnceASecond) {
    test::ScratchDir dir("watch");
    const auto file = dir.path() / "scene.lws";
    const auto missing = dir.path() / "object.lwo";
    std::ofstream(file) << "a";
    ReloadWatch watch(WatchTiming{50, 1000});
    watch.watch(stampAll({file, missing}), 0);
    EXPECT_FALSE(watch.due(50));
    std::ofstream(file) << "ab";
    EXPECT_FALSE(watch.due(60));   // within the poll interval
    EXPECT_FALSE(watch.due(100));  // seen, not yet settled
    EXPECT_TRUE(watch.due(150));   // still since the last poll
    // A file appearing where none was is a change too.
    watch.watch(stampAll({file, missing}), 200);
    std::ofstream(missing) << "x";
    EXPECT_FALSE(watch.due(250));
    EXPECT_TRUE(watch.due(300));
    // Rewritten at every poll: read once a second at most.
    watch.watch(stampAll({file, missing}), 400);
    std::string text = "a";
    int dueCount = 0;
    for (std::uint32_t now = 450; now < 2450; now += 50) {
        text += "b";
        std::ofstream(file) << text;
        if (watch.due(now)) {
            ++dueCount;
            watch.watch(stampAll({file, missing}), now);
        }
    }
    EXPECT_EQ(dueCount, 1);
}

// A column a frame: the waveform's bars follow the loudness, beats are dim
// and bars bright where the recipe's beat frames fall, the frame shown is
// marked over everything.
TEST(Timeline, TheWaveformBeatsBarsAndTheFrameShownFallOnTheirColumns) {
    constexpr int kWidth = 100, kHeight = 20;
    std::vector<float> peaks(100, 0.0f);
    peaks[10] = 1.0f;
    peaks[52] = 0.5f;
    TimelineMarks marks;
    marks.first = 0;
    marks.last = kWidth - 1;
    marks.position = 42.6;
    marks.bpm = 121.2;  // a beat every 15 frames or so
    std::vector<std::uint8_t> rgb;
    paintTimeline(rgb, kWidth, kHeight, peaks, marks);
    ASSERT_EQ(rgb.size(), std::size_t{kWidth} * kHeight * 3);
    const auto is = [&](int x, int y, const std::uint8_t (&colour)[3]) {
        const std::uint8_t* p = &rgb[(std::size_t(y) * kWidth + x) * 3];
        return p[0] == colour[0] && p[1] == colour[1] && p[2] == colour[2];
    };
    using C = TimelineColours;
    EXPECT_TRUE(is(10, 1, C::wave) && is(10, kHeight - 2, C::wave)) << "the loudest frame: the whole height";
    EXPECT_TRUE(is(52, kHeight / 2 - 4, C::wave) && is(52, 2, C::background)) << "half as loud: half as high";
    EXPECT_TRUE(is(20, kHeight / 2, C::background)) << "silence";
    for (int n = 0; n < 7; ++n) {
        const int x = frameAtBeat(n, *marks.bpm);
        ASSERT_EQ(timelineColumn(x, marks, kWidth), x);
        if (n % kBeatsPerBar == 0) {
            EXPECT_TRUE(is(x, 0, C::bar)) << "bar at beat " << n;
        } else {
            EXPECT_TRUE(is(x, kHeight / 2, C::beat) && is(x, 0, C::background)) << "beat " << n;
            EXPECT_TRUE(is(x + 1, kHeight / 2, C::background)) << "beat " << n << " is one column";
        }
    }
    EXPECT_TRUE(is(42, 0, C::shown) && is(43, kHeight - 1, C::shown)) << "the frame shown";
    EXPECT_TRUE(is(41, 0, C::background));
}

}  // namespace
}  // namespace zor
