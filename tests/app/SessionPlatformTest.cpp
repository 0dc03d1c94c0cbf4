#include "app/SessionPlatform.h"

#include "app/BarOutputChoice.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace lumora;

// The platform and placement chosen for each session, what is said about it, and whether the
// compositor was asked (only when the answer matters: nothing may hang on it otherwise).
TEST(SessionPlatform, TheBarGoesWhereItCanBePlacedAndTheUsersChoiceIsKept) {
    const std::optional<bool> gone; // a WAYLAND_DISPLAY that leads nowhere
    const std::optional<BarPlacement> any;
    const struct {
        const char* why;
        QString userPlatform;
        bool wayland, x11, barInWindow;
        std::optional<bool> layerShell;
        QByteArray platform;
        std::optional<BarPlacement> placement;
        const char* notice; // a text the one line holds, or nothing said
        int asked;
    } cases[] = {
        // clang-format off
        {"sway", {}, true, true, true, true, "wayland", BarPlacement::layerShell, nullptr, 1},
        {"mutter", {}, true, true, true, false, "xcb", BarPlacement::xwayland, "XWayland", 1},
        {"no XWayland", {}, true, false, true, false, "wayland", BarPlacement::unplaced,
         "DISPLAY is unset", 1},
        {"gone, X11 there", {}, true, true, true, gone, "xcb", any, "WAYLAND_DISPLAY", 1},
        {"gone, Qt says what failed", {}, true, false, true, gone, {}, any, nullptr, 1},
        {"user's xcb", "xcb", true, true, true, false, {}, BarPlacement::xwayland, nullptr, 0},
        {"user's wayland", "wayland", true, true, true, true, {}, BarPlacement::layerShell,
         nullptr, 1},
        {"user's wayland, no layer-shell", "wayland;xcb", true, true, true, false, {},
         BarPlacement::unplaced, "QT_QPA_PLATFORM=wayland;xcb", 1},
        {"user's offscreen", "offscreen", true, true, true, false, {}, any, nullptr, 0},
        {"X11", {}, false, true, true, false, {}, BarPlacement::x11, nullptr, 0},
        {"Touch Bar", {}, true, true, false, false, {}, any, nullptr, 0},
        {"Touch Bar, user's wayland", "wayland", true, true, false, false, {}, any, nullptr, 0},
        // clang-format on
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.why);
        int asked = 0;
        const PlatformChoice choice = choosePlatform(
            SessionEnvironment{c.userPlatform, c.wayland, c.x11}, c.barInWindow, [&] {
                ++asked;
                return c.layerShell;
            });
        EXPECT_EQ(choice.platform, c.platform);
        if (c.placement) {
            EXPECT_EQ(choice.placement, *c.placement);
        }
        if (c.notice) {
            EXPECT_TRUE(choice.notice.startsWith("lumora: ")) << choice.notice.toStdString();
            EXPECT_FALSE(choice.notice.contains(u'\n'));
            EXPECT_TRUE(choice.notice.contains(c.notice)) << choice.notice.toStdString();
        } else {
            EXPECT_TRUE(choice.notice.isEmpty()) << choice.notice.toStdString();
        }
        EXPECT_EQ(asked, c.asked);
    }
}

TEST(SessionPlatform, OnlyAMissingTouchBarPutsTheBarInAWindow) {
    QTemporaryDir noCards;
    EXPECT_TRUE(barLikelyInWindow({OutputRequest::Kind::window, {}}, noCards.path()));
    EXPECT_TRUE(barLikelyInWindow({OutputRequest::Kind::automatic, {}}, noCards.path()));
    EXPECT_FALSE(barLikelyInWindow({OutputRequest::Kind::touchbar, {}}, noCards.path()));
}
