// Device set-up on the scripted layer: step order, preferences and failures.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>

#include "display_test_support.h"

namespace zor {
namespace {

using test::chooseMode;
using test::scriptSimpleMachine;
using ::testing::ElementsAre;

struct DeviceRig {
    RecordingDisplayLayer layer;
    DisplayContext context{layer};
    std::vector<std::string> messages;
    std::vector<DisplayAdapter> shown;

    DeviceRig() {
        scriptSimpleMachine(layer);
        context.showMessage = [this](std::string_view caption, std::string_view text) {
            messages.push_back(std::string(caption) + "|" + std::string(text));
        };
    }
    bool run(std::uint32_t flags = 0x13, std::uint32_t bits = 16) {
        auto choose = chooseMode(640, 480, bits);
        return initDisplay(context, reinterpret_cast<void*>(0x1234), flags,
                           [&](const std::vector<DisplayAdapter>& adapters, DisplaySelection& selection) {
                               shown = adapters;
                               return choose(adapters, selection);
                           });
    }
    DeviceInfo hardware(const Guid& guid) {
        DeviceInfo d;
        d.guid = guid;
        d.devCaps = D3DDEVCAPS_HWRASTERIZATION;
        return d;
    }
};

TEST(InitDisplay, SoftwareMachineRunsEveryStepInOrder) {
    DeviceRig s;
    ASSERT_TRUE(s.run());
    const std::vector<std::string> expected = {
        "enumerateAdapters",
        "createDriver primary",
        "enumerateDisplayModes 1",
        "releaseDriver 1",
        "createDriver primary",
        "setCooperativeLevel 0x13",
        "setDisplayMode 640x480x16 0 0",
        "testCooperativeLevel",
        "createSurface primary flags=0x21 caps=0x2218 caps2=0x0 0x0 back=1 mips=0",
        "getAttachedSurface 0x2004",
        "queryDirect3D",
        "enumerateDevices",
        "createDevice RGB",
        "enumerateZBufferFormats RGB",
        "createSurface zbuffer flags=0x1007 caps=0x20800 caps2=0x0 640x480 back=0 mips=0",
        "addAttachedSurface",
        "releaseDevice 1",
        "createDevice RGB",
        "setRenderState ZENABLE 1",
        "setRenderState ZFUNC 4",
        "enumerateTextureFormats",
        "setViewport 0 0 640 480 0 1",
        "setTransform WORLD",
        "setTransform VIEW",
        "setTransform PROJECTION",
        "setTextureStageState 0 MAGFILTER 2",
        "setTextureStageState 0 MINFILTER 2",
        "setTextureStageState 0 MIPFILTER 3",
        "setTextureStageState 0 COLOROP 4",
        "setRenderState DITHERENABLE 1",
        "setRenderState LIGHTING 0",
        "setRenderState SPECULARENABLE 0",
        "setRenderState AMBIENT 0",
        "setZeroMaterial",
    };
    EXPECT_EQ(s.layer.calls, expected);
    EXPECT_EQ(s.context.state.window, reinterpret_cast<void*>(0x1234));
    EXPECT_EQ(s.context.state.deviceGuid, IID_IDirect3DRGBDevice);
    EXPECT_FALSE(s.context.state.hardwareDeviceFound);
    EXPECT_TRUE(s.context.state.texture16Found);
    EXPECT_EQ(s.context.source.archiveName, "zor.dat");
    // The view moves every vertex one unit away; the world starts as identity.
    Matrix view = identityMatrix();
    view[14] = 1;
    EXPECT_EQ(s.layer.transforms[TransformState::VIEW], view);
    EXPECT_EQ(s.layer.transforms[TransformState::WORLD], identityMatrix());
    EXPECT_TRUE(s.messages.empty());
}

TEST(InitDisplay, OnlyFifteenSixteenAndThirtyTwoBitModesAreListedAndTheSelectedGuidIsUsed) {
    DeviceRig s;
    ScriptedAdapter second;
    second.info.guid = Guid{{9, 9, 9}};
    second.info.description = "Second card";
    second.modes = {makeDisplayMode(800, 600, 24), makeDisplayMode(800, 600, 15), makeDisplayMode(1024, 768, 16)};
    ScriptedAdapter broken;
    broken.info.guid = Guid{{7}};
    broken.info.description = "Cannot open";
    broken.modes = {makeDisplayMode(640, 480, 16)};
    broken.createFails = true;
    s.layer.adapters.push_back(second);
    s.layer.adapters.push_back(broken);
    ASSERT_TRUE(initDisplay(s.context, nullptr, 0x13,
                            [&](const std::vector<DisplayAdapter>& adapters, DisplaySelection& selection) {
                                s.shown = adapters;
                                selection.selectedGuid = adapters[1].guid;
                                selection.selectedMode = adapters[1].modes[1];
                                return true;
                            }));
    ASSERT_EQ(s.shown.size(), 3u);
    EXPECT_FALSE(s.shown[0].guid.has_value());
    ASSERT_EQ(s.shown[0].modeCount(), 3);
    EXPECT_EQ(s.shown[0].modes[0].pixelFormat.rgbBitCount, 16u);
    EXPECT_EQ(s.shown[0].modes[1].pixelFormat.rgbBitCount, 15u);
    EXPECT_EQ(s.shown[0].modes[2].pixelFormat.rgbBitCount, 32u);
    // 24-bit modes are not offered.
    ASSERT_EQ(s.shown[1].modeCount(), 2);
    EXPECT_EQ(s.shown[1].modes[0].width, 800u);
    EXPECT_EQ(s.shown[1].modes[1].width, 1024u);
    EXPECT_EQ(s.shown[1].description, "Second card");
    // An adapter whose driver cannot be created is still listed, without modes.
    EXPECT_EQ(s.shown[2].modeCount(), 0);
    EXPECT_THAT(s.layer.callsStartingWith("createDriver"),
                ElementsAre("createDriver primary", "createDriver 09090900000000000000000000000000",
                            "createDriver 07000000000000000000000000000000",
                            "createDriver 09090900000000000000000000000000"));
    EXPECT_THAT(s.layer.callsStartingWith("setDisplayMode"), ElementsAre("setDisplayMode 1024x768x16 0 0"));
}

TEST(InitDisplay, LastHardwareDeviceWinsAndItsDepthBufferGoesToVideoMemory) {
    DeviceRig s;
    s.layer.devices = {s.layer.devices[0], s.hardware(IID_IDirect3DHALDevice), s.hardware(IID_IDirect3DTnLHalDevice)};
    ASSERT_TRUE(s.run());
    EXPECT_TRUE(s.context.state.hardwareDeviceFound);
    EXPECT_EQ(s.context.state.deviceGuid, IID_IDirect3DTnLHalDevice);
    EXPECT_THAT(s.layer.callsStartingWith("createDevice"),
                ElementsAre("createDevice HAL", "createDevice TnLHAL", "createDevice TnLHAL"));
    EXPECT_THAT(s.layer.callsStartingWith("enumerateZBufferFormats"),
                ElementsAre("enumerateZBufferFormats HAL", "enumerateZBufferFormats TnLHAL"));
    EXPECT_THAT(s.layer.callsStartingWith("createSurface zbuffer"),
                ElementsAre("createSurface zbuffer flags=0x1007 caps=0x24000 caps2=0x0 640x480 back=0 mips=0"));
}

TEST(InitDisplay, SoftwareFallsBackFromRgbToMmx) {
    DeviceRig s;
    s.layer.failing = {"createDevice:RGB"};
    ASSERT_TRUE(s.run());
    EXPECT_EQ(s.context.state.deviceGuid, IID_IDirect3DMMXDevice);
    s.layer.clearRecord();
    DeviceRig t;
    t.layer.failing = {"createDevice:RGB", "createDevice:MMX"};
    EXPECT_FALSE(t.run());
    EXPECT_TRUE(t.messages.empty());
}

struct DepthCase {
    std::vector<PixelFormat> formats;
    std::uint32_t chosen;
};

TEST(InitDisplay, DepthFormatPreference) {
    const std::vector<DepthCase> cases = {
        {{makeDepthFormat(24), makeDepthFormat(32)}, 32},
        {{makeDepthFormat(32), makeDepthFormat(16), makeDepthFormat(24)}, 16},
        {{makeDepthFormat(16, 8), makeDepthFormat(24)}, 24},  // stencil formats are never taken
        {{makeDepthFormat(32), makeDepthFormat(24)}, 32},
    };
    for (const auto& c : cases) {
        DeviceRig s;
        s.layer.zBufferFormats = c.formats;
        ASSERT_TRUE(s.run());
        EXPECT_EQ(s.context.state.zBufferDepth, c.chosen);
        EXPECT_EQ(s.context.state.zBufferFormat.zBufferBitDepth, c.chosen);
        EXPECT_EQ(s.context.state.zBufferFormat.flags, DDPF_ZBUFFER);
    }
}

TEST(InitDisplay, DepthFormatsAccumulateOverHardwareDevices) {
    // 32 bits from the first device is kept over 24 from the second.
    DeviceRig s;
    s.layer.devices = {s.hardware(IID_IDirect3DHALDevice), s.hardware(IID_IDirect3DTnLHalDevice)};
    s.layer.zBufferFormats = {makeDepthFormat(32), makeDepthFormat(24)};
    ASSERT_TRUE(s.run());
    EXPECT_EQ(s.context.state.zBufferDepth, 32u);
}

TEST(InitDisplay, FailuresWithTheirMessages) {
    {
        DeviceRig s;
        s.layer.zBufferFormats = {makeDepthFormat(16, 8)};
        EXPECT_FALSE(s.run());
        EXPECT_THAT(s.messages,
                    ElementsAre("ERROR!|This device doesn\xC2\xB4t support a Zbuff. Please try another device"));
        EXPECT_TRUE(s.layer.callsStartingWith("createSurface zbuffer").empty());
    }
    {
        DeviceRig s;
        s.layer.failing = {"createSurface:zbuffer"};
        EXPECT_FALSE(s.run());
        EXPECT_THAT(s.messages, ElementsAre("ERROR!|Couldn\xC2\xB4t create Zbuffert. Please try to choose a lower "
                                            "resolution."));
        EXPECT_EQ(s.layer.calls.back(), "releaseDriver 2");
    }
    {
        DeviceRig s;
        s.layer.textureFormats = {makeDisplayMode(1, 1, 32).pixelFormat};
        EXPECT_FALSE(s.run());
        EXPECT_THAT(s.messages,
                    ElementsAre("ERROR!|This device doesn\xC2\xB4t support 16bpp textures. Please try another device"));
        EXPECT_TRUE(s.layer.callsStartingWith("setViewport").empty());
    }
}

TEST(InitDisplay, FailingStepsStopWithoutABoxButSayWhatFailed) {
    const std::pair<const char*, const char*> steps[] = {
        // No adapter lists a mode then, so nothing can be chosen.
        {"createDriver", "no display adapter and mode were chosen in the set-up window"},
        {"setCooperativeLevel", "cannot take over the main window"},
        {"setDisplayMode", "cannot switch to the display mode 640x480x16"},
        {"testCooperativeLevel", "the display is not available"},
        {"createSurface:primary", "cannot create the 640x480x16 flip chain"},
        {"queryDirect3D", "no 3D device interface"},
        {"addAttachedSurface", "cannot attach the depth buffer"},
        {"enumerateTextureFormats", "cannot list the texture formats"},
        {"setViewport", "cannot set the viewport"}};
    for (const auto& [step, said] : steps) {
        DeviceRig s;
        s.layer.failing = {step};
        EXPECT_FALSE(s.run()) << step;
        EXPECT_TRUE(s.messages.empty()) << step;
        EXPECT_TRUE(s.layer.callsStartingWith("setZeroMaterial").empty()) << step;
        EXPECT_EQ(s.context.failure, said) << step;
    }
    DeviceRig quit;
    EXPECT_FALSE(initDisplay(quit.context, nullptr, 0x13,
                             [](const std::vector<DisplayAdapter>&, DisplaySelection&) { return false; }));
    EXPECT_EQ(quit.context.failure, "no display adapter and mode were chosen in the set-up window");
}

TEST(InitDisplay, NormalCooperativeLevelSkipsTheModeChange) {
    DeviceRig s;
    ASSERT_TRUE(s.run(0x08 | 0x02));
    EXPECT_TRUE(s.layer.callsStartingWith("setDisplayMode").empty());
    DeviceRig t;
    ASSERT_TRUE(t.run(0x13));
    EXPECT_EQ(t.layer.callsStartingWith("setDisplayMode").size(), 1u);
}

TEST(InitDisplay, QuitSetupWindowOrEmptyChoiceFails) {
    DeviceRig s;
    EXPECT_FALSE(initDisplay(s.context, nullptr, 0x13,
                             [](const std::vector<DisplayAdapter>&, DisplaySelection&) { return false; }));
    EXPECT_TRUE(s.layer.callsStartingWith("createSurface").empty());
    DeviceRig t;
    // Confirmed, but with no mode to copy (an adapter without modes).
    EXPECT_FALSE(initDisplay(t.context, nullptr, 0x13,
                             [](const std::vector<DisplayAdapter>&, DisplaySelection&) { return true; }));
    EXPECT_TRUE(t.layer.callsStartingWith("setCooperativeLevel").empty());
}

TEST(SetProjection, MatrixOfTheStandardFieldOfView) {
    const Matrix m = projectionMatrix(45, 34, 1, 100);
    // Worked by hand: 1 / tan(22.5 deg), 1 / tan(17 deg), 100 / 99.
    EXPECT_NEAR(m[0], 2.414216, 2e-5);
    EXPECT_NEAR(m[5], 3.270855, 2e-5);
    EXPECT_NEAR(m[10], 1.010101, 1e-6);
    EXPECT_EQ(m[11], 1.0f);
    EXPECT_NEAR(m[14], -1.010101, 1e-6);
    for (int i : {1, 2, 3, 4, 6, 7, 8, 9, 12, 13, 15}) EXPECT_EQ(m[i], 0.0f) << i;

    DeviceRig s;
    ASSERT_TRUE(s.run());
    EXPECT_EQ(s.layer.transforms[TransformState::PROJECTION], m);
}

TEST(CheckDirectDraw, ZeroPassesAndAFailureIsShownOnceAndRecordedAsFatal) {
    DeviceRig s;
    EXPECT_TRUE(checkDirectDraw(s.context, kOk));
    EXPECT_TRUE(s.messages.empty());
    EXPECT_FALSE(s.context.fatalError);
    EXPECT_FALSE(checkDirectDraw(s.context, kFailed));
    EXPECT_FALSE(checkDirectDraw(s.context, kFailed));
    EXPECT_THAT(s.messages, ElementsAre("ERROR!|DDraw error!"));
    ASSERT_TRUE(s.context.fatalError);
    EXPECT_EQ(s.context.fatalError->status, kDisplayFailureStatus);
    EXPECT_NE(kDisplayFailureStatus, 0);
}

}  // namespace
}  // namespace zor
