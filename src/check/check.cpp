// The checker loads the scene once, through readScene with the player's
// object loader and a texture loader that reads and decodes each image the
// way the player's does, and keeps every diagnostic together with the scene
// line that named its file. Then it evaluates the scene at frames spread
// over the range, with the same frame code the player draws with, to see
// which objects ever come within the view and which lights ever shine.

#include "check/check.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <limits>
#include <map>
#include <ostream>

#include "display/display.h"
#include "frame/frame_pass.h"
#include "frame/transform.h"
#include "object/object.h"
#include "check/picture_check.h"
#include "scene/decimal.h"
#include "scene/motion.h"
#include "scene/player_constants.h"
#include "scene/scene_reader.h"
#include "scene/timeline.h"
#include "system/text.h"

namespace zor::check {
namespace {

std::string quoted(std::string_view name) { return "\"" + std::string(name) + "\""; }

std::string distance(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", value);
    return text;
}

bool startsWith(std::span<const std::uint8_t> bytes, std::initializer_list<std::uint8_t> prefix) {
    return bytes.size() >= prefix.size() && std::equal(prefix.begin(), prefix.end(), bytes.begin());
}

// What kind of image the bytes are, when they are a kind authors meet and
// not a JPEG; empty otherwise.
std::string imageKind(std::span<const std::uint8_t> bytes) {
    if (startsWith(bytes, {0x89, 'P', 'N', 'G'})) return "a PNG image";
    if (startsWith(bytes, {'G', 'I', 'F', '8'})) return "a GIF image";
    if (startsWith(bytes, {'B', 'M'})) return "a BMP image";
    if (startsWith(bytes, {'I', 'I', 0x2A, 0}) || startsWith(bytes, {'M', 'M', 0, 0x2A})) return "a TIFF image";
    constexpr std::string_view kTargaFooter = "TRUEVISION-XFILE.";
    if (bytes.size() >= kTargaFooter.size() + 1 &&
        std::equal(kTargaFooter.begin(), kTargaFooter.end(), bytes.end() - kTargaFooter.size() - 1))
        return "a Targa image";
    if (!startsWith(bytes, {0xFF, 0xD8})) return "not an image the player knows (no JPEG marker FF D8 at its start)";
    return {};
}

// Authors reach for these, and the player passes over them.
std::string skippedHint(std::string_view keyword) {
    if (keyword == "TargetObject") return "; the camera is not aimed at targets: give it heading and pitch keys";
    if (keyword == "LightConeAngle" || keyword == "LightEdgeAngle")
        return "; the spot cone is fixed (full within 15 degrees of its axis, none beyond about 50)";
    return {};
}

// Camera-space depths the fixed view draws: the view transform moves every
// point kViewOffset further away before the near and far planes apply.
constexpr float kViewNearest = kNearPlane - kViewOffset;
constexpr float kViewFarthest = kFarPlane - kViewOffset;

// A share of the screen as a whole percentage, at least 1.
std::string percent(double share) { return std::to_string(std::max(1, static_cast<int>(std::lround(share * 100)))) + "%"; }

// The blank-separated tokens of one line.
std::vector<std::string_view> lineTokens(std::string_view line) {
    std::vector<std::string_view> tokens;
    std::size_t at = 0;
    while (at < line.size()) {
        while (at < line.size() && std::isspace(static_cast<unsigned char>(line[at]))) ++at;
        const std::size_t start = at;
        while (at < line.size() && !std::isspace(static_cast<unsigned char>(line[at]))) ++at;
        if (at > start) tokens.push_back(line.substr(start, at - start));
    }
    return tokens;
}

std::string times(int count) { return count > 1 ? " (" + std::to_string(count) + " times; first here)" : ""; }

class SceneChecker {
public:
    bool sceneRead() const { return sceneRead_; }
    const Scene& scene() const { return scene_; }

    SceneChecker(const DataSource& source, std::string_view sceneName)
        : source_(source),
          sceneName_(sceneName),
          loader_(source, [this](std::string_view name) { return loadTexture(name); }, &diagnostics_) {}

    std::vector<Finding> run();

private:
    void add(Severity severity, std::string file, int line, std::string text) {
        findings_.push_back({severity, std::move(file), line, std::move(text)});
    }
    // At the scene line that named the file being loaded.
    void addHere(Severity severity, std::string text) {
        add(severity, diagnostics_.namedBy(), diagnostics_.namedByLine(), std::move(text));
    }
    void checkArchiveName(std::string_view name, const std::string& file, int line);
    std::string whereLooked() const;
    bool exists(std::string_view name) const { return readDataFile(source_, name).has_value(); }

    void loadObject(std::string& name, Mesh& mesh);
    int loadTexture(std::string_view name);
    int checkImage(std::string_view name);

    void reportReaderDiagnostics();
    void reportKeywords();
    void reportReadNotes();
    void checkLogo();
    bool reportFrameRange();
    void evaluateFrames(bool emptyRange);
    void checkPicture(const std::vector<float>& frames, const std::string& sampled);
    // "object 2 (Ship.lwo)": numbered from 1 as the scene counts, nulls by
    // the name written after AddNullObject.
    std::string objectLabel(std::size_t index) const;
    bool hasChildren(std::size_t index) const;
    std::string_view lineText(int line) const;

    DataSource source_;
    std::string sceneName_;
    Diagnostics diagnostics_;
    ObjectLoader loader_;
    Scene scene_;
    bool sceneRead_ = false;
    SceneSourceLines lines_;
    std::vector<std::string_view> textLines_;  // of sceneText_, from line 1
    Bytes sceneText_;
    std::vector<Finding> findings_;
    std::vector<bool> reported_;  // per diagnostic: already turned into a finding
    std::string currentObject_;
    std::map<std::string, int, std::less<>> images_;  // each name checked once: its index or -1
    int nextTexture_ = 0;
};

std::string SceneChecker::whereLooked() const {
    const std::filesystem::path archive = source_.archivePath();
    std::error_code error;
    return " (looked in " + utf8Of(source_.directory) +
           (std::filesystem::exists(archive, error) ? ", then in the archive " + utf8Of(archive)
                                                    : "; there is no archive " + utf8Of(archive)) +
           ")";
}

void SceneChecker::checkArchiveName(std::string_view name, const std::string& file, int line) {
    if (name.size() <= static_cast<std::size_t>(kMaxEntryNameLength)) return;
    add(Severity::Error, file, line,
        "the name " + quoted(name) + " is " + std::to_string(name.size()) + " bytes long; names in the archive hold at most " +
            std::to_string(kMaxEntryNameLength) + ", so it cannot be packed");
}

void SceneChecker::loadObject(std::string& name, Mesh& mesh) {
    const std::string asked = name;
    const std::size_t before = diagnostics_.items().size();
    currentObject_ = asked;
    loader_.loadObject(name, mesh);
    checkArchiveName(asked, diagnostics_.namedBy(), diagnostics_.namedByLine());
    if (name != asked && exists(name)) checkArchiveName(name, diagnostics_.namedBy(), diagnostics_.namedByLine());

    // What the loader said. An object that came back empty shows nothing, so
    // what emptied it is an error.
    const bool empty = mesh.pointCount == 0 && mesh.polygonCount == 0;
    const bool missing = empty && !exists(asked) && !exists(name);
    reported_.resize(diagnostics_.items().size(), false);
    for (std::size_t i = before; i < diagnostics_.items().size(); ++i) {
        const Diagnostic& d = diagnostics_.items()[i];
        reported_[i] = true;
        std::string text = (d.file.empty() ? asked : d.file) + ": " + d.message;
        if (missing) text += whereLooked();
        add(empty || d.severity == Severity::Error ? Severity::Error : Severity::Warning, d.namedBy, d.namedByLine,
            std::move(text));
    }
}

int SceneChecker::loadTexture(std::string_view name) {
    if (const auto found = images_.find(name); found != images_.end()) return found->second;
    const int index = checkImage(name);
    images_.emplace(std::string(name), index);
    return index;
}

int SceneChecker::checkImage(std::string_view name) {
    if (name.empty()) {
        addHere(Severity::Error, "object " + currentObject_ + ": an image path ends in a backslash and names no file");
        return -1;
    }
    const std::string image = "image " + std::string(name) + " (named by " + currentObject_ + ")";
    checkArchiveName(name, diagnostics_.namedBy(), diagnostics_.namedByLine());
    Diagnostics local;
    const std::optional<Bytes> bytes = readDataFile(source_, name, &local);
    if (!bytes) {
        std::string text = image + " not found" + whereLooked();
        for (const Diagnostic& d : local.items()) text += "; " + d.message;
        addHere(Severity::Error, std::move(text));
        return -1;
    }
    const std::optional<DecodedImage> decoded = decodeJpeg(*bytes, name, &local);
    if (!decoded) {
        const std::string kind = imageKind(*bytes);
        std::string text = image;
        if (kind.empty()) {
            for (const Diagnostic& d : local.items()) text += ": " + d.message;
        } else {
            text += " is " + kind + ", not a JPEG; the player reads JPEG images only";
        }
        addHere(Severity::Error, std::move(text));
        return -1;
    }
    for (const Diagnostic& d : local.items()) addHere(Severity::Warning, image + ": " + d.message);
    return nextTexture_++;
}

std::string SceneChecker::objectLabel(std::size_t index) const {
    const std::string& name = index < lines_.nullNames.size() && !lines_.nullNames[index].empty()
                                  ? lines_.nullNames[index]
                                  : scene_.objects[index].name;
    return "object " + std::to_string(index + 1) + " (" + name + ")";
}

bool SceneChecker::hasChildren(std::size_t index) const {
    return std::any_of(scene_.objects.begin(), scene_.objects.end(),
                       [&](const SceneObject& o) { return o.parent == &scene_.objects[index]; });
}

std::string_view SceneChecker::lineText(int line) const {
    return line >= 1 && static_cast<std::size_t>(line) <= textLines_.size() ? textLines_[line - 1] : std::string_view{};
}

// Numbers the reader took otherwise than an author would read them. The
// player's reading stays as it is; this says what it makes of the text.
void SceneChecker::reportReadNotes() {
    const ReadNotes& notes = lines_.reads;
    // Lines of the blocks found shifted: a whole number read in part there
    // ("0.0" taken for a frame) follows from the shift, not from the text.
    std::vector<std::pair<int, int>> shifted;
    for (const ReadNotes::Block& block : notes.blocks) {
        const std::string what = block.envelope ? "envelope" : "motion";
        if (block.envelope && block.channels > 1)
            add(Severity::Warning, sceneName_, block.line,
                "envelope with " + std::to_string(block.channels) +
                    " channels: an envelope has 1, and the player uses only the first value of each key");
        if (!block.envelope && block.channels >= 1 && block.channels < 9)
            add(Severity::Warning, sceneName_, block.line,
                "motion with " + std::to_string(block.channels) +
                    " channels where an item has 9 (x y z, heading pitch bank, scale x y z): the others stay 0, "
                    "and a scale of 0 flattens the item to nothing");
        for (std::size_t k = 0; k < block.keys.size(); ++k) {
            const ReadNotes::Key& key = block.keys[k];
            const bool valuesOnOneLine = key.firstValueLine != 0 && key.firstValueLine == key.lastValueLine;
            const bool splineOnOneLine = key.firstSplineLine != 0 && key.firstSplineLine == key.lastSplineLine;
            // Values then the frame line, or the whole key alone on one line.
            if (valuesOnOneLine && splineOnOneLine &&
                (key.firstSplineLine > key.lastValueLine ||
                 (key.firstSplineLine == key.lastValueLine &&
                  lineTokens(lineText(key.firstValueLine)).size() == static_cast<std::size_t>(block.channels) + 5)))
                continue;
            const int line = key.firstValueLine ? key.firstValueLine : block.line;
            const std::size_t values = lineTokens(lineText(line)).size();
            const std::string keyName = what + " key " + std::to_string(k + 1) + " of " +
                                        std::to_string(block.keys.size()) + " (block on line " +
                                        std::to_string(block.line) + ")";
            std::string text;
            if (values != static_cast<std::size_t>(block.channels)) {
                text = keyName + " has " + std::to_string(values) + (values == 1 ? " value" : " values") +
                       " on its line where the block has " + std::to_string(block.channels) +
                       " channels: the player reads " + std::to_string(block.channels) +
                       " numbers across the lines, so this key's frame and spline values";
                text += k + 1 < block.keys.size() ? " and every key after it are shifted" : " are shifted";
            } else {
                const int splineLine = key.firstSplineLine ? key.firstSplineLine : line + 1;
                text = keyName + ": its frame line " + std::to_string(splineLine) + " has " +
                       std::to_string(lineTokens(lineText(splineLine)).size()) +
                       " numbers where 5 belong (frame, linear, tension, continuity, bias): the player reads 5 "
                       "across the lines, so ";
                text += k + 1 < block.keys.size() ? "every key after it is shifted" : "what follows it is shifted";
            }
            add(Severity::Warning, sceneName_, line, std::move(text));
            const ReadNotes::Key& last = block.keys.back();
            shifted.emplace_back(line, std::max({last.lastSplineLine, last.lastValueLine, line}));
            break;  // the keys after it are shifted anyway
        }
    }
    for (const ReadNotes::PartNumber& part : notes.partNumbers) {
        double whole = 0;
        const bool number = parseDecimal(part.token, whole);
        if (number && std::any_of(shifted.begin(), shifted.end(), [&](const std::pair<int, int>& lines) {
                return part.line >= lines.first && part.line <= lines.second;
            }))
            continue;
        const std::vector<std::string_view> tokens = lineTokens(lineText(part.line));
        std::string text = part.token;
        if (!tokens.empty() && tokens.front() != part.token) text = std::string(tokens.front()) + " " + text;
        const std::string rest = quoted(std::string_view(part.token).substr(part.read.size()));
        text += ": read as " + part.read;
        text += part.restReadAsNumber ? ", and " + rest + " as the next number, so the numbers after it are shifted"
                                      : "; the rest (" + rest + ") is ignored";
        add(Severity::Warning, sceneName_, part.line, std::move(text));
    }
}

// The logo, as the player and zor-render load it: a warning, as they only
// go without it.
void SceneChecker::checkLogo() {
    Diagnostics local;
    const std::optional<Bytes> bytes = readDataFile(source_, kLogoFileName, &local);
    std::string text;
    if (!bytes) {
        text = "image not found on disk or in the archive" + whereLooked();
    } else if (const std::optional<DecodedImage> logo = decodeJpeg(*bytes, kLogoFileName, &local); !logo) {
        const std::string kind = imageKind(*bytes);
        text = kind.empty() ? "cannot decode the image" : "is " + kind + ", not a JPEG";
    } else if (logo->width < kLogoSide || logo->height < kLogoSide) {
        text = "is " + std::to_string(logo->width) + " x " + std::to_string(logo->height) + " pixels; the player blits a " +
               std::to_string(kLogoSide) + " x " + std::to_string(kLogoSide) + " corner of it, which a smaller image " +
               "does not hold";
    } else {
        return;
    }
    for (const Diagnostic& d : local.items()) text += "; " + d.message;
    add(Severity::Warning, kLogoFileName, 0, text + ": the player shows no logo in the top-left corner");
}

// The frame pass at the checked frames through counting slots: where the
// screen is left uncovered after something was drawn there (the player does
// not clear between frames), and objects whose polygons all turn their backs
// to the camera.
void SceneChecker::checkPicture(const std::vector<float>& frames, const std::string& sampled) {
    CoverageSlots slots(scene_);
    Viewport viewport;
    setupViewport(viewport, 0, 0);
    FrameContext context;
    std::vector<bool> drawnBefore(static_cast<std::size_t>(kGridColumns) * kGridRows, false);
    struct Stale {
        float first = 0, last = 0, worstFrame = 0;
        double worst = 0;
    };
    std::vector<Stale> stale;
    bool inRun = false;
    constexpr double kLeastShare = 0.01;  // smaller gaps are edges between polygons
    // Per tree of objects (by its topmost object): whether it drew on the
    // screen, whether it was nearest anywhere, and who was nearest where it
    // drew.
    const std::size_t count = scene_.objects.size();
    std::vector<std::size_t> root(count);
    for (std::size_t i = 0; i < count; ++i) {
        const SceneObject* top = &scene_.objects[i];
        for (std::size_t guard = 0; top->parent && guard < count; ++guard) top = top->parent;
        root[i] = static_cast<std::size_t>(top - scene_.objects.data());
    }
    std::vector<bool> drew(count, false), nearest(count, false);
    std::vector<std::map<std::size_t, std::uint64_t>> hiders(count);
    for (float frame : frames) {
        slots.clearCells();
        slots.coverLogo();
        drawSceneFrame(scene_, frame, viewport, context, slots);
        for (int owner : slots.owners())
            if (owner >= 0 && static_cast<std::size_t>(owner) < count) nearest[root[owner]] = true;
        for (std::size_t i = 0; i < count && i < slots.drawnCells().size(); ++i)
            for (std::uint16_t cell : slots.drawnCells()[i]) {
                drew[root[i]] = true;
                const int owner = slots.owners()[cell];
                if (owner >= 0 && root[owner] != root[i]) ++hiders[root[i]][root[owner]];
            }
        std::size_t uncovered = 0;
        for (std::size_t c = 0; c < drawnBefore.size(); ++c) {
            if (drawnBefore[c] && !slots.cells()[c]) ++uncovered;
            if (slots.cells()[c]) drawnBefore[c] = true;
        }
        const double share = static_cast<double>(uncovered) / static_cast<double>(drawnBefore.size());
        if (share < kLeastShare) {
            inRun = false;
            continue;
        }
        if (!inRun) stale.push_back({frame, frame, frame, share});
        inRun = true;
        Stale& run = stale.back();
        run.last = frame;
        if (share > run.worst) run.worst = share, run.worstFrame = frame;
    }
    const auto frameText = [](float f) { return std::to_string(static_cast<std::int64_t>(f)); };
    for (const Stale& run : stale) {
        add(Severity::Warning, sceneName_, 0,
            std::string(run.first == run.last ? "at frame " + frameText(run.first)
                                              : "at frames " + frameText(run.first) + " to " + frameText(run.last)) +
                " up to " + percent(run.worst) + " of the screen (at frame " + frameText(run.worstFrame) +
                ") is drawn over by nothing after earlier frames drew there: the player does not clear the screen "
                "between frames, so older pictures show through and moving objects leave copies; cover the whole "
                "view (a backdrop or sky whose front faces the camera)");
    }
    // A tree that drew and was nearest nowhere, in any frame: hidden.
    for (std::size_t i = 0; i < count; ++i) {
        if (!drew[i] || nearest[i] || hiders[i].empty()) continue;
        const auto most = std::max_element(hiders[i].begin(), hiders[i].end(),
                                           [](const auto& a, const auto& b) { return a.second < b.second; });
        add(Severity::Warning, sceneName_, i < lines_.objects.size() ? lines_.objects[i] : 0,
            objectLabel(i) + (root[i] == i && hasChildren(i) ? " and the objects below it are" : " is") +
                " hidden behind " + objectLabel(most->first) + (hiders[i].size() > 1 ? " and others" : "") + " " +
                sampled + ": nothing of it reaches the screen; move it, or the camera");
    }
    for (std::size_t i = 0; i < scene_.objects.size(); ++i) {
        const CoverageSlots::Facing& facing = slots.facing()[i];
        if (facing.front > 0 || facing.back == 0) continue;
        add(Severity::Warning, sceneName_, i < lines_.objects.size() ? lines_.objects[i] : 0,
            objectLabel(i) + " is seen only from the back " + sampled +
                ": the player draws a polygon from its front only, the side from which its points run clockwise, "
                "and culls the rest; reverse the order of the polygons' points (flip them in the modeller) or "
                "make the surface double-sided");
    }
}

void SceneChecker::reportReaderDiagnostics() {
    reported_.resize(diagnostics_.items().size(), false);
    for (std::size_t i = 0; i < diagnostics_.items().size(); ++i) {
        if (reported_[i]) continue;
        const Diagnostic& d = diagnostics_.items()[i];
        if (!d.namedBy.empty() && d.namedBy != d.file) {
            add(d.severity, d.namedBy, d.namedByLine, d.file + ": " + d.message);
        } else {
            add(d.severity, d.file.empty() ? sceneName_ : d.file, d.line, d.message);
        }
    }
}

void SceneChecker::reportKeywords() {
    // The player's clock turns one second into this many frames, whatever
    // the scene asks for, and draws whichever frame the clock has reached.
    const float playerRate = sceneTime(1000, 0.0f);
    if (lines_.framesPerSecond && std::fabs(scene_.framesPerSecond - playerRate) > 0.05f)
        add(Severity::Warning, sceneName_, lines_.framesPerSecond,
            "FramesPerSecond " + distance(scene_.framesPerSecond) + " is read but has no effect: the player plays " +
                distance(playerRate) + " frames a second");
    if (lines_.frameStep && scene_.frameStep != 1)
        add(Severity::Warning, sceneName_, lines_.frameStep,
            "PreviewFrameStep " + std::to_string(scene_.frameStep) +
                " is read but has no effect: the player shows whichever frame its clock has reached");
    for (const SceneSourceLines::Keyword& k : lines_.unused) {
        std::string text = k.keyword + " is read but has no effect on the picture";
        if (k.keyword == "ZoomFactor")
            text += ": the view is fixed at " + std::to_string(static_cast<int>(kFieldOfViewX)) + " x " +
                    std::to_string(static_cast<int>(kFieldOfViewY)) + " degrees";
        add(Severity::Warning, sceneName_, k.line, text + times(k.count));
    }
    for (const SceneSourceLines::Keyword& k : lines_.skipped) {
        if (k.keyword == "LWSC" && k.line == 1) continue;  // the file's magic, not a keyword
        add(Severity::Warning, sceneName_, k.line,
            k.keyword + " is skipped by the player" + skippedHint(k.keyword) + times(k.count));
    }
}

// True when the range is empty: the player then shows its first frame once.
bool SceneChecker::reportFrameRange() {
    if (!sceneEnded(scene_.firstFrame, scene_.lastFrame, 0.0f)) return false;
    std::string text = "the frame range " + std::to_string(scene_.firstFrame) + " to " + std::to_string(scene_.lastFrame) +
                       " is empty: the player shows one frame and stops";
    if (scene_.firstFrame < 0) text += " (it counts frames up from 0; a negative first frame lies beyond every other)";
    add(Severity::Error, sceneName_, lines_.lastFrame ? lines_.lastFrame : lines_.firstFrame, std::move(text));
    return true;
}

void SceneChecker::evaluateFrames(bool emptyRange) {
    // Spread over the frames the player shows, by its end rule.
    std::vector<float> frames;
    const ShownFrames shown = shownFrames(scene_.firstFrame, scene_.lastFrame);
    const int samples = emptyRange || shown.count == 1 ? 1 : kCheckedFrames;
    for (int k = 0; k < samples; ++k) {
        const auto index = samples == 1 ? 0 : static_cast<std::uint64_t>(static_cast<double>(shown.count - 1) * k / (samples - 1));
        const float frame = static_cast<float>(shown.frame(index));
        if (frames.empty() || frames.back() != frame) frames.push_back(frame);
    }

    struct Depths {
        bool shown = false;  // visible at some sampled frame
        bool inView = false;
        float nearest = std::numeric_limits<float>::infinity();
        float farthest = -std::numeric_limits<float>::infinity();
    };
    std::vector<Depths> depths(scene_.objects.size());
    std::vector<bool> lit(scene_.lights.size(), false);
    for (float frame : frames) {
        const Evaluation evaluation = evaluateAt(scene_, frame);
        for (std::size_t i = 0; i < scene_.objects.size(); ++i) {
            const SceneObject& object = scene_.objects[i];
            const std::size_t count = usablePointCount(object);
            if (count == 0 || !evaluation.visible[i]) continue;
            float nearest = std::numeric_limits<float>::infinity(), farthest = -nearest;
            for (std::size_t p = 0; p < count; ++p) {
                const float depth = object.points[p].cameraSpacePosition[2];
                nearest = std::min(nearest, depth);
                farthest = std::max(farthest, depth);
            }
            Depths& d = depths[i];
            d.shown = true;
            d.nearest = std::min(d.nearest, nearest);
            d.farthest = std::max(d.farthest, farthest);
            // The polygons between the nearest and the farthest point can
            // cross the view even when no point lies inside it.
            if (farthest >= kViewNearest && nearest <= kViewFarthest) d.inView = true;
        }
        for (std::size_t l = 0; l < scene_.lights.size(); ++l)
            if (scene_.lights[l].intensity.value[0] != 0) lit[l] = true;
    }
    // Between the samples a light can only shine where it has a key.
    for (std::size_t l = 0; l < scene_.lights.size(); ++l) {
        Motion& intensity = scene_.lights[l].intensity;
        for (std::size_t k = 0; k < intensity.keys.size(); ++k) {
            const std::int32_t frame = intensity.keys[k].frame;
            if (frame < scene_.firstFrame || frame > scene_.lastFrame) continue;
            evaluateMotion(intensity, static_cast<float>(frame));
            if (intensity.value[0] != 0) lit[l] = true;
        }
    }

    const auto frameText = [](float f) { return std::to_string(static_cast<std::int64_t>(f)); };
    const std::string sampled = frames.size() == 1 ? "at frame " + frameText(frames.front())
                                                   : "at the " + std::to_string(frames.size()) + " frames checked from " +
                                                         frameText(frames.front()) + " to " + frameText(frames.back());
    for (std::size_t i = 0; i < scene_.objects.size(); ++i) {
        const Depths& d = depths[i];
        if (!d.shown || d.inView) continue;
        std::string where = d.farthest < kViewNearest ? "behind the camera" : "beyond the far end of the view";
        add(Severity::Warning, sceneName_, i < lines_.objects.size() ? lines_.objects[i] : 0,
            objectLabel(i) + " never comes within the view " + sampled + ": its points lie " +
                distance(d.nearest) + " to " + distance(d.farthest) + " units ahead of the camera, " + where +
                " (the view holds " + distance(kViewNearest) + " to " + distance(kViewFarthest) +
                " units ahead); scale the scene or move the camera");
    }
    checkPicture(frames, sampled);
    for (std::size_t l = 0; l < scene_.lights.size(); ++l) {
        if (lit[l]) continue;
        const bool keyed = !scene_.lights[l].intensity.keys.empty();
        add(Severity::Warning, sceneName_, l < lines_.lights.size() ? lines_.lights[l] : 0,
            "light " + std::to_string(l + 1) + " has intensity 0 " + sampled + (keyed ? " and at its keys" : "") +
                ": it lights nothing" + (keyed ? "" : " (it has no LgtIntensity)"));
    }
}

std::vector<Finding> SceneChecker::run() {
    checkArchiveName(sceneName_, sceneName_, 0);
    SceneLoadContext context;
    context.source = source_;
    context.loadObject = [this](std::string& name, Mesh& mesh) { loadObject(name, mesh); };
    context.diagnostics = &diagnostics_;
    context.lines = &lines_;
    const bool read = sceneRead_ = readScene(scene_, sceneName_, context);
    reportReaderDiagnostics();
    if (!read) {
        const std::string damage = archiveDamage(source_);
        add(Severity::Error, sceneName_, 0,
            "the scene cannot be read: " + (damage.empty() ? nothingFoundHint(source_.directory) : damage));
    }
    if (read) {
        if (std::optional<Bytes> text = readDataFile(source_, sceneName_)) sceneText_ = std::move(*text);
        const std::string_view all(reinterpret_cast<const char*>(sceneText_.data()), sceneText_.size());
        for (std::size_t at = 0; at <= all.size();) {
            const std::size_t end = std::min(all.find('\n', at), all.size());
            textLines_.push_back(all.substr(at, end - at));
            at = end + 1;
        }
        if (loadedNoObject(scene_))
            add(Severity::Error, sceneName_, 0, describeNoObject(loader_.loads(), source_.directory));
        reportKeywords();
        reportReadNotes();
        checkLogo();
        evaluateFrames(reportFrameRange());
    }
    // Scene order: the file as a whole first, then by line; other files
    // (never the case for findings made here) last.
    std::stable_sort(findings_.begin(), findings_.end(), [this](const Finding& a, const Finding& b) {
        const bool aScene = a.file == sceneName_, bScene = b.file == sceneName_;
        if (aScene != bScene) return aScene;
        return a.line < b.line;
    });
    return std::move(findings_);
}

}  // namespace

std::string Finding::format() const {
    std::string out = file;
    if (line > 0) out += ":" + std::to_string(line);
    out += severity == Severity::Error ? ": error: " : ": warning: ";
    return out + text;
}

std::vector<Finding> checkScene(const DataSource& source, std::string_view sceneName, std::string* playerFrames) {
    SceneChecker checker(source, sceneName);
    std::vector<Finding> findings = checker.run();
    if (playerFrames && checker.sceneRead())
        *playerFrames = shownFrames(checker.scene().firstFrame, checker.scene().lastFrame).describe("the scene's range");
    return findings;
}

std::size_t countErrors(const std::vector<Finding>& findings) {
    return static_cast<std::size_t>(std::count_if(findings.begin(), findings.end(),
                                                  [](const Finding& f) { return f.severity == Severity::Error; }));
}

}  // namespace zor::check
