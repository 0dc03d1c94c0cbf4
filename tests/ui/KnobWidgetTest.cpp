// The knob widgets driven with real mouse, key and accessibility events.
#include "ui/AngleKnob.h"
#include "ui/SynthKnob.h"

#include <QAccessible>
#include <QAccessibleActionInterface>
#include <QApplication>
#include <QImage>
#include <QMouseEvent>
#include <QSignalSpy>
#include <QTest>
#include <QWheelEvent>
#include <cmath>
#include <gtest/gtest.h>
#include <numbers>

namespace lumora {
namespace {

struct CountingHaptics : Haptics {
    int clicks = 0;
    void click() override { ++clicks; }
};

// Positions in these tests are on the knob's face; the widget has the glow's margin around it.
QPoint face(QPointF at) {
    return (at + QPointF(Knob::glowMargin, Knob::glowMargin)).toPoint();
}

// QTest::mouseMove carries no modifiers, so moves (and modified presses) are sent directly.
void send(QWidget* w, QEvent::Type type, QPointF at, Qt::KeyboardModifiers modifiers = {}) {
    at += QPointF(Knob::glowMargin, Knob::glowMargin);
    const Qt::MouseButton button = type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
    const Qt::MouseButtons buttons =
        type == QEvent::MouseButtonRelease ? Qt::MouseButtons{} : Qt::MouseButtons{Qt::LeftButton};
    QMouseEvent event(type, at, w->mapToGlobal(at), button, buttons, modifiers);
    QApplication::sendEvent(w, &event);
}

void drag(QWidget* w, QPointF from, QList<QPointF> path, Qt::KeyboardModifiers modifiers = {}) {
    send(w, QEvent::MouseButtonPress, from, modifiers);
    for (QPointF p : path) {
        send(w, QEvent::MouseMove, p, modifiers);
    }
    send(w, QEvent::MouseButtonRelease, path.isEmpty() ? from : path.last(), modifiers);
}

QPointF onCircle(double size, double degrees, double radius = 30) {
    const double a = degrees * std::numbers::pi / 180.0;
    return {size * 0.5 + radius * std::cos(a), size * 0.5 + radius * std::sin(a)};
}

class SynthKnobWidget : public ::testing::Test {
protected:
    SynthKnob knob{104};
    CountingHaptics haptics;
    QSignalSpy edits{&knob, &SynthKnob::valueEdited};
    const QPointF centre{52, 52};
    void SetUp() override { knob.setHaptics(&haptics); }
};

TEST_F(SynthKnobWidget, DraggingRightTurnsItUpAndShiftSlowsIt) {
    knob.setValue(0.0);
    EXPECT_EQ(edits.count(), 0); // setting is not editing
    drag(&knob, centre, {centre + QPointF(50, 0), centre + QPointF(110, 0)});
    EXPECT_DOUBLE_EQ(knob.value(), 0.5);
    EXPECT_DOUBLE_EQ(edits.last().at(0).toDouble(), 0.5);
    EXPECT_EQ(haptics.clicks, 1); // the press settled on the 0 detent

    // Shift, since window managers keep Alt+drag for moving windows; Alt still works where
    // it gets through.
    for (const Qt::KeyboardModifier fine : {Qt::ShiftModifier, Qt::AltModifier}) {
        knob.setValue(0.0);
        drag(&knob, centre, {centre + QPointF(110, 0)}, fine);
        EXPECT_DOUBLE_EQ(knob.value(), 0.125);
    }

    drag(&knob, centre, {centre + QPointF(110, 0), centre + QPointF(110, 110)});
    EXPECT_DOUBLE_EQ(knob.value(), 0.125);
}

// Settling at an end on a press is the drag rules' (KnobInteractionTest).
TEST_F(SynthKnobWidget, DoubleClickResetsQuietly) {
    knob.setValue(0.3);
    knob.setResetValue(0.6);
    QTest::mouseDClick(&knob, Qt::LeftButton, {}, face(centre));
    EXPECT_DOUBLE_EQ(knob.value(), 0.6);
    EXPECT_DOUBLE_EQ(edits.last().at(0).toDouble(), 0.6);
    EXPECT_EQ(haptics.clicks, 0);
}

TEST_F(SynthKnobWidget, IgnoresPressesOutsideItsCircleAndStartsAfreshOnEveryPress) {
    knob.setValue(0.4);
    drag(&knob, QPointF(2, 2), {QPointF(200, 2)});
    EXPECT_EQ(knob.value(), 0.4);
    EXPECT_EQ(edits.count(), 0);

    // A drag whose release was lost must not reach into the next one.
    send(&knob, QEvent::MouseButtonPress, centre);
    send(&knob, QEvent::MouseMove, centre + QPointF(22, 0));
    knob.setValue(0.2);
    drag(&knob, centre, {centre + QPointF(22, 0)});
    EXPECT_DOUBLE_EQ(knob.value(), 0.3);
}

TEST_F(SynthKnobWidget, AccessibilityAndKeysAdjustByATenth) {
    knob.setValue(0.37);
    QAccessibleInterface* a = QAccessible::queryAccessibleInterface(&knob);
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a->text(QAccessible::Value), "37 percent");
    ASSERT_NE(a->valueInterface(), nullptr);
    EXPECT_DOUBLE_EQ(a->valueInterface()->currentValue().toDouble(), 0.37);

    QAccessibleActionInterface* actions = a->actionInterface();
    ASSERT_NE(actions, nullptr);
    ASSERT_TRUE(actions->actionNames().contains(QAccessibleActionInterface::increaseAction()));
    knob.setValue(0.95);
    actions->doAction(QAccessibleActionInterface::increaseAction());
    EXPECT_EQ(knob.value(), 1.0);
    EXPECT_EQ(edits.count(), 1);
    actions->doAction(QAccessibleActionInterface::decreaseAction());
    EXPECT_DOUBLE_EQ(knob.value(), 0.9);

    QTest::keyClick(&knob, Qt::Key_Left);
    EXPECT_DOUBLE_EQ(knob.value(), 0.8);
    EXPECT_EQ(edits.count(), 3);
    EXPECT_EQ(haptics.clicks, 0);
}

class AngleKnobWidget : public ::testing::Test {
protected:
    AngleKnob knob; // the default size, 96
    CountingHaptics haptics;
    QSignalSpy edits{&knob, &AngleKnob::degreesEdited};
    void SetUp() override { knob.setHaptics(&haptics); }
};

TEST_F(AngleKnobWidget, CrossingTheLeftSideIsSmoothAndShiftIsFine) {
    knob.setDegrees(100.0);
    drag(&knob, onCircle(96, 170),
         {onCircle(96, 175), onCircle(96, 180), onCircle(96, -175), onCircle(96, -170)});
    EXPECT_NEAR(knob.degrees(), 120.0, 1e-9);

    knob.setDegrees(300.0);
    drag(&knob, onCircle(96, 0), {onCircle(96, 20), onCircle(96, 40)}, Qt::ShiftModifier);
    EXPECT_NEAR(knob.degrees(), 310.0, 1e-9);
    EXPECT_EQ(haptics.clicks, 0);
}

TEST_F(AngleKnobWidget, PressNear360ReadsZeroAndDoubleClickResets) {
    knob.setDegrees(357.5);
    QTest::mousePress(&knob, Qt::LeftButton, {}, face(QPointF(80, 48)));
    EXPECT_EQ(knob.degrees(), 0.0);
    EXPECT_EQ(haptics.clicks, 1);
    QTest::mouseRelease(&knob, Qt::LeftButton, {}, face(QPointF(80, 48)));

    knob.setDegrees(137.0);
    knob.setResetDegrees(90.0);
    QTest::mouseDClick(&knob, Qt::LeftButton, {}, face(QPointF(80, 48)));
    EXPECT_EQ(knob.degrees(), 90.0);
    EXPECT_EQ(haptics.clicks, 1);
}

TEST_F(AngleKnobWidget, AccessibilityWrapsByFifteenDegrees) {
    QAccessibleInterface* a = QAccessible::queryAccessibleInterface(&knob);
    ASSERT_NE(a, nullptr);
    knob.setDegrees(350.0);
    a->actionInterface()->doAction(QAccessibleActionInterface::increaseAction());
    EXPECT_DOUBLE_EQ(knob.degrees(), 5.0);
    a->actionInterface()->doAction(QAccessibleActionInterface::decreaseAction());
    EXPECT_DOUBLE_EQ(knob.degrees(), 350.0);
    ASSERT_EQ(edits.count(), 2);
    EXPECT_DOUBLE_EQ(edits.last().at(0).toDouble(), 350.0);
    QTest::keyClick(&knob, Qt::Key_Up);
    EXPECT_DOUBLE_EQ(knob.degrees(), 5.0);
}

// The colour at a ring light's centre, `rotation` degrees clockwise from 12 o'clock.
QColor lightColour(QWidget& w, double size, double rotation) {
    const QImage image = w.grab().toImage();
    const double a = rotation * std::numbers::pi / 180.0;
    const double r = size * 0.475;
    return image.pixelColor(Knob::glowMargin + qRound(size * 0.5 + r * std::sin(a) - 0.5),
                            Knob::glowMargin + qRound(size * 0.5 - r * std::cos(a) - 0.5));
}

bool looksLit(const QColor& c) {
    return c.green() > 150 && c.blue() > 150 && c.red() < 100;
}

TEST(KnobPainting, RingsLightWhereTheValueSays) {
    SynthKnob synth(104);
    synth.setValue(0.0);
    EXPECT_TRUE(looksLit(lightColour(synth, 104, -135)));
    EXPECT_FALSE(looksLit(lightColour(synth, 104, 135)));
    synth.setValue(1.0);
    EXPECT_TRUE(looksLit(lightColour(synth, 104, 135)));

    AngleKnob angle(96);
    angle.setDegrees(90.0); // pointing down: the bottom light
    EXPECT_TRUE(looksLit(lightColour(angle, 96, 180)));
    EXPECT_FALSE(looksLit(lightColour(angle, 96, 90)));
}

TEST(KnobPainting, GlowsAreNeverCutOffByTheWidgetsEdge) {
    // The lights at 12, 3, 6 and 9 o'clock sit on the face's rim; their glow reaches past it.
    for (const double degrees : {0.0, 90.0, 180.0, 270.0}) {
        AngleKnob knob(104);
        knob.setDegrees(degrees);
        QImage image(knob.size(), QImage::Format_ARGB32);
        image.fill(Qt::transparent);
        knob.render(&image, QPoint(), QRegion(), QWidget::DrawChildren); // no window background
        int glowOutsideFace = 0;
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                const int alpha = qAlpha(image.pixel(x, y));
                const bool edge =
                    x == 0 || y == 0 || x == image.width() - 1 || y == image.height() - 1;
                EXPECT_FALSE(edge && alpha > 0)
                    << degrees << " degrees: painted up to the edge at " << x << "," << y;
                if (alpha > 0 && !knob.faceRect().adjusted(-1, -1, 1, 1).contains(x, y)) {
                    ++glowOutsideFace;
                }
            }
        }
        EXPECT_GT(glowOutsideFace, 20) << degrees << " degrees: no glow beyond the face";
    }
}

// The wheel turns a knob only while it has keyboard focus: a page scrolled past must not.
TEST(KnobWheel, TurnsOnlyWithFocus) {
    SynthKnob knob(104);
    QSignalSpy edits(&knob, &SynthKnob::valueEdited);
    knob.setValue(0.5);
    const QPointF at = knob.faceRect().center();
    QWheelEvent notch(at, knob.mapToGlobal(at), {}, QPoint(0, 120), Qt::NoButton, Qt::NoModifier,
                      Qt::NoScrollPhase, false);
    QApplication::sendEvent(&knob, &notch);
    EXPECT_FALSE(notch.isAccepted()); // left for the scroll area
    EXPECT_EQ(edits.count(), 0);

    knob.show();
    QApplication::setActiveWindow(&knob);
    knob.setFocus();
    ASSERT_TRUE(knob.hasFocus());
    QApplication::sendEvent(&knob, &notch);
    EXPECT_DOUBLE_EQ(knob.value(), 0.6);
    // A touchpad's small deltas add up to one step.
    for (int i = 0; i < 4; ++i) {
        QWheelEvent small(at, knob.mapToGlobal(at), {}, QPoint(0, -30), Qt::NoButton,
                          Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(&knob, &small);
    }
    EXPECT_DOUBLE_EQ(knob.value(), 0.5);
    EXPECT_EQ(edits.count(), 2);
}

} // namespace
} // namespace lumora
