// The window procedure's rules, the message drain, the command-line table and
// the translation of SDL events into messages.

#include <gtest/gtest.h>

#include <sstream>

#include "app/command_line.h"
#include "app/window_procedure.h"
#include "platform/sdl/sdl_window_system.h"
#include "support/scripted_window_system.h"
#include "test_support.h"

namespace zor {
namespace {

TEST(WindowProcedure, EscapePostsQuitOtherKeysAreSwallowed) {
    ScriptedWindowSystem system;
    EXPECT_EQ(mainWindowProcedure({MessageKind::KeyDown, 'A'}, system), ProcedureResult::Handled);
    EXPECT_EQ(mainWindowProcedure({MessageKind::KeyDown, 13}, system), ProcedureResult::Handled);
    EXPECT_EQ(mainWindowProcedure({MessageKind::KeyDown, 0}, system), ProcedureResult::Handled);
    WindowMessage message;
    EXPECT_FALSE(system.peekMessage(message)) << "a key other than Escape posted something";

    EXPECT_EQ(mainWindowProcedure({MessageKind::KeyDown, 27}, system), ProcedureResult::Handled);
    ASSERT_TRUE(system.peekMessage(message));
    EXPECT_EQ(message.kind, MessageKind::Quit);
    EXPECT_FALSE(system.peekMessage(message));
}

TEST(WindowProcedure, ButtonsAndClosingPostQuitOthersPassOn) {
    for (MessageKind kind : {MessageKind::LeftButtonDown, MessageKind::RightButtonDown, MessageKind::Destroy}) {
        ScriptedWindowSystem system;
        EXPECT_EQ(mainWindowProcedure({kind, 0}, system), ProcedureResult::Handled);
        WindowMessage message;
        ASSERT_TRUE(system.peekMessage(message));
        EXPECT_EQ(message.kind, MessageKind::Quit);
    }
    // The pointer's motion and the wheel never end the demo.
    for (MessageKind kind : {MessageKind::Other, MessageKind::MouseMove, MessageKind::MouseWheel}) {
        ScriptedWindowSystem system;
        EXPECT_EQ(mainWindowProcedure({kind, 0}, system), ProcedureResult::PassedOn);
        WindowMessage message;
        EXPECT_FALSE(system.peekMessage(message));
    }
}

TEST(WindowProcedure, DrainStopsAtQuitAndLeavesLaterMessages) {
    ScriptedWindowSystem system;
    system.postMessage({MessageKind::KeyDown, 'X'});
    system.postMessage({MessageKind::Other, 0});
    EXPECT_FALSE(drainMessages(system)) << "no quit was waiting";

    // A click posts quit behind the message already waiting; the drain goes
    // on until it reaches it.
    system.postMessage({MessageKind::LeftButtonDown, 0});
    system.postMessage({MessageKind::KeyDown, 'Y'});
    EXPECT_TRUE(drainMessages(system));
    EXPECT_FALSE(drainMessages(system)) << "the queue should be empty after the quit";

    system.postQuitMessage();
    system.postMessage({MessageKind::KeyDown, 27});
    EXPECT_TRUE(drainMessages(system));
    // The Escape behind the quit is still queued and posts another quit.
    EXPECT_TRUE(drainMessages(system));
}

TEST(WindowProcedure, ScheduledMessagesArriveWhenTheClockReachesThem) {
    ScriptedWindowSystem system;
    system.scheduleMessage(500, {MessageKind::RightButtonDown, 0});
    system.setTime(499);
    EXPECT_FALSE(drainMessages(system));
    system.setTime(500);
    EXPECT_TRUE(drainMessages(system));
}

TEST(CommandLine, OnlyTheThreeExactTextsChoose) {
    struct Row {
        const char* line;
        MusicBackend backend;
    };
    const Row rows[] = {
        {"-bass", MusicBackend::Bass},       {"-gaudio", MusicBackend::Gaudio},
        {"-nosound", MusicBackend::None},    {"", MusicBackend::Bass},
        {"-BASS", MusicBackend::Bass},       {"-NOSOUND", MusicBackend::Bass},
        {"-nosound ", MusicBackend::Bass},   {" -nosound", MusicBackend::Bass},
        {"-gaudio -nosound", MusicBackend::Bass}, {"-Gaudio", MusicBackend::Bass},
        {"nosound", MusicBackend::Bass},     {"-bass ", MusicBackend::Bass},
    };
    for (const Row& row : rows) EXPECT_EQ(musicBackendFor(row.line), row.backend) << '"' << row.line << '"';
}

TEST(CommandLine, ArgumentsAreJoinedBySingleSpaces) {
    const char* none[] = {"zor"};
    EXPECT_EQ(joinArguments(1, none), "");
    const char* one[] = {"zor", "-nosound"};
    EXPECT_EQ(joinArguments(2, one), "-nosound");
    EXPECT_EQ(musicBackendFor(joinArguments(2, one)), MusicBackend::None);
    const char* two[] = {"zor", "-gaudio", "x"};
    EXPECT_EQ(joinArguments(3, two), "-gaudio x");
    EXPECT_EQ(musicBackendFor(joinArguments(3, two)), MusicBackend::Bass);
    // An argument that itself holds a blank keeps it.
    const char* spaced[] = {"zor", "-nosound ", ""};
    EXPECT_EQ(joinArguments(3, spaced), "-nosound  ");
}

TEST(CommandLine, ThePlayersOptionsAreTakenOffWhereverTheyStand) {
    PlayerArguments a = parsePlayerArguments({"--dir", "/a b", "-nosound"});
    EXPECT_EQ(a.folder, "/a b");
    EXPECT_EQ(a.line, "-nosound");
    EXPECT_EQ(a.unknown, "");
    // Late, among the music's words: still the folder, and no music.
    a = parsePlayerArguments({"-nosound", "--dir", "x"});
    EXPECT_EQ(a.folder, "x");
    EXPECT_EQ(musicBackendFor(a.line), MusicBackend::None);
    EXPECT_TRUE(parsePlayerArguments({"-nosound", "--dir"}).folderMissing);
    const std::vector<std::string> picture = {"--dir", "d", "-smooth", "-nosound", "--stretch", "--help"};
    a = parsePlayerArguments(picture);
    EXPECT_TRUE(a.smooth && a.stretch && a.help);
    EXPECT_EQ(musicBackendFor(a.line), MusicBackend::None);
    a = parsePlayerArguments({"-nosound"});
    EXPECT_FALSE(a.smooth || a.stretch || a.help || a.version);
    // What is not understood is kept to be named; the music takes the first
    // back end for it, as for any other text.
    a = parsePlayerArguments({"-nosund", "--version"});
    EXPECT_TRUE(a.version);
    EXPECT_EQ(a.unknown, "-nosund");
    EXPECT_EQ(musicBackendFor(a.line), MusicBackend::Bass);
    EXPECT_EQ(parsePlayerArguments({}).unknown, "");
}

TEST(SdlEvents, KeysButtonsAndCloseBecomeMessages) {
    SDL_Event event{};
    WindowMessage message;
    event.type = SDL_KEYDOWN;
    event.key.keysym.sym = SDLK_ESCAPE;
    ASSERT_TRUE(messageFromEvent(event, message));
    EXPECT_EQ(message.kind, MessageKind::KeyDown);
    EXPECT_EQ(message.key, 27);
    event.key.keysym.sym = SDLK_q;
    ASSERT_TRUE(messageFromEvent(event, message));
    EXPECT_EQ(message.key, 'Q');
    event.key.keysym.sym = SDLK_F1;
    ASSERT_TRUE(messageFromEvent(event, message));
    EXPECT_EQ(message.kind, MessageKind::KeyDown);
    EXPECT_NE(message.key, 27);

    event = SDL_Event{};
    event.type = SDL_MOUSEBUTTONDOWN;
    event.button.button = SDL_BUTTON_LEFT;
    ASSERT_TRUE(messageFromEvent(event, message));
    EXPECT_EQ(message.kind, MessageKind::LeftButtonDown);
    event.button.button = SDL_BUTTON_RIGHT;
    ASSERT_TRUE(messageFromEvent(event, message));
    EXPECT_EQ(message.kind, MessageKind::RightButtonDown);
    event.button.button = SDL_BUTTON_MIDDLE;
    EXPECT_FALSE(messageFromEvent(event, message));

    event = SDL_Event{};
    event.type = SDL_QUIT;
    ASSERT_TRUE(messageFromEvent(event, message));
    EXPECT_EQ(message.kind, MessageKind::Destroy);
    event = SDL_Event{};
    event.type = SDL_WINDOWEVENT;
    event.window.event = SDL_WINDOWEVENT_CLOSE;
    ASSERT_TRUE(messageFromEvent(event, message));
    EXPECT_EQ(message.kind, MessageKind::Destroy);
    event.window.event = SDL_WINDOWEVENT_MOVED;
    EXPECT_FALSE(messageFromEvent(event, message));

    // The preview's: the pointer with the buttons held, the wheel, Tab,
    // Shift and Ctrl.
    event = SDL_Event{};
    event.type = SDL_MOUSEMOTION;
    event.motion.x = 12;
    event.motion.y = 34;
    event.motion.state = SDL_BUTTON_LMASK;
    ASSERT_TRUE(messageFromEvent(event, message));
    EXPECT_EQ(message.kind, MessageKind::MouseMove);
    EXPECT_EQ(message.x, 12);
    EXPECT_EQ(message.y, 34);
    EXPECT_EQ(message.buttons, kLeftButton);
    event = SDL_Event{};
    event.type = SDL_MOUSEWHEEL;
    event.wheel.y = -2;
    ASSERT_TRUE(messageFromEvent(event, message));
    EXPECT_EQ(message.kind, MessageKind::MouseWheel);
    EXPECT_EQ(message.wheel, -2);
    event = SDL_Event{};
    event.type = SDL_KEYDOWN;
    event.key.keysym.sym = SDLK_TAB;
    event.key.keysym.mod = KMOD_LSHIFT | KMOD_RCTRL;
    ASSERT_TRUE(messageFromEvent(event, message));
    EXPECT_EQ(message.key, kVirtualKeyTab);
    EXPECT_TRUE(message.shift);
    EXPECT_TRUE(message.ctrl);
    event.key.keysym.sym = SDLK_k;
    event.key.keysym.mod = KMOD_NONE;
    ASSERT_TRUE(messageFromEvent(event, message));
    EXPECT_EQ(message.key, 'K');
    EXPECT_FALSE(message.shift);
    EXPECT_FALSE(message.ctrl);
}

// The real SDL layer under the offscreen driver: a window, pushed events
// come out as messages in order, the clock runs, boxes reach stderr.
TEST(SdlWindowSystem, OffscreenWindowQueueAndClock) {
    test::useHeadlessSdl();
    SdlWindowSystem system;
    ASSERT_TRUE(system.createMainWindow("ZOR @ QUENT7")) << system.error();
    ASSERT_NE(system.nativeWindow(), nullptr);
    EXPECT_STREQ(SDL_GetWindowTitle(static_cast<SDL_Window*>(system.nativeWindow())), "ZOR @ QUENT7");

    WindowMessage message;
    while (system.peekMessage(message)) {
    }
    SDL_Event key{};
    key.type = SDL_KEYDOWN;
    key.key.keysym.sym = SDLK_ESCAPE;
    ASSERT_EQ(SDL_PushEvent(&key), 1);
    SDL_Event click{};
    click.type = SDL_MOUSEBUTTONDOWN;
    click.button.button = SDL_BUTTON_RIGHT;
    ASSERT_EQ(SDL_PushEvent(&click), 1);
    system.postQuitMessage();  // behind the queued events? It is queued first: nothing was pumped yet.

    std::vector<MessageKind> kinds;
    while (system.peekMessage(message)) kinds.push_back(message.kind);
    ASSERT_GE(kinds.size(), 3u);
    EXPECT_EQ(kinds[0], MessageKind::Quit);
    EXPECT_EQ(kinds[1], MessageKind::KeyDown);
    EXPECT_EQ(kinds[2], MessageKind::RightButtonDown);

    const std::uint32_t before = system.milliseconds();
    SDL_Delay(20);
    const std::uint32_t after = system.milliseconds();
    EXPECT_GE(after - before, 20u);
    EXPECT_LT(after - before, 2000u);

    testing::internal::CaptureStderr();
    system.messageBox("brul", "Sket sig :(");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "brul: Sket sig :(\n");
}

}  // namespace
}  // namespace zor
