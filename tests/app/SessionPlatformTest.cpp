#include "app/SessionPlatform.h"

#include "app/BarOutputChoice.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace lumora;

namespace {

// The compositor's answer, and how often it was asked.
struct Compositor {
    std::optional<bool> layerShell;
    int asked = 0;
    std::function<std::optional<bool>()> probe() {
        return [this] {
            ++asked;
            return layerShell;
        };
    }
};

SessionEnvironment session(QString platform, bool wayland, bool x11) {
    return SessionEnvironment{std::move(platform), wayland, x11};
}

void expectOneLine(const PlatformChoice& choice) {
    EXPECT_TRUE(choice.notice.startsWith("lumora: ")) << choice.notice.toStdString();
    EXPECT_FALSE(choice.notice.contains(u'\n'));
}

} // namespace

TEST(SessionPlatform, OnWaylandTheBarGoesWhereItCanBePlaced) {
    // layer-shell: native Wayland, nothing to say.
    Compositor sway{true};
    PlatformChoice choice = choosePlatform(session({}, true, true), true, sway.probe());
    EXPECT_EQ(choice.platform, "wayland");
    EXPECT_EQ(choice.placement, BarPlacement::layerShell);
    EXPECT_TRUE(choice.notice.isEmpty());
    EXPECT_EQ(sway.asked, 1);

    // No layer-shell but XWayland: X11 through it, said once.
    Compositor mutter{false};
    choice = choosePlatform(session({}, true, true), true, mutter.probe());
    EXPECT_EQ(choice.platform, "xcb");
    EXPECT_EQ(choice.placement, BarPlacement::xwayland);
    expectOneLine(choice);
    EXPECT_TRUE(choice.notice.contains("XWayland"));
    EXPECT_EQ(mutter.asked, 1);

    // Neither: an ordinary Wayland window, and why it cannot be placed.
    choice = choosePlatform(session({}, true, false), true, mutter.probe());
    EXPECT_EQ(choice.platform, "wayland");
    EXPECT_EQ(choice.placement, BarPlacement::unplaced);
    expectOneLine(choice);
    EXPECT_TRUE(choice.notice.contains("DISPLAY is unset"));
    EXPECT_TRUE(choice.notice.contains("cannot be placed"));

    // A WAYLAND_DISPLAY that leads nowhere: X11 when there is one, else Qt says what failed.
    Compositor gone{std::nullopt};
    choice = choosePlatform(session({}, true, true), true, gone.probe());
    EXPECT_EQ(choice.platform, "xcb");
    expectOneLine(choice);
    EXPECT_TRUE(choice.notice.contains("WAYLAND_DISPLAY"));
    choice = choosePlatform(session({}, true, false), true, gone.probe());
    EXPECT_TRUE(choice.platform.isEmpty());
    EXPECT_TRUE(choice.notice.isEmpty());
}

TEST(SessionPlatform, TheUsersPlatformIsKept) {
    Compositor sway{true};
    Compositor mutter{false};
    PlatformChoice choice = choosePlatform(session("xcb", true, true), true, mutter.probe());
    EXPECT_TRUE(choice.platform.isEmpty());
    EXPECT_EQ(choice.placement, BarPlacement::xwayland);
    EXPECT_TRUE(choice.notice.isEmpty());
    EXPECT_EQ(mutter.asked, 0); // nothing hangs on the answer

    choice = choosePlatform(session("wayland", true, true), true, sway.probe());
    EXPECT_TRUE(choice.platform.isEmpty());
    EXPECT_EQ(choice.placement, BarPlacement::layerShell);
    EXPECT_TRUE(choice.notice.isEmpty());

    // Wayland asked for where the bar cannot be placed: kept, and the cost said.
    choice = choosePlatform(session("wayland;xcb", true, true), true, mutter.probe());
    EXPECT_TRUE(choice.platform.isEmpty());
    EXPECT_EQ(choice.placement, BarPlacement::unplaced);
    expectOneLine(choice);
    EXPECT_TRUE(choice.notice.contains("QT_QPA_PLATFORM=wayland;xcb"));

    choice = choosePlatform(session("offscreen", true, true), true, mutter.probe());
    EXPECT_TRUE(choice.platform.isEmpty());
    EXPECT_TRUE(choice.notice.isEmpty());
    EXPECT_EQ(mutter.asked, 1);
}

TEST(SessionPlatform, X11AndTheTouchBarAreLeftAlone) {
    Compositor mutter{false};
    PlatformChoice choice = choosePlatform(session({}, false, true), true, mutter.probe());
    EXPECT_TRUE(choice.platform.isEmpty());
    EXPECT_EQ(choice.placement, BarPlacement::x11);
    EXPECT_TRUE(choice.notice.isEmpty());

    // The bar on the real Touch Bar: the settings window keeps the desktop's own platform.
    choice = choosePlatform(session({}, true, true), false, mutter.probe());
    EXPECT_TRUE(choice.platform.isEmpty());
    EXPECT_TRUE(choice.notice.isEmpty());
    choice = choosePlatform(session("wayland", true, true), false, mutter.probe());
    EXPECT_TRUE(choice.notice.isEmpty());
    EXPECT_EQ(mutter.asked, 0);
}

TEST(SessionPlatform, OnlyAMissingTouchBarPutsTheBarInAWindow) {
    QTemporaryDir noCards;
    EXPECT_TRUE(barLikelyInWindow({OutputRequest::Kind::window, {}}, noCards.path()));
    EXPECT_TRUE(barLikelyInWindow({OutputRequest::Kind::automatic, {}}, noCards.path()));
    EXPECT_FALSE(barLikelyInWindow({OutputRequest::Kind::touchbar, {}}, noCards.path()));
}
