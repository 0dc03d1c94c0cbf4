#pragma once

// The straightforward evaluation of the ten effects: one shader call per pixel centre, in plain
// double arithmetic. The fast renderer is checked and measured against it. Each shader's
// constructor folds what depends only on the parameters and the time; operator() maps a pixel
// centre (x, y), both in (0, 1), to an unclamped colour.

#include "engine/Axis.h"
#include "engine/GlyphAtlas.h"
#include "engine/Params.h"
#include "engine/RGB.h"
#include "engine/StarTable.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numbers>
#include <vector>

namespace lumora::reference {

inline constexpr double twoPi = 2.0 * std::numbers::pi;

// 0.03 at every whole breath, 1.0 half-way; the exponent keeps the glow low for longer.
inline double breath(double phase) {
    const double c = std::cos(phase * twoPi);
    return std::pow(0.5 - 0.5 * c, 1.6) * 0.97 + 0.03;
}

// The final avalanche of xxHash32.
inline std::uint32_t mix(std::uint32_t v) {
    v ^= v >> 15;
    v *= 0x85EBCA77u;
    v ^= v >> 13;
    v *= 0xC2B2AE3Du;
    v ^= v >> 16;
    return v;
}

inline std::uint32_t cellHash(std::uint32_t n) {
    return mix(n * 0x9E3779B1u);
}

struct RainbowWave {
    Axis axis;
    double k;
    double s;

    RainbowWave(const Params& params, double t, int w, int h)
        : axis(params.angle, w, h), k(params.width), s(t * 0.06) {}

    RGB operator()(double x, double y) const {
        const double p = axis.project(x, y);
        const double u = axis.fraction(p);
        const double base = k * (axis.waveScale * p) - s;
        const double wobble = 0.05 * std::sin((u * 0.8 + s * -0.9) * twoPi);
        return RGB::hsv(base + wobble, 1.0, 1.0);
    }
};

struct SpectrumCycle {
    double s;
    Axis axis;

    SpectrumCycle(const Params& params, double t, int w, int h)
        : s(t * 0.04), axis(params.angle, w, h) {}

    RGB operator()(double x, double y) const {
        const double u = axis.fraction(axis.project(x, y));
        return RGB::hsv(s + u * 0.05, 1.0, 1.0);
    }
};

struct Breathing {
    RGB color;
    double level;

    Breathing(const Params& params, double t) : color(params.color), level(breath(t * 0.28)) {}

    RGB operator()(double, double y) const {
        const double f = 1.0 + 2.0 * (-0.25 * std::abs(y - 0.5));
        return color.scaled(f * level);
    }
};

struct NeonBreath {
    Axis axis;
    double a;
    double t;

    NeonBreath(const Params& params, double time, int w, int h)
        : axis(params.angle, w, h), a(time * 0.22), t(time) {}

    RGB operator()(double x, double y) const {
        const double u = axis.fraction(axis.project(x, y));
        const double d = 2.0 * std::abs(u - 0.5);
        const double level = breath(a + d * -0.18);
        const double hue = t * 0.03 + d * 0.22;
        const double saturation = std::pow(level, 6.0) * -0.55 + 1.0;
        return RGB::hsv(hue, saturation, 1.0).scaled(level);
    }
};

struct Heartbeat {
    static constexpr double period = 1.6;
    Axis axis;
    double beat;
    RGB color;

    Heartbeat(const Params& params, double t, int w, int h)
        : axis(params.angle, w, h), beat(std::fmod(t, period)), color(params.color) {}

    RGB operator()(double x, double y) const {
        const double u = axis.fraction(axis.project(x, y));
        const double d = 2.0 * std::abs(u - 0.5);
        const double lt = std::fmod(period + (beat + d * -0.35), period);
        const double a = (lt + -0.12) / 0.08;
        const double c = (lt + -0.4) / 0.09;
        const double pulse = std::min(0.95 * std::exp(-(a * a)) + 0.6 * std::exp(-(c * c)), 1.0);
        return color.mixed(RGB::white, 0.5 * std::pow(pulse, 3.0)).scaled(0.95 * pulse + 0.05);
    }
};

struct Solid {
    RGB color;

    explicit Solid(const Params& params) : color(params.color) {}

    RGB operator()(double, double) const { return color; }
};

struct Scanner {
    Axis axis;
    double pos;
    double dir;
    double sigma;
    double lambda;
    RGB color;

    Scanner(const Params& params, double t, int w, int h) : axis(params.angle, w, h) {
        constexpr double omega = 0.55;
        pos = std::sin(t * omega) * 0.47 + 0.5;
        dir = std::cos(t * omega) >= 0.0 ? 1.0 : -1.0;
        const double q = 1.0 / axis.extent;
        sigma = std::min(std::pow(q, 0.8) * 0.012, 0.2);
        lambda = std::min(std::pow(q, 0.5) * 0.09, 0.45);
        color = params.color;
    }

    RGB operator()(double x, double y) const {
        const double u = axis.fraction(axis.project(x, y));
        const double delta = u - pos;
        const double tail = dir * delta < 0.0 ? 0.8 * std::exp(-std::abs(delta) / lambda) : 0.0;
        const double r = delta / sigma;
        const double head = std::exp(-(r * r));
        return color.mixed(RGB::white, head * 0.6).scaled(std::min(head + tail, 1.0) * 0.96 + 0.04);
    }
};

struct Inferno {
    double T;

    explicit Inferno(double t) : T(t * 1.4) {}

    RGB operator()(double x, double y) const {
        const double a = std::sin(x * 80.0 + T * 2.3 + 1.6 * std::sin(y * 6.0 + T * -3.1));
        const double b = std::sin(y * 11.0 + (x * 150.0 + T * -1.9));
        const double c = std::sin(x * 41.0 + T * 1.1 + y * -4.0);
        const double n = c * 0.2 + (a * 0.5 + b * 0.3);
        const double heat = (y * 0.95 + 0.25) + n * 0.5;
        const double k = std::clamp(heat - 0.3, 0.0, 1.0);
        return {std::min(k * 2.6, 1.0), std::clamp(k * 2.6 - 0.9, 0.0, 1.0),
                std::clamp(k * 3.0 - 2.2, 0.0, 1.0)};
    }
};

struct Matrix {
    static constexpr double trail = 7.0;
    double W, H, GW, GH;
    double rows;
    double t;
    std::uint32_t tick;
    int glyphCount, glyphW, glyphH, atlasRow;
    const std::uint8_t* atlas;
    RGB color;

    Matrix(const Params& params, double time, int w, int h, const GlyphAtlas& glyphs)
        : W(w), H(h), GW(glyphs.glyphW), GH(glyphs.glyphH), rows(H / GH), t(time),
          tick(wrap32(time * 5.0)), glyphCount(glyphs.glyphCount), glyphW(glyphs.glyphW),
          glyphH(glyphs.glyphH), atlasRow(glyphs.bytesPerRow()), atlas(glyphs.coverage.data()),
          color(params.color) {}

    // The integer part, taken modulo 2^32; the time is never negative.
    static std::uint32_t wrap32(double v) {
        const double whole = std::trunc(v);
        if (!(whole >= 0.0)) {
            return 0;
        }
        return static_cast<std::uint32_t>(
            static_cast<std::uint64_t>(std::fmod(whole, 4294967296.0)));
    }

    RGB operator()(double x, double y) const {
        const double cf = (x * W) / GW;
        const int col = static_cast<int>(cf);
        const double rf = (y * H) / GH;
        const double rowF = std::floor(rf);
        const int row = static_cast<int>(rowF);
        const std::uint32_t hc = cellHash(static_cast<std::uint32_t>(col) + 17u);
        const double speed = static_cast<double>(hc & 0xFFu) / 255.0 * 2.4 + 1.1;
        const double cycle = (rows + trail) + 2.0 + static_cast<double>((hc >> 8) & 0xFu) * 0.7;
        const double offset = static_cast<double>((hc >> 12) & 0xFFFFu) / 65535.0 * cycle;
        const double head = std::fmod(t * speed + offset, cycle);
        double dist = head - rf;
        if (dist < 0.0) {
            dist += cycle;
        }
        const std::uint32_t gi =
            cellHash(static_cast<std::uint32_t>(row) * 104729u +
                     static_cast<std::uint32_t>(col) * 7919u + (hc & 3u) * tick) %
            static_cast<std::uint32_t>(glyphCount);
        const int gx = std::min(glyphW - 1, static_cast<int>(GW * (cf - col)));
        const int gy = std::min(glyphH - 1, static_cast<int>(GH * (rf - rowF)));
        const double cv = atlas[static_cast<std::size_t>(gy) * atlasRow + gi * glyphW + gx] / 255.0;
        const double it =
            dist < trail ? std::min(1.15 * std::pow(1.0 - dist / trail, 1.1) + 0.09, 1.0) : 0.09;
        const double wm = dist < 0.9 ? 0.75 : 0.0;
        return color.mixed(RGB::white, wm).scaled(cv * it);
    }
};

// Sums the lit stars into `columns` (one colour per pixel column) for time t.
void fillStarColumns(const StarTable& stars, double t, std::vector<RGB>& columns);

struct Starfield {
    const RGB* columns;
    int lastColumn;
    double W;

    Starfield(const std::vector<RGB>& table)
        : columns(table.data()), lastColumn(static_cast<int>(table.size()) - 1),
          W(static_cast<double>(table.size())) {}

    RGB operator()(double x, double y) const {
        const int column = std::min(lastColumn, static_cast<int>(x * W));
        return columns[column].scaled(1.0 + 2.0 * (-0.35 * std::abs(y - 0.5)));
    }
};

} // namespace lumora::reference
