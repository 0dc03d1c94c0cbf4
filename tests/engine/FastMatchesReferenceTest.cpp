// The fast renderer against the straightforward evaluation, pixel by pixel, on every
// instruction set this machine can run.

#include "engine/EffectRenderer.h"
#include "engine/Kernels.h"
#include "tests/engine/reference/ReferenceEffects.h"
#include "tests/engine/reference/ReferenceRenderer.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <gtest/gtest.h>
#include <iostream>
#include <map>

using namespace lumora;

namespace {

// Coverage in every shade, so the matrix effect's products are exercised, not just 0 and 1.
class ShadedRasterizer : public GlyphRasterizer {
public:
    bool drawGlyphs(std::u32string_view glyphs, int cellW, int cellH, double, std::uint8_t* atlas,
                    int bytesPerRow) override {
        for (int y = 0; y < cellH; ++y) {
            for (int x = 0; x < cellW * static_cast<int>(glyphs.size()); ++x) {
                const unsigned v = (x * 37u + y * 101u + x * y * 13u) % 256u;
                atlas[y * bytesPerRow + x] = static_cast<std::uint8_t>(v < 80 ? 0 : v);
            }
        }
        return true;
    }
};

struct Tally {
    long compared = 0;
    long differing = 0;
    int worst = 0;
    std::map<std::string, long> byEffect;
};

// 12 puts the neon breath's hue in its third sector, which no other time reaches.
const double times[] = {0.0, 0.37, 1.0, 2.3, 12.0, 17.77, 123.456, 1e4 + 0.3, 1e5 + 0.123};
const double angles[] = {0.0, 45.0, 90.0, 137.5, 180.0, 270.0, 359.9, 37.0};
const double widths[] = {0.4, 0.0, 0.15, 1.0, 3.0};
const double brightnesses[] = {1.0, 0.1, 0.5, 0.73, 2.0};
const RGB colors[] = {{68.0 / 255.0, 214.0 / 255.0, 44.0 / 255.0},
                      RGB::white,
                      {0.5, 0.25, 1.0},
                      {1.0, 0.09, 0.27},
                      {0.0, 0.0, 0.0}};

// Every effect at every time, angle (where the effect follows the light) and size; widths,
// brightnesses and colours take turns so each meets many of the others.
void compareAll(int w, int h, Tally& tally) {
    ShadedRasterizer rasterizer;
    reference::ReferenceRenderer slow(w, h, &rasterizer);
    const std::vector<std::string> targets = kernels::availableTargets();
    std::vector<EffectRenderer> fast;
    for (std::size_t i = 0; i < targets.size(); ++i) {
        fast.emplace_back(w, h, &rasterizer);
    }
    int turn = 0;
    for (Effect effect : allEffects) {
        for (double angle : angles) {
            if (!usesAngle(effect) && angle != 90.0) {
                continue;
            }
            for (double t : times) {
                ++turn;
                const Params params{effect, brightnesses[turn % 5], widths[turn % 5],
                                    colors[(turn / 5) % 5], angle};
                const std::vector<std::uint8_t>& expected = slow.render(params, t);
                for (std::size_t i = 0; i < targets.size(); ++i) {
                    ASSERT_TRUE(kernels::forceTarget(targets[i].c_str()));
                    ASSERT_EQ(kernels::activeTarget(), targets[i]);
                    const Frame frame = fast[i].render(params, t);
                    ASSERT_EQ(frame.byteCount(), expected.size());
                    const std::uint8_t* got = frame.data();
                    for (std::size_t b = 0; b < expected.size(); ++b) {
                        const int diff = std::abs(int(got[b]) - int(expected[b]));
                        tally.compared += 1;
                        if (diff != 0) {
                            tally.differing += 1;
                            tally.byEffect[std::string(rawValue(effect))] += 1;
                            tally.worst = std::max(tally.worst, diff);
                            ASSERT_LE(diff, 1)
                                << rawValue(effect) << " " << targets[i] << " " << w << "x" << h
                                << " t=" << t << " angle=" << angle << " byte " << b << ": "
                                << int(got[b]) << " vs " << int(expected[b]);
                        }
                    }
                }
            }
        }
    }
    kernels::forceTarget("");
}

TEST(FastMatchesReference, EveryEffectSizeAndInstructionSet) {
    Tally tally;
    for (auto [w, h] : {std::pair{1085, 30}, {480, 20}, {240, 20}, {7, 3}}) {
        compareAll(w, h, tally);
        if (HasFatalFailure()) {
            return;
        }
    }
    std::cout << "fast vs reference: " << tally.differing << " of " << tally.compared
              << " channel bytes differ (at most by " << tally.worst << ") on";
    for (const std::string& t : kernels::availableTargets()) {
        std::cout << " " << t;
    }
    for (const auto& [effect, count] : tally.byEffect) {
        std::cout << " " << effect << ":" << count;
    }
    std::cout << "\n";
    RecordProperty("differingBytes", std::to_string(tally.differing));
    // A handful of rounding-edge cases is expected; a formula slip would show in thousands.
    EXPECT_LT(tally.differing, tally.compared / 100000);
}

// With eight lanes the rainbow takes a quicker way that is only nearly exact; a pixel whose byte
// sits on an edge must be caught and drawn the exact way, which AVX2 always takes. Brightnesses
// found by bisection put chosen pixels right on either side of an edge, where the sweep above
// almost never lands.
TEST(FastMatchesReference, RainbowPixelsOnAByteEdge) {
    // AVX-512 and AVX2 take the wave's short way; SSE4 works every pixel out in full.
    const std::vector<std::string> targets = kernels::availableTargets();
    const auto has = [&](const char* name) {
        return std::find(targets.begin(), targets.end(), name) != targets.end();
    };
    std::vector<const char*> quickWays;
    for (const char* name : {"AVX3", "AVX2"}) {
        if (has(name)) {
            quickWays.push_back(name);
        }
    }
    if (quickWays.empty() || !has("SSE4")) {
        GTEST_SKIP() << "needs SSE4 and AVX2 or AVX-512";
    }
    constexpr int w = 1085;
    constexpr int h = 30;
    reference::ReferenceRenderer slow(w, h);
    const double t = 123.456;
    const Params base{Effect::rainbowWave, 1.0, 0.4, RGB::white, 37.0};
    const reference::RainbowWave shader(base, t, w, h);
    const auto quantised = [](double v) {
        return static_cast<int>(std::min(v, 1.0) * 255.0 + 0.5);
    };
    const auto render = [](const char* target, const Params& params, double time) {
        EXPECT_TRUE(kernels::forceTarget(target));
        EffectRenderer renderer(w, h);
        const Frame frame = renderer.render(params, time);
        kernels::forceTarget("");
        return std::vector<std::uint8_t>(frame.data(), frame.data() + frame.byteCount());
    };
    int edges = 0;
    for (auto [x, y] : {std::pair{3, 0},
                        {140, 7},
                        {333, 12},
                        {517, 29},
                        {700, 3},
                        {901, 18},
                        {1000, 25},
                        {1084, 14}}) {
        const RGB c = shader((x + 0.5) / w, (y + 0.5) / h);
        double moving = 0.0; // the one channel strictly between 0 and 1
        for (double v : {c.r, c.g, c.b}) {
            if (v > 0.0 && v < 1.0) {
                moving = v;
            }
        }
        const int edge = quantised(0.8 * moving);
        if (edge < 1) {
            continue;
        }
        // The largest brightness that still gives edge - 1, and the next double above it.
        double below = 0.0;
        double above = 1.0;
        while (std::nextafter(below, 1.0) < above) {
            const double mid = below + (above - below) / 2.0;
            (quantised(mid * moving) < edge ? below : above) = mid;
        }
        ++edges;
        for (double brightness : {below, above}) {
            Params params = base;
            params.brightness = brightness;
            const std::vector<std::uint8_t> exact = render("SSE4", params, t);
            const std::size_t at = (static_cast<std::size_t>(y) * w + x) * 4;
            for (const char* way : quickWays) {
                const std::vector<std::uint8_t> quick = render(way, params, t);
                EXPECT_EQ(quick, exact)
                    << way << ", brightness " << brightness << ", pixel (" << x << ", " << y << ") "
                    << int(quick[at]) << " " << int(quick[at + 1]) << " " << int(quick[at + 2])
                    << " against " << int(exact[at]) << " " << int(exact[at + 1]) << " "
                    << int(exact[at + 2]);
            }
            const std::vector<std::uint8_t>& expected = slow.render(params, t);
            for (std::size_t i = 0; i < expected.size(); ++i) {
                ASSERT_LE(std::abs(int(exact[i]) - int(expected[i])), 1) << "byte " << i;
            }
        }
    }
    EXPECT_GE(edges, 6);
}

} // namespace
