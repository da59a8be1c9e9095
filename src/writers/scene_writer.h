#pragma once
// Writes LightWave 5 scene text ("LWSC", version 1): the header with the
// frame range, objects (loaded and null) with motions, parents, pivots,
// dissolve and morph envelopes and bones, then lights, then the camera.
// Keywords appear in the order a single forward token scan expects: an
// object's own lines before its bones, the lines that may follow bones after.
// Only what the player reads is written, so every line of the text changes
// something (zor-inspect --check has nothing to report as skipped); names of
// lights and bones serve the writer's messages only.

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zor::write {

struct LwsKey {
    int frame = 0;
    std::array<float, 9> values{};  // x y z, heading pitch bank, scale x y z (envelopes use [0])
    bool linear = false;            // the span that ends at this key is straight
    float tension = 0;
    float continuity = 0;
    float bias = 0;
};

enum class EndBehavior { Reset = 0, Stop = 1, Repeat = 2 };

struct LwsMotion {
    int channels = 9;
    std::vector<LwsKey> keys;
    EndBehavior end = EndBehavior::Stop;
};

// A constant, or an "(envelope)" block when curve has keys.
struct LwsEnvelope {
    float constant = 0;
    LwsMotion curve{1, {}, EndBehavior::Stop};

    static LwsEnvelope fixed(float v) { return LwsEnvelope{v, {1, {}, EndBehavior::Stop}}; }
};

struct LwsBone {
    std::string name;
    LwsMotion motion;
    std::array<float, 3> restPosition{};   // relative to the parent bone
    std::array<float, 3> restDirection{};  // heading, pitch, bank relative to the parent bone
    float restLength = 1;
    float strength = 1;
    bool scaleStrength = false;
    bool limitedRange = false;
    float minRange = 0;
    float maxRange = 0;
    int parent = 0;  // 1-based bone of the same object, 0 for a root bone
};

struct LwsObject {
    std::string file;      // path written after LoadObject; empty for a null object
    std::string nullName;  // name after AddNullObject
    LwsMotion motion;
    int parent = 0;        // 1-based object, 0 for a root
    std::array<float, 3> pivot{};
    std::optional<LwsEnvelope> dissolve;
    std::optional<LwsEnvelope> metamorph;
    int morphTarget = 0;   // 1-based object
    int boneFalloff = 0;
    std::vector<LwsBone> bones;
    int shadowOptions = 0;
};

enum class LightType { Distant = 0, Point = 1, Spot = 2 };

struct LwsLight {
    std::string name;
    LwsMotion motion;
    std::array<int, 3> color{255, 255, 255};  // 0..255
    LwsEnvelope intensity = LwsEnvelope::fixed(1);
    LightType type = LightType::Distant;
    bool lensFlare = false;
    std::optional<LwsEnvelope> flareIntensity;
    int parent = 0;  // 1-based object
};

struct LwsScene {
    int firstFrame = 0;
    int lastFrame = 60;
    int frameStep = 1;
    float framesPerSecond = 30;
    std::vector<LwsObject> objects;
    std::vector<LwsLight> lights;
    LwsMotion camera;
    std::optional<LwsEnvelope> zoom;  // read by the player, and without effect: the view is fixed
};

// Whether a name would be read as one of the scene's keywords; such names
// cannot stand for objects, lights or bones.
bool isSceneKeyword(std::string_view name);

// The scene text. Throws std::invalid_argument for what the scene cannot say:
// a motion without keys, key frames that do not rise, repeat with a last key
// at frame 0 or less, parent or morph indexes naming nothing or forming a
// cycle, names with blanks (the file is read as blank-separated tokens).
std::string writeScene(const LwsScene& scene);

// The objects and lights of `items` alone, to follow the text of a scene of
// `existingObjects` objects: their parent and morph indexes count those
// objects first (1 to existingObjects name them, higher ones the new
// objects in order). The same refusals as writeScene.
std::string writeSceneItems(const LwsScene& items, int existingObjects);

}  // namespace zor::write
