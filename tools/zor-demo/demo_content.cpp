#include "demo_content.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <stdexcept>

#include "geometry.h"

namespace zor::demo {
namespace {

constexpr float kPi = std::numbers::pi_v<float>;
constexpr float kDeg = 180.0f / kPi;

// Where the set pieces stand (world units; y up, the camera looks along +z).
// The room spans x -35..35, y 0..40, z -60..0; the back wall is the plane
// z = 0 and the floor y = 0, the two planes shadows fall on.
const Vec3 kOrreryAt{-14, 0, -22};
const Vec3 kTentacleAt{12, 0, -20};
const Vec3 kBannerAt{22, 0, -12};
const Vec3 kBlobAt{0, 7, -8};
const Vec3 kCrystalAt{-8, 0, -7};
const Vec3 kFountainAt{0, 0, -30};
// The shadow light: above the scene and in front of it, so shadows fall onto
// the floor and, for the pieces near the back, onto the back wall.
const Vec3 kSunAt{-6, 30, -45};

// ---- motion helpers ----

LwsKey key(int frame, Vec3 pos, Vec3 hpb = {0, 0, 0}, Vec3 scale = {1, 1, 1}) {
    LwsKey k;
    k.frame = frame;
    k.values = {pos[0], pos[1], pos[2], hpb[0], hpb[1], hpb[2], scale[0], scale[1], scale[2]};
    return k;
}

LwsKey linearKey(LwsKey k) {
    k.linear = true;
    return k;
}

LwsMotion still(Vec3 pos, Vec3 hpb = {0, 0, 0}, Vec3 scale = {1, 1, 1}) {
    return LwsMotion{9, {key(0, pos, hpb, scale)}, EndBehavior::Stop};
}

// A constant-speed turn about one rotation channel (3 heading, 4 pitch,
// 5 bank), looping every `period` frames.
LwsMotion spin(Vec3 pos, int channel, float degreesPerPeriod, int period, Vec3 scale = {1, 1, 1}) {
    LwsKey a = key(0, pos, {0, 0, 0}, scale);
    LwsKey b = linearKey(key(period, pos, {0, 0, 0}, scale));
    b.values[channel] = degreesPerPeriod;
    return LwsMotion{9, {a, b}, EndBehavior::Repeat};
}

LwsKey envKey(int frame, float value, bool linear = false) {
    LwsKey k;
    k.frame = frame;
    k.values[0] = value;
    k.linear = linear;
    return k;
}

LwsEnvelope envelope(std::vector<LwsKey> keys, EndBehavior end) {
    LwsEnvelope e;
    e.curve = LwsMotion{1, std::move(keys), end};
    return e;
}

// Heading and pitch (degrees) that turn the forward axis (0, 0, 1) toward
// `target`: forward becomes (sin h cos p, -sin p, cos h cos p).
Vec3 aim(Vec3 from, Vec3 target) {
    Vec3 d = target - from;
    float len = std::sqrt(dot(d, d));
    return {std::atan2(d[0], d[2]) * kDeg, -std::asin(d[1] / len) * kDeg, 0};
}

// ---- surfaces ----

LwSurface plain(const char* name, std::array<std::uint8_t, 3> color, std::uint16_t flags) {
    LwSurface s;
    s.name = name;
    s.color = color;
    s.flags = flags;
    return s;
}

LwSurface mapped(const char* name, std::uint16_t flags, const char* mapping, const char* image,
                 std::uint16_t axis, Vec3 size, Vec3 center, float wrapW = 1, float wrapH = 1) {
    LwSurface s = plain(name, {255, 255, 255}, flags);
    s.texture = LwTextureMap{mapping, image, axis, size, center, wrapW, wrapH};
    return s;
}

constexpr std::uint16_t kAxisX = 0x1, kAxisY = 0x2, kAxisZ = 0x4;

// ---- objects ----

LwObject room() {
    ObjectBuilder b;
    // Texture paths carry folders, as a modeller writes them; only the part
    // after the last backslash names the image.
    auto floor = b.surface(mapped("Floor", 0, "Planar Image Map", "Images\\checker.jpg", kAxisY, {8, 1, 8}, {0, 0, 0}));
    auto back = b.surface(mapped("BackWall", lwSmoothing, "Planar Image Map", "Images\\panel.jpg", kAxisZ,
                                 {17.5f, 20, 1}, {0, 20, 0}));
    auto walls = b.surface(plain("SideWalls", {120, 80, 190}, lwSmoothing));
    auto ceiling = b.surface(plain("Ceiling", {40, 40, 90}, 0));
    b.grid({-35, 0, -60}, {70, 0, 0}, {0, 0, 60}, 14, 12, floor, {0, 1, 0});
    b.grid({-35, 0, 0}, {70, 0, 0}, {0, 40, 0}, 14, 8, back, {0, 0, -1});
    b.grid({-35, 0, -60}, {0, 0, 60}, {0, 40, 0}, 6, 4, walls, {1, 0, 0});
    b.grid({35, 0, -60}, {0, 0, 60}, {0, 40, 0}, 6, 4, walls, {-1, 0, 0});
    b.grid({-35, 0, -60}, {70, 0, 0}, {0, 40, 0}, 7, 4, walls, {0, 0, 1});
    b.grid({-35, 40, -60}, {70, 0, 0}, {0, 0, 60}, 7, 6, ceiling, {0, -1, 0});
    return b.take();
}

LwObject column() {
    ObjectBuilder b;
    auto brass = b.surface(mapped("Brass", lwSmoothing, "Cylindrical Image Map", "brass.jpg", kAxisY,
                                  {1, 6.8f, 1}, {0, 3.4f, 0}, 3, 1));
    b.cylinderY({0, 0, 0}, 1.6f, 0.3f, 20, brass);
    b.cylinderY({0, 0.3f, 0}, 0.45f, 6.5f, 16, brass);
    return b.take();
}

LwObject planet() {
    ObjectBuilder b;
    auto s = b.surface(mapped("PlanetSurface", lwSmoothing, "Spherical Image Map", "planet.jpg", kAxisY,
                              {1, 1, 1}, {0, 0, 0}, 1, 1));
    b.sphere({0, 0, 0}, 24, 16, s, [](float, float) { return 1.8f; });
    return b.take();
}

LwObject rings() {
    ObjectBuilder b;
    LwSurface s = plain("RingDust", {255, 200, 110}, lwDoubleSided);
    s.transparency = 0.7f;
    auto id = b.surface(s);
    b.annulus({0, 0, 0}, 2.4f, 3.4f, 32, id);
    return b.take();
}

LwObject moon() {
    ObjectBuilder b;
    LwSurface s = plain("MoonRock", {190, 195, 210}, lwSmoothing);
    s.reflectionImage = "chrome.jpg";
    b.sphere({0, 0, 0}, 14, 10, b.surface(s), [](float, float) { return 0.6f; });
    return b.take();
}

// A tube standing along +z, 8 units long: four bones of 2 units bend it. Two
// glowing feelers (additive lines) at its tip sway with the last bone.
LwObject tentacle() {
    ObjectBuilder b;
    auto s = b.surface(mapped("Skin", lwSmoothing, "Cylindrical Image Map", "skin.jpg", kAxisZ, {1, 1, 8},
                              {0, 0, 4}, 2, 1));
    b.tube(0, 8, 0.75f, 0.2f, 14, 16, s);
    LwSurface glow = plain("Feeler", {255, 170, 90}, 0);
    glow.transparency = 0.8f;
    auto feeler = b.surface(glow);
    b.line({0.12f, 0, 7.9f}, {0.9f, 0.35f, 9.6f}, feeler);
    b.line({-0.12f, 0, 7.9f}, {-0.9f, 0.35f, 9.6f}, feeler);
    return b.take();
}

LwObject banner() {
    ObjectBuilder b;
    auto pole = b.surface(plain("Pole", {230, 220, 200}, lwSmoothing));
    auto cloth = b.surface(mapped("Cloth", lwDoubleSided, "Planar Image Map", "banner.jpg", kAxisZ,
                                  {4, 2.5f, 1}, {2, 5.25f, 0}));
    b.cylinderY({0, 0, 0}, 0.12f, 6.8f, 8, pole);
    // Wires (lines): an aerial on top of the pole, a halyard to the cloth's
    // outer corner and two guy wires down to the floor behind the pole.
    auto wire = b.surface(plain("Rigging", {255, 235, 150}, 0));
    const Vec3 top{0, 6.8f, 0};
    b.line(top, {0, 8.3f, 0}, wire);
    b.line({-0.5f, 7.8f, 0}, {0.5f, 7.8f, 0}, wire);
    b.line({0, 7.8f, -0.5f}, {0, 7.8f, 0.5f}, wire);
    b.line(top, {4.0f, 6.5f, 0.25f * std::sin(4.0f * 2.2f)}, wire);
    b.line(top, {-2.4f, 0, 1.4f}, wire);
    b.line(top, {-2.4f, 0, -1.4f}, wire);
    // The cloth ripples a little in z so its flat shading shows folds.
    const int nu = 8, nv = 4;
    std::vector<std::uint16_t> ids;
    for (int j = 0; j <= nv; ++j)
        for (int i = 0; i <= nu; ++i) {
            float x = 4.0f * i / nu, y = 4.0f + 2.5f * j / nv;
            ids.push_back(b.point({x, y, 0.25f * std::sin(x * 2.2f)}));
        }
    for (int j = 0; j < nv; ++j)
        for (int i = 0; i < nu; ++i) {
            auto at = [&](int u, int v) { return ids[v * (nu + 1) + u]; };
            b.face({at(i, j), at(i + 1, j), at(i + 1, j + 1), at(i, j + 1)}, cloth, {0, 0, -1});
        }
    return b.take();
}

// Blob and its morph target share one point layout: the target only moves
// the points outward into spikes.
LwObject blob(bool spiky) {
    ObjectBuilder b;
    LwSurface s = plain("Chrome", {235, 70, 190}, lwSmoothing);
    s.reflectionImage = "Images\\chrome.jpg";
    auto id = b.surface(s);
    b.sphere({0, 0, 0}, 20, 14, id, [spiky](float theta, float phi) {
        if (!spiky) return 2.2f;
        float spike = std::pow(std::fabs(std::sin(3 * theta) * std::cos(3 * phi)), 3.0f);
        return 2.0f + 1.6f * spike;
    });
    return b.take();
}

LwObject cage() {
    ObjectBuilder b;
    auto id = b.surface(plain("Wire", {80, 255, 240}, lwOutline | lwSmoothing));
    b.sphere({0, 0, 0}, 10, 6, id, [](float, float) { return 3.4f; });
    return b.take();
}

// A bipyramid crystal: an opaque faceted core inside a glowing additive shell.
void crystal(ObjectBuilder& b, Vec3 base, Vec3 axis, float length, float radius, std::uint16_t core,
             std::uint16_t shell) {
    axis = axis * (1.0f / std::sqrt(dot(axis, axis)));
    Vec3 side = std::fabs(axis[1]) < 0.9f ? cross(axis, {0, 1, 0}) : cross(axis, {1, 0, 0});
    side = side * (1.0f / std::sqrt(dot(side, side)));
    Vec3 up = cross(side, axis);
    for (int layer = 0; layer < 2; ++layer) {
        float grow = layer == 0 ? 0.6f : 1.0f;
        float r = radius * grow;
        std::uint16_t tip = b.point(base + axis * (length * (layer == 0 ? 0.9f : 1.0f)));
        std::uint16_t foot = b.point(base - axis * (0.15f * length));
        std::vector<std::uint16_t> ring;
        for (int i = 0; i < 6; ++i) {
            float a = 2 * kPi * i / 6;
            ring.push_back(b.point(base + axis * (0.3f * length) + side * (r * std::cos(a)) + up * (r * std::sin(a))));
        }
        std::uint16_t surface = layer == 0 ? core : shell;
        const auto& pts = b.object().points;
        Vec3 mid = base + axis * (0.3f * length);
        for (int i = 0; i < 6; ++i) {
            std::uint16_t a = ring[i], c = ring[(i + 1) % 6];
            b.face({tip, a, c}, surface, (pts[a] + pts[c]) * 0.5f - mid + axis * 0.3f);
            b.face({foot, a, c}, surface, (pts[a] + pts[c]) * 0.5f - mid - axis * 0.3f);
        }
    }
}

LwObject crystals() {
    ObjectBuilder b;
    auto core = b.surface(plain("CrystalCore", {150, 60, 255}, 0));
    LwSurface glow = plain("CrystalGlow", {90, 220, 255}, lwSmoothing | lwDoubleSided);
    glow.transparency = 0.8f;
    auto shell = b.surface(glow);
    crystal(b, {0, 0, 0}, {0, 1, 0}, 5.0f, 0.9f, core, shell);
    crystal(b, {1.2f, 0, 0.4f}, {0.5f, 1, 0.1f}, 3.2f, 0.6f, core, shell);
    crystal(b, {-1.1f, 0, 0.6f}, {-0.6f, 1, 0.3f}, 2.8f, 0.5f, core, shell);
    crystal(b, {0.2f, 0, -1.2f}, {0.1f, 1, -0.7f}, 2.5f, 0.5f, core, shell);
    return b.take();
}

LwObject pool() {
    ObjectBuilder b;
    LwSurface s = mapped("Water", lwSmoothing, "Planar Image Map", kNoMipImage, kAxisY, {4, 1, 4}, {0, 0, 0});
    s.reflectionImage = "chrome.jpg";
    b.annulus({0, 0, 0}, 2.9f, 6.5f, 36, b.surface(s));
    return b.take();
}

// Particles: one-vertex polygons on a textured, smooth surface.
LwSurface particleSurface(const char* name, const char* image) {
    return mapped(name, lwSmoothing, "Planar Image Map", image, kAxisY, {1, 1, 1}, {0, 0, 0});
}

LwObject sparks() {
    ObjectBuilder b;
    auto s = b.surface(particleSurface("Spark", "spark.jpg"));
    const int n = 120;
    for (int i = 0; i < n; ++i) {
        float t = static_cast<float>(i) / n;
        float a = t * 5 * 2 * kPi;
        float r = 0.4f + 3.2f * t;
        float y = 5.0f * t * (1.6f - t);  // an arc: rises, then falls outward
        b.particle({r * std::cos(a), y, r * std::sin(a)}, s);
    }
    return b.take();
}

LwObject embers() {
    ObjectBuilder b;
    auto s = b.surface(particleSurface("Ember", "star.jpg"));
    const int n = 90;
    const float golden = kPi * (3 - std::sqrt(5.0f));
    for (int i = 0; i < n; ++i) {
        float y = 1 - 2 * (i + 0.5f) / n;
        float r = std::sqrt(1 - y * y);
        float a = golden * i;
        b.particle({r * std::cos(a), y, r * std::sin(a)}, s);
    }
    return b.take();
}

// ---- the binary-only pedestal ----

void binaryBox(BinaryMesh& m, Vec3 c, Vec3 h, std::int16_t surface) {
    for (int axis = 0; axis < 3; ++axis)
        for (int side = -1; side <= 1; side += 2) {
            Vec3 n{0, 0, 0};
            n[axis] = static_cast<float>(side);
            int ua = (axis + 1) % 3, va = (axis + 2) % 3;
            BinaryPolygon p;
            p.surface = surface;
            const float corners[4][2] = {{-1, -1}, {1, -1}, {1, 1}, {-1, 1}};
            for (const auto& k : corners) {
                Vec3 q = c;
                q[axis] += n[axis] * h[axis];
                q[ua] += k[0] * h[ua];
                q[va] += k[1] * h[va];
                p.points.push_back(static_cast<std::uint16_t>(m.points.size()));
                m.points.push_back(q);
                p.uv.push_back({(k[0] + 1) * 0.5f, (1 - k[1]) * 0.5f});
            }
            if (dot(readerFaceNormal(m.points, p.points), n) < 0) {
                std::reverse(p.points.begin() + 1, p.points.end());
                std::reverse(p.uv.begin() + 1, p.uv.end());
            }
            m.polygons.push_back(std::move(p));
        }
}

BinaryMesh pedestal() {
    BinaryMesh m;
    m.surfaces.push_back({binTextured | binSmooth, {1, 1, 1}, "marble"});
    m.surfaces.push_back({binFlat, {1.0f, 0.75f, 0.25f}, ""});
    m.surfaces.push_back({binFlat | binTransparent, {0.3f, 0.9f, 1.0f}, ""});
    binaryBox(m, {0, 0.25f, 0}, {2.5f, 0.25f, 2.5f}, 1);
    binaryBox(m, {0, 0.8f, 0}, {1.8f, 0.3f, 1.8f}, 2);
    binaryBox(m, {0, 2.4f, 0}, {1.0f, 1.3f, 1.0f}, 1);
    binaryBox(m, {0, 3.9f, 0}, {1.4f, 0.2f, 1.4f}, 2);
    binaryBox(m, {0, 4.2f, 0}, {0.8f, 0.1f, 0.8f}, 3);
    return m;
}

// ---- the scene ----

class SceneBuilder {
public:
    // Adds an object; returns its 1-based index for parent and morph links.
    int add(LwsObject o) {
        scene.objects.push_back(std::move(o));
        return static_cast<int>(scene.objects.size());
    }
    int load(const std::string& file, LwsMotion motion, int parent = 0, int shadow = 0) {
        LwsObject o;
        o.file = file;
        o.motion = std::move(motion);
        o.parent = parent;
        o.shadowOptions = shadow;
        return add(std::move(o));
    }
    int null(const std::string& name, LwsMotion motion, int parent = 0, Vec3 pivot = {0, 0, 0}) {
        LwsObject o;
        o.nullName = name;
        o.motion = std::move(motion);
        o.parent = parent;
        o.pivot = pivot;
        return add(std::move(o));
    }
    LwsObject& at(int index) { return scene.objects[index - 1]; }

    LwsScene scene;
};

constexpr int kShadow = 2;

LwsLight light(const char* name, LightType type, LwsMotion motion, std::array<int, 3> color, LwsEnvelope intensity) {
    LwsLight l;
    l.name = name;
    l.type = type;
    l.motion = std::move(motion);
    l.color = color;
    l.intensity = std::move(intensity);
    return l;
}

LwsMotion cameraPath() {
    struct Shot {
        int frame;
        Vec3 at, look;
        float tension, continuity, bias;
    };
    // Act I: the orrery; II: the creature and the banner; III: blob and
    // crystals; IV: the fountain, then a pull back over the whole room.
    const Shot shots[] = {
        {0, {0, 34, -56}, {-6, 4, -18}, 0, 0, 0},
        {150, {-26, 16, -46}, {-14, 7, -22}, 0, 0, 0.3f},
        {300, {-4, 10, -36}, {-14, 7, -22}, 0, 0, 0},
        {420, {-26, 10, -34}, {-14, 7.5f, -21}, 0.3f, 0, 0},
        {520, {-2, 9, -40}, {10, 4, -18}, 0, 0, 0},
        {650, {20, 7, -36}, {12, 4, -19}, 0, -0.2f, 0},
        {800, {27, 5, -28}, {19, 4, -13}, 0, 0, 0},
        {920, {2, 8, -38}, {12, 4, -18}, 0.2f, 0, 0},
        {1000, {-4, 9, -26}, {0, 6, -8}, 0, 0, 0},
        {1150, {8, 7, -22}, {-2, 5, -8}, 0, 0, -0.3f},
        {1300, {-10, 5, -20}, {-3, 5, -8}, 0, 0, 0},
        {1420, {0, 12, -40}, {0, 4, -26}, 0.4f, 0, 0},
        {1500, {10, 8, -46}, {0, 6, -30}, 0, 0, 0},
        {1650, {-12, 5, -44}, {0, 7, -30}, 0, 0.2f, 0},
        {1800, {0, 3, -47}, {0, 8, -30}, 0, 0, 0},
        {kLastFrame, {0, 22, -56}, {0, 6, -22}, -0.3f, 0, 0},
    };
    LwsMotion m{9, {}, EndBehavior::Stop};
    float lastHeading = 0;
    for (const Shot& s : shots) {
        Vec3 hpb = aim(s.at, s.look);
        // Keep headings continuous so the spline never swings the long way round.
        while (hpb[0] - lastHeading > 180) hpb[0] -= 360;
        while (hpb[0] - lastHeading < -180) hpb[0] += 360;
        lastHeading = hpb[0];
        LwsKey k = key(s.frame, s.at, hpb);
        k.tension = s.tension;
        k.continuity = s.continuity;
        k.bias = s.bias;
        m.keys.push_back(k);
    }
    return m;
}

// Bones of the tentacle: a chain of four, each swaying a little more than the
// one below, on a two-bar loop.
std::vector<LwsBone> tentacleBones() {
    std::vector<LwsBone> bones;
    for (int i = 0; i < 4; ++i) {
        LwsBone bone;
        bone.name = "Segment" + std::to_string(i + 1);
        bone.restPosition = {0, 0, i == 0 ? 0.0f : 2.0f};
        bone.restDirection = {0, 0, 0};
        bone.restLength = 2;
        bone.strength = 1;
        bone.scaleStrength = true;
        bone.limitedRange = true;
        bone.minRange = 0;
        bone.maxRange = 2.5f;
        bone.parent = i;  // the bone before, none for the first
        bone.motion = LwsMotion{9, {}, EndBehavior::Repeat};
        const int period = 120;
        for (int k = 0; k <= 4; ++k) {
            float phase = 2 * kPi * k / 4 - 0.7f * i;
            float amp = 8.0f + 7.0f * i;
            Vec3 hpb{amp * std::sin(phase), 0.8f * amp * std::cos(phase), 0};
            LwsKey key9 = key(k * period / 4, bone.restPosition, hpb);
            key9.continuity = 0.1f;
            bone.motion.keys.push_back(key9);
        }
        bones.push_back(std::move(bone));
    }
    return bones;
}

LwsScene scene() {
    SceneBuilder s;
    s.scene.firstFrame = kFirstFrame;
    s.scene.lastFrame = kLastFrame;
    s.scene.frameStep = 1;
    s.scene.framesPerSecond = static_cast<float>(kFramesPerSecond);

    s.load("Objects\\Room.lwo", still({0, 0, 0}));

    // Act I: the orrery. mcube (unlit, no geometry) turns the whole piece.
    int orrery = s.load("mcube.lwo", spin(kOrreryAt, 3, 360, kActFrames));
    s.load("Objects\\Column.lwo", still({0, 0, 0}), orrery, kShadow);
    LwsMotion armMotion{9, {}, EndBehavior::Repeat};
    for (int k = 0; k <= 4; ++k) {
        float sc = 1.0f + 0.2f * std::sin(2 * kPi * k / 4);
        float tilt = 8 * std::cos(2 * kPi * k / 4);
        armMotion.keys.push_back(key(k * 60, {0, 6.8f, 0}, {0, tilt, 0}, {sc, sc, sc}));
    }
    armMotion.keys.back().values = armMotion.keys.front().values;
    // The arm's pivot sits one unit behind its origin, so the planet swings
    // on a longer radius than its position alone says.
    int arm = s.null("OrreryArm", armMotion, orrery, {-1, 0, 0});
    int planet = s.load("Objects\\Planet.lwo", spin({4, 0, 0}, 3, 360, 240), arm, kShadow);
    s.load("Objects\\Rings.lwo", still({0, 0, 0}, {0, 0, 18}), planet);
    int moonArm = s.null("MoonArm", spin({0, 0, 0}, 3, -360, 160, {0.9f, 0.9f, 0.9f}), planet);
    int moon = s.load("Objects\\Moon.lwo", spin({3.2f, 0.3f, 0}, 5, 360, 90), moonArm, kShadow);

    // Act II: the creature, standing up (pitch -90 turns its +z to +y).
    int creature = s.load("Objects\\Tentacle.lwo", still(kTentacleAt, {0, -90, 0}), 0, kShadow);
    s.at(creature).boneFalloff = 2;
    s.at(creature).bones = tentacleBones();
    LwsMotion sway{9, {}, EndBehavior::Repeat};
    for (int k = 0; k <= 4; ++k) {
        LwsKey kk = key(k * 45, kBannerAt, {k % 2 == 0 ? -35.0f : 35.0f, 0, 0});
        kk.tension = -0.2f;
        kk.continuity = 0.3f;
        kk.bias = k % 2 == 0 ? 0.2f : -0.2f;
        sway.keys.push_back(kk);
    }
    s.load("Objects\\Banner.lwo", sway, 0, kShadow);

    // Act III: the blob morphs toward the hidden star every two bars.
    int blobIndex = s.load("Objects\\Blob.lwo", spin(kBlobAt, 3, 360, 480), 0, kShadow);
    int star = s.load("Objects\\BlobStar.lwo", still(kBlobAt));
    s.at(star).dissolve = LwsEnvelope::fixed(1);
    s.at(blobIndex).metamorph =
        envelope({envKey(0, 0), envKey(60, 1), envKey(90, 0.8f), envKey(120, 0)}, EndBehavior::Repeat);
    s.at(blobIndex).morphTarget = star;
    LwsMotion cageSpin{9, {key(0, {0, 0, 0}), linearKey(key(240, {0, 0, 0}, {-360, 0, 360}))}, EndBehavior::Repeat};
    s.load("Objects\\Cage.lwo", cageSpin, blobIndex);
    // The crystals appear as the act begins and vanish when their envelope
    // runs out (reset to its first value, fully dissolved).
    int crystalIndex = s.load("Objects\\Crystals.lwo", spin(kCrystalAt, 3, 360, 600), 0, kShadow);
    s.at(crystalIndex).dissolve = envelope(
        {envKey(0, 1), envKey(kActFrames * 2 - 30, 1), envKey(kActFrames * 2, 0, true), envKey(kActFrames * 3 - 40, 0)},
        EndBehavior::Reset);

    // Act IV: the fountain. mball (unlit, no geometry) carries the pedestal,
    // which exists only as a binary mesh, and the particle objects.
    int fountain = s.load("mball.lwo", spin(kFountainAt, 3, 360, kActFrames * 2));
    s.load(std::string("Objects\\") + kBinaryOnlyObject + ".lwo", still({0, 0, 0}), fountain, kShadow);
    s.load("Objects\\Pool.lwo", still(kFountainAt + Vec3{0, 0.03f, 0}));
    LwsEnvelope appear =
        envelope({envKey(0, 1), envKey(kActFrames * 3 - 10, 1), envKey(kActFrames * 3, 0, true)}, EndBehavior::Stop);
    int sparkIndex = s.load("Objects\\Sparks.lwo", spin({0, 4.4f, 0}, 3, 360, 40), fountain);
    s.at(sparkIndex).dissolve = appear;
    // Embers burst on every downbeat: scale 0.2 to 4 within a bar, looping.
    LwsMotion burst{9,
                    {key(0, {0, 11, 0}, {0, 0, 0}, {0.2f, 0.2f, 0.2f}), key(36, {0, 11.5f, 0}, {30, 0, 0}, {3.6f, 3.6f, 3.6f}),
                     key(60, {0, 11, 0}, {45, 0, 0}, {4.2f, 4.2f, 4.2f})},
                    EndBehavior::Repeat};
    burst.keys[1].tension = -0.5f;
    int emberIndex = s.load("Objects\\Embers.lwo", burst, fountain);
    s.at(emberIndex).dissolve = appear;

    // Lights. The first one is the shadow light.
    s.scene.lights.push_back(light("Sun", LightType::Distant, still(kSunAt, aim(kSunAt, {0, 0, -15})),
                                   {255, 244, 224}, LwsEnvelope::fixed(1.3f)));
    s.scene.lights.push_back(
        light("Fill", LightType::Distant, still({0, 20, -70}, {0, 12, 0}), {70, 100, 220}, LwsEnvelope::fixed(0.9f)));
    LwsLight lantern = light("Lantern", LightType::Point, still({0, 1.0f, 0}), {255, 190, 90}, LwsEnvelope::fixed(12));
    lantern.parent = moon;
    lantern.lensFlare = true;
    lantern.flareIntensity = LwsEnvelope::fixed(0.6f);
    s.scene.lights.push_back(lantern);

    const Vec3 spotAt{2, 15, -34};
    LwsMotion sweep{9,
                    {key(0, spotAt, aim(spotAt, {10, 3, -22})), key(240, spotAt, aim(spotAt, {14, 3, -18})),
                     key(480, spotAt, aim(spotAt, {10, 3, -22}))},
                    EndBehavior::Repeat};
    // Switches on as act II begins, flickers once, dims when act III starts.
    LwsEnvelope spotIntensity = envelope(
        {envKey(0, 0), envKey(kActFrames - 50, 0), envKey(kActFrames, 1.7f, true), envKey(kActFrames + 8, 0.9f, true),
         envKey(kActFrames + 16, 1.8f, true), envKey(kActFrames * 2 - 20, 1.6f), envKey(kActFrames * 2 + 40, 0.5f)},
        EndBehavior::Stop);
    LwsLight spot = light("StageSpot", LightType::Spot, sweep, {140, 210, 255}, spotIntensity);
    spot.lensFlare = true;
    spot.flareIntensity = envelope({envKey(0, 0), envKey(kActFrames, 1)}, EndBehavior::Stop);
    s.scene.lights.push_back(spot);

    // Flashes on every downbeat of act IV, with the ember bursts.
    std::vector<LwsKey> flashes{envKey(0, 0), envKey(kActFrames * 3 - 1, 0)};
    for (int bar = 0; bar < 8; ++bar) {
        int at = kActFrames * 3 + bar * 60;
        flashes.push_back(envKey(at, 32, true));
        flashes.push_back(envKey(at + 20, 6));
        flashes.push_back(envKey(at + 59, 1));
    }
    LwsLight flash = light("Flash", LightType::Point, still({0, 10, 0}), {255, 130, 220},
                           envelope(std::move(flashes), EndBehavior::Stop));
    flash.parent = fountain;
    flash.lensFlare = true;
    s.scene.lights.push_back(flash);

    s.scene.camera = cameraPath();
    s.scene.zoom = LwsEnvelope::fixed(3.2f);
    return std::move(s.scene);
}

}  // namespace

DemoContent buildDemoContent() {
    DemoContent c;
    c.scene = scene();
    c.objects = {
        {"Room.lwo", room()},         {"Column.lwo", column()},     {"Planet.lwo", planet()},
        {"Rings.lwo", rings()},       {"Moon.lwo", moon()},         {"Tentacle.lwo", tentacle()},
        {"Banner.lwo", banner()},     {"Blob.lwo", blob(false)},    {"BlobStar.lwo", blob(true)},
        {"Cage.lwo", cage()},         {"Crystals.lwo", crystals()}, {"Pool.lwo", pool()},
        {"Sparks.lwo", sparks()},     {"Embers.lwo", embers()},
    };
    c.binaryMeshFile = std::string(kBinaryOnlyObject) + ".3d";
    c.binaryMesh = pedestal();
    return c;
}

}  // namespace zor::demo
