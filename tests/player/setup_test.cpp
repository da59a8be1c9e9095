// The set-up window's logic with a scripted user: layout, list texts,
// default selections, refusal of narrow modes, adapter change, empty mode
// lists and quitting.

#include <gtest/gtest.h>

#include "app/setup_window.h"
#include "support/scripted_dialog.h"

namespace zor {
namespace {

const SetupAdapter kPrimary{"Primary Display Driver", {{640, 480, 16}, {800, 600, 16}, {1024, 768, 16}}};
const SetupAdapter kCard{"Card B", {{320, 200, 16}, {640, 480, 16}, {800, 600, 16}, {640, 480, 15}}};
const SetupAdapter kWide{"Card C", {{800, 600, 15}, {512, 200, 16}, {1280, 1024, 16}}};
const SetupAdapter kEmpty{"No modes", {}};

std::vector<std::string> items(const ScriptedDialog& dialog, int id) {
    const DialogControl* control = dialog.controls().find(id);
    return control ? control->items : std::vector<std::string>{};
}

TEST(SetupWindow, WindowAndControlsAsLaidOut) {
    ScriptedDialog dialog(1025, 769);
    dialog.quit();
    SetupChoice choice;
    EXPECT_FALSE(runSetupWindow(dialog, {kPrimary}, choice));
    EXPECT_EQ(dialog.title(), "Setup");
    EXPECT_EQ(dialog.x(), 382);  // 1025 / 2 = 512 (truncated), - 130
    EXPECT_EQ(dialog.y(), 309);  // 769 / 2 = 384, - 75
    EXPECT_EQ(dialog.width(), 260);
    EXPECT_EQ(dialog.height(), 150);

    const auto& controls = dialog.controls().all();
    ASSERT_EQ(controls.size(), 5u);
    struct Expected {
        ControlKind kind;
        const char* text;
        int x, y, w, h, id;
    };
    const Expected expected[] = {
        {ControlKind::Button, "Let\xC2\xB4s go!!", 5, 90, 245, 30, 1024},
        {ControlKind::Label, "Choose videocard", 5, 5, 250, 15, 0},
        {ControlKind::DropDownList, "Cards", 5, 20, 245, 150, 2048},
        {ControlKind::Label, "Choose videomode", 5, 45, 250, 15, 0},
        {ControlKind::DropDownList, "Modes", 5, 60, 245, 150, 2049},
    };
    for (std::size_t i = 0; i < 5; ++i) {
        const ControlSpec& s = controls[i].spec;
        EXPECT_EQ(s.kind, expected[i].kind) << i;
        EXPECT_EQ(s.text, expected[i].text) << i;
        EXPECT_EQ(s.x, expected[i].x) << i;
        EXPECT_EQ(s.y, expected[i].y) << i;
        EXPECT_EQ(s.width, expected[i].w) << i;
        EXPECT_EQ(s.height, expected[i].h) << i;
        EXPECT_EQ(s.id, expected[i].id) << i;
    }
}

TEST(SetupWindow, ModeTextsAndTheLast480LineModePreselected) {
    ScriptedDialog dialog;
    dialog.quit();
    SetupChoice choice;
    runSetupWindow(dialog, {kCard}, choice);
    EXPECT_EQ(items(dialog, kAdapterListId), std::vector<std::string>{"Card B"});
    EXPECT_EQ(dialog.getCurSel(kAdapterListId), 0) << "a single adapter is preselected";
    EXPECT_EQ(items(dialog, kModeListId),
              (std::vector<std::string>{"320x200x16Bpp (Not supported)", "640x480x16Bpp", "800x600x16Bpp",
                                        "640x480x15Bpp"}));
    EXPECT_EQ(dialog.getCurSel(kModeListId), 3);
}

TEST(SetupWindow, WithoutA480LineModeTheFirstIsPreselected) {
    ScriptedDialog dialog;
    dialog.quit();
    SetupChoice choice;
    runSetupWindow(dialog, {kWide}, choice);
    EXPECT_EQ(dialog.getCurSel(kModeListId), 0);
    EXPECT_EQ(items(dialog, kModeListId)[1], "512x200x16Bpp");
}

TEST(SetupWindow, SecondOfSeveralAdaptersIsOfferedFirst) {
    ScriptedDialog dialog;
    dialog.press(kSetupButtonId);
    SetupChoice choice;
    ASSERT_TRUE(runSetupWindow(dialog, {kPrimary, kCard, kWide}, choice));
    EXPECT_EQ(items(dialog, kAdapterListId),
              (std::vector<std::string>{"Primary Display Driver", "Card B", "Card C"}));
    EXPECT_EQ(dialog.getCurSel(kAdapterListId), 1);
    EXPECT_EQ(items(dialog, kModeListId).size(), 4u);
    EXPECT_EQ(choice.adapter, 1);
    EXPECT_EQ(choice.mode, 3);
    EXPECT_TRUE(dialog.destroyed());
    EXPECT_TRUE(dialog.boxes().empty());
    // The same rule where no window can be shown.
    const SetupChoice unattended = defaultSetupChoice({kPrimary, kCard, kWide});
    EXPECT_EQ(unattended.adapter, 1);
    EXPECT_EQ(unattended.mode, 3);
    EXPECT_EQ(defaultSetupChoice({kWide}).mode, 0);
}

TEST(SetupWindow, NarrowModeRefusedThenAWideOneAccepted) {
    ScriptedDialog dialog;
    dialog.pick(kModeListId, 0);  // 320x200
    dialog.press(kSetupButtonId);
    dialog.idle();
    dialog.pick(kAdapterListId, 2);  // Card C
    dialog.pick(kModeListId, 1);     // 512x200: only the width counts
    dialog.press(kSetupButtonId);
    SetupChoice choice;
    ASSERT_TRUE(runSetupWindow(dialog, {kPrimary, kCard, kWide}, choice));
    ASSERT_EQ(dialog.boxes().size(), 1u);
    EXPECT_EQ(dialog.boxes()[0].caption, "No good man");
    EXPECT_EQ(dialog.boxes()[0].text, "This demo wants a resolution of at least 512x384!");
    EXPECT_EQ(choice.adapter, 2);
    EXPECT_EQ(choice.mode, 1);
}

TEST(SetupWindow, AdapterChangeEmptiesAndRefillsTheModeList) {
    ScriptedDialog dialog;
    dialog.pick(kModeListId, 2);
    dialog.pick(kAdapterListId, 0);
    dialog.quit();
    SetupChoice choice;
    EXPECT_FALSE(runSetupWindow(dialog, {kPrimary, kCard}, choice));
    EXPECT_EQ(dialog.resets(), 1);
    EXPECT_EQ(items(dialog, kModeListId),
              (std::vector<std::string>{"640x480x16Bpp", "800x600x16Bpp", "1024x768x16Bpp"}));
    EXPECT_EQ(dialog.getCurSel(kModeListId), 0) << "the new list gets its own default";
    EXPECT_EQ(choice.adapter, -1) << "quitting leaves no choice";
}

TEST(SetupWindow, ConfirmingAnEmptyModeListIsNotAccepted) {
    ScriptedDialog dialog;
    dialog.press(kSetupButtonId);
    dialog.pick(kAdapterListId, 0);
    dialog.press(kSetupButtonId);
    SetupChoice choice;
    ASSERT_TRUE(runSetupWindow(dialog, {kPrimary, kEmpty}, choice));
    EXPECT_TRUE(items(dialog, kModeListId).size() == 3u);
    ASSERT_EQ(dialog.boxes().size(), 1u);
    EXPECT_EQ(dialog.boxes()[0].caption, "No good man");
    EXPECT_EQ(choice.adapter, 0);
    EXPECT_EQ(choice.mode, 0);
}

TEST(SetupWindow, NoAdaptersAtAllCanOnlyBeQuit) {
    ScriptedDialog dialog;
    dialog.press(kSetupButtonId);
    SetupChoice choice;
    EXPECT_FALSE(runSetupWindow(dialog, {}, choice));  // the script ends: quit
    EXPECT_EQ(dialog.boxes().size(), 1u);
    EXPECT_EQ(dialog.getCurSel(kAdapterListId), kNoSelection);
}

TEST(SetupWindow, ModeTextFormats) {
    EXPECT_EQ(modeText({511, 384, 16}), "511x384x16Bpp (Not supported)");
    EXPECT_EQ(modeText({512, 384, 15}), "512x384x15Bpp");
    EXPECT_EQ(modeText({1920, 1080, 16}), "1920x1080x16Bpp");
}

}  // namespace
}  // namespace zor
