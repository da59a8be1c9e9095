#pragma once
// The author's recipe, "demo.toml": the one place a demo is directed. It
// names the model files, where each stands and how it moves, the camera's
// keys, the length, the beat, the music, the logo and the colour behind
// everything; the scene file is built from it and never edited by hand.
//
// Reading (readRecipe, loadRecipe). The text is TOML (read with toml++), at
// most kMaxRecipeSize bytes of UTF-8. Work goes in this order: the size, the
// TOML itself, non-finite numbers anywhere, then each table's keys (unknown
// ones first, then the required ones, then each value's type and range),
// the top level (bpm, start and length before the rest, as times need
// them), the camera, the models, and last whether the camera's "from" names
// a model. The first problem met ends the read: one RecipeError, printed as
// "demo.toml:LINE:COLUMN: what is wrong" (the recipe's path as the caller
// gave it, then where the offending key or value starts; columns count
// characters, as toml++ does). Nothing else happens: no record is half made.
//
// Times. Every time is a frame of the player's clock, counted from frame 0:
//   "15s"  seconds (decimals allowed); a bare TOML number is seconds too
//   "454f" a frame, whole
//   "32b"  beats (decimals allowed), which need "bpm"
//   "3:2"  bar 3, beat 2, both from 1, kBeatsPerBar beats a bar: beat
//          (bar - 1) x 4 + (beat - 1); needs "bpm"
// Seconds and beats become frames through frameAtSeconds (scene/timeline.h),
// the frame the player shows that many seconds in. A key's time lies within
// start..length (both ends included); two keys of one list never share a
// frame.
//
// Files. "file", "music" and "logo" are relative to the recipe's folder
// (absolute ones stay) and are kept absolute. Each must end as its kind does
// (a model .gltf, .glb or .obj; music .mp3, .wav or .flac; a logo .jpg, .jpeg
// or .png, letter case ignored) and be readable: the FileCheck the caller
// passes is asked (checkFileOnDisk by default: the file opens as a regular
// file), and its reason ends the read ("models/box.gltf: no such file").
//
// Names. A model's name is its "name", else its file's stem made into a scene
// name: ASCII letters, digits and "_", every other character becoming "_"
// ("my box.v2.glb" gives "my_box_v2"; a stem with nothing left gives
// "model"). A name written must be such a name already. Names are unique in
// a recipe (letter case counts).
//
// For the builder: frames are absolute (not from `start`); keys are in time
// order; values not written hold their defaults below (zero means the
// default, as everywhere); an absent `length` or `scale` is the builder's to
// decide. Positions and rotations are in the player's own axes and units.
//
// Writing keys back (withCameraKey, withModelKey, withRange): pure functions
// from the recipe's text to the new text, for the preview. `recipe` must be
// what readRecipe gave for exactly that text (its digest is compared; another
// text is refused). Only the lines of the key added or replaced change: a
// replaced key keeps its header, its "time" line, its comments and every key
// spelling; its values are replaced where they stand (a "look_at" becomes a
// "rotation" in its place, or back), and a model key's values that the new
// key leaves out are removed. A new key is a new header table in time order
// among its siblings. Every other byte stays as
// it was: comments, order, blank lines, CRLF line ends (new lines take the
// file's first line end), a missing final newline, a byte-order mark. Times
// are written "Nb" when `bpm` is set and the frame is exactly beat N's frame,
// else "Nf"; numbers with at most 3 decimals, never "-0". Before it returns,
// an edit reads its own text back and compares it with the recipe plus the
// key (sameDirection), so a returned text always reads. Where a table cannot
// be edited safely (written inline, by dotted keys, or without its own
// header) the edit is refused with the reason instead. The caller writes the
// text beside the recipe and renames it into place (writeFileByRename in
// system/disk_files.h) and keeps the old text for taking the write back.

#include <array>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "scene/timeline.h"

namespace zor::recipe {

// A longer recipe is refused.
inline constexpr std::size_t kMaxRecipeSize = std::size_t{1} << 20;
inline constexpr int kBeatsPerBar = zor::kBeatsPerBar;

using Vec3 = std::array<double, 3>;

struct Rgb {
    std::uint8_t r = 0, g = 0, b = 0;
    bool operator==(const Rgb&) const = default;
};

// 1-based; columns count characters (UTF-8 code points), as toml++ does.
// Line 0: nowhere in the text.
struct SourcePosition {
    int line = 0;
    int column = 0;
    bool operator==(const SourcePosition&) const = default;
};

// Where one key of a table and its value stand in the text.
struct KeySource {
    std::string name;
    SourcePosition key;
    SourcePosition value;     // the value's first character
    SourcePosition valueEnd;  // one past its last character
    bool operator==(const KeySource&) const = default;
};

// Where a table stands in the text: what the writer edits it by.
struct TableSource {
    // The header's "[", or where an inline or dotted table starts.
    SourcePosition at;
    // Written under a header line naming exactly this table ("[camera]",
    // "[[camera.key]]", "[[model]]", "[[model.key]]"); only such tables are
    // edited.
    bool header = false;
    // The last line holding the table's own keys and values (not those of
    // tables below it under headers of their own); the header's line when it
    // has none.
    int lastLine = 0;
    std::vector<KeySource> keys;  // in the order of the text
    bool operator==(const TableSource&) const = default;
};

struct CameraKey {
    std::int32_t frame = 0;
    Vec3 position{};
    // What the camera looks at, or its rotation (heading, pitch, bank in
    // degrees); never both. Neither: heading, pitch and bank 0.
    std::optional<Vec3> lookAt;
    std::optional<Vec3> rotation;
    TableSource source;
    bool operator==(const CameraKey&) const = default;
};

struct RecipeCamera {
    // A model's name or its file as written in the recipe: that source's own
    // camera is used. Never together with keys.
    std::optional<std::string> from;
    std::vector<CameraKey> keys;  // in time order; a key's values hold until the next
    TableSource source;           // at.line 0: the recipe has no camera table
    bool operator==(const RecipeCamera&) const = default;
};

// A model's placement at a frame; what a key leaves out follows the other keys.
struct ModelKey {
    std::int32_t frame = 0;
    std::optional<Vec3> position;
    std::optional<Vec3> rotation;  // heading, pitch, bank, degrees
    std::optional<Vec3> scale;     // x, y, z factors, each above 0
    TableSource source;
    bool operator==(const ModelKey&) const = default;
};

struct RecipeModel {
    std::filesystem::path file;  // absolute
    std::string name;            // unique in the recipe
    Vec3 position{};
    Vec3 rotation{};             // heading, pitch, bank, degrees
    // x, y, z factors, each above 0 (one number written: all three); none:
    // fitted into the view as zor-import fits a model.
    std::optional<Vec3> scale;
    bool doubleSided = false;    // every surface drawn from both sides
    bool loop = false;           // the source's own animation repeats over the length
    Vec3 spin{};                 // degrees a second about the x, y and z axes, on top of the keys
    std::vector<ModelKey> keys;  // in time order
    TableSource source;
    bool operator==(const RecipeModel&) const = default;
};

struct Recipe {
    std::filesystem::path file;  // the recipe's path as the caller gave it
    std::string title;
    std::string author;
    std::string description;
    std::int32_t start = 0;              // the range's first frame
    std::optional<std::int32_t> length;  // the range's last frame; none: the builder's choice
    std::optional<double> bpm;           // beats a minute, above 0
    std::optional<std::filesystem::path> music;  // absolute
    std::optional<std::filesystem::path> logo;   // absolute
    std::optional<Rgb> backdrop;                 // the colour behind everything
    RecipeCamera camera;
    std::vector<RecipeModel> models;     // in the order of the text
    // The top level: lastLine is the last line of its own keys, which come
    // before every table header.
    TableSource source;
    int firstTableLine = 0;              // the first table header's line; 0: none
    std::uint64_t textDigest = 0;        // of the text read, which the writer checks
    bool operator==(const Recipe&) const = default;
};

// Whether two recipes direct the same demo: every field equal but where
// things stand in the text.
bool sameDirection(const Recipe& a, const Recipe& b);

struct RecipeError {
    std::filesystem::path file;  // the recipe's path as the caller gave it
    SourcePosition at;           // line 0: the file as a whole (it cannot be read)
    std::string what;
    // "demo.toml:3:5: what", or "demo.toml: what" without a line.
    std::string message() const;
};

struct RecipeResult {
    Recipe recipe;  // when ok()
    std::optional<RecipeError> error;
    bool ok() const { return !error; }
};

// Why a file the recipe names cannot be read ("no such file", "permission
// denied", "is a folder"), or "" when it can.
using FileCheck = std::function<std::string(const std::filesystem::path&)>;
// Opens the file as a regular file (never waiting on a FIFO) and closes it.
std::string checkFileOnDisk(const std::filesystem::path& file);

// Reads a recipe from its text; files are resolved against path's folder
// and checked by `check`.
RecipeResult readRecipe(std::string_view text, const std::filesystem::path& path,
                        const FileCheck& check = checkFileOnDisk);

struct RecipeText {
    std::string text;
    std::optional<RecipeError> error;  // the file cannot be read
};
// The recipe file's bytes, at most kMaxRecipeSize + 1 of them (so that
// readRecipe refuses a longer file).
RecipeText readRecipeText(const std::filesystem::path& path);
// readRecipeText, then readRecipe.
RecipeResult loadRecipe(const std::filesystem::path& path, const FileCheck& check = checkFileOnDisk);

// The frame of beat `beats` (from 0) at `bpm` beats a minute.
std::int32_t beatFrame(double beats, double bpm);
// A frame as the writer writes it: "32b" when bpm is given and the frame is
// exactly a whole beat's frame, else "454f".
std::string timeText(std::int32_t frame, std::optional<double> bpm);

// A new text of the recipe, or why none was made.
struct RecipeEdit {
    std::string text;   // the whole new recipe, when ok()
    int line = 0;       // where the key written starts in it
    std::string error;  // why nothing was written
    bool ok() const { return error.empty(); }
};

// The camera key at key.frame, replacing one at that frame or added in time
// order (when it goes first: after "[camera]"'s own lines, or before the
// first key where the keys have no "[camera]" header; a "[camera]" table is
// added at the end when there is no camera). Refused when the camera is
// taken "from" a model, or the frame lies outside start..length.
RecipeEdit withCameraKey(std::string_view text, const Recipe& recipe, const CameraKey& key);
// The key of the model of that name, likewise: a new key follows the key
// before it in time, or the model's own keys.
RecipeEdit withModelKey(std::string_view text, const Recipe& recipe, std::string_view modelName,
                        const ModelKey& key);
// The top-level "start" and "length", replaced where written, else added
// after the top level's last line (before the first table header); a start
// of 0 that is not written stays unwritten, a value written that already
// gives its frame stays as written ("4s" is not rewritten "121f"), and no
// `length` leaves the length as it is, written or not (the builder's
// choice). Refused when a key would lie outside the new range.
RecipeEdit withRange(std::string_view text, const Recipe& recipe, std::int32_t start,
                     std::optional<std::int32_t> length);

}  // namespace zor::recipe
