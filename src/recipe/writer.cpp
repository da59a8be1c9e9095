// Keys written back into the recipe's text by the positions the reader kept
// (recipe.h says what changes and what stays). Every edit is a list of byte
// changes on the old text: a value replaced, a key's lines removed, new
// lines inserted at a line's start; the changes never overlap, and the new
// text is read back before it is returned.

#include <algorithm>
#include <cmath>

#include "recipe/recipe.h"
#include "recipe/recipe_text.h"

namespace zor::recipe {

namespace {

std::string vectorText(const Vec3& v) {
    return "[" + text::numberText(v[0]) + ", " + text::numberText(v[1]) + ", " + text::numberText(v[2]) + "]";
}
// A scale of three equal factors is written as one number.
std::string scaleText(const Vec3& v) {
    return v[0] == v[1] && v[1] == v[2] ? text::numberText(v[0]) : vectorText(v);
}
bool finite(const Vec3& v) { return std::isfinite(v[0]) && std::isfinite(v[1]) && std::isfinite(v[2]); }
bool finite(const std::optional<Vec3>& v) { return !v || finite(*v); }
// The value as the text will hold it.
std::optional<Vec3> asWritten(std::optional<Vec3> v) {
    if (v)
        for (double& x : *v) x = text::asWritten(x);
    return v;
}

const KeySource* findKey(const TableSource& table, std::string_view name) {
    for (const KeySource& key : table.keys)
        if (key.name == name) return &key;
    return nullptr;
}

RecipeEdit refused(std::string why) {
    RecipeEdit edit;
    edit.error = std::move(why);
    return edit;
}

class Editor {
public:
    explicit Editor(std::string_view text) : text_(text), lines_(text) {}

    // The key's value becomes `value`.
    void replaceValue(const KeySource& key, std::string value) {
        change(lines_.offset(key.value), lines_.offset(key.valueEnd), std::move(value));
    }
    // The key and its value become another key and value, in their place.
    void replaceKey(const KeySource& key, std::string_view name, const std::string& value) {
        change(lines_.offset(key.key), lines_.offset(key.valueEnd), std::string(name) + " = " + value);
    }
    // The key's lines go, with their line end (or, on a last line without
    // one, the line end before them).
    void removeKey(const KeySource& key) {
        std::size_t from = lines_.start(key.key.line);
        const std::size_t to = lines_.next(key.valueEnd.line);
        if (!lines_.ended(key.valueEnd.line) && key.key.line > 1) {
            from = lines_.next(key.key.line - 1) - 1;
            if (from > 0 && text_[from - 1] == '\r') --from;
        }
        change(from, to, "");
    }
    // Sets a key of a table: its value replaced, or a new line after the table's own lines.
    void setKey(const TableSource& table, std::string_view name, const std::string& value) {
        if (const KeySource* key = findKey(table, name)) return replaceValue(*key, value);
        insertAfter(table.lastLine, {indentOf(table) + std::string(name) + " = " + value});
    }
    void removeKeyIfThere(const TableSource& table, std::string_view name) {
        if (const KeySource* key = findKey(table, name)) removeKey(*key);
    }
    // New lines after line `line`; after line 0 is before line 1.
    void insertAfter(int line, const std::vector<std::string>& newLines) {
        if (line >= 1 && !lines_.ended(line)) return change(text_.size(), text_.size(), eol() + joined(newLines));
        change(line < 1 ? lines_.start(1) : lines_.next(line), line < 1 ? lines_.start(1) : lines_.next(line),
               joined(newLines) + eol());
    }
    // New lines at the end of the text, after a blank line.
    void append(const std::vector<std::string>& newLines) {
        if (text_.empty()) return change(0, 0, joined(newLines) + eol());
        const bool ended = text_.back() == '\n';
        const int last = lines_.count() - (ended ? 1 : 0);
        const std::size_t from = lines_.start(last), to = ended ? lines_.next(last) : text_.size();
        const bool blank = text_.substr(from, to - from).find_first_not_of(" \t\r\n") == std::string_view::npos;
        std::string block = ended ? "" : eol();
        if (!blank) block += eol();
        block += joined(newLines);
        change(text_.size(), text_.size(), block + (ended ? eol() : ""));
    }

    // The old text with every change made; empty when two changes overlap
    // (which the edits never ask for).
    std::optional<std::string> result() const {
        std::vector<Change> sorted = changes_;
        std::stable_sort(sorted.begin(), sorted.end(),
                         [](const Change& a, const Change& b) { return a.from < b.from; });
        std::string out;
        std::size_t at = 0;
        for (const Change& c : sorted) {
            if (c.from < at) return std::nullopt;
            out.append(text_.substr(at, c.from - at));
            out += c.text;
            at = c.to;
        }
        out.append(text_.substr(at));
        return out;
    }

    const std::string& eol() const { return lines_.lineEnd(); }

private:
    struct Change {
        std::size_t from = 0, to = 0;
        std::string text;
    };
    void change(std::size_t from, std::size_t to, std::string text) {
        changes_.push_back({from, std::max(from, to), std::move(text)});
    }
    std::string joined(const std::vector<std::string>& newLines) const {
        std::string out;
        for (std::size_t i = 0; i < newLines.size(); ++i) out += (i ? eol() : "") + newLines[i];
        return out;
    }
    // The spaces before a table's first key, for a key added beside it.
    std::string indentOf(const TableSource& table) const {
        if (table.keys.empty()) return "";
        const std::size_t from = lines_.start(table.keys.front().key.line);
        std::size_t to = from;
        while (to < text_.size() && (text_[to] == ' ' || text_[to] == '\t')) ++to;
        return std::string(text_.substr(from, to - from));
    }

    std::string_view text_;
    text::Lines lines_;
    std::vector<Change> changes_;
};

// What every edit checks first: the recipe is of this text, the frame lies
// in the range.
std::string precheck(std::string_view text, const Recipe& recipe, std::int32_t frame) {
    if (recipe.textDigest != text::digest(text)) return "the recipe was read from another text; read it again";
    if (frame < recipe.start)
        return "frame " + std::to_string(frame) + " is before the start (frame " + std::to_string(recipe.start) + ")";
    if (recipe.length && frame > *recipe.length)
        return "frame " + std::to_string(frame) + " is past the length (frame " + std::to_string(*recipe.length) + ")";
    return {};
}

// Whether the keys of a list can be edited: written as header tables (an
// inline array, or a "key" entry without tables, cannot).
template <class Key>
bool keysEditable(const TableSource& parent, const std::vector<Key>& keys) {
    if (!findKey(parent, "key")) return true;
    return !keys.empty() && std::all_of(keys.begin(), keys.end(), [](const Key& k) { return k.source.header; });
}

// The new text read back: it must read, as `expected`. lineOf gives the
// line of the key written in the recipe read back.
template <class LineOf>
RecipeEdit finish(const Editor& editor, const Recipe& recipe, const Recipe& expected, LineOf lineOf) {
    const std::optional<std::string> text = editor.result();
    if (!text) return refused("the edit's changes overlap");
    // The files were checked when the recipe was read.
    const FileCheck none = [](const std::filesystem::path&) { return std::string(); };
    const RecipeResult back = readRecipe(*text, recipe.file, none);
    if (!back.ok()) return refused("the edited recipe would not read: " + back.error->message());
    if (!sameDirection(back.recipe, expected)) return refused("the edited recipe would not read as the edit meant");
    RecipeEdit edit;
    edit.text = *text;
    edit.line = lineOf(back.recipe);
    return edit;
}

template <class Key>
void putKey(std::vector<Key>& keys, Key key) {
    key.source = {};
    const auto same = std::find_if(keys.begin(), keys.end(), [&](const Key& k) { return k.frame == key.frame; });
    if (same != keys.end()) *same = std::move(key);
    else keys.push_back(std::move(key));
    std::stable_sort(keys.begin(), keys.end(), [](const Key& a, const Key& b) { return a.frame < b.frame; });
}

// The last key before a frame in time, if any: a new key follows it.
template <class Key>
const Key* keyBefore(const std::vector<Key>& keys, std::int32_t frame) {
    const Key* before = nullptr;
    for (const Key& k : keys)
        if (k.frame < frame) before = &k;
    return before;
}

}  // namespace

RecipeEdit withCameraKey(std::string_view text, const Recipe& recipe, const CameraKey& key) {
    if (std::string why = precheck(text, recipe, key.frame); !why.empty()) return refused(why);
    if (!finite(key.position) || !finite(key.lookAt) || !finite(key.rotation))
        return refused("a camera key's numbers must be finite");
    CameraKey written = key;
    written.position = *asWritten(key.position);
    written.lookAt = asWritten(key.lookAt);
    written.rotation = asWritten(key.rotation);
    if (written.lookAt && written.rotation) return refused("a camera key takes \"look_at\" or \"rotation\", not both");
    if (written.lookAt && *written.lookAt == written.position)
        return refused("\"look_at\" is the key's \"position\": the camera would look nowhere");
    const RecipeCamera& camera = recipe.camera;
    if (camera.from)
        return refused("the camera follows the camera of \"" + *camera.from +
                       "\" (\"from\"); remove \"from\" to set keys");
    if (!keysEditable(camera.source, camera.keys))
        return refused("the camera keys are written inline (\"key = [...]\"); write them as [[camera.key]] tables");
    if (camera.source.at.line > 0 && !camera.source.header && camera.keys.empty())
        return refused("the camera table is written inline or by dotted keys; give it a [camera] header");

    Editor editor(text);
    const auto same = std::find_if(camera.keys.begin(), camera.keys.end(),
                                   [&](const CameraKey& k) { return k.frame == written.frame; });
    if (same != camera.keys.end()) {
        const TableSource& table = same->source;
        editor.setKey(table, "position", vectorText(written.position));
        // A look_at becomes a rotation (or the other way) in its own place.
        const KeySource* lookAt = findKey(table, "look_at");
        const KeySource* rotation = findKey(table, "rotation");
        if (written.lookAt && rotation) {
            editor.replaceKey(*rotation, "look_at", vectorText(*written.lookAt));
        } else if (written.lookAt) {
            editor.setKey(table, "look_at", vectorText(*written.lookAt));
        } else if (written.rotation && lookAt) {
            editor.replaceKey(*lookAt, "rotation", vectorText(*written.rotation));
        } else if (written.rotation) {
            editor.setKey(table, "rotation", vectorText(*written.rotation));
        } else {
            editor.removeKeyIfThere(table, "look_at");
            editor.removeKeyIfThere(table, "rotation");
        }
    } else {
        std::vector<std::string> lines = {"[[camera.key]]", "time = \"" + timeText(written.frame, recipe.bpm) + "\"",
                                          "position = " + vectorText(written.position)};
        if (written.lookAt) lines.push_back("look_at = " + vectorText(*written.lookAt));
        if (written.rotation) lines.push_back("rotation = " + vectorText(*written.rotation));
        if (const CameraKey* before = keyBefore(camera.keys, written.frame)) {
            editor.insertAfter(before->source.lastLine, lines);
        } else if (camera.source.header) {
            editor.insertAfter(camera.source.lastLine, lines);
        } else if (!camera.keys.empty()) {
            // No [camera] header: before the first key's header.
            int first = camera.keys.front().source.at.line;
            for (const CameraKey& k : camera.keys) first = std::min(first, k.source.at.line);
            editor.insertAfter(first - 1, lines);
        } else {
            lines.insert(lines.begin(), "[camera]");
            editor.append(lines);
        }
    }
    Recipe expected = recipe;
    putKey(expected.camera.keys, written);
    return finish(editor, recipe, expected, [&](const Recipe& back) {
        for (const CameraKey& k : back.camera.keys)
            if (k.frame == written.frame) return k.source.at.line;
        return 0;
    });
}

RecipeEdit withModelKey(std::string_view text, const Recipe& recipe, std::string_view modelName,
                        const ModelKey& key) {
    if (std::string why = precheck(text, recipe, key.frame); !why.empty()) return refused(why);
    const auto model = std::find_if(recipe.models.begin(), recipe.models.end(),
                                    [&](const RecipeModel& m) { return m.name == modelName; });
    if (model == recipe.models.end()) return refused("no model is named \"" + std::string(modelName) + "\"");
    if (!key.position && !key.rotation && !key.scale)
        return refused("a model key needs \"position\", \"rotation\" or \"scale\"");
    if (!finite(key.position) || !finite(key.rotation) || !finite(key.scale))
        return refused("a model key's numbers must be finite");
    ModelKey written = key;
    written.position = asWritten(key.position);
    written.rotation = asWritten(key.rotation);
    written.scale = asWritten(key.scale);
    if (written.scale && !((*written.scale)[0] > 0 && (*written.scale)[1] > 0 && (*written.scale)[2] > 0))
        return refused("a model key's scale wants factors above 0");
    if (!model->source.header)
        return refused("model \"" + model->name + "\" is not under a [[model]] header of its own");
    if (!keysEditable(model->source, model->keys))
        return refused("the keys of model \"" + model->name +
                       "\" are written inline (\"key = [...]\"); write them as [[model.key]] tables");

    Editor editor(text);
    const auto same = std::find_if(model->keys.begin(), model->keys.end(),
                                   [&](const ModelKey& k) { return k.frame == written.frame; });
    if (same != model->keys.end()) {
        const TableSource& table = same->source;
        auto set = [&](std::string_view name, const std::optional<Vec3>& value, std::string (*format)(const Vec3&)) {
            if (value) editor.setKey(table, name, format(*value));
            else editor.removeKeyIfThere(table, name);
        };
        set("position", written.position, vectorText);
        set("rotation", written.rotation, vectorText);
        set("scale", written.scale, scaleText);
    } else {
        std::vector<std::string> lines = {"[[model.key]]", "time = \"" + timeText(written.frame, recipe.bpm) + "\""};
        if (written.position) lines.push_back("position = " + vectorText(*written.position));
        if (written.rotation) lines.push_back("rotation = " + vectorText(*written.rotation));
        if (written.scale) lines.push_back("scale = " + scaleText(*written.scale));
        const ModelKey* before = keyBefore(model->keys, written.frame);
        editor.insertAfter(before ? before->source.lastLine : model->source.lastLine, lines);
    }
    Recipe expected = recipe;
    const std::size_t index = static_cast<std::size_t>(model - recipe.models.begin());
    putKey(expected.models[index].keys, written);
    return finish(editor, recipe, expected, [&](const Recipe& back) {
        for (const ModelKey& k : back.models[index].keys)
            if (k.frame == written.frame) return k.source.at.line;
        return 0;
    });
}

RecipeEdit withRange(std::string_view text, const Recipe& recipe, std::int32_t start,
                     std::optional<std::int32_t> length) {
    if (recipe.textDigest != text::digest(text)) return refused("the recipe was read from another text; read it again");
    if (start < 0) return refused("the start (frame " + std::to_string(start) + ") is before 0");
    const std::optional<std::int32_t> last = length ? length : recipe.length;
    if (last && *last < start)
        return refused("the length (frame " + std::to_string(*last) + ") is before the start (frame " +
                       std::to_string(start) + ")");
    auto outside = [&](std::int32_t frame) { return frame < start || (last && frame > *last); };
    for (const CameraKey& k : recipe.camera.keys)
        if (outside(k.frame))
            return refused("the camera key at frame " + std::to_string(k.frame) + " (line " +
                           std::to_string(k.source.at.line) + ") lies outside the new range");
    for (const RecipeModel& m : recipe.models)
        for (const ModelKey& k : m.keys)
            if (outside(k.frame))
                return refused("the key of model \"" + m.name + "\" at frame " + std::to_string(k.frame) + " (line " +
                               std::to_string(k.source.at.line) + ") lies outside the new range");

    Editor editor(text);
    std::vector<std::string> added;
    auto set = [&](std::string_view name, std::int32_t frame, std::optional<std::int32_t> now, bool always) {
        const std::string value = "\"" + timeText(frame, recipe.bpm) + "\"";
        if (const KeySource* key = findKey(recipe.source, name)) {
            if (now != frame) editor.replaceValue(*key, value);
        } else if (always) {
            added.push_back(std::string(name) + " = " + value);
        }
    };
    set("start", start, recipe.start, start != 0);
    if (length) set("length", *length, recipe.length, true);
    if (!added.empty()) {
        if (recipe.source.lastLine > 0) editor.insertAfter(recipe.source.lastLine, added);
        else if (recipe.firstTableLine > 0) editor.insertAfter(recipe.firstTableLine - 1, added);
        else editor.append(added);
    }
    Recipe expected = recipe;
    expected.start = start;
    expected.length = last;
    return finish(editor, recipe, expected, [](const Recipe& back) {
        const KeySource* key = findKey(back.source, "length");
        return key ? key->key.line : 0;
    });
}

}  // namespace zor::recipe
