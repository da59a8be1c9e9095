#include "camera_lights.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "images.h"

namespace zor::import {
namespace {

using write::LwsKey;

// A distance for messages, in whole units.
std::string units(double d) {
    return std::to_string(static_cast<long long>(std::clamp(std::round(d), 0.0, 1e15)));
}

}  // namespace

bool sceneBounds(const SourceModel& model, const Animation& animation, float scale, std::array<double, 3>& low,
                 std::array<double, 3>& high) {
    bool any = false;
    low = {1e300, 1e300, 1e300};
    high = {-1e300, -1e300, -1e300};
    for (std::size_t i = 0; i < model.nodes.size(); ++i) {
        const int mesh = model.nodes[i].mesh;
        if (mesh < 0 || mesh >= static_cast<int>(model.meshes.size())) continue;
        const Affine world = animation.worldAt(static_cast<int>(i), 0.0f);
        for (const SourcePrimitive& p : model.meshes[mesh].primitives)
            for (const Vec3& v : p.positions) {
                const auto q = toPlayer(world.apply(v), scale);
                for (int c = 0; c < 3; ++c) {
                    low[c] = std::min(low[c], double(q[c]));
                    high[c] = std::max(high[c], double(q[c]));
                }
                any = true;
            }
    }
    return any;
}

void addCamera(const SourceModel& model, Animation& animation, float scale, write::LwsScene& scene, Conversion& out) {
    int cameraNode = -1;
    int cameras = 0;
    for (std::size_t i = 0; i < model.nodes.size(); ++i)
        if (model.nodes[i].camera >= 0 && model.nodes[i].camera < static_cast<int>(model.cameras.size())) {
            if (cameraNode < 0) cameraNode = static_cast<int>(i);
            ++cameras;
        }
    if (cameras > 1) out.addNotCarried("cameras after the first");
    std::array<double, 3> low, high;
    const bool bounded = sceneBounds(model, animation, scale, low, high);
    if (cameraNode < 0) {
        // Frame the bounds from in front (the source's +z side), the whole
        // height and width inside the fixed view.
        std::array<double, 3> centre{0, 0, 0};
        double radius = 1;
        if (bounded) {
            double r2 = 0;
            for (int c = 0; c < 3; ++c) {
                centre[c] = (low[c] + high[c]) / 2;
                r2 += (high[c] - low[c]) * (high[c] - low[c]) / 4;
            }
            radius = std::max(std::sqrt(r2), 1e-3);
        }
        const double halfHeight = 17.0 * 3.14159265358979 / 180.0;
        const double distance = std::max(radius / std::sin(halfHeight) * 1.05, radius + 1.5);
        LwsKey k;
        k.values = {static_cast<float>(centre[0]), static_cast<float>(centre[1]),
                    static_cast<float>(centre[2] - distance), 0, 0, 0, 1, 1, 1};
        k.linear = true;
        scene.camera.keys = {k};
        ++out.keys;
        out.notes.push_back("no camera in the source: a view framing the model was added");
        if (distance + radius > 99.0)
            out.notes.push_back("the model is " + units(2 * radius) +
                                " units across: the view shows only 1 to 100 units ahead, so try --scale");
        return;
    }
    const SourceCamera& camera = model.cameras[model.nodes[cameraNode].camera];
    if (!camera.perspective) out.addNotCarried("orthographic cameras (drawn in perspective)");
    else {
        const double degrees =
            std::isfinite(camera.yfov) ? std::clamp(camera.yfov * 180.0 / 3.14159265358979, 0.0, 180.0) : 34.0;
        if (std::abs(degrees - 34.0) > 1.0)
            out.addNotCarried("the camera's field of view (" + std::to_string(static_cast<int>(std::lround(degrees))) +
                              " degrees high; the player's view is fixed at 34 high and 45 across)");
    }
    // World placement, sampled: the player's camera has no parent.
    const KeySampler sample = [&](int frame, std::array<double, 3>& previous) {
        const Affine world = animation.worldAt(cameraNode, Animation::timeOf(frame));
        Mat3d r = world.m;
        for (int c = 0; c < 3; ++c) {  // scale out of the axes
            const double len = std::sqrt(r[0][c] * r[0][c] + r[1][c] * r[1][c] + r[2][c] * r[2][c]);
            if (len > 1e-12)
                for (int i = 0; i < 3; ++i) r[i][c] /= len;
        }
        return Animation::keyOf(frame, toPlayer(world.t, scale), mirrored(r), Vec3{1, 1, 1}, previous);
    };
    std::vector<const SourceChannel*> chain;
    bool inheritsMotion = false;
    int guard = 0;
    for (int n = cameraNode; n >= 0 && n < static_cast<int>(model.nodes.size()) && guard < 10000;
         n = model.nodes[n].parent, ++guard) {
        const NodeChannels& c = animation.channels(n);
        chain.insert(chain.end(), {c.translation, c.rotation, c.scale});
        if (n != cameraNode && c.animated()) inheritsMotion = true;
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
    if (bounded) {
        // How far the geometry lies from the camera at frame 0.
        const auto& k = scene.camera.keys.front();
        double far = 0;
        for (int corner = 0; corner < 8; ++corner) {
            double d2 = 0;
            for (int c = 0; c < 3; ++c) {
                const double v = (corner >> c & 1) ? high[c] : low[c];
                d2 += (v - k.values[c]) * (v - k.values[c]);
            }
            far = std::max(far, std::sqrt(d2));
        }
        if (far > 99.0)
            out.notes.push_back("parts of the model lie " + units(far) +
                                " units from the camera: the view shows only 1 to 100 units ahead, so try --scale");
    }
}

void addLights(const SourceModel& model, const Animation& animation, float scale, const std::vector<int>& objectOfNode,
               NameBook& lightNames, write::LwsScene& scene, Conversion& out) {
    std::array<double, 3> low, high;
    const bool bounded = sceneBounds(model, animation, scale, low, high);
    std::array<double, 3> centre{0, 0, 0};
    if (bounded)
        for (int c = 0; c < 3; ++c) centre[c] = (low[c] + high[c]) / 2;
    bool spotCones = false;
    for (std::size_t i = 0; i < model.nodes.size(); ++i) {
        const int l = model.nodes[i].light;
        if (l < 0 || l >= static_cast<int>(model.lights.size())) continue;
        const SourceLight& source = model.lights[l];
        write::LwsLight light;
        light.name = lightNames.take(source.name, "light", "light");
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
    }
    if (spotCones) out.addNotCarried("spot cone angles (the player's spot cone is fixed)");
    if (scene.lights.empty()) {
        write::LwsLight light;
        light.name = "default_light";
        light.type = write::LightType::Distant;
        light.motion.keys.push_back(LwsKey{0, {0, 0, 0, 30, 30, 0, 1, 1, 1}, true});
        ++out.keys;
        scene.lights.push_back(std::move(light));
        out.notes.push_back("no light in the source: a white distant light from the upper left was added");
    }
    out.lights = static_cast<int>(scene.lights.size());
}

}  // namespace zor::import
