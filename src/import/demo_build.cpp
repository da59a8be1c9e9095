// The build's order of work: every model's source (read, or taken from the
// cache), the range (it bounds the spins' samples), each model's source
// input with its root motion, the camera, then the one conversion; after it
// the logo, the demo's information and the music. The first fault ends the
// build as a BuildError placed at the recipe's key that names its cause.

#include "import/demo_build.h"

#include <algorithm>
#include <cmath>
#include <system_error>

#include "import/camera_lights.h"
#include "import/convert.h"
#include "import/logo.h"
#include "import/motions.h"
#include "import/music.h"
#include "import/names.h"
#include "import/readers.h"
#include "import/recipe_motion.h"
#include "scene/demo_info.h"
#include "scene/player_constants.h"
#include "scene/timeline.h"
#include "system/text.h"

namespace zor::import {

namespace fs = std::filesystem;

std::shared_ptr<const SourceModel> SourceCache::read(const fs::path& path) {
    std::error_code ec;
    const std::uintmax_t size = fs::file_size(path, ec);
    const fs::file_time_type time = ec ? fs::file_time_type{} : fs::last_write_time(path, ec);
    if (!ec) {
        const auto found = entries_.find(path);
        if (found != entries_.end() && found->second.size == size && found->second.time == time)
            return found->second.model;
    }
    auto model = std::make_shared<const SourceModel>(readSource(path));
    if (!ec) entries_[path] = Entry{size, time, model};
    return model;
}

write::PlayFolder DemoBuild::playFolder(const fs::path& folder) const {
    write::PlayFolder play;
    play.folder = folder;
    play.files = files;
    play.pack = pack;
    play.diskOnly = diskOnly;
    play.music = music;
    return play;
}

fs::path defaultFolderOf(const fs::path& recipePath) {
    fs::path folder = recipePath;
    if (lowered(utf8Of(folder.extension())) == ".toml") folder.replace_extension();
    else folder += ".play";
    return folder;
}

namespace {

// Where a key's value stands in the recipe, else its table.
recipe::SourcePosition whereIs(const recipe::TableSource& table, std::string_view key) {
    for (const recipe::KeySource& k : table.keys)
        if (k.name == key) return k.value;
    return table.at;
}

[[noreturn]] void failAt(const recipe::Recipe& recipe, recipe::SourcePosition at, const std::string& what) {
    throw BuildError(recipe::RecipeError{recipe.file, at, what}.message());
}

std::string frames(int first, int last) { return shownFrames(first, last).describe("the range"); }

class Builder {
public:
    Builder(const recipe::Recipe& recipe, const DemoBuildOptions& options) : recipe_(recipe), options_(options) {}

    DemoBuild run() {
        readSources();
        chooseRange();
        ConvertOptions convert;
        convert.scaleOption = "a \"scale\"";
        convert.logo = !recipe_.logo;
        convert.range = std::array<int, 2>{first_, last_};
        if (recipe_.backdrop) convert.backdrop = std::array<std::uint8_t, 3>{recipe_.backdrop->r, recipe_.backdrop->g,
                                                                              recipe_.backdrop->b};
        std::vector<SourceInput> inputs = sourceInputs(convert.directions);
        chooseCamera(convert);
        say("converting " + std::to_string(inputs.size()) + (inputs.size() == 1 ? " model" : " models"));
        Conversion conversion;
        try {
            conversion = composeScene(inputs, convert);
        } catch (const ImportError& e) {
            failAtModelOf(e.what());
        }
        take(conversion);
        addLogo();
        addDemoInfo();
        addMusic();
        return std::move(out_);
    }

private:
    void say(const std::string& line) const {
        if (options_.progress) options_.progress(line);
    }

    void readSources() {
        for (const recipe::RecipeModel& m : recipe_.models) {
            say("reading " + utf8Of(m.file));
            try {
                models_.push_back(options_.cache ? options_.cache->read(m.file)
                                                 : std::make_shared<const SourceModel>(readSource(m.file)));
            } catch (const ImportError& e) {
                failAt(recipe_, whereIs(m.source, "file"), e.what());
            }
        }
        if (models_.empty()) failAt(recipe_, {}, "names no model: add a [[model]] with a \"file\"");
    }

    // A conversion's fault names the source's file; it is placed at the
    // model that names that file.
    [[noreturn]] void failAtModelOf(const std::string& what) const {
        for (const recipe::RecipeModel& m : recipe_.models)
            if (what.starts_with(utf8Of(m.file) + ":")) failAt(recipe_, whereIs(m.source, "file"), what);
        failAt(recipe_, {}, what);
    }

    // start to length; without a length, to the end of the longest
    // animation (a still scene's 10 s) or the last key, whichever is later.
    void chooseRange() {
        int animation = 0;
        bool animated = false;
        for (std::size_t i = 0; i < models_.size(); ++i) {
            Conversion scratch;
            const Animation a(*models_[i], scratch);
            animated_.push_back(a.animated());
            if (a.animated()) animation = std::max(animation, a.lastFrame()), animated = true;
        }
        first_ = recipe_.start;
        if (recipe_.length) {
            last_ = *recipe_.length;
            out_.notes.push_back(frames(first_, last_) + " (start and length)");
            return;
        }
        if (!animated) animation = kStillSceneFrames;
        int keys = 0;
        for (const recipe::CameraKey& k : recipe_.camera.keys) keys = std::max(keys, k.frame);
        for (const recipe::RecipeModel& m : recipe_.models)
            for (const recipe::ModelKey& k : m.keys) keys = std::max(keys, k.frame);
        last_ = std::max({first_, animation, keys});
        out_.notes.push_back(frames(first_, last_) + " (no length: " +
                             (keys > animation ? "to the last key" : animated ? "to the end of the longest animation"
                                                                              : "a still scene's 10 s") +
                             ")");
    }

    std::vector<SourceInput> sourceInputs(std::vector<SourceDirection>& directions) {
        std::vector<SourceInput> inputs(recipe_.models.size());
        directions.resize(inputs.size());
        for (std::size_t i = 0; i < inputs.size(); ++i) {
            const recipe::RecipeModel& m = recipe_.models[i];
            SourceInput& in = inputs[i];
            in.model = models_[i].get();
            in.name = m.name;
            double divisor = 1;
            if (m.scale) {
                const recipe::Vec3& s = *m.scale;
                divisor = s[0] == s[1] && s[1] == s[2] ? s[0] : std::cbrt(s[0] * s[1] * s[2]);
                in.scale = static_cast<float>(divisor);
            }
            directions[i].rootMotion = modelMotion(m, divisor, first_, last_);
            directions[i].loop = m.loop;
            directions[i].doubleSided = m.doubleSided;
            if (m.loop && i < animated_.size() && !animated_[i])
                out_.warnings.push_back("model " + m.name + ": \"loop\" has nothing to repeat; " +
                                        utf8Of(m.file.filename()) + " has no animation of its own");
        }
        return inputs;
    }

    void chooseCamera(ConvertOptions& convert) {
        const recipe::RecipeCamera& camera = recipe_.camera;
        if (camera.from) {
            // A name, or the file as the recipe resolves its files.
            fs::path written = recipe_.file.parent_path() / fs::path(*camera.from);
            std::error_code ec;
            if (fs::path absolute = fs::absolute(written, ec); !ec) written = absolute;
            written = written.lexically_normal();
            for (std::size_t i = 0; i < recipe_.models.size() && !convert.cameraFrom; ++i) {
                const recipe::RecipeModel& m = recipe_.models[i];
                if (m.name == *camera.from || m.file == written)
                    convert.cameraFrom = static_cast<int>(i);
            }
            if (!convert.cameraFrom) failAt(recipe_, whereIs(camera.source, "from"), "names no model");
            if (cameraNode(*models_[*convert.cameraFrom]) < 0)
                failAt(recipe_, whereIs(camera.source, "from"),
                       "model " + recipe_.models[*convert.cameraFrom].name + " has no camera of its own (" +
                           utf8Of(recipe_.models[*convert.cameraFrom].file.filename()) + ")");
            out_.notes.push_back("camera: model " + recipe_.models[*convert.cameraFrom].name +
                                 "'s own, as camera.from asks");
        } else if (!camera.keys.empty()) {
            convert.camera = cameraMotion(camera.keys, first_);
            out_.notes.push_back("camera: the recipe's " + std::to_string(camera.keys.size()) +
                                 (camera.keys.size() == 1 ? " key" : " keys") + " (camera.key)");
        } else {
            out_.notes.push_back("camera: the recipe directs none, so the importer chooses (below)");
        }
    }

    void take(Conversion& c) {
        out_.files = std::move(c.files);
        out_.pack = options_.pack;
        out_.firstFrame = c.firstFrame;
        out_.lastFrame = c.lastFrame;
        out_.objects = c.objects;
        out_.nullObjects = c.nullObjects;
        out_.points = c.points;
        out_.polygons = c.polygons;
        out_.images = c.images;
        out_.lights = c.lights;
        out_.keys = c.keys;
        for (std::string& n : c.notes) out_.notes.push_back(std::move(n));
        for (std::string& r : c.renamed) out_.notes.push_back("renamed " + r);
        for (std::string& n : c.notCarried) out_.notes.push_back("did not come across: " + n);
        for (std::string& w : c.warnings) out_.warnings.push_back(std::move(w));
    }

    void addLogo() {
        if (!recipe_.logo) return;
        say("making the logo of " + utf8Of(*recipe_.logo));
        try {
            out_.files.push_back({kLogoFileName, logoJpeg(*recipe_.logo)});
        } catch (const ImportError& e) {
            failAt(recipe_, whereIs(recipe_.source, "logo"), e.what());
        }
    }

    void addDemoInfo() {
        const DemoInfo info{recipe_.title, recipe_.author, recipe_.description};
        if (info.empty()) return;
        const std::string text = formatDemoInfo(info);
        out_.files.push_back({kDemoInfoFileName, Bytes(text.begin(), text.end())});
    }

    void addMusic() {
        if (!recipe_.music) return;
        const std::string ext = lowered(utf8Of(recipe_.music->extension()));
        if (ext == ".mp3") say("copying " + utf8Of(*recipe_.music));
        else if (encodesMusic()) say("encoding " + utf8Of(*recipe_.music));
        try {
            out_.music = musicAsMp3(*recipe_.music);
        } catch (const ImportError& e) {
            failAt(recipe_, whereIs(recipe_.source, "music"), e.what());
        }
        if (ext != ".mp3")
            out_.notes.push_back("music: " + utf8Of(recipe_.music->filename()) + " encoded as MP3 (" +
                                 describeFileSize(static_cast<std::int64_t>(out_.music->size())) + ")");
    }

    const recipe::Recipe& recipe_;
    const DemoBuildOptions& options_;
    std::vector<std::shared_ptr<const SourceModel>> models_;
    std::vector<bool> animated_;
    int first_ = 0, last_ = 0;
    DemoBuild out_;
};

}  // namespace

DemoBuild buildDemo(const recipe::Recipe& recipe, const DemoBuildOptions& options) {
    return Builder(recipe, options).run();
}

}  // namespace zor::import
