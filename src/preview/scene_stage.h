#pragma once
// The player's picture for tools: the display in a mode of a given size (no
// set-up window), the renderer, the logo and the scene, loaded exactly as the
// player loads them (each file from the folder first, then the archive), and
// drawn one frame at a time with the player's pass (depth clear, particle
// size, frame pass, logo, flip).
//
// Loading again is safe at any time: the scene and the logo shown are
// replaced only when the new ones were read; otherwise they stay, with their
// textures. Textures whose files did not change since they were loaded are
// kept rather than decoded again. Every load reports which files it looked
// at, found or not, so a caller can watch them.
//
// Works over any DisplayLayer; nothing here knows OpenGL or SDL.

#include <array>
#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "preview/file_watch.h"
#include "frame/pass.h"
#include "archive/diagnostics.h"
#include "object/object.h"
#include "display/display.h"
#include "frame/camera.h"
#include "frame/render_slots.h"
#include "frame/transform.h"
#include "scene/player_constants.h"
#include "scene/scene.h"

namespace zor {

struct StageOptions {
    std::filesystem::path directory = ".";  // the scene's folder
    std::string archiveName = kArchiveFileName;  // relative names are inside directory
    std::string sceneName = kSceneFileName;
    std::string logoName = kLogoFileName;
    std::uint32_t width = 640;
    std::uint32_t height = 480;
    std::uint32_t bits = 16;     // 16 (5-6-5), 15 (5-5-5) or 32 (true colour)
    std::uint32_t samples = 0;   // multisampling asked of the mode; 0 or 1: none
    // Each pass starts from black, so a frame looks the same whatever was
    // shown before it. False: the player's own pass, where what a frame
    // leaves uncovered shows the picture of two flips before.
    bool startFromBlack = true;
    // For a caller that reloads while an author edits (zor-view): above 0, a
    // load is refused when a file it read changed during the load or was
    // written less than this many milliseconds before the load ended, since
    // a file written in place may be only partly there. Its stamp is then
    // recorded as unknown, so a watch of the files loads again once they are
    // still. 0: files are taken as read.
    std::uint32_t settleMilliseconds = 0;
};

// "WxH" with both sides from 1 to 8192; false for anything else.
bool parsePictureSize(std::string_view text, std::uint32_t& width, std::uint32_t& height);

// The set-up choice of a tool: the first adapter, a mode of exactly this
// size and depth (the picture is drawn off-screen, so any size will do),
// multisampled when `samples` is above 1.
SetupWindowFunction fixedModeChoice(std::uint32_t width, std::uint32_t height, std::uint32_t bits,
                                    std::uint32_t samples = 0);

struct StageLoad {
    bool sceneRead = false;  // the scene file was found and parsed
    bool replaced = false;   // the new scene is the one shown now
    std::string error;       // why it was not taken; empty when it was
    // Not taken only because a file was still being written: it is read
    // again once still, and nothing has gone wrong.
    bool unsettled = false;
    Diagnostics diagnostics; // everything this load found
    ObjectLoads objects;     // what became of the scene's objects
    FileStamps files;        // what it looked at, with the stamps it saw
};

class SceneStage : private PassTarget {
public:
    SceneStage(DisplayLayer& layer, StageOptions options);
    ~SceneStage();
    SceneStage(const SceneStage&) = delete;
    SceneStage& operator=(const SceneStage&) = delete;

    // Display, renderer, viewport and two black frames, as the player brings
    // them up; `window` is the native window to draw in (or null). False with
    // error set when the display cannot be had.
    bool start(void* window, std::string& error);

    // After start(): reads the logo and the scene. The new scene replaces
    // the shown one when it was read and brought no error that the shown one
    // did not have (the first scene is taken whenever it was read).
    StageLoad load();

    bool hasScene() const { return scene_ != nullptr; }
    const Scene* scene() const { return scene_.get(); }
    // What the load of the shown scene found (with no scene shown: the last
    // attempt's findings).
    const Diagnostics& diagnostics() const { return diagnostics_; }
    const StageOptions& options() const { return options_; }
    DisplayContext& context() { return context_; }
    RenderSlots& slots() { return *slots_; }

    // What the preview puts in place of the scene's own placements in every
    // pass from now on (a free look, a model being moved); kept across loads.
    void setOverrides(const FrameOverrides& overrides) { frame_.overrides = overrides; }
    const FrameOverrides& overrides() const { return frame_.overrides; }
    // The shown scene's camera as its motion places it at `frame`.
    std::optional<CameraPlacement> cameraAt(float frame);
    // The shown scene's object of that name: a null's name as written after
    // AddNullObject first, else a loaded object's stored name; none when no
    // object has it.
    std::optional<std::size_t> objectNamed(std::string_view name) const;
    // An object's motion at `frame`: position, heading, pitch, bank, scale.
    std::optional<std::array<float, 9>> motionAt(std::size_t object, float frame);

    // One pass up to the flip: black (see startFromBlack), then the
    // player's pass (drawPass) with the shown scene, if any.
    void drawFrame(std::int32_t frame);
    // The same at a fractional frame (smooth motion).
    void drawFrameAt(float frame);
    // The flip.
    void present();

private:
    void drawScene(Scene& scene, float frame) override;
    void blitLogo() override;

    struct CachedTexture {
        int index = -1;
        FileStamps files;
        std::vector<Diagnostic> findings;  // repeated when the texture is reused
    };
    int loadTexture(std::string_view name, std::map<std::string, CachedTexture>& fresh, DataLookupLog& log,
                    const FileStamps& before, StageLoad& result);
    // Releases the textures of `dropped` that `kept` does not use.
    void releaseUnused(const std::map<std::string, CachedTexture>& dropped,
                       const std::map<std::string, CachedTexture>& kept);

    StageOptions options_;
    DisplayContext context_;
    std::unique_ptr<RenderSlots> slots_;
    Viewport viewport_;
    FrameContext frame_;
    Image logo_;
    std::unique_ptr<Scene> scene_;
    std::vector<std::string> nullNames_;  // of the shown scene's objects, as SceneSourceLines has them
    Diagnostics diagnostics_;
    std::map<std::string, CachedTexture> textures_;  // of the shown scene, by name
    std::set<std::filesystem::path> known_;          // every file of the loads so far
    std::string shownMessages_;                      // message boxes during start()
};

}  // namespace zor
