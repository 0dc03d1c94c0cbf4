// The knobs' drag, snap and adjustment rules, without widgets.
#include "ui/KnobInteraction.h"

#include <gtest/gtest.h>

namespace lumora {
namespace {

TEST(SynthKnobDrag, FollowsTheTotalTranslationRightAndUp) {
    SynthKnobDrag drag;
    EXPECT_DOUBLE_EQ(drag.step(0.0, 0, 0, false).value, 0.0);
    EXPECT_DOUBLE_EQ(drag.step(0.0, 110, 0, false).value, 0.5);
    // Relative to the start, not the previous step: going up adds to going right.
    EXPECT_DOUBLE_EQ(drag.step(0.5, 110, -55, false).value, 0.75);
    // 110 right and 110 down cancel out.
    EXPECT_DOUBLE_EQ(drag.step(0.75, 110, 110, false).value, 0.0);
}

TEST(SynthKnobDrag, AltGivesAQuarterOfTheRateFromThatStepOn) {
    SynthKnobDrag drag;
    drag.step(0.0, 0, 0, true);
    EXPECT_DOUBLE_EQ(drag.step(0.0, 110, 0, true).value, 0.125);
    // Letting go of Alt mid-drag: the whole translation now counts at full rate.
    EXPECT_DOUBLE_EQ(drag.step(0.125, 110, 0, false).value, 0.5);
}

TEST(SynthKnobDrag, DetentsSnapTheEndsButNotTheirBoundaries) {
    SynthKnobDrag drag;
    drag.step(0.5, 0, 0, false);
    EXPECT_DOUBLE_EQ(drag.step(0.5, 0.475 * 220, 0, false).value, 1.0);  // 0.975
    EXPECT_DOUBLE_EQ(drag.step(0.5, -0.475 * 220, 0, false).value, 0.0); // 0.025

    // Exactly on a boundary stays put.
    SynthKnobDrag high;
    EXPECT_EQ(high.step(0.97, 0, 0, false).value, 0.97);
    SynthKnobDrag low;
    EXPECT_EQ(low.step(0.03, 0, 0, false).value, 0.03);
}

TEST(SynthKnobDrag, ClicksOnceOnArrivalAtAnEnd) {
    SynthKnobDrag drag;
    EXPECT_FALSE(drag.step(0.5, 0, 0, false).click);
    EXPECT_TRUE(drag.step(0.5, 200, 0, false).click);
    EXPECT_FALSE(drag.step(0.5, 400, 0, false).click); // beyond the end: stays, no repeat
    EXPECT_DOUBLE_EQ(drag.step(0.5, 400, 0, false).value, 1.0);
    EXPECT_FALSE(drag.step(0.5, 100, 0, false).click); // back inside
    EXPECT_TRUE(drag.step(0.5, -200, 0, false).click); // the other end
    EXPECT_TRUE(drag.atDetent());
}

TEST(SynthKnobDrag, PressNearAnEndSettlesWithOneClickAndANewDragDoesNotRepeatIt) {
    SynthKnobDrag drag;
    const KnobStep press = drag.step(0.98, 0, 0, false);
    EXPECT_DOUBLE_EQ(press.value, 1.0);
    EXPECT_TRUE(press.click);
    drag.end();
    EXPECT_FALSE(drag.isDragging());
    EXPECT_TRUE(drag.atDetent());
    EXPECT_FALSE(drag.step(1.0, 0, 0, false).click);
}

TEST(SynthKnobDrag, ValueFromElsewhereOutsideTheRangeComesBack) {
    SynthKnobDrag drag;
    EXPECT_DOUBLE_EQ(drag.step(1.7, -44, 0, false).value, 1.0);
    drag.end();
    EXPECT_DOUBLE_EQ(drag.step(-3.0, 0, 0, false).value, 0.0);
}

// Touch angles are fed directly so the worked examples are exact.
TEST(AngleKnobDrag, TurnsByTheSweptAngleAndSnapsWithinFourDegrees) {
    AngleKnobDrag drag;
    KnobStep s = drag.step(40.0, 10.0, false); // the press only anchors
    EXPECT_DOUBLE_EQ(s.value, 40.0);
    EXPECT_FALSE(s.click);
    s = drag.step(40.0, 12.0, false); // raw 42
    EXPECT_DOUBLE_EQ(s.value, 45.0);
    EXPECT_TRUE(s.click);
    s = drag.step(45.0, 13.0, false); // raw 43, still in the band
    EXPECT_DOUBLE_EQ(s.value, 45.0);
    EXPECT_FALSE(s.click);
    s = drag.step(45.0, 19.0, false); // raw 49: exactly 4 away is outside
    EXPECT_DOUBLE_EQ(s.value, 49.0);
    EXPECT_FALSE(drag.snapped().has_value());
}

TEST(AngleKnobDrag, WrapsIntoRangeAndSlowsWithAlt) {
    AngleKnobDrag drag;
    drag.step(10.0, 0.0, false);
    EXPECT_DOUBLE_EQ(drag.step(10.0, -30.0, false).value, 340.0);
    drag.end();
    drag.step(340.0, 0.0, true);
    EXPECT_DOUBLE_EQ(drag.step(340.0, 40.0, true).value, 350.0);
    // Moving straight from one detent to the next clicks again.
    AngleKnobDrag jump;
    jump.step(45.0, 0.0, false);
    const KnobStep s = jump.step(45.0, 45.0, false);
    EXPECT_DOUBLE_EQ(s.value, 90.0);
    EXPECT_TRUE(s.click);
}

TEST(KnobRings, LightsFollowTheValueAtTheirEdges) {
    auto litCount = [](double value) {
        int n = 0;
        for (int i = 0; i < knob::synthLightCount; ++i) {
            n += knob::synthLightLit(i, value) ? 1 : 0;
        }
        return n;
    };
    EXPECT_EQ(litCount(0.0), 1);
    EXPECT_EQ(litCount(0.5), 6);
    EXPECT_EQ(litCount(1.0), 11);
    EXPECT_TRUE(knob::synthLightLit(3, 0.3)); // 0.30000000000000004 within the tolerance
    EXPECT_TRUE(knob::angleLightLit(2, 90.4));
    EXPECT_FALSE(knob::angleLightLit(2, 90.5));
}

// Stepping up and down by keys and accessibility is driven on the widgets (KnobWidgetTest).
TEST(KnobAdjustments, StepAndWrap) {
    EXPECT_DOUBLE_EQ(knob::synthDecrement(0.05), 0.0);
    const double wrapped = knob::wrapDegrees(-1e-15);
    EXPECT_GE(wrapped, 0.0);
    EXPECT_LT(wrapped, 360.0);
    // What a screen reader says is truncated, never rounded up past the value.
    EXPECT_EQ(knob::synthValueText(-0.004), "0 percent");
    EXPECT_EQ(knob::angleValueText(135.9), "135 degrees");
}

} // namespace
} // namespace lumora
