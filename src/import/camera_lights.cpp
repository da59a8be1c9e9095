#include "import/camera_lights.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <optional>
#include <string>
#include <utility>

#include "display/display.h"
#include "import/images.h"

namespace zor::import {
namespace {

using write::LwsKey;

constexpr double kPi = 3.14159265358979;

// A distance for messages, in whole units.
std::string units(double d) {
    return std::to_string(static_cast<long long>(std::clamp(std::round(d), 0.0, 1e15)));
}

// The depths the fixed view draws, measured from the camera: each point is
// moved kViewOffset further before the near and far planes apply.
constexpr double kNearestSeen = kNearPlane - kViewOffset;
constexpr double kFarthestSeen = kFarPlane - kViewOffset;

// The default light: heading 30 and pitch 30, so it shines from the upper
// left, behind the viewer of a camera that looks along +z.
constexpr float kDefaultLightHeading = 30, kDefaultLightPitch = 30;

// Each point of the model's meshes where frame 0 places it, in the player's
// axes at `scale`.
template <typename Visit>
void forEachPointAtStart(const SourceModel& model, const Animation& animation, float scale, Visit&& visit) {
    for (std::size_t i = 0; i < model.nodes.size(); ++i) {
        const int mesh = model.nodes[i].mesh;
        if (mesh < 0 || mesh >= static_cast<int>(model.meshes.size())) continue;
        const Affine world = animation.worldAt(static_cast<int>(i), 0.0f);
        for (const SourcePrimitive& p : model.meshes[mesh].primitives)
            for (const Vec3& v : p.positions) visit(toPlayer(world.apply(v), scale));
    }
}

}  // namespace

void Bounds::add(const std::array<double, 3>& p) {
    for (int c = 0; c < 3; ++c) {
        low[c] = std::min(low[c], p[c]);
        high[c] = std::max(high[c], p[c]);
    }
}

void Bounds::add(const Bounds& b) {
    if (b.empty()) return;
    add(b.low);
    add(b.high);
}

std::array<double, 3> Bounds::centre() const {
    if (empty()) return {0, 0, 0};
    return {(low[0] + high[0]) / 2, (low[1] + high[1]) / 2, (low[2] + high[2]) / 2};
}

double Bounds::radius() const {
    if (empty()) return 0;
    double r2 = 0;
    for (int c = 0; c < 3; ++c) r2 += (high[c] - low[c]) * (high[c] - low[c]) / 4;
    return std::sqrt(r2);
}

double Bounds::largestSide() const {
    if (empty()) return 0;
    return std::max({high[0] - low[0], high[1] - low[1], high[2] - low[2]});
}

Bounds Bounds::placed(double scale, const std::array<float, 3>& at) const {
    Bounds b;
    if (empty()) return b;
    for (int c = 0; c < 3; ++c) {
        b.low[c] = low[c] * scale + at[c];
        b.high[c] = high[c] * scale + at[c];
    }
    return b;
}

Bounds modelBounds(const SourceModel& model, const Animation& animation) {
    Bounds bounds;
    forEachPointAtStart(model, animation, 1.0f, [&](const std::array<float, 3>& q) {
        bounds.add(std::array<double, 3>{q[0], q[1], q[2]});
    });
    return bounds;
}

int cameraNode(const SourceModel& model) {
    for (std::size_t i = 0; i < model.nodes.size(); ++i)
        if (model.nodes[i].camera >= 0 && model.nodes[i].camera < static_cast<int>(model.cameras.size()))
            return static_cast<int>(i);
    return -1;
}

double framingDistance(double radius) {
    const double halfHeight = kFieldOfViewY / 2 * kPi / 180.0;
    return std::max(radius / std::sin(halfHeight) * 1.05, radius + 1.5);
}

bool framingFits(double radius) { return framingDistance(radius) + radius <= kFarthestSeen; }

double largestFittingScale(double radius) {
    // Past the near plane the distance grows as radius / sin(half the
    // view's height), times the margin.
    const double halfHeight = kFieldOfViewY / 2 * kPi / 180.0;
    return kFarthestSeen / (std::max(radius, 1e-9) * (1.05 / std::sin(halfHeight) + 1));
}

double roundScale(double s, double atMost) {
    if (!(s > 0) || !std::isfinite(s)) return 1;
    double best = 0, bestError = 1e300;
    const int decade = static_cast<int>(std::floor(std::log10(s)));
    for (int d = decade - 1; d <= decade + 1; ++d)
        for (double m : {1.0, 2.0, 5.0}) {
            const double c = m * std::pow(10.0, d);
            const double error = std::abs(std::log(c / s));
            if (c <= atMost * (1 + 1e-9) && error < bestError) best = c, bestError = error;
        }
    return best > 0 ? best : s;
}

std::string scaleText(double s) {
    char text[32];
    std::snprintf(text, sizeof text, "%.6g", s);
    return text;
}

CameraSight sightOf(const SourceModel& model, const Animation& animation, float scale, const std::array<float, 3>& at,
                    const std::array<float, 3>& position, const std::array<double, 3>& hpb) {
    const Mat3d view = rotationOfAngles(hpb);
    const double tanX = std::tan(kFieldOfViewX / 2 * kPi / 180), tanY = std::tan(kFieldOfViewY / 2 * kPi / 180);
    CameraSight sight;
    forEachPointAtStart(model, animation, scale, [&](const std::array<float, 3>& w) {
        double d[3], c[3];
        for (int k = 0; k < 3; ++k) d[k] = w[k] + at[k] - position[k];
        for (int k = 0; k < 3; ++k) c[k] = view[0][k] * d[0] + view[1][k] * d[1] + view[2][k] * d[2];
        ++sight.points;
        const double distance = std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
        sight.nearest = std::min(sight.nearest, distance);
        sight.farthest = std::max(sight.farthest, distance);
        if (c[2] < kNearestSeen) return;
        ++sight.ahead;
        const double z = c[2] + kViewOffset;
        if (std::abs(c[0]) > z * tanX || std::abs(c[1]) > z * tanY) return;
        ++sight.inCone;
        sight.farthestInCone = std::max(sight.farthestInCone, c[2]);
        if (c[2] <= kFarthestSeen) ++sight.seen;
    });
    return sight;
}

namespace {

// The camera's world placement at frame 0 in the player's space (scale 1,
// not moved): position, then heading, pitch and bank.
std::pair<std::array<float, 3>, std::array<double, 3>> cameraAtStart(const SourceModel& model,
                                                                           const Animation& animation) {
    const Affine world = animation.worldAt(cameraNode(model), 0.0f);
    Mat3d r = world.m;
    for (int c = 0; c < 3; ++c) {  // scale out of the axes
        const double len = std::sqrt(r[0][c] * r[0][c] + r[1][c] * r[1][c] + r[2][c] * r[2][c]);
        if (len > 1e-12)
            for (int i = 0; i < 3; ++i) r[i][c] /= len;
    }
    return {toPlayer(world.t, 1.0f), anglesOf(mirrored(r), {0, 0, 0})};
}

}  // namespace

std::optional<double> scaleIntoCameraReach(const SourceModel& model, const Animation& animation, double& depth) {
    if (cameraNode(model) < 0) return std::nullopt;
    const auto [position, hpb] = cameraAtStart(model, animation);
    const CameraSight sight = sightOf(model, animation, 1.0f, {0, 0, 0}, position, hpb);
    if (sight.seen > 0 || sight.inCone == 0) return std::nullopt;
    depth = sight.farthestInCone;
    return roundScale(kFarthestSeen * 0.9 / depth, kFarthestSeen / depth);
}

double farthestSeenDepth() { return kFarthestSeen + kViewOffset; }

void addSourceCamera(const SourceModel& model, Animation& animation, float scale, const std::array<float, 3>& at,
                     const std::string& sourceName, write::LwsScene& scene, Conversion& out,
                     const std::string& scaleOption) {
    const int node = cameraNode(model);
    int cameras = 0;
    for (const SourceNode& n : model.nodes) cameras += n.camera >= 0 && n.camera < static_cast<int>(model.cameras.size());
    if (cameras > 1) out.addNotCarried("cameras after the first");
    const SourceCamera& camera = model.cameras[model.nodes[node].camera];
    if (!camera.perspective) out.addNotCarried("orthographic cameras (drawn in perspective)");
    else {
        const double degrees =
            std::isfinite(camera.yfov) ? std::clamp(camera.yfov * 180.0 / kPi, 0.0, 180.0) : kFieldOfViewY;
        if (std::abs(degrees - kFieldOfViewY) > 1.0)
            out.addNotCarried("the camera's field of view (" + std::to_string(static_cast<int>(std::lround(degrees))) +
                              " degrees high; the player's view is fixed at 34 high and 45 across)");
    }
    // World placement, sampled: the player's camera has no parent.
    const KeySampler sample = [&](int frame, std::array<double, 3>& previous) {
        const Affine world = animation.worldAt(node, Animation::timeOf(frame));
        Mat3d r = world.m;
        for (int c = 0; c < 3; ++c) {  // scale out of the axes
            const double len = std::sqrt(r[0][c] * r[0][c] + r[1][c] * r[1][c] + r[2][c] * r[2][c]);
            if (len > 1e-12)
                for (int i = 0; i < 3; ++i) r[i][c] /= len;
        }
        auto position = toPlayer(world.t, scale);
        for (int c = 0; c < 3; ++c) position[c] += at[c];
        return Animation::keyOf(frame, position, mirrored(r), Vec3{1, 1, 1}, previous);
    };
    std::vector<const SourceChannel*> chain;
    bool inheritsMotion = false;
    int guard = 0;
    for (int n = node; n >= 0 && n < static_cast<int>(model.nodes.size()) && guard < 10000;
         n = model.nodes[n].parent, ++guard) {
        const NodeChannels& c = animation.channels(n);
        chain.insert(chain.end(), {c.translation, c.rotation, c.scale});
        if (n != node && c.animated()) inheritsMotion = true;
    }
    bool everyFrame = false;
    std::vector<int> frames = animation.keyFrames(chain, everyFrame);
    if (inheritsMotion && !everyFrame) {
        // A moving parent: its motion composed with the camera's is no
        // straight line between keys; sample every frame.
        everyFrame = true;
        const int last = frames.back();
        frames.clear();
        for (int f = 0; f <= last; ++f) frames.push_back(f);
    }
    scene.camera = animation.buildMotion(frames, everyFrame, sample);

    // What the camera sees of the model at frame 0, vertex by vertex.
    const LwsKey& key = scene.camera.keys.front();
    const CameraSight sight = sightOf(model, animation, scale, at, {key.values[0], key.values[1], key.values[2]},
                                      {key.values[3], key.values[4], key.values[5]});
    const std::size_t points = sight.points, seen = sight.seen, ahead = sight.ahead, inCone = sight.inCone;
    const double nearest = sight.nearest, farthest = sight.farthest, farthestInCone = sight.farthestInCone;
    if (points == 0) return;
    const std::string prefix = "the camera of " + sourceName + " cannot see the model at frame 0: ";
    if (seen == 0) {
        if (inCone > 0) {
            const double fit = roundScale(scale * kFarthestSeen * 0.9 / farthestInCone, scale * kFarthestSeen / farthestInCone);
            out.warnings.push_back(prefix + "it lies " + units(nearest) + " to " + units(farthest) +
                                   " units away, beyond the view's " + units(kFarthestSeen + kViewOffset) +
                                   " (" + scaleOption + " " + scaleText(fit) + " brings it within reach)");
        } else if (ahead == 0) {
            out.warnings.push_back(prefix + "it lies behind the camera");
        } else {
            out.warnings.push_back(prefix + "it lies outside the camera's " + units(kFieldOfViewX) + " x " +
                                   units(kFieldOfViewY) + " degree view");
        }
    } else if (farthest > kFarthestSeen) {
        out.notes.push_back("parts of the model lie " + units(farthest) + " units from the camera: the view shows only " +
                            units(kNearestSeen + kViewOffset) + " to " + units(kFarthestSeen + kViewOffset) +
                            " units ahead");
    }
}

void addFramingCamera(const Bounds& bounds, write::LwsScene& scene, Conversion& out) {
    // From in front (the source's +z side), the whole height and width
    // inside the fixed view.
    const std::array<double, 3> centre = bounds.centre();
    const double radius = std::max(bounds.radius(), 1e-3);
    const double distance = framingDistance(radius);
    LwsKey k;
    k.values = {static_cast<float>(centre[0]), static_cast<float>(centre[1]), static_cast<float>(centre[2] - distance),
                0, 0, 0, 1, 1, 1};
    k.linear = true;
    scene.camera.keys = {k};
    ++out.keys;
    out.notes.push_back("no camera in the source: a view framing the model was added");
}

void addLights(const SourceModel& model, const Animation& animation, float scale, const std::vector<int>& objectOfNode,
               write::LwsScene& scene, Conversion& out) {
    const std::array<double, 3> centre = modelBounds(model, animation).placed(scale, {0, 0, 0}).centre();
    bool spotCones = false;
    for (std::size_t i = 0; i < model.nodes.size(); ++i) {
        const int l = model.nodes[i].light;
        if (l < 0 || l >= static_cast<int>(model.lights.size())) continue;
        const SourceLight& source = model.lights[l];
        write::LwsLight light;
        light.name = source.name.empty() ? "light" : source.name;
        light.type = source.kind == LightKind::Directional ? write::LightType::Distant
                     : source.kind == LightKind::Point     ? write::LightType::Point
                                                           : write::LightType::Spot;
        for (int c = 0; c < 3; ++c) light.color[c] = displayByte(source.color[c]);
        // Directional: the intensity as it is (lux on a facing surface).
        // Point and spot: glTF's light falls off with the square of the
        // distance and the player's with the distance itself; they agree at
        // the distance from the light to the model's centre.
        double intensity = std::isfinite(source.intensity) ? std::max(0.0f, source.intensity) : 1.0;
        if (source.kind != LightKind::Directional) {
            const auto at = toPlayer(animation.worldAt(static_cast<int>(i), 0.0f).t, scale);
            double d2 = 0;
            for (int c = 0; c < 3; ++c) d2 += (at[c] - centre[c]) * (at[c] - centre[c]);
            intensity /= std::max(1.0, std::sqrt(d2));
            if (source.kind == LightKind::Spot) spotCones = true;
        }
        if (intensity > 8.0) {
            intensity = 8.0;
            out.addNotCarried("light intensities above 8 (limited to 8)");
        }
        light.intensity = write::LwsEnvelope::fixed(static_cast<float>(intensity));
        // Placed by its node: no motion of its own below it.
        light.parent = objectOfNode[i];
        light.motion.keys.push_back(LwsKey{0, {0, 0, 0, 0, 0, 0, 1, 1, 1}, true});
        ++out.keys;
        scene.lights.push_back(std::move(light));
        ++out.lights;
    }
    if (spotCones) out.addNotCarried("spot cone angles (the player's spot cone is fixed)");
}

write::LwsLight defaultLight() {
    write::LwsLight light;
    light.name = "default_light";
    light.type = write::LightType::Distant;
    light.motion.keys.push_back(LwsKey{0, {0, 0, 0, kDefaultLightHeading, kDefaultLightPitch, 0, 1, 1, 1}, true});
    // A distant light gives a point (colour / 4) x intensity x (1 - D.N),
    // D the direction it shines, and a textured polygon shows its image
    // times that light / 255. A face turned to a camera looking along +z
    // (N = -z) has 1 - D.N = 1 + cos(heading) cos(pitch); this intensity
    // brings it to 255, the image's own colours.
    const double d = kPi / 180;
    const double facing = 1 + std::cos(kDefaultLightHeading * d) * std::cos(kDefaultLightPitch * d);
    light.intensity = write::LwsEnvelope::fixed(static_cast<float>(255.0 / ((255 / 4) * facing)));
    return light;
}

}  // namespace zor::import
