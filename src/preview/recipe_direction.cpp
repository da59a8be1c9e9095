#include "preview/recipe_direction.h"

#include <algorithm>
#include <chrono>
#include <ostream>
#include <span>

#include "scene/player_constants.h"
#include "system/disk_files.h"
#include "system/files.h"
#include "system/text.h"
#include "writers/play_folder.h"

namespace zor {

namespace fs = std::filesystem;

namespace {

recipe::Vec3 widened(const Vec3& v) { return {v[0], v[1], v[2]}; }

// The files a recipe names, with their stamps now.
void addNamedFiles(const recipe::Recipe& r, FileStamps& files) {
    for (const recipe::RecipeModel& m : r.models) files.emplace(m.file, stampOf(m.file));
    if (r.music) files.emplace(*r.music, stampOf(*r.music));
    if (r.logo) files.emplace(*r.logo, stampOf(*r.logo));
}

std::string plural(std::size_t n, const char* one, const char* more) {
    return std::to_string(n) + " " + (n == 1 ? one : more);
}

}  // namespace

RecipeDirection::RecipeDirection(RecipeDirectionOptions options) : options_(std::move(options)) {}

std::string RecipeDirection::name() const { return utf8Of(options_.recipe.filename()); }

std::vector<std::string> RecipeDirection::models() const {
    std::vector<std::string> names;
    if (built_)
        for (const recipe::RecipeModel& m : built_->models) names.push_back(m.name);
    return names;
}

std::optional<double> RecipeDirection::beatsPerMinute() const { return built_ ? built_->bpm : std::nullopt; }

RecipeDirection::Fresh RecipeDirection::readNow() const {
    Fresh fresh;
    recipe::RecipeText text = recipe::readRecipeText(options_.recipe);
    if (text.error) {
        fresh.error = text.error->message();
        return fresh;
    }
    fresh.text = std::move(text.text);
    fresh.read = recipe::readRecipe(fresh.text, options_.recipe);
    if (!fresh.read.ok()) fresh.error = fresh.read.error->message();
    return fresh;
}

DirectionBuild RecipeDirection::build() {
    DirectionBuild out;
    const fs::path& path = options_.recipe;
    out.files.emplace(path, stampOf(path));
    const Fresh fresh = readNow();
    if (fresh.read.ok()) addNamedFiles(fresh.read.recipe, out.files);
    // A file caught while being written is waited for, whatever it read as.
    if (!unsettleChanging(out.files, options_.settleMilliseconds, ownWrite_).empty()) {
        out.unsettled = true;
        return out;
    }
    if (!fresh.error.empty()) {
        out.error = fresh.error;
        return out;
    }
    const recipe::Recipe& read = fresh.read.recipe;
    if (built_ && read.textDigest == builtDigest_ && out.files == builtFrom_) {
        built_ = read;  // the same direction; where things stand in the text may differ
        return out;
    }

    const auto started = std::chrono::steady_clock::now();
    import::DemoBuild demo;
    try {
        import::DemoBuildOptions build;
        build.pack = false;
        build.cache = &cache_;
        demo = import::buildDemo(read, build);
    } catch (const import::BuildError& e) {
        out.error = e.what();
        return out;
    } catch (const std::exception& e) {
        out.error = name() + ": " + e.what();
        return out;
    }
    // A file that changed while the build read it is read again once still.
    FileStamps seen = out.files;
    if (!unsettleChanging(seen, options_.settleMilliseconds, ownWrite_).empty()) {
        out.files = std::move(seen);
        out.unsettled = true;
        return out;
    }
    try {
        writeFolder(demo);
    } catch (const std::exception& e) {
        out.error = e.what();
        return out;
    }
    built_ = read;
    builtDigest_ = read.textDigest;
    builtFrom_ = out.files;
    ++builds_;
    if (options_.log) {
        const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - started);
        std::ostream& log = *options_.log;
        log << "zor-view: built " << name() << ": " << plural(read.models.size(), "model", "models") << ", "
            << plural(static_cast<std::size_t>(demo.objects), "object", "objects") << ", "
            << plural(static_cast<std::size_t>(demo.keys), "key", "keys") << " (" << took.count() << " ms)\n";
        for (const std::string& w : demo.warnings) log << "zor-view: " << name() << ": warning: " << w << '\n';
        log.flush();
    }
    return out;
}

void RecipeDirection::writeFolder(const import::DemoBuild& demo) {
    std::map<std::string, Bytes> next;
    for (const write::DataFile& f : demo.files) next[f.name] = f.bytes;
    for (const write::DataFile& f : demo.diskOnly) next[f.name] = f.bytes;
    if (demo.music) next[kMusicFileName] = *demo.music;

    write::PlayFolder changed;
    changed.folder = options_.folder;
    changed.pack = false;
    changed.replace = Replace::Always;
    const auto same = [this](const std::string& name, const Bytes& bytes) {
        const auto it = kept_.find(name);
        return it != kept_.end() && it->second == bytes;
    };
    for (const write::DataFile& f : demo.files)
        if (!same(f.name, f.bytes)) changed.files.push_back(f);
    for (const write::DataFile& f : demo.diskOnly)
        if (!same(f.name, f.bytes)) changed.diskOnly.push_back(f);
    if (demo.music && !same(kMusicFileName, *demo.music)) changed.music = demo.music;
    write::writePlayFolder(changed);
    // What the build no longer makes goes, so the player never finds it.
    for (const auto& [name, bytes] : kept_)
        if (!next.count(name)) system_files::removeFile(options_.folder / pathFromUtf8(name));
    kept_ = std::move(next);
}

DirectionWrite RecipeDirection::writeText(const std::string& before, const std::string& text, const std::string& said) {
    WriteFailure failure;
    const std::span<const std::uint8_t> bytes(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
    if (!writeFileByRename(options_.recipe, bytes, Replace::Always, failure))
        return {false, "not written: " + failure.describe(options_.recipe, "")};
    ownWrite_.clear();
    ownWrite_.emplace(options_.recipe, stampOf(options_.recipe));
    writes_.push_back({before, text});
    return {true, said};
}

DirectionWrite RecipeDirection::writeCameraKey(std::int32_t frame, const CameraPlacement& camera) {
    const std::string what = "camera key at frame " + std::to_string(frame);
    const Fresh fresh = readNow();
    if (!fresh.error.empty()) return {false, what + " not written: " + fresh.error};
    recipe::CameraKey key;
    key.frame = frame;
    key.position = widened(camera.position);
    key.rotation = recipe::Vec3{camera.heading, camera.pitch, camera.bank};
    const recipe::RecipeEdit edit = recipe::withCameraKey(fresh.text, fresh.read.recipe, key);
    if (!edit.ok()) return {false, what + " not written: " + edit.error};
    return writeText(fresh.text, edit.text, what + " written");
}

DirectionWrite RecipeDirection::writeModelKey(const std::string& model, std::int32_t frame, const Vec3& position) {
    const std::string what = "key of model " + model + " at frame " + std::to_string(frame);
    const Fresh fresh = readNow();
    if (!fresh.error.empty()) return {false, what + " not written: " + fresh.error};
    recipe::ModelKey key;
    key.frame = frame;
    key.position = widened(position);
    // A key already at the frame keeps what it says of the rotation and scale.
    for (const recipe::RecipeModel& m : fresh.read.recipe.models)
        if (m.name == model)
            for (const recipe::ModelKey& k : m.keys)
                if (k.frame == frame) {
                    key.rotation = k.rotation;
                    key.scale = k.scale;
                }
    const recipe::RecipeEdit edit = recipe::withModelKey(fresh.text, fresh.read.recipe, model, key);
    if (!edit.ok()) return {false, what + " not written: " + edit.error};
    return writeText(fresh.text, edit.text, what + " written");
}

DirectionWrite RecipeDirection::writeRange(std::optional<std::int32_t> first, std::optional<std::int32_t> last) {
    const std::string what = first && last ? "range " + std::to_string(*first) + " to " + std::to_string(*last)
                             : first       ? "start at frame " + std::to_string(*first)
                             : last        ? "end at frame " + std::to_string(last.value_or(0))
                                           : std::string("range");
    const Fresh fresh = readNow();
    if (!fresh.error.empty()) return {false, what + " not written: " + fresh.error};
    const recipe::RecipeEdit edit =
        recipe::withRange(fresh.text, fresh.read.recipe, first.value_or(fresh.read.recipe.start), last);
    if (!edit.ok()) return {false, what + " not written: " + edit.error};
    return writeText(fresh.text, edit.text, what + " written");
}

DirectionWrite RecipeDirection::takeBack() {
    if (writes_.empty()) return {false, "nothing to take back"};
    const recipe::RecipeText now = recipe::readRecipeText(options_.recipe);
    if (now.error) return {false, "not taken back: " + now.error->message()};
    if (now.text != writes_.back().after)
        return {false, "not taken back: " + name() + " has changed since the last write"};
    const Write last = writes_.back();
    DirectionWrite done = writeText(last.after, last.before, "the last write taken back");
    if (!done.written) return done;
    writes_.pop_back();  // the take-back itself
    writes_.pop_back();  // the write it took back
    return done;
}

}  // namespace zor
