// The set-up window drawn for real with SDL's offscreen driver: confirmed
// and quit through synthetic input, and its pictures compared with the
// reference images in data/ (regenerate with ZOR_UPDATE_REFERENCES=1 and
// look at them before committing).

#include <gtest/gtest.h>

#include "app/setup_window.h"
#include "platform/sdl/sdl_dialog.h"
#include "png_compare.h"
#include "test_support.h"

namespace zor {
namespace {

const std::vector<SetupAdapter> kAdapters = {
    {"Primary Display Driver", {{640, 480, 16}, {800, 600, 16}}},
    {"Offscreen 3D Accelerator", {{320, 200, 16}, {640, 480, 16}, {800, 600, 16}, {1024, 768, 16}, {640, 480, 15},
                                  {800, 600, 15}, {1024, 768, 15}, {1280, 1024, 16}, {1600, 1200, 16}}},
};

void push(SDL_Event event) { ASSERT_EQ(SDL_PushEvent(&event), 1) << SDL_GetError(); }

void pushKey(SDL_Keycode key) {
    SDL_Event event{};
    event.type = SDL_KEYDOWN;
    event.key.keysym.sym = key;
    push(event);
}

void pushClick(int x, int y, Uint32 type) {
    SDL_Event event{};
    event.type = type;
    event.button.button = SDL_BUTTON_LEFT;
    event.button.x = x;
    event.button.y = y;
    push(event);
}

void comparePicture(const SdlDialog& dialog, const char* name) {
    test::expectMatchesReference(test::imageFromSurface(dialog.lastPicture()), name);
}

struct SdlSetupWindow : testing::Test {
    void SetUp() override {
        test::useHeadlessSdl();
        ASSERT_EQ(SDL_InitSubSystem(SDL_INIT_VIDEO), 0) << SDL_GetError();
        SDL_FlushEvents(SDL_FIRSTEVENT, SDL_LASTEVENT);
    }
    void TearDown() override { SDL_QuitSubSystem(SDL_INIT_VIDEO); }
};

TEST_F(SdlSetupWindow, ReturnConfirmsTheDefaultsAndThePictureMatches) {
    SdlDialog dialog;
    pushKey(SDLK_RETURN);
    SetupChoice choice;
    ASSERT_TRUE(runSetupWindow(dialog, kAdapters, choice)) << dialog.error();
    EXPECT_EQ(choice.adapter, 1);
    EXPECT_EQ(choice.mode, 4);  // the last 480-line mode
    EXPECT_EQ(dialog.clientWidth(), 254);
    EXPECT_EQ(dialog.clientHeight(), 125);
    comparePicture(dialog, "setup_window.png");
}

TEST_F(SdlSetupWindow, ClicksPickAnotherModeAndPressTheButton) {
    SdlDialog dialog;
    pushClick(100, 70, SDL_MOUSEBUTTONDOWN);  // opens the mode list
    pushKey(SDLK_DOWN);                       // 640x480x15 -> 800x600x15
    pushKey(SDLK_RETURN);                     // picks it, closes the list
    pushClick(100, 100, SDL_MOUSEBUTTONDOWN);
    pushClick(100, 100, SDL_MOUSEBUTTONUP);   // the button
    SetupChoice choice;
    ASSERT_TRUE(runSetupWindow(dialog, kAdapters, choice)) << dialog.error();
    EXPECT_EQ(choice.adapter, 1);
    EXPECT_EQ(choice.mode, 5);
}

TEST_F(SdlSetupWindow, NarrowModeIsRefusedAndTheWindowStays) {
    SdlDialog dialog;
    // Up four times from 640x480x15 reaches 320x200x16.
    for (int i = 0; i < 4; ++i) pushKey(SDLK_UP);
    pushKey(SDLK_RETURN);  // refused
    pushKey(SDLK_DOWN);    // 640x480x16
    pushKey(SDLK_RETURN);
    SetupChoice choice;
    testing::internal::CaptureStderr();
    ASSERT_TRUE(runSetupWindow(dialog, kAdapters, choice)) << dialog.error();
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_EQ(said, "No good man: This demo wants a resolution of at least 512x384!\n");
    EXPECT_EQ(choice.mode, 1);
}

TEST_F(SdlSetupWindow, OpenListPictureAndClosingTheWindowQuits) {
    SdlDialog dialog;
    pushClick(100, 70, SDL_MOUSEBUTTONDOWN);
    SDL_Event quit{};
    quit.type = SDL_QUIT;
    push(quit);
    SetupChoice choice;
    EXPECT_FALSE(runSetupWindow(dialog, kAdapters, choice));
    EXPECT_EQ(choice.adapter, -1);
    comparePicture(dialog, "setup_window_open.png");
}

TEST_F(SdlSetupWindow, MissingFontIsAClearError) {
    SdlDialog dialog("/nonexistent/font.ttf");
    SetupChoice choice;
    EXPECT_FALSE(runSetupWindow(dialog, kAdapters, choice));
    EXPECT_NE(dialog.error().find("/nonexistent/font.ttf"), std::string::npos) << dialog.error();
}

}  // namespace
}  // namespace zor
