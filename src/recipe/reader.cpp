// The recipe's reader: toml++ parses, the tree is walked table by table in
// the order recipe.h gives, and the first problem met is thrown as a Problem
// and becomes the one RecipeError. The only file including toml++.

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <map>
#include <system_error>

#define TOML_ENABLE_FORMATTERS 0
#include <toml++/toml.h>

#include "recipe/recipe.h"
#include "recipe/recipe_text.h"
#include "scene/timeline.h"

namespace zor::recipe {

namespace {

struct Problem {
    SourcePosition at;
    std::string what;
};

SourcePosition positionOf(const toml::source_position& p) {
    return {static_cast<int>(p.line), static_cast<int>(p.column)};
}
SourcePosition at(const toml::node& node) { return positionOf(node.source().begin); }
bool before(SourcePosition a, SourcePosition b) { return a.line != b.line ? a.line < b.line : a.column < b.column; }

// A name or value of the text in a one-line message: control characters as
// "?", at most 80 bytes (cut where a character starts).
std::string shown(std::string_view written) {
    std::string out;
    for (const char c : written) {
        if (out.size() >= 80 && (static_cast<unsigned char>(c) & 0xC0) != 0x80) return out + "...";
        out += static_cast<unsigned char>(c) < 0x20 || c == 0x7f ? '?' : c;
    }
    return out;
}
std::string inQuotes(std::string_view written) { return "\"" + shown(written) + "\""; }

// Edits (insertions, deletions, substitutions, swaps of neighbours) that
// turn one key into the other.
std::size_t editDistance(std::string_view a, std::string_view b) {
    std::vector<std::vector<std::size_t>> d(a.size() + 1, std::vector<std::size_t>(b.size() + 1));
    for (std::size_t i = 0; i <= a.size(); ++i) d[i][0] = i;
    for (std::size_t j = 0; j <= b.size(); ++j) d[0][j] = j;
    for (std::size_t i = 1; i <= a.size(); ++i)
        for (std::size_t j = 1; j <= b.size(); ++j) {
            d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + (a[i - 1] != b[j - 1])});
            if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1])
                d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
        }
    return d[a.size()][b.size()];
}

struct Entry {
    std::string_view name;
    SourcePosition key;
    const toml::node* node;
};

// A table's keys in the order of the text.
std::vector<Entry> entriesOf(const toml::table& table) {
    std::vector<Entry> entries;
    for (auto&& [key, node] : table) entries.push_back({key.str(), positionOf(key.source().begin), &node});
    std::stable_sort(entries.begin(), entries.end(),
                     [](const Entry& a, const Entry& b) { return before(a.key, b.key); });
    return entries;
}

void checkKeys(const toml::table& table, std::initializer_list<std::string_view> allowed) {
    for (const Entry& entry : entriesOf(table)) {
        if (std::find(allowed.begin(), allowed.end(), entry.name) != allowed.end()) continue;
        std::string what = "unknown key " + inQuotes(entry.name);
        // Only a near miss is named: one edit in a short key, two in a longer one.
        std::string_view nearest;
        std::size_t best = std::numeric_limits<std::size_t>::max();
        for (const std::string_view name : allowed) {
            const std::size_t distance = editDistance(entry.name, name);
            if (distance < best) best = distance, nearest = name;
        }
        if (best <= (nearest.size() <= 4 ? 1u : 2u)) what += " (did you mean " + inQuotes(nearest) + "?)";
        throw Problem{entry.key, what};
    }
}

void findNonFinite(const toml::node& node, std::optional<SourcePosition>& first, double& value) {
    if (const auto* number = node.as_floating_point(); number && !std::isfinite(number->get())) {
        if (!first || before(at(node), *first)) first = at(node), value = number->get();
    } else if (const auto* table = node.as_table()) {
        for (auto&& [key, child] : *table) findNonFinite(child, first, value);
    } else if (const auto* array = node.as_array()) {
        for (const toml::node& child : *array) findNonFinite(child, first, value);
    }
}

std::optional<Vec3> triple(const toml::node& node) {
    const toml::array* array = node.as_array();
    if (!array || array->size() != 3) return std::nullopt;
    Vec3 v{};
    for (std::size_t i = 0; i < 3; ++i) {
        const toml::node& element = *array->get(i);
        if (const auto* integer = element.as_integer()) v[i] = static_cast<double>(integer->get());
        else if (const auto* floating = element.as_floating_point()) v[i] = floating->get();
        else return std::nullopt;
    }
    return v;
}

class Reader {
public:
    Reader(std::string_view text, const std::filesystem::path& path, const FileCheck& check)
        : text_(text), lines_(text), path_(path), check_(check) {}

    Recipe read(const toml::table& root);

private:
    [[noreturn]] static void wrongType(const toml::node& node, std::string_view key, std::string_view wants) {
        throw Problem{at(node), inQuotes(key) + " wants " + std::string(wants)};
    }
    static double number(const toml::node& node, std::string_view key) {
        if (const auto* integer = node.as_integer()) return static_cast<double>(integer->get());
        if (const auto* floating = node.as_floating_point()) return floating->get();
        wrongType(node, key, "a number");
    }
    static Vec3 vec3(const toml::node& node, std::string_view key) {
        if (auto v = triple(node)) return *v;
        wrongType(node, key, "[x, y, z]");
    }
    static Vec3 scale(const toml::node& node) {
        std::optional<Vec3> v = triple(node);
        if (node.is_number()) v = Vec3{number(node, "scale"), number(node, "scale"), number(node, "scale")};
        if (!v) wrongType(node, "scale", "a number or [x, y, z]");
        if (!((*v)[0] > 0 && (*v)[1] > 0 && (*v)[2] > 0)) wrongType(node, "scale", "factors above 0");
        return *v;
    }
    static std::string string(const toml::node& node, std::string_view key) {
        if (const auto* s = node.as_string()) return s->get();
        wrongType(node, key, "a string");
    }
    static bool boolean(const toml::node& node, std::string_view key) {
        if (const auto* b = node.as_boolean()) return b->get();
        wrongType(node, key, "true or false");
    }
    static const toml::table& table(const toml::node& node, std::string_view key, std::string_view wants) {
        if (const auto* t = node.as_table()) return *t;
        wrongType(node, key, wants);
    }
    // The elements of an array of tables.
    static std::vector<const toml::table*> tables(const toml::node& node, std::string_view key,
                                                  std::string_view wants) {
        const toml::array* array = node.as_array();
        if (!array) wrongType(node, key, wants);
        std::vector<const toml::table*> out;
        for (const toml::node& element : *array) out.push_back(&table(element, key, wants));
        return out;
    }

    // "time "8b"" or "time 16", for messages.
    static std::string described(const toml::node& node, std::string_view key) {
        if (const auto* s = node.as_string()) return std::string(key) + " " + inQuotes(s->get());
        char buffer[64];
        std::snprintf(buffer, sizeof buffer, "%.15g", number(node, key));
        return std::string(key) + " " + buffer;
    }
    std::int32_t frameOf(const toml::node& node, std::string_view key) const;
    // The frame of a key's time, which lies within start..length.
    std::int32_t keyFrame(const toml::node& node) const;
    std::filesystem::path file(const toml::node& node, std::string_view key,
                               std::initializer_list<std::string_view> endings, std::string_view kind) const;
    static Rgb colour(const toml::node& node);

    TableSource sourceOf(const toml::table& table, const std::vector<std::string_view>& path,
                         bool arrayHeader) const;
    bool beginsHeader(const toml::table& table) const {
        const std::size_t offset = lines_.offset(at(table));
        return !table.is_inline() && offset < text_.size() && text_[offset] == '[';
    }
    int ownLastLine(const toml::table& table, int base) const;
    void firstHeader(const toml::node& node, int& line) const;

    void readCamera(const toml::table& t, Recipe& recipe) const;
    RecipeModel readModel(const toml::table& t, std::string& written) const;
    template <class Key>
    static void sortKeys(std::vector<Key>& keys, const std::string& list);

    std::string_view text_;
    text::Lines lines_;
    std::filesystem::path path_;
    const FileCheck& check_;
    // The recipe's beat and range, once read: times need them.
    std::optional<double> bpm_;
    std::int32_t start_ = 0;
    std::optional<std::int32_t> length_;
};

std::int32_t Reader::frameOf(const toml::node& node, std::string_view key) const {
    text::TimeText time;
    if (const auto* s = node.as_string()) {
        std::string why;
        const std::optional<text::TimeText> parsed = text::parseTime(s->get(), why);
        if (!parsed && !why.empty()) throw Problem{at(node), described(node, key) + ": " + why};
        if (!parsed) throw Problem{at(node), inQuotes(key) + " wants a time: \"15s\", \"454f\", \"32b\" or \"3:2\""};
        time = *parsed;
        if (time.unit == text::TimeText::Unit::Beats && !bpm_)
            throw Problem{at(node), described(node, key) + " is in beats, which need \"bpm\""};
    } else if (node.is_number()) {
        time.amount = number(node, key);
    } else {
        wrongType(node, key, "a time: \"15s\", \"454f\", \"32b\", \"3:2\" or seconds");
    }
    if (time.amount < 0) throw Problem{at(node), described(node, key) + " is before 0"};
    switch (time.unit) {
    case text::TimeText::Unit::Frames:
        if (time.amount > std::numeric_limits<std::int32_t>::max())
            throw Problem{at(node), described(node, key) + " is past the player's last frame (2147483647)"};
        return static_cast<std::int32_t>(time.amount);
    case text::TimeText::Unit::Beats: return beatFrame(time.amount, *bpm_);
    case text::TimeText::Unit::Seconds: break;
    }
    return frameAtSeconds(time.amount);
}

std::int32_t Reader::keyFrame(const toml::node& node) const {
    const std::int32_t frame = frameOf(node, "time");
    const std::string shownTime = described(node, "time") + " (frame " + std::to_string(frame) + ")";
    if (frame < start_)
        throw Problem{at(node), shownTime + " is before the start (frame " + std::to_string(start_) + ")"};
    if (length_ && frame > *length_)
        throw Problem{at(node), shownTime + " is past the length (frame " + std::to_string(*length_) + ")"};
    return frame;
}

std::filesystem::path Reader::file(const toml::node& node, std::string_view key,
                                   std::initializer_list<std::string_view> endings, std::string_view kind) const {
    const std::string written = string(node, key);
    if (written.empty() || written.find('\0') != std::string::npos) wrongType(node, key, "a file name");
    const std::filesystem::path relative(written);
    std::string ending = relative.extension().string();
    std::transform(ending.begin(), ending.end(), ending.begin(),
                   [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; });
    if (std::find(endings.begin(), endings.end(), ending) == endings.end())
        throw Problem{at(node), shown(written) + ": " + std::string(kind)};
    std::filesystem::path resolved = path_.parent_path() / relative;
    std::error_code error;
    if (std::filesystem::path absolute = std::filesystem::absolute(resolved, error); !error) resolved = absolute;
    resolved = resolved.lexically_normal();
    if (const std::string why = check_(resolved); !why.empty()) throw Problem{at(node), shown(written) + ": " + why};
    return resolved;
}

Rgb Reader::colour(const toml::node& node) {
    auto refuse = [&]() { wrongType(node, "backdrop", "\"#RRGGBB\", \"#RGB\" or [r, g, b] of 0 to 255"); };
    if (const auto* s = node.as_string()) {
        const std::string& written = s->get();
        auto hex = [&](char c) -> int {
            if (c >= '0' && c <= '9') return c - '0';
            if (c >= 'a' && c <= 'f') return c - 'a' + 10;
            if (c >= 'A' && c <= 'F') return c - 'A' + 10;
            refuse();
            return 0;
        };
        if (written.size() == 7 && written[0] == '#')
            return {static_cast<std::uint8_t>(hex(written[1]) * 16 + hex(written[2])),
                    static_cast<std::uint8_t>(hex(written[3]) * 16 + hex(written[4])),
                    static_cast<std::uint8_t>(hex(written[5]) * 16 + hex(written[6]))};
        if (written.size() == 4 && written[0] == '#')
            return {static_cast<std::uint8_t>(hex(written[1]) * 17), static_cast<std::uint8_t>(hex(written[2]) * 17),
                    static_cast<std::uint8_t>(hex(written[3]) * 17)};
        refuse();
    }
    const toml::array* array = node.as_array();
    if (!array || array->size() != 3) refuse();
    std::uint8_t channel[3] = {};
    for (std::size_t i = 0; i < 3; ++i) {
        const auto* integer = array->get(i)->as_integer();
        if (!integer || integer->get() < 0 || integer->get() > 255) refuse();
        channel[i] = static_cast<std::uint8_t>(integer->get());
    }
    return {channel[0], channel[1], channel[2]};
}

TableSource Reader::sourceOf(const toml::table& table, const std::vector<std::string_view>& path,
                             bool arrayHeader) const {
    TableSource source;
    source.at = at(table);
    source.header =
        !path.empty() && !table.is_inline() && text::headerNames(text_, lines_.offset(source.at), path, arrayHeader);
    source.lastLine = ownLastLine(table, source.header ? source.at.line : 0);
    for (const Entry& entry : entriesOf(table))
        source.keys.push_back({std::string(entry.name), entry.key, at(*entry.node),
                               positionOf(entry.node->source().end)});
    return source;
}

int Reader::ownLastLine(const toml::table& table, int base) const {
    int last = base;
    for (auto&& [key, node] : table) {
        if (const auto* child = node.as_table(); child && !child->is_inline()) {
            // Under a header of its own, or made by dotted keys on this table's lines.
            if (!beginsHeader(*child)) last = std::max(last, ownLastLine(*child, 0));
            continue;
        }
        if (const auto* array = node.as_array(); array && !array->empty() && array->is_array_of_tables()) {
            const toml::table& first = *array->front().as_table();
            if (!first.is_inline() && beginsHeader(first)) continue;
        }
        last = std::max(last, static_cast<int>(node.source().end.line));
    }
    return last;
}

void Reader::firstHeader(const toml::node& node, int& line) const {
    if (const auto* table = node.as_table()) {
        if (beginsHeader(*table) && (line == 0 || at(*table).line < line)) line = at(*table).line;
        for (auto&& [key, child] : *table) firstHeader(child, line);
    } else if (const auto* array = node.as_array()) {
        for (const toml::node& child : *array) firstHeader(child, line);
    }
}

template <class Key>
void Reader::sortKeys(std::vector<Key>& keys, const std::string& list) {
    std::stable_sort(keys.begin(), keys.end(), [](const Key& a, const Key& b) { return a.frame < b.frame; });
    for (std::size_t i = 1; i < keys.size(); ++i) {
        if (keys[i].frame != keys[i - 1].frame) continue;
        const Key* first = &keys[i - 1];
        const Key* second = &keys[i];
        if (before(second->source.at, first->source.at)) std::swap(first, second);
        SourcePosition time = second->source.at;
        for (const KeySource& k : second->source.keys)
            if (k.name == "time") time = k.value;
        throw Problem{time, "a second " + list + " at frame " + std::to_string(second->frame) +
                                " (the other is at line " + std::to_string(first->source.at.line) + ")"};
    }
}

void Reader::readCamera(const toml::table& t, Recipe& recipe) const {
    checkKeys(t, {"from", "key"});
    RecipeCamera& camera = recipe.camera;
    camera.source = sourceOf(t, {"camera"}, false);
    if (const toml::node* from = t.get("from")) {
        camera.from = string(*from, "from");
        if (camera.from->empty()) wrongType(*from, "from", "a model's name or file");
    }
    if (const toml::node* keys = t.get("key")) {
        for (const toml::table* k : tables(*keys, "key", "[[camera.key]] tables")) {
            checkKeys(*k, {"time", "position", "look_at", "rotation"});
            CameraKey key;
            key.source = sourceOf(*k, {"camera", "key"}, true);
            for (const std::string_view required : {"time", "position"})
                if (!k->get(required)) throw Problem{at(*k), "a camera key needs " + inQuotes(required)};
            key.frame = keyFrame(*k->get("time"));
            key.position = vec3(*k->get("position"), "position");
            if (const toml::node* lookAt = k->get("look_at")) key.lookAt = vec3(*lookAt, "look_at");
            if (const toml::node* rotation = k->get("rotation")) {
                key.rotation = vec3(*rotation, "rotation");
                if (key.lookAt) {
                    const toml::node& later =
                        before(at(*k->get("look_at")), at(*rotation)) ? *rotation : *k->get("look_at");
                    throw Problem{at(later), "a camera key takes \"look_at\" or \"rotation\", not both"};
                }
            }
            if (key.lookAt && *key.lookAt == key.position)
                throw Problem{at(*k->get("look_at")),
                              "\"look_at\" is the key's \"position\": the camera would look nowhere"};
            camera.keys.push_back(std::move(key));
        }
        if (camera.from && !camera.keys.empty())
            throw Problem{at(*t.get("from")),
                          "\"from\" and camera keys do not go together: the camera follows a model's own camera "
                          "or its keys"};
    }
    sortKeys(camera.keys, "camera key");
}

RecipeModel Reader::readModel(const toml::table& t, std::string& written) const {
    checkKeys(t, {"file", "name", "position", "rotation", "scale", "double_sided", "loop", "spin", "key"});
    RecipeModel model;
    model.source = sourceOf(t, {"model"}, true);
    const toml::node* file = t.get("file");
    if (!file) throw Problem{at(t), "a model needs \"file\""};
    model.file = this->file(*file, "file", {".gltf", ".glb", ".obj"}, "a model is a .gltf, .glb or .obj file");
    written = string(*file, "file");
    if (const toml::node* name = t.get("name")) {
        model.name = string(*name, "name");
        if (!text::isSceneName(model.name)) wrongType(*name, "name", "letters, digits and \"_\" (\"Box_2\")");
    } else {
        model.name = text::nameFromFile(written);
    }
    if (const toml::node* n = t.get("position")) model.position = vec3(*n, "position");
    if (const toml::node* n = t.get("rotation")) model.rotation = vec3(*n, "rotation");
    if (const toml::node* n = t.get("scale")) model.scale = scale(*n);
    if (const toml::node* n = t.get("double_sided")) model.doubleSided = boolean(*n, "double_sided");
    if (const toml::node* n = t.get("loop")) model.loop = boolean(*n, "loop");
    if (const toml::node* n = t.get("spin")) model.spin = vec3(*n, "spin");
    if (const toml::node* keys = t.get("key")) {
        for (const toml::table* k : tables(*keys, "key", "[[model.key]] tables")) {
            checkKeys(*k, {"time", "position", "rotation", "scale"});
            ModelKey key;
            key.source = sourceOf(*k, {"model", "key"}, true);
            if (!k->get("time")) throw Problem{at(*k), "a model key needs \"time\""};
            if (!k->get("position") && !k->get("rotation") && !k->get("scale"))
                throw Problem{at(*k), "a model key needs \"position\", \"rotation\" or \"scale\""};
            key.frame = keyFrame(*k->get("time"));
            if (const toml::node* n = k->get("position")) key.position = vec3(*n, "position");
            if (const toml::node* n = k->get("rotation")) key.rotation = vec3(*n, "rotation");
            if (const toml::node* n = k->get("scale")) key.scale = scale(*n);
            model.keys.push_back(std::move(key));
        }
    }
    sortKeys(model.keys, "key of model " + inQuotes(model.name));
    return model;
}

Recipe Reader::read(const toml::table& root) {
    std::optional<SourcePosition> nonFinite;
    double value = 0;
    findNonFinite(root, nonFinite, value);
    if (nonFinite)
        throw Problem{*nonFinite, std::string("a number must be finite, not ") +
                                      (std::isnan(value) ? "nan" : value < 0 ? "-inf" : "inf")};
    checkKeys(root, {"title", "author", "description", "start", "length", "bpm", "music", "logo", "backdrop",
                     "camera", "model"});

    Recipe recipe;
    recipe.file = path_;
    recipe.textDigest = text::digest(text_);
    recipe.source = sourceOf(root, {}, false);
    recipe.source.at = {1, 1};
    firstHeader(root, recipe.firstTableLine);

    if (const toml::node* bpm = root.get("bpm")) {
        if (!(number(*bpm, "bpm") > 0)) wrongType(*bpm, "bpm", "a number above 0");
        recipe.bpm = bpm_ = number(*bpm, "bpm");
    }
    if (const toml::node* start = root.get("start")) recipe.start = start_ = frameOf(*start, "start");
    if (const toml::node* length = root.get("length")) {
        recipe.length = length_ = frameOf(*length, "length");
        if (*length_ < start_)
            throw Problem{at(*length), described(*length, "length") + " (frame " + std::to_string(*length_) +
                                           ") is before the start (frame " + std::to_string(start_) + ")"};
    }
    for (const Entry& entry : entriesOf(root)) {
        const toml::node& node = *entry.node;
        if (entry.name == "title") recipe.title = string(node, "title");
        else if (entry.name == "author") recipe.author = string(node, "author");
        else if (entry.name == "description") recipe.description = string(node, "description");
        else if (entry.name == "music")
            recipe.music = file(node, "music", {".mp3", ".wav", ".flac"}, "the music is an .mp3, .wav or .flac file");
        else if (entry.name == "logo")
            recipe.logo = file(node, "logo", {".jpg", ".jpeg", ".png"}, "the logo is a .jpg, .jpeg or .png file");
        else if (entry.name == "backdrop") recipe.backdrop = colour(node);
    }
    if (const toml::node* camera = root.get("camera")) readCamera(table(*camera, "camera", "a table"), recipe);

    std::map<std::string, int> names;  // the line of each model's name
    std::vector<std::string> files;    // each model's file as written
    if (const toml::node* models = root.get("model")) {
        for (const toml::table* t : tables(*models, "model", "[[model]] tables")) {
            recipe.models.push_back(readModel(*t, files.emplace_back()));
            const RecipeModel& model = recipe.models.back();
            const SourcePosition where = t->get("name") ? at(*t->get("name")) : model.source.at;
            if (const auto [it, fresh] = names.emplace(model.name, where.line); !fresh)
                throw Problem{where, "a second model named " + inQuotes(model.name) + " (the first is at line " +
                                         std::to_string(it->second) + "); give it a \"name\" of its own"};
        }
    }
    if (recipe.camera.from && !names.contains(*recipe.camera.from) &&
        std::find(files.begin(), files.end(), *recipe.camera.from) == files.end()) {
        throw Problem{at(*root.get("camera")->as_table()->get("from")),
                      "\"from\" names no model's name or file: " + inQuotes(*recipe.camera.from)};
    }
    return recipe;
}

}  // namespace

RecipeResult readRecipe(std::string_view text, const std::filesystem::path& path, const FileCheck& check) {
    RecipeResult result;
    try {
        if (text.size() > kMaxRecipeSize) {
            const text::Lines lines(text.substr(0, kMaxRecipeSize + 1));
            throw Problem{lines.position(kMaxRecipeSize),
                          "a recipe holds at most 1 MiB; this one goes on past it here"};
        }
        toml::table root;
        try {
            root = toml::parse(text);
        } catch (const toml::parse_error& error) {
            throw Problem{positionOf(error.source().begin), std::string(error.description())};
        }
        result.recipe = Reader(text, path, check).read(root);
    } catch (const Problem& problem) {
        result.recipe = {};
        result.error = RecipeError{path, problem.at, problem.what};
    }
    return result;
}

}  // namespace zor::recipe
