#pragma once
// Small 3-vector and 3x3 matrix helpers for frame evaluation. Matrices are
// row-major and act on column vectors (v' = M * v). Everything is single
// precision, formed in the order the formulas are written, so results are
// reproducible bit for bit.

#include <array>

namespace zor {

using Vec3 = std::array<float, 3>;
using Mat3 = std::array<float, 9>;

inline constexpr Mat3 kIdentity3 = {1, 0, 0, 0, 1, 0, 0, 0, 1};

inline Mat3 multiply(const Mat3& a, const Mat3& b) {
    Mat3 r;
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            r[i * 3 + j] = a[i * 3] * b[j] + a[i * 3 + 1] * b[3 + j] + a[i * 3 + 2] * b[6 + j];
    return r;
}

inline Vec3 mul(const Mat3& m, const Vec3& v) {
    return {m[0] * v[0] + m[1] * v[1] + m[2] * v[2],
            m[3] * v[0] + m[4] * v[1] + m[5] * v[2],
            m[6] * v[0] + m[7] * v[1] + m[8] * v[2]};
}

inline Vec3 mul(const Mat3& m, const float v[3]) { return mul(m, Vec3{v[0], v[1], v[2]}); }

inline Mat3 transpose(const Mat3& m) {
    return {m[0], m[3], m[6], m[1], m[4], m[7], m[2], m[5], m[8]};
}

inline Vec3 load3(const float v[3]) { return {v[0], v[1], v[2]}; }

inline void store3(float out[3], const Vec3& v) {
    out[0] = v[0];
    out[1] = v[1];
    out[2] = v[2];
}

inline float dot(const Vec3& a, const Vec3& b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }

}  // namespace zor
