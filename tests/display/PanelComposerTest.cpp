#include "display/outputs/drm/PanelComposer.h"

#include "engine/Kernels.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <gtest/gtest.h>
#include <random>
#include <string>
#include <vector>

using namespace lumora;

namespace {

constexpr std::uint32_t sentinel = 0x5a5a5a5au;

struct Case {
    int frameWidth, frameHeight;
    int modeWidth, modeHeight;
    bool smooth;                // a frame of gentle gradients: what an uneven row ratio is fair to
    std::uint32_t backdrop = 0; // 0xRRGGBB where the outline leaves the view
};

std::vector<std::uint8_t> makeFrame(const Case& c, std::mt19937& random) {
    std::vector<std::uint8_t> frame(static_cast<std::size_t>(c.frameWidth * c.frameHeight) * 4);
    std::uniform_int_distribution<int> byte(0, 255);
    for (int y = 0; y < c.frameHeight; ++y) {
        for (int x = 0; x < c.frameWidth; ++x) {
            std::uint8_t* p = frame.data() + (static_cast<std::size_t>(y) * c.frameWidth + x) * 4;
            for (int ch = 0; ch < 3; ++ch) {
                p[ch] = c.smooth
                            ? static_cast<std::uint8_t>((x * (ch + 3) + y * 5 * (ch + 1)) % 256)
                            : static_cast<std::uint8_t>(byte(random));
            }
            p[3] = 255;
        }
    }
    return frame;
}

// A scene with a dark-edged outline and a half-transparent sprite over the right end.
PanelScene makeScene(const Case& c, const PanelLayout& layout, std::mt19937& random) {
    PanelScene scene;
    scene.frameWidth = c.frameWidth;
    scene.frameHeight = c.frameHeight;
    scene.viewWidth = layout.length();
    scene.viewHeight = layout.depth();
    if (c.backdrop != 0) {
        scene.backdrop = c.backdrop;
    }
    const int length = layout.length();
    const int depth = layout.depth();
    scene.coverage.assign(static_cast<std::size_t>(length * depth), 255);
    std::uniform_int_distribution<int> byte(0, 255);
    for (int y = 0; y < depth; ++y) {
        for (int x = 0; x < std::min(length, depth / 2 + 1); ++x) {
            scene.coverage[static_cast<std::size_t>(y * length + x)] =
                static_cast<std::uint8_t>(byte(random));
            scene.coverage[static_cast<std::size_t>(y * length + length - 1 - x)] =
                static_cast<std::uint8_t>(byte(random));
        }
    }
    scene.spriteWidth = std::max(1, length / 10);
    scene.spriteHeight = std::max(1, depth - 2);
    scene.spriteX = length - scene.spriteWidth - 3;
    scene.spriteY = 1;
    for (int i = 0; i < scene.spriteWidth * scene.spriteHeight; ++i) {
        const auto alpha = static_cast<std::uint32_t>(i % 3 == 0 ? 0 : byte(random));
        const auto channel = [&] { return static_cast<std::uint32_t>(byte(random)) * alpha / 255; };
        scene.sprite.push_back(alpha << 24 | channel() << 16 | channel() << 8 | channel());
    }
    return scene;
}

// The bar as it should look, straight from the definitions: bilinear samples at pixel centres,
// then the outline's coverage over the backdrop, then the sprite over that. Channels R, G, B of the
// landscape pixel (x, y), as doubles.
struct Expected {
    double value[3];
    double slack; // what quartering the frame's rows may move it by
};
Expected expectedAt(const Case& c, const PanelScene& s, const std::vector<std::uint8_t>& frame,
                    int length, int depth, int x, int y) {
    const auto at = [&](double centre, double size, int count) {
        return std::clamp(centre * count / size - 0.5, 0.0, count - 1.0);
    };
    const double sx = at(x + 0.5, length, c.frameWidth);
    const double sy = at(y + 0.5, depth, c.frameHeight);
    const int x0 = static_cast<int>(sx), y0 = static_cast<int>(sy);
    const int x1 = std::min(x0 + 1, c.frameWidth - 1), y1 = std::min(y0 + 1, c.frameHeight - 1);
    const double fx = sx - x0, fy = sy - y0;
    const auto px = [&](int xx, int yy, int ch) {
        return double(frame[(static_cast<std::size_t>(yy) * c.frameWidth + xx) * 4 + ch]);
    };
    const double cover = s.coverage[static_cast<std::size_t>(y * length + x)] / 255.0;
    std::uint32_t over = 0;
    if (x >= s.spriteX && x < s.spriteX + s.spriteWidth && y >= s.spriteY &&
        y < s.spriteY + s.spriteHeight) {
        over = s.sprite[static_cast<std::size_t>((y - s.spriteY) * s.spriteWidth + x - s.spriteX)];
    }
    const double alpha = (over >> 24) / 255.0;
    Expected e{};
    for (int ch = 0; ch < 3; ++ch) {
        const double top = px(x0, y0, ch) * (1 - fx) + px(x1, y0, ch) * fx;
        const double bottom = px(x0, y1, ch) * (1 - fx) + px(x1, y1, ch) * fx;
        const double value = top * (1 - fy) + bottom * fy;
        const double sprite = double((over >> (16 - 8 * ch)) & 0xff);
        const double backdrop = double((s.backdrop.value_or(0) >> (16 - 8 * ch)) & 0xff);
        e.value[ch] = sprite + (value * cover + backdrop * (1 - cover)) * (1 - alpha);
        e.slack = std::max(e.slack, std::abs(bottom - top) / 8.0 * cover * (1 - alpha));
    }
    return e;
}

} // namespace

// Every instruction set draws what the definitions say, into exactly the mode's pixels of a
// buffer with a wider stride, for the Touch Bar's own sizes and for odd ones that leave tails
// at every step and turn the picture for a landscape panel.
TEST(PanelComposer, MatchesAStraightforwardStretchOnEveryInstructionSet) {
    const Case cases[] = {
        {1085, 30, 60, 2008, false},
        {1085, 30, 60, 2170, false},
        {13, 7, 11, 97, true, 0x3366cc},
        {301, 9, 13, 97, true}, // shrunk: far more frame columns than the scratch turns at once
        {21, 5, 103, 9, true, 0xf0e0d0}, // landscape, as the previews on their cards
    };
    std::mt19937 random(7);
    for (const Case& c : cases) {
        const PanelLayout layout(c.modeWidth, c.modeHeight);
        const std::vector<std::uint8_t> frame = makeFrame(c, random);
        PanelComposer composer(layout);
        composer.setScene(makeScene(c, layout, random));
        const PanelScene& scene = composer.scene();
        const std::size_t stride = static_cast<std::size_t>(c.modeWidth) + 5;
        std::vector<std::uint32_t> first; // every instruction set must give these bytes
        for (const std::string& target : kernels::availableTargets()) {
            SCOPED_TRACE(target + " " + std::to_string(c.modeWidth) + "x" +
                         std::to_string(c.modeHeight));
            ASSERT_TRUE(kernels::forceTarget(target.c_str()));
            ASSERT_EQ(std::string(PanelComposer::activeTarget()), target);
            std::vector<std::uint32_t> buffer(stride * (c.modeHeight + 1), sentinel);
            composer.compose(frame.data(), static_cast<std::size_t>(c.frameWidth) * 4,
                             buffer.data(), stride);

            int outside = 0;
            for (int row = 0; row <= c.modeHeight; ++row) {
                for (std::size_t column = 0; column < stride; ++column) {
                    if (row == c.modeHeight || column >= static_cast<std::size_t>(c.modeWidth)) {
                        outside += buffer[row * stride + column] != sentinel;
                    }
                }
            }
            double worst = 0.0;
            for (int x = 0; x < layout.length(); ++x) {
                for (int y = 0; y < layout.depth(); ++y) {
                    const PanelLayout::Position at = layout.bufferPosition(x, y);
                    const std::uint32_t got = buffer[static_cast<std::size_t>(at.row) * stride +
                                                     static_cast<std::size_t>(at.column)];
                    const Expected e =
                        expectedAt(c, scene, frame, layout.length(), layout.depth(), x, y);
                    for (int ch = 0; ch < 3; ++ch) {
                        const double byte = (got >> (16 - 8 * ch)) & 0xff;
                        worst = std::max(worst, std::abs(byte - e.value[ch]) - e.slack);
                    }
                }
            }
            EXPECT_EQ(outside, 0) << "pixels written outside the mode";
            EXPECT_LE(worst, 2.0);

            // The Touch Bar's own three-byte pixels: the same R, G, B, nothing past each row.
            PanelScene packed = scene;
            packed.format = PixelFormat::bgr888;
            PanelComposer threeBytes(layout);
            threeBytes.setScene(packed);
            const std::size_t pitch = stride * 3 + 1;
            std::vector<std::uint8_t> rgb(pitch * static_cast<std::size_t>(c.modeHeight), 0x5a);
            threeBytes.compose(frame.data(), static_cast<std::size_t>(c.frameWidth) * 4,
                               {rgb.data(), pitch, PixelFormat::bgr888});
            int differ = 0;
            int past = 0;
            for (int row = 0; row < c.modeHeight; ++row) {
                for (std::size_t column = 0; column < stride; ++column) {
                    const std::uint8_t* p = rgb.data() + row * pitch + column * 3;
                    if (column >= static_cast<std::size_t>(c.modeWidth)) {
                        past += (p[0] != 0x5a) + (p[1] != 0x5a) + (p[2] != 0x5a);
                        continue;
                    }
                    const std::uint32_t want = buffer[row * stride + column];
                    differ += p[0] != (want >> 16 & 0xff) || p[1] != (want >> 8 & 0xff) ||
                              p[2] != (want & 0xff);
                }
                past += rgb[row * pitch + pitch - 1] != 0x5a;
            }
            EXPECT_EQ(differ, 0) << "three-byte pixels that are not the four-byte ones";
            EXPECT_EQ(past, 0) << "bytes written past a row's pixels";
            if (first.empty()) {
                first = buffer;
            } else {
                EXPECT_TRUE(buffer == first)
                    << "bytes differ from " << kernels::availableTargets()[0];
            }
        }
    }
    ASSERT_TRUE(kernels::forceTarget(""));
}

// A landscape picture (the previews) is drawn row by row without a turn; every byte must be the
// one the portrait way gives the same bar: stretched and shrunk, alpha or backdrop, with and
// without a frame, on every instruction set.
TEST(PanelComposer, LandscapeGivesThePortraitBytes) {
    struct Shape {
        Case c;
        bool alpha;
    };
    const Shape shapes[] = {
        {{240, 20, 300, 24, false, 0x2a2a2a}, false}, // a card's preview on its face
        {{480, 20, 621, 30, false}, true},            // the live preview over its glow
        {{250, 20, 257, 24, false, 0x2a2a2a}, false}, // barely stretched
        {{61, 9, 40, 7, false}, true},                // shrunk: windows wider than a vector
        {{97, 9, 40, 7, false}, true},                // shrunk past half
        {{5, 3, 3, 2, false, 0x102030}, false},       // narrower than any vector
    };
    std::mt19937 random(11);
    for (const Shape& shape : shapes) {
        const Case& c = shape.c;
        const PanelLayout landscape(c.modeWidth, c.modeHeight);
        const PanelLayout portrait(c.modeHeight, c.modeWidth);
        ASSERT_FALSE(landscape.portrait());
        ASSERT_TRUE(portrait.portrait());
        PanelScene scene = makeScene(c, landscape, random);
        scene.alpha = shape.alpha;
        PanelComposer across(landscape);
        PanelComposer along(portrait);
        across.setScene(scene);
        along.setScene(scene);
        const std::vector<std::uint8_t> frame = makeFrame(c, random);
        const std::size_t length = static_cast<std::size_t>(c.modeWidth);
        const std::size_t depth = static_cast<std::size_t>(c.modeHeight);
        for (const std::string& target : kernels::availableTargets()) {
            for (const bool withFrame : {true, false}) {
                SCOPED_TRACE(target + " " + std::to_string(length) + "x" + std::to_string(depth) +
                             (withFrame ? "" : " without a frame"));
                ASSERT_TRUE(kernels::forceTarget(target.c_str()));
                const std::uint8_t* picture = withFrame ? frame.data() : nullptr;
                const std::size_t bytesPerLine = static_cast<std::size_t>(c.frameWidth) * 4;
                std::vector<std::uint32_t> wide((length + 3) * depth, sentinel);
                std::vector<std::uint32_t> tall(length * depth, sentinel);
                across.compose(picture, bytesPerLine, wide.data(), length + 3);
                along.compose(picture, bytesPerLine, tall.data(), depth);
                int differ = 0;
                int outside = 0;
                for (std::size_t y = 0; y < depth; ++y) {
                    for (std::size_t x = 0; x < length + 3; ++x) {
                        const std::uint32_t got = wide[y * (length + 3) + x];
                        if (x >= length) {
                            outside += got != sentinel;
                            continue;
                        }
                        const PanelLayout::Position at =
                            portrait.bufferPosition(static_cast<int>(x), static_cast<int>(y));
                        differ += got != tall[static_cast<std::size_t>(at.row) * depth +
                                              static_cast<std::size_t>(at.column)];
                    }
                }
                EXPECT_EQ(differ, 0);
                EXPECT_EQ(outside, 0);
            }
        }
    }
    ASSERT_TRUE(kernels::forceTarget(""));
}

// Without a frame (the view hidden, nothing rendered yet) the bar is black but for the sprite,
// which still lands where it belongs; a scene change takes effect on the next frame.
TEST(PanelComposer, WithoutAFrameOnlyTheSpriteShowsAndScenesCanChange) {
    const PanelLayout layout(60, 2008);
    std::mt19937 random(3);
    const Case c{1085, 30, 60, 2008, false};
    PanelComposer composer(layout);
    PanelScene scene = makeScene(c, layout, random);
    composer.setScene(scene);
    std::vector<std::uint32_t> buffer(60 * 2008, sentinel);
    composer.compose(nullptr, 0, buffer.data(), 60);
    const std::vector<std::uint8_t> black(1085 * 30 * 4, 0); // leaves the sprite alone
    for (int x = 0; x < 2008; ++x) {
        for (int y = 0; y < 60; ++y) {
            const PanelLayout::Position at = layout.bufferPosition(x, y);
            const std::uint32_t got = buffer[static_cast<std::size_t>(at.row * 60 + at.column)];
            const Expected e = expectedAt(c, scene, black, 2008, 60, x, y);
            for (int ch = 0; ch < 3; ++ch) {
                ASSERT_EQ(double((got >> (16 - 8 * ch)) & 0xff), e.value[ch]) << x << "," << y;
            }
        }
    }

    // Taking the sprite away leaves a plain stretch: no column is overlaid any more once the
    // outline is full too.
    scene.sprite.clear();
    scene.spriteWidth = scene.spriteHeight = 0;
    scene.coverage.assign(scene.coverage.size(), 255);
    composer.setScene(scene);
    EXPECT_EQ(composer.overlaidRows(), 0u);
    const std::vector<std::uint8_t> frame(1085 * 30 * 4, 200);
    composer.compose(frame.data(), 1085 * 4, buffer.data(), 60);
    for (std::uint32_t pixel : buffer) {
        ASSERT_EQ(pixel & 0xffffff, 0xc8c8c8u);
    }
}
