#include "import/motion_math.h"

#include <algorithm>

namespace zor::import {

Quat normalized(Quat q) {
    const double n = std::sqrt(double(q[0]) * q[0] + double(q[1]) * q[1] + double(q[2]) * q[2] + double(q[3]) * q[3]);
    if (!(n > 1e-12) || !std::isfinite(n)) return {0, 0, 0, 1};
    for (float& c : q) c = static_cast<float>(c / n);
    return q;
}

Quat slerp(Quat a, Quat b, float t) {
    double dot = double(a[0]) * b[0] + double(a[1]) * b[1] + double(a[2]) * b[2] + double(a[3]) * b[3];
    if (dot < 0) {
        for (float& c : b) c = -c;
        dot = -dot;
    }
    Quat r;
    if (dot > 0.9995) {
        for (int i = 0; i < 4; ++i) r[i] = a[i] + t * (b[i] - a[i]);
        return normalized(r);
    }
    const double theta = std::acos(std::clamp(dot, -1.0, 1.0));
    const double s = std::sin(theta);
    const double wa = std::sin((1 - t) * theta) / s, wb = std::sin(t * theta) / s;
    for (int i = 0; i < 4; ++i) r[i] = static_cast<float>(wa * a[i] + wb * b[i]);
    return normalized(r);
}

Mat3d matrixOf(Quat q) {
    q = normalized(q);
    const double x = q[0], y = q[1], z = q[2], w = q[3];
    return {{{1 - 2 * (y * y + z * z), 2 * (x * y - z * w), 2 * (x * z + y * w)},
             {2 * (x * y + z * w), 1 - 2 * (x * x + z * z), 2 * (y * z - x * w)},
             {2 * (x * z - y * w), 2 * (y * z + x * w), 1 - 2 * (x * x + y * y)}}};
}

Mat3d multiply(const Mat3d& a, const Mat3d& b) {
    Mat3d r{};
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            for (int k = 0; k < 3; ++k) r[i][j] += a[i][k] * b[k][j];
    return r;
}

Mat3d mirrored(const Mat3d& m) {
    Mat3d r = m;
    r[0][2] = -r[0][2];
    r[1][2] = -r[1][2];
    r[2][0] = -r[2][0];
    r[2][1] = -r[2][1];
    return r;
}

namespace {

double nearestTurn(double angle, double previous) {
    return angle + 360.0 * std::round((previous - angle) / 360.0);
}

}  // namespace

std::array<double, 3> anglesOf(const Mat3d& m, const std::array<double, 3>& previous) {
    // Rows of Ry(h) Rx(p) Rz(b): R12 = -sin p, R02 = sin h cos p,
    // R22 = cos h cos p, R10 = cos p sin b, R11 = cos p cos b.
    const double toDegrees = 1.0 / kPlayerDegree;
    const double sp = std::clamp(-m[1][2], -1.0, 1.0);
    double h, b;
    // atan2 rather than asin: exact near straight up and down.
    const double p = std::atan2(sp, std::hypot(m[0][2], m[2][2]));
    if (std::abs(sp) > 0.999999) {
        // Looking straight up or down: heading and bank turn about the same
        // axis; keep the bank of the previous key and put the rest in heading.
        b = previous[2] * kPlayerDegree;
        // With cos p = 0: R00 = cos h cos b + sin h sin p sin b,
        // R20 = cos h sin p sin b - sin h cos b.
        const double cb = std::cos(b), sb = std::sin(b);
        const double c = m[0][0], s = m[2][0];
        // Solve cos h * cb + sin h * (sp sb) = c; cos h * (sp sb) - sin h * cb = s.
        const double ch = c * cb + s * sp * sb;
        const double sh = c * sp * sb - s * cb;
        h = std::atan2(sh, ch);
    } else {
        h = std::atan2(m[0][2], m[2][2]);
        b = std::atan2(m[1][0], m[1][1]);
    }
    std::array<double, 3> first{h * toDegrees, p * toDegrees, b * toDegrees};
    std::array<double, 3> second{first[0] + 180.0, 180.0 - first[1], first[2] + 180.0};
    auto settle = [&](std::array<double, 3> a) {
        for (int i = 0; i < 3; ++i) a[i] = nearestTurn(a[i], previous[i]);
        return a;
    };
    first = settle(first);
    second = settle(second);
    auto distance = [&](const std::array<double, 3>& a) {
        return std::abs(a[0] - previous[0]) + std::abs(a[1] - previous[1]) + std::abs(a[2] - previous[2]);
    };
    return distance(second) < distance(first) ? second : first;
}

Mat3d rotationOfAngles(const std::array<double, 3>& hpb) {
    const double h = hpb[0] * kPlayerDegree, p = hpb[1] * kPlayerDegree, b = hpb[2] * kPlayerDegree;
    const double ch = std::cos(h), sh = std::sin(h), cp = std::cos(p), sp = std::sin(p), cb = std::cos(b),
                 sb = std::sin(b);
    return {{{ch * cb + sh * sp * sb, sh * sp * cb - ch * sb, sh * cp},
             {cp * sb, cp * cb, -sp},
             {ch * sp * sb - sh * cb, sh * sb + ch * sp * cb, ch * cp}}};
}

double angleBetween(const Mat3d& a, const Mat3d& b) {
    // D = a^T b; cos from its trace, sin from its skew part: exact for
    // small angles, where acos alone is not.
    Mat3d d{};
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            for (int k = 0; k < 3; ++k) d[i][j] += a[k][i] * b[k][j];
    const double c = (d[0][0] + d[1][1] + d[2][2] - 1) / 2;
    const double s = std::hypot(d[2][1] - d[1][2], d[0][2] - d[2][0], d[1][0] - d[0][1]) / 2;
    return std::atan2(s, c) * 180.0 / 3.14159265358979;
}

std::array<float, 4> evaluateChannel(const SourceChannel& channel, float t) {
    const int width = channel.path == AnimatedPath::Rotation ? 4 : 3;
    const bool cubic = channel.interpolation == Interpolation::CubicSpline;
    const std::size_t stride = static_cast<std::size_t>(width) * (cubic ? 3 : 1);
    const std::size_t n = channel.times.size();
    auto value = [&](std::size_t key, int part) {  // part: 0 in-tangent, 1 value, 2 out-tangent
        std::array<float, 4> v{0, 0, 0, 1};
        const std::size_t at = key * stride + static_cast<std::size_t>(cubic ? part : 0) * width;
        for (int c = 0; c < width; ++c) v[c] = channel.values[at + c];
        return v;
    };
    std::array<float, 4> result{0, 0, 0, 1};
    if (n == 0 || channel.values.size() < n * stride) return result;
    if (t <= channel.times.front()) result = value(0, 1);
    else if (t >= channel.times.back()) result = value(n - 1, 1);
    else {
        const std::size_t k = static_cast<std::size_t>(
            std::upper_bound(channel.times.begin(), channel.times.end(), t) - channel.times.begin() - 1);
        const float t0 = channel.times[k], t1 = channel.times[k + 1];
        const float dt = t1 - t0;
        const float s = dt > 0 ? (t - t0) / dt : 0;
        if (channel.interpolation == Interpolation::Step) {
            result = value(k, 1);
        } else if (cubic) {
            const auto p0 = value(k, 1), m0 = value(k, 2), p1 = value(k + 1, 1), m1 = value(k + 1, 0);
            const float s2 = s * s, s3 = s2 * s;
            const float h00 = 2 * s3 - 3 * s2 + 1, h10 = s3 - 2 * s2 + s, h01 = -2 * s3 + 3 * s2, h11 = s3 - s2;
            for (int c = 0; c < width; ++c)
                result[c] = h00 * p0[c] + h10 * dt * m0[c] + h01 * p1[c] + h11 * dt * m1[c];
        } else if (width == 4) {
            const auto a = value(k, 1), b = value(k + 1, 1);
            result = slerp(a, b, s);
        } else {
            const auto a = value(k, 1), b = value(k + 1, 1);
            for (int c = 0; c < 3; ++c) result[c] = a[c] + s * (b[c] - a[c]);
        }
    }
    if (width == 4) result = normalized(result);
    return result;
}

float evaluateComponent(const SourceChannel& channel, int width, int component, float t) {
    const bool cubic = channel.interpolation == Interpolation::CubicSpline;
    const std::size_t n = channel.times.size();
    if (width <= 0 || component < 0 || component >= width) return 0;
    const std::size_t stride = static_cast<std::size_t>(width) * (cubic ? 3 : 1);
    if (n == 0 || channel.values.size() != n * stride) return 0;
    auto value = [&](std::size_t key, int part) {  // part: 0 in-tangent, 1 value, 2 out-tangent
        return channel.values[key * stride + static_cast<std::size_t>(cubic ? part : 0) * width + component];
    };
    if (t <= channel.times.front()) return value(0, 1);
    if (t >= channel.times.back()) return value(n - 1, 1);
    const std::size_t k = static_cast<std::size_t>(
        std::upper_bound(channel.times.begin(), channel.times.end(), t) - channel.times.begin() - 1);
    const float t0 = channel.times[k], t1 = channel.times[k + 1];
    const float dt = t1 - t0;
    const float s = dt > 0 ? (t - t0) / dt : 0;
    if (channel.interpolation == Interpolation::Step) return value(k, 1);
    if (cubic) {
        const float s2 = s * s, s3 = s2 * s;
        return (2 * s3 - 3 * s2 + 1) * value(k, 1) + (s3 - 2 * s2 + s) * dt * value(k, 2) +
               (-2 * s3 + 3 * s2) * value(k + 1, 1) + (s3 - s2) * dt * value(k + 1, 0);
    }
    return value(k, 1) + s * (value(k + 1, 1) - value(k, 1));
}

}  // namespace zor::import
