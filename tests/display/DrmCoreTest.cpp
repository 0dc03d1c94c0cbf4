#include "display/outputs/drm/DrmPanel.h"
#include "display/outputs/drm/FrameGate.h"
#include "display/outputs/drm/PanelChoice.h"
#include "display/outputs/drm/PanelLayout.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <gtest/gtest.h>
#include <vector>

using namespace lumora;

namespace {

DrmConnectorInfo connector(std::uint32_t id, bool connected, std::vector<DrmModeInfo> modes) {
    return {id, connected, std::move(modes)};
}

DrmCardInfo card(std::string path, std::string driver, std::vector<DrmConnectorInfo> connectors) {
    DrmCardInfo info;
    info.path = std::move(path);
    info.driver = std::move(driver);
    info.connectors = std::move(connectors);
    return info;
}

// A laptop's own screen: a wide panel on a desktop GPU.
DrmCardInfo laptopScreen() {
    return card(
        "/dev/dri/card0", "i915",
        {connector(1, true, {{2560, 1600, true}, {1920, 1200, false}}), connector(2, false, {})});
}

} // namespace

TEST(PanelChoice, AKnownDriverWinsWhateverItsLengthOrPlace) {
    // 2008 on models with a physical Esc key, 2170 on the others: no length is assumed.
    EXPECT_EQ(chooseTouchBar({laptopScreen(), card("/dev/dri/card1", "appletbdrm",
                                                   {connector(7, true, {{60, 2170, true}})})}),
              (PanelChoice{1, 0, 0}));
    // Over an earlier bar-shaped panel, and past a disconnected connector.
    std::vector<DrmCardInfo> cards = {
        card("/dev/dri/card0", "simpledrm", {connector(1, true, {{60, 2008, true}})}),
        card("/dev/dri/card1", "adp", {connector(3, false, {}), connector(4, true, {{60, 2008}})})};
    EXPECT_EQ(chooseTouchBar(cards), (PanelChoice{1, 1, 0}));
}

TEST(PanelChoice, FallsBackToTheAspectTestOnUnknownDrivers) {
    std::vector<DrmCardInfo> cards = {
        laptopScreen(), card("/dev/dri/card1", "newdriver",
                             {connector(5, false, {{60, 2170, true}}),
                              connector(6, true, {{1024, 768, true}, {60, 2170, false}})})};
    // The disconnected bar-shaped connector is skipped; the connected one's bar mode is
    // picked even though it is not the preferred one.
    EXPECT_EQ(chooseTouchBar(cards), (PanelChoice{1, 1, 1}));

    // Just under thirty to one is not a bar; landscape is not the Touch Bar's scan-out either.
    cards[1].connectors[1].modes = {{60, 1799, true}, {2008, 60, false}};
    EXPECT_FALSE(chooseTouchBar(cards));
    cards[1].connectors[1].modes = {{60, 1800, true}};
    EXPECT_TRUE(chooseTouchBar(cards));
}

TEST(PanelChoice, NothingWhenNoCardQualifies) {
    EXPECT_FALSE(chooseTouchBar({}));
    EXPECT_FALSE(chooseTouchBar({laptopScreen()}));
    // A Touch Bar driver with nothing connected (the bar still starting) is not a choice.
    EXPECT_FALSE(chooseTouchBar({card("/dev/dri/card1", "appletbdrm", {connector(7, false, {})})}));
    // Nor one whose connector reports no modes, or a zero-width mode.
    EXPECT_FALSE(chooseTouchBar({card("/dev/dri/card1", "appletbdrm", {connector(7, true, {})})}));
    EXPECT_FALSE(chooseTouchBar({card("/dev/dri/card1", "x", {connector(7, true, {{0, 60}})})}));
}

TEST(PanelChoice, ANamedCardPrefersABarShapedModeInEitherOrientation) {
    // A virtual GPU standing in for the bar offers a wide mode among ordinary ones.
    auto named = card("/dev/dri/card0", "virtio_gpu",
                      {connector(1, false, {{60, 2008, true}}),
                       connector(2, true, {{1024, 768, true}, {2008, 60, false}})});
    EXPECT_EQ(choosePanelOn(named), (PanelChoice{0, 1, 1}));

    // Without one, the first connected connector's preferred mode.
    named.connectors[1].modes = {{1024, 768, false}, {800, 600, true}};
    EXPECT_EQ(choosePanelOn(named), (PanelChoice{0, 1, 1}));

    named.connectors[1].connected = false;
    EXPECT_FALSE(choosePanelOn(named));
}

TEST(PanelLayout, PortraitPanelTurnsTheBarIntoBufferColumns) {
    PanelLayout layout(60, 2008);
    EXPECT_TRUE(layout.portrait());
    EXPECT_EQ(layout.length(), 2008);
    EXPECT_EQ(layout.depth(), 60);
    // Logical (x, y) goes to buffer column 59 - y, row x.
    EXPECT_EQ(layout.bufferPosition(0, 0), (PanelLayout::Position{59, 0}));
    EXPECT_EQ(layout.bufferPosition(2007, 59), (PanelLayout::Position{0, 2007}));

    PanelLayout wide(2008, 60);
    EXPECT_FALSE(wide.portrait());
    EXPECT_EQ(wide.bufferPosition(100, 10), (PanelLayout::Position{100, 10}));
}

TEST(PanelLayout, CopyPlacesEveryPixelWhereThePositionSays) {
    // Odd sizes and padded strides catch a swapped axis, a mirror or an off-by-one; the
    // Touch Bar's own three-byte pixels take R, G, B in that order.
    for (const PixelFormat format : {PixelFormat::xrgb8888, PixelFormat::bgr888}) {
        for (auto [w, h] : {std::pair{7, 23}, std::pair{23, 7}, std::pair{56, 2008}}) {
            PanelLayout layout(w, h);
            const int length = layout.length();
            const int depth = layout.depth();
            const std::size_t imageStride = static_cast<std::size_t>(length) + 3;
            const std::size_t size = bytesPerPixel(format);
            const std::size_t pitch = (static_cast<std::size_t>(w) + 5) * size;
            const auto pixel = [](int x, int y) {
                return 0xff000000u | std::uint32_t(y << 16 | x);
            };
            std::vector<std::uint32_t> image(imageStride * static_cast<std::size_t>(depth));
            for (int y = 0; y < depth; ++y) {
                for (int x = 0; x < length; ++x) {
                    image[static_cast<std::size_t>(y) * imageStride + static_cast<std::size_t>(x)] =
                        pixel(x, y);
                }
            }
            const std::uint8_t untouched = 0x5a;
            std::vector<std::uint8_t> buffer(pitch * static_cast<std::size_t>(h), untouched);
            layout.copyInto(image.data(), imageStride, {buffer.data(), pitch, format});

            const auto at = [&](int column, int row) {
                return buffer.data() + static_cast<std::size_t>(row) * pitch +
                       static_cast<std::size_t>(column) * size;
            };
            int wrong = 0;
            for (int y = 0; y < depth; ++y) {
                for (int x = 0; x < length; ++x) {
                    const auto position = layout.bufferPosition(x, y);
                    const std::uint8_t* p = at(position.column, position.row);
                    const std::uint32_t want = pixel(x, y);
                    std::uint32_t got = 0;
                    if (format == PixelFormat::bgr888) {
                        got = 0xff000000u | std::uint32_t{p[0]} << 16 | std::uint32_t{p[1]} << 8 |
                              p[2];
                    } else {
                        std::memcpy(&got, p, 4);
                    }
                    wrong += got != want;
                }
            }
            EXPECT_EQ(wrong, 0) << w << " x " << h << " in " << size << "-byte pixels";
            // The padding at the end of each buffer row is left alone.
            int touched = 0;
            for (int row = 0; row < h; ++row) {
                touched += static_cast<int>(std::count_if(
                    at(w, row), at(w + 5, row), [&](std::uint8_t b) { return b != untouched; }));
            }
            EXPECT_EQ(touched, 0) << w << " x " << h << " in " << size << "-byte pixels";
        }
    }
}

TEST(PanelLayout, OnlyTheAppleSiliconPipeRoundsItsBuffers) {
    EXPECT_EQ(dumbRequest("adp", 60, 2008), (DumbRequest{64, 2048}));
    EXPECT_EQ(dumbRequest("adp", 64, 2048), (DumbRequest{64, 2048}));
    EXPECT_EQ(dumbRequest("appletbdrm", 60, 2170), (DumbRequest{60, 2170}));
    EXPECT_EQ(dumbRequest("virtio_gpu", 2008, 56), (DumbRequest{2008, 56}));
    EXPECT_EQ(dumbRequest("adp", -1, 0), (DumbRequest{0, 0}));
}

TEST(FrameGate, DropsWhileInFlightAndAsksOnceForTheLatestPicture) {
    FrameGate gate;
    EXPECT_EQ(gate.offer(), FrameGate::Offer::push);
    // A slow flush: every frame meanwhile is dropped, none is queued.
    EXPECT_EQ(gate.offer(), FrameGate::Offer::drop);
    EXPECT_EQ(gate.offer(), FrameGate::Offer::drop);
    EXPECT_TRUE(gate.completed()); // one catch-up frame, not two

    EXPECT_EQ(gate.offer(), FrameGate::Offer::push);
    EXPECT_FALSE(gate.completed()); // nothing dropped: nothing owed

    // A failed send leaves nothing in flight and nothing owed, so the next frame goes out.
    EXPECT_EQ(gate.offer(), FrameGate::Offer::push);
    EXPECT_EQ(gate.offer(), FrameGate::Offer::drop);
    gate.reset();
    EXPECT_EQ(gate.offer(), FrameGate::Offer::push);
    EXPECT_FALSE(gate.completed());
}

TEST(DrmFailure, EachKindNamesTheDeviceAndWhatToDoInOneLine) {
    using Kind = DrmFailure::Kind;
    for (auto kind : {Kind::notFound, Kind::permission, Kind::busy, Kind::noPanel, Kind::failed}) {
        const auto text = DrmFailure{kind, "/dev/dri/card9", "setting its mode", EINVAL}.message();
        EXPECT_NE(text.find("/dev/dri/card9"), std::string::npos) << text;
        EXPECT_EQ(text.find('\n'), std::string::npos) << text;
    }
    const auto says = [](Kind kind, const char* device, const char* advice) {
        return DrmFailure{kind, device, "", 0}.message().find(advice) != std::string::npos;
    };
    EXPECT_TRUE(says(Kind::permission, "/dev/dri/card1", "udev rule"));
    EXPECT_TRUE(says(Kind::busy, "/dev/dri/card1", "tiny-dfr"));
    EXPECT_TRUE(says(Kind::notFound, "", "no Touch Bar found"));
}

TEST(DrmPanel, ReportsMissingDevicesAndEmptyDirectories) {
    DrmFailure failure;
    EXPECT_FALSE(DrmPanel::open({.device = "/nonexistent/card0"}, failure));
    EXPECT_EQ(failure.kind, DrmFailure::Kind::notFound);
    EXPECT_NE(failure.message().find("/nonexistent/card0"), std::string::npos);

    // Not a DRM device at all: the ioctls fail, and that is reported, not a crash.
    EXPECT_FALSE(DrmPanel::open({.device = "/dev/null"}, failure));
    EXPECT_TRUE(failure);

    EXPECT_TRUE(scanDrmCards("/nonexistent").empty());
    EXPECT_FALSE(DrmPanel::open({.device = "", .directory = "/nonexistent"}, failure));
    EXPECT_EQ(failure.kind, DrmFailure::Kind::notFound);
    EXPECT_TRUE(failure.device.empty());
}
