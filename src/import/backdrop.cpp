#include "import/backdrop.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>

#include "import/motion_math.h"
#include "writers/jpeg_writer.h"
#include "writers/lwob_writer.h"

namespace zor::import {
namespace {

using Point = std::array<double, 3>;

std::string colourText(const std::array<int, 3>& c) {
    char text[16];
    std::snprintf(text, sizeof text, "#%02x%02x%02x", c[0], c[1], c[2]);
    return text;
}

// The room's walls: each a quad facing inward and its twin over the same
// points facing outward, so that every corner's normal sums to zero. The
// front of a polygon is the side from which its points run clockwise, the
// side its normal (p - q) x (p - r) points to (p, q, r: its first, second
// and last point).
write::LwObject roomObject(const Point& low, const Point& high, const std::string& image,
                           const std::array<std::uint8_t, 3>& colour) {
    write::LwObject room;
    for (int i = 0; i < 8; ++i)
        room.points.push_back({static_cast<float>(i & 1 ? high[0] : low[0]), static_cast<float>(i & 2 ? high[1] : low[1]),
                               static_cast<float>(i & 4 ? high[2] : low[2])});
    const Point centre{(low[0] + high[0]) / 2, (low[1] + high[1]) / 2, (low[2] + high[2]) / 2};
    // Per axis and side, the four corners in order around the wall.
    for (int axis = 0; axis < 3; ++axis)
        for (int side = 0; side < 2; ++side) {
            const int a = 1 << ((axis + 1) % 3), b = 1 << ((axis + 2) % 3), s = side ? 1 << axis : 0;
            std::vector<std::uint16_t> quad{static_cast<std::uint16_t>(s), static_cast<std::uint16_t>(s | a),
                                            static_cast<std::uint16_t>(s | a | b), static_cast<std::uint16_t>(s | b)};
            const auto& p = room.points[quad[0]];
            const auto& q = room.points[quad[1]];
            const auto& r = room.points[quad[3]];
            const Point u{p[0] - q[0], p[1] - q[1], p[2] - q[2]}, v{p[0] - r[0], p[1] - r[1], p[2] - r[2]};
            const Point n{u[1] * v[2] - u[2] * v[1], u[2] * v[0] - u[0] * v[2], u[0] * v[1] - u[1] * v[0]};
            const double inward = n[0] * (centre[0] - p[0]) + n[1] * (centre[1] - p[1]) + n[2] * (centre[2] - p[2]);
            if (inward < 0) std::reverse(quad.begin(), quad.end());
            room.polygons.push_back({quad, 1});
            std::reverse(quad.begin(), quad.end());
            room.polygons.push_back({quad, 1});
        }
    write::LwSurface surface;
    surface.name = "Backdrop";
    surface.color = colour;
    write::LwTextureMap map;
    map.mapping = "Planar Image Map";
    map.image = image;
    map.axisFlags = 0x4;
    for (int c = 0; c < 3; ++c) {
        map.size[c] = static_cast<float>(std::max(high[c] - low[c], 1.0));
        map.center[c] = static_cast<float>(centre[c]);
    }
    surface.texture = map;
    room.surfaces.push_back(surface);
    return room;
}

}  // namespace

std::array<int, 3> lightOfZeroNormal(const write::LwsScene& scene) {
    std::array<int, 3> light{0, 0, 0};
    for (const write::LwsLight& l : scene.lights) {
        if (l.type != write::LightType::Distant) continue;
        // The intensity as the player reads it back from the scene's text.
        char text[48];
        const float written = l.intensity.curve.keys.empty() ? l.intensity.constant : l.intensity.curve.keys[0].values[0];
        std::snprintf(text, sizeof text, "%.6f", static_cast<double>(written));
        const double intensity = std::strtof(text, nullptr);
        for (int c = 0; c < 3; ++c)
            light[c] += static_cast<int>(std::trunc((l.color[c] / 4) * std::max(intensity, 0.0)));
    }
    for (int& c : light) c = std::min(c, 255);
    return light;
}

void addBackdrop(const std::array<std::uint8_t, 3>& colour, const Bounds& content, write::LwsScene& scene,
                 NameBook& objectNames, NameBook& imageNames, Conversion& out) {
    Bounds box = content;
    for (const write::LwsKey& k : scene.camera.keys) box.add(Point{k.values[0], k.values[1], k.values[2]});
    if (box.empty()) box.add(Point{0, 0, 0});
    // Clear of the models and beyond the view's near end from every camera key.
    const double margin = std::max(1.5, 0.1 * box.largestSide());
    Point low = box.low, high = box.high;
    for (int c = 0; c < 3; ++c) low[c] -= margin, high[c] += margin;

    // Without a distant light the room would be black: one in its colour is
    // added, the glow of the room, as bright as the colour wants (its colour
    // / 4 x 4 is the colour).
    const std::array<int, 3> wanted{colour[0], colour[1], colour[2]};
    if (lightOfZeroNormal(scene) == std::array<int, 3>{0, 0, 0} && wanted != std::array<int, 3>{0, 0, 0}) {
        write::LwsLight glow = defaultLight();
        glow.name = "backdrop_light";
        glow.color = wanted;
        glow.intensity = write::LwsEnvelope::fixed(4);
        scene.lights.push_back(std::move(glow));
        ++out.lights;
        ++out.keys;
        out.notes.push_back("the scene has no distant light, the only kind that reaches the backdrop's room: a "
                            "distant light in the backdrop's colour was added (LgtIntensity 4), which tints the "
                            "models too");
    }
    // The image: the colour divided by the light the room gets.
    const std::array<int, 3> light = lightOfZeroNormal(scene);
    write::RgbImage image(kMinImageSide, kMinImageSide);
    std::array<int, 3> shown{};
    bool dim = false;
    for (int c = 0; c < 3; ++c) {
        const int want = colour[c];
        const int value = light[c] > 0 ? std::min(255, static_cast<int>(std::lround(want * 255.0 / light[c]))) : 0;
        shown[c] = value * light[c] / 255;
        if (shown[c] + 1 < want) dim = true;
        for (int y = 0; y < image.height; ++y)
            for (int x = 0; x < image.width; ++x) image.at(x, y)[c] = static_cast<std::uint8_t>(value);
    }
    const std::string objectName = objectNames.take("", "backdrop", "object");
    const std::string imageName = imageNames.take("", "backdrop", "image") + ".jpg";
    write::JpegOptions jpeg;
    jpeg.quality = 100;
    jpeg.fullChroma = true;
    out.files.push_back({objectName + ".lwo", write::writeLwob(roomObject(low, high, imageName, colour))});
    out.files.push_back({imageName, write::encodeJpeg(image, jpeg)});

    write::LwsObject object;
    object.file = objectName + ".lwo";
    object.motion.keys.push_back(write::LwsKey{0, {0, 0, 0, 0, 0, 0, 1, 1, 1}, true});
    scene.objects.push_back(std::move(object));
    ++out.objects;
    ++out.images;
    ++out.keys;
    out.points += 8;
    out.polygons += 12;

    const auto across = [&](int c) { return std::to_string(std::llround(high[c] - low[c])); };
    out.notes.push_back("a backdrop room of " + colourText(wanted) + " around the scene (" + across(0) + " x " +
                        across(1) + " x " + across(2) + " units), lit by the distant lights alone");
    if (dim)
        out.warnings.push_back("the backdrop shows as " + colourText(shown) + ", not " + colourText(wanted) +
                               ": the scene's distant lights give its room " + std::to_string(light[0]) + " " +
                               std::to_string(light[1]) + " " + std::to_string(light[2]) +
                               " of 255 (colour / 4 x intensity); brighten them or choose a darker colour");

    // Every corner within the view's far end from every camera key.
    double worst = 0;
    int worstFrame = 0;
    for (const write::LwsKey& k : scene.camera.keys) {
        const Mat3d view = rotationOfAngles({k.values[3], k.values[4], k.values[5]});
        for (int i = 0; i < 8; ++i) {
            const Point corner{i & 1 ? high[0] : low[0], i & 2 ? high[1] : low[1], i & 4 ? high[2] : low[2]};
            double depth = 0;
            for (int r = 0; r < 3; ++r) depth += view[r][2] * (corner[r] - k.values[r]);
            if (depth > worst) worst = depth, worstFrame = k.frame;
        }
    }
    if (worst > farthestSeenDepth())
        out.warnings.push_back("the backdrop room reaches " + std::to_string(std::llround(worst)) +
                               " units ahead of the camera at frame " + std::to_string(worstFrame) +
                               ", beyond the view's " + std::to_string(std::llround(farthestSeenDepth())) +
                               ": the screen is left uncovered where it lies farther; bring the camera and the "
                               "models closer together");
}

}  // namespace zor::import
