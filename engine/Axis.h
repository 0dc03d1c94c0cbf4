#pragma once

namespace lumora {

// The light direction of one frame, in pixel space (x right, y down): 0 degrees runs left to
// right, 90 top to bottom.
struct Axis {
    double cosT = 1.0;
    double sinT = 0.0;
    double w = 1.0;
    double h = 1.0;
    double pMin = 0.0;
    double invSpan = 1.0;
    double waveScale = 1.0;
    double extent = 1.0;

    Axis() = default;
    Axis(double degrees, int width, int height);

    // Position along the light in pixels, from the top-left corner.
    double project(double nx, double ny) const { return (nx * w) * cosT + (ny * h) * sinT; }
    // The same position as a fraction: 0 where the light starts, 1 at the opposite corner.
    double fraction(double p) const { return (p - pMin) * invSpan; }
};

} // namespace lumora
