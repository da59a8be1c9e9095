#include "preview/scene_stage.h"

#include <algorithm>
#include <limits>
#include <new>
#include <set>

#include "frame/frame_pass.h"
#include "object/object.h"
#include "scene/motion.h"
#include "scene/player_constants.h"
#include "scene/scene_reader.h"
#include "system/text.h"

namespace zor {

namespace {

// The stamp a file had when the load began, if it was watched then, else now.
FileStamp stampSeen(const std::filesystem::path& path, const FileStamps& before) {
    const auto it = before.find(path);
    return it != before.end() ? it->second : stampOf(path);
}

void addLookup(const DataLookup& lookup, const FileStamps& before, FileStamps& files) {
    files.emplace(lookup.diskPath, stampSeen(lookup.diskPath, before));
    if (!lookup.archivePath.empty()) files.emplace(lookup.archivePath, stampSeen(lookup.archivePath, before));
}

bool unchanged(const FileStamps& files) {
    return std::all_of(files.begin(), files.end(), [](const auto& f) { return stampOf(f.first) == f.second; });
}

}  // namespace

bool parsePictureSize(std::string_view text, std::uint32_t& width, std::uint32_t& height) {
    const std::size_t x = text.find('x');
    if (x == std::string_view::npos) return false;
    const auto number = [](std::string_view digits, std::uint32_t& value) {
        if (digits.empty() || digits.size() > 5) return false;
        std::uint32_t v = 0;
        for (char c : digits) {
            if (c < '0' || c > '9') return false;
            v = v * 10 + static_cast<std::uint32_t>(c - '0');
        }
        if (v < 1 || v > 8192) return false;
        value = v;
        return true;
    };
    std::uint32_t w = 0, h = 0;
    if (!number(text.substr(0, x), w) || !number(text.substr(x + 1), h)) return false;
    width = w;
    height = h;
    return true;
}

SetupWindowFunction fixedModeChoice(std::uint32_t width, std::uint32_t height, std::uint32_t bits,
                                    std::uint32_t samples) {
    return [=](const std::vector<DisplayAdapter>& adapters, DisplaySelection& selection) {
        if (adapters.empty()) return false;
        selection.selectedGuid = adapters[0].guid;
        SurfaceDesc& mode = selection.selectedMode;
        mode.flags = DDSD_WIDTH | DDSD_HEIGHT | DDSD_PIXELFORMAT;
        mode.width = width;
        mode.height = height;
        mode.pixelFormat = bits == 32 ? xrgb8888Format() : bits == 15 ? rgb555Format() : rgb565Format();
        mode.pixelFormat.rgbBitCount = bits;
        mode.multiSampleCount = samples;
        return true;
    };
}

SceneStage::SceneStage(DisplayLayer& layer, StageOptions options) : options_(std::move(options)), context_(layer) {
    context_.source.directory = options_.directory;
    context_.source.archiveName = options_.archiveName;
    context_.showMessage = [this](std::string_view caption, std::string_view text) {
        if (!shownMessages_.empty()) shownMessages_ += "; ";
        shownMessages_ += std::string(caption) + ": " + std::string(text);
    };
}

SceneStage::~SceneStage() = default;

bool SceneStage::start(void* window, std::string& error) {
    // The player's flags; a layer that may not take the screen stays windowed.
    if (!initDisplay(context_, window, kPlayerCooperativeFlags,
                     fixedModeChoice(options_.width, options_.height, options_.bits, options_.samples))) {
        error = "cannot bring up the display";
        if (!shownMessages_.empty()) error += ": " + shownMessages_;
        return false;
    }
    slots_ = initRenderer(kDeviceRendererMode, context_);
    if (!slots_) {
        error = "no renderer for mode 2";
        return false;
    }
    setupViewport(viewport_, 0, 0);
    for (int i = 0; i < 2; ++i) {
        clearTarget(context_);
        slots_->endFrame();
    }
    return true;
}

int SceneStage::loadTexture(std::string_view name, std::map<std::string, CachedTexture>& fresh, DataLookupLog& log,
                            const FileStamps& before, StageLoad& result) {
    const std::string key(name);
    if (const auto it = fresh.find(key); it != fresh.end()) return it->second.index;
    if (const auto it = textures_.find(key); it != textures_.end() && unchanged(it->second.files)) {
        const CachedTexture& cached = it->second;
        for (const Diagnostic& d : cached.findings) result.diagnostics.add(d);
        result.files.insert(cached.files.begin(), cached.files.end());
        fresh.emplace(key, cached);
        return cached.index;
    }
    // Decoded afresh. An older texture of the name stays for the scene still
    // shown, but no longer answers to the name (names never hold a zero byte).
    for (Texture& texture : context_.textures)
        if (texture.name == key) texture.name.insert(0, 1, '\0');
    const std::size_t firstLookup = log.lookups.size();
    const std::size_t firstFinding = result.diagnostics.items().size();
    CachedTexture entry;
    entry.index = slots_->loadTexture(name);
    for (std::size_t i = firstLookup; i < log.lookups.size(); ++i) addLookup(log.lookups[i], before, entry.files);
    // A file named like the image with "avi" for its last three characters
    // turns its mip levels off.
    if (key.size() >= 3) {
        const auto companion = options_.directory / pathFromUtf8(key.substr(0, key.size() - 3) + "avi");
        entry.files.emplace(companion, stampSeen(companion, before));
    }
    const auto& items = result.diagnostics.items();
    entry.findings.assign(items.begin() + static_cast<std::ptrdiff_t>(firstFinding), items.end());
    result.files.insert(entry.files.begin(), entry.files.end());
    return fresh.emplace(key, std::move(entry)).first->second.index;
}

void SceneStage::releaseUnused(const std::map<std::string, CachedTexture>& dropped,
                               const std::map<std::string, CachedTexture>& kept) {
    std::set<int> used;
    for (const auto& [name, texture] : kept) used.insert(texture.index);
    for (const auto& [name, texture] : dropped) {
        if (texture.index < 0 || used.count(texture.index) ||
            static_cast<std::size_t>(texture.index) >= context_.textures.size())
            continue;
        Texture& t = context_.textures[static_cast<std::size_t>(texture.index)];
        if (t.surface != SurfaceId::none) context_.layer.releaseSurface(t.surface);
        t.surface = SurfaceId::none;
        // Its texels no longer count against the scene's budget: a preview
        // that decodes an image again at every reload would otherwise run
        // out of it and refuse the image after some hundred reloads.
        context_.textureTexels -= std::min(context_.textureTexels, t.texels);
        t.texels = 0;
    }
}

StageLoad SceneStage::load() {
    StageLoad result;
    if (!slots_) {
        result.error = "the display is not up";
        return result;
    }
    const FileStamps before = stampAll({known_.begin(), known_.end()});
    // The logo, the scene, its objects and images all from one archive,
    // even when a writer replaces it meanwhile.
    const ArchiveCache::Hold oneArchive = context_.source.holdArchive();
    DataLookupLog log;
    context_.source.log = &log;
    context_.diagnostics = &result.diagnostics;

    Image logo;
    loadImageSurface(context_, logo, options_.logoName);

    std::map<std::string, CachedTexture> fresh;
    DataSource source = context_.source;
    ObjectLoader objects(
        source, [&](std::string_view name) { return loadTexture(name, fresh, log, before, result); },
        &result.diagnostics);
    SceneLoadContext load;
    load.source = source;
    load.diagnostics = &result.diagnostics;
    load.loadObject = [&objects](std::string& name, Mesh& mesh) { objects.loadObject(name, mesh); };
    SceneSourceLines lines;  // for the names of the nulls
    load.lines = &lines;
    auto candidate = std::make_unique<Scene>();
    try {
        result.sceneRead = readScene(*candidate, options_.sceneName, load);
    } catch (const std::bad_alloc&) {
        // The scene asked for more memory than there is: the one shown stays.
        result.diagnostics.error(options_.sceneName, 0, "out of memory while reading the scene and its objects");
        result.sceneRead = false;
    }
    if (context_.fatalError) {
        // The display refused to make a surface: this load cannot be shown.
        result.diagnostics.error(options_.sceneName, 0,
                                 context_.fatalError->caption + ": " + context_.fatalError->text);
        context_.fatalError.reset();
        result.sceneRead = false;
    }

    result.objects = objects.loads();
    context_.source.log = nullptr;
    context_.diagnostics = nullptr;
    for (const DataLookup& lookup : log.lookups) addLookup(lookup, before, result.files);
    for (const auto& [path, stamp] : result.files) known_.insert(path);
    const std::string unsettled = options_.settleMilliseconds ? unsettleChanging(result.files, options_.settleMilliseconds) : std::string();

    // Errors the shown scene already had (say, an archive that stays broken
    // while its files are read from the folder) do not hold a reload back.
    std::set<std::string> oldErrors;
    for (const Diagnostic& d : diagnostics_.items())
        if (d.severity == Severity::Error) oldErrors.insert(d.text());
    for (const Diagnostic& d : result.diagnostics.items()) {
        if (d.severity != Severity::Error) continue;
        if (!result.sceneRead || (scene_ && !oldErrors.count(d.text()))) {
            result.error = d.text();
            break;
        }
    }
    if (!result.sceneRead && result.error.empty()) result.error = options_.sceneName + ": the scene cannot be read";
    // A file caught while being written explains whatever else went wrong.
    if (!unsettled.empty()) result.error = unsettled;
    result.unsettled = !unsettled.empty();
    result.replaced = result.error.empty();

    if (result.replaced || !scene_) {
        // The logo goes with the scene; with no scene at all it shows anyway.
        if (logo_.surface != SurfaceId::none) context_.layer.releaseSurface(logo_.surface);
        logo_ = logo;
    } else if (logo.surface != SurfaceId::none) {
        context_.layer.releaseSurface(logo.surface);
    }
    if (result.replaced || !scene_) diagnostics_ = result.diagnostics;
    if (result.replaced) {
        releaseUnused(textures_, fresh);
        textures_ = std::move(fresh);
        scene_ = std::move(candidate);
        nullNames_ = std::move(lines.nullNames);
    } else {
        releaseUnused(fresh, textures_);
    }
    return result;
}

std::optional<CameraPlacement> SceneStage::cameraAt(float frame) {
    if (!scene_) return std::nullopt;
    evaluateMotion(scene_->camera.motion, frame);
    return cameraPlacementOf(scene_->camera.motion);
}

std::optional<std::size_t> SceneStage::objectNamed(std::string_view name) const {
    if (!scene_ || name.empty()) return std::nullopt;
    for (std::size_t i = 0; i < nullNames_.size() && i < scene_->objects.size(); ++i)
        if (nullNames_[i] == name) return i;
    for (std::size_t i = 0; i < scene_->objects.size(); ++i)
        if (scene_->objects[i].name == name) return i;
    return std::nullopt;
}

std::optional<std::array<float, 9>> SceneStage::motionAt(std::size_t object, float frame) {
    if (!scene_ || object >= scene_->objects.size()) return std::nullopt;
    Motion& motion = scene_->objects[object].motion;
    evaluateMotion(motion, frame);
    std::array<float, 9> values;
    std::copy(std::begin(motion.value), std::end(motion.value), values.begin());
    return values;
}

void SceneStage::drawFrame(std::int32_t frame) { drawFrameAt(static_cast<float>(frame)); }

void SceneStage::drawFrameAt(float frame) {
    if (options_.startFromBlack) clearTarget(context_);
    drawPass(*slots_, *this, scene_.get(), frame);
}

void SceneStage::drawScene(Scene& scene, float frame) { drawSceneFrame(scene, frame, viewport_, frame_, *slots_); }

void SceneStage::blitLogo() { zor::blitLogo(context_, logo_); }

void SceneStage::present() { slots_->endFrame(); }

}  // namespace zor
