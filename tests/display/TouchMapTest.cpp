#include "display/outputs/drm/TouchMap.h"

#include "display/outputs/TouchBarTouch.h"

#include <filesystem>
#include <gtest/gtest.h>

using namespace lumora;

namespace {

// The close button of a bar fitted to a 2008-pixel panel: 44 x 30, 10 points from the right.
constexpr TouchRect closeButton{1004.0 - 10.0 - 44.0, 0.0, 44.0, 30.0};
constexpr TouchPoint onButton{970.0, 15.0};
constexpr TouchPoint offButton{500.0, 15.0};

TapTracker trackerOnClose() {
    TapTracker taps;
    taps.setTarget(closeButton);
    return taps;
}

} // namespace

// A digitizer's readings (0 to 1 across each axis) on the bar, in points.
TEST(TouchMap, ReadingsLandWhereThePanelShowsThem) {
    const struct {
        const char* why;
        double digitizerW, digitizerH, barW;
        double readX, readY;
        bool turned;
        TouchPoint expected;
    } cases[] = {
        {"landscape, along the fitted bar", 218, 8, 1004, 0.5, 0.25, false, {502, 7.5}},
        {"readings past the edges stay on the bar", 218, 8, 1004, 1.2, -0.1, false, {1004, 0}},
        // Turned like the panel: y runs along the bar, x from its bottom to its top.
        {"tall", 8, 218, 1085, 0.0, 0.9, true, {976.5, 30}},
        {"unknown size keeps x along the bar", 0, 0, 1085, 1.0, 0.0, false, {1085, 0}},
    };
    for (const auto& c : cases) {
        TouchMap map;
        map.setDigitizerSize(c.digitizerW, c.digitizerH);
        map.setBarSize(c.barW, 30.0);
        EXPECT_EQ(map.turned(), c.turned) << c.why;
        const TouchPoint p = map.toBar(c.readX, c.readY);
        EXPECT_DOUBLE_EQ(p.x, c.expected.x) << c.why;
        EXPECT_DOUBLE_EQ(p.y, c.expected.y) << c.why;
    }
}

TEST(TapTracker, ATouchIsATapOnlyIfItStartsAndStaysOnTheTarget) {
    TapTracker taps = trackerOnClose();
    taps.down(0, onButton);
    taps.motion(0, {975.0, 20.0});
    EXPECT_TRUE(taps.up(0));
    EXPECT_FALSE(taps.up(0)) << "one touch, one tap";

    // Started elsewhere, ended on the button.
    taps.down(0, offButton);
    taps.motion(0, onButton);
    EXPECT_FALSE(taps.up(0));
    // Slid off and back.
    taps.down(0, onButton);
    taps.motion(0, offButton);
    taps.motion(0, onButton);
    EXPECT_FALSE(taps.up(0));
    // A down on a held slot means its up was lost: the new touch counts from there.
    taps.down(0, offButton);
    taps.down(0, onButton);
    EXPECT_TRUE(taps.up(0));
    // The bar's very bottom edge still hits a full-height button.
    taps.down(0, {closeButton.x, 30.0});
    EXPECT_TRUE(taps.up(0));
}

TEST(TapTracker, TargetMayChangeBetweenTouchesButNotDuringOne) {
    TapTracker taps = trackerOnClose();
    taps.setTarget({1085.0 - 10.0 - 44.0, 0.0, 44.0, 30.0}); // the unfitted bar's button
    taps.down(0, {1050.0, 15.0});
    EXPECT_TRUE(taps.up(0));

    // The button moved under a finger already down.
    taps.down(0, {1050.0, 15.0});
    taps.setTarget(closeButton);
    EXPECT_FALSE(taps.up(0));
    // Setting the same target again leaves touches alone.
    taps.down(0, onButton);
    taps.setTarget(closeButton);
    EXPECT_TRUE(taps.up(0));

    // A hidden button takes no taps, even on its old corner.
    taps.setTarget({closeButton.x, closeButton.y, 0.0, 0.0});
    taps.down(0, {closeButton.x, closeButton.y});
    EXPECT_FALSE(taps.up(0));
}

TEST(TapTracker, SlotsAreFollowedApartAndOutOfRangeOnesIgnored) {
    TapTracker taps = trackerOnClose();
    taps.down(0, onButton);
    taps.down(1, offButton);
    taps.motion(1, {100.0, 10.0});
    EXPECT_FALSE(taps.up(1));
    EXPECT_TRUE(taps.up(0));

    taps.down(0, onButton);
    taps.down(1, onButton);
    taps.cancel(0);
    EXPECT_FALSE(taps.up(0));
    EXPECT_TRUE(taps.up(1));
    taps.down(0, onButton);
    taps.reset();
    EXPECT_FALSE(taps.up(0));

    for (int slot : {-1, -1000, TapTracker::slotCount, 1 << 30}) {
        taps.down(slot, onButton);
        taps.motion(slot, onButton);
        EXPECT_FALSE(taps.up(slot)) << slot;
        taps.cancel(slot);
    }
}

TEST(ChooseDigitizer, PicksTouchBarEventNodesTouchpadFirst) {
    const std::vector<InputDeviceInfo> devices{
        {"/dev/input/event3", "Apple Inc. Apple Internal Keyboard / Trackpad"},
        {"/dev/input/event12", "Apple Inc. Touch Bar Display Keyboard"},
        {"/dev/input/event10", "Apple Inc. Touch Bar Display Touchpad"},
        {"/dev/input/event9", "Apple Inc. Touch Bar Display Touchpad"},
        {"/dev/input/event9", "Apple Inc. Touch Bar Display Touchpad"},
        {"/dev/input/mouse2", "Apple Inc. Touch Bar Display Touchpad"},
        {"/dev/input/event", "Apple Inc. Touch Bar Display Touchpad"},
        {"/dev/input/event1/../event2", "Apple Inc. Touch Bar Display Touchpad"},
        {"/dev/input/event4", "Acme Touch Barrier Sensor"},
    };
    const std::vector<InputDeviceInfo> chosen = chooseDigitizer(devices);
    ASSERT_EQ(chosen.size(), 3u);
    EXPECT_EQ(chosen[0].devnode, "/dev/input/event9");
    EXPECT_EQ(chosen[1].devnode, "/dev/input/event10");
    EXPECT_EQ(chosen[2].devnode, "/dev/input/event12");
    EXPECT_TRUE(chooseDigitizer({}).empty());
}

TEST(TouchBarTouch, OpeningWithoutADigitizerSaysSo) {
    std::error_code ec;
    if (std::filesystem::exists("/dev/input", ec)) {
        GTEST_SKIP() << "this machine has input devices; the answer depends on them";
    }
    std::string error;
    EXPECT_EQ(TouchBarTouch::open(&error), nullptr);
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(error.find('\n'), std::string::npos);
    EXPECT_EQ(TouchBarTouch::open(nullptr), nullptr);
}
