// The preview's live reload on real files in a temporary folder: the sample
// demo's archive with a scene beside it that the test rewrites, drawn by
// OpenGL in a hidden window on SDL's offscreen driver, the clock and the
// keys scripted. A reload keeps the frame; a failed one keeps the last good
// scene on screen; a scene missing at the start is taken once it appears.
// With a recipe: the directing keys change exactly the lines of their keys
// and Ctrl+Z takes each write back; a recipe rewritten in pieces never shows
// a torn scene; "," and "." land on the beat frames.

#include <gtest/gtest.h>

#include <chrono>
#include <climits>
#include <fstream>
#include <thread>
#include <sstream>

#include "preview/recipe_direction.h"
#include "preview/scene_stage.h"
#include "preview/scene_view.h"
#include "scene/timeline.h"
#include "check/check.h"
#include "child_process.h"
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

// A recipe of one small model, built into a folder of its own by the
// direction zor-view uses, paused on a frame.
struct RecipeView : testing::Test {
    std::unique_ptr<test::ScratchDir> dir;
    ScriptedWindowSystem system;
    std::ostringstream log;
    std::unique_ptr<GlDisplayLayer> layer;
    std::unique_ptr<SceneStage> stage;
    std::unique_ptr<RecipeDirection> direction;
    std::unique_ptr<SceneView> view;
    std::uint32_t settleMilliseconds = 0;  // the direction's

    static std::string recipe(const std::string& length) {
        return "# a box before the camera\n"
               "length = \"" + length + "\"\n"
               "bpm = 100\n"
               "\n"
               "[camera]\n"
               "[[camera.key]]\n"
               "time = \"1s\"  # frame 30\n"
               "position = [0, 2, -8]\n"
               "look_at = [0, 0, 0]\n"
               "\n"
               "[[model]]\n"
               "file = \"" + std::string(ZOR_CORPUS_DIR) + "/assimp-models/BoxTextured.glb\"\n"
               "name = \"Box\"\n"
               "scale = 2\n";
    }

    void SetUp() override {
        test::useHeadlessSdl();
        dir = std::make_unique<test::ScratchDir>();
        std::filesystem::create_directories(dir->path() / "built");
    }
    void TearDown() override {
        view.reset();
        stage.reset();
        direction.reset();
        layer.reset();
    }
    void write(const std::string& text) const { dir->write("edit.toml", text); }
    std::string text() const { return test::readText(dir->path() / "edit.toml"); }
    void open(std::int32_t startFrame) {
        const GlDisplayOptions hidden{false, false};
        layer = std::make_unique<GlDisplayLayer>(std::make_unique<SdlGlHost>(hidden), hidden);
        StageOptions options;
        options.directory = dir->path() / "built";
        options.width = 160;
        options.height = 120;
        stage = std::make_unique<SceneStage>(*layer, options);
        std::string error;
        ASSERT_TRUE(stage->start(nullptr, error)) << error << ": " << layer->error();
        direction = std::make_unique<RecipeDirection>(
            RecipeDirectionOptions{dir->path() / "edit.toml", dir->path() / "built", settleMilliseconds, &log});
        ViewServices services{system, *stage, log};
        services.direction = direction.get();
        view = std::make_unique<SceneView>(services, ViewOptions{startFrame, WatchTiming{50, 1000}});
        system.setTime(1000);
        view->begin();
        ASSERT_TRUE(view->turn());
        ASSERT_TRUE(stage->hasScene()) << view->status() << "\n" << log.str();
    }
    void press(int key, bool shift = false, bool ctrl = false) {
        WindowMessage message{MessageKind::KeyDown, key};
        message.shift = shift;
        message.ctrl = ctrl;
        system.postMessage(message);
        ASSERT_TRUE(view->turn());
    }
    void settle() {
        for (int i = 0; i < 2; ++i) {
            system.setTime(system.time() + 60);
            ASSERT_TRUE(view->turn());
        }
    }
    std::int32_t frame() { return view->transport().frame(system.time()); }
};

// Each write adds or replaces the lines of its key and nothing else, is
// built and shown at once, and Ctrl+Z takes the writes back one by one.
TEST_F(RecipeView, ShiftKBracketsAndCtrlZChangeExactlyTheirLines) {
    const std::string original = recipe("4s");
    write(original);
    open(30);

    press(kVirtualKeyTab);
    EXPECT_EQ(view->pickedModel(), "Box");
    press(kVirtualKeyRight);
    press(kVirtualKeyRight);
    press(kVirtualKeyPageUp, true);  // Shift: ten steps up
    EXPECT_EQ(frame(), 30) << "the arrows move the picked model, not the frame";
    press('K', true);
    const std::string keyed = original + "[[model.key]]\ntime = \"30f\"\nposition = [1, 5, 0]\n";
    EXPECT_EQ(text(), keyed) << log.str();
    EXPECT_NE(view->status().find("key of model Box at frame 30 written"), std::string::npos) << view->status();
    // Built and shown: the model's root stands where the key puts it.
    const auto box = stage->objectNamed("Box");
    ASSERT_TRUE(box);
    const auto motion = stage->motionAt(*box, 30);
    ASSERT_TRUE(motion);
    EXPECT_FLOAT_EQ((*motion)[0], 1);
    EXPECT_FLOAT_EQ((*motion)[1], 5);

    press(kVirtualKeyOpenBracket);  // the start at the shown frame
    std::string started = keyed;
    started.insert(started.find("bpm = 100\n") + 10, "start = \"30f\"\n");
    EXPECT_EQ(text(), started) << log.str();
    EXPECT_EQ(stage->scene()->firstFrame, 30);

    press(kVirtualKeyTab);  // past the last model: none picked, the arrows step again
    EXPECT_EQ(view->pickedModel(), "");
    press(kVirtualKeyRight);
    ASSERT_EQ(frame(), 31);
    press(kVirtualKeyCloseBracket);
    std::string ended = started;
    ended.replace(ended.find("length = \"4s\""), 13, "length = \"31f\"");
    EXPECT_EQ(text(), ended);
    EXPECT_EQ(stage->scene()->lastFrame, 31);
    EXPECT_EQ(frame(), 31) << "the frame is kept across the rebuild";

    press('Z', false, true);
    EXPECT_EQ(text(), started);
    press('Z', false, true);
    EXPECT_EQ(text(), keyed);
    press('Z', false, true);
    EXPECT_EQ(text(), original);
    EXPECT_EQ(stage->scene()->firstFrame, 0);
    press('Z', false, true);
    EXPECT_EQ(text(), original);
    EXPECT_NE(view->status().find("nothing to take back"), std::string::npos) << view->status();
}

// A recipe written in two pieces: caught half written it is waited for, not
// reported; once it has been still (the writer stalled) its error is shown
// with its line and the last good scene stays; the whole recipe is shown at
// the same frame.
TEST_F(RecipeView, ARecipeRewrittenInPiecesNeverShowsATornScene) {
    settleMilliseconds = 100;
    write(recipe("4s"));
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    open(30);
    const Scene* good = stage->scene();
    ASSERT_EQ(good->lastFrame, frameAtSeconds(4));

    const std::string whole = recipe("3s");
    const std::size_t cut = whole.find("look_at = [0,") + 13;  // inside an array
    write(whole.substr(0, cut));
    EXPECT_FALSE(view->reload());
    EXPECT_TRUE(view->loadError().empty()) << view->loadError();
    EXPECT_EQ(log.str().find("reload failed"), std::string::npos) << log.str();

    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    settle();
    const int line = static_cast<int>(std::count(whole.begin(), whole.begin() + static_cast<long>(cut), '\n')) + 1;
    const std::string where = (dir->path() / "edit.toml").string() + ":" + std::to_string(line) + ":";
    EXPECT_EQ(view->loadError().rfind(where, 0), 0u) << view->loadError();
    EXPECT_NE(view->status().find("reload failed: " + where), std::string::npos) << view->status();
    EXPECT_EQ(stage->scene(), good) << "the last good scene stays";
    EXPECT_EQ(frame(), 30);

    write(whole);
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    settle();
    EXPECT_TRUE(view->loadError().empty()) << view->loadError();
    EXPECT_EQ(stage->scene()->lastFrame, frameAtSeconds(3));
    EXPECT_EQ(frame(), 30) << "the frame is kept across the rebuild";
}

// "." and "," step to the next and the previous beat's frame, as the
// recipe's beat times count them.
TEST_F(RecipeView, BeatStepsLandOnTheBeatFrames) {
    write(recipe("4s"));
    open(0);
    const auto beat = [](int n) { return frameAtSeconds(n * 60.0 / 100); };
    for (int n = 1; n <= 4; ++n) {
        press(kVirtualKeyPeriod);
        EXPECT_EQ(frame(), beat(n)) << "beat " << n;
    }
    press(kVirtualKeyComma);
    EXPECT_EQ(frame(), beat(3));
    view->transport().seek(beat(2) + 1, system.time());
    press(kVirtualKeyComma);
    EXPECT_EQ(frame(), beat(2));
    press(kVirtualKeyPeriod);
    EXPECT_EQ(frame(), beat(3));
}

}  // namespace
}  // namespace zor
