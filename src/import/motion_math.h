#pragma once
// Rotations and channel evaluation for the importer: quaternions as the
// source states them, the mirror into the player's left-handed space, and
// heading, pitch and bank in the player's convention (rotation = Ry(h) *
// Rx(p) * Rz(b) on column vectors, degrees converted with the player's own
// factor so the angles it reads give back the same matrix).

#include <array>
#include <cmath>

#include "import/source_model.h"

namespace zor::import {

using Mat3d = std::array<std::array<double, 3>, 3>;

inline constexpr double kPlayerDegree = 0.01745328;  // the player's degrees-to-radians factor

Quat normalized(Quat q);
Quat slerp(Quat a, Quat b, float t);
Mat3d matrixOf(Quat q);
Mat3d multiply(const Mat3d& a, const Mat3d& b);
// The same rotation seen in the mirrored space (z turned around).
Mat3d mirrored(const Mat3d& m);
// Heading, pitch, bank (degrees) of a rotation matrix; of the two solutions
// the one nearest `previous` (after adding whole turns), so angles run on
// without 360-degree jumps.
std::array<double, 3> anglesOf(const Mat3d& m, const std::array<double, 3>& previous);
// The player's rotation from heading, pitch and bank in degrees.
Mat3d rotationOfAngles(const std::array<double, 3>& hpb);
// Angle in degrees between two rotations.
double angleBetween(const Mat3d& a, const Mat3d& b);

// A channel's value at time t (seconds), as glTF defines it: clamped before
// the first and after the last key; rotations normalised.
std::array<float, 4> evaluateChannel(const SourceChannel& channel, float t);
// One float of a channel's elements (a morph target's weight) at time t:
// linear, stepped or cubic-spline, clamped at both ends. 0 when the channel's
// values do not fit `width` floats per element.
float evaluateComponent(const SourceChannel& channel, int width, int component, float t);

}  // namespace zor::import
