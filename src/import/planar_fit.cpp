#include "import/planar_fit.h"

#include <algorithm>
#include <cmath>

namespace zor::import {

std::optional<PlanarMap> planarFit(const std::vector<Polygon>& polygons, int surface) {
    // Least squares of u against each coordinate and of (1 - v) against
    // each, then the pair of axes that fits exactly.
    struct Fit {
        double a = 0, b = 0, error = 1e30;
    };
    auto fit = [&](int coordinate, bool isV) {
        double sx = 0, sy = 0, sxx = 0, sxy = 0;
        std::size_t n = 0;
        for (const Polygon& p : polygons) {
            if (p.surface != surface) continue;
            for (const Corner& c : p.corners) {
                const double x = c.position[coordinate], y = isV ? 1.0 - c.uv[1] : c.uv[0];
                sx += x, sy += y, sxx += x * x, sxy += x * y, ++n;
            }
        }
        Fit f;
        const double d = n * sxx - sx * sx;
        if (n < 3 || !(std::abs(d) > 1e-12)) return f;
        f.a = (n * sxy - sx * sy) / d;
        f.b = (sy - f.a * sx) / n;
        f.error = 0;
        for (const Polygon& p : polygons) {
            if (p.surface != surface) continue;
            for (const Corner& c : p.corners) {
                const double x = c.position[coordinate], y = isV ? 1.0 - c.uv[1] : c.uv[0];
                f.error = std::max(f.error, std::abs(f.a * x + f.b - y));
            }
        }
        return f;
    };
    // Axis: (u coordinate, v coordinate) as the player's planar map reads them.
    const int uOf[3] = {2, 0, 0}, vOf[3] = {1, 2, 1};
    for (int axis : {2, 0, 1}) {
        const Fit fu = fit(uOf[axis], false), fv = fit(vOf[axis], true);
        if (fu.error > 1e-3 || fv.error > 1e-3 || !(std::abs(fu.a) > 1e-9) || !(std::abs(fv.a) > 1e-9)) continue;
        PlanarMap map;
        map.axis = axis;
        // u = (x - c) / s + 0.5 = a x + b  =>  s = 1 / a, c = (0.5 - b) / a
        map.size[uOf[axis]] = static_cast<float>(1.0 / fu.a);
        map.center[uOf[axis]] = static_cast<float>((0.5 - fu.b) / fu.a);
        map.size[vOf[axis]] = static_cast<float>(1.0 / fv.a);
        map.center[vOf[axis]] = static_cast<float>((0.5 - fv.b) / fv.a);
        return map;
    }
    return std::nullopt;
}

}  // namespace zor::import
