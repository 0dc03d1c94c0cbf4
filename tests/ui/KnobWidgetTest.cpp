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
#include <cmath>
#include <gtest/gtest.h>
#include <numbers>

namespace lumora {
namespace {

struct CountingHaptics : Haptics {
    int clicks = 0;
    void click() override { ++clicks; }
};

// QTest::mouseMove carries no modifiers, so moves (and Alt presses) are sent directly.
void send(QWidget* w, QEvent::Type type, QPointF at, Qt::KeyboardModifiers modifiers = {}) {
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

TEST_F(SynthKnobWidget, DraggingRightTurnsItUpAndAltSlowsIt) {
    knob.setValue(0.0);
    EXPECT_EQ(edits.count(), 0); // setting is not editing
    drag(&knob, centre, {centre + QPointF(50, 0), centre + QPointF(110, 0)});
    EXPECT_DOUBLE_EQ(knob.value(), 0.5);
    EXPECT_DOUBLE_EQ(edits.last().at(0).toDouble(), 0.5);
    EXPECT_EQ(haptics.clicks, 1); // the press settled on the 0 detent

    knob.setValue(0.0);
    drag(&knob, centre, {centre + QPointF(110, 0)}, Qt::AltModifier);
    EXPECT_DOUBLE_EQ(knob.value(), 0.125);

    drag(&knob, centre, {centre + QPointF(110, 0), centre + QPointF(110, 110)});
    EXPECT_DOUBLE_EQ(knob.value(), 0.125);
}

TEST_F(SynthKnobWidget, BeyondTheTopItStaysAtOneAndClicksOnce) {
    knob.setValue(0.5);
    drag(&knob, centre,
         {centre + QPointF(0, -100), centre + QPointF(0, -200), centre + QPointF(90, -300)});
    EXPECT_EQ(knob.value(), 1.0);
    EXPECT_EQ(haptics.clicks, 1);
}

TEST_F(SynthKnobWidget, PressNearTheEndSettlesAndDoubleClickResetsQuietly) {
    knob.setValue(0.98);
    QTest::mousePress(&knob, Qt::LeftButton, {}, centre.toPoint());
    EXPECT_EQ(knob.value(), 1.0);
    EXPECT_EQ(haptics.clicks, 1);
    QTest::mouseRelease(&knob, Qt::LeftButton, {}, centre.toPoint());

    knob.setValue(0.3);
    knob.setResetValue(0.6);
    QTest::mouseDClick(&knob, Qt::LeftButton, {}, centre.toPoint());
    EXPECT_DOUBLE_EQ(knob.value(), 0.6);
    EXPECT_DOUBLE_EQ(edits.last().at(0).toDouble(), 0.6);
    EXPECT_EQ(haptics.clicks, 1);
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
    EXPECT_EQ(a->text(QAccessible::Name), "Corner radius");
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

TEST_F(AngleKnobWidget, TurnsByTheSweptAngleAndClicksIntoTheSnap) {
    ASSERT_EQ(knob.width(), 96);
    knob.setDegrees(40.0);
    send(&knob, QEvent::MouseButtonPress, onCircle(96, 0));
    EXPECT_NEAR(knob.degrees(), 40.0, 1e-9); // the press point is not the new direction
    send(&knob, QEvent::MouseMove, onCircle(96, 2));
    EXPECT_EQ(knob.degrees(), 45.0);
    EXPECT_EQ(haptics.clicks, 1);
    send(&knob, QEvent::MouseMove, onCircle(96, 3));
    EXPECT_EQ(haptics.clicks, 1);
    send(&knob, QEvent::MouseMove, onCircle(96, 10));
    EXPECT_NEAR(knob.degrees(), 50.0, 1e-9);
    send(&knob, QEvent::MouseButtonRelease, onCircle(96, 10));
    EXPECT_NEAR(edits.last().at(0).toDouble(), 50.0, 1e-9);
}

TEST_F(AngleKnobWidget, CrossingTheLeftSideIsSmoothAndAltIsFine) {
    knob.setDegrees(100.0);
    drag(&knob, onCircle(96, 170),
         {onCircle(96, 175), onCircle(96, 180), onCircle(96, -175), onCircle(96, -170)});
    EXPECT_NEAR(knob.degrees(), 120.0, 1e-9);

    knob.setDegrees(300.0);
    drag(&knob, onCircle(96, 0), {onCircle(96, 20), onCircle(96, 40)}, Qt::AltModifier);
    EXPECT_NEAR(knob.degrees(), 310.0, 1e-9);
    EXPECT_EQ(haptics.clicks, 0);
}

TEST_F(AngleKnobWidget, PressNear360ReadsZeroAndDoubleClickResets) {
    knob.setDegrees(357.5);
    QTest::mousePress(&knob, Qt::LeftButton, {}, QPoint(80, 48));
    EXPECT_EQ(knob.degrees(), 0.0);
    EXPECT_EQ(haptics.clicks, 1);
    QTest::mouseRelease(&knob, Qt::LeftButton, {}, QPoint(80, 48));

    knob.setDegrees(137.0);
    knob.setResetDegrees(90.0);
    QTest::mouseDClick(&knob, Qt::LeftButton, {}, QPoint(80, 48));
    EXPECT_EQ(knob.degrees(), 90.0);
    EXPECT_EQ(haptics.clicks, 1);
}

TEST_F(AngleKnobWidget, AccessibilityWrapsByFifteenDegrees) {
    knob.setDegrees(135.0);
    QAccessibleInterface* a = QAccessible::queryAccessibleInterface(&knob);
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a->text(QAccessible::Name), "Direction");
    EXPECT_EQ(a->text(QAccessible::Value), "135 degrees");
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
    return image.pixelColor(qRound(size * 0.5 + r * std::sin(a) - 0.5),
                            qRound(size * 0.5 - r * std::cos(a) - 0.5));
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

} // namespace
} // namespace lumora
