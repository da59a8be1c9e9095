#include "preview/scene_view.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <ostream>
#include <system_error>

#include "preview/timeline.h"
#include "scene/player_constants.h"
#include "scene/timeline.h"
#include "system/disk_files.h"
#include "system/files.h"
#include "system/text.h"

namespace zor {

namespace {

// A paused picture is drawn again this often (a resized window shows it).
constexpr std::uint32_t kIdleRedraw = 100;
constexpr std::uint32_t kIdleSleep = 10;
constexpr std::uint32_t kNoteTime = 3000;
// Units an arrow or Page key moves the picked model (Shift: ten times).
constexpr float kModelStep = 0.5f;

std::string counted(std::size_t warnings, std::size_t errors);

// "3 warnings", "1 warning, 2 errors".
std::string findings(const Diagnostics& found) {
    return counted(found.count(Severity::Warning), found.count(Severity::Error));
}

std::string counted(std::size_t warnings, std::size_t errors) {
    std::string text = std::to_string(warnings) + (warnings == 1 ? " warning" : " warnings");
    if (errors) text += ", " + std::to_string(errors) + (errors == 1 ? " error" : " errors");
    return text;
}

std::string formatted(const char* format, double value) {
    char text[64];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

// The frames the transport moves over: those the player shows for the
// scene's range, by its end rule.
void setPlayerRange(Transport& transport, const Scene* scene, std::uint32_t now) {
    if (!scene) {
        transport.setRange(0, 0, now);
        return;
    }
    const ShownFrames shown = shownFrames(scene->firstFrame, scene->lastFrame);
    if (shown.endsAtOnce)
        transport.setRange(shown.frame(0), shown.frame(0), now);
    else if (shown.last < shown.first)  // a last frame read as 2^31 or more
        transport.setRange(shown.first, std::numeric_limits<std::int32_t>::max(), now);
    else
        transport.setRange(shown.first, shown.last, now);
}

// One line on what the player's end rule gives for the scene's range.
void sayRange(std::ostream& log, const Scene* scene) {
    if (scene) log << "zor-view: " << shownFrames(scene->firstFrame, scene->lastFrame).describe("the scene's range") << '\n';
}

}  // namespace

// The status lines: each painted once per change into a colour-keyed
// off-screen surface as wide as the picture and blitted over its bottom
// rows, the last line lowest.
class SceneView::Overlay {
public:
    explicit Overlay(TextPainter& painter) : painter_(painter) {}
    ~Overlay() = default;

    // The lines from `bottom` rows above the picture's bottom upwards.
    void draw(DisplayContext& context, const std::vector<std::string>& lines, std::ostream& log, int below) {
        const DisplayState& state = context.state;
        const int width = static_cast<int>(state.mode.width), height = static_cast<int>(state.mode.height);
        if (width <= 0 || height <= 0 || failed_) return;
        if (lines_.size() < lines.size()) lines_.resize(lines.size());
        int bottom = height - below;
        for (std::size_t i = lines.size(); i-- > 0 && bottom > 0;) {
            Line& line = lines_[i];
            if (lines[i] != line.text || line.surface == SurfaceId::none) {
                if (!paint(context, line, lines[i], width, height)) {
                    log << "zor-view: no status line: " << painter_.error() << '\n';
                    failed_ = true;
                    return;
                }
            }
            const int rows = std::min(line.rows, bottom);
            const Rect source{0, line.rows - rows, width, line.rows};
            const Rect destination{0, bottom - rows, width, bottom};
            context.layer.blt(state.backBuffer, &destination, line.surface, &source, DDBLT_KEYSRC | DDBLT_DONOTWAIT);
            bottom -= rows;
        }
    }

    // An opaque strip of width x rows RGB pixels over the picture's bottom rows.
    void drawStrip(DisplayContext& context, const std::vector<std::uint8_t>& rgb, int width, int rows) {
        const DisplayState& state = context.state;
        const int height = static_cast<int>(state.mode.height);
        if (width <= 0 || rows <= 0 || rows > height || stripFailed_) return;
        DisplayLayer& layer = context.layer;
        if (strip_ == SurfaceId::none || stripWidth_ != width || stripRows_ != rows) {
            if (strip_ != SurfaceId::none) layer.releaseSurface(strip_);
            strip_ = createOffscreenSurface(context, state.primary, width, rows);
            stripWidth_ = width;
            stripRows_ = rows;
        }
        PixelFormat format;
        void* bits = nullptr;
        std::int32_t pitch = 0;
        if (strip_ == SurfaceId::none || layer.getPixelFormat(strip_, format) != kOk ||
            layer.lock(strip_, DDLOCK_WAIT, bits, pitch) != kOk) {
            stripFailed_ = true;
            return;
        }
        // The conversion reads blue, green, red.
        bgr_.resize(rgb.size());
        for (std::size_t i = 0; i + 2 < rgb.size(); i += 3) {
            bgr_[i] = rgb[i + 2];
            bgr_[i + 1] = rgb[i + 1];
            bgr_[i + 2] = rgb[i];
        }
        convertPixels(prepareConversion(format), bgr_.data(), static_cast<std::uint8_t*>(bits), width, rows, 0, pitch);
        layer.unlock(strip_);
        const Rect source{0, 0, width, rows};
        const Rect destination{0, height - rows, width, height};
        layer.blt(state.backBuffer, &destination, strip_, &source, DDBLT_DONOTWAIT);
    }

    // Letters of the monospace font that fit across the picture.
    std::size_t columns(int width, int height) {
        if (columns_ == 0) {
            TextPicture one;
            const bool measured = painter_.paint("M", pixelSize(height), one) && one.width > 2;
            columns_ = measured ? static_cast<std::size_t>(std::max(8, (width - 2) / (one.width - 2))) : 40;
        }
        return columns_;
    }

private:
    struct Line {
        std::string text;
        SurfaceId surface = SurfaceId::none;
        int rows = 0;
    };

    static int pixelSize(int height) { return std::max(9, height / 32); }

    bool paint(DisplayContext& context, Line& line, const std::string& text, int width, int height) {
        TextPicture picture;
        if (!painter_.paint(text, pixelSize(height), picture)) return false;
        const int rows = std::min(picture.height, height);
        DisplayLayer& layer = context.layer;
        if (line.surface == SurfaceId::none || rows != line.rows) {
            if (line.surface != SurfaceId::none) layer.releaseSurface(line.surface);
            line.surface = createOffscreenSurface(context, context.state.primary, width, rows);
            line.rows = rows;
        }
        // Magenta wherever the text does not reach.
        std::vector<std::uint8_t> pixels(std::size_t(width) * rows * 3);
        for (std::size_t i = 0; i < pixels.size(); i += 3) {
            pixels[i] = 255;
            pixels[i + 1] = 0;
            pixels[i + 2] = 255;
        }
        const int copied = std::min(width, picture.width);
        for (int y = 0; y < rows; ++y)
            std::memcpy(&pixels[std::size_t(y) * width * 3], &picture.pixels[std::size_t(y) * picture.width * 3],
                        std::size_t(copied) * 3);
        PixelFormat format;
        void* bits = nullptr;
        std::int32_t pitch = 0;
        if (layer.getPixelFormat(line.surface, format) != kOk ||
            layer.lock(line.surface, DDLOCK_WAIT, bits, pitch) != kOk)
            return false;
        const ConversionParameters conversion = prepareConversion(format);
        convertPixels(conversion, pixels.data(), static_cast<std::uint8_t*>(bits), width, rows, 0, pitch);
        const std::uint32_t key = magentaKey(conversion);
        layer.setColorKey(line.surface, DDCKEY_SRCBLT, key, key);
        layer.unlock(line.surface);
        line.text = text;
        return true;
    }

    TextPainter& painter_;
    std::vector<Line> lines_;
    std::size_t columns_ = 0;
    bool failed_ = false;
    SurfaceId strip_ = SurfaceId::none;
    std::vector<std::uint8_t> bgr_;
    int stripWidth_ = 0, stripRows_ = 0;
    bool stripFailed_ = false;
};

namespace {

// Splits text into lines of at most `columns` characters, at blanks where
// it can; at most `limit` lines, the last one cut.
std::vector<std::string> wrapText(const std::string& text, std::size_t columns, std::size_t limit) {
    std::vector<std::string> lines;
    std::size_t at = 0;
    while (at < text.size() && lines.size() < limit) {
        std::size_t take = std::min(columns, text.size() - at);
        if (at + take < text.size()) {
            const std::size_t blank = text.rfind(' ', at + take);
            if (blank != std::string::npos && blank > at) take = blank - at;
        }
        lines.push_back(text.substr(at, take));
        at += take;
        while (at < text.size() && text[at] == ' ') ++at;
    }
    return lines;
}

}  // namespace

SceneView::SceneView(ViewServices services, ViewOptions options)
    : services_(std::move(services)),
      options_(options),
      transport_(services_.music),
      watch_(options.watch),
      smooth_(options.smooth) {
    if (services_.painter) overlay_ = std::make_unique<Overlay>(*services_.painter);
}

SceneView::~SceneView() = default;

void SceneView::takeWaveform() {
    if (!services_.waveform) return;
    const FileStamp music = stampOf(services_.stage.options().directory / kMusicFileName);
    if (music == musicStamp_ && !(music == FileStamp{})) return;
    musicStamp_ = music;
    waveform_ = music.exists ? services_.waveform() : std::vector<float>();
}

bool SceneView::showsTimeline() const {
    const bool bpm = services_.direction && services_.direction->beatsPerMinute();
    return !timelineHidden_ && (!waveform_.empty() || bpm);
}

int SceneView::timelineRows(int height) const { return showsTimeline() ? std::max(12, height / 10) : 0; }

void SceneView::begin() {
    const std::uint32_t now = services_.system.milliseconds();
    FileStamps directed;
    if (services_.direction) {
        DirectionBuild built = services_.direction->build();
        directed = std::move(built.files);
        if (!built.ok()) {
            loadError_ = built.unsettled ? services_.direction->name() + " is still being written" : built.error;
            services_.log << "zor-view: " << loadError_ << "; watching the files for a fix\n";
            watch_.watch(std::move(directed), now);
            startTransport(now);
            services_.log.flush();
            dirty_ = true;
            return;
        }
    }
    StageLoad load = services_.stage.load();
    load.diagnostics.print(services_.log);
    load.files.merge(directed);
    watch_.watch(std::move(load.files), now);
    loadError_ = load.error;
    if (load.replaced) runCheck();
    takeWaveform();
    if (!load.replaced) {
        services_.log << "zor-view: " << loadError_ << "; watching the files for a fix\n";
    }
    startTransport(now);
    services_.log.flush();
    dirty_ = true;
}

void SceneView::startTransport(std::uint32_t now) {
    const Scene* scene = services_.stage.scene();
    sayRange(services_.log, scene);
    setPlayerRange(transport_, scene, now);
    if (options_.startFrame) {
        transport_.seek(*options_.startFrame, now);
    } else {
        transport_.seek(transport_.first(), now);
        if (scene) transport_.play(now);
    }
}

bool SceneView::reload() {
    const std::uint32_t now = services_.system.milliseconds();
    const FileStamps previous = watch_.files();
    const bool hadScene = services_.stage.hasScene();
    const std::int32_t rangeFirst = hadScene ? services_.stage.scene()->firstFrame : 0;
    const std::int32_t rangeLast = hadScene ? services_.stage.scene()->lastFrame : 0;
    FileStamps directed;
    if (services_.direction) {
        // The recipe first: a bad one, or one still being written, leaves the
        // stage's folder and the scene shown as they are.
        DirectionBuild built = services_.direction->build();
        directed = std::move(built.files);
        if (!built.ok()) {
            ++reloads_;
            lastReloadTook_ = false;
            if (!built.unsettled) {
                loadError_ = built.error;
                const char* shown = hadScene ? "the last good scene stays" : "no scene";
                services_.log << "zor-view: reload failed, " << shown << ": " << loadError_ << '\n';
            }
            for (const auto& [path, stamp] : previous)
                if (!directed.count(path)) directed.emplace(path, stampOf(path));
            services_.log.flush();
            watch_.watch(std::move(directed), now);
            dirty_ = true;
            return false;
        }
        if (!picked_.empty()) {
            const std::vector<std::string> names = services_.direction->models();
            if (std::find(names.begin(), names.end(), picked_) == names.end()) picked_.clear();
        }
    }
    StageLoad load = services_.stage.load();
    ++reloads_;
    lastReloadTook_ = load.replaced;
    load.files.merge(directed);
    const std::string scene =
        services_.direction ? services_.direction->name() : services_.stage.options().sceneName;
    if (load.replaced) {
        loadError_.clear();
        runCheck();
        takeWaveform();
        if (checking_.valid()) {
            services_.log << "zor-view: reloaded " << scene << " (checking)\n";
        } else {
            const std::string found =
                findings_ ? counted(findings_->warnings, findings_->errors) : findings(load.diagnostics);
            const bool none = findings_ ? findings_->lines.empty() : load.diagnostics.empty();
            services_.log << "zor-view: reloaded " << scene << " (" << found << (none ? "" : "; W lists them") << ")\n";
        }
        if (hadScene) {
            const Scene* s = services_.stage.scene();
            if (s->firstFrame != rangeFirst || s->lastFrame != rangeLast) sayRange(services_.log, s);
            setPlayerRange(transport_, s, now);
        } else {
            startTransport(now);  // the first scene of the run
        }
    } else {
        // A file still being written is waited for (it is read again once
        // still), not reported as a failure.
        if (!load.unsettled) {
            loadError_ = load.error;
            const char* shown = services_.stage.hasScene() ? "the last good scene stays" : "no scene";
            services_.log << "zor-view: reload failed, " << shown << ": " << loadError_ << '\n';
        }
        // The files of the scene still shown are watched as well, as they are now.
        for (const auto& [path, stamp] : previous)
            if (!load.files.count(path)) load.files.emplace(path, stampOf(path));
    }
    services_.log.flush();
    watch_.watch(std::move(load.files), now);
    dirty_ = true;
    return load.replaced;
}

std::filesystem::path SceneView::saveFrame(std::string& error) {
    if (!services_.capture) {
        error = "this display cannot read its picture back";
        return {};
    }
    const std::uint32_t now = services_.system.milliseconds();
    const std::int32_t frame = transport_.frame(now);
    SceneStage& stage = services_.stage;
    stage.drawFrame(frame);
    stage.present();
    dirty_ = true;  // the next picture brings the status line back
    RgbPicture picture;
    if (!services_.capture(picture)) {
        error = "cannot read the picture back";
        return {};
    }
    const std::filesystem::path scenePath = !options_.savedBeside.empty()
                                                ? options_.savedBeside
                                                : stage.options().directory / pathFromUtf8(stage.options().sceneName);
    const std::filesystem::path folder = scenePath.parent_path();
    const std::string stem = utf8Of(scenePath.stem());
    std::vector<std::uint8_t> png;
    if (!encodePng(picture, png, error)) return {};
    char number[16];
    std::snprintf(number, sizeof number, "%05d", frame);
    for (int copy = 1; copy < 10000; ++copy) {
        const std::string name = stem + "-" + number + (copy > 1 ? "-" + std::to_string(copy) : "") + ".png";
        const auto target = folder / pathFromUtf8(name);
        WriteFailure failure;
        if (writeFileByRename(target, png, Replace::Never, failure)) return target;
        if (failure.exists()) continue;
        error = utf8Of(target) + ": " + failure.reason;
        return {};
    }
    error = "too many saved pictures of frame " + std::string(number) + " in " + utf8Of(folder);
    return {};
}

void SceneView::runCheck() {
    if (!services_.check) return;
    if (options_.checkAside) {
        // One check at a time: one still running looks at an older scene,
        // so the shown one is checked again when it ends.
        if (checking_.valid()) {
            checkStale_ = true;
            return;
        }
        try {
            checking_ = std::async(std::launch::async, services_.check);
            return;
        } catch (const std::system_error&) {
            // No thread to be had: the check runs here.
        }
    }
    findings_ = services_.check();
}

void SceneView::collectCheck() {
    if (!checking_.valid() || checking_.wait_for(std::chrono::seconds(0)) != std::future_status::ready) return;
    ViewFindings found = checking_.get();
    if (checkStale_) {
        checkStale_ = false;
        runCheck();
        return;
    }
    findings_ = std::move(found);
    dirty_ = true;
    const std::string scene =
        services_.direction ? services_.direction->name() : services_.stage.options().sceneName;
    services_.log << "zor-view: the check of " << scene << ": " << counted(findings_->warnings, findings_->errors)
                  << (findings_->lines.empty() ? "" : "; W lists them") << '\n';
    services_.log.flush();
}

void SceneView::listWarnings() {
    if (checking_.valid()) {
        services_.log << "zor-view: the check of the scene shown is still running; W again once it is done\n";
        services_.log.flush();
        return;
    }
    if (findings_) {
        services_.log << "zor-view: " << counted(findings_->warnings, findings_->errors) << " for "
                      << services_.stage.options().sceneName << ":\n";
        for (const std::string& line : findings_->lines) services_.log << line << '\n';
        services_.log.flush();
        return;
    }
    const Diagnostics& found = services_.stage.diagnostics();
    services_.log << "zor-view: " << findings(found) << " for " << services_.stage.options().sceneName << ":\n";
    found.print(services_.log);
    services_.log.flush();
}

void SceneView::say(const std::string& note, std::uint32_t now) {
    note_ = note;
    noteUntil_ = now + kNoteTime;
    services_.log << "zor-view: " << note << '\n';
    services_.log.flush();
    dirty_ = true;
}

void SceneView::startFreeLook(std::uint32_t now) {
    const std::optional<CameraPlacement> demo =
        services_.stage.cameraAt(static_cast<float>(transport_.position(now)));
    freeLook_.start(demo.value_or(CameraPlacement{}));
}

void SceneView::pickNextModel() {
    offset_ = {};
    const std::vector<std::string> names = services_.direction->models();
    auto next = std::find(names.begin(), names.end(), picked_);
    next = next == names.end() ? names.begin() : next + 1;
    picked_ = next == names.end() ? std::string() : *next;
}

void SceneView::direct(const std::function<DirectionWrite(ViewDirection&)>& write, std::uint32_t now) {
    if (!services_.direction) {
        say("keys are written into a recipe: zor-view RECIPE.toml", now);
        return;
    }
    const DirectionWrite done = write(*services_.direction);
    say(done.said, now);
    if (!done.written) return;
    offset_ = {};
    reload();
}

bool SceneView::key(const WindowMessage& message, std::uint32_t now) {
    const int k = message.key;
    ViewDirection* direction = services_.direction;
    if (message.ctrl && k == 'Z') {
        direct([](ViewDirection& d) { return d.takeBack(); }, now);
        return true;
    }
    // Fly keys, while the free look is on.
    if (freeLook_.on()) {
        const float step = FreeLook::kFlyStep * (message.shift ? FreeLook::kFastFactor : 1.0f);
        switch (k) {
        case 'W': freeLook_.move(0, 0, step); return true;
        case 'S': freeLook_.move(0, 0, -step); return true;
        case 'A': freeLook_.move(-step, 0, 0); return true;
        case 'D': freeLook_.move(step, 0, 0); return true;
        case 'E': freeLook_.move(0, step, 0); return true;
        case 'Q': freeLook_.move(0, -step, 0); return true;
        default: break;
        }
    }
    // The picked model's moves, in the world's axes.
    if (!picked_.empty()) {
        const float step = kModelStep * (message.shift ? FreeLook::kFastFactor : 1.0f);
        const int axis = k == kVirtualKeyLeft || k == kVirtualKeyRight       ? 0
                         : k == kVirtualKeyPageUp || k == kVirtualKeyPageDown ? 1
                         : k == kVirtualKeyUp || k == kVirtualKeyDown         ? 2
                                                                              : -1;
        if (axis >= 0) {
            const bool forward = k == kVirtualKeyRight || k == kVirtualKeyPageUp || k == kVirtualKeyUp;
            offset_[static_cast<std::size_t>(axis)] += forward ? step : -step;
            return true;
        }
    }
    const Scene* scene = services_.stage.scene();
    switch (k) {
    case 'C':
        if (freeLook_.on()) {
            freeLook_.stop();
            say("the demo's camera", now);
        }
        return true;
    case 'K': {
        const std::int32_t frame = shownFrame(now);
        if (!message.shift) {
            const std::optional<CameraPlacement> camera =
                freeLook_.on() ? std::optional<CameraPlacement>(freeLook_.placement())
                               : services_.stage.cameraAt(static_cast<float>(frame));
            if (!camera) return true;
            direct([&](ViewDirection& d) { return d.writeCameraKey(frame, *camera); }, now);
            return true;
        }
        if (picked_.empty()) {
            say(direction ? "Tab picks a model first; Shift+K writes its key" : "no recipe: no models to pick", now);
            return true;
        }
        const std::optional<std::size_t> object = services_.stage.objectNamed(picked_);
        const auto motion = object ? services_.stage.motionAt(*object, static_cast<float>(frame)) : std::nullopt;
        if (!motion) {
            say("model " + picked_ + " is not in the scene shown", now);
            return true;
        }
        const Vec3 position{(*motion)[0] + offset_[0], (*motion)[1] + offset_[1], (*motion)[2] + offset_[2]};
        const std::string model = picked_;
        direct([&](ViewDirection& d) { return d.writeModelKey(model, frame, position); }, now);
        return true;
    }
    case 'T':
        timelineHidden_ = !timelineHidden_;
        return true;
    case kVirtualKeyTab:
        if (!direction) say("no recipe: no models to pick", now);
        else pickNextModel();
        return true;
    case kVirtualKeyOpenBracket:
    case kVirtualKeyCloseBracket: {
        if (!scene) return true;
        const std::int32_t frame = shownFrame(now);
        const bool first = k == kVirtualKeyOpenBracket;
        direct([&](ViewDirection& d) {
            return first ? d.writeRange(frame, std::nullopt) : d.writeRange(std::nullopt, frame);
        }, now);
        return true;
    }
    case kVirtualKeyComma:
    case kVirtualKeyPeriod: {
        const std::optional<double> bpm = direction ? direction->beatsPerMinute() : std::nullopt;
        if (!bpm) {
            say("no beats: \",\" and \".\" step by the recipe's bpm", now);
            return true;
        }
        transport_.seek(beatFrameBeside(shownFrame(now), *bpm, k == kVirtualKeyPeriod ? 1 : -1), now);
        return true;
    }
    default: return command(viewCommandForKey(k), now);
    }
}

void SceneView::mouse(const WindowMessage& message, std::uint32_t now) {
    switch (message.kind) {
    case MessageKind::LeftButtonDown:
        dragging_ = true;
        break;
    case MessageKind::MouseMove:
        if (!(message.buttons & kLeftButton)) {
            dragging_ = false;
        } else if (dragging_ && (message.x != pointerX_ || message.y != pointerY_)) {
            if (!freeLook_.on()) startFreeLook(now);
            freeLook_.turn(message.x - pointerX_, message.y - pointerY_);
            dirty_ = true;
        } else {
            dragging_ = true;
        }
        break;
    case MessageKind::MouseWheel:
        if (!freeLook_.on()) startFreeLook(now);
        freeLook_.move(0, 0,
                       static_cast<float>(message.wheel) * FreeLook::kWheelStep *
                           (message.shift ? FreeLook::kFastFactor : 1.0f));
        dirty_ = true;
        return;
    default: return;
    }
    pointerX_ = message.x;
    pointerY_ = message.y;
}

void SceneView::placeOverrides() {
    FrameOverrides overrides;
    if (freeLook_.on()) overrides.camera = freeLook_.placement();
    if (!picked_.empty() && offset_ != Vec3{}) {
        overrides.movedObject = services_.stage.objectNamed(picked_);
        overrides.offset = offset_;
    }
    services_.stage.setOverrides(overrides);
}

bool SceneView::command(ViewCommand command, std::uint32_t now) {
    if (applyTransportCommand(transport_, command, now)) return true;
    switch (command) {
    case ViewCommand::Quit: return false;
    case ViewCommand::Reload: reload(); break;
    case ViewCommand::ListWarnings: listWarnings(); break;
    case ViewCommand::SmoothMotion:
        smooth_ = !smooth_;
        dirty_ = true;
        break;
    case ViewCommand::BackFaces: {
        bool& shown = services_.stage.context().showBackFaces;
        shown = !shown;
        dirty_ = true;
        break;
    }
    case ViewCommand::FullScreen:
        if (services_.setFullScreen && services_.setFullScreen(!fullScreen_)) fullScreen_ = !fullScreen_;
        break;
    case ViewCommand::SaveFrame: {
        std::string error;
        const auto path = saveFrame(error);
        note_ = path.empty() ? "not saved: " + error : "saved " + utf8Of(path.filename());
        noteUntil_ = now + kNoteTime;
        services_.log << "zor-view: " << (path.empty() ? "frame not saved: " + error : "saved " + utf8Of(path))
                      << '\n';
        services_.log.flush();
        break;
    }
    default: break;
    }
    return true;
}

std::string SceneView::statusLine(std::uint32_t now) {
    const double position = transport_.position(now);
    std::string line = "frame " + std::to_string(static_cast<std::int32_t>(std::floor(position))) + "  " +
                       formatted("%.2f s", transport_.secondsAt(position)) + "  ";
    line += transport_.playing() ? formatted("%.1f fps", rate_) : std::string("paused");
    line += "  speed " + formatted("%g", transport_.speed()) + "x";
    line += "  " + (checking_.valid() ? std::string("checking")
                    : findings_       ? counted(findings_->warnings, findings_->errors)
                                      : findings(services_.stage.diagnostics()));
    line += services_.stage.context().showBackFaces ? "  B: back faces magenta" : "  B: back faces";
    if (smooth_) line += "  smooth";
    return line;
}

std::string SceneView::directionLine(std::uint32_t now) {
    std::string line;
    const auto add = [&line](const std::string& part) { line += (line.empty() ? "" : "  ") + part; };
    if (freeLook_.on()) add("free look (C: the demo's camera)");
    if (!picked_.empty()) {
        std::string model = "model " + picked_;
        const std::optional<std::size_t> object = services_.stage.objectNamed(picked_);
        if (const auto motion = object ? services_.stage.motionAt(*object, static_cast<float>(shownFrame(now)))
                                       : std::nullopt) {
            const float* v = motion->data();
            model += " at " + formatted("(%.3g, ", v[0] + offset_[0]) + formatted("%.3g, ", v[1] + offset_[1]) +
                     formatted("%.3g)", v[2] + offset_[2]);
        }
        add(model + (offset_ != Vec3{} ? " moved (Shift+K writes its key)" : ""));
    }
    if (!note_.empty() && static_cast<std::int32_t>(noteUntil_ - now) > 0) add(note_);
    return line;
}

void SceneView::draw(std::uint32_t now) {
    SceneStage& stage = services_.stage;
    placeOverrides();
    if (smooth_) stage.drawFrameAt(static_cast<float>(transport_.position(now)));
    else stage.drawFrame(transport_.frame(now));
    // A load error goes above the status line, wrapped to the picture.
    std::vector<std::string> lines;
    if (!loadError_.empty()) {
        const std::string error = (stage.hasScene() ? "reload failed: " : "") + loadError_;
        const DisplayState& state = stage.context().state;
        const std::size_t columns =
            overlay_ ? overlay_->columns(static_cast<int>(state.mode.width), static_cast<int>(state.mode.height))
                     : error.size();
        lines = wrapText(error, columns, 4);
    }
    if (std::string line = directionLine(now); !line.empty()) lines.push_back(std::move(line));
    lines.push_back(statusLine(now));
    status_.clear();
    for (const std::string& line : lines) status_ += (status_.empty() ? "" : "\n") + line;
    if (overlay_) {
        const DisplayState& state = stage.context().state;
        const int width = static_cast<int>(state.mode.width), rows = timelineRows(static_cast<int>(state.mode.height));
        if (rows > 0) {
            TimelineMarks marks;
            marks.first = transport_.first();
            marks.last = transport_.last();
            marks.position = transport_.position(now);
            if (services_.direction) marks.bpm = services_.direction->beatsPerMinute();
            paintTimeline(strip_, width, rows, waveform_, marks);
            overlay_->drawStrip(stage.context(), strip_, width, rows);
        }
        overlay_->draw(stage.context(), lines, services_.log, rows);
    }
    stage.present();
    lastDraw_ = now;
    dirty_ = false;
    if (!transport_.playing()) {
        rateCount_ = 0;
        rateStart_ = now;
        return;
    }
    ++rateCount_;
    const std::uint32_t span = now - rateStart_;
    if (span >= 500) {
        rate_ = rateCount_ * 1000.0 / span;
        rateCount_ = 0;
        rateStart_ = now;
    }
}

bool SceneView::turn() {
    WindowSystem& system = services_.system;
    const std::uint32_t now = system.milliseconds();
    if (services_.stopRequested && services_.stopRequested()) return false;
    WindowMessage message;
    while (system.peekMessage(message)) {
        if (message.kind == MessageKind::Quit || message.kind == MessageKind::Destroy) return false;
        if (message.kind != MessageKind::KeyDown) {
            mouse(message, now);
            continue;
        }
        if (!key(message, now)) return false;
        dirty_ = true;
    }
    if (watch_.due(now)) reload();
    collectCheck();
    const bool moving = transport_.playing();
    if (moving || dirty_ || static_cast<std::uint32_t>(now - lastDraw_) >= kIdleRedraw) {
        draw(now);
    } else if (services_.sleep) {
        services_.sleep(kIdleSleep);
    }
    return true;
}

int SceneView::run() {
    begin();
    while (turn()) {
    }
    return 0;
}

}  // namespace zor
