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

#include "archive/archive.h"
#include "archive/diagnostics.h"
#include "scene/scene.h"
#include "scene/tokens.h"

namespace zor {

// Fills `mesh` from the object file `name` (a base name such as "Ship.lwo").
using ObjectLoadFunction = std::function<void(std::string& name, Mesh& mesh)>;

struct SceneLoadContext {
    DataSource source;              // disk first, then the archive
    ObjectLoadFunction loadObject;  // empty: objects simply get no mesh
    Diagnostics* diagnostics = nullptr;
};

// Reads the scene file `fileName` through context.source. False (and an
// error diagnostic) when it is found neither on disk nor in the archive; the
// scene then has no objects and no lights and keeps its frame fields.
bool readScene(Scene& scene, std::string_view fileName, const SceneLoadContext& context);

// The same from a text already in memory; `fileName` names it in messages.
void parseScene(Scene& scene, std::string_view text, std::string_view fileName,
                const ObjectLoadFunction& loadObject, Diagnostics* diagnostics);

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

// Adds an object: loaded from `fileName` through `loadObject`, or a null
// object when there is no name. "mcube.lwo" and "mball.lwo" load nothing and
// are unlit.
SceneObject& appendObject(Scene& scene, std::optional<std::string_view> fileName,
                          const ObjectLoadFunction& loadObject);
SceneLight& appendLight(Scene& scene);
// The first bone of an object also makes its weight sums and rest points.
SceneBone& appendBone(SceneObject& object);

}  // namespace zor
