// Scripts are held to the ranges of the window's controls: the two must not drift apart.
#include "settings/Limits.h"
#include "ui/KnobInteraction.h"
#include "ui/SliderRow.h"
#include "ui/TuningPanel.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace lumora {
namespace {

TEST(ControlRanges, AreTheSlidersAndTheCornerKnobs) {
    QTemporaryDir dir;
    Settings settings(dir.filePath("lumora.conf"));
    TuningPanel panel(settings);
    const struct {
        const char* title;
        double minimum;
        double maximum;
    } rows[] = {
        {"Speed", limits::minSpeed, limits::maxSpeed},
        {"Brightness", limits::minBrightness, limits::maxBrightness},
        {"Color Spread", limits::minWidth, limits::maxWidth},
    };
    for (const auto& row : rows) {
        const SliderRow* slider = panel.sliderRow(row.title);
        ASSERT_NE(slider, nullptr) << row.title;
        EXPECT_EQ(slider->minimum(), row.minimum) << row.title;
        EXPECT_EQ(slider->maximum(), row.maximum) << row.title;
    }
    // The corner knob's keyboard steps stop at its ends.
    EXPECT_EQ(knob::synthIncrement(limits::maxCorner), limits::maxCorner);
    EXPECT_EQ(knob::synthDecrement(limits::minCorner), limits::minCorner);
}

} // namespace
} // namespace lumora
