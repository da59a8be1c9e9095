// The preview's live reload on real files in a temporary folder: the sample
// demo's archive with a scene beside it that the test rewrites, drawn by
// OpenGL in a hidden window on SDL's offscreen driver, the clock and the
// keys scripted. A reload keeps the frame; a failed one keeps the last good
// scene on screen; a scene missing at the start is taken once it appears.

#include <gtest/gtest.h>

#include <chrono>
#include <climits>
#include <fstream>
#include <thread>
#include <sstream>

#include "preview/scene_stage.h"
#include "preview/scene_view.h"
#include "check/check.h"
#include "headless_player.h"
#include "platform/sdl/sdl_gl_host.h"
#include "render/gl_display_layer.h"
#include "support/scripted_window_system.h"
#include "test_support.h"

namespace zor {
namespace {

const std::filesystem::path kDemoDir = std::filesystem::path(ZOR_BINARY_DIR) / "demo";

struct ViewOnDisk : testing::Test {
    std::unique_ptr<test::ScratchDir> dir;
    std::string scene;
    ScriptedWindowSystem system;
    std::ostringstream log;
    std::unique_ptr<GlDisplayLayer> layer;
    std::unique_ptr<SceneStage> stage;
    std::unique_ptr<SceneView> view;
    std::function<ViewFindings()> check;
    std::uint32_t settleMilliseconds = 0;  // the stage's, as zor-view sets it

    void SetUp() override {
        test::useHeadlessSdl();
        ASSERT_TRUE(std::filesystem::exists(kDemoDir / "zor.dat")) << "build the zor_demo target first";
        dir = std::make_unique<test::ScratchDir>();
        std::filesystem::copy_file(kDemoDir / "zor.dat", dir->path() / "zor.dat");
        scene = test::sceneText(kDemoDir);
        ASSERT_FALSE(scene.empty());
    }
    void TearDown() override {
        view.reset();
        stage.reset();
        layer.reset();
    }

    void writeScene(int last) {
        std::ofstream(dir->path() / "edit.lws", std::ios::binary) << test::withFrameRange(scene, 0, last);
    }
    void open(std::optional<std::int32_t> startFrame) {
        const GlDisplayOptions hidden{false, false};
        layer = std::make_unique<GlDisplayLayer>(std::make_unique<SdlGlHost>(hidden), hidden);
        StageOptions options;
        options.directory = dir->path();
        options.sceneName = "edit.lws";
        options.width = 160;
        options.height = 120;
        options.settleMilliseconds = settleMilliseconds;
        stage = std::make_unique<SceneStage>(*layer, options);
        std::string error;
        ASSERT_TRUE(stage->start(nullptr, error)) << error << ": " << layer->error();
        ViewServices services{system, *stage, log};
        services.capture = [this](RgbPicture& p) { return layer->readFrontBuffer(p.pixels, p.width, p.height); };
        services.check = check;
        view = std::make_unique<SceneView>(services, ViewOptions{startFrame, WatchTiming{50, 1000}});
        system.setTime(1000);
        view->begin();
        ASSERT_TRUE(view->turn());
    }
    // Two polls of the watch: a change is seen, then found settled.
    void settle() {
        for (int i = 0; i < 2; ++i) {
            system.setTime(system.time() + 60);
            ASSERT_TRUE(view->turn());
        }
    }
    RgbPicture picture() {
        RgbPicture p;
        EXPECT_TRUE(layer->readFrontBuffer(p.pixels, p.width, p.height));
        return p;
    }
};

// The status line and W say what zor-inspect --check says, not what the
// load alone found.
TEST_F(ViewOnDisk, TheStatusLineCountsAndWListsTheCheckersFindings) {
    writeScene(60);
    DataSource source;
    source.directory = dir->path();
    source.archiveName = "zor.dat";
    const auto checked = [source] {  // as zor-view's
        ViewFindings found;
        for (const check::Finding& f : check::checkScene(source, "edit.lws"))
            found.add(f.severity == Severity::Error, f.format());
        return found;
    };
    const ViewFindings expected = checked();
    ASSERT_GT(expected.warnings, 0u);
    check = checked;
    open(0);
    EXPECT_NE(expected.warnings, stage->diagnostics().count(Severity::Warning));
    EXPECT_NE(view->status().find("  " + std::to_string(expected.warnings) + " warnings"), std::string::npos)
        << view->status();
    system.postMessage({MessageKind::KeyDown, 'W'});
    ASSERT_TRUE(view->turn());
    for (const std::string& line : expected.lines) EXPECT_NE(log.str().find(line), std::string::npos) << line;
    EXPECT_NE(view->status().find("B: back faces"), std::string::npos) << view->status();
    EXPECT_EQ(view->status().find("smooth"), std::string::npos) << view->status();
    system.postMessage({MessageKind::KeyDown, 'M'});
    ASSERT_TRUE(view->turn());
    EXPECT_NE(view->status().find("  smooth"), std::string::npos) << view->status();
}

TEST_F(ViewOnDisk, AReloadKeepsTheFrameAndAFailedOneKeepsTheLastGoodScene) {
    writeScene(600);
    open(300);
    const RgbPicture shown = picture();
    const auto lit = std::count_if(shown.pixels.begin(), shown.pixels.end(), [](std::uint8_t v) { return v > 16; });
    ASSERT_GT(lit, static_cast<long>(shown.pixels.size() / 10)) << "frame 300 of the demo is not black";

    writeScene(400);
    settle();
    EXPECT_EQ(view->reloads(), 1u);
    ASSERT_TRUE(stage->hasScene());
    EXPECT_EQ(stage->scene()->lastFrame, 400);
    EXPECT_EQ(view->transport().frame(system.time()), 300);
    EXPECT_NE(log.str().find("reloaded edit.lws"), std::string::npos) << log.str();

    std::filesystem::remove(dir->path() / "edit.lws");
    settle();
    EXPECT_EQ(view->reloads(), 2u);
    EXPECT_NE(view->loadError().find("edit.lws: scene not found"), std::string::npos) << view->loadError();
    EXPECT_NE(view->status().find("reload failed: edit.lws"), std::string::npos) << view->status();
    EXPECT_NE(log.str().find("reload failed, the last good scene stays"), std::string::npos) << log.str();
    ASSERT_TRUE(stage->hasScene());
    EXPECT_EQ(stage->scene()->lastFrame, 400);
    const RgbPicture kept = picture();
    EXPECT_EQ(kept.pixels, shown.pixels) << "the last good scene stays on screen";
    // Nothing is reloaded while nothing changes.
    settle();
    EXPECT_EQ(view->reloads(), 2u);
}

TEST_F(ViewOnDisk, ASceneMissingAtTheStartIsShownOnceItAppears) {
    open(10);
    EXPECT_FALSE(stage->hasScene());
    EXPECT_NE(view->status().find("edit.lws: scene not found"), std::string::npos) << view->status();
    writeScene(50);
    settle();
    ASSERT_TRUE(stage->hasScene());
    EXPECT_TRUE(view->loadError().empty()) << view->loadError();
    EXPECT_EQ(view->transport().frame(system.time()), 10);
}

// The transport moves over the frames the player shows: a range that ends at
// once for the player is one frame, and the log says why.
TEST_F(ViewOnDisk, ARangeThePlayerEndsAtOnceIsOneFrame) {
    std::ofstream(dir->path() / "edit.lws", std::ios::binary) << test::withFrameRange(scene, INT_MIN, INT_MAX);
    open(std::nullopt);
    ASSERT_TRUE(stage->hasScene());
    EXPECT_EQ(view->transport().first(), INT_MIN);
    EXPECT_EQ(view->transport().last(), INT_MIN);
    EXPECT_FALSE(view->transport().playing());
    EXPECT_NE(log.str().find("zor-view: the scene's range -2147483648 to 2147483647 ends at once for the player"),
              std::string::npos)
        << log.str();
}

// A scene written in place and caught half written is not taken: the last
// good scene stays, nothing is reported as failed (the file is being
// saved), and the whole file is taken once it has been still.
TEST_F(ViewOnDisk, AHalfWrittenSceneKeepsTheLastGoodOne) {
    settleMilliseconds = 100;
    writeScene(600);
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    open(300);
    ASSERT_TRUE(stage->hasScene());
    const std::string whole = test::withFrameRange(scene, 0, 400);
    std::ofstream(dir->path() / "edit.lws", std::ios::binary) << whole.substr(0, whole.size() / 3);
    EXPECT_FALSE(view->reload());
    EXPECT_TRUE(view->loadError().empty()) << view->loadError();
    EXPECT_EQ(log.str().find("reload failed"), std::string::npos) << log.str();
    EXPECT_EQ(stage->scene()->lastFrame, 600);

    std::ofstream(dir->path() / "edit.lws", std::ios::binary) << whole;
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    settle();
    EXPECT_TRUE(view->loadError().empty()) << view->loadError();
    EXPECT_EQ(stage->scene()->lastFrame, 400);
}

}  // namespace
}  // namespace zor
