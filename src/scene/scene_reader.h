#pragma once
// The scene file reader: a subset of the LightWave scene text (preview frame
// range, frame rate, loaded and null objects with motions, parents, pivots,
// dissolve and morph envelopes and bones, lights, the camera). Unknown tokens
// are skipped one at a time. Objects are loaded through the function the
// caller gives as their lines are met; after the last token parents are
// linked, morph targets set and bones prepared.
//
// Nothing from the file is trusted: indexes that name nothing and links that
// would close a cycle are dropped, impossible motion blocks keep no keys, and
// every such decision is reported with the file name and line.

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "archive/data_source.h"
#include "archive/diagnostics.h"
#include "scene/scene.h"
#include "scene/tokens.h"

namespace zor {

// Fills `mesh` from the object file `name` (a base name such as "Ship.lwo").
using ObjectLoadFunction = std::function<void(std::string& name, Mesh& mesh)>;

// Where the reader met things in the scene text, for tools that explain a
// scene to its author. Filling it changes nothing the reader does.
struct SceneSourceLines {
    struct Keyword {
        std::string keyword;
        int line = 0;   // where it was first met
        int count = 0;  // how often
    };
    // Lines of the header values; 0 when not found.
    int firstFrame = 0;
    int lastFrame = 0;
    int frameStep = 0;
    int framesPerSecond = 0;
    std::vector<int> objects;  // per object: its LoadObject or AddNullObject line
    // Per object: the name written after AddNullObject (on the same line);
    // empty for loaded objects and unnamed nulls. The player keeps "NULL".
    std::vector<std::string> nullNames;
    std::vector<int> lights;   // per light: its AddLight line
    // Keywords read into fields that nothing evaluates: the camera's
    // ZoomFactor and the lights' FlareIntensity.
    std::vector<Keyword> unused;
    // Keywords no rule took: the first token of a line that was skipped,
    // in the order first met (the header keywords, read by their own
    // search, are not among them).
    std::vector<Keyword> skipped;
    // Numbers taken otherwise than the format intends: tokens read in part,
    // and the lines each key of every motion and envelope block came from.
    ReadNotes reads;
};

struct SceneLoadContext {
    DataSource source;              // disk first, then the archive
    ObjectLoadFunction loadObject;  // empty: objects simply get no mesh
    // Each object is loaded with the scene file and its line as where its
    // problems were named (Diagnostics::NamedBy).
    Diagnostics* diagnostics = nullptr;
    SceneSourceLines* lines = nullptr;  // filled when given
};

// Reads the scene file `fileName` through context.source. False (and an
// error diagnostic) when it is found neither on disk nor in the archive; the
// scene then has no objects and no lights and keeps its frame fields.
bool readScene(Scene& scene, std::string_view fileName, const SceneLoadContext& context);

// The same from a text already in memory; `fileName` names it in messages.
void parseScene(Scene& scene, std::string_view text, std::string_view fileName,
                const ObjectLoadFunction& loadObject, Diagnostics* diagnostics,
                SceneSourceLines* lines = nullptr);

// A motion block after its keyword and name: channel count, key count, the
// keys, then "EndBehavior" and its value.
void readMotion(TokenStream& tokens, Motion& motion);
// After an envelope keyword: either one number (a constant) or "(envelope)"
// followed by a one-channel motion block.
void readEnvelope(TokenStream& tokens, Motion& motion);

// "Objects\Ship.old.lwo" -> "Ship.lwo": the part after the last backslash, up
// to its first full stop, plus ".lwo".
std::string objectBaseName(std::string_view fileName);

inline constexpr std::size_t kMaxStoredObjectName = 27;

// What the scene as a whole may hold: objects past these totals are left
// empty (a warning says so). Each LoadObject line loads its file anew and each
// bone holds a weight for every point of its object, so a few bytes of scene
// text could otherwise ask for gigabytes: one object file on many lines, or
// many bones on a large object. The bounds are far above any scene the player
// can draw at its pace (64 MiB of points, 32 MiB of weights).
inline constexpr std::uint64_t kMaxScenePoints = std::uint64_t{1} << 20;
inline constexpr std::uint64_t kMaxScenePolygons = std::uint64_t{1} << 20;
inline constexpr std::uint64_t kMaxSceneWeights = std::uint64_t{1} << 23;

// Adds an object: loaded from `fileName` through `loadObject`, or a null
// object when there is no name. "mcube.lwo" and "mball.lwo" load nothing and
// are unlit.
SceneObject& appendObject(Scene& scene, std::optional<std::string_view> fileName,
                          const ObjectLoadFunction& loadObject);
SceneLight& appendLight(Scene& scene);

// True when the scene names objects to load ("mcube.lwo" and "mball.lwo"
// aside) and not one of them brought any geometry: what a tool sees when it
// reads a scene from another folder than the one holding its files.
bool loadedNoObject(const Scene& scene);
// The first bone of an object also makes its weight sums and rest points.
SceneBone& appendBone(SceneObject& object);

}  // namespace zor
